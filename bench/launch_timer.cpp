// Starts a program and reports the milliseconds until a visible top-level window
// with the given title belongs to it, then closes that window and waits for the
// program to end.  Usage: launch_timer.exe <exe> <window title> <runs>
// Prints one time per run.
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: launch_timer <exe> <title> <runs>\n");
    return 2;
  }
  const int runs = _wtoi(argv[3]);
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  for (int i = 0; i < runs; ++i) {
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + std::wstring(argv[1]) + L"\"";
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(argv[1], cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      std::fprintf(stderr, "cannot start (error %lu)\n", GetLastError());
      return 1;
    }
    Search s{pi.dwProcessId, argv[2], nullptr};
    for (int waited = 0; !s.found && waited < 60000; ++waited) {
      EnumWindows(Find, reinterpret_cast<LPARAM>(&s));
      if (!s.found) Sleep(1);
    }
    QueryPerformanceCounter(&now);
    if (!s.found) {
      std::fprintf(stderr, "no window within 60 s\n");
      TerminateProcess(pi.hProcess, 1);
      return 1;
    }
    std::printf("%.1f\n", (now.QuadPart - start.QuadPart) * 1000.0 / freq.QuadPart);
    std::fflush(stdout);
    PostMessageW(s.found, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    Sleep(200);
  }
  return 0;
}
