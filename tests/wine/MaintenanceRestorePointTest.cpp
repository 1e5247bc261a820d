// The restore-point request through the real WMI automation objects.  Wine has no
// System Restore provider, so this is the error path: the text the user reads, the
// box it comes in, and the frequency limit put back as it was found.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "RecordingPlatform.h"
#include "WineSupport.h"
#include "child/ChildProcess.h"
#include "common/KorvaneError.h"
#include "common/MaintenanceTasks.h"

namespace korvane::wine {
namespace {

std::optional<Stored> ReadFrequency() {
  return ReadValue(HKEY_LOCAL_MACHINE, kSystemRestoreKey, kRestorePointFrequencyValue);
}

void WriteFrequency(const std::optional<Stored>& value) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSystemRestoreKey.c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (value) {
    RegSetValueExW(key, kRestorePointFrequencyValue.c_str(), 0, value->type, value->bytes.data(),
                   static_cast<DWORD>(value->bytes.size()));
  } else {
    RegDeleteValueW(key, kRestorePointFrequencyValue.c_str());
  }
  RegCloseKey(key);
}

// What CreateRestorePoint raised, or nullopt when it did not raise.
std::optional<std::wstring> RequestError() {
  try {
    CreateRestorePoint(kRestorePointDescription);
  } catch (const KorvaneError& e) {
    return e.message();
  }
  return std::nullopt;
}

// Also notes the limit at the moment the request is made.
class WatchingPlatform : public RecordingPlatform {
 public:
  std::vector<std::optional<Stored>> frequencyAtRequest;
  std::optional<ComFailure> createRestorePoint(const std::wstring& description) override {
    frequencyAtRequest.push_back(ReadFrequency());
    return RecordingPlatform::createRestorePoint(description);
  }
};

class RestorePointOnWine : public ::testing::Test {
 protected:
  void SetUp() override {
    original_ = ReadFrequency();
    if (!RunningUnderWine()) GTEST_SKIP() << "would make a real restore point";
  }
  void TearDown() override { WriteFrequency(original_); }
  std::optional<Stored> original_;
};

TEST_F(RestorePointOnWine, TheRequestFailsWithAReadableText) {
  // Wine: root\DEFAULT SystemRestore.CreateRestorePoint answers 0x80004001 with no
  // IErrorInfo; the system's message for it is "Not implemented.".
  const std::optional<std::wstring> error = RequestError();
  ASSERT_TRUE(error.has_value()) << "the request succeeded under Wine";
  EXPECT_EQ(*error, L"Not implemented");
  EXPECT_EQ(error->find(L"OLE error"), std::wstring::npos);
}

TEST_F(RestorePointOnWine, TheTaskShowsTheErrorAndPutsTheLimitBackAsItWas) {
  const std::wstring expectedText = RequestError().value_or(L"<the request succeeded>");
  const Stored dword1440{REG_DWORD, {0xA0, 0x05, 0, 0}};
  const Stored dword0{REG_DWORD, {0, 0, 0, 0}};
  const Stored text60{REG_SZ, {'6', 0, '0', 0, 0, 0}};
  struct Case {
    const char* label;
    std::optional<Stored> before;
  } cases[] = {
      {"no limit set", std::nullopt},
      {"an administrator's limit of a day", dword1440},
      {"a limit that already was 0", dword0},
      // Put back with its own type, not rewritten as a number.
      {"a limit written as text", text60},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    WriteFrequency(c.before);
    {
      WatchingPlatform sys;
      CreateRestorePointTask();

      // The limit was lifted while the request was made.
      ASSERT_EQ(sys.frequencyAtRequest.size(), 1u);
      EXPECT_EQ(sys.frequencyAtRequest[0], std::optional<Stored>(dword0));

      ASSERT_EQ(sys.boxes().size(), 1u);
      EXPECT_EQ(sys.boxes()[0].text, expectedText) << "shown as raised, no full stop added";
      EXPECT_EQ(sys.boxes()[0].title, L"Korvane");
      EXPECT_EQ(sys.boxes()[0].flags & 0xF0u, static_cast<unsigned>(MB_ICONERROR));
    }
    EXPECT_EQ(ReadFrequency(), c.before);
  }
}

}  // namespace
}  // namespace korvane::wine
