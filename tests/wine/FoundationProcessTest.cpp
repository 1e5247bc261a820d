// RunAndWait with real child processes, and the single-instance semaphore seen from
// a second process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "RecordingPlatform.h"
#include "WineSupport.h"
#include "advfix/Unit_AdvFix_Korvane.h"
#include "child/ChildProcess.h"
#include "common/KorvaneError.h"
#include "common/Unit_Fungsi_Korvane.h"

namespace korvane::wine {
namespace {

constexpr int kSwHide = 0;
constexpr DWORD kChildReturned = 42;  // korvane_wine_child: the check let it go on

bool CopyChildTo(const std::wstring& path) {
  return CopyFileW(ChildExe().c_str(), path.c_str(), FALSE) != FALSE;
}

TEST(RunAndWaitOnWine, ReturnsTheChildsExitCode) {
  ScratchDir scratch(L"KorvaneRunAndWait");
  const std::wstring blankDir = scratch.path() + L"\\with blank";
  ASSERT_TRUE(CreateDirectoryW(blankDir.c_str(), nullptr));
  const std::wstring blankChild = blankDir + L"\\korvane child.exe";
  ASSERT_TRUE(CopyChildTo(blankChild));

  struct Case {
    std::wstring commandLine;
    std::uint32_t code;
  } cases[] = {
      // Wine: CREATE_NEW_CONSOLE + SW_HIDE + the poll loop give `cmd.exe /c exit 7` -> 7.
      {L"cmd.exe /c exit 7", 7},
      {L"cmd.exe /c exit 0", 0},
      // 259 is STILL_ACTIVE: only waiting on the process handle can tell it has ended.
      {L"\"" + ChildExe() + L"\" exit 259", 259},
      {L"\"" + blankChild + L"\" exit 3", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.commandLine.begin(), c.commandLine.end()));
    EXPECT_EQ(RunAndWait(c.commandLine, kSwHide), c.code);
  }
}

TEST(RunAndWaitOnWine, AProgramThatCannotStartFailsAtOnce) {
  // Wine: a missing program fails inside CreateProcessW with error 2.
  for (const std::wstring line :
       {L"korvane-no-such-program-4711.exe /x", L"C:\\korvane\\no\\such\\folder\\tool.exe"}) {
    const DWORD started = GetTickCount();
    EXPECT_EQ(RunAndWait(line, kSwHide), kRunFailed);
    EXPECT_LT(GetTickCount() - started, 3000u);
  }
}

// A command line that writes `marker` when it runs, padded to exactly `length`.
std::wstring MarkerCommand(const std::wstring& marker, size_t length) {
  std::wstring line = L"cmd.exe /c echo ran> \"" + marker + L"\" & rem ";
  if (line.size() < length) line.append(length - line.size(), L'x');
  return line;
}

TEST(RunAndWaitOnWine, ACommandLineOver512CharactersIsRefusedNotCut) {
  ScratchDir scratch(L"KorvaneLongLine");
  const std::wstring marker = scratch.path() + L"\\ran.txt";

  const std::wstring longest = MarkerCommand(marker, kMaxCommandLine);
  ASSERT_EQ(longest.size(), 512u);
  EXPECT_EQ(RunAndWait(longest, kSwHide), 0u);
  EXPECT_TRUE(FileExists(marker)) << "a 512-character line must still run";
  ASSERT_TRUE(DeleteFileW(marker.c_str()));

  // Cut to 512 characters this line would still run (only padding would be lost),
  // so the marker shows whether anything was started.
  const std::wstring tooLong = MarkerCommand(marker, kMaxCommandLine + 1);
  EXPECT_EQ(RunAndWait(tooLong, kSwHide), kRunFailed);
  Sleep(300);
  EXPECT_FALSE(FileExists(marker)) << "nothing may be started";
}

TEST(RunAndWaitOnWine, BareToolNamesStartTheSystemCopyNotOneBesideTheProgram) {
  // Wine, like Windows: CreateProcessW(NULL, "reg.exe ...") looks in the calling
  // exe's own folder first.  A planted reg.exe there (our child, which answers an
  // unknown mode with 2 and touches nothing) must not be what runs.
  const std::wstring planted = ExeDir() + L"\\reg.exe";
  ASSERT_TRUE(CopyChildTo(planted));
  struct Remove {
    std::wstring path;
    ~Remove() { DeleteFileW(path.c_str()); }
  } removePlanted{planted};
  const std::wstring key = L"Software\\KorvaneWineTests\\Planted";
  RegDeleteKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, 0);

