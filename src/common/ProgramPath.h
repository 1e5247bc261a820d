#pragma once

#include <optional>
#include <string>

namespace korvane {

// The program a command line starts, given to CreateProcessW as its application name
// so that Windows never searches for it.  A bare first token ("reg.exe", "netsh", "SC")
// names the copy in the System directory, its wbem folder or, for powershell,
// WindowsPowerShell\v1.0 -- never one in the program's own or the current folder,
// where a planted reg.exe would otherwise run elevated.  A bare name found in none of
// them gives nullopt: such a command must not be started at all.  A path is taken
// as it stands.
std::optional<std::wstring> ResolveSystemProgram(const std::wstring& commandLine);

// The first token of a command line without its quotation marks: the program as the
// command names it.
std::wstring ProgramToken(const std::wstring& commandLine);

}  // namespace korvane
