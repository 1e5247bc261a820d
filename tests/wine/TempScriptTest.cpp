// Scripts and programs that Korvane writes to TEMP and then runs with administrator
// rights, against a hostile program of the same user: a TEMP whose name the command
// processor would split, and a watcher that rewrites or replaces the file between
// writing and running, or while it runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RecordingPlatform.h"
#include "WineSupport.h"
#include "child/ChildProcess.h"
#include "common/KorvaneError.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "fileassoc/FileAssoc.h"

namespace korvane::wine {
namespace {

constexpr int kSwHide = 0;

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteText(const std::wstring& path, const std::string& text) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// What another program of the user can try against a file: open it for writing,
// delete it, put another file in its place.  True for each attempt that got in.
struct Attempts {
  bool write = false, remove = false, replace = false;
};

Attempts TryToChange(const std::wstring& path, const std::wstring& replacement) {
  Attempts a;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f != INVALID_HANDLE_VALUE) {
    a.write = true;
    CloseHandle(f);
  }
  a.remove = DeleteFileW(path.c_str()) != 0;
  a.replace = MoveFileExW(replacement.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  return a;
}

// The command line started as it stands, without an application name: how the
// batch used to be started.
void RunPlain(const std::wstring& commandLine) {
  std::wstring buffer = commandLine;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &si, &pi))
    return;
  WaitForSingleObject(pi.hProcess, 30000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

class CurrentFolder {
 public:
  explicit CurrentFolder(const std::wstring& folder) {
    GetCurrentDirectoryW(MAX_PATH, previous_);
    SetCurrentDirectoryW(folder.c_str());
  }
  ~CurrentFolder() { SetCurrentDirectoryW(previous_); }

 private:
  wchar_t previous_[MAX_PATH] = {};
};

// TEMP = ...\t&calc and a batch planted in ...\calc: read unquoted, the command
// processor starts "...\t" and then calc\tempbat.bat of the current folder.
TEST(TempScriptsOnWine, AnAmpersandInTempRunsTheRealBatchAndNeverAPlantedOne) {
  ScratchDir scratch(L"korvane-amp");
  const std::wstring temp = scratch.path() + L"\\t&calc";
  ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((scratch.path() + L"\\calc").c_str(), nullptr));
  const std::wstring real = scratch.path() + L"\\real.txt";
  const std::wstring planted = scratch.path() + L"\\planted.txt";
  WriteText(scratch.path() + L"\\calc\\tempbat.bat",
            "@echo off\r\necho planted> \"" + Narrow(planted) + "\"\r\n");
  const std::wstring batch = temp + L"\\tempbat.bat";
  const std::string text = "@echo off\r\necho real> \"" + Narrow(real) + "\"\r\n";
  CurrentFolder here(scratch.path());

  // The threat is real here: the batch's path as the whole command line runs the
  // planted one.
  WriteText(batch, text);
  RunPlain(batch);
  ASSERT_TRUE(Exists(planted)) << "the planted batch did not run: the test would prove nothing";
  DeleteFileW(planted.c_str());
  DeleteFileW(batch.c_str());

  {
    HeldFile held = WriteHeldFile(batch, Bytes(text));
    EXPECT_EQ(RunToolAndWait(BatchCommandLine(batch), kSwHide), 0u);
  }
  EXPECT_TRUE(Exists(real)) << "the real batch did not run";
  EXPECT_FALSE(Exists(planted)) << "the planted batch ran";
}

// The payload-driven path, as a FIX button takes it, with a watcher of the same
// user: one that gets in between writing and the check, and one that tries while
// reg.exe runs.  The keys of the watcher's script must never appear.
class WatchedPlatform : public RecordingPlatform {
 public:
  std::wstring watched;
  std::string beforeHold;  // written over the file just before it is held
  bool tryWhileRunning = false;
  std::wstring replacement;
  Attempts whileRunning;
  int starts = 0;

