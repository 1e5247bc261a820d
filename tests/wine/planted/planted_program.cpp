// Stands in for a program an attacker plants beside an elevated tool under a
#include <string>
// system tool's name.  It only leaves a marker file (in TEMP) and exits.
#include <windows.h>

int wmain() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring marker = std::wstring(temp) + L"korvane-planted-program.marker";
  HANDLE f = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  return 0;
}
