#include "cli/logic/EventLog.h"

#include "common/Registry.h"

namespace korvane::cli {

bool RegisterEventSource(Platform& system) {
  const std::wstring key =
      L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + kEventSource;
  Handle h = 0;
  if (system.regOpenKey(kHkeyLocalMachine, key, kKeyRead, &h) == kErrorSuccess) {
    system.regCloseKey(h);
    return true;
  }
  if (system.regCreateKey(kHkeyLocalMachine, key, kKeyAllAccess, &h) != kErrorSuccess) return false;
  const bool ok =
      system.regSetValue(h, L"EventMessageFile", kRegExpandSz,
                         WideToRegBytes(L"%SystemRoot%\\System32\\EventCreate.exe")) ==
          kErrorSuccess &&
      system.regSetValue(h, L"TypesSupported", kRegDword, DwordBytes(7)) == kErrorSuccess;
  system.regCloseKey(h);
  return ok;
}

}  // namespace korvane::cli
