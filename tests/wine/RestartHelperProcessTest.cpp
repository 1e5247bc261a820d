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
  for (DWORD deadline = GetTickCount() + 30000; GetTickCount() < deadline && !helper.waitEnded(0);) {
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

}  // namespace
}  // namespace korvane::wine
