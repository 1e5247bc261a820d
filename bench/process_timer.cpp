// Runs command lines to their end and reports how long each took, from the start
// of the process to its exit, with its output sent to NUL.
//   Usage: process_timer.exe <runs> <label> <command line> [<label> <command line>...]
// The command lines take turns (one of each per round), so that a change in the
// machine's load touches all of them alike.  Prints one line per run: the label,
// the milliseconds and the exit code, separated by tabs.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4 || argc % 2) {
    std::fprintf(
        stderr, "usage: process_timer <runs> <label> <command line> [<label> <command line>...]\n");
    return 2;
  }
  const int runs = _wtoi(argv[1]);
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);
  for (int i = 0; i < runs; ++i) {
    for (int p = 2; p + 1 < argc; p += 2) {
      STARTUPINFOW si{sizeof si};
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdInput = nul;
      si.hStdOutput = nul;
      si.hStdError = nul;
      PROCESS_INFORMATION pi{};
      std::wstring cmd = argv[p + 1];
      LARGE_INTEGER start, end;
      QueryPerformanceCounter(&start);
      if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                          &pi)) {
        std::fprintf(stderr, "cannot start %ls (error %lu)\n", argv[p + 1], GetLastError());
        return 1;
      }
      if (WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "%ls did not end within 120 s\n", argv[p + 1]);
        TerminateProcess(pi.hProcess, 1);
        return 1;
      }
      QueryPerformanceCounter(&end);
      DWORD code = 0;
      GetExitCodeProcess(pi.hProcess, &code);
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
      std::printf("%ls\t%.1f\t%lu\n", argv[p],
                  (end.QuadPart - start.QuadPart) * 1000.0 / freq.QuadPart, code);
      std::fflush(stdout);
    }
  }
  return 0;
}
