// KorvaneCli.exe started for real against Wine's (or Windows') registry: the undo
// file written by --backup and imported by the system's own reg.exe, the scan's
// exit codes as a detection script sees them, the restart code, and a preview that
// leaves the registry alone.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "WineSupport.h"
#include "cli/logic/CliText.h"

namespace korvane::wine {
namespace {

struct ChildRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;
};

// Starts `program` with `arguments`, collects its standard output and waits.
ChildRun Start(const std::wstring& program, const std::wstring& arguments) {
  ChildRun run;
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  if (started) {
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0) run.output.append(buf, n);
    WaitForSingleObject(pi.hProcess, 120000);
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(readEnd);
  return run;
}

ChildRun Cli(const std::wstring& arguments) {
  return Start(BuildDir() + L"\\KorvaneCli.exe", arguments);
}

// The system's reg.exe by its full path: a bare name would find a file of that
// name in the test program's own folder first.
ChildRun RegExe(const std::wstring& arguments) {
  wchar_t sys[MAX_PATH];
  GetSystemDirectoryW(sys, MAX_PATH);
  return Start(std::wstring(sys) + L"\\reg.exe", arguments);
}

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void Put(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
         const std::vector<BYTE>& bytes) {
  HKEY key;
  ASSERT_EQ(
      RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, type, bytes.empty() ? nullptr : bytes.data(),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

std::vector<BYTE> Text(const std::wstring& s) {
  std::vector<BYTE> b;
  for (wchar_t c : s) {
    b.push_back(static_cast<BYTE>(c & 0xFF));
    b.push_back(static_cast<BYTE>(c >> 8));
  }
  b.push_back(0);
  b.push_back(0);
  return b;
}

// Every value (type and bytes) and subkey below a key, in a canonical order: the
// state a repair and its undo are compared by.
std::string Snapshot(HKEY root, const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return "[" + cli::ToUtf8(path) + "] absent\n";
  std::vector<std::string> values, subkeys;
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD nameLen = 16384, type = 0, size = 0;
    if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      break;
    std::vector<BYTE> data(size);
    nameLen = 16384;
    RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data.data(), &size);
    std::string line =
        "  \"" + cli::ToUtf8(std::wstring(name, nameLen)) + "\" type " + std::to_string(type) + ":";
    for (DWORD k = 0; k < size; ++k) line += " " + std::to_string(data[k]);
    values.push_back(line + "\n");
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLen = 256;
    if (RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    subkeys.push_back(Snapshot(root, path + L"\\" + std::wstring(name, nameLen)));
  }
  RegCloseKey(key);
  std::sort(values.begin(), values.end());
  std::sort(subkeys.begin(), subkeys.end());
  std::string out = "[" + cli::ToUtf8(path) + "]\n";
  for (const auto& v : values) out += v;
  for (const auto& s : subkeys) out += s;
  return out;
}

void DeleteTree(HKEY root, const std::wstring& path) {
  RegDeleteTreeW(root, path.c_str());
  RegDeleteKeyW(root, path.c_str());
}

// Puts a key back as it was when the test began (absent, or as reg.exe exported
// it), so that the tests leave nothing behind when they run on a real Windows.
class KeyGuard {
 public:
  KeyGuard(HKEY root, const std::wstring& rootName, const std::wstring& path)
      : root_(root), path_(path) {
    wchar_t dir[MAX_PATH], file[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"kcg", 0, file);
    file_ = file;
    existed_ =
        KeyExists(root, path) &&
        RegExe(L"export \"" + rootName + L"\\" + path + L"\" \"" + file_ + L"\" /y").exitCode == 0;
  }
  ~KeyGuard() {
    DeleteTree(root_, path_);
    if (existed_) RegExe(L"import \"" + file_ + L"\"");
    DeleteFileW(file_.c_str());
  }
  KeyGuard(const KeyGuard&) = delete;
  KeyGuard& operator=(const KeyGuard&) = delete;

 private:
  HKEY root_;
  std::wstring path_, file_;
  bool existed_ = false;
};

const std::wstring kTaskMgrPolicy =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

TEST(CliWineTest, RegImportOfTheBackupPutsBatAndBatfileBack) {
  KeyGuard keepBat(HKEY_CLASSES_ROOT, L"HKCR", L".bat");
  KeyGuard keepBatfile(HKEY_CLASSES_ROOT, L"HKCR", L"batfile");
  DeleteTree(HKEY_CLASSES_ROOT, L".bat");
  DeleteTree(HKEY_CLASSES_ROOT, L"batfile");
  // Values of every type, one foreign to the script, and keys the script deletes.
  Put(HKEY_CLASSES_ROOT, L".bat", L"", REG_SZ, Text(L"oldbatfile"));
  Put(HKEY_CLASSES_ROOT, L".bat", L"Foreign", REG_EXPAND_SZ, Text(L"%TEMP%\\mine \"q\""));
  Put(HKEY_CLASSES_ROOT, L".bat", L"Multi", REG_MULTI_SZ,
      {'a', 0, 0, 0, 'b', 0, ' ', 0, 'c', 0, 0, 0, 0, 0});
  Put(HKEY_CLASSES_ROOT, L".bat", L"Qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 0x88});
  Put(HKEY_CLASSES_ROOT, L".bat", L"Binary", REG_BINARY, {0x30, 0x04, 0, 0xFF});
  Put(HKEY_CLASSES_ROOT, L".bat", L"Dword", REG_DWORD, {1, 0, 0, 0x80});
  Put(HKEY_CLASSES_ROOT, L".bat", L"None", REG_NONE, {});
  Put(HKEY_CLASSES_ROOT, L".bat\\PersistentHandler", L"", REG_SZ, Text(L"{old-handler}"));
  Put(HKEY_CLASSES_ROOT, L".bat\\ShellNew", L"NullFile", REG_SZ, Text(L""));
  Put(HKEY_CLASSES_ROOT, L"batfile", L"", REG_SZ, Text(L"Old Batch File"));
  Put(HKEY_CLASSES_ROOT, L"batfile", L"EditFlags", REG_DWORD, {0x30, 4, 0, 0});
  Put(HKEY_CLASSES_ROOT, L"batfile", L"Mine", REG_SZ, Text(L"kept by the script"));
  Put(HKEY_CLASSES_ROOT, L"batfile\\shell\\Custom\\command", L"", REG_EXPAND_SZ,
      Text(L"%WINDIR%\\custom.exe \"%1\""));
  Put(HKEY_CLASSES_ROOT, L"batfile\\shell\\open\\command", L"", REG_SZ, Text(L"old \"%1\""));
  const std::string before =
      Snapshot(HKEY_CLASSES_ROOT, L".bat") + Snapshot(HKEY_CLASSES_ROOT, L"batfile");

  ScratchDir scratch(L"KorvaneCliBackup");
  const std::wstring dir = scratch.path() + L"\\undo";
  const ChildRun fix = Cli(L"fix assoc.bat --json --backup \"" + dir + L"\"");
  const auto doc = nlohmann::json::parse(fix.output, nullptr, false);
  ASSERT_FALSE(doc.is_discarded()) << fix.output;
  const auto& repair = doc["repairs"][0];
  ASSERT_EQ(repair.value("backup", ""), cli::ToUtf8(dir + L"\\assoc.bat.reg")) << fix.output;
  if (UnderWine()) {
    // Wine's reg.exe reads hex(2) data in a single-byte script as one character per
    // byte, so every REG_EXPAND_SZ the script writes comes out wrong: the read-back
    // must say so, and say nothing else.
    EXPECT_EQ(fix.exitCode, 2u) << fix.output;
    ASSERT_FALSE(repair["unverified"].empty()) << fix.output;
    for (const auto& d : repair["unverified"]) {
      EXPECT_EQ(d["what"], "wrong-value") << d.dump();
      EXPECT_EQ(d["expected"]["type"], "REG_EXPAND_SZ") << d.dump();
    }
  } else {
    EXPECT_EQ(fix.exitCode, 0u) << fix.output;
  }
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L".bat", L""), L"batfile");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L".bat", L"Foreign"), L"<no value>");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"batfile\\shell\\Custom"));

  const ChildRun undo = RegExe(L"import \"" + dir + L"\\assoc.bat.reg\"");
  EXPECT_EQ(undo.exitCode, 0u) << undo.output;
  EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, L".bat") + Snapshot(HKEY_CLASSES_ROOT, L"batfile"), before);
}

