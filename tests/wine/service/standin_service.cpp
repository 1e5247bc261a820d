// A stand-in Windows service for the Wine tests: registered under the names of the
// services a repair stops and starts, it runs until it is told to stop.  With
// "--slow-stop" on its command line it takes two seconds to stop, as a busy
// service does.
#include <windows.h>

#include <cwchar>

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;
bool g_slow = false;

void Report(DWORD state) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWaitHint = 5000;
  SetServiceStatus(g_status, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING);
    SetEvent(g_stop);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
  g_status = RegisterServiceCtrlHandlerExW(argc ? argv[0] : L"", Control, nullptr);
  if (!g_status) return;
  Report(SERVICE_RUNNING);
  WaitForSingleObject(g_stop, INFINITE);
  if (g_slow) Sleep(2000);
  Report(SERVICE_STOPPED);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) g_slow = g_slow || std::wcscmp(argv[i], L"--slow-stop") == 0;
  g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  wchar_t name[] = L"";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