  EXPECT_EQ(RunAndWait(L"reg.exe add HKCU\\" + key + L" /v Ran /t REG_DWORD /d 1 /f", kSwHide), 0u);
  DWORD type = 0;
  EXPECT_NE(ReadString(HKEY_CURRENT_USER, key, L"Ran", &type), L"<no value>");
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << "the system's reg.exe did not run";
  RegDeleteKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, 0);
}

// Counts what reaches a window of this thread.
struct PumpProbe {
  static inline int posted = 0;
  static inline int ticks = 0;
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP) ++posted;
    if (msg == WM_TIMER) ++ticks;
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
};

TEST(RunAndWaitOnWine, TheWindowKeepsGettingItsMessagesWhileWaiting) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = PumpProbe::Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"KorvanePumpProbe";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
  ASSERT_NE(hwnd, nullptr);
  PumpProbe::posted = PumpProbe::ticks = 0;
  PostMessageW(hwnd, WM_APP, 0, 0);
  SetTimer(hwnd, 1, 50, nullptr);

  // Nothing else in this thread reads messages, so whatever arrived, RunAndWait let in.
  EXPECT_EQ(RunAndWait(L"\"" + ChildExe() + L"\" sleep 800", kSwHide), 0u);
  KillTimer(hwnd, 1);
  DestroyWindow(hwnd);
  EXPECT_EQ(PumpProbe::posted, 1);
  EXPECT_GE(PumpProbe::ticks, 2) << "messages were taken once, not throughout the wait";
}

// ------------------------------------------------------------- single instance

const wchar_t kSemaphoreName[] = L"MyAppKorvane";

bool SemaphoreExists() {
  HANDLE h = OpenSemaphoreW(SYNCHRONIZE, FALSE, kSemaphoreName);
  if (!h) return false;
  CloseHandle(h);
  return true;
}

bool WaitFor(bool wanted, DWORD ms) {
  for (DWORD waited = 0; waited < ms; waited += 20) {
    if (SemaphoreExists() == wanted) return true;
    Sleep(20);
  }
  return SemaphoreExists() == wanted;
}

TEST(SingleInstanceOnWine, ASecondInstanceEndsQuietlyWhileTheFirstRuns) {
  ASSERT_FALSE(SemaphoreExists()) << "a Korvane is already running in this prefix";

  // The first instance must keep its semaphore open for as long as it runs.
  Process first(ChildExe(), L"hold 30000");
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(WaitFor(true, 10000)) << "the first instance never created the semaphore";
  EXPECT_TRUE(first.running()) << "the first instance ended with " << first.exitCode();

  // Wine: the second creator of a named semaphore gets ERROR_ALREADY_EXISTS (183).
  HANDLE mine = CreateSemaphoreW(nullptr, 0, 1, kSemaphoreName);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(mine);

  EXPECT_EQ(RunToEnd(ChildExe(), L"probe"), 0u) << "the second instance must end with 0";
  EXPECT_TRUE(first.running());

  // Once the first has gone, the name goes with it and a new start goes on.
  first.stop();
  ASSERT_TRUE(WaitFor(false, 10000));
  EXPECT_EQ(RunToEnd(ChildExe(), L"probe"), kChildReturned);
}

// Wine's System32 has no gpupdate.exe, so a stand-in placed there runs without a
// DLL override.  The stand-in dies by an unhandled exception: the repair's error box
// names the tool and the status (whatever code this Wine's crash handling leaves,
// it is an NTSTATUS error), and the restart notice does not follow.
TEST(RunAndWaitOnWine, AToolThatEndsByAnExceptionIsNamedInTheErrorBox) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring standIn = std::wstring(system) + L"\\gpupdate.exe";
  if (GetFileAttributesW(standIn.c_str()) != INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "System32 has a gpupdate.exe of its own here";
  ASSERT_TRUE(
      CopyFileW((BuildDir() + L"\\korvane_crashing_tool.exe").c_str(), standIn.c_str(), FALSE));
  // Wine's crash handler may still hold the dead tool's image for a moment; the
  // stand-in must not outlive the test, or later tests find a gpupdate in System32.
  struct Remove {
    std::wstring path;
    ~Remove() {
      for (int i = 0; i < 100 && !DeleteFileW(path.c_str()) &&
                      GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
           ++i)
        Sleep(100);
    }
  } remove{standIn};

  RecordingPlatform recording;
  RunHandler(ResetGroupPolicy);
  ASSERT_EQ(recording.boxes().size(), 1u);
  const RecordedBox& box = recording.boxes()[0];
  EXPECT_EQ(box.flags & 0xF0u, static_cast<unsigned>(MB_ICONERROR));
  const std::wstring prefix = L"\"gpupdate\" ended abnormally with status 0xC000";
  EXPECT_EQ(box.text.substr(0, prefix.size()), prefix)
      << std::string(box.text.begin(), box.text.end());
}

}  // namespace
}  // namespace korvane::wine
