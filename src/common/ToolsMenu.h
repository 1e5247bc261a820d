// The Tools menu's launchers: Windows' own consoles and programs, each handed to the
// shell with one "open" request that the program does not follow up.
#pragma once

#include <span>
#include <string>

namespace korvane {

struct ToolLauncher {
  const wchar_t* submenu;     // caption of the submenu holding the entry; nullptr: Tools itself
  const wchar_t* caption;     // the entry's text
  const wchar_t* menuName;    // component name; its handler is menuName + "Click"
  bool inWindowsDir;          // file is appended to the Windows directory
  const wchar_t* file;        // "\system32\..." when inWindowsDir, else a bare name
  const wchar_t* parameters;  // nullptr: no parameter text at all
};

// All launcher entries, in menu order.
std::span<const ToolLauncher> ToolLaunchers();

// The entry with this component name, or nullptr.
const ToolLauncher* FindToolLauncher(const std::wstring& menuName);

// The file the shell is asked to open, with the Windows directory looked up now.
std::wstring ToolFile(const ToolLauncher& tool);

// One ShellExecute "open" request, shown normally; its result is not looked at:
// the shell reports a missing tool itself.
void LaunchTool(const ToolLauncher& tool);

}  // namespace korvane
