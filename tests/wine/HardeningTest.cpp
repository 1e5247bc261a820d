// Korvane runs elevated from folders where other files may have been planted.
// These tests plant stand-ins and check that the System directory's copies run.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "WineSupport.h"
#include "base/Text.h"
#include "common/KorvaneError.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "platform/Platform.h"

namespace korvane::wine {
namespace {

std::wstring TempFile(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + name;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD RunPlain(const std::wstring& commandLine, const std::wstring& directory = {}) {
  std::wstring buffer = commandLine;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &si, &pi))
    return 0xFFFFFFFF;
  WaitForSingleObject(pi.hProcess, 30000);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

TEST(HardeningTest, APlantedRegExeBesideTheProgramDoesNotRun) {
  const std::wstring planted = ExeDir() + L"\\reg.exe";
  const std::wstring marker = TempFile(L"korvane-planted-program.marker");
  ASSERT_TRUE(
      CopyFileW((BuildDir() + L"\\korvane_planted_program.exe").c_str(), planted.c_str(), FALSE));
  struct Cleanup {
    std::wstring planted;
    ~Cleanup() {
      DeleteFileW(planted.c_str());
      RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KorvaneTest\\Planted");
    }
  } cleanup{planted};

  // The threat is real here: a command line without an application name finds the
  // copy in the calling program's folder first (Wine searches like Windows does).
  DeleteFileW(marker.c_str());
  RunPlain(L"reg.exe query HKCU");
  ASSERT_TRUE(Exists(marker)) << "the planted reg.exe did not run: the test would prove nothing";

  DeleteFileW(marker.c_str());
  ScratchDir dir(L"korvane-planted");
  const std::wstring script = dir.path() + L"\\planted.reg";
  const std::string text =
      "Windows Registry Editor Version "
      "5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\KorvaneTest\\Planted]\r\n"
      "\"imported\"=\"yes\"\r\n";
  HANDLE f = CreateFileW(script.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);

  EXPECT_EQ(RunAndWait(L"reg.exe import " + CommandLineForPath(script), 0), 0u);
  EXPECT_FALSE(Exists(marker)) << "the planted reg.exe ran";
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, L"Software\\KorvaneTest\\Planted", L"imported"), L"yes")
      << "the System directory's reg.exe did not import";
}

// Wine's System32 has no gpupdate, powercfg or sfc (trimmed Windows images lack them
// too).  Copies planted in the current folder must not run in their place, by
// either runner: the tool's start fails instead, naming it.
TEST(HardeningTest, AToolMissingFromSystem32IsNotTakenFromTheCurrentFolder) {
  const struct {
    const wchar_t* tool;
    const wchar_t* commandLine;
    void (*run)(const std::wstring&);
  } cases[] = {
      {L"gpupdate.exe", L"gpupdate /force",
       [](const std::wstring& c) { EXPECT_EQ(RunAndWait(c, 5), kRunFailed); }},
      {L"sfc.exe", L"sfc /scannow", [](const std::wstring& c) { RunToolAndWait(c, 5); }},
      {L"powercfg.exe", L"powercfg -h on", [](const std::wstring& c) { StartTool(c, 5); }},
  };
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  ScratchDir dir(L"korvane-current-folder");
  const std::wstring marker = TempFile(L"korvane-planted-program.marker");
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(dir.path().c_str()));
  struct Back {
    const wchar_t* folder;
    ~Back() { SetCurrentDirectoryW(folder); }
  } back{previous};

  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.commandLine, c.commandLine + wcslen(c.commandLine)));
    if (Exists(std::wstring(system) + L"\\" + c.tool)) {
      ADD_FAILURE() << "System32 has the tool here: this case proves nothing";
      continue;
    }
    ASSERT_TRUE(CopyFileW((BuildDir() + L"\\korvane_planted_program.exe").c_str(),
                          (dir.path() + L"\\" + c.tool).c_str(), FALSE));
    // The threat is real: the usual search finds the copy in the current folder.
    DeleteFileW(marker.c_str());
    RunPlain(c.commandLine);
    ASSERT_TRUE(Exists(marker)) << "the planted copy did not run: the case would prove nothing";

    DeleteFileW(marker.c_str());
    const std::wstring name(c.tool, wcslen(c.tool) - 4);
    try {
      c.run(c.commandLine);
      if (name != L"gpupdate") ADD_FAILURE() << "no error for a missing tool";
    } catch (const KorvaneError& e) {
      EXPECT_EQ(e.message(),
                L"Cannot run \"" + name + L"\". " + Sys().errorText(ERROR_FILE_NOT_FOUND));
    }
    Sleep(300);  // a start that does not wait would have left its marker by now
    EXPECT_FALSE(Exists(marker)) << "the planted copy ran";
  }
}

