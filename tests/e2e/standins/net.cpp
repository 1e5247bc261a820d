// A stand-in for net.exe, copied over Wine's own for a scenario.  Wine runs it only
// for a program whose environment holds WINEDLLOVERRIDES=net.exe=n.
//
//   net start WSearch   does what the Windows Search service does when it starts
//                       after a reset: rebuilds its index and writes
//                       SetupCompletedSuccessfully = 1 again.
//   net stop WSearch    ends at once; but while %TEMP%\korvane-net.guard is there
//                       it leaves a guard behind that keeps that value at 1, as a
//                       program could that holds the repair's 0 off.  The next
//                       "net start WSearch" removes the file, and the guard ends.
//   net guard           the guard itself.
//   net anything else   ends at once with 0.
#include <windows.h>

#include <string>

#include "StandIn.h"

namespace {

const wchar_t kSearchKey[] = L"SOFTWARE\\Microsoft\\Windows Search";
const wchar_t kSetupDone[] = L"SetupCompletedSuccessfully";

DWORD SetupDone() {
  DWORD value = 0, size = sizeof value;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kSearchKey, kSetupDone, RRF_RT_REG_DWORD, nullptr, &value,
                   &size) != ERROR_SUCCESS)
    return 0;
  return value;
}

bool MarkSetupDone() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSearchKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return false;
  const DWORD one = 1;
  const bool ok = RegSetValueExW(key, kSetupDone, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                                 sizeof one) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

// Starts this program once more as the guard, on its own: whoever waits for the
// stop does not wait for the guard.
void LeaveGuard() {
  wchar_t self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" guard";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (CreateProcessW(self, command.data(), nullptr, nullptr, FALSE,
                     DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring guard = standin::TempFile(L"korvane-net.guard");
  if (argc >= 2 && standin::Is(argv[1], L"guard")) {
    const ULONGLONG until = GetTickCount64() + 60000;
    while (standin::Exists(guard) && GetTickCount64() < until) {
      if (SetupDone() != 1) MarkSetupDone();
      Sleep(20);
    }
    return 0;
  }
  if (argc < 3 || !standin::Is(argv[2], L"WSearch")) return 0;
  if (standin::Is(argv[1], L"stop")) {
    if (standin::Exists(guard)) LeaveGuard();
    return 0;
  }
  if (standin::Is(argv[1], L"start")) {
    DeleteFileW(guard.c_str());
    return MarkSetupDone() ? 0 : 2;
  }
  return 0;
}
