// The restart helper as a real program among real processes: which ones it ends, and
// that it starts File Explorer again.  Only the 64-bit build can be run here (an
// i686 program under this Wine prints nothing and exits 0, whatever it would do).
#include <windows.h>

#include <aclapi.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "WineSupport.h"
#include "child/ChildProcess.h"

namespace korvane::wine {
namespace {

std::wstring HelperExe() { return BuildDir() + L"\\RestartExp64.exe"; }

std::wstring ImagePath(DWORD id) {
  HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (!h) return L"<gone>";
  wchar_t buf[MAX_PATH];
  DWORD size = MAX_PATH;
  std::wstring path = QueryFullProcessImageNameW(h, 0, buf, &size) ? buf : L"<unknown>";
  CloseHandle(h);
  return path;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// Keeps a process from being ended, with a deny entry for PROCESS_TERMINATE put in
// front of its access list, and puts the old list back afterwards.  The session's
// own explorer.exe is guarded this way: under Wine it is the desktop process, and
// once it has been ended every later process in the prefix (this run's other tests
// too) waits about a second for a desktop that cannot come back without a display;
// on Windows it is the user's shell.  Wine checks process access lists as Windows
// does (a guarded process cannot be opened with PROCESS_TERMINATE: error 5).
class TerminationGuard {
 public:
  explicit TerminationGuard(DWORD id) {
    process_ = OpenProcess(READ_CONTROL | WRITE_DAC | SYNCHRONIZE, FALSE, id);
    if (!process_) return;
    if (GetSecurityInfo(process_, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        &oldDacl_, nullptr, &oldDescriptor_) != ERROR_SUCCESS)
      return;
    // By SID: the group's name differs between languages.
    DWORD sidSize = sizeof everyone_;
    if (!CreateWellKnownSid(WinWorldSid, nullptr, everyone_, &sidSize)) return;
    EXPLICIT_ACCESSW entries[2] = {};
    entries[0].grfAccessPermissions = PROCESS_TERMINATE;
    entries[0].grfAccessMode = DENY_ACCESS;
    // A missing list means "everyone may do everything"; a list holding only the
    // deny entry would mean the opposite.
    entries[1].grfAccessPermissions = GENERIC_ALL;
    entries[1].grfAccessMode = GRANT_ACCESS;
    for (auto& e : entries) {
      e.grfInheritance = NO_INHERITANCE;
      e.Trustee.TrusteeForm = TRUSTEE_IS_SID;
      e.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
      e.Trustee.ptstrName = reinterpret_cast<LPWSTR>(everyone_);
    }
    PACL guarded = nullptr;
    if (SetEntriesInAclW(oldDacl_ ? 1 : 2, entries, oldDacl_, &guarded) != ERROR_SUCCESS) return;
    active_ = SetSecurityInfo(process_, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, guarded, nullptr) == ERROR_SUCCESS;
    LocalFree(guarded);
  }
  ~TerminationGuard() {
    if (active_)
      SetSecurityInfo(process_, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      oldDacl_, nullptr);
    if (oldDescriptor_) LocalFree(oldDescriptor_);
    if (process_) CloseHandle(process_);
  }
  TerminationGuard(const TerminationGuard&) = delete;
  TerminationGuard& operator=(const TerminationGuard&) = delete;
  bool active() const { return active_; }
  HANDLE handle() const { return process_; }

 private:
  HANDLE process_ = nullptr;
  PACL oldDacl_ = nullptr;
  PSECURITY_DESCRIPTOR oldDescriptor_ = nullptr;
  bool active_ = false;
  alignas(8) BYTE everyone_[SECURITY_MAX_SID_SIZE] = {};
};

TEST(RestartHelperOnWine, EndsOnlyProcessesNamedExplorerAndStartsExplorer) {
  ASSERT_NE(GetFileAttributesW(HelperExe().c_str()), INVALID_FILE_ATTRIBUTES);
  ScratchDir scratch(L"KorvaneRestartHelper");

  // Stand-ins: copies of the child program that sleep until ended.
  struct StandIn {
    std::wstring relativePath;
    bool ended;
  } standIns[] = {
      {L"a\\explorer.exe", true},
      {L"b\\EXPLORER.EXE", true},  // the name is compared without regard to case
      {L"c\\iexplore.exe", false},
      {L"c\\myexplorer.exe", false},
      // Only the text after the last backslash is the name.
      {L"explorer.exe\\worker.exe", false},
  };
  for (const wchar_t* dir : {L"a", L"b", L"c", L"explorer.exe"})
    ASSERT_TRUE(CreateDirectoryW((scratch.path() + L"\\" + dir).c_str(), nullptr));
  std::vector<std::unique_ptr<Process>> running;
  for (const auto& s : standIns) {
    const std::wstring exe = scratch.path() + L"\\" + s.relativePath;
    ASSERT_TRUE(CopyFileW(ChildExe().c_str(), exe.c_str(), FALSE));
    running.push_back(std::make_unique<Process>(exe, L"sleep 60000"));
    ASSERT_TRUE(running.back()->running()) << Narrow(s.relativePath);
  }

  const std::set<DWORD> before = ProcessIdsNamed(L"explorer.exe");
  ASSERT_TRUE(before.count(running[0]->id())) << "the stand-in does not show as explorer.exe";
  std::vector<std::unique_ptr<TerminationGuard>> shells;
  for (DWORD id : before) {
    if (id == running[0]->id() || id == running[1]->id()) continue;
    shells.push_back(std::make_unique<TerminationGuard>(id));
    ASSERT_TRUE(shells.back()->active()) << "cannot guard the session's explorer.exe " << id;
  }

  // Watch from the helper's start, not only after its end: the explorer.exe it
  // starts is a process of its own that may hand over to a running shell and end
  // (Windows does that; Wine keeps it running).  Whatever was started is ended
  // again however the test goes, so nothing outlives it.
  std::map<DWORD, std::wstring> started;
  auto look = [&] {
    for (DWORD id : ProcessIdsNamed(L"explorer.exe"))
      if (!before.count(id) && !started.count(id)) started[id] = ImagePath(id);
  };
  struct EndStarted {
    std::function<void()> look;
    std::map<DWORD, std::wstring>& started;
    ~EndStarted() {
      // An explorer.exe can start another one as it comes up (Wine's starts its
      // desktop process); any left running keeps the test runner's output pipe
      // open, and the runner then waits for it to its time-out.  So keep ending
      // new ones until none has appeared for half a second.
      std::set<DWORD> ended;
      for (DWORD quietSince = GetTickCount(); GetTickCount() - quietSince < 500;) {
        look();
        for (const auto& entry : started)
          if (ended.insert(entry.first).second) {
            EndProcessById(entry.first);
            quietSince = GetTickCount();
          }
        Sleep(20);
      }
    }
  } endStarted{look, started};

  Process helper(HelperExe(), L"");
  ASSERT_TRUE(helper.started());
  for (DWORD deadline = GetTickCount() + 30000;
       GetTickCount() < deadline && !helper.waitEnded(0);) {
    look();
    Sleep(5);
  }
  ASSERT_TRUE(helper.waitEnded(0)) << "the helper did not end within 30 s";
  for (DWORD deadline = GetTickCount() + 1000; GetTickCount() < deadline;) {
    look();
    Sleep(10);
  }
  EXPECT_EQ(helper.exitCode(), 0u);

  for (size_t i = 0; i < std::size(standIns); ++i) {
    SCOPED_TRACE(Narrow(standIns[i].relativePath));
    if (standIns[i].ended) {
      EXPECT_TRUE(running[i]->waitEnded(5000)) << "still running";
    } else {
      EXPECT_TRUE(running[i]->running()) << "was ended";
    }
  }

  // The session's own explorer.exe, which could not be ended, was passed over.
  for (const auto& shell : shells)
    EXPECT_EQ(WaitForSingleObject(shell->handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "a guarded explorer.exe was ended";

  EXPECT_FALSE(started.empty()) << "no new explorer.exe was started";
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  for (const auto& [id, path] : started) {
    // The Windows directory's copy, never one planted elsewhere.
    if (path != L"<gone>") {
      EXPECT_TRUE(SameNoCase(path.substr(0, wcslen(windows)), windows)) << Narrow(path);
    }
  }
}

// Where a program started from `folder` takes a DLL it loads by bare name once it is
// running: it is stopped at the start of `function` of `module` (by then its own
// code runs), a thread of it asks for korvane_probe.dll, a stand-in of which lies in
// `folder` only, and the program is ended before it goes on.
struct ProbeResult {
  bool stopped = false;  // the program reached `function`
  bool asked = false;    // the probing thread ran to its end
  bool loaded = false;   // and got the stand-in
};

ProbeResult ProbeDllSearch(const std::wstring& exe, const std::wstring& arguments,
                           const wchar_t* module, const char* function) {
  ProbeResult result;
  auto* target = reinterpret_cast<BYTE*>(
      reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(module), function)));
  auto* loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
  if (!target || !loadLibrary) return result;

  std::wstring line = L"\"" + exe + L"\" " + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE,
                      DEBUG_ONLY_THIS_PROCESS | CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
    return result;
  HANDLE mainThread = pi.hThread;
  BYTE original = 0;
  bool armed = false;
  DWORD probeThread = 0;
  for (bool running = true; running;) {
    DEBUG_EVENT ev{};
    if (!WaitForDebugEvent(&ev, 30000)) break;
    DWORD status = DBG_CONTINUE;
    switch (ev.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
        break;
      case EXIT_THREAD_DEBUG_EVENT:
        if (ev.dwThreadId == probeThread) {
          result.asked = true;
          result.loaded = ev.u.ExitThread.dwExitCode != 0;  // LoadLibraryW's module, or none
          running = false;
        }
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        running = false;
        break;
      case EXCEPTION_DEBUG_EVENT: {
        const EXCEPTION_RECORD& er = ev.u.Exception.ExceptionRecord;
        if (er.ExceptionCode != EXCEPTION_BREAKPOINT) {
          status = DBG_EXCEPTION_NOT_HANDLED;
        } else if (!armed) {
          // The loader's breakpoint: every import is in place, the program's own code
          // has not run yet.  A breakpoint goes on the function.
          DWORD old = 0;
          SIZE_T n = 0;
          const BYTE int3 = 0xCC;
          armed = VirtualProtectEx(pi.hProcess, target, 1, PAGE_EXECUTE_READWRITE, &old) &&
                  ReadProcessMemory(pi.hProcess, target, &original, 1, &n) &&
                  WriteProcessMemory(pi.hProcess, target, &int3, 1, &n);
          FlushInstructionCache(pi.hProcess, target, 1);
          if (!armed) running = false;
        } else if (er.ExceptionAddress == target && !probeThread) {
          result.stopped = true;
          // The program's thread waits, outside the loader, while the probe runs.
          SIZE_T n = 0;
          WriteProcessMemory(pi.hProcess, target, &original, 1, &n);
          FlushInstructionCache(pi.hProcess, target, 1);
          CONTEXT ctx{};
          ctx.ContextFlags = CONTEXT_CONTROL;
          GetThreadContext(mainThread, &ctx);
          ctx.Rip = reinterpret_cast<DWORD64>(target);
          SetThreadContext(mainThread, &ctx);
          SuspendThread(mainThread);
          const wchar_t probe[] = L"korvane_probe.dll";
          void* remote = VirtualAllocEx(pi.hProcess, nullptr, sizeof probe,
                                        MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
          WriteProcessMemory(pi.hProcess, remote, probe, sizeof probe, &n);
          HANDLE t =
              CreateRemoteThread(pi.hProcess, nullptr, 0, loadLibrary, remote, 0, &probeThread);
          if (t)
            CloseHandle(t);
          else
            running = false;
        }
        break;
      }
      default:
        break;
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
  }
  // Whatever it would have done next (end File Explorer, say) does not happen.
  TerminateProcess(pi.hProcess, 1);
  DebugActiveProcessStop(pi.dwProcessId);
  WaitForSingleObject(pi.hProcess, 5000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return result;
}

// The helper is written to TEMP and run elevated from there; Windows looks for a DLL
// in a program's own folder first.  From its first call on, the helper takes DLLs it
// loads by name (as ShellExecuteA does on Windows) from System32 only.
TEST(RestartHelperOnWine, ADllPlantedBesideTheHelperInTempIsNotLoaded) {
  ScratchDir scratch(L"KorvaneHelperDll");
  const std::wstring planted = BuildDir() + L"\\korvane_planted_dll.dll";
  const std::wstring helper = scratch.path() + L"\\RestartExp.exe";
  const std::wstring plain = scratch.path() + L"\\plain.exe";
  ASSERT_TRUE(CopyFileW(HelperExe().c_str(), helper.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(ChildExe().c_str(), plain.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(planted.c_str(), (scratch.path() + L"\\korvane_probe.dll").c_str(), FALSE));

  // The threat is real here: a program that leaves the search as it is (the tests'
  // child, stopped in its Sleep) takes the stand-in from its folder.
  const ProbeResult open = ProbeDllSearch(plain, L"sleep 100", L"kernel32.dll", "Sleep");
  ASSERT_TRUE(open.stopped && open.asked) << "the probe did not run: the test would prove nothing";
  ASSERT_TRUE(open.loaded) << "the stand-in was not loaded even without protection";
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  DeleteFileW((std::wstring(temp) + L"korvane-planted-dll.marker").c_str());

  // The helper, stopped where it starts its work.
  const ProbeResult helperRun = ProbeDllSearch(helper, L"", L"psapi.dll", "EnumProcesses");
  ASSERT_TRUE(helperRun.stopped) << "the helper never listed the processes";
  ASSERT_TRUE(helperRun.asked) << "the probe did not run";
  EXPECT_FALSE(helperRun.loaded) << "the helper loaded a DLL from its folder in TEMP";
}

}  // namespace
}  // namespace korvane::wine
