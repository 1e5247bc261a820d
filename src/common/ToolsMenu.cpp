#include "common/ToolsMenu.h"

#include <array>

#include "common/Unit_Fungsi_Korvane.h"
#include "platform/Platform.h"

namespace korvane {
namespace {

constexpr int kSwShow = 5;
constexpr const wchar_t* kAdminTools = L"Administrative Tools";
constexpr const wchar_t* kSystemRestore = L"System Restore";

// Parameter texts go to the shell exactly as written here: "s" has no slash.
constexpr std::array<ToolLauncher, 19> kLaunchers{{
    {kAdminTools, L"Component Services", L"mnuComponentServices", true, L"\\system32\\comexp.msc",
     nullptr},
    {kAdminTools, L"Computer Management", L"mnuComputerManagement", true,
     L"\\system32\\compmgmt.msc", L"s"},
    {kAdminTools, L"Disk Cleanup", L"mnuDiskCleanup", true, L"\\system32\\cleanmgr.exe", nullptr},
    {kAdminTools, L"Disk Defragmenter", L"mnuDiskDefragmenter", true, L"\\system32\\dfrgui.exe",
     nullptr},
    {kAdminTools, L"Event Viewer", L"mnuEventViewer", true, L"\\system32\\eventvwr.msc", L"s"},
    {kAdminTools, L"Local Security Policy", L"mnuLocalSecurityPolicy", true,
     L"\\system32\\secpol.msc", L"s"},
    {kAdminTools, L"Performance Monitor", L"mnuPerformanceMonitor", true,
     L"\\system32\\perfmon.msc", L"s"},
    {kAdminTools, L"Print Management", L"mnuPrintManagement", true,
     L"\\system32\\printmanagement.msc", nullptr},
    {kAdminTools, L"Resource Monitor", L"mnuResourceMonitor", true, L"\\system32\\perfmon.exe",
     L"/res"},
    {kAdminTools, L"Services", L"mnuServices", true, L"\\system32\\services.msc", nullptr},
    {kAdminTools, L"Task Scheduler", L"mnuTaskScheduler", true, L"\\system32\\taskschd.msc", L"s"},
    {kAdminTools, L"System Configuration", L"mnuSystemConfiguration", true,
     L"\\system32\\msconfig.exe", nullptr},
    {kAdminTools, L"System Information", L"mnuSystemInformation", true, L"\\system32\\msinfo32.exe",
     nullptr},
    {kAdminTools, L"Windows Firewall", L"mnuWindowsFirewall", true, L"\\system32\\WF.msc", nullptr},
    {kAdminTools, L"Windows Memory Diagnostic", L"mnuWindowsMemoryDiagnostic", true,
     L"\\system32\\MdSched.exe", nullptr},
    {nullptr, L"Task Manager", L"mnuTASKMGR", false, L"taskmgr", nullptr},
    {nullptr, L"Registry Editor", L"mnuREGEDIT", false, L"regedit", nullptr},
    {nullptr, L"Command Prompt", L"mnuCMD", false, L"cmd", nullptr},
    {kSystemRestore, L"Open System Restore", L"mnuOpenSystemRestore", false, L"rstrui.exe",
     nullptr},
}};

}  // namespace

std::span<const ToolLauncher> ToolLaunchers() { return kLaunchers; }

const ToolLauncher* FindToolLauncher(const std::wstring& menuName) {
  for (const ToolLauncher& tool : kLaunchers)
    if (menuName == tool.menuName) return &tool;
  return nullptr;
}

std::wstring ToolFile(const ToolLauncher& tool) {
  return tool.inWindowsDir ? GetWinDir() + tool.file : std::wstring(tool.file);
}

void LaunchTool(const ToolLauncher& tool) {
  const std::wstring file = ToolFile(tool);
  if (tool.parameters) {
    const std::wstring parameters(tool.parameters);
    Sys().shellExecute(L"open", file, &parameters, kSwShow);
  } else {
    Sys().shellExecute(L"open", file, nullptr, kSwShow);
  }
}

}  // namespace korvane
