// An in-memory Windows for the logic's tests: a case-insensitive registry with
// typed values, files and folders, a process table whose programs end after a
// chosen number of polls, and recorded dialogs and shell requests.  It simulates
// what the logic relies on rather than replaying expected calls.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace korvane::fake {

struct FakeExit {
  std::uint32_t code;
};

struct MessageRecord {
  std::wstring text;
  std::wstring title;
  unsigned flags;
};

struct LaunchRecord {
  std::wstring application;  // empty when none was given
  std::wstring commandLine;
  std::uint32_t creationFlags = 0;
  int showMode = 0;
  bool waited = true;  // false for WinExec
};

// One attempt to open or create a key: root, path below it, access mask.
struct KeyOpenRecord {
  Handle root;
  std::wstring path;
  std::uint32_t access;
  bool create;
};

struct EventRecord {
  std::wstring source;
  std::uint16_t type = 0;
  std::uint32_t id = 0;
  std::wstring text;
};

struct ShellRecord {
  std::wstring verb;
  std::wstring file;
  std::optional<std::wstring> parameters;
  int showMode;
};

// How a program behaves when started.  `polls` is how many zero-time-out waits
// report it still running.  `onStart` runs when it starts (to simulate its effect),
// `whileRunning` on every poll that finds it running.
struct FakeProgram {
  std::uint32_t exitCode = 0;
  int polls = 0;
  std::function<void(const std::wstring& commandLine)> onStart;
  std::function<void()> whileRunning;
  // Not 0: Windows refuses to start it with this error (a file that is no program, a
  // start blocked by policy), and nothing runs.
  long refusedWith = 0;
  // Not 0: reading its exit code fails with this error.
  long exitCodeUnreadable = 0;
  // Not 0: every wait for it fails with this error (WAIT_FAILED), and it never ends.
  long waitFailsWith = 0;
};

class FakePlatform : public Platform {
 public:
  FakePlatform();
  ~FakePlatform() override;

  // ---------------------------------------------------------------- set-up
  // Registry (root is kHkeyClassesRoot / kHkeyCurrentUser / kHkeyLocalMachine /
  // kHkeyUsers).  Set-up through kHkeyClassesRoot follows the rules of a write there
  // (see the .cpp); a per-user class key is set up under kHkeyCurrentUser,
  // "Software\Classes\...".
  void setValue(Handle root, const std::wstring& path, const std::wstring& name, std::uint32_t type,
                std::vector<std::uint8_t> bytes);
  void setString(Handle root, const std::wstring& path, const std::wstring& name,
                 const std::wstring& value, std::uint32_t type = kRegSz);
  void setDword(Handle root, const std::wstring& path, const std::wstring& name,
                std::uint32_t value);
  void createKey(Handle root, const std::wstring& path);
  // Writes and subkey creation below this key fail with access denied.
  void denyWrites(Handle root, const std::wstring& path);
  // The key is there, but every open of it fails with access denied (an ACL that
  // grants this account nothing).
  void denyOpens(Handle root, const std::wstring& path);

  // Registry inspection.
  bool keyExists(Handle root, const std::wstring& path) const;
  std::optional<RegData> value(Handle root, const std::wstring& path,
                               const std::wstring& name) const;
  std::optional<std::wstring> stringValue(Handle root, const std::wstring& path,
                                          const std::wstring& name) const;
  std::optional<std::uint32_t> dwordValue(Handle root, const std::wstring& path,
                                          const std::wstring& name) const;
  std::vector<std::wstring> valueNames(Handle root, const std::wstring& path) const;
  std::vector<std::wstring> subKeyNames(Handle root, const std::wstring& path) const;
  // A canonical dump of one hive, for before/after comparisons.
  std::wstring dumpHive(Handle root) const;
  size_t openKeyHandles() const { return keyHandles_.size(); }
  const std::vector<KeyOpenRecord>& keyOpens() const { return keyOpens_; }

