#include "common/ToolsMenu.h"

#include <array>

#include "base/Text.h"
#include "common/Messages.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "platform/ForwardingPlatform.h"
#include "platform/Platform.h"

namespace korvane {
namespace {

constexpr int kSwShow = 5;
constexpr int kSwShowNormal = 1;
constexpr const wchar_t* kAdminTools = L"Administrative Tools";
constexpr const wchar_t* kSystemRestore = L"System Restore";

// Parameter texts go to the program exactly as written here: "s" has no slash.
constexpr std::array<ToolLauncher, 19> kLaunchers{{
    {kAdminTools, L"Component Services", L"mnuComponentServices", ToolDir::System, L"comexp.msc",
     nullptr},
    {kAdminTools, L"Computer Management", L"mnuComputerManagement", ToolDir::System,
     L"compmgmt.msc", L"s"},
    {kAdminTools, L"Disk Cleanup", L"mnuDiskCleanup", ToolDir::System, L"cleanmgr.exe", nullptr},
    {kAdminTools, L"Disk Defragmenter", L"mnuDiskDefragmenter", ToolDir::System, L"dfrgui.exe",
     nullptr},
    {kAdminTools, L"Event Viewer", L"mnuEventViewer", ToolDir::System, L"eventvwr.msc", L"s"},
    {kAdminTools, L"Local Security Policy", L"mnuLocalSecurityPolicy", ToolDir::System,
     L"secpol.msc", L"s"},
    {kAdminTools, L"Performance Monitor", L"mnuPerformanceMonitor", ToolDir::System, L"perfmon.msc",
     L"s"},
    {kAdminTools, L"Print Management", L"mnuPrintManagement", ToolDir::System,
     L"printmanagement.msc", nullptr},
    {kAdminTools, L"Resource Monitor", L"mnuResourceMonitor", ToolDir::System, L"perfmon.exe",
     L"/res"},
    {kAdminTools, L"Services", L"mnuServices", ToolDir::System, L"services.msc", nullptr},
    {kAdminTools, L"Task Scheduler", L"mnuTaskScheduler", ToolDir::System, L"taskschd.msc", L"s"},
    {kAdminTools, L"System Configuration", L"mnuSystemConfiguration", ToolDir::System,
     L"msconfig.exe", nullptr},
    {kAdminTools, L"System Information", L"mnuSystemInformation", ToolDir::System, L"msinfo32.exe",
     nullptr},
    {kAdminTools, L"Windows Firewall", L"mnuWindowsFirewall", ToolDir::System, L"WF.msc", nullptr},
    {kAdminTools, L"Windows Memory Diagnostic", L"mnuWindowsMemoryDiagnostic", ToolDir::System,
     L"MdSched.exe", nullptr},
    {nullptr, L"Task Manager", L"mnuTASKMGR", ToolDir::System, L"taskmgr.exe", nullptr},
    {nullptr, L"Registry Editor", L"mnuREGEDIT", ToolDir::Windows, L"regedit.exe", nullptr},
    {nullptr, L"Command Prompt", L"mnuCMD", ToolDir::System, L"cmd.exe", nullptr},
    {kSystemRestore, L"Open System Restore", L"mnuOpenSystemRestore", ToolDir::System,
     L"rstrui.exe", nullptr},
}};

}  // namespace

std::span<const ToolLauncher> ToolLaunchers() { return kLaunchers; }

const ToolLauncher* FindToolLauncher(const std::wstring& menuName) {
  for (const ToolLauncher& tool : kLaunchers)
    if (menuName == tool.menuName) return &tool;
  return nullptr;
}

std::wstring ToolFile(const ToolLauncher& tool) {
  const std::wstring dir = tool.dir == ToolDir::System ? GetSysDir() : GetWinDir();
  return dir + L"\\" + tool.file;
}

namespace {

bool EndsWithMsc(const std::wstring& file) {
  return file.size() > 4 && LowerText(file.substr(file.size() - 4)) == L".msc";
}

// Starts `program` by its full path: in an elevated process nothing of the user's
// own classes takes part.  False when it did not start; lastErrorText() tells why.
bool StartProgram(const std::wstring& program, const std::wstring& arguments, int showMode) {
  const std::wstring commandLine =
      CommandLineForPath(program) + (arguments.empty() ? L"" : L" " + arguments);
  return Sys().winExec(&program, commandLine, showMode) > 31;
}

}  // namespace

void LaunchTool(const ToolLauncher& tool) {
  const std::wstring file = ToolFile(tool);
  const std::wstring parameters = tool.parameters ? tool.parameters : L"";
  // A console is what the shell's "open" on it starts: the management console with
  // the console's path and the parameters after it.
  const bool console = EndsWithMsc(file);
  const std::wstring program = console ? GetSysDir() + L"\\mmc.exe" : file;
  std::wstring arguments = console ? CommandLineForPath(file) : L"";
  if (!parameters.empty()) arguments += (arguments.empty() ? L"" : L" ") + parameters;
  if (!StartProgram(program, arguments, kSwShow))
    Sys().messageBox(L"Cannot open \"" + file + L"\". " + Sys().lastErrorText(), kAppTitle,
                     kMbIconError);
}

bool OpenFolderInExplorer(Platform& system, const std::wstring& folder) {
  SysScope scope(system);
  return StartProgram(GetWinDir() + L"\\explorer.exe", CommandLineForPath(folder), kSwShowNormal);
}

}  // namespace korvane
