#include "common/ProgramPath.h"

#include "base/Text.h"
#include "common/Unit_Fungsi_Korvane.h"

namespace korvane {

std::wstring ProgramToken(const std::wstring& commandLine) {
  size_t i = commandLine.find_first_not_of(L" \t");
  if (i == std::wstring::npos) return {};
  if (commandLine[i] == L'"') {
    size_t end = commandLine.find(L'"', i + 1);
    return commandLine.substr(i + 1, end == std::wstring::npos ? std::wstring::npos : end - i - 1);
  }
  size_t end = commandLine.find_first_of(L" \t", i);
  return commandLine.substr(i, end == std::wstring::npos ? std::wstring::npos : end - i);
}

namespace {

bool IsRegularFile(const std::wstring& path) { return FileExists(path) && !DirectoryExists(path); }

}  // namespace

std::optional<std::wstring> ResolveSystemProgram(const std::wstring& commandLine) {
  std::wstring name = ProgramToken(commandLine);
  if (name.empty()) return std::nullopt;
  if (name.find_first_of(L"\\/:") != std::wstring::npos) return name;
  const std::wstring lower = LowerText(name);
  const size_t dot = lower.rfind(L'.');
  if (dot == std::wstring::npos) {
    name += L".exe";
  } else if (lower.substr(dot) != L".exe") {
    return std::nullopt;
  }
  const std::wstring sys = GetSysDir();
  std::wstring folders[] = {sys, sys + L"\\wbem", sys + L"\\WindowsPowerShell\\v1.0"};
  const bool isPowerShell = LowerText(name) == L"powershell.exe";
  for (int i = 0; i < 3; ++i) {
    if (i == 2 && !isPowerShell) break;
    std::wstring candidate = folders[i] + L"\\" + name;
    if (IsRegularFile(candidate)) return candidate;
  }
  return std::nullopt;
}

}  // namespace korvane
