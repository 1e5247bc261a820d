// Program entry of KorvaneCli.exe: the repairs of the window, for scripts and
// fleets, on the same platform seam.  Everything it has to say goes to standard
// output (and usage errors to standard error); it never opens a window.
#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/Text.h"
#include "cli/logic/CliApp.h"
#include "common/PrivateFolders.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "fileassoc/Unit_FORMLAIN_Korvane.h"
#include "platform/win32/Win32Platform.h"

namespace {

// A console gets wide text, so names outside the console's code page survive; a
// pipe or file (Intune, Ansible, remoting) gets UTF-8.  Lines end with CR LF.
void Write(DWORD which, const std::string& utf8) {
  if (utf8.empty()) return;
  std::string text;
  for (char c : utf8) {
    if (c == '\n') text.push_back('\r');
    text.push_back(c);
  }
  HANDLE h = GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(h, &mode)) {
    const std::wstring wide = korvane::FromUtf8(text);
    WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

std::wstring FullPath(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return full;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Run elevated, often from a Downloads folder: DLLs only from System32.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // The same apartment as the window's thread, for the restore-point request.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  korvane::Win32Platform platform;
  korvane::SetSys(&platform);
  korvane::TempPath = korvane::RunScratchPath(platform);
  korvane::FORM_LAIN();

  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(korvane::ToUtf8(argv[i]));
  korvane::cli::CliHost host{platform, &FullPath};
  const korvane::cli::CliResult result = korvane::cli::RunCli(args, host);
  Write(STD_OUTPUT_HANDLE, result.out);
  Write(STD_ERROR_HANDLE, result.err);
  korvane::RemoveRunScratchFolder();

  CoUninitialize();
  return result.exitCode;
}
