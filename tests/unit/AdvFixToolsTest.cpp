// The Advanced repairs that run Windows tools: exact command lines, show modes,
// which runner, and the order in which things happen.
#include "AdvFixTestSupport.h"

namespace korvane {
namespace {

using testing::AdvFixTest;

const std::wstring kSys = L"C:\\Windows\\System32\\";

struct Launch {
  std::wstring application;
  std::wstring commandLine;
  int showMode;
  bool waited;  // RunAndWait; false for WinExec
};

struct ToolCase {
  const char* name;
  void (*routine)();
  std::vector<Launch> launches;
  void (*setUp)(fake::FakePlatform&) = nullptr;
};

void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.name; }

void WithSearchKeys(fake::FakePlatform& f) {
  f.setDword(kHkeyLocalMachine, L"SYSTEM\\CurrentControlSet\\Services\\WSearch", L"Start", 4);
  f.setDword(kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows Search",
             L"SetupCompletedSuccessfully", 1);
}

class ToolRepair : public AdvFixTest, public ::testing::WithParamInterface<ToolCase> {};

// Each command starts the System directory's copy of its tool with the text
// unchanged; a waited command ends before the next starts, and the notice comes last.
TEST_P(ToolRepair, RunsItsCommandsInOrderThenNotifies) {
  const auto& c = GetParam();
  if (c.setUp) c.setUp(fake());
  press(c.routine);
  ASSERT_EQ(fake().launches().size(), c.launches.size());
  std::vector<std::wstring> expectedEvents;
  for (size_t i = 0; i < c.launches.size(); ++i) {
    const auto& want = c.launches[i];
    const auto& got = fake().launches()[i];
    EXPECT_EQ(got.commandLine, want.commandLine);
    EXPECT_EQ(LowerText(got.application), LowerText(want.application)) << i;
    EXPECT_EQ(got.showMode, want.showMode) << fake::Narrow(want.commandLine);
    EXPECT_EQ(got.waited, want.waited) << fake::Narrow(want.commandLine);
    if (want.waited) {
      expectedEvents.push_back(L"start " + want.commandLine);
      expectedEvents.push_back(L"end " + want.commandLine);
    } else {
      expectedEvents.push_back(L"winexec " + want.commandLine);
    }
  }
  expectedEvents.push_back(noticeEvent());
  EXPECT_EQ(eventsOf({L"start ", L"end ", L"winexec ", L"box "}), expectedEvents);
  EXPECT_EQ(notices(), 1);
}

// A tool missing from where it belongs is not looked for anywhere else, and the
// repair says so in the standard error box instead of claiming success.  The fake
// would start a program known by that name from wherever a search finds it.
TEST_P(ToolRepair, WithItsFirstToolMissingNamesItInTheErrorBoxAndGivesNoNotice) {
  const auto& c = GetParam();
  if (c.setUp) c.setUp(fake());
  const Launch& first = c.launches.front();
  ASSERT_TRUE(fake().deleteFile(first.application));
  const std::wstring tool = first.commandLine.substr(0, first.commandLine.find(L' '));
  bool plantedRan = false;
  fake().addProgram(tool, {0, 0, [&](const std::wstring&) { plantedRan = true; }, {}});

  press(c.routine);

  EXPECT_FALSE(plantedRan);
  for (const auto& l : fake().launches()) EXPECT_NE(l.commandLine, first.commandLine);
  ASSERT_EQ(fake().messages().size(), 1u);
  EXPECT_EQ(fake().messages()[0].text,
            L"Cannot run \"" + tool + L"\". The system cannot find the file specified.");
  EXPECT_EQ(fake().messages()[0].title, L"Korvane");
  EXPECT_EQ(fake().messages()[0].flags, kMbIconError);
  EXPECT_EQ(notices(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    AdvFix, ToolRepair,
    ::testing::Values(
        ToolCase{"FlushDnsCache",
                 &FlushDnsCache,
                 {{kSys + L"WindowsPowerShell\\v1.0\\powershell.exe",
                   L"powershell.exe /c ipconfig /flushdns", 1, true}}},
        ToolCase{"RenewIPAddress",
                 &RenewIPAddress,
                 {{kSys + L"ipconfig.exe", L"ipconfig /release", 1, true},
                  {kSys + L"ipconfig.exe", L"ipconfig /renew", 1, true}}},
        ToolCase{"ResetFirewall",
                 &ResetFirewall,
                 {{kSys + L"netsh.exe", L"netsh advfirewall reset", 1, true}}},
        ToolCase{
            "ResetTcpIp", &ResetTcpIp, {{kSys + L"netsh.exe", L"netsh int ip reset", 1, true}}},
        ToolCase{"ResetWinsock",
                 &ResetWinsock,
                 {{kSys + L"netsh.exe", L"netsh winsock reset", 1, true}}},
        ToolCase{
            "ResetIESettings",
            &ResetIESettings,
            {{kSys + L"rundll32.exe", L"rundll32.exe inetcpl.cpl,ResetIEtoDefaults", 0, true}}},
        ToolCase{"ResetProxy",
                 &ResetProxy,
                 {{kSys + L"netsh.exe", L"netsh winhttp reset proxy", 1, true}}},
        ToolCase{"FixWindowsSearch",
                 &FixWindowsSearch,
                 {{kSys + L"net.exe", L"net stop WSearch /Y", 1, true},
                  {kSys + L"net.exe", L"net start WSearch", 1, true}},
                 &WithSearchKeys},
        ToolCase{"FixHibernateOption",
                 &FixHibernateOption,
                 {{kSys + L"powercfg.exe", L"powercfg -h on", 5, false}}},
        ToolCase{"FixPlugAndPlay",
                 &FixPlugAndPlay,
                 {{kSys + L"net.exe", L"net Start PlugPlay", 5, false}}},
        ToolCase{"FixSystemRestore",
                 &FixSystemRestore,
                 {{kSys + L"wbem\\wmic.exe",
                   L"wmic /namespace:\\\\root\\default path SystemRestore Call enable \"C:\\\"", 5,
                   true},
                  {kSys + L"SC.exe", L"SC config \"VSS\" start=Auto", 5, true},
                  {kSys + L"SC.exe", L"SC config \"Schedule\" start=Auto", 5, true},
                  {kSys + L"SC.exe", L"SC config \"swprv\" start=Auto", 5, true},
                  {kSys + L"Net.exe", L"Net Start VSS", 5, true},
                  {kSys + L"Net.exe", L"Net Start swprv", 5, true},
                  {kSys + L"Net.exe", L"Net Start Schedule", 5, true}}},
        ToolCase{"ResetGroupPolicy",
                 &ResetGroupPolicy,
                 {{kSys + L"gpupdate.exe", L"gpupdate /force", 5, true}}}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ System Restore

struct FirstFailsCase {
  const char* name;
  void (*breakWmic)(fake::FakePlatform&);
  size_t commandsStarted;
  std::vector<std::wstring> boxes;
};

void PrintTo(const FirstFailsCase& c, std::ostream* os) { *os << c.name; }

class SystemRestoreFirstFails : public AdvFixTest,
                                public ::testing::WithParamInterface<FirstFailsCase> {};

TEST_P(SystemRestoreFirstFails, StillRunsAllTheOthersAndReportsOnce) {
  GetParam().breakWmic(fake());
  press(&FixSystemRestore);
  std::vector<std::wstring> lines;
  for (const auto& l : fake().launches()) lines.push_back(l.commandLine);
  std::vector<std::wstring> all{
      L"wmic /namespace:\\\\root\\default path SystemRestore Call enable \"C:\\\"",
      L"SC config \"VSS\" start=Auto",
      L"SC config \"Schedule\" start=Auto",
      L"SC config \"swprv\" start=Auto",
      L"Net Start VSS",
      L"Net Start swprv",
      L"Net Start Schedule"};
  all.erase(all.begin(), all.end() - static_cast<std::ptrdiff_t>(GetParam().commandsStarted));
  EXPECT_EQ(lines, all);
  EXPECT_EQ(eventsOf({L"end "}).size(), GetParam().commandsStarted);
  EXPECT_EQ(boxTexts(), GetParam().boxes);
}

INSTANTIATE_TEST_SUITE_P(
    AdvFix, SystemRestoreFirstFails,
    ::testing::Values(
        // The six others still run; then the error names the one that could not.
        FirstFailsCase{"CannotStart",
                       [](fake::FakePlatform& f) {
                         ASSERT_TRUE(f.deleteFile(L"C:\\Windows\\System32\\wbem\\WMIC.exe"));
                       },
                       6,
                       {L"Cannot run \"wmic\". The system cannot find the file specified."}},
        FirstFailsCase{"ExitsWithAnError",
                       [](fake::FakePlatform& f) {
                         f.addProgram(L"wmic.exe", fake::FakeProgram{0x80070422u, 3, {}, {}});
                       },
                       7,
                       {kFixedNoticeText}},
        FirstFailsCase{"TwoCannotStart",
                       [](fake::FakePlatform& f) {
                         ASSERT_TRUE(f.deleteFile(L"C:\\Windows\\System32\\wbem\\WMIC.exe"));
                         ASSERT_TRUE(f.deleteFile(L"C:\\Windows\\System32\\sc.exe"));
                       },
                       3,
                       // Each tool is named once, however many of its commands failed.
                       {L"Cannot run \"wmic\". The system cannot find the file specified.\n"
                        L"Cannot run \"SC\". The system cannot find the file specified."}}),
    [](const auto& info) { return std::string(info.param.name); });

// ----------------------------------------------------------------- ordering

TEST_F(AdvFixTest, RenewStartsOnlyAfterTheReleaseEndedEvenWithANestedRepair) {
  fake().addProgram(L"ipconfig.exe", fake::FakeProgram{0, 2, {}, {}});
  bool clicked = false;
  fake().onProcessMessages = [&] {
    if (!clicked) {
      clicked = true;
      RunHandler(&FlushDnsCache);  // a button pressed while the release runs
    }
  };
  press(&RenewIPAddress);
  EXPECT_EQ(
      eventsOf({L"start ", L"end ", L"box "}),
      (std::vector<std::wstring>{
          L"start ipconfig /release", L"start powershell.exe /c ipconfig /flushdns",
          L"end powershell.exe /c ipconfig /flushdns", noticeEvent(), L"end ipconfig /release",
          L"start ipconfig /renew", L"end ipconfig /renew", noticeEvent()}));
}

TEST_F(AdvFixTest, WindowsSearchStopsWritesPausesThenStarts) {
  WithSearchKeys(fake());
  auto snapshot = [this] {
    auto start = fake().dwordValue(kHkeyLocalMachine,
                                   L"SYSTEM\\CurrentControlSet\\Services\\WSearch", L"Start");
    auto setup = fake().dwordValue(kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows Search",
                                   L"SetupCompletedSuccessfully");
    fake().events.push_back(L"values " + std::to_wstring(start.value_or(99)) + L" " +
                            std::to_wstring(setup.value_or(99)));
  };
  fake().addProgram(L"net.exe",
                    fake::FakeProgram{0, 0, [&](const std::wstring&) { snapshot(); }, {}});
  fake().onProcessMessages = snapshot;
  press(&FixWindowsSearch);
  EXPECT_EQ(fake().events,
            (std::vector<std::wstring>{L"start net stop WSearch /Y", L"values 4 1",
                                       L"end net stop WSearch /Y", L"messages", L"values 2 0",
                                       L"sleep 4000", L"start net start WSearch", L"values 2 0",
                                       L"end net start WSearch", noticeEvent()}));
}

TEST_F(AdvFixTest, PlugAndPlayWritesPassesMessagesPausesThenStartsWithoutWaiting) {
  fake().onProcessMessages = [this] {
    auto start = fake().dwordValue(kHkeyLocalMachine,
                                   L"SYSTEM\\CurrentControlSet\\Services\\PlugPlay", L"Start");
    fake().events.push_back(L"Start=" + std::to_wstring(start.value_or(99)));
  };
  press(&FixPlugAndPlay);
  EXPECT_EQ(fake().events,
            (std::vector<std::wstring>{L"messages", L"Start=2", L"sleep 200",
                                       L"winexec net Start PlugPlay", noticeEvent()}));
}

}  // namespace
}  // namespace korvane
