#pragma once

#include <optional>
#include <string>

namespace korvane {

// The copy of a Windows tool that a command line should start.  A bare first token
// ("reg.exe", "netsh", "SC") is looked up in the System directory, its wbem folder
// and, for powershell, WindowsPowerShell\v1.0 -- never in the program's own or the
// current folder, where a planted reg.exe would otherwise run elevated.  Paths and
// names found nowhere give nullopt: the command line then starts as it always did.
std::optional<std::wstring> ResolveSystemProgram(const std::wstring& commandLine);

}  // namespace korvane