struct WindowSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindMainWindow(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<WindowSearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  wchar_t title[64];
  if (pid == s->pid && IsWindowVisible(hwnd) && GetWindowTextW(hwnd, title, 64) &&
      std::wstring(title) == L"Korvane") {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindById(HWND hwnd, LPARAM lp) {
  auto* out = reinterpret_cast<std::pair<int, HWND>*>(lp);
  if (GetDlgCtrlID(hwnd) == out->first) {
    out->second = hwnd;
    return FALSE;
  }
  return TRUE;
}

// Guards the outcome of the DLL protections together: the side-by-side request for
// Common Controls 6 in the manifest, the delay-loaded import and the System32-only
// search set at start.  (Under Wine the side-by-side redirection alone already keeps
// this copy out; scripts/check-binary.sh guards the import tables themselves.)
TEST(HardeningTest, APlantedComctl32BesideTheProgramIsNotLoaded) {
  if (!GetEnvironmentVariableW(L"DISPLAY", nullptr, 0)) GTEST_SKIP() << "needs a display (Xvfb)";
  ScratchDir dir(L"korvane-planted-dll");
  const std::wstring marker = TempFile(L"korvane-planted-dll.marker");
  ASSERT_TRUE(CopyFileW((BuildDir() + L"\\Korvane.exe").c_str(),
                        (dir.path() + L"\\Korvane.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW((BuildDir() + L"\\korvane_unprotected.exe").c_str(),
                        (dir.path() + L"\\unprotected.exe").c_str(), FALSE));
  // Only comctl32 is planted: Wine's own builtin comctl32 imports msimg32 and
  // resolves that dependency from the program's folder, which says nothing about
  // Korvane (it uses gdi32's GdiGradientFill and never msimg32).
  ASSERT_TRUE(CopyFileW((BuildDir() + L"\\korvane_planted_dll.dll").c_str(),
                        (dir.path() + L"\\comctl32.dll").c_str(), FALSE));
  // Wine prefers its builtin comctl32 unless told otherwise; native-first, set per
  // program, is how Windows searches for a DLL that is not a KnownDLL.
  struct Overrides {
    Overrides() {
      for (const wchar_t* exe : {L"unprotected.exe", L"Korvane.exe"}) {
        HKEY key;
        std::wstring path =
            std::wstring(L"Software\\Wine\\AppDefaults\\") + exe + L"\\DllOverrides";
        RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr);
        const wchar_t order[] = L"native,builtin";
        RegSetValueExW(key, L"comctl32", 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                       sizeof order);
        RegCloseKey(key);
      }
    }
    ~Overrides() {
      for (const wchar_t* exe : {L"unprotected.exe", L"Korvane.exe"})
        RegDeleteTreeW(HKEY_CURRENT_USER,
                       (std::wstring(L"Software\\Wine\\AppDefaults\\") + exe).c_str());
    }
  } overrides;

  // Without the protections the planted DLL is loaded.
  DeleteFileW(marker.c_str());
  RunPlain(L"\"" + dir.path() + L"\\unprotected.exe\"", dir.path());
  ASSERT_TRUE(Exists(marker)) << "an unprotected program did not load the planted DLL";

  DeleteFileW(marker.c_str());
  std::wstring cmd = L"\"" + dir.path() + L"\\Korvane.exe\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             dir.path().c_str(), &si, &pi));
  WindowSearch search{pi.dwProcessId, nullptr};
  for (int i = 0; i < 300 && !search.found; ++i) {
    Sleep(100);
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
  }
  std::wstring os;
  if (search.found) {
    std::pair<int, HWND> label{201 /* lblWinName */, nullptr};
    EnumChildWindows(search.found, FindById, reinterpret_cast<LPARAM>(&label));
    wchar_t text[64] = {};
    if (label.second) GetWindowTextW(label.second, text, 64);
    os = text;
    PostMessageW(search.found, WM_CLOSE, 0, 0);
  }
  if (WaitForSingleObject(pi.hProcess, 15000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);

  ASSERT_NE(search.found, nullptr) << "the window did not appear";
  EXPECT_NE(os, L"lblWinName") << "the Home page was not filled";
  EXPECT_FALSE(os.empty());
  EXPECT_FALSE(Exists(marker)) << "Korvane loaded the planted comctl32.dll";
}

// The primitives the undo store is built on, as Wine answers them.  Wine keeps no
// DACL on files (it makes one up from the Unix modes, owned by the one account
// behind every program), so it says access control is not enforced and the store's
// checks come down to links; a folder made for administrators still reads back
// with SYSTEM among those who may change it, and as no link.
TEST(UndoStorePrimitivesOnWine, APrivateFolderIsMadeAndReadBackAsNoLink) {
  Platform& sys = Sys();
  const std::optional<std::wstring> programData = sys.programDataFolder();
  ASSERT_TRUE(programData.has_value());
  EXPECT_NE(sys.getFileAttributes(*programData) & kFileAttributeDirectory, 0u);
  EXPECT_FALSE(sys.accessControlEnforced());

  ScratchDir scratch(L"korvane-private");
  const std::wstring folder = scratch.path() + L"\\Private";
  ASSERT_TRUE(sys.createPrivateDirectory(folder)) << ToUtf8(sys.lastErrorText());
  EXPECT_FALSE(sys.createPrivateDirectory(folder)) << "made twice";
  const std::optional<FileSecurity> security = sys.fileSecurity(folder);
  ASSERT_TRUE(security.has_value()) << ToUtf8(sys.lastErrorText());
  EXPECT_FALSE(security->reparsePoint);
  EXPECT_FALSE(security->owner.empty());
  EXPECT_NE(std::find(security->writers.begin(), security->writers.end(), kSidSystem),
            security->writers.end());
  EXPECT_FALSE(sys.fileSecurity(folder + L"\\missing").has_value());

  long error = 0;
  ASSERT_TRUE(sys.writeNewFile(folder + L"\\a.reg", {'a', 'b', 'c'}, &error));
  EXPECT_EQ(sys.fileSize(folder + L"\\a.reg"), std::optional<std::uint64_t>(3));
  const std::optional<std::uint64_t> free = sys.freeDiskSpace(folder);
  ASSERT_TRUE(free.has_value());
  EXPECT_GT(*free, 0u);
}

}  // namespace
}  // namespace korvane::wine
