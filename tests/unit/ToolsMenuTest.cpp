#include <optional>

#include "TestSupport.h"
#include "common/ToolsMenu.h"

namespace korvane {
namespace {

using fake::Narrow;
using testing::FakeTest;

struct ExpectedTool {
  const wchar_t* menuName;
  const wchar_t* submenu;  // nullptr: directly in Tools
  const wchar_t* caption;
  const wchar_t* program;      // started by its full path
  const wchar_t* commandLine;  // what it is given
};

const wchar_t* const kAdmin = L"Administrative Tools";

// Menu order.
// Menu order.  Consoles open in the System directory's mmc.exe, as the shell's
// "open" on them does; the tools start by their own full paths.
const ExpectedTool kExpected[] = {
    {L"mnuComponentServices", kAdmin, L"Component Services", L"C:\\Windows\\System32\\mmc.exe",
     L"C:\\Windows\\System32\\mmc.exe C:\\Windows\\System32\\comexp.msc"},
    {L"mnuComputerManagement", kAdmin, L"Computer Management", L"C:\\Windows\\System32\\mmc.exe",
     L"C:\\Windows\\System32\\mmc.exe C:\\Windows\\System32\\compmgmt.msc s"},
    {L"mnuDiskCleanup", kAdmin, L"Disk Cleanup", L"C:\\Windows\\System32\\cleanmgr.exe",
     L"C:\\Windows\\System32\\cleanmgr.exe"},
    {L"mnuDiskDefragmenter", kAdmin, L"Disk Defragmenter", L"C:\\Windows\\System32\\dfrgui.exe",
     L"C:\\Windows\\System32\\dfrgui.exe"},
    {L"mnuEventViewer", kAdmin, L"Event Viewer", L"C:\\Windows\\System32\\mmc.exe",
     L"C:\\Windows\\System32\\mmc.exe C:\\Windows\\System32\\eventvwr.msc s"},
    {L"mnuLocalSecurityPolicy", kAdmin, L"Local Security Policy", L"C:\\Windows\\System32\\mmc.exe",
     L"C:\\Windows\\System32\\mmc.exe C:\\Windows\\System32\\secpol.msc s"},
    {L"mnuPerformanceMonitor", kAdmin, L"Performance Monitor", L"C:\\Windows\\System32\\mmc.exe",
     L"C:\\Windows\\System32\\mmc.exe C:\\Windows\\System32\\perfmon.msc s"},
    {L"mnuPrintManagement", kAdmin, L"Print Management", L"C:\\Windows\\System32\\mmc.exe",
     L"C:\\Windows\\System32\\mmc.exe C:\\Windows\\System32\\printmanagement.msc"},
    {L"mnuResourceMonitor", kAdmin, L"Resource Monitor", L"C:\\Windows\\System32\\perfmon.exe",
     L"C:\\Windows\\System32\\perfmon.exe /res"},
    {L"mnuServices", kAdmin, L"Services", L"C:\\Windows\\System32\\mmc.exe",
     L"C:\\Windows\\System32\\mmc.exe C:\\Windows\\System32\\services.msc"},
    {L"mnuTaskScheduler", kAdmin, L"Task Scheduler", L"C:\\Windows\\System32\\mmc.exe",
     L"C:\\Windows\\System32\\mmc.exe C:\\Windows\\System32\\taskschd.msc s"},
    {L"mnuSystemConfiguration", kAdmin, L"System Configuration",
     L"C:\\Windows\\System32\\msconfig.exe", L"C:\\Windows\\System32\\msconfig.exe"},
    {L"mnuSystemInformation", kAdmin, L"System Information", L"C:\\Windows\\System32\\msinfo32.exe",
     L"C:\\Windows\\System32\\msinfo32.exe"},
    {L"mnuWindowsFirewall", kAdmin, L"Windows Firewall", L"C:\\Windows\\System32\\mmc.exe",
     L"C:\\Windows\\System32\\mmc.exe C:\\Windows\\System32\\WF.msc"},
    {L"mnuWindowsMemoryDiagnostic", kAdmin, L"Windows Memory Diagnostic",
     L"C:\\Windows\\System32\\MdSched.exe", L"C:\\Windows\\System32\\MdSched.exe"},
    {L"mnuTASKMGR", nullptr, L"Task Manager", L"C:\\Windows\\System32\\taskmgr.exe",
     L"C:\\Windows\\System32\\taskmgr.exe"},
    {L"mnuREGEDIT", nullptr, L"Registry Editor", L"C:\\Windows\\regedit.exe",
     L"C:\\Windows\\regedit.exe"},
    {L"mnuCMD", nullptr, L"Command Prompt", L"C:\\Windows\\System32\\cmd.exe",
     L"C:\\Windows\\System32\\cmd.exe"},
    {L"mnuOpenSystemRestore", L"System Restore", L"Open System Restore",
     L"C:\\Windows\\System32\\rstrui.exe", L"C:\\Windows\\System32\\rstrui.exe"},
};

void PrintTo(const ExpectedTool& e, std::ostream* os) { *os << Narrow(e.menuName); }

std::wstring OrNone(const wchar_t* s) { return s ? s : L"(none)"; }

TEST(ToolsMenuTableTest, HoldsTheLaunchersInMenuOrder) {
  std::vector<std::wstring> actual, expected;
  for (const ToolLauncher& t : ToolLaunchers()) actual.push_back(t.menuName);
  for (const ExpectedTool& e : kExpected) expected.push_back(e.menuName);
  EXPECT_EQ(actual, expected);
  EXPECT_EQ(FindToolLauncher(L"mnuRESTARTEXPLORER"), nullptr);  // not a shell launcher
}

class ToolLaunchTest : public FakeTest, public ::testing::WithParamInterface<ExpectedTool> {};

TEST_P(ToolLaunchTest, StartsTheProgramByItsFullPathAndNeverAsksTheShell) {
  const ExpectedTool& e = GetParam();
  const ToolLauncher* tool = FindToolLauncher(e.menuName);
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(std::wstring(tool->caption), e.caption);
  EXPECT_EQ(OrNone(tool->submenu), OrNone(e.submenu));

  LaunchTool(*tool);

  ASSERT_EQ(fake().launches().size(), 1u);
  const auto& r = fake().launches()[0];
  EXPECT_EQ(r.application, e.program);
  EXPECT_EQ(r.commandLine, e.commandLine);
  EXPECT_EQ(r.showMode, 5);
  EXPECT_FALSE(r.waited);
  EXPECT_TRUE(fake().shellRequests().empty());
  EXPECT_TRUE(fake().messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Launchers, ToolLaunchTest, ::testing::ValuesIn(kExpected),
                         [](const ::testing::TestParamInfo<ExpectedTool>& info) {
                           return Narrow(info.param.menuName);
                         });

class ToolsMenuTest : public FakeTest {};

TEST_F(ToolsMenuTest, ToolsFollowTheDirectoriesOfThisMachine) {
  fake().windowsDirectory = L"D:\\WINNT";
  fake().systemDirectory = L"D:\\WINNT\\System32";
  fake().addDirectory(L"D:\\WINNT");
  fake().addDirectory(L"D:\\WINNT\\System32");
  for (const wchar_t* exe : {L"\\System32\\cleanmgr.exe", L"\\regedit.exe", L"\\System32\\mmc.exe"})
    fake().addFile(std::wstring(L"D:\\WINNT") + exe);
  LaunchTool(*FindToolLauncher(L"mnuDiskCleanup"));
  LaunchTool(*FindToolLauncher(L"mnuREGEDIT"));
  LaunchTool(*FindToolLauncher(L"mnuServices"));
  ASSERT_EQ(fake().launches().size(), 3u);
  EXPECT_EQ(fake().launches()[0].application, L"D:\\WINNT\\System32\\cleanmgr.exe");
  EXPECT_EQ(fake().launches()[1].application, L"D:\\WINNT\\regedit.exe");
  EXPECT_EQ(fake().launches()[2].commandLine,
            L"D:\\WINNT\\System32\\mmc.exe D:\\WINNT\\System32\\services.msc");
}

TEST_F(ToolsMenuTest, AToolThatCannotStartIsReportedAndTheFolderOpensInExplorer) {
  fake().addProgram(L"taskmgr.exe", fake::FakeProgram{0, 0, nullptr, nullptr, 2});
  LaunchTool(*FindToolLauncher(L"mnuTASKMGR"));
  ASSERT_EQ(fake().messages().size(), 1u);
  EXPECT_EQ(fake().messages()[0].text,
            L"Cannot open \"C:\\Windows\\System32\\taskmgr.exe\". " + fake().errorText(2));

  fake().addDirectory(L"C:\\Data Folder");
  EXPECT_TRUE(OpenFolderInExplorer(fake(), L"C:\\Data Folder"));
  ASSERT_EQ(fake().launches().size(), 2u);
  EXPECT_EQ(fake().launches()[1].application, L"C:\\Windows\\explorer.exe");
  EXPECT_EQ(fake().launches()[1].commandLine, L"C:\\Windows\\explorer.exe \"C:\\Data Folder\"");
  EXPECT_EQ(fake().launches()[1].showMode, 1);
  EXPECT_TRUE(fake().shellRequests().empty());
}

}  // namespace
}  // namespace korvane
