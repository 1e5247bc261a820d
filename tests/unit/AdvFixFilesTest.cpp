// The Advanced repairs that write, run or delete files and folders, and the two
// text payloads they write.
#include <optional>

#include "AdvFixTestSupport.h"
#include "fileassoc/Unit_FORMLAIN_Korvane.h"

namespace korvane {
namespace {

using testing::AdvFixTest;

std::string CrLfText(const Payload& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return text;
}

// ------------------------------------------------------------------ payloads

TEST(AdvFixPayloads, FolderViewBatchHoldsTheThirteenCommandsInOrderAndOnlyComments) {
  const Payload& bat = FORM_LAIN().mRESET_FOLDERVIEW;
  EXPECT_EQ(bat.size(), 33u);
  std::vector<std::string> commands;
  for (const auto& line : bat) {
    if (line.empty() || line.rfind("::", 0) == 0) continue;
    commands.push_back(line);
  }
  EXPECT_EQ(
      commands,
      (std::vector<std::string>{
          "@echo off",
          R"(Reg Delete "HKCU\SOFTWARE\Microsoft\Windows\Shell\BagMRU" /F)",
          R"(Reg Delete "HKCU\SOFTWARE\Microsoft\Windows\Shell\Bags" /F)",
          R"(Reg Delete "HKCU\SOFTWARE\Microsoft\Windows\ShellNoRoam\Bags" /F)",
          R"(Reg Delete "HKCU\SOFTWARE\Microsoft\Windows\ShellNoRoam\BagMRU" /F)",
          R"(Reg Delete "HKCU\SOFTWARE\Classes\Local Settings\Software\Microsoft\Windows\Shell\BagMRU" /F)",
          R"(Reg Delete "HKCU\SOFTWARE\Classes\Local Settings\Software\Microsoft\Windows\Shell\Bags" /F)",
          R"(Reg Delete "HKCU\SOFTWARE\Classes\Wow6432Node\Local Settings\Software\Microsoft\Windows\Shell\Bags" /F)",
          R"(Reg Delete "HKCU\SOFTWARE\Classes\Wow6432Node\Local Settings\Software\Microsoft\Windows\Shell\BagMRU" /F)",
          R"(REG Delete "HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Streams\Defaults" /F)",
          R"(Reg Delete "HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Modules\GlobalSettings\Sizer" /F)",
          "taskkill /f /im explorer.exe",
          "start explorer.exe",
      }));
  for (const auto& line : bat) EXPECT_EQ(line.find('\r'), std::string::npos);
}

TEST(AdvFixPayloads, HostsTextMapsNoNameAndKeepsItsFixedLinesExactly) {
  const Payload& hosts = FORM_LAIN().MEMO_HOSTS;
  ASSERT_EQ(hosts.size(), 21u);
  const std::pair<int, std::string> fixed[] = {
      {2, "#"},
      {4, "#"},
      {10, "#"},
      {13, "#"},
      {14, "# For example:"},
      {15, "#"},
      {18, ""},
      {20, "#\t127.0.0.1       localhost"},  // a tab, then seven blanks
      {21, "#\t::1             localhost"},  // a tab, then thirteen blanks
  };
  for (const auto& [n, text] : fixed) EXPECT_EQ(hosts[n - 1], text) << "line " << n;
  for (int n : {1, 3, 5, 6, 7, 8, 9, 11, 12, 16, 17, 19})
    EXPECT_EQ(hosts[n - 1].rfind("# ", 0), 0u) << "line " << n << ": " << hosts[n - 1];
  for (int n : {16, 17}) {
    // a commented-out entry: address, blanks, name, blanks, its own comment
    const std::string entry = hosts[n - 1].substr(1);
    EXPECT_NE(entry.find_first_of("0123456789"), std::string::npos) << "line " << n;
    EXPECT_NE(entry.find('#'), std::string::npos) << "line " << n;
  }
  for (const auto& line : hosts) EXPECT_TRUE(line.empty() || line[0] == '#') << line;
}

// ---------------------------------------------------------------- hosts file

const std::wstring kEtc = L"C:\\Windows\\System32\\drivers\\etc";
const std::wstring kHosts = kEtc + L"\\hosts";
const std::string kOldHosts = "127.0.0.1 localhost\r\n10.0.0.66 update.example.com\r\n";

class AdvFixHostsFile : public AdvFixTest {
 protected:
  void SetUp() override {
    AdvFixTest::SetUp();
    fake().addDirectory(L"C:\\Windows\\System32\\drivers");
  }
  void addEtc(bool readOnly = false) { fake().addDirectory(kEtc, readOnly); }
  std::vector<std::wstring> etcFiles() {
    std::vector<std::wstring> out;
    for (const auto& f : fake().filesUnder(kEtc)) out.push_back(LowerText(f));
    return out;
  }
};

TEST_F(AdvFixHostsFile, ReplacesAnOldFileWithTwentyOneCrLfLines) {
  addEtc();
  fake().addTextFile(kHosts, kOldHosts);
  press(&ResetHostsFile);
  const std::string text = fake().fileText(kHosts);
  EXPECT_EQ(text, CrLfText(FORM_LAIN().MEMO_HOSTS));
  size_t lines = 0;
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') {
      ASSERT_GT(i, 0u);
      EXPECT_EQ(text[i - 1], '\r') << "bare LF at byte " << i;
      ++lines;
    }
  EXPECT_EQ(lines, 21u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(etcFiles(), std::vector<std::wstring>{LowerText(kHosts)});  // nothing left beside it
  EXPECT_EQ(notices(), 1);
}

TEST_F(AdvFixHostsFile, CreatesAMissingFileUnderTheWindowsDirectory) {
  fake().windowsDirectory = L"E:\\WINNT";
  fake().addDirectory(L"E:\\WINNT\\System32\\drivers\\etc");
  press(&ResetHostsFile);
  EXPECT_EQ(fake().fileText(L"E:\\WINNT\\System32\\drivers\\etc\\hosts"),
            CrLfText(FORM_LAIN().MEMO_HOSTS));
  EXPECT_EQ(notices(), 1);
}

struct HostsRefusedCase {
  const char* name;
  bool etcExists;
  bool etcReadOnly;
  bool oldFile;
  bool oldFileReadOnly;
  std::wstring reason;
  std::optional<std::size_t> freeBytes = std::nullopt;
};

void PrintTo(const HostsRefusedCase& c, std::ostream* os) { *os << c.name; }

class HostsFileRefused : public AdvFixHostsFile,
                         public ::testing::WithParamInterface<HostsRefusedCase> {};

TEST_P(HostsFileRefused, LeavesTheOldFileExactlyAsItWasAndNamesThePath) {
  const auto& c = GetParam();
  if (c.etcExists) addEtc(c.etcReadOnly);
  if (c.oldFile) {
    fake().addTextFile(kHosts, kOldHosts);
    fake().setFileReadOnly(kHosts, c.oldFileReadOnly);
  }
  fake().freeBytes = c.freeBytes;
  press(&ResetHostsFile);
  ASSERT_EQ(fake().messages().size(), 1u);
  EXPECT_EQ(fake().messages()[0].text,
            L"Cannot create file \"" + kHosts + L"\". " + c.reason + L".");
  EXPECT_EQ(fake().messages()[0].title, L"Korvane");
  EXPECT_EQ(fake().messages()[0].flags, kMbIconError);
  if (c.oldFile) {
    EXPECT_EQ(fake().fileText(kHosts), kOldHosts);
    EXPECT_EQ(fake().getFileAttributes(kHosts) & kFileAttributeReadOnly,
              c.oldFileReadOnly ? kFileAttributeReadOnly : 0u);
    EXPECT_EQ(etcFiles(), std::vector<std::wstring>{LowerText(kHosts)});
  } else {
    EXPECT_TRUE(etcFiles().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    AdvFix, HostsFileRefused,
    ::testing::Values(
        HostsRefusedCase{"ReadOnlyFolder", true, true, true, false, L"Access is denied"},
        HostsRefusedCase{"ReadOnlyHostsFile", true, false, true, true, L"Access is denied"},
        HostsRefusedCase{"NoEtcFolder", false, false, false, false,
                         L"The system cannot find the path specified"},
        // The old file could be deleted here; it must not be, as nothing can replace it.
        // The staged file was created before the write failed, and must go too.
        HostsRefusedCase{"DiskFull", true, false, true, false,
                         L"There is not enough space on the disk", 100},
        HostsRefusedCase{"DiskFullWithoutAnOldFile", true, false, false, false,
                         L"There is not enough space on the disk", 100}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------- folder view batch

// The program the command processor starts first for "cmd.exe ... /c <rest>", as it
// reads <rest>: the first quotation mark and the last one go, then the line splits
// into commands at & | < > outside quotation marks.
std::wstring FirstProgramCmdRuns(const std::wstring& commandLine) {
  const size_t slashC = commandLine.find(L" /c ");
  if (slashC == std::wstring::npos) return L"<no /c>";
  std::wstring rest = commandLine.substr(slashC + 4);
  if (!rest.empty() && rest.front() == L'"') {
    rest.erase(0, 1);
    const size_t last = rest.rfind(L'"');
    if (last != std::wstring::npos) rest.erase(last, 1);
  }
  std::wstring program;
  bool quoted = false;
  for (wchar_t ch : rest) {
    if (ch == L'"') {
      quoted = !quoted;
      continue;
    }
    if (!quoted && (ch == L' ' || ch == L'&' || ch == L'|' || ch == L'<' || ch == L'>')) break;
    program.push_back(ch);
  }
  return program;
}

struct BatchCase {
  const char* name;
  std::wstring tempPath;
};

void PrintTo(const BatchCase& c, std::ostream* os) { *os << c.name; }

class FolderViewBatch : public AdvFixTest, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(FolderViewBatch, RunsAFreshCopyThroughTheCommandProcessorAndLeavesNoneBehind) {
  const auto& c = GetParam();
  TempPath = c.tempPath;
  fake().addDirectory(c.tempPath);
  const std::wstring batch = c.tempPath + L"tempbat.bat";
  fake().addTextFile(batch, "echo left over from last time\r\n");
  std::optional<std::string> seenByCmd;
  std::wstring cmdRan;
  bool lockedWhileRunning = false;
  fake().addProgram(L"cmd.exe", fake::FakeProgram{0,
                                                  1,
                                                  [&](const std::wstring& commandLine) {
                                                    cmdRan = FirstProgramCmdRuns(commandLine);
                                                    seenByCmd = fake().fileText(cmdRan);
                                                    lockedWhileRunning = fake().fileLocked(batch);
                                                  },
                                                  {}});
  press(&ResetFolderViewSettings);

  const std::wstring commandLine = L"cmd.exe /d /v:off /c \"\"" + batch + L"\"\"";
  ASSERT_EQ(fake().launches().size(), 1u);
  EXPECT_EQ(fake().launches()[0].commandLine, commandLine);
  EXPECT_EQ(LowerText(fake().launches()[0].application), L"c:\\windows\\system32\\cmd.exe");
  EXPECT_EQ(fake().launches()[0].showMode, 0);
  EXPECT_TRUE(fake().launches()[0].waited);
  EXPECT_EQ(cmdRan, batch) << "the command processor would start another batch";
  ASSERT_TRUE(seenByCmd) << "the batch never started";
  EXPECT_EQ(*seenByCmd, CrLfText(FORM_LAIN().mRESET_FOLDERVIEW));
  EXPECT_TRUE(lockedWhileRunning) << "the batch could be changed while it ran";
  EXPECT_FALSE(fake().fileExists(batch));
  EXPECT_EQ(
      eventsOf({L"start ", L"end ", L"box "}),
      (std::vector<std::wstring>{L"start " + commandLine, L"end " + commandLine, noticeEvent()}));
  EXPECT_EQ(notices(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    AdvFix, FolderViewBatch,
    ::testing::Values(BatchCase{"PlainTemp", L"C:\\Temp\\"},
                      BatchCase{"TempWithABlank", L"C:\\Users\\Ann Lee\\AppData\\Local\\Temp\\"},
                      // Read unquoted, "C:\work\t&calc\..." starts calc\tempbat.bat of
                      // the current folder.
                      BatchCase{"TempWithAnAmpersand", L"C:\\work\\t&calc\\"},
                      BatchCase{"TempWithOtherSpecials", L"C:\\a (b)^c,d;e=f!g\\"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AdvFixTest, FolderViewBatchInATempWithAPercentSignIsRefusedUnwritten) {
  TempPath = L"C:\\w\\%X%\\";
  fake().addDirectory(L"C:\\w\\%X%");
  press(&ResetFolderViewSettings);
  EXPECT_EQ(boxTexts(), std::vector<std::wstring>{
                            L"Cannot run \"C:\\w\\%X%\\tempbat.bat\". The command processor would "
                            L"read the % in its path as a variable."});
  EXPECT_TRUE(fake().launches().empty());
  EXPECT_FALSE(fake().fileExists(L"C:\\w\\%X%\\tempbat.bat"));
}

TEST_F(AdvFixTest, FolderViewBatchChangedBeforeItRunsIsNotRun) {
  const std::wstring batch = L"C:\\Temp\\tempbat.bat";
  fake().onLock = [&](const std::wstring& path) {
    if (path == batch) fake().addTextFile(path, "start calc\r\n");
  };
  press(&ResetFolderViewSettings);
  EXPECT_EQ(boxTexts(), std::vector<std::wstring>{L"Cannot create file \"" + batch +
                                                  L"\". Another program changed it."});
  EXPECT_TRUE(fake().launches().empty());
  EXPECT_EQ(notices(), 0);
}

TEST_F(AdvFixTest, FolderViewBatchWithoutACommandProcessorSaysSoAndLeavesNoBatch) {
  ASSERT_TRUE(fake().deleteFile(L"C:\\Windows\\System32\\cmd.exe"));
  press(&ResetFolderViewSettings);
  EXPECT_EQ(boxTexts(), std::vector<std::wstring>{
                            L"Cannot run \"cmd.exe\". The system cannot find the file specified."});
  EXPECT_TRUE(fake().launches().empty());
  EXPECT_FALSE(fake().fileExists(L"C:\\Temp\\tempbat.bat"));
  EXPECT_EQ(notices(), 0);
}

TEST_F(AdvFixTest, FolderViewBatchThatCannotBeWrittenRunsNothing) {
  const struct {
    std::wstring temp;
    bool exists;
    std::wstring reason;
  } cases[] = {{L"C:\\Locked\\", true, L"Access is denied"},
               {L"C:\\Gone\\", false, L"The system cannot find the path specified"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(fake::Narrow(c.temp));
    fake::ScopedFakePlatform sys;
    if (c.exists) sys->addDirectory(c.temp, true);
    TempPath = c.temp;
    press(&ResetFolderViewSettings);
    ASSERT_EQ(sys->messages().size(), 1u);
    EXPECT_EQ(sys->messages()[0].text,
              L"Cannot create file \"" + c.temp + L"tempbat.bat\". " + c.reason + L".");
    EXPECT_EQ(sys->messages()[0].flags, kMbIconError);
    EXPECT_TRUE(sys->launches().empty());
  }
}

// -------------------------------------------------------- corrupted Recycle Bin

struct RecycleCase {
  const char* name;
  std::optional<std::wstring> typed;  // nullopt: Cancel
  std::optional<int> answer;          // the Yes/No reply, when asked
  bool asked;
  bool deletesD;
  bool notifies;
};

void PrintTo(const RecycleCase& c, std::ostream* os) { *os << c.name; }

class CorruptedRecycleBin : public AdvFixTest, public ::testing::WithParamInterface<RecycleCase> {
 protected:
  void SetUp() override {
    AdvFixTest::SetUp();
    fake().addDirectory(L"C:\\$Recycle.Bin");
    fake().addFile(L"C:\\$Recycle.Bin\\$RABC.txt");
    fake().addDirectory(L"D:\\");
    fake().addDirectory(L"D:\\$Recycle.Bin");
    fake().addDirectory(L"D:\\$Recycle.Bin\\S-1-5-21-1000");
    fake().addFile(L"D:\\$Recycle.Bin\\S-1-5-21-1000\\$R1X2Y3.docx");
    fake().addFile(L"D:\\Data\\keep.txt");
    fake().addDirectory(L"D:\\Data");
    // Planted by a program of the user, who may write in the Recycle Bin's folder.
    fake().addLink(L"D:\\$Recycle.Bin\\S-1-5-21-1000\\$RJUNCTION", L"D:\\Data");
    fake().addDirectory(L"E:\\");  // a drive that never had a Recycle Bin
  }
};

TEST_P(CorruptedRecycleBin, AsksOnlyAboutARealDriveAndDeletesOnlyItsBin) {
  const auto& c = GetParam();
  fake().answerInputBoxes({c.typed});
  if (c.answer) fake().answerMessageBoxes({*c.answer});
  press(&FixCorruptedRecycleBin);

  EXPECT_EQ(
      fake().inputPrompts,
      std::vector<std::wstring>{L"Fix Corrupted Recycle Bin|Enter the drive letter (example: C)"});
  std::vector<std::wstring> boxes;
  if (c.asked) {
    boxes.push_back(L"All items on the Recycle Bin will be deleted, do you want to continue?");
    EXPECT_EQ(fake().messages()[0].title, L"Korvane ");
    EXPECT_EQ(fake().messages()[0].flags, 36u);
  }
  if (c.notifies) boxes.push_back(kFixedNoticeText);
  EXPECT_EQ(boxTexts(), boxes);
  EXPECT_EQ(notices(), c.notifies ? 1 : 0);

  EXPECT_EQ(fake().directoryExists(L"D:\\$Recycle.Bin"), !c.deletesD);
  EXPECT_EQ(fake().fileExists(L"D:\\$Recycle.Bin\\S-1-5-21-1000\\$R1X2Y3.docx"), !c.deletesD);
  EXPECT_TRUE(fake().fileExists(L"C:\\$Recycle.Bin\\$RABC.txt"));
  EXPECT_TRUE(fake().fileExists(L"D:\\Data\\keep.txt"));
  EXPECT_TRUE(fake().directoryExists(L"D:\\Data"));
  EXPECT_EQ(eventsOf({L"deltree "}).size(), c.deletesD ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    AdvFix, CorruptedRecycleBin,
    ::testing::Values(RecycleCase{"NothingTyped", L"", std::nullopt, false, false, false},
                      RecycleCase{"Cancelled", std::nullopt, std::nullopt, false, false, false},
                      RecycleCase{"LetterWithColon", L"C:", kIdYes, false, false, false},
                      RecycleCase{"LetterWithBlank", L"D ", kIdYes, false, false, false},
                      RecycleCase{"NoSuchDrive", L"X", kIdYes, false, false, false},
                      RecycleCase{"LowerCaseYes", L"d", kIdYes, true, true, true},
                      RecycleCase{"AnswerNo", L"D", kIdNo, true, false, false},
                      RecycleCase{"DriveWithoutBin", L"E", kIdYes, true, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A folder that could not be deleted (a file in it is in use) is reported with the
// system's reason; the notice would claim a repair that did not happen.
TEST_F(AdvFixTest, AFolderThatCannotBeDeletedIsNamedAndNoNoticeFollows) {
  const std::wstring sys = L"C:\\Windows\\System32\\";
  const struct {
    const char* name;
    void (*routine)();
    std::wstring folder;
    std::wstring busyFile;
  } cases[] = {
      {"corrupted Recycle Bin", &FixCorruptedRecycleBin, L"D:\\$Recycle.Bin",
       L"D:\\$Recycle.Bin\\S-1-5-21-1000\\$R1X2Y3.docx"},
      {"Group Policy", &ResetGroupPolicy, sys + L"GroupPolicy",
       sys + L"GroupPolicy\\Machine\\Registry.pol"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake::ScopedFakePlatform f;
    f->addDirectory(L"D:\\");
    f->addDirectory(c.folder);
    f->addFile(c.busyFile, {'x'});
    Handle busy = 0;
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(f->lockFile(c.busyFile, &busy, &bytes));
    f->answerInputBoxes({L"D"});
    f->answerMessageBoxes({kIdYes});

    RunHandler(c.routine);

    ASSERT_FALSE(f->messages().empty());
    EXPECT_EQ(f->messages().back().text,
              L"Cannot delete folder \"" + c.folder +
                  L"\". The process cannot access the file because it is being used by another "
                  L"process.");
    EXPECT_EQ(f->messages().back().flags, kMbIconError);
    for (const auto& m : f->messages()) EXPECT_NE(m.text, kFixedNoticeText);
    EXPECT_TRUE(f->launches().empty()) << "gpupdate ran on a half-reset policy";
  }
}

// --------------------------------------------------------------- Group Policy

struct PolicyCase {
  const char* name;
  bool machine;
  bool users;
};

void PrintTo(const PolicyCase& c, std::ostream* os) { *os << c.name; }

class GroupPolicyReset : public AdvFixTest, public ::testing::WithParamInterface<PolicyCase> {};

TEST_P(GroupPolicyReset, DeletesTheFoldersPresentThenRunsGpupdate) {
  const auto& c = GetParam();
  const std::wstring sys = L"C:\\Windows\\System32\\";
  if (c.machine) {
    fake().addDirectory(sys + L"GroupPolicy");
    fake().addDirectory(sys + L"GroupPolicy\\Machine");
    fake().addFile(sys + L"GroupPolicy\\Machine\\Registry.pol");
  }
  if (c.users) {
    fake().addDirectory(sys + L"GroupPolicyUsers");
    fake().addFile(sys + L"GroupPolicyUsers\\S-1-5-21-1000\\User\\Registry.pol");
  }
  fake().addDirectory(sys + L"GroupPolicyBackup");
  fake().addFile(sys + L"GroupPolicyBackup\\Registry.pol");
  press(&ResetGroupPolicy);

  std::vector<std::wstring> expected;
  if (c.machine) expected.push_back(L"deltree " + sys + L"GroupPolicy");
  if (c.users) expected.push_back(L"deltree " + sys + L"GroupPolicyUsers");
  expected.push_back(L"start gpupdate /force");
  expected.push_back(L"end gpupdate /force");
  expected.push_back(noticeEvent());
  EXPECT_EQ(eventsOf({L"deltree ", L"start ", L"end ", L"box "}), expected);
  EXPECT_FALSE(fake().directoryExists(sys + L"GroupPolicy"));
  EXPECT_FALSE(fake().directoryExists(sys + L"GroupPolicyUsers"));
  EXPECT_TRUE(fake().filesUnder(sys + L"GroupPolicy").empty());
  EXPECT_TRUE(fake().filesUnder(sys + L"GroupPolicyUsers").empty());
  EXPECT_TRUE(fake().fileExists(sys + L"GroupPolicyBackup\\Registry.pol"));
  EXPECT_TRUE(fake().fileExists(sys + L"gpupdate.exe"));
  EXPECT_EQ(notices(), 1);
}

INSTANTIATE_TEST_SUITE_P(AdvFix, GroupPolicyReset,
                         ::testing::Values(PolicyCase{"Both", true, true},
                                           PolicyCase{"OnlyMachine", true, false},
                                           PolicyCase{"Neither", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvane
