#include <gmock/gmock.h>

#include <functional>

#include "TestSupport.h"
#include "common/ComError.h"
#include "common/KorvaneError.h"
#include "common/PrivateFolders.h"
#include "common/ProgramPath.h"
#include "common/Startup.h"

namespace korvane {
namespace {

using ::testing::ElementsAre;
using testing::FakeTest;

// ------------------------------------------------------------------ RunAndWait

class RunAndWaitTest : public FakeTest {};

TEST_F(RunAndWaitTest, ReturnsTheExitCodeAfterPollingWithMessagePasses) {
  fake().addProgram(L"sfc.exe", {7, 2, nullptr, nullptr});
  EXPECT_EQ(RunAndWait(L"sfc /scannow", 5), 7u);
  const auto& launch = fake().launches().back();
  EXPECT_EQ(launch.commandLine, L"sfc /scannow");
  EXPECT_EQ(launch.showMode, 5);
  EXPECT_EQ(launch.creationFlags, 0x30u);  // CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS
  // Two polls find it running: each is followed by a message pass and a 50 ms nap.
  EXPECT_THAT(fake().events, ElementsAre(L"start sfc /scannow", L"messages", L"sleep 50",
                                         L"messages", L"sleep 50", L"end sfc /scannow"));
}

TEST_F(RunAndWaitTest, AProgramThatCannotStartGivesAllOnesAndNoWait) {
  EXPECT_EQ(RunAndWait(L"nosuchtool.exe /x", 0), kRunFailed);
  EXPECT_TRUE(fake().events.empty());
  EXPECT_TRUE(fake().messages().empty());
}

TEST_F(RunAndWaitTest, ACommandLineOverTheBufferIsRefusedNotCut) {
  fake().addProgram(L"cmd.exe", {0, 0, nullptr, nullptr});
  const std::wstring fits = L"cmd.exe /c " + std::wstring(512 - 11, L'x');
  EXPECT_EQ(RunAndWait(fits, 0), 0u);
  EXPECT_EQ(fake().launches().back().commandLine, fits);
  const size_t launched = fake().launches().size();
  EXPECT_EQ(RunAndWait(fits + L"y", 0), kRunFailed);
  EXPECT_EQ(fake().launches().size(), launched);  // nothing was started
}

TEST_F(RunAndWaitTest, ANestedRunFinishesBeforeTheOuterOneReturns) {
  fake().addFile(L"C:\\Windows\\System32\\short.exe");
  fake().addFile(L"C:\\Windows\\System32\\long.exe");
  fake().addProgram(L"short.exe", {3, 1, nullptr, nullptr});
  bool nested = false;
  fake().addProgram(L"long.exe", {9, 3, nullptr, [&] {
                                    if (!nested) {
                                      nested = true;  // a button pressed while the tool runs
                                      EXPECT_EQ(RunAndWait(L"short.exe", 0), 3u);
                                    }
                                  }});
  EXPECT_EQ(RunAndWait(L"long.exe", 0), 9u);
  auto pos = [&](const std::wstring& e) {
    return std::find(fake().events.begin(), fake().events.end(), e) - fake().events.begin();
  };
  EXPECT_LT(pos(L"start long.exe"), pos(L"start short.exe"));
  EXPECT_LT(pos(L"end short.exe"), pos(L"end long.exe"));
}

// ---------------------------------------------------------- planted programs

class ProgramPathTest : public FakeTest {};

TEST_F(ProgramPathTest, BareToolNamesResolveToTheSystemCopyAndPathsToThemselves) {
  struct Case {
    const wchar_t* commandLine;
    const wchar_t* expected;  // nullptr: nothing may be started
  } cases[] = {
      {L"reg.exe import C:\\Temp\\BAT.reg", L"C:\\Windows\\System32\\reg.exe"},
      {L"netsh winsock reset", L"C:\\Windows\\System32\\netsh.exe"},
      {L"SC config wsearch start= auto", L"C:\\Windows\\System32\\SC.exe"},
      {L"DISM /Online /Cleanup-Image /RestoreHealth", L"C:\\Windows\\System32\\DISM.exe"},
      {L"wmic recoveros set x", L"C:\\Windows\\System32\\wbem\\wmic.exe"},
      {L"powershell.exe -command x",
       L"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe"},
      {L"\"reg.exe\" import x", L"C:\\Windows\\System32\\reg.exe"},  // quoted bare name
      // A path is the program itself: given as the application name, it is not
      // searched for either.
      {L"C:\\Temp\\RestartExp.exe", L"C:\\Temp\\RestartExp.exe"},
      {L"\"C:\\Users\\Ann Lee\\Temp\\RestartExp.exe\"",
       L"C:\\Users\\Ann Lee\\Temp\\RestartExp.exe"},
      // Unquoted, the path ends at the blank: the first word is all that may start.
      {L"C:\\Users\\Ann Lee\\Temp\\RestartExp.exe", L"C:\\Users\\Ann"},
      {L"nosuchtool /x", nullptr},  // in no system folder: never looked for elsewhere
      {L"readme.txt", nullptr},     // not a program name
      {L"", nullptr},
  };
  for (const auto& c : cases) {
    auto resolved = ResolveSystemProgram(c.commandLine);
    if (c.expected) {
      ASSERT_TRUE(resolved.has_value()) << fake::Narrow(c.commandLine);
      EXPECT_EQ(LowerText(*resolved), LowerText(c.expected)) << fake::Narrow(c.commandLine);
    } else {
      EXPECT_FALSE(resolved.has_value()) << fake::Narrow(c.commandLine);
    }
  }
}

TEST_F(ProgramPathTest, PowerShellFolderIsOnlyForPowerShell) {
  fake().addFile(L"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\evil.exe");
  EXPECT_FALSE(ResolveSystemProgram(L"evil.exe").has_value());
}

TEST_F(ProgramPathTest, TheRunnerPassesTheFullPathAndKeepsTheCommandText) {
  fake().addProgram(L"reg.exe", {0, 0, nullptr, nullptr});
  RunAndWait(L"reg.exe import C:\\Temp\\ZIP.reg", 0);
  EXPECT_EQ(LowerText(fake().launches().back().application), L"c:\\windows\\system32\\reg.exe");
  EXPECT_EQ(fake().launches().back().commandLine, L"reg.exe import C:\\Temp\\ZIP.reg");
}

// The fake finds a program known by its bare name wherever a search would: that is a
// copy planted in the current folder.  With the System directory's copy missing, the
// runners must fail without starting anything, and say which tool and why.
TEST_F(ProgramPathTest, AToolMissingFromTheSystemDirectoryIsNeverStartedFromElsewhere) {
  bool plantedRan = false;
  for (const wchar_t* tool : {L"gpupdate.exe", L"powercfg.exe", L"sfc.exe"}) {
    ASSERT_TRUE(fake().deleteFile(std::wstring(L"C:\\Windows\\System32\\") + tool));
    fake().addProgram(tool, {0, 0, [&](const std::wstring&) { plantedRan = true; }, {}});
  }

  const RunResult run = RunProcess(L"gpupdate /force", 5);
  EXPECT_FALSE(run.started);
  EXPECT_EQ(run.failure, L"Cannot run \"gpupdate\". The system cannot find the file specified");
  EXPECT_EQ(RunAndWait(L"sfc /scannow", 5), kRunFailed);
  try {
    RunToolAndWait(L"sfc /scannow", 5);
    ADD_FAILURE() << "no error for a missing sfc";
  } catch (const KorvaneError& e) {
    EXPECT_EQ(e.message(), L"Cannot run \"sfc\". The system cannot find the file specified");
  }
  try {
    StartTool(L"powercfg -h on", 5);
    ADD_FAILURE() << "no error for a missing powercfg";
  } catch (const KorvaneError& e) {
    EXPECT_EQ(e.message(), L"Cannot run \"powercfg\". The system cannot find the file specified");
  }
  EXPECT_FALSE(plantedRan);
  EXPECT_TRUE(fake().launches().empty());
}

TEST_F(ProgramPathTest, AStartWindowsRefusesCarriesTheSystemsReason) {
  const RunResult run = RunProcess(L"\"C:\\Temp\\Gone Away.exe\" /x", 0);
  EXPECT_FALSE(run.started);
  EXPECT_EQ(run.exitCode, kRunFailed);
  EXPECT_EQ(run.failure,
            L"Cannot run \"C:\\Temp\\Gone Away.exe\". The system cannot find the file specified");
  ASSERT_EQ(fake().launches().size(), 1u);  // asked for, by its path, and refused
  EXPECT_EQ(fake().launches()[0].application, L"C:\\Temp\\Gone Away.exe");

  // The same for a start that does not wait, whose refusal comes back as WinExec's code.
  fake::FakeProgram blocked;
  blocked.refusedWith = kErrorAccessDenied;
  fake().addProgram(L"powercfg.exe", blocked);
  try {
    StartTool(L"powercfg -h on", 5);
    ADD_FAILURE() << "a refused start passed for a started one";
  } catch (const KorvaneError& e) {
    EXPECT_EQ(e.message(), L"Cannot run \"powercfg\". Access is denied");
  }
}

// ----------------------------------------------------- paths on a command line

TEST(CommandLineForPathTest, QuotesBlanksAndEveryCharacterTheCommandProcessorActsOn) {
  struct Case {
    const wchar_t* path;
    bool quoted;
  } cases[] = {
      {L"C:\\Temp\\ZIP.reg", false},
      {L"C:\\Users\\Ann Lee\\Temp\\ZIP.reg", true},
      {L"C:\\work\\t&calc\\tempbat.bat", true},
      {L"C:\\a|b\\x", true},
      {L"C:\\a<b\\x", true},
      {L"C:\\a>b\\x", true},
      {L"C:\\Temp (2)\\x", true},
      {L"C:\\a(b\\x", true},
      {L"C:\\a)b\\x", true},
      {L"C:\\a^b\\x", true},
      {L"C:\\a%b%\\x", true},
      {L"C:\\a!b!\\x", true},
      {L"C:\\a,b\\x", true},
      {L"C:\\a;b\\x", true},
      {L"C:\\a=b\\x", true},
      {L"C:\\a\tb\\x", true},
      {L"C:\\Temp-1_2.3~x\\y", false},
  };
  for (const auto& c : cases) {
    const std::wstring path = c.path;
    EXPECT_EQ(CommandLineForPath(path), c.quoted ? L"\"" + path + L"\"" : path)
        << fake::Narrow(path);
  }
}

// ------------------------------------------------------------------ held files

class HeldFileTest : public FakeTest {
 protected:
  const std::wstring path = L"C:\\Temp\\BAT.reg";
  const std::vector<std::uint8_t> text{'a', '\r', '\n'};
};

TEST_F(HeldFileTest, NobodyCanWriteReplaceOrDeleteTheFileWhileItIsHeld) {
  fake().addFile(L"C:\\Temp\\other.reg", {'x'});
  {
    HeldFile held = WriteHeldFile(path, text);
    EXPECT_TRUE(fake().fileLocked(path));
    EXPECT_FALSE(fake().writeFile(path, {'e', 'v', 'i', 'l'}));
    EXPECT_FALSE(fake().deleteFile(path));
    EXPECT_FALSE(fake().replaceFile(L"C:\\Temp\\other.reg", path));
    EXPECT_EQ(fake().fileBytes(path), text);
    // Moved into another holder, the hold goes with it.
    HeldFile moved = std::move(held);
    held.release();
    EXPECT_TRUE(fake().fileLocked(path));
  }
  EXPECT_FALSE(fake().fileLocked(path));
  EXPECT_TRUE(fake().deleteFile(path));
}

TEST_F(HeldFileTest, AFileChangedOrTakenBeforeTheHoldIsRefused) {
  struct Case {
    const char* name;
    std::function<void(fake::FakePlatform&, const std::wstring&)> racer;
    const wchar_t* reason;
  } cases[] = {
      {"rewritten",
       [](fake::FakePlatform& f, const std::wstring& p) {
         f.writeFile(p, {'e', 'v', 'i', 'l'});
       },
       L"Another program changed it"},
      {"one byte added",
       [](fake::FakePlatform& f, const std::wstring& p) {
         f.writeFile(p, {'a', '\r', '\n', 'x'});
       },
       L"Another program changed it"},
      {"deleted", [](fake::FakePlatform& f, const std::wstring& p) { f.deleteFile(p); },
       L"The system cannot find the file specified"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake::ScopedFakePlatform sys;
    sys->onLock = [&](const std::wstring& p) { c.racer(*sys, p); };
    try {
      HeldFile held = WriteHeldFile(path, text);
      ADD_FAILURE() << "the changed file was taken as written";
    } catch (const KorvaneError& e) {
      EXPECT_EQ(e.message(), L"Cannot create file \"" + path + L"\". " + c.reason);
    }
    EXPECT_FALSE(sys->fileLocked(path)) << "a refused file is still held";
  }
}

TEST_F(HeldFileTest, AFileThatCannotBeWrittenIsNamedWithTheReason) {
  fake().addDirectory(L"C:\\Temp", true);
  try {
    WriteHeldFile(path, text);
    ADD_FAILURE();
  } catch (const KorvaneError& e) {
    EXPECT_EQ(e.message(), L"Cannot create file \"" + path + L"\". Access is denied");
  }
}

// ------------------------------------------------------------- folder deletion

TEST_F(HeldFileTest, AFolderTreeWithAFileInUseIsReportedAsNotDeleted) {
  fake().addDirectory(L"D:\\Bin");
  fake().addDirectory(L"D:\\Bin\\S-1");
  fake().addFile(L"D:\\Bin\\S-1\\busy.docx", {'x'});
  fake().addFile(L"D:\\Bin\\free.txt");
  Handle busy = 0;
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(fake().lockFile(L"D:\\Bin\\S-1\\busy.docx", &busy, &bytes));

  std::wstring reason;
  EXPECT_FALSE(DeleteFolderTree(L"D:\\Bin", &reason));
  EXPECT_EQ(reason,
            L"The process cannot access the file because it is being used by another process");
  try {
    DeleteFolderTreeOrRaise(L"D:\\Bin");
    ADD_FAILURE();
  } catch (const KorvaneError& e) {
    EXPECT_EQ(e.message(), L"Cannot delete folder \"D:\\Bin\". " + reason);
  }

  fake().closeHandle(busy);
  EXPECT_TRUE(DeleteFolderTree(L"D:\\Bin", &reason));
  EXPECT_FALSE(fake().directoryExists(L"D:\\Bin"));
  // Nothing there, or only a file: nothing to delete, nothing failed.
  EXPECT_TRUE(DeleteFolderTree(L"D:\\Bin"));
  fake().addFile(L"D:\\file.txt");
  EXPECT_TRUE(DeleteFolderTree(L"D:\\file.txt"));
  EXPECT_TRUE(fake().fileExists(L"D:\\file.txt"));
}

// A folder a user can write may hold links that lead anywhere: the walk removes each
// as a link and never enters it, also when a folder turns into a link after it was
// listed.  Where a link cannot be opened as itself (Wine), it is left, named, and the
// rest still goes.
struct PlantedLinkCase {
  const char* name;
  std::function<void(fake::FakePlatform&)> plant;
  bool linksOpenAsThemselves;
  const wchar_t* reason;  // nullptr: all of D:\Bin is gone
};

void PrintTo(const PlantedLinkCase& c, std::ostream* os) { *os << c.name; }

class PlantedLinkTest : public HeldFileTest,
                        public ::testing::WithParamInterface<PlantedLinkCase> {};

TEST_P(PlantedLinkTest, NothingOutsideTheTreeIsDeleted) {
  const auto& c = GetParam();
  fake().addDirectory(L"D:\\Bin");
  fake().addDirectory(L"D:\\Bin\\S-1");
  fake().addFile(L"D:\\Bin\\S-1\\$R1.docx", {'d'});
  fake().addFile(L"D:\\Bin\\S-1\\$R2.txt", {'t'});
  fake().setFileReadOnly(L"D:\\Bin\\S-1\\$R2.txt");
  fake().addDirectory(L"D:\\Users\\Victim");
  fake().addDirectory(L"D:\\Users\\Victim\\Sub");
  fake().addFile(L"D:\\Users\\Victim\\thesis.docx", {'k', 'e', 'e', 'p'});
  fake().addFile(L"D:\\Users\\Victim\\Sub\\data.bin", {0, 1, 2});
  fake().addFile(L"D:\\hosts", {'h'});
  fake().linksOpenAsThemselves = c.linksOpenAsThemselves;
  c.plant(fake());
  auto outside = [this] {
    auto all = fake().allFiles();
    std::erase_if(all, [](const auto& f) { return f.first.rfind(L"d:\\bin\\", 0) == 0; });
    return all;
  };
  const auto before = outside();

  std::wstring reason;
  const bool deleted = DeleteFolderTree(L"D:\\Bin", &reason);

  EXPECT_EQ(outside(), before);
  EXPECT_TRUE(fake().directoryExists(L"D:\\Users\\Victim"));
  EXPECT_TRUE(fake().directoryExists(L"D:\\Users\\Victim\\Sub"));
  EXPECT_FALSE(fake().fileExists(L"D:\\Bin\\S-1\\$R1.docx"));
  EXPECT_FALSE(fake().fileExists(L"D:\\Bin\\S-1\\$R2.txt"));
  if (c.reason) {
    EXPECT_FALSE(deleted);
    EXPECT_EQ(reason, c.reason);
  } else {
    EXPECT_TRUE(deleted) << fake::Narrow(reason);
    EXPECT_FALSE(fake().directoryExists(L"D:\\Bin"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Foundation, PlantedLinkTest,
    ::testing::Values(
        PlantedLinkCase{
            "JunctionToAFolder",
            [](fake::FakePlatform& f) { f.addLink(L"D:\\Bin\\S-1\\$RLink", L"D:\\Users\\Victim"); },
            true, nullptr},
        PlantedLinkCase{
            "LinkToAFile",
            [](fake::FakePlatform& f) { f.addLink(L"D:\\Bin\\S-1\\$R3", L"D:\\hosts"); }, true,
            nullptr},
        PlantedLinkCase{"LinksToAFolderAndToItsParent",
                        [](fake::FakePlatform& f) {
                          f.addLink(L"D:\\Bin\\S-1\\Deeper", L"D:\\Users");
                          f.addLink(L"D:\\Bin\\S-1\\Deeper2", L"D:\\Users\\Victim\\Sub");
                        },
                        true, nullptr},
        PlantedLinkCase{"AFolderTurnsIntoALinkAfterTheListing",
                        [](fake::FakePlatform& f) {
                          f.addDirectory(L"D:\\Bin\\Swapped");
                          f.onListFolder = [&f](const std::wstring& folder) {
                            if (folder == L"D:\\Bin") f.addLink(L"D:\\Bin\\Swapped", L"D:\\Users");
                          };
                        },
                        true, nullptr},
        PlantedLinkCase{
            "ALinkThatCannotBeOpenedAsItselfIsLeft",
            [](fake::FakePlatform& f) { f.addLink(L"D:\\Bin\\S-1\\$RLink", L"D:\\Users\\Victim"); },
            false,
            L"\"D:\\Bin\\S-1\\$RLink\" is a link that cannot be removed without reaching what it "
            L"leads to, so it was left alone"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HeldFileTest, AFolderThatIsItselfALinkIsRemovedAsOne) {
  fake().addFile(L"D:\\Users\\Victim\\thesis.docx", {'k'});
  fake().addLink(L"D:\\Bin", L"D:\\Users\\Victim");

  EXPECT_TRUE(DeleteFolderTree(L"D:\\Bin"));

  EXPECT_FALSE(fake().directoryExists(L"D:\\Bin"));
  EXPECT_EQ(fake().fileText(L"D:\\Users\\Victim\\thesis.docx"), "k");
}

// ------------------------------------------------------ version and system info

class VersionTest : public FakeTest {};

TEST_F(VersionTest, VersionTableAndWindowsNames) {
  struct Case {
    std::uint32_t major, minor, build, platform;
    bool w8, w81, w10;
    const wchar_t* name;
  } cases[] = {
      {6, 1, 7601, 2, false, false, false, L"Unknown"},
      {6, 2, 9200, 2, true, false, false, L"Windows 8"},
      {6, 3, 9600, 2, false, true, false, L"Windows 8.1"},
      {10, 0, 19045, 2, false, false, true, L"Windows 10"},
      {10, 0, 22631, 2, false, false, true, L"Windows 11"},  // reports 10.0, told apart by build
      {11, 0, 30000, 2, false, false, true, L"Windows 10"},  // a higher major is accepted
      {10, 0, 19045, 1, false, false, false, L"Unknown"},    // not the NT platform
  };
  for (const auto& c : cases) {
    fake().version = {c.major, c.minor, c.build, c.platform};
    SCOPED_TRACE(c.major * 100 + c.minor);
    EXPECT_EQ(IsWindows8(), c.w8);
    EXPECT_EQ(IsWindows81(), c.w81);
    EXPECT_EQ(IsWindows10(), c.w10);
    EXPECT_EQ(GetWindowsName(), c.name);
  }
  fake().versionQueryFails = true;
  EXPECT_FALSE(IsWindows10());
  EXPECT_EQ(GetWindowsName(), L"Unknown");
}

class FormatByteSizeTest : public FakeTest {};

TEST_F(FormatByteSizeTest, UnitsAndEnglishSeparators) {
  struct Case {
    std::uint64_t bytes;
    int unit;
    const wchar_t* text;
  } cases[] = {
      {0, 0, L"0 bytes"},
      {1, 0, L"1 bytes"},
      {1023, 0, L"1023 bytes"},
      {1024, 0, L"1.0 KB"},
      {1536, 0, L"1.5 KB"},
      {1048575, 0, L"1,024.0 KB"},
      {1048576, 0, L"1.0 MB"},
      {1073741823, 0, L"1,024.0 MB"},
      {8482492416ull, 0, L"7.9 GB"},
      {17179869184ull, 0, L"16.0 GB"},
      {1099511627776ull, 0, L"1.0 TB"},
      {1536, 3, L"0.0 MB"},
      {1024 * 1024 + 52429, 3, L"1.1 MB"},  // 1.05000019 rounds up
      {1126, 2, L"1.1 KB"},                 // 1.099609375
      {1075, 2, L"1.0 KB"},                 // 1.0498046875 stays below the half
      {0xFFFFFFFFFFFFFFFFull, 0, L"16,777,216.0 TB"},
      {5, 9, L""},
      {5, 6, L""},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatByteSize(c.bytes, c.unit), c.text) << c.bytes;
}

TEST_F(FormatByteSizeTest, HalvesRoundAwayFromZero) {
  // 0.25 KB -> 0.3 (a banker's rounding would give 0.2), 0.15 MB as a decimal.
  EXPECT_EQ(FormatByteSize(256, 2), L"0.3 KB");
  EXPECT_EQ(FormatByteSize(2560, 2), L"2.5 KB");
  EXPECT_EQ(FormatByteSize(2611, 2), L"2.5 KB");  // 2.5498046875: just below the half
}

TEST_F(FormatByteSizeTest, GermanSeparators) {
  fake().separators = {L".", L","};
  EXPECT_EQ(FormatByteSize(17072495001ull, 0), L"15,9 GB");
  EXPECT_EQ(FormatByteSize(1048575, 0), L"1.024,0 KB");
}

TEST(ComErrorTextTest, DescriptionThenSystemMessageThenCode) {
  EXPECT_EQ(ComErrorText({-2147217392, L"Invalid class \r\n", L"ignored"}), L"Invalid class");
  EXPECT_EQ(ComErrorText({-2147467263, L"", L"Not implemented.\r\n"}), L"Not implemented");
  EXPECT_EQ(ComErrorText({static_cast<std::int32_t>(0x80041010), L"", L""}), L"OLE error 80041010");
}

class HomeInfoTest : public FakeTest {};

TEST_F(HomeInfoTest, MotherboardTakesTheLastBoardAndNullsAsEmpty) {
  fake().baseBoards = {{std::wstring(L"A"), std::wstring(L"One")},
                       {std::nullopt, std::wstring(L"Two")}};
  EXPECT_EQ(GetMotherboardName(), L", Two");
  fake().baseBoards.clear();
  EXPECT_EQ(GetMotherboardName(), L"");
}

TEST_F(HomeInfoTest, ProcessorNameIsUsedAsStoredAndAMissingKeyIsEmpty) {
  EXPECT_EQ(GetCPUName(), L"");
  fake().setString(kHkeyLocalMachine, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                   L"ProcessorNameString", L"  Example CPU @ 3.00GHz ");
  EXPECT_EQ(GetCPUName(), L"  Example CPU @ 3.00GHz ");
}

// ------------------------------------------------------------------- start-up

class StartupTest : public FakeTest {
 protected:
  void SetUp() override {
    FakeTest::SetUp();
    TempPath.clear();
    labels = {{L"caption", L"Korvane"},
              {L"cpu", L"lblCPUName"},
              {L"ram", L"lblTotalRAM"},
              {L"board", L"lblMotherboard"},
              {L"os", L"lblWinName"}};
    fake().setString(kHkeyLocalMachine, L"Hardware\\Description\\System\\CentralProcessor\\0",
                     L"ProcessorNameString", L"Example CPU");
  }
  StartupView view() {
    StartupView v;
    v.setCaption = [this](const std::wstring& t) { labels[L"caption"] = t; };
    v.setCPUName = [this](const std::wstring& t) { labels[L"cpu"] = t; };
    v.setTotalRAM = [this](const std::wstring& t) { labels[L"ram"] = t; };
    v.setMotherboard = [this](const std::wstring& t) { labels[L"board"] = t; };
    v.setWindowsName = [this](const std::wstring& t) { labels[L"os"] = t; };
    v.requestTerminate = [this] { terminateRequested = true; };
    return v;
  }
  std::map<std::wstring, std::wstring> labels;
  bool terminateRequested = false;
};

TEST_F(StartupTest, SupportedSystemFillsTheLabelsAndSetsTempPath) {
  FormCreate(view());
  EXPECT_FALSE(terminateRequested);
  // A folder of this run's own below ProgramData, not TEMP, which the user controls.
  EXPECT_EQ(TempPath, L"C:\\ProgramData\\Korvane\\Scratch\\5eed0000c0ffee00\\");
  EXPECT_EQ(labels[L"cpu"], L"Example CPU");
  EXPECT_EQ(labels[L"ram"], L"16.0 GB");
  EXPECT_EQ(labels[L"board"], L"Contoso, Board 1");
  EXPECT_EQ(labels[L"os"], L"Windows 10");
  EXPECT_TRUE(fake().messages().empty());
}

TEST_F(StartupTest, ASecondInstanceEndsSilentlyWithCodeZero) {
  fake().semaphores.insert(L"MyAppKorvane");
  try {
    FormCreate(view());
    FAIL() << "the second instance went on";
  } catch (const fake::FakeExit& e) {
    EXPECT_EQ(e.code, 0u);
  }
  EXPECT_TRUE(fake().messages().empty());
  EXPECT_EQ(labels[L"os"], L"lblWinName");
}

TEST_F(StartupTest, Wow64WarnsThenStillFillsTheLabelsAndTerminates) {
  fake().wow64 = true;
  FormCreate(view());
  EXPECT_TRUE(terminateRequested);
  ASSERT_EQ(fake().messages().size(), 1u);
  EXPECT_EQ(fake().messages()[0].text,
            L"You are using a 64-Bit system, please use the 64-Bit version of the program.");
  EXPECT_EQ(fake().messages()[0].flags, kMbIconWarning);
  EXPECT_EQ(labels[L"os"], L"Windows 10");
}

TEST_F(StartupTest, UnsupportedSystemIsRefusedBeforeTheLabels) {
  fake().version = {6, 1, 7601, 2};
  FormCreate(view());
  EXPECT_TRUE(terminateRequested);
  ASSERT_EQ(fake().messages().size(), 1u);
  EXPECT_EQ(fake().messages()[0].text, L"Your system is not supported, only for Windows 8/10!");
  EXPECT_EQ(fake().messages()[0].title, L"Korvane");
  EXPECT_EQ(fake().messages()[0].flags, kMbIconError);
  EXPECT_EQ(labels[L"cpu"], L"lblCPUName");
  EXPECT_EQ(TempPath, L"");
}

TEST_F(StartupTest, AWmiErrorLeavesTheLaterLabelsAtTheirPlaceholders) {
  fake().baseBoardFailure =
      ComFailure{static_cast<std::int32_t>(0x80041003), L"Access denied ", L""};
  RunHandler([&] { FormCreate(view()); });
  EXPECT_EQ(labels[L"ram"], L"16.0 GB");  // filled before the failure
  EXPECT_EQ(labels[L"board"], L"lblMotherboard");
  EXPECT_EQ(labels[L"os"], L"lblWinName");
  ASSERT_EQ(fake().messages().size(), 1u);
  EXPECT_EQ(fake().messages()[0].text, L"Access denied.");
  EXPECT_EQ(fake().messages()[0].flags, kMbIconError);
}

// An error while the labels are filled is shown and the window opens: it neither
// ends a supported start nor cancels a refusal decided before it.
struct LabelErrorCase {
  const char* name;
  bool wow64;
  bool terminates;
};

void PrintTo(const LabelErrorCase& c, std::ostream* os) { *os << c.name; }

class StartupLabelError : public StartupTest,
                          public ::testing::WithParamInterface<LabelErrorCase> {};

TEST_P(StartupLabelError, IsShownAndDecidesNothingAboutEnding) {
  fake().wow64 = GetParam().wow64;
  // The first label step reads the processor name; a number there cannot be read as text.
  fake().setDword(kHkeyLocalMachine, L"Hardware\\Description\\System\\CentralProcessor\\0",
                  L"ProcessorNameString", 1);
  RunHandler([&] { FormCreate(view()); });
  EXPECT_EQ(terminateRequested, GetParam().terminates);
  ASSERT_FALSE(fake().messages().empty());
  // No full stop: the closing quotation mark's code is below that of ".".
  EXPECT_EQ(fake().messages().back().text, L"Invalid data type for 'ProcessorNameString'");
  EXPECT_EQ(fake().messages().back().title, L"Korvane");
  EXPECT_EQ(fake().messages().back().flags, kMbIconError);
  for (const auto& [label, placeholder] :
       std::map<std::wstring, std::wstring>{{L"cpu", L"lblCPUName"},
                                            {L"ram", L"lblTotalRAM"},
                                            {L"board", L"lblMotherboard"},
                                            {L"os", L"lblWinName"}})
    EXPECT_EQ(labels[label], placeholder);
}

INSTANTIATE_TEST_SUITE_P(Startup, StartupLabelError,
                         ::testing::Values(LabelErrorCase{"Supported", false, false},
                                           LabelErrorCase{"Wow64", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Each run gets a folder no other program (nor another run) can have prepared:
// made new under a random name, for SYSTEM and Administrators alone, and removed at
// the end with what is left in it.  Without ProgramData there is none, and a
// scratch file is refused rather than written anywhere else.
TEST_F(StartupTest, EachRunHasAPrivateScratchFolderOfItsOwn) {
  fake().environment.erase(L"TEMP");
  FormCreate(view());
  const std::wstring first = TempPath;
  // A folder of the next name that somebody made first is not used.
  fake().addDirectory(L"C:\\ProgramData\\Korvane\\Scratch\\5eed0000c0ffee01");
  const std::wstring second = TempPath = RunScratchPath(fake());  // the next run's
  EXPECT_EQ(first, L"C:\\ProgramData\\Korvane\\Scratch\\5eed0000c0ffee00\\");
  EXPECT_EQ(second, L"C:\\ProgramData\\Korvane\\Scratch\\5eed0000c0ffee02\\");
  for (const std::wstring& folder : {first, second}) {
    const auto security = fake().fileSecurity(folder.substr(0, folder.size() - 1));
    ASSERT_TRUE(security.has_value());
    EXPECT_EQ(security->writers, (std::vector<std::wstring>{kSidSystem, kSidAdministrators}));
  }
  fake().addFile(second + L"TXT.reg", {'x'});
  RemoveRunScratchFolder();
  EXPECT_FALSE(fake().directoryExists(second));
  EXPECT_TRUE(fake().directoryExists(first));

  fake().programData.reset();
  TempPath = RunScratchPath(fake());
  EXPECT_EQ(TempPath, L"");
  EXPECT_THROW(WriteHeldFile(TempPath + L"TXT.reg", {'x'}), KorvaneError);
  EXPECT_FALSE(fake().fileExists(L"TXT.reg"));
}

}  // namespace
}  // namespace korvane
