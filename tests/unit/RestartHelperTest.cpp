#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "restarthelper/RestartLogic.h"

namespace restarthelper {
namespace {

TEST(RestartHelperNameTest, OnlyExplorerExeInAnyCaseMatches) {
  struct Case {
    const char* name;
    bool matches;
  } cases[] = {
      {"explorer.exe", true},     {"EXPLORER.EXE", true},
      {"Explorer.Exe", true},     {"iexplore.exe", false},
      {"myexplorer.exe", false},  {"explorer.exe.old", false},
      {"explorer", false},        {"explorer.ex", false},
      {"explorer.exe ", false},   {"", false},
      {"\xC9XPLORER.EXE", false},  // a non-ASCII look-alike
  };
  for (const auto& c : cases) EXPECT_EQ(IsExplorerFileName(c.name), c.matches) << c.name;
}

// Shift-JIS lead bytes; their trail bytes include 0x5C, the backslash.
bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

TEST(RestartHelperPathTest, TakesTheTextAfterTheLastBackslash) {
  struct Case {
    const char* path;
    LeadByteTest lead;
    const char* name;  // nullptr: no backslash, no name
  } cases[] = {
      {"C:\\Windows\\explorer.exe", nullptr, "explorer.exe"},
      {"\\Device\\HarddiskVolume3\\Windows\\EXPLORER.EXE", nullptr, "EXPLORER.EXE"},
      {"C:\\Program Files\\My App\\app.exe", nullptr, "app.exe"},
      {"explorer.exe", nullptr, nullptr},
      {"", nullptr, nullptr},
      {"C:\\Windows\\", nullptr, ""},
      // "\x95\x5C" is one character: its second byte is not a separator.
      {"C:\\Tools\\\x95\x5C"
       "explorer.exe",
       ShiftJisLead,
       "\x95\x5C"
       "explorer.exe"},
      {"\x95\x5C"
       "explorer.exe",
       ShiftJisLead, nullptr},
      // The same bytes read as single-byte text do hold a backslash.
      {"\x95\x5C"
       "explorer.exe",
       nullptr, "explorer.exe"},
      // A lead byte cut off by the end of the text.
      {"C:\\a\\b\x95", ShiftJisLead, "b\x95"},
  };
  for (const auto& c : cases) {
    const char* got = FileNamePart(c.path, c.lead);
    if (!c.name) {
      EXPECT_EQ(got, nullptr) << c.path;
    } else {
      ASSERT_NE(got, nullptr) << c.path;
      EXPECT_STREQ(got, c.name) << c.path;
    }
  }
}

// A process table in the manner of EnumProcesses: it hands out as many identifiers
// as fit in the buffer.
class FakeProcesses : public ProcessSystem {
 public:
  bool enumFails = false;
  std::vector<std::uint32_t> ids;
  std::map<std::uint32_t, std::string> names;  // missing: cannot be named
  std::vector<std::string> log;
  std::uint32_t bufferBytesSeen = 0;

  void add(std::uint32_t id, const char* name) {
    ids.push_back(id);
    if (name) names[id] = name;
  }
  bool enumProcesses(std::uint32_t* out, std::uint32_t bufferBytes,
                     std::uint32_t* bytesReturned) override {
    bufferBytesSeen = bufferBytes;
    if (enumFails) return false;
    std::uint32_t n = 0;
    for (; n < ids.size() && (n + 1) * 4 <= bufferBytes; ++n) out[n] = ids[n];
    *bytesReturned = n * 4;
    return true;
  }
  bool processFileName(std::uint32_t id, char (&name)[kMaxPathChars + 1]) override {
    auto it = names.find(id);
    if (it == names.end()) return false;
    snprintf(name, sizeof name, "%s", it->second.c_str());
    return true;
  }
  void terminateProcess(std::uint32_t id) override { log.push_back("end " + std::to_string(id)); }
  void startExplorer() override { log.push_back("start explorer"); }
};

TEST(RestartHelperSequenceTest, EndsEveryExplorerThenStartsOneAndSkipsTheUnnamed) {
  FakeProcesses p;
  p.add(4, "System");
  p.add(100, "explorer.exe");  // the desktop
  p.add(200, nullptr);         // protected: cannot be named
  p.add(300, "iexplore.exe");
  p.add(400, "EXPLORER.EXE");  // a separate folder-window process
  p.add(500, "myexplorer.exe");
  RestartExplorerProcesses(p);
  EXPECT_EQ(p.log, (std::vector<std::string>{"end 100", "end 400", "start explorer"}));
  EXPECT_EQ(p.bufferBytesSeen, 4096u);
}

TEST(RestartHelperSequenceTest, StartsExplorerWhenNoneRuns) {
  FakeProcesses p;
  p.add(4, "System");
  RestartExplorerProcesses(p);
  EXPECT_EQ(p.log, std::vector<std::string>{"start explorer"});

  FakeProcesses empty;
  RestartExplorerProcesses(empty);
  EXPECT_EQ(empty.log, std::vector<std::string>{"start explorer"});
}

TEST(RestartHelperSequenceTest, DoesNothingWhenProcessesCannotBeListed) {
  FakeProcesses p;
  p.add(100, "explorer.exe");
  p.enumFails = true;
  RestartExplorerProcesses(p);
  EXPECT_TRUE(p.log.empty());
}

TEST(RestartHelperSequenceTest, ExaminesOnlyTheFirst1024Identifiers) {
  FakeProcesses p;
  for (std::uint32_t i = 0; i < 1500; ++i) p.add(8 + 4 * i, "svchost.exe");
  p.names[p.ids[1023]] = "explorer.exe";  // the last one examined
  p.names[p.ids[1024]] = "explorer.exe";  // beyond the table
  RestartExplorerProcesses(p);
  EXPECT_EQ(p.log,
            (std::vector<std::string>{"end " + std::to_string(p.ids[1023]), "start explorer"}));
}

TEST(RestartHelperSequenceTest, EachHalfAloneWhenAskedAndNothingForAnUnknownWord) {
  const struct {
    std::vector<const char*> args;
    HelperMode mode;
  } cases[] = {
      {{"RestartExp.exe"}, HelperMode::Restart},
      {{"RestartExp.exe", "/end"}, HelperMode::End},
      {{"RestartExp.exe", "/END"}, HelperMode::End},
      {{"RestartExp.exe", "/start"}, HelperMode::Start},
      {{"RestartExp.exe", "end"}, HelperMode::Unknown},
      {{"RestartExp.exe", "/end", "/start"}, HelperMode::Unknown},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ModeOf(static_cast<int>(c.args.size()), c.args.data()), c.mode) << c.args.back();

  FakeProcesses p;
  p.add(100, "explorer.exe");
  p.add(300, "iexplore.exe");
  EXPECT_TRUE(EndExplorerProcesses(p));
  EXPECT_EQ(p.log, std::vector<std::string>{"end 100"});
  p.enumFails = true;
  EXPECT_FALSE(EndExplorerProcesses(p));
}

}  // namespace
}  // namespace restarthelper