TEST(CliWineTest, ScanExitsOneWhileTheTaskManagerPolicyIsSetAndZeroAfterItsFix) {
  KeyGuard keepPolicies(HKEY_CURRENT_USER, L"HKCU", kTaskMgrPolicy);
  Put(HKEY_CURRENT_USER, kTaskMgrPolicy, L"DisableTaskMgr", REG_DWORD, {1, 0, 0, 0});

  EXPECT_EQ(Cli(L"scan restriction.task-manager").exitCode, 1u);
  const ChildRun all = Cli(L"scan restriction.* --json");
  EXPECT_EQ(all.exitCode, 1u) << all.output;
  EXPECT_NE(all.output.find("\"restriction.task-manager\""), std::string::npos);

  const ChildRun fix = Cli(L"fix restriction.task-manager");
  EXPECT_EQ(fix.exitCode, 0u) << fix.output;
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kTaskMgrPolicy, L"DisableTaskMgr"), L"<no value>");

  EXPECT_EQ(Cli(L"scan restriction.task-manager").exitCode, 0u);
  const ChildRun after = Cli(L"scan restriction.*");
  EXPECT_EQ(after.exitCode, 0u) << after.output;
  // Nothing left to do is a success too.
  EXPECT_EQ(Cli(L"fix restriction.task-manager").exitCode, 0u);
}

