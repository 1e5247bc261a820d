// The restart helper: a console program that the main window writes to TEMP and runs
// hidden.  It ends every File Explorer process and starts File Explorer again (or,
// asked with "/end" or "/start", does only one half).  It never shows anything and
// always exits with 0, so its caller need not interpret it.
//
// Built on its own as a 32-bit program (and as 64-bit for tests), from the
// repository root:
//   i686-w64-mingw32-g++-posix -std=c++20 -Os -s -static -o RestartExp.exe
//       src/restarthelper/*.cpp -lpsapi

// The process-status functions come from psapi.dll rather than their K32 twins in
// kernel32, which older systems lack.
#define PSAPI_VERSION 1
#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>
#include <shellapi.h>

#include <cstring>

#include "RestartLogic.h"

namespace {

using restarthelper::kMaxPathChars;

using QueryFullProcessImageNameAFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);

bool IsLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

// The file name of a process's image.  A 32-bit helper cannot read the module list
// of a 64-bit process, hence the image-name queries after the module query.
bool GetProcessFileName(DWORD processId, char (&name)[kMaxPathChars + 1]) {
  char path[kMaxPathChars + 1] = {};
  bool found = false;

  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (process) {
    DWORD length = GetModuleFileNameExA(process, nullptr, path, kMaxPathChars);
    CloseHandle(process);
    found = length > 0;
  }

  if (!found) {
    process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (!process) return false;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(&version) && version.dwMajorVersion >= 6) {
      // Looked up at run time so the helper still loads where the function is missing.
      auto query = reinterpret_cast<QueryFullProcessImageNameAFn>(reinterpret_cast<void*>(
          GetProcAddress(LoadLibraryA("Kernel32.dll"), "QueryFullProcessImageNameA")));
      DWORD size = kMaxPathChars;
      if (query && query(process, 0, path, &size)) found = true;
    }
    if (!found) found = GetProcessImageFileNameA(process, path, kMaxPathChars) > 0;
    CloseHandle(process);
    if (!found) return false;
  }

  path[kMaxPathChars] = '\0';
  // Only the part after the last backslash counts, so a drive-letter path and the
  // kernel's \Device\HarddiskVolumeN form are treated alike.
  const char* fileName = restarthelper::FileNamePart(path, IsLeadByte);
  if (!fileName) return false;
  std::strcpy(name, fileName);
  return true;
}

class Win32ProcessSystem : public restarthelper::ProcessSystem {
 public:
  bool enumProcesses(std::uint32_t* ids, std::uint32_t bufferBytes,
                     std::uint32_t* bytesReturned) override {
    DWORD used = 0;
    if (!EnumProcesses(reinterpret_cast<DWORD*>(ids), bufferBytes, &used)) return false;
    *bytesReturned = used;
    return true;
  }

  bool processFileName(std::uint32_t id, char (&name)[kMaxPathChars + 1]) override {
    return GetProcessFileName(id, name);
  }

  void terminateProcess(std::uint32_t id) override {
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
    if (!process) return;
    TerminateProcess(process, 0);
    CloseHandle(process);
  }

  void startExplorer() override {
    // The helper runs elevated from TEMP; naming the Windows directory's copy keeps
    // an explorer.exe planted in the current folder or on the path from being the
    // one that starts.
    char file[MAX_PATH + 16] = "explorer.exe";
    UINT length = GetWindowsDirectoryA(file, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
      std::strcpy(file, "explorer.exe");
    } else {
      std::strcat(file, file[length - 1] == '\\' ? "explorer.exe" : "\\explorer.exe");
    }
    ShellExecuteA(nullptr, "explore", file, nullptr, nullptr, SW_SHOW);
  }
};

}  // namespace

namespace {
int RunHelper(int argc, const char* const* argv) {
  // The helper runs elevated from TEMP, a folder every program of the user can write
  // to, and Windows looks for a DLL in the program's own folder first.  Its imports
  // are KnownDLLs, which always come from System32; everything loaded after this
  // line (by ShellExecuteA, say) does too.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  Win32ProcessSystem system;
  switch (restarthelper::ModeOf(argc, argv)) {
    case restarthelper::HelperMode::Restart:
      restarthelper::RestartExplorerProcesses(system);
      break;
    case restarthelper::HelperMode::End:
      restarthelper::EndExplorerProcesses(system);
      break;
    case restarthelper::HelperMode::Start:
      system.startExplorer();
      break;
    case restarthelper::HelperMode::Unknown:
      break;
  }
  return 0;
}
}  // namespace

// It links either way: with -municode the start-up code calls wmain, without it
// main.  The arguments are plain ASCII words, read the same from either.
int main(int argc, char** argv) { return RunHelper(argc, argv); }
int wmain(int argc, wchar_t** argv) {
  static char narrow[3][16];
  const char* args[3] = {};
  const int n = argc < 3 ? argc : 3;
  for (int i = 0; i < n; ++i) {
    int j = 0;
    for (; argv[i][j] && j < 15; ++j)
      narrow[i][j] = argv[i][j] < 0x80 ? static_cast<char>(argv[i][j]) : '?';
    narrow[i][j] = '\0';
    args[i] = narrow[i];
  }
  return RunHelper(argc, args);
}
