// The Tools menu's launchers: Windows' own consoles and programs, each started by its
// full path from the System or Windows directory.  Korvane runs elevated, and the
// shell's "open" would find the program through HKEY_CLASSES_ROOT, which merges
// the user's own classes: a user-set "mscfile" or "exefile" command would run with
// administrator rights.  So a console starts the System directory's mmc.exe with
// the console's path, as its "open" does, and every other tool starts itself.
#pragma once

#include <span>
#include <string>

#include "platform/Platform.h"

namespace korvane {

enum class ToolDir { System, Windows };

struct ToolLauncher {
  const wchar_t* submenu;     // caption of the submenu holding the entry; nullptr: Tools itself
  const wchar_t* caption;     // the entry's text
  const wchar_t* menuName;    // component name; its handler is menuName + "Click"
  ToolDir dir;                // where the file is
  const wchar_t* file;        // its name there
  const wchar_t* parameters;  // nullptr: no parameter text at all
};

// All launcher entries, in menu order.
std::span<const ToolLauncher> ToolLaunchers();

// The entry with this component name, or nullptr.
const ToolLauncher* FindToolLauncher(const std::wstring& menuName);

// The tool's full path, with the directory looked up now.
std::wstring ToolFile(const ToolLauncher& tool);

// Starts the tool (a console in mmc.exe), shown normally, without waiting for it;
// one that cannot be started is reported in an error box.
void LaunchTool(const ToolLauncher& tool);

// Opens `folder` in a window of the Windows directory's explorer.exe, given the
// folder as its argument (no verb of the user's classes is looked up).  False when
// it did not start; lastErrorText() tells why.
bool OpenFolderInExplorer(Platform& system, const std::wstring& folder);

}  // namespace korvane
