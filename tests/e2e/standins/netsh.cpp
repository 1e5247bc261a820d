// A stand-in for netsh.exe, copied over Wine's own for a scenario.  Wine runs it
// only for a program whose environment holds WINEDLLOVERRIDES=netsh.exe=n.
//
//   netsh advfirewall reset   takes its time, as a real reset can: it ends when
//                             %TEMP%\korvane-netsh.release appears, or after 20 s.
//                             Meanwhile %TEMP%\korvane-netsh.running is there;
//                             %TEMP%\korvane-netsh.ended says that it has ended.
//   netsh anything else       ends at once with 0.
#include <windows.h>

#include "StandIn.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3 || !standin::Is(argv[1], L"advfirewall") || !standin::Is(argv[2], L"reset"))
    return 0;
  const std::wstring running = standin::TempFile(L"korvane-netsh.running");
  const std::wstring release = standin::TempFile(L"korvane-netsh.release");
  const std::wstring ended = standin::TempFile(L"korvane-netsh.ended");
  DeleteFileW(ended.c_str());
  standin::Touch(running);
  const ULONGLONG until = GetTickCount64() + 20000;
  while (!standin::Exists(release) && GetTickCount64() < until) Sleep(50);
  DeleteFileW(release.c_str());
  DeleteFileW(running.c_str());
  standin::Touch(ended);
  return 0;
}
