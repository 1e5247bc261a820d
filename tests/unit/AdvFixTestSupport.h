// Shared bits of the Advanced page's tests.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "advfix/Unit_AdvFix_Korvane.h"
#include "common/KorvaneError.h"
#include "common/Registry.h"

namespace korvane::testing {

class AdvFixTest : public FakeTest {
 protected:
  // How often the completion notice appeared, each time with its own title and icon.
  int notices() {
    int n = 0;
    for (const auto& m : fake().messages())
      if (m.text == kFixedNoticeText) {
        EXPECT_EQ(m.title, L"Korvane ");
        EXPECT_EQ(m.flags, kMbIconInformation);
        ++n;
      }
    return n;
  }

  // The window runs every routine through its dispatcher.
  void press(void (*routine)()) { RunHandler(routine); }

  // Every attempt to open the key, with the mask it asked for.
  std::vector<fake::KeyOpenRecord> opensOf(Handle root, const std::wstring& path) {
    std::vector<fake::KeyOpenRecord> out;
    for (const auto& r : fake().keyOpens())
      if (r.root == root && LowerText(r.path) == LowerText(path)) out.push_back(r);
    return out;
  }

  // Events of the kinds listed, in order ("start ", "end ", "box ", ...).
  std::vector<std::wstring> eventsOf(std::initializer_list<const wchar_t*> kinds) {
    std::vector<std::wstring> out;
    for (const auto& e : fake().events)
      for (const wchar_t* k : kinds)
        if (e.rfind(k, 0) == 0) {
          out.push_back(e);
          break;
        }
    return out;
  }

  static std::wstring noticeEvent() { return L"box " + kFixedNoticeText; }
};

}  // namespace korvane::testing
