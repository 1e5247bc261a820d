// The one seam between Korvane's logic and the operating system.
//
// Everything here is a primitive with Windows semantics (error codes are Win32
// codes, handles are opaque numbers).  Policies -- the registry wrapper's rules,
// the process runner's poll loop, the order of a repair's steps -- live above
// this interface so they can run against the in-memory fake in native tests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/ErrorText.h"  // the Win32 error codes

namespace korvane {

using Handle = std::uintptr_t;  // 0 is never a valid handle

// Predefined registry roots, with their Windows values.
constexpr Handle kHkeyClassesRoot = 0x80000000u;
constexpr Handle kHkeyCurrentUser = 0x80000001u;
constexpr Handle kHkeyLocalMachine = 0x80000002u;
constexpr Handle kHkeyUsers = 0x80000003u;  // KorvaneCli's --all-users

constexpr std::uint32_t kKeyAllAccess = 0xF003Fu;
constexpr std::uint32_t kKeyWrite = 0x20006u;
constexpr std::uint32_t kKeyRead = 0x20019u;

constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;
constexpr std::uint32_t kRegQword = 11;

constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr std::uint32_t kFileAttributeDirectory = 0x10u;
constexpr std::uint32_t kFileAttributeReadOnly = 0x01u;
constexpr std::uint32_t kFileAttributeReparsePoint = 0x400u;  // a junction or a link

// readFile and lockFile refuse a larger file (ERROR_FILE_TOO_LARGE) without
// reading it: every file Korvane reads whole is far smaller.
constexpr std::uint64_t kLargestFileReadWhole = 64u << 20;

// SERVICE_STATUS.dwCurrentState values.
constexpr std::uint32_t kServiceStopped = 1;
constexpr std::uint32_t kServiceStartPending = 2;
constexpr std::uint32_t kServiceStopPending = 3;
constexpr std::uint32_t kServiceRunning = 4;

constexpr std::uint32_t kWaitObject0 = 0;
constexpr std::uint32_t kWaitTimeout = 258;
constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// Message box flags and results.
constexpr unsigned kMbOk = 0;
constexpr unsigned kMbYesNo = 4;
constexpr unsigned kMbIconError = 16;
constexpr unsigned kMbIconQuestion = 32;
constexpr unsigned kMbIconWarning = 48;
constexpr unsigned kMbIconInformation = 64;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

struct RegData {
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> bytes;
};

struct OsVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t platformId = 0;  // 2 = VER_PLATFORM_WIN32_NT
};

struct NumberSeparators {
  std::wstring thousands = L",";
  std::wstring decimal = L".";
};

// A failed COM or WMI call, with the texts Windows could supply for it.
struct ComFailure {
  std::int32_t hr = 0;
  std::wstring description;    // from IErrorInfo, may be empty
  std::wstring systemMessage;  // FormatMessage for hr, may be empty
};

struct BaseBoard {
  std::optional<std::wstring> manufacturer;  // nullopt: VT_NULL in WMI
  std::optional<std::wstring> product;
};

// GetLocalTime's answer, to the second.
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// What the checks of a folder that only administrators may change need to know.
struct FileSecurity {
  // A junction, symbolic link or mount point: it was looked at as itself.
  bool reparsePoint = false;
  std::wstring owner;  // SID as text; the owner may always change the DACL
  // SIDs that an access-allowed entry of the DACL, one that applies to the object
  // itself, lets change it: write or append data (add a file or a subfolder), write
  // attributes or extended attributes, delete it or a child, change its DACL or
  // owner.  A missing DACL lets everyone ("S-1-1-0") do all of that.
  std::vector<std::wstring> writers;
};

// Well-known SIDs.
inline const std::wstring kSidSystem = L"S-1-5-18";
inline const std::wstring kSidAdministrators = L"S-1-5-32-544";
inline const std::wstring kSidAuthenticatedUsers = L"S-1-5-11";

