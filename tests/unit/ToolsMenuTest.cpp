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
  const wchar_t* file;  // with the Windows directory at C:\Windows
  const wchar_t* parameters;
};

const wchar_t* const kAdmin = L"Administrative Tools";

// Menu order.
const ExpectedTool kExpected[] = {
    {L"mnuComponentServices", kAdmin, L"Component Services", L"C:\\Windows\\system32\\comexp.msc",
     nullptr},
    {L"mnuComputerManagement", kAdmin, L"Computer Management",
     L"C:\\Windows\\system32\\compmgmt.msc", L"s"},
    {L"mnuDiskCleanup", kAdmin, L"Disk Cleanup", L"C:\\Windows\\system32\\cleanmgr.exe", nullptr},
    {L"mnuDiskDefragmenter", kAdmin, L"Disk Defragmenter", L"C:\\Windows\\system32\\dfrgui.exe",
     nullptr},
    {L"mnuEventViewer", kAdmin, L"Event Viewer", L"C:\\Windows\\system32\\eventvwr.msc", L"s"},
    {L"mnuLocalSecurityPolicy", kAdmin, L"Local Security Policy",
     L"C:\\Windows\\system32\\secpol.msc", L"s"},
    {L"mnuPerformanceMonitor", kAdmin, L"Performance Monitor",
     L"C:\\Windows\\system32\\perfmon.msc", L"s"},
    {L"mnuPrintManagement", kAdmin, L"Print Management",
     L"C:\\Windows\\system32\\printmanagement.msc", nullptr},
    {L"mnuResourceMonitor", kAdmin, L"Resource Monitor", L"C:\\Windows\\system32\\perfmon.exe",
     L"/res"},
    {L"mnuServices", kAdmin, L"Services", L"C:\\Windows\\system32\\services.msc", nullptr},
    {L"mnuTaskScheduler", kAdmin, L"Task Scheduler", L"C:\\Windows\\system32\\taskschd.msc", L"s"},
    {L"mnuSystemConfiguration", kAdmin, L"System Configuration",
     L"C:\\Windows\\system32\\msconfig.exe", nullptr},
    {L"mnuSystemInformation", kAdmin, L"System Information", L"C:\\Windows\\system32\\msinfo32.exe",
     nullptr},
    {L"mnuWindowsFirewall", kAdmin, L"Windows Firewall", L"C:\\Windows\\system32\\WF.msc", nullptr},
    {L"mnuWindowsMemoryDiagnostic", kAdmin, L"Windows Memory Diagnostic",
     L"C:\\Windows\\system32\\MdSched.exe", nullptr},
    {L"mnuTASKMGR", nullptr, L"Task Manager", L"taskmgr", nullptr},
    {L"mnuREGEDIT", nullptr, L"Registry Editor", L"regedit", nullptr},
    {L"mnuCMD", nullptr, L"Command Prompt", L"cmd", nullptr},
    {L"mnuOpenSystemRestore", L"System Restore", L"Open System Restore", L"rstrui.exe", nullptr},
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

TEST_P(ToolLaunchTest, MakesExactlyOneOpenRequestWithTheTablesFileAndParameters) {
  const ExpectedTool& e = GetParam();
  const ToolLauncher* tool = FindToolLauncher(e.menuName);
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(std::wstring(tool->caption), e.caption);
  EXPECT_EQ(OrNone(tool->submenu), OrNone(e.submenu));

  LaunchTool(*tool);

  ASSERT_EQ(fake().shellRequests().size(), 1u);
  const auto& r = fake().shellRequests()[0];
  EXPECT_EQ(r.verb, L"open");
  EXPECT_EQ(r.file, e.file);
  // No parameters means no parameter text at all, which an empty string is not.
  EXPECT_EQ(r.parameters, e.parameters ? std::optional<std::wstring>(e.parameters) : std::nullopt);
  EXPECT_EQ(r.showMode, 5);
  EXPECT_TRUE(fake().launches().empty());
  EXPECT_TRUE(fake().messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Launchers, ToolLaunchTest, ::testing::ValuesIn(kExpected),
                         [](const ::testing::TestParamInfo<ExpectedTool>& info) {
                           return Narrow(info.param.menuName);
                         });

class ToolsMenuTest : public FakeTest {};

TEST_F(ToolsMenuTest, ToolsFollowTheWindowsDirectoryOfThisMachine) {
  fake().windowsDirectory = L"D:\\WINNT";
  LaunchTool(*FindToolLauncher(L"mnuDiskCleanup"));
  LaunchTool(*FindToolLauncher(L"mnuREGEDIT"));
  ASSERT_EQ(fake().shellRequests().size(), 2u);
  EXPECT_EQ(fake().shellRequests()[0].file, L"D:\\WINNT\\system32\\cleanmgr.exe");
  EXPECT_EQ(fake().shellRequests()[1].file, L"regedit");
}

}  // namespace
}  // namespace korvane
