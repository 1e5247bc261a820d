// The running processes of one image name, for the tests that start a program and
// must find it (or its children) again, and for the end-to-end driver.
#pragma once

#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>

#include <set>
#include <string>

namespace korvane::testsupport {

// Identifiers of the running processes whose image file is named `fileName` (in
// any case).
inline std::set<DWORD> ProcessIdsNamed(const std::wstring& fileName) {
  std::set<DWORD> ids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W e{};
  e.dwSize = sizeof e;
  for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
    if (lstrcmpiW(e.szExeFile, fileName.c_str()) == 0) ids.insert(e.th32ProcessID);
  CloseHandle(snap);
  return ids;
}

}  // namespace korvane::testsupport