  bool lockFile(const std::wstring& path, Handle* lock, std::vector<std::uint8_t>* bytes) override {
    if (path == watched && !beforeHold.empty()) WriteText(path, beforeHold);
    return RecordingPlatform::lockFile(path, lock, bytes);
  }
  bool createProcess(const std::wstring* app, std::vector<wchar_t>& commandLine,
                     std::uint32_t flags, int show, ProcessHandles* out) override {
    const bool started = RecordingPlatform::createProcess(app, commandLine, flags, show, out);
    if (started) ++starts;
    // reg.exe is under way (or already done): the script must still be out of reach.
    if (started && tryWhileRunning) whileRunning = TryToChange(watched, replacement);
    return started;
  }
};

const std::wstring kTestKey = L"Software\\KorvaneWineTests\\Held";
const std::wstring kPwnedKey = L"Software\\KorvaneWineTests\\Pwned";

const Payload kScript = {"Windows Registry Editor Version 5.00", "",
                         "[HKEY_CURRENT_USER\\Software\\KorvaneWineTests\\Held]", "\"v\"=\"ours\"",
                         ""};
const std::string kPwnedScript =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\KorvaneWineTests\\Pwned]\r\n\"v\"=\"theirs\"\r\n";

class HeldScriptOnWine : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    TempPath = temp;
    if (TempPath.back() != L'\\') TempPath += L"\\";
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KorvaneWineTests");
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KorvaneWineTests");
    DeleteFileW((TempPath + L"evil.reg").c_str());
    TempPath.clear();
  }
};

TEST_F(HeldScriptOnWine, NobodyCanRewriteDeleteOrReplaceTheScriptWhileRegExeImportsIt) {
  WatchedPlatform sys;
  sys.watched = TempPath + L"HELD.reg";
  sys.replacement = TempPath + L"evil.reg";
  WriteText(sys.replacement, kPwnedScript);
  sys.tryWhileRunning = true;

  ApplyRegScript(kScript, L"HELD");

  EXPECT_EQ(sys.starts, 1);
  EXPECT_FALSE(sys.whileRunning.write) << "the script could be opened for writing";
  EXPECT_FALSE(sys.whileRunning.remove) << "the script could be deleted";
  EXPECT_FALSE(sys.whileRunning.replace) << "the script could be replaced";
  ASSERT_EQ(sys.boxes().size(), 1u);
  EXPECT_EQ(sys.boxes()[0].text, L"Done!");
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kTestKey, L"v"), L"ours");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kPwnedKey));
  EXPECT_FALSE(Exists(sys.watched)) << "the script is left in TEMP";
}

TEST_F(HeldScriptOnWine, AScriptRewrittenBeforeTheImportIsNotImported) {
  WatchedPlatform sys;
  sys.watched = TempPath + L"HELD.reg";
  sys.beforeHold = kPwnedScript;

  ApplyRegScript(kScript, L"HELD");

  EXPECT_EQ(sys.starts, 0) << "reg.exe was started on a changed script";
  ASSERT_EQ(sys.boxes().size(), 1u);
  EXPECT_EQ(sys.boxes()[0].text, L"Error!");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kPwnedKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestKey));
  DeleteFileW(sys.watched.c_str());
}

// A held program still starts (Windows maps its image for reading), and it stays out
// of reach until the hold ends.
TEST(TempScriptsOnWine, AHeldProgramStartsAndCannotBeReplacedUntilReleased) {
  ScratchDir scratch(L"korvane-held-exe");
  const std::wstring exe = scratch.path() + L"\\RestartExp.exe";
  const std::wstring other = scratch.path() + L"\\other.exe";
  ASSERT_TRUE(CopyFileW(ChildExe().c_str(), other.c_str(), FALSE));
  HANDLE f = CreateFileW(ChildExe().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  std::vector<std::uint8_t> image(GetFileSize(f, nullptr));
  DWORD read = 0;
  ReadFile(f, image.data(), static_cast<DWORD>(image.size()), &read, nullptr);
  CloseHandle(f);

  HeldFile held = WriteHeldFile(exe, image);
  EXPECT_EQ(RunToolAndWait(CommandLineForPath(exe) + L" exit 3", kSwHide), 3u);
  const Attempts a = TryToChange(exe, other);
  EXPECT_FALSE(a.write);
  EXPECT_FALSE(a.remove);
  EXPECT_FALSE(a.replace);
  held.release();
  EXPECT_TRUE(DeleteFileW(exe.c_str())) << "the hold outlived its release";
}

}  // namespace
}  // namespace korvane::wine
