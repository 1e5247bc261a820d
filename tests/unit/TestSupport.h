#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/Text.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "platform/fake/FakePlatform.h"

namespace korvane {

// The registry roots by the names regedit shows, for the tests' tables of keys.
inline constexpr Handle HKCR = kHkeyClassesRoot;
inline constexpr Handle HKCU = kHkeyCurrentUser;
inline constexpr Handle HKLM = kHkeyLocalMachine;
inline constexpr Handle HKU = kHkeyUsers;

}  // namespace korvane

namespace korvane::testing {

// Registry data or file bytes written out in a test: Bytes({0x30, 0x04, 0, 0}).
inline std::vector<std::uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<std::uint8_t> out;
  for (int b : list) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}

// Every test gets its own fake Windows with TEMP = C:\Temp and TempPath set as
// start-up would set it.
class FakeTest : public ::testing::Test {
 protected:
  void SetUp() override { TempPath = L"C:\\Temp\\"; }
  void TearDown() override { TempPath.clear(); }
  fake::FakePlatform& fake() { return *sys_; }

  // Texts of all message boxes shown so far.
  std::vector<std::wstring> boxTexts() const {
    std::vector<std::wstring> out;
    for (const auto& m : sys_.operator->()->messages()) out.push_back(m.text);
    return out;
  }

 private:
  mutable fake::ScopedFakePlatform sys_;
};

}  // namespace korvane::testing
