// Starts a program and reports the milliseconds until a visible top-level window
// with the given title belongs to it, then closes that window and waits for the
// program to end.
//   Usage: launch_timer.exe <runs> <label> <exe> <window title> [<label> <exe> <title>...]
// With several programs the runs take turns (one of each per round), so that a
// change in the machine's load during the run touches all of them alike.  Prints
// one line per run: the label, a tab, the milliseconds.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Search {
  DWORD pid;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK Find(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  wchar_t text[256];
  if (pid == s->pid && IsWindowVisible(hwnd) && GetWindowTextW(hwnd, text, 256) &&
      std::wstring(text) == s->title) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

// Milliseconds until the program's window is visible, or a negative number.
double TimeOne(const wchar_t* exe, const wchar_t* title, double freq) {
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + std::wstring(exe) + L"\"";
  LARGE_INTEGER start, now;
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(exe, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::fprintf(stderr, "cannot start %ls (error %lu)\n", exe, GetLastError());
    return -1;
  }
  Search s{pi.dwProcessId, title, nullptr};
  for (int waited = 0; !s.found && waited < 60000; ++waited) {
    EnumWindows(Find, reinterpret_cast<LPARAM>(&s));
    if (!s.found) Sleep(1);
  }
  QueryPerformanceCounter(&now);
  double ms = (now.QuadPart - start.QuadPart) * 1000.0 / freq;
  if (!s.found) {
    std::fprintf(stderr, "no window \"%ls\" within 60 s\n", title);
    TerminateProcess(pi.hProcess, 1);
    ms = -1;
  } else {
    PostMessageW(s.found, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  Sleep(200);
  return ms;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5 || (argc - 2) % 3) {
    std::fprintf(stderr,
                 "usage: launch_timer <runs> <label> <exe> <title> [<label> <exe> <title>...]\n");
    return 2;
  }
  const int runs = _wtoi(argv[1]);
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  for (int i = 0; i < runs; ++i) {
    for (int p = 2; p + 2 < argc; p += 3) {
      const double ms = TimeOne(argv[p + 1], argv[p + 2], static_cast<double>(freq.QuadPart));
      if (ms < 0) return 1;
      std::printf("%ls\t%.1f\n", argv[p], ms);
      std::fflush(stdout);
    }
  }
  return 0;
}