  // Files and folders.  Paths are Windows paths, compared without regard to case.
  void addDirectory(const std::wstring& path, bool readOnly = false);
  void addFile(const std::wstring& path, std::vector<std::uint8_t> bytes = {});
  void addTextFile(const std::wstring& path, const std::string& text);
  // A read-only file cannot be deleted, overwritten or replaced (access denied).
  void setFileReadOnly(const std::wstring& path, bool readOnly = true);
  // Room left on every disk for new file contents; unset means plenty.  A write
  // that does not fit fails as on a full disk, leaving the file it created empty;
  // moving a file needs no room.
  std::optional<std::size_t> freeBytes;
  // Security: a new file or folder takes the owner and writers of the folder it is
  // made in (a drive's root lets Authenticated Users add to it, as C:\ does).
  void setSecurity(const std::wstring& path, std::wstring owner, std::vector<std::wstring> writers);
  // A junction (or symbolic link) at `path` to the folder `target`: every path
  // through it leads there; it is itself a folder that is a reparse point.
  void addLink(const std::wstring& path, const std::wstring& target);
  // False as under Wine, where a Unix link cannot be opened as itself: deleting one
  // is refused (ERROR_STOPPED_ON_SYMLINK) rather than done to what it leads to.
  bool linksOpenAsThemselves = true;
  // Runs after each folder listing of a tree deletion: another program's chance to
  // change the folder behind the listing (to put a link where a folder was).
  std::function<void(const std::wstring& folder)> onListFolder;
  // Every file with its bytes, by normalised path: for "nothing else was touched".
  std::map<std::wstring, std::vector<std::uint8_t>> allFiles() const;
  bool fileExists(const std::wstring& path) const;
  bool directoryExists(const std::wstring& path) const;
  std::optional<std::vector<std::uint8_t>> fileBytes(const std::wstring& path) const;
  // Held by lockFile and not yet released: nobody may write, replace or delete it.
  bool fileLocked(const std::wstring& path) const;
  // Runs just before lockFile takes its hold: another program's last chance to
  // change the file (a racing writer) or to take it first.
  std::function<void(const std::wstring& path)> onLock;
  // Runs just after lockFile took its hold: another program's move once the file
  // is held (turning a link on the way somewhere else).
  std::function<void(const std::wstring& path)> onLocked;
  std::string fileText(const std::wstring& path) const;
  // Paths of all files below a folder.
  std::vector<std::wstring> filesUnder(const std::wstring& folder) const;

  // Programs, by file name without folder; "reg.exe" also answers to "reg".
  void addProgram(const std::wstring& fileName, FakeProgram program);
  const std::vector<LaunchRecord>& launches() const { return launches_; }

  // Dialogs.
  void answerMessageBoxes(std::deque<int> answers) { messageAnswers_ = std::move(answers); }
  void answerInputBoxes(std::deque<std::optional<std::wstring>> answers) {
    inputAnswers_ = std::move(answers);
  }
  const std::vector<MessageRecord>& messages() const { return messages_; }
  const std::vector<ShellRecord>& shellRequests() const { return shell_; }
  std::vector<std::wstring> inputPrompts;

  // Ordered record of the observable steps: "start <cmd>", "end <cmd>", "sleep N",
  // "messages", "box <text>", "shell <file>", "winexec <cmd>", "stop service <name>",
  // "start service <name>", "rename <from> -> <to>".
  std::vector<std::wstring> events;

  // Called on every message pass (to run a nested click, say).
  std::function<void()> onProcessMessages;