TEST(CliWineTest, AnAdvancedRepairAsksForARestart) {
  const std::wstring advanced = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
  KeyGuard keepAdvanced(HKEY_CURRENT_USER, L"HKCU", advanced);
  Put(HKEY_CURRENT_USER, advanced, L"IconsOnly", REG_DWORD, {1, 0, 0, 0});
  const ChildRun fix = Cli(L"fix advanced.thumbnails");
  EXPECT_EQ(fix.exitCode, 3010u) << fix.output;
  EXPECT_NE(fix.output.find("restart the computer"), std::string::npos) << fix.output;
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, advanced.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD value = 7, size = sizeof value, type = 0;
  EXPECT_EQ(
      RegQueryValueExW(key, L"IconsOnly", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
      ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 0u);
}

bool FileThere(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MarkerWithin(const std::wstring& marker, DWORD ms) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(50))
    if (FileThere(marker)) return true;
  return FileThere(marker);
}

// Wine's System32 has no sfc, gpupdate or powercfg.  Without the tool the repair
// fails and names it, and a copy planted in the current folder does not run in its
// place; with a stand-in in System32 it runs and the repair ends as before.
TEST(CliWineTest, ARepairWhoseToolIsMissingFailsAndAStandInInSystem32Runs) {
  KeyGuard keepFlyout(HKEY_LOCAL_MACHINE, L"HKLM",
                      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FlyoutMenuSettings");
  const struct {
    const wchar_t* id;
    const wchar_t* tool;
    DWORD doneCode;
  } cases[] = {
      {L"task.sfc", L"sfc", 0},
      {L"advanced.group-policy", L"gpupdate", 3010},
      {L"advanced.hibernate-option", L"powercfg", 3010},
  };
  wchar_t temp[MAX_PATH], system[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring marker = std::wstring(temp) + L"korvane-planted-program.marker";
  const std::wstring program = BuildDir() + L"\\korvane_planted_program.exe";
  ScratchDir here(L"KorvaneCliCurrentFolder");
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(here.path().c_str()));
  struct Back {
    const wchar_t* folder;
    ~Back() { SetCurrentDirectoryW(folder); }
  } back{previous};

  for (const auto& c : cases) {
    SCOPED_TRACE(cli::ToUtf8(c.id));
    const std::wstring standIn = std::wstring(system) + L"\\" + c.tool + L".exe";
    if (FileThere(standIn)) {
      ADD_FAILURE() << "System32 has the tool here: the first half proves nothing";
      continue;
    }
    ASSERT_TRUE(CopyFileW(program.c_str(), (here.path() + L"\\" + c.tool + L".exe").c_str(), FALSE));
    DeleteFileW(marker.c_str());
    const ChildRun missing = Cli(std::wstring(L"fix ") + c.id);
    EXPECT_EQ(missing.exitCode, 2u) << missing.output;
    EXPECT_NE(missing.output.find("Cannot run \"" + cli::ToUtf8(c.tool) + "\""), std::string::npos)
        << missing.output;
    EXPECT_FALSE(MarkerWithin(marker, 500)) << "the copy in the current folder ran";

    ASSERT_TRUE(CopyFileW(program.c_str(), standIn.c_str(), FALSE));
    struct Remove {
      std::wstring path;
      ~Remove() { DeleteFileW(path.c_str()); }
    } removeStandIn{standIn};
    const ChildRun present = Cli(std::wstring(L"fix ") + c.id);
    EXPECT_EQ(present.exitCode, c.doneCode) << present.output;
    // powercfg is started without waiting: its stand-in may end after the repair.
    EXPECT_TRUE(MarkerWithin(marker, 5000)) << "the stand-in in System32 did not run";
    DeleteFileW(marker.c_str());
  }
}

// The Recycle Bin folder cannot go while a file in it is in use: that is a failed
// repair with the system's reason, not "restart needed" with the items still there.
TEST(CliWineTest, ARecycleBinWithAnItemInUseIsReportedAsNotDeleted) {
  const std::wstring bin = L"C:\\$Recycle.Bin";
  const std::wstring item = bin + L"\\S-1-5-21-korvane\\$Rtest.txt";
  CreateDirectoryW(bin.c_str(), nullptr);
  CreateDirectoryW((bin + L"\\S-1-5-21-korvane").c_str(), nullptr);
  HANDLE inUse = CreateFileW(item.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(inUse, INVALID_HANDLE_VALUE);

  const ChildRun held = Cli(L"fix advanced.corrupted-recycle-bin --drive C");
  EXPECT_EQ(held.exitCode, 2u) << held.output;
  EXPECT_NE(held.output.find("Cannot delete folder \"C:\\$Recycle.Bin\"."), std::string::npos)
      << held.output;
  EXPECT_TRUE(FileThere(item));

  CloseHandle(inUse);
  const ChildRun freed = Cli(L"fix advanced.corrupted-recycle-bin --drive C");
  EXPECT_EQ(freed.exitCode, 3010u) << freed.output;
  EXPECT_FALSE(FileThere(bin));
  DeleteFolderTree(bin);
}

TEST(CliWineTest, APreviewLeavesTheRegistryAsItWas) {
  KeyGuard keepBat(HKEY_CLASSES_ROOT, L"HKCR", L".bat");
  KeyGuard keepPolicies(HKEY_CURRENT_USER, L"HKCU", kTaskMgrPolicy);
  Put(HKEY_CLASSES_ROOT, L".bat", L"Foreign", REG_SZ, Text(L"stays"));
  Put(HKEY_CURRENT_USER, kTaskMgrPolicy, L"DisableTaskMgr", REG_DWORD, {1, 0, 0, 0});
  const std::string before = Snapshot(HKEY_CLASSES_ROOT, L".bat") +
                             Snapshot(HKEY_CLASSES_ROOT, L"batfile") +
                             Snapshot(HKEY_CURRENT_USER, kTaskMgrPolicy);
  const ChildRun preview =
      Cli(L"fix assoc.bat restriction.task-manager advanced.thumbnails --dry-run");
  EXPECT_EQ(preview.exitCode, 0u) << preview.output;
  EXPECT_NE(preview.output.find("delete key     HKEY_CLASSES_ROOT\\.bat"), std::string::npos)
      << preview.output;
  EXPECT_NE(preview.output.find("\"DisableTaskMgr\""), std::string::npos) << preview.output;
  EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, L".bat") + Snapshot(HKEY_CLASSES_ROOT, L"batfile") +
                Snapshot(HKEY_CURRENT_USER, kTaskMgrPolicy),
            before);
}

}  // namespace
}  // namespace korvane::wine