struct ProcessHandles {
  Handle process = 0;
  Handle thread = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Registry (native view).  `parent` is a root or an opened key. ---
  virtual long regCreateKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                            Handle* key) = 0;
  virtual long regOpenKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                          Handle* key) = 0;
  virtual long regCloseKey(Handle key) = 0;
  virtual long regQueryValue(Handle key, const std::wstring& name, RegData* data) = 0;
  virtual long regSetValue(Handle key, const std::wstring& name, std::uint32_t type,
                           const std::vector<std::uint8_t>& bytes) = 0;
  virtual long regDeleteValue(Handle key, const std::wstring& name) = 0;
  // Deletes subKey of key with everything below it.
  virtual long regDeleteTree(Handle key, const std::wstring& subKey) = 0;
  virtual long regEnumKey(Handle key, std::uint32_t index, std::wstring* name) = 0;
  virtual long regEnumValue(Handle key, std::uint32_t index, std::wstring* name) = 0;

  // --- Processes ---
  // applicationName may be null (then the first token of commandLine is searched for).
  // commandLine is the writable buffer CreateProcessW receives.
  virtual bool createProcess(const std::wstring* applicationName, std::vector<wchar_t>& commandLine,
                             std::uint32_t creationFlags, int showMode, ProcessHandles* out) = 0;
  virtual std::uint32_t waitForSingleObject(Handle h, std::uint32_t milliseconds) = 0;
  virtual bool getExitCodeProcess(Handle process, std::uint32_t* code) = 0;
  virtual void closeHandle(Handle h) = 0;
  // Starts a program without waiting for it (WinExec's contract); returns > 31 on success.
  virtual std::uint32_t winExec(const std::wstring* applicationName,
                                const std::wstring& commandLine, int showMode) = 0;
  // Lets the window handle everything that is pending, then returns.
  virtual void processMessages() = 0;
  virtual void sleep(std::uint32_t milliseconds) = 0;
  [[noreturn]] virtual void exitProcess(std::uint32_t code) = 0;

  // --- Environment and system information ---
  virtual std::optional<std::wstring> getEnvironmentVariable(const std::wstring& name) = 0;
  virtual std::wstring getWindowsDirectory() = 0;
  virtual std::wstring getSystemDirectory() = 0;
  virtual bool getVersionEx(OsVersion* version) = 0;
  virtual bool isWow64Process() = 0;
  virtual std::uint64_t totalPhysicalMemory() = 0;
  virtual NumberSeparators userNumberSeparators() = 0;
  // CreateSemaphoreW(NULL, 0, 1, name): false when no handle came back.
  virtual bool createNamedSemaphore(const std::wstring& name, long* lastError) = 0;

  // --- Files ---
  virtual std::uint32_t getFileAttributes(const std::wstring& path) = 0;
  virtual bool deleteFile(const std::wstring& path) = 0;
  // CreateFileW with CREATE_ALWAYS, then the bytes.
  virtual bool writeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) = 0;
  virtual bool readFile(const std::wstring& path, std::vector<std::uint8_t>* bytes) = 0;
  // MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
  virtual bool replaceFile(const std::wstring& from, const std::wstring& to) = 0;
  // The system's message for the last failed call of this thread (FormatMessageW of
  // GetLastError, taken at once), without its closing full stop and line end, e.g.
  // "Access is denied"; it completes "Cannot create file "%s". %s".
  virtual std::wstring lastErrorText() { return {}; }
  // The system's message for a Win32 error code, trimmed like lastErrorText().
  virtual std::wstring errorText(long code) = 0;
  // RtlNtStatusToDosError: the Win32 error code that stands for an NTSTATUS (the exit
  // code of a process ended by an exception); 317 when there is none.
  virtual long ntStatusToWin32Error(std::uint32_t status) = 0;
  // Opens an existing file for reading with a share mode that lets others read it
  // but never write, rename, replace or delete it, and reads it whole through that
  // handle.  The file stays so until closeHandle(*lock).  A link is not followed: a
  // reparse point reads as no data.
  virtual bool lockFile(const std::wstring& path, Handle* lock,
                        std::vector<std::uint8_t>* bytes) = 0;
  // The security of the file a lockFile hold is on: of what was read, wherever the
  // path led when it was opened.  nullopt (lastErrorText() tells why) when it cannot
  // be read.
  virtual std::optional<FileSecurity> heldFileSecurity(Handle lock) = 0;
  // Deletes the folder `path` with everything below it; a link inside is removed as
  // a link and never entered (DeleteTreeWithoutFollowingLinks).  0, or the Win32
  // code of the first failure, with the item it concerns in *item.
  virtual long deleteFolderTree(const std::wstring& path, std::wstring* item) = 0;
  // Deletes the file at `path` (a full path) without following a link anywhere on
  // the way (DeleteFileWithoutFollowingLinks): for files in folders a user can
  // change.  0, or the Win32 code of the failure.
  virtual long deleteFileNoFollow(const std::wstring& path) = 0;
  virtual bool readOwnResource(const std::wstring& name, std::vector<std::uint8_t>* bytes) = 0;
  // Names of the files (not folders) directly in `folder`; false when it cannot be read.
  virtual bool listFiles(const std::wstring& folder, std::vector<std::wstring>* names) = 0;
  // CreateDirectoryW of one level; true when the folder is there afterwards.
  virtual bool createDirectory(const std::wstring& path) = 0;
  virtual LocalTime localTime() = 0;
  // SHGetKnownFolderPath(FOLDERID_ProgramData), not the environment (which the user
  // sets); nullopt when it cannot be told.
  virtual std::optional<std::wstring> programDataFolder() = 0;
  // CreateDirectoryW of one level with a protected DACL: full control for SYSTEM and
  // Administrators, nothing inherited, owner Administrators.  False when it was not
  // created, also when something is there already (lastErrorText() tells why).
  virtual bool createPrivateDirectory(const std::wstring& path) = 0;
  // The security of a file or folder, opened without following a link in its last
  // component; nullopt (lastErrorText() tells why) when it cannot be read.
  virtual std::optional<FileSecurity> fileSecurity(const std::wstring& path) = 0;
  // GetDiskFreeSpaceExW: bytes the caller may still write on the volume of `folder`.
  virtual std::optional<std::uint64_t> freeDiskSpace(const std::wstring& folder) = 0;
  // The size of a file, without opening it (GetFileAttributesExW).
  virtual std::optional<std::uint64_t> fileSize(const std::wstring& path) = 0;
  // False where access control on files is not enforced, so that every program runs
  // with the rights of every other (Wine: one Unix account behind all of them, and
  // a DACL that is made up from its file modes).  Checks of who may change a file
  // mean nothing there.
  virtual bool accessControlEnforced() = 0;
  // 64 bits from the system's random number generator (RtlGenRandom).
  virtual std::uint64_t randomNumber() = 0;

  // --- User interface and shell ---
  virtual int messageBox(const std::wstring& text, const std::wstring& title, unsigned flags) = 0;
  // Returns the text entered, or defaultText when cancelled.
  virtual std::wstring inputBox(const std::wstring& caption, const std::wstring& prompt,
                                const std::wstring& defaultText) = 0;
  virtual std::intptr_t shellExecute(const std::wstring& verb, const std::wstring& file,
                                     const std::wstring* parameters, int showMode) = 0;
  // The reason behind a failure that the window reports only as "Error!", or not at
  // all where a repair stops silently.  The window has nowhere else to show it and
  // drops it; KorvaneCli prints it with the repair's result.
  virtual void noteFailure(const std::wstring& reason) { (void)reason; }

  // --- COM and WMI; failures come back as ComFailure. ---
  virtual std::optional<ComFailure> queryBaseBoards(std::vector<BaseBoard>* boards) = 0;
  virtual std::optional<ComFailure> createRestorePoint(const std::wstring& description) = 0;
  virtual void coInitialize() = 0;
  virtual void coUninitialize() = 0;

  // --- Services ---
  // The Service Control Manager, one call each; the waiting policy (how long a stop
  // may take, how often to look) lives above.  Every call returns a Win32 code:
  // 1060 (ERROR_SERVICE_DOES_NOT_EXIST) for a name this Windows does not have.
  // *state is SERVICE_STATUS.dwCurrentState: 1 stopped, 2 start pending, 3 stop
  // pending, 4 running, 5-7 continue/pause pending and paused.
  virtual long queryServiceState(const std::wstring& name, std::uint32_t* state) = 0;
  // ControlService(SERVICE_CONTROL_STOP); 1062 (ERROR_SERVICE_NOT_ACTIVE) when it was
  // not running.  Returns without waiting for the stop.
  virtual long stopService(const std::wstring& name) = 0;
  // StartServiceW without arguments; 1056 (ERROR_SERVICE_ALREADY_RUNNING) when it
  // runs.  Returns without waiting for the start.
  virtual long startService(const std::wstring& name) = 0;
  // MoveFileExW(from, to, 0): a folder renamed on its own volume, never onto
  // something that is there.  False with lastErrorText() telling why (a file in
  // it is in use, the new name is taken).
  virtual bool renameFolder(const std::wstring& from, const std::wstring& to) = 0;
  // SHGetKnownFolderPath(FOLDERID_LocalAppData) of the account the program runs
  // as; nullopt when it cannot be told.  Not the environment, which the user sets.
  virtual std::optional<std::wstring> localAppDataFolder() = 0;

  // --- KorvaneCli (fleet use): undo files, rights, other users' hives, event log ---
  // CreateFileW with CREATE_NEW, then the bytes: an existing file is never replaced
  // (*error is then 80, ERROR_FILE_EXISTS).  On any failure *error holds the Win32
  // code, lastErrorText() describes it, and no partly written file is left behind.
  virtual bool writeNewFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                            long* error) = 0;
  // The process token is elevated (TokenElevation); false when that cannot be told.
  virtual bool isElevated() = 0;
  // The SID of the account the process runs as, as text ("S-1-5-18" for SYSTEM).
  virtual std::optional<std::wstring> processUserSid() = 0;
  // "DOMAIN\name" of the account with this SID (LookupAccountSidW); nullopt when it
  // does not resolve.
  virtual std::optional<std::wstring> accountName(const std::wstring& sid) = 0;
  // Enables a privilege that the process token holds ("SeRestorePrivilege"); returns
  // a Win32 code, 1300 (ERROR_NOT_ALL_ASSIGNED) when the token does not hold it.
  virtual long enablePrivilege(const std::wstring& name) = 0;
  // RegLoadKeyW and RegUnLoadKeyW: a hive file as the key `name` below HKEY_USERS.
  // Both return a Win32 code; on failure lastErrorText() describes it.
  virtual long regLoadHive(const std::wstring& name, const std::wstring& file) = 0;
  virtual long regUnloadHive(const std::wstring& name) = 0;
  // One record in the Application event log from `source` (RegisterEventSourceW,
  // ReportEventW with `text` as its one insertion string); false when it was not
  // written.  `type` is EVENTLOG_ERROR_TYPE (1), _WARNING_ (2) or _INFORMATION_ (4).
  virtual bool reportEvent(const std::wstring& source, std::uint16_t type, std::uint32_t eventId,
                           const std::wstring& text) = 0;

  // --- For the layers stacked on the platform; no Windows call ---
  // The value `name` of the open `key`, written by the caller, goes to a program it
  // starts next, and that program consumes it: changes or removes it as its work
  // (a service that rebuilds its index and then marks the set-up done).  A layer
  // that reads back what was written checks the value here, where it is handed
  // over, and not afterwards.  The platform itself does nothing.
  virtual void handOverValue(Handle /*key*/, const std::wstring& /*name*/) {}
};

// The process-wide platform: Win32Platform in the program, a fake in tests.
Platform& Sys();
// Installs p and returns the previous one (nullptr at first).
Platform* SetSys(Platform* p);

}  // namespace korvane