  // System facts.
  std::map<std::wstring, std::wstring> environment{{L"TEMP", L"C:\\Temp"}};
  std::wstring windowsDirectory = L"C:\\Windows";
  std::wstring systemDirectory = L"C:\\Windows\\System32";
  std::optional<std::wstring> programData = std::wstring(L"C:\\ProgramData");
  std::uint64_t nextRandom = 0x5eed0000c0ffee00ull;
  OsVersion version{10, 0, 19045, 2};
  bool versionQueryFails = false;
  bool wow64 = false;
  std::uint64_t physicalMemory = 17179869184ull;
  NumberSeparators separators;
  std::vector<BaseBoard> baseBoards{{std::wstring(L"Contoso"), std::wstring(L"Board 1")}};
  std::optional<ComFailure> baseBoardFailure;
  std::optional<ComFailure> restorePointFailure;
  std::vector<std::wstring> restorePoints;
  // Registry state seen when each restore point was asked for.
  std::function<void()> onRestorePoint;
  int comInitDepth = 0;
  std::set<std::wstring> semaphores;
  std::map<std::wstring, std::vector<std::uint8_t>> resources;
  LocalTime now{2025, 3, 14, 9, 26, 53};
  // KorvaneCli's fleet use: the process's rights and account, other accounts, the
  // event log.  Without elevation, opening a key of HKEY_LOCAL_MACHINE for any kind
  // of write fails with access denied, as the machine's ACLs have it.
  bool elevated = true;
  std::optional<std::wstring> processSid = std::wstring(L"S-1-5-21-100-200-300-1000");
  std::map<std::wstring, std::wstring> accounts;  // SID -> "DOMAIN\name"
  std::set<std::wstring> heldPrivileges{L"SeBackupPrivilege", L"SeRestorePrivilege"};
  std::set<std::wstring> enabledPrivileges;
  std::vector<EventRecord> eventLog;
  bool eventLogFails = false;

  // User hives.  A hive file holds a key tree that is not in the registry until it is
  // loaded under HKEY_USERS; unloading puts the tree, with its changes, back into the
  // file.  storeHive moves HKEY_USERS\<key> into such a file (and adds the file).
  void storeHive(const std::wstring& key, const std::wstring& file);
  std::optional<RegData> hiveFileValue(const std::wstring& file, const std::wstring& path,
                                       const std::wstring& name) const;
  // Names below HKEY_USERS that hold a hive loaded from a file, in loading order.
  std::vector<std::wstring> loadedHives() const;
  std::set<std::wstring> lockedHiveFiles;  // loading them fails: sharing violation
  std::set<std::wstring> unloadRefused;    // unloading these names fails: access denied

  // Services, by name without regard to case.  A stop or start is asked for at once
  // and takes effect after `polls` state queries; a service that `hangs` stays
  // pending for good.  `refuse` answers the request itself with that error.
  struct FakeService {
    std::uint32_t state = kServiceRunning;
    int stopPolls = 0;
    int startPolls = 0;
    bool hangsOnStop = false;
    bool hangsOnStart = false;
    long refuseStop = 0;
    long refuseStart = 0;
    std::function<void()> onStart;  // when it comes up: what the service does then
    int pollsLeft = 0;
  };
  void addService(const std::wstring& name, FakeService service);
  void removeService(const std::wstring& name);
  FakeService* service(const std::wstring& name);  // null when there is none
  // Files another program has open: a folder that holds one cannot be renamed.
  std::set<std::wstring> filesInUse;
  std::optional<std::wstring> localAppData = std::wstring(L"C:\\Users\\Ann\\AppData\\Local");

