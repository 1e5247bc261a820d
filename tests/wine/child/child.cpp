// A second process for the Wine tests.  Its name is nobody else's: Windows looks in
// the caller's own folder first when a command line names a bare program.
//
//   korvane_wine_child exit N      ends with exit code N
//   korvane_wine_child sleep MS    waits MS milliseconds, then ends with 0
//   korvane_wine_child probe       the single-instance check of Korvane's start-up;
//                                  ends with kReturned when it let the program go on
//   korvane_wine_child hold MS     the same check, then keeps its semaphore MS
//                                  milliseconds, as a running Korvane keeps it
//   korvane_wine_child noclose     ends with what the shell makes of the NoClose
//                                  policy (SHRestricted), read fresh in a new process
#include <windows.h>

#include <shlobj.h>

#include <cwchar>
#include <string>

#include "common/Startup.h"
#include "platform/win32/Win32Platform.h"

namespace {
// The check ends the process with 0 when another instance runs, so "went on" needs
// a code of its own.
constexpr int kReturned = 42;
constexpr int kUsage = 2;
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return kUsage;
  const std::wstring mode = argv[1];
  const unsigned long number = argc > 2 ? std::wcstoul(argv[2], nullptr, 10) : 0;

  if (mode == L"exit") return static_cast<int>(number);
  if (mode == L"sleep") {
    Sleep(number);
    return 0;
  }
  if (mode == L"noclose") {
    // Exported by ordinal only.
    using ShRestricted = DWORD(WINAPI*)(RESTRICTIONS);
    auto query = reinterpret_cast<ShRestricted>(reinterpret_cast<void*>(
        GetProcAddress(LoadLibraryW(L"shell32.dll"), MAKEINTRESOURCEA(100))));
    return query ? static_cast<int>(query(REST_NOCLOSE)) : -1;
  }
  if (mode == L"probe" || mode == L"hold") {
    korvane::Win32Platform platform;
    korvane::SetSys(&platform);
    korvane::IsAlreadyRunning();
    if (mode == L"hold") Sleep(number);
    return kReturned;
  }
  return kUsage;
}
