// Starting and watching the tests' second processes (korvane_wine_child.exe and the
// restart helper) directly through Win32, so the code under test is not also the
// code that sets the scene.
#pragma once

#include <windows.h>

#include <set>
#include <string>

#include "../../support/ProcessList.h"
#include "WineSupport.h"
#include "base/Text.h"

namespace korvane::wine {

inline std::wstring ChildExe() { return BuildDir() + L"\\korvane_wine_child.exe"; }

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

using testsupport::ProcessIdsNamed;

inline void EndProcessById(DWORD id) {
  HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
  if (!h) return;
  TerminateProcess(h, 1);
  WaitForSingleObject(h, 5000);
  CloseHandle(h);
}

}  // namespace korvane::wine