  // ---------------------------------------------------------------- Platform
  long regCreateKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                    Handle* key) override;
  long regOpenKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                  Handle* key) override;
  long regCloseKey(Handle key) override;
  long regQueryValue(Handle key, const std::wstring& name, RegData* data) override;
  long regSetValue(Handle key, const std::wstring& name, std::uint32_t type,
                   const std::vector<std::uint8_t>& bytes) override;
  long regDeleteValue(Handle key, const std::wstring& name) override;
  long regDeleteTree(Handle key, const std::wstring& subKey) override;
  long regEnumKey(Handle key, std::uint32_t index, std::wstring* name) override;
  long regEnumValue(Handle key, std::uint32_t index, std::wstring* name) override;

  bool createProcess(const std::wstring* applicationName, std::vector<wchar_t>& commandLine,
                     std::uint32_t creationFlags, int showMode, ProcessHandles* out) override;
  std::uint32_t waitForSingleObject(Handle h, std::uint32_t milliseconds) override;
  bool getExitCodeProcess(Handle process, std::uint32_t* code) override;
  void closeHandle(Handle h) override;
  std::uint32_t winExec(const std::wstring* applicationName, const std::wstring& commandLine,
                        int showMode) override;
  void processMessages() override;
  void sleep(std::uint32_t milliseconds) override;
  [[noreturn]] void exitProcess(std::uint32_t code) override;

  std::optional<std::wstring> getEnvironmentVariable(const std::wstring& name) override;
  std::wstring getWindowsDirectory() override { return windowsDirectory; }
  std::wstring getSystemDirectory() override { return systemDirectory; }
  bool getVersionEx(OsVersion* v) override;
  bool isWow64Process() override { return wow64; }
  std::uint64_t totalPhysicalMemory() override { return physicalMemory; }
  NumberSeparators userNumberSeparators() override { return separators; }
  bool createNamedSemaphore(const std::wstring& name, long* lastError) override;

  std::uint32_t getFileAttributes(const std::wstring& path) override;
  bool deleteFile(const std::wstring& path) override;
  bool writeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) override;
  bool readFile(const std::wstring& path, std::vector<std::uint8_t>* bytes) override;
  bool replaceFile(const std::wstring& from, const std::wstring& to) override;
  std::wstring lastErrorText() override;
  std::wstring errorText(long code) override;
  long ntStatusToWin32Error(std::uint32_t status) override;
  bool lockFile(const std::wstring& path, Handle* lock, std::vector<std::uint8_t>* bytes) override;
  std::optional<FileSecurity> heldFileSecurity(Handle lock) override;
  long deleteFolderTree(const std::wstring& path, std::wstring* item) override;
  long deleteFileNoFollow(const std::wstring& path) override;
  bool readOwnResource(const std::wstring& name, std::vector<std::uint8_t>* bytes) override;
  bool listFiles(const std::wstring& folder, std::vector<std::wstring>* names) override;
  bool createDirectory(const std::wstring& path) override;
  LocalTime localTime() override { return now; }
  std::optional<std::wstring> programDataFolder() override;
  bool createPrivateDirectory(const std::wstring& path) override;
  std::optional<FileSecurity> fileSecurity(const std::wstring& path) override;
  std::optional<std::uint64_t> freeDiskSpace(const std::wstring& folder) override;
  std::optional<std::uint64_t> fileSize(const std::wstring& path) override;
  bool accessControlEnforced() override { return true; }
  // Each call the next number: distinct, and the same in every run of a test.
  std::uint64_t randomNumber() override { return nextRandom++; }

  int messageBox(const std::wstring& text, const std::wstring& title, unsigned flags) override;
  std::wstring inputBox(const std::wstring& caption, const std::wstring& prompt,
                        const std::wstring& defaultText) override;
  std::intptr_t shellExecute(const std::wstring& verb, const std::wstring& file,
                             const std::wstring* parameters, int showMode) override;

  std::optional<ComFailure> queryBaseBoards(std::vector<BaseBoard>* boards) override;
  std::optional<ComFailure> createRestorePoint(const std::wstring& description) override;
  void coInitialize() override { ++comInitDepth; }
  void coUninitialize() override { --comInitDepth; }

  long queryServiceState(const std::wstring& name, std::uint32_t* state) override;
  long stopService(const std::wstring& name) override;
  long startService(const std::wstring& name) override;
  bool renameFolder(const std::wstring& from, const std::wstring& to) override;
  std::optional<std::wstring> localAppDataFolder() override { return localAppData; }

  bool writeNewFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                    long* error) override;
  bool isElevated() override { return elevated; }
  std::optional<std::wstring> processUserSid() override { return processSid; }
  std::optional<std::wstring> accountName(const std::wstring& sid) override;
  long enablePrivilege(const std::wstring& name) override;
  long regLoadHive(const std::wstring& name, const std::wstring& file) override;
  long regUnloadHive(const std::wstring& name) override;
  bool reportEvent(const std::wstring& source, std::uint16_t type, std::uint32_t eventId,
                   const std::wstring& text) override;

 private:
  struct Key;
  struct Process {
    std::wstring commandLine;
    FakeProgram program;
    int pollsLeft = 0;
    bool ended = false;
  };
  struct Security {
    std::wstring owner;
    std::vector<std::wstring> writers;
  };
  struct File {
    std::wstring path;
    std::vector<std::uint8_t> bytes;
    bool readOnly = false;
    Security security;
  };
  struct Dir {
    std::wstring path;
    bool readOnly = false;
    Security security;
    std::optional<std::wstring> linkTo;
  };

  // The per-user and the machine's copy of a key of HKEY_CLASSES_ROOT (null when absent).
  struct ClassCopies {
    Key* user;
    Key* machine;
  };
  Key* rootNode(Handle root) const;
  Key* findParts(Handle root, const std::vector<std::wstring>& parts) const;
  ClassCopies classCopies(const std::vector<std::wstring>& parts) const;
  static std::vector<std::wstring> mergedSubKeys(const ClassCopies& copies);
  static std::vector<std::pair<std::wstring, RegData>> mergedValues(const ClassCopies& copies);
  bool where(Handle h, Handle* root, std::vector<std::wstring>* parts) const;
  long deleteKeyAt(Handle root, const std::vector<std::wstring>& parts);
  long openHandle(Handle parent, const std::wstring& subKey, bool create, std::uint32_t access,
                  Handle* key);
  Key* resolve(Handle parentOrKey, const std::wstring& subKey, bool create, long* error);
  Key* find(Handle root, const std::wstring& path) const;
  Key* keyFor(Handle h) const;
  void endProcess(Process& p);
  void recordKeyOpen(Handle parent, const std::wstring& subKey, std::uint32_t access, bool create);
  bool fail(long error) {
    lastError_ = error;
    return false;
  }
  std::wstring parentDir(const std::wstring& path) const;
  bool anythingBelow(const std::wstring& key) const;
  class TreeView;
  friend class TreeView;
  std::wstring at(const std::wstring& path, bool followLast = false) const;
  Security inherited(const std::wstring& path) const;
  const FakeProgram* programFor(const std::wstring* app, const std::wstring& commandLine) const;

  std::unique_ptr<Key> hkcu_, hklm_, hku_;
  std::map<std::wstring, std::unique_ptr<Key>> hiveFiles_;     // by normalised file path
  std::vector<std::pair<std::wstring, std::wstring>> loaded_;  // name, file
  std::map<Handle, std::vector<std::wstring>> keyHandles_;     // handle -> root + path parts
  std::map<Handle, Handle> keyRoots_;
  Handle nextHandle_ = 0x1000;
  std::map<Handle, Process> processes_;
  std::map<Handle, Handle> threads_;
  std::map<Handle, std::wstring> locks_;  // normalised paths
  std::map<std::wstring, FakeProgram> programs_;
  std::map<std::wstring, File> files_;
  std::map<std::wstring, Dir> dirs_;
  std::vector<LaunchRecord> launches_;
  std::vector<KeyOpenRecord> keyOpens_;
  std::map<std::wstring, FakeService> services_;  // by lower-case name
  long lastError_ = kErrorSuccess;
  std::vector<MessageRecord> messages_;
  std::vector<ShellRecord> shell_;
  std::deque<int> messageAnswers_;
  std::deque<std::optional<std::wstring>> inputAnswers_;
};

// Installs a FakePlatform as Sys() for the lifetime of the object.
class ScopedFakePlatform {
 public:
  ScopedFakePlatform() : previous_(SetSys(&fake_)) {}
  ~ScopedFakePlatform() { SetSys(previous_); }
  FakePlatform& operator*() { return fake_; }
  FakePlatform* operator->() { return &fake_; }

 private:
  FakePlatform fake_;
  Platform* previous_;
};

std::string Narrow(const std::wstring& s);
std::wstring Widen(const std::string& s);

}  // namespace korvane::fake
