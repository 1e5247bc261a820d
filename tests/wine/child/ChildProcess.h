// Starting and watching the tests' second processes (korvane_wine_child.exe and the
// restart helper) directly through Win32, so the code under test is not also the
// code that sets the scene.
#pragma once

#include <tlhelp32.h>
#include <windows.h>

#include <cwctype>
#include <set>
#include <string>

#include "WineSupport.h"

namespace korvane::wine {

inline std::wstring ChildExe() { return BuildDir() + L"\\korvane_wine_child.exe"; }

inline bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A started process, ended (if still running) and closed when it goes out of scope.
class Process {
 public:
  Process() = default;
  Process(const std::wstring& exe, const std::wstring& arguments) { start(exe, arguments); }
  ~Process() { stop(); }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  Process(Process&& other) noexcept : pi_(other.pi_) { other.pi_ = {}; }

  bool start(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring line = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    return CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                          nullptr, nullptr, &si, &pi_) != FALSE;
  }
  bool started() const { return pi_.hProcess != nullptr; }
  DWORD id() const { return pi_.dwProcessId; }
  HANDLE handle() const { return pi_.hProcess; }
  bool running() const { return started() && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }
  // True when the process has ended within `ms`.
  bool waitEnded(DWORD ms) const {
    return started() && WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0;
  }
  DWORD exitCode() const {
    DWORD code = 0xDEADBEEF;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
  }
  void stop() {
    if (!started()) return;
    if (running()) {
      TerminateProcess(pi_.hProcess, 1);
      WaitForSingleObject(pi_.hProcess, 5000);
    }
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
    pi_ = {};
  }

 private:
  PROCESS_INFORMATION pi_{};
};

// Runs a program to its end (at most `ms`) and returns its exit code, or 0xDEADBEEF
// when it could not be started or did not end in time.
inline DWORD RunToEnd(const std::wstring& exe, const std::wstring& arguments, DWORD ms = 20000) {
  Process p(exe, arguments);
  if (!p.waitEnded(ms)) return 0xDEADBEEF;
  return p.exitCode();
}

inline bool SameNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

// Identifiers of the running processes whose image file is named `fileName`.
inline std::set<DWORD> ProcessIdsNamed(const std::wstring& fileName) {
  std::set<DWORD> ids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W e{};
  e.dwSize = sizeof e;
  for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
    if (SameNoCase(e.szExeFile, fileName)) ids.insert(e.th32ProcessID);
  CloseHandle(snap);
  return ids;
}

inline void EndProcessById(DWORD id) {
  HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
  if (!h) return;
  TerminateProcess(h, 1);
  WaitForSingleObject(h, 5000);
  CloseHandle(h);
}

}  // namespace korvane::wine
