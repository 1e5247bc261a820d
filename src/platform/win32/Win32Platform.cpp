#include "platform/win32/Win32Platform.h"

#include <windows.h>
// windows.h first: the others rely on its types.
#include <aclapi.h>
#include <knownfolders.h>
#include <ntsecapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "platform/TreeDelete.h"

namespace korvane {
namespace {

HKEY AsKey(Handle h) { return reinterpret_cast<HKEY>(h); }
HANDLE AsHandle(Handle h) { return reinterpret_cast<HANDLE>(h); }

std::wstring LocaleText(LCTYPE type, const wchar_t* fallback) {
  wchar_t buf[16] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 16) > 0) return buf;
  return fallback;
}

}  // namespace

Win32Platform::Win32Platform() {
  // The user's separators are read once, when the program starts.
  separators_.thousands = LocaleText(LOCALE_STHOUSAND, L",");
  separators_.decimal = LocaleText(LOCALE_SDECIMAL, L".");
}

Win32Platform::~Win32Platform() {
  // A query nobody asked for in the end (the program was refused at start) is let
  // finish: its COM objects belong to that thread.
  if (prefetchThread_) {
    WaitForSingleObject(prefetchThread_, INFINITE);
    CloseHandle(prefetchThread_);
  }
}

// ------------------------------------------------------------------ registry

long Win32Platform::regCreateKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                                 Handle* key) {
  HKEY hk = nullptr;
  LONG rc = RegCreateKeyExW(AsKey(parent), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            access, nullptr, &hk, nullptr);
  *key = rc == ERROR_SUCCESS ? reinterpret_cast<Handle>(hk) : 0;
  return rc;
}

long Win32Platform::regOpenKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                               Handle* key) {
  HKEY hk = nullptr;
  LONG rc = RegOpenKeyExW(AsKey(parent), subKey.c_str(), 0, access, &hk);
  *key = rc == ERROR_SUCCESS ? reinterpret_cast<Handle>(hk) : 0;
  return rc;
}

long Win32Platform::regCloseKey(Handle key) { return RegCloseKey(AsKey(key)); }

long Win32Platform::regQueryValue(Handle key, const std::wstring& name, RegData* data) {
  // Most values fit the first buffer, so one call reads them; a scan reads
  // hundreds.  A larger one is read again at the size the first call reported
  // (and again if it grew in between).
  DWORD type = 0;
  std::vector<std::uint8_t> bytes(512);
  DWORD size = static_cast<DWORD>(bytes.size());
  LONG rc = RegQueryValueExW(AsKey(key), name.c_str(), nullptr, &type, bytes.data(), &size);
  while (rc == ERROR_MORE_DATA) {
    bytes.resize(size);
    rc = RegQueryValueExW(AsKey(key), name.c_str(), nullptr, &type, bytes.data(), &size);
  }
  if (rc != ERROR_SUCCESS) return rc;
  bytes.resize(size);
  data->type = type;
  data->bytes = std::move(bytes);
  return ERROR_SUCCESS;
}

long Win32Platform::regSetValue(Handle key, const std::wstring& name, std::uint32_t type,
                                const std::vector<std::uint8_t>& bytes) {
  return RegSetValueExW(AsKey(key), name.c_str(), 0, type, bytes.empty() ? nullptr : bytes.data(),
                        static_cast<DWORD>(bytes.size()));
}

long Win32Platform::regDeleteValue(Handle key, const std::wstring& name) {
  return RegDeleteValueW(AsKey(key), name.c_str());
}

long Win32Platform::regDeleteTree(Handle key, const std::wstring& subKey) {
  // RegDeleteTreeW leaves the (now empty) key itself when it cannot remove it, so
  // the key is removed explicitly afterwards.
  LONG rc = RegDeleteTreeW(AsKey(key), subKey.c_str());
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegDeleteKeyExW(AsKey(key), subKey.c_str(), 0, 0);
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

long Win32Platform::regEnumKey(Handle key, std::uint32_t index, std::wstring* name) {
  wchar_t buf[256];
  DWORD len = 256;
  LONG rc = RegEnumKeyExW(AsKey(key), index, buf, &len, nullptr, nullptr, nullptr, nullptr);
  if (rc == ERROR_SUCCESS) name->assign(buf, len);
  return rc;
}

long Win32Platform::regEnumValue(Handle key, std::uint32_t index, std::wstring* name) {
  std::vector<wchar_t> buf(16384);
  DWORD len = static_cast<DWORD>(buf.size());
  LONG rc = RegEnumValueW(AsKey(key), index, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
  if (rc == ERROR_SUCCESS) name->assign(buf.data(), len);
  return rc;
}

// ----------------------------------------------------------------- processes

bool Win32Platform::createProcess(const std::wstring* applicationName,
                                  std::vector<wchar_t>& commandLine, std::uint32_t creationFlags,
                                  int showMode, ProcessHandles* out) {
  STARTUPINFOW si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(showMode);
  PROCESS_INFORMATION pi;
  ZeroMemory(&pi, sizeof pi);
  if (!CreateProcessW(applicationName ? applicationName->c_str() : nullptr, commandLine.data(),
                      nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr, &si, &pi))
    return false;
  out->process = reinterpret_cast<Handle>(pi.hProcess);
  out->thread = reinterpret_cast<Handle>(pi.hThread);
  return true;
}

std::uint32_t Win32Platform::waitForSingleObject(Handle h, std::uint32_t milliseconds) {
  return WaitForSingleObject(AsHandle(h), milliseconds);
}

bool Win32Platform::getExitCodeProcess(Handle process, std::uint32_t* code) {
  DWORD c = 0;
  if (!GetExitCodeProcess(AsHandle(process), &c)) return false;
  *code = c;
  return true;
}

void Win32Platform::closeHandle(Handle h) { CloseHandle(AsHandle(h)); }

std::uint32_t Win32Platform::winExec(const std::wstring* applicationName,
                                     const std::wstring& commandLine, int showMode) {
  // WinExec itself takes no program path; to start the System directory's copy
  // the call is made the way WinExec makes it, with the path as application name.
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  ProcessHandles handles;
  if (!createProcess(applicationName, buffer, 0, showMode, &handles)) {
    DWORD e = GetLastError();
    return e > 31 ? 0 : e;
  }
  CloseHandle(AsHandle(handles.thread));
  CloseHandle(AsHandle(handles.process));
  return 33;
}

void Win32Platform::processMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Keep the request for the outer message loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    HWND active = GetActiveWindow();
    if (active && IsDialogMessageW(active, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void Win32Platform::sleep(std::uint32_t milliseconds) { Sleep(milliseconds); }

void Win32Platform::exitProcess(std::uint32_t code) { ExitProcess(code); }

// ------------------------------------------------------------------- system

std::optional<std::wstring> Win32Platform::getEnvironmentVariable(const std::wstring& name) {
  DWORD n = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (n == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::wstring();
  }
  std::wstring value(n, L'\0');
  n = GetEnvironmentVariableW(name.c_str(), value.data(), n);
  value.resize(n);
  return value;
}

std::wstring Win32Platform::getWindowsDirectory() {
  wchar_t buf[MAX_PATH] = {};
  GetWindowsDirectoryW(buf, MAX_PATH);
  return buf;
}

std::wstring Win32Platform::getSystemDirectory() {
  wchar_t buf[MAX_PATH] = {};
  GetSystemDirectoryW(buf, MAX_PATH);
  return buf;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
bool Win32Platform::getVersionEx(OsVersion* version) {
  OSVERSIONINFOW info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  BOOL ok = GetVersionExW(&info);
  version->major = info.dwMajorVersion;
  version->minor = info.dwMinorVersion;
  version->build = info.dwBuildNumber;
  version->platformId = info.dwPlatformId;
  return ok != FALSE;
}
#pragma GCC diagnostic pop

bool Win32Platform::isWow64Process() {
  HMODULE kernel = LoadLibraryW(L"kernel32.dll");
  if (!kernel) return false;
  using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
  bool result = false;
  if (fn) {
    BOOL wow = FALSE;
    result = fn(GetCurrentProcess(), &wow) && wow;
  }
  FreeLibrary(kernel);
  return result;
}

std::uint64_t Win32Platform::totalPhysicalMemory() {
  MEMORYSTATUS status;
  ZeroMemory(&status, sizeof status);
  status.dwLength = sizeof status;
  GlobalMemoryStatus(&status);
  return status.dwTotalPhys;
}

bool Win32Platform::createNamedSemaphore(const std::wstring& name, long* lastError) {
  // The handle is never closed: the name lives exactly as long as this process.
  HANDLE h = CreateSemaphoreW(nullptr, 0, 1, name.c_str());
  *lastError = static_cast<long>(GetLastError());
  return h != nullptr;
}

// -------------------------------------------------------------------- files

std::uint32_t Win32Platform::getFileAttributes(const std::wstring& path) {
  return GetFileAttributesW(path.c_str());
}

bool Win32Platform::deleteFile(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

bool Win32Platform::writeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = bytes.empty() ||
            WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ok = ok && written == bytes.size();
  ok = CloseHandle(f) && ok;
  return ok;
}

// Reads an open file from its start to its end; false unless every byte arrived.
// The size is taken from the handle, not from a look at the path before: a file a
// user grows in between is refused (ERROR_FILE_TOO_LARGE) before memory is taken
// for it, far above anything Korvane reads whole.
static bool ReadWhole(HANDLE f, std::vector<std::uint8_t>* bytes) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(f, &size)) return false;
  if (static_cast<std::uint64_t>(size.QuadPart) > kLargestFileReadWhole) {
    SetLastError(ERROR_FILE_TOO_LARGE);
    return false;
  }
  bytes->resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  return bytes->empty() ||
         (::ReadFile(f, bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr) &&
          read == bytes->size());
}

bool Win32Platform::readFile(const std::wstring& path, std::vector<std::uint8_t>* bytes) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  const bool ok = ReadWhole(f, bytes);
  CloseHandle(f);
  return ok;
}

bool Win32Platform::replaceFile(const std::wstring& from, const std::wstring& to) {
  return MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::wstring Win32Platform::lastErrorText() { return errorText(static_cast<long>(GetLastError())); }

std::wstring Win32Platform::errorText(long code) {
  wchar_t* buf = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  std::wstring text = n && buf ? std::wstring(buf, n) : std::wstring();
  if (buf) LocalFree(buf);
  while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.pop_back();
  return text;
}

long Win32Platform::ntStatusToWin32Error(std::uint32_t status) {
  // ntdll is always loaded; the function is exported but declared only in the DDK.
  using Convert = ULONG(WINAPI*)(LONG);
  static const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlNtStatusToDosError")));
  if (!convert) return ERROR_MR_MID_NOT_FOUND;
  return static_cast<long>(convert(static_cast<LONG>(status)));
}

bool Win32Platform::lockFile(const std::wstring& path, Handle* lock,
                             std::vector<std::uint8_t>* bytes) {
  // Read access only, so a tool that opens the file to read it is let in; sharing
  // read alone shuts out every open for writing or deleting, which also stops a
  // rename or a replacement.  A link put in the file's place is opened as itself,
  // never followed to a file somebody else controls.
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = GetFileInformationByHandle(f, &info) != 0;
  if (ok && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    ok = ReadWhole(f, bytes);
  }
  if (!ok) {
    const DWORD error = GetLastError();
    CloseHandle(f);
    SetLastError(error);
    return false;
  }
  *lock = reinterpret_cast<Handle>(f);
  return true;
}

namespace {

// "\\?\" before a full path: no length limit, and a name that Windows would
// otherwise trim (a closing dot or blank, which a user can make) is reached as it is.
std::wstring LongPath(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\", 0) == 0) return path;
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  return path;
}

std::wstring FinalPath(HANDLE h) {
  std::wstring out(MAX_PATH, L'\0');
  for (int tries = 0; tries < 3; ++tries) {
    const DWORD n = GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()),
                                              FILE_NAME_NORMALIZED);
    if (n == 0) return {};
    if (n < out.size()) {
      out.resize(n);
      return out;
    }
    out.resize(n + 1);
  }
  return {};
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Whether the open handle is the item `path` names, and not what a link there led
// to.  Windows opens a link as itself when asked to (FILE_FLAG_OPEN_REPARSE_POINT);
// Wine follows a Unix link all the same, and only the final path shows it.  Where
// the final paths cannot be read, the open's own promise is all there is.
bool IsNamedItem(HANDLE h, const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return true;
  std::wstring parent = path.substr(0, slash);
  if (!parent.empty() && parent.back() == L':') parent.push_back(L'\\');
  HANDLE p = CreateFileW(LongPath(parent).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (p == INVALID_HANDLE_VALUE) return true;
  std::wstring expected = FinalPath(p);
  CloseHandle(p);
  const std::wstring actual = FinalPath(h);
  if (expected.empty() || actual.empty()) return true;
  if (expected.back() != L'\\') expected.push_back(L'\\');
  return SameText(expected + path.substr(slash + 1), actual);
}

class Win32TreeFiles : public TreeFiles {
 public:
  long holdFolder(const std::wstring& path, Handle* hold) override {
    // No delete sharing: while held, nobody renames the folder, replaces it with a
    // link or removes it, so what is listed and deleted below it stays below it.
    HANDLE h = CreateFileW(LongPath(path).c_str(),
                           FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return static_cast<long>(GetLastError());
    BY_HANDLE_FILE_INFORMATION info;
    long error = 0;
    if (!GetFileInformationByHandle(h, &info)) {
      error = static_cast<long>(GetLastError());
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !IsNamedItem(h, path)) {
      error = kErrorStoppedOnSymlink;
    } else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      error = ERROR_DIRECTORY;
    }
    if (error != 0) {
      CloseHandle(h);
      return error;
    }
    *hold = reinterpret_cast<Handle>(h);
    return 0;
  }

  void releaseFolder(Handle hold) override { CloseHandle(AsHandle(hold)); }

  long listFolder(const std::wstring& path, std::vector<FolderEntry>* entries) override {
    entries->clear();
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW((LongPath(path) + L"\\*").c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<long>(error);
    }
    do {
      const std::wstring name = data.cFileName;
      if (name != L"." && name != L"..") entries->push_back({name, data.dwFileAttributes});
    } while (FindNextFileW(find, &data));
    const DWORD error = GetLastError();
    FindClose(find);
    return error == ERROR_NO_MORE_FILES ? 0 : static_cast<long>(error);
  }

  long deleteItem(const std::wstring& path) override {
    // The item itself, never what a link leads to.  Attributes are written only to
    // take a read-only mark off; without that right, a plain delete may still do.
    const std::wstring at = LongPath(path);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE h = CreateFileW(at.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, share,
                           nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
      h = CreateFileW(at.c_str(), DELETE | FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                      flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return static_cast<long>(GetLastError());
    long error = 0;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) {
      error = static_cast<long>(GetLastError());
    } else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsNamedItem(h, path)) {
      error = kErrorStoppedOnSymlink;
    } else if (!DeleteAtOnce(h)) {
      const bool readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
      if (readOnly) setAttributes(h, info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
      FILE_DISPOSITION_INFO disposition{TRUE};
      if (!SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition)) {
        error = static_cast<long>(GetLastError());
        if (readOnly) setAttributes(h, info.dwFileAttributes);
      }
    }
    CloseHandle(h);
    return error;
  }

 private:
  // Windows 10 1709 and later on NTFS: the name goes at once, even while another
  // program (Explorer watching the Recycle Bin, a virus scanner) still has the item
  // open, so the folder above it can go too; read-only or not.  Elsewhere (older
  // systems, other file systems, Wine) the classic disposition does the work.
  static bool DeleteAtOnce(HANDLE h) {
    constexpr DWORD kDelete = 0x1, kPosixSemantics = 0x2, kIgnoreReadOnly = 0x10;
    struct {
      DWORD Flags;
    } disposition{kDelete | kPosixSemantics | kIgnoreReadOnly};
    constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
    return SetFileInformationByHandle(h, kFileDispositionInfoEx, &disposition,
                                      sizeof disposition) != 0;
  }

  static void setAttributes(HANDLE h, DWORD attributes) {
    FILE_BASIC_INFO basic;
    ZeroMemory(&basic, sizeof basic);  // zero times: left as they are
    basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic);
  }
};

}  // namespace

long Win32Platform::deleteFileNoFollow(const std::wstring& path) {
  Win32TreeFiles files;
  const long error = DeleteFileWithoutFollowingLinks(files, path);
  SetLastError(static_cast<DWORD>(error));
  return error;
}

long Win32Platform::deleteFolderTree(const std::wstring& path, std::wstring* item) {
  Win32TreeFiles files;
  const TreeDeleteResult result = DeleteTreeWithoutFollowingLinks(files, path);
  *item = result.item;
  SetLastError(static_cast<DWORD>(result.error));  // lastErrorText() tells the first failure
  return result.error;
}

bool Win32Platform::readOwnResource(const std::wstring& name, std::vector<std::uint8_t>* bytes) {
  HRSRC res = FindResourceExW(nullptr, MAKEINTRESOURCEW(10) /* RT_RCDATA */, name.c_str(),
                              MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (!res) return false;
  HGLOBAL data = LoadResource(nullptr, res);
  DWORD size = SizeofResource(nullptr, res);
  const void* p = data ? LockResource(data) : nullptr;
  if (!p) return false;
  const auto* b = static_cast<const std::uint8_t*>(p);
  bytes->assign(b, b + size);
  return true;
}

bool Win32Platform::listFiles(const std::wstring& folder, std::vector<std::wstring>* names) {
  names->clear();
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data,
                                 FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names->push_back(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return true;
}

bool Win32Platform::createDirectory(const std::wstring& path) {
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  const DWORD a = GetFileAttributesW(path.c_str());
  const bool there = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  SetLastError(error);  // lastErrorText() still tells why it failed
  return there;
}

namespace {
std::optional<std::wstring> KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  const HRESULT hr = SHGetKnownFolderPath(id, 0, nullptr, &path);
  std::optional<std::wstring> out;
  if (SUCCEEDED(hr) && path) out = std::wstring(path);
  CoTaskMemFree(path);
  return out;
}
}  // namespace

std::optional<std::wstring> Win32Platform::programDataFolder() {
  return KnownFolder(FOLDERID_ProgramData);
}

bool Win32Platform::createPrivateDirectory(const std::wstring& path) {
  // Protected ("P"): nothing is inherited from the folder above, which users may
  // write.  Objects created inside inherit these two entries.
  static const wchar_t kOwned[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  static const wchar_t kUnowned[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  for (const wchar_t* sddl : {kOwned, kUnowned}) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr))
      return false;
    SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
    const BOOL made = CreateDirectoryW(path.c_str(), &sa);
    const DWORD error = GetLastError();
    LocalFree(sd);
    if (made) return true;
    // A token that may not name Administrators as owner (it is not in the group with
    // the owner right): its default owner, which the check afterwards judges.
    if (error != ERROR_INVALID_OWNER) {
      SetLastError(error);
      return false;
    }
  }
  return false;
}

namespace {

// The owner and the writers of the object an open handle is on (it needs
// READ_CONTROL and FILE_READ_ATTRIBUTES).
std::optional<FileSecurity> SecurityOf(HANDLE h) {
  FileSecurity out;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return std::nullopt;
  out.reparsePoint = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  const DWORD rc =
      GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                      &owner, nullptr, &dacl, nullptr, &sd);
  if (rc != ERROR_SUCCESS) {
    SetLastError(rc);
    return std::nullopt;
  }
  auto sidText = [](PSID sid) {
    wchar_t* text = nullptr;
    std::wstring out = sid && ConvertSidToStringSidW(sid, &text) ? text : L"?";
    if (text) LocalFree(text);
    return out;
  };
  out.owner = sidText(owner);
  // Every right that lets a holder change what the object holds or who may.
  constexpr ACCESS_MASK kChanging = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA |
                                    FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                    FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER;
  if (!dacl) {
    out.writers.push_back(L"S-1-1-0");
  } else {
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      void* ace = nullptr;
      if (!GetAce(dacl, i, &ace)) continue;
      const auto* header = static_cast<ACE_HEADER*>(ace);
      if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // for objects created inside
      // The callback (conditional) form has the same layout as the plain one.
      if (header->AceType != ACCESS_ALLOWED_ACE_TYPE &&
          header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE)
        continue;
      const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      if (allowed->Mask & kChanging)
        out.writers.push_back(sidText(const_cast<DWORD*>(&allowed->SidStart)));
    }
  }
  LocalFree(sd);
  return out;
}

}  // namespace

std::optional<FileSecurity> Win32Platform::fileSecurity(const std::wstring& path) {
  HANDLE h =
      CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<FileSecurity> out = SecurityOf(h);
  const DWORD error = GetLastError();
  CloseHandle(h);
  SetLastError(error);
  return out;
}

std::optional<FileSecurity> Win32Platform::heldFileSecurity(Handle lock) {
  return SecurityOf(AsHandle(lock));
}

std::optional<std::uint64_t> Win32Platform::freeDiskSpace(const std::wstring& folder) {
  ULARGE_INTEGER free;
  if (!GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr)) return std::nullopt;
  return free.QuadPart;
}

std::optional<std::uint64_t> Win32Platform::fileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::uint64_t Win32Platform::randomNumber() {
  std::uint64_t n = 0;
  RtlGenRandom(&n, sizeof n);
  return n;
}

bool Win32Platform::accessControlEnforced() {
  // Wine's ntdll names itself; Windows' never does.
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return !(ntdll && GetProcAddress(ntdll, "wine_get_version"));
}

LocalTime Win32Platform::localTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

// ------------------------------------------------------------- dialogs, shell

int Win32Platform::messageBox(const std::wstring& text, const std::wstring& title, unsigned flags) {
  HWND owner = GetActiveWindow();
  if (!owner) owner = mainWindow_;
  return MessageBoxW(owner, text.c_str(), title.c_str(), flags | MB_APPLMODAL);
}

std::wstring Win32Platform::inputBox(const std::wstring& caption, const std::wstring& prompt,
                                     const std::wstring& defaultText) {
  return inputBoxImpl ? inputBoxImpl(caption, prompt, defaultText) : defaultText;
}

std::intptr_t Win32Platform::shellExecute(const std::wstring& verb, const std::wstring& file,
                                          const std::wstring* parameters, int showMode) {
  return reinterpret_cast<std::intptr_t>(ShellExecuteW(mainWindow_, verb.c_str(), file.c_str(),
                                                       parameters ? parameters->c_str() : nullptr,
                                                       nullptr, showMode));
}

void Win32Platform::coInitialize() { CoInitialize(nullptr); }
void Win32Platform::coUninitialize() { CoUninitialize(); }

// ------------------------------------------------- KorvaneCli: undo files, rights

bool Win32Platform::writeNewFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                                 long* error) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    *error = static_cast<long>(GetLastError());
    return false;
  }
  DWORD written = 0;
  const bool ok = bytes.empty() || (WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()),
                                              &written, nullptr) &&
                                    written == bytes.size());
  DWORD code = ok ? ERROR_SUCCESS : GetLastError();
  if (!CloseHandle(f) && ok) code = GetLastError();
  if (code == ERROR_SUCCESS && ok) return true;
  // The file is this call's own: a part of an undo file is worse than none.
  if (code == ERROR_SUCCESS) code = ERROR_WRITE_FAULT;
  DeleteFileW(path.c_str());
  SetLastError(code);
  *error = static_cast<long>(code);
  return false;
}

bool Win32Platform::isElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  return ok && elevation.TokenIsElevated != 0;
}

// ------------------------------------ KorvaneCli: other users' hives, event log

std::optional<std::wstring> Win32Platform::processUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
  std::vector<BYTE> buffer(256);
  DWORD size = 0;
  BOOL ok = GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                                &size);
  if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    buffer.resize(size);
    ok = GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
  }
  CloseHandle(token);
  if (!ok) return std::nullopt;
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
    return std::nullopt;
  std::wstring sid = text;
  LocalFree(text);
  return sid;
}

std::optional<std::wstring> Win32Platform::accountName(const std::wstring& sid) {
  PSID binary = nullptr;
  if (!ConvertStringSidToSidW(sid.c_str(), &binary)) return std::nullopt;
  wchar_t name[256], domain[256];
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use;
  const BOOL ok = LookupAccountSidW(nullptr, binary, name, &nameSize, domain, &domainSize, &use);
  LocalFree(binary);
  if (!ok) return std::nullopt;
  return domain[0] ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

long Win32Platform::enablePrivilege(const std::wstring& name) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return static_cast<long>(GetLastError());
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  DWORD code = ERROR_SUCCESS;
  if (!LookupPrivilegeValueW(nullptr, name.c_str(), &privileges.Privileges[0].Luid) ||
      !AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr)) {
    code = GetLastError();
  } else {
    code = GetLastError();  // ERROR_NOT_ALL_ASSIGNED when the token lacks it
  }
  CloseHandle(token);
  SetLastError(code);
  return static_cast<long>(code);
}

long Win32Platform::regLoadHive(const std::wstring& name, const std::wstring& file) {
  const LONG rc = RegLoadKeyW(HKEY_USERS, name.c_str(), file.c_str());
  SetLastError(static_cast<DWORD>(rc));
  return rc;
}

long Win32Platform::regUnloadHive(const std::wstring& name) {
  const LONG rc = RegUnLoadKeyW(HKEY_USERS, name.c_str());
  SetLastError(static_cast<DWORD>(rc));
  return rc;
}

bool Win32Platform::reportEvent(const std::wstring& source, std::uint16_t type,
                                std::uint32_t eventId, const std::wstring& text) {
  HANDLE log = RegisterEventSourceW(nullptr, source.c_str());
  if (!log) return false;
  const wchar_t* strings[] = {text.c_str()};
  const BOOL ok = ReportEventW(log, type, 0, eventId, nullptr, 1, 0, strings, nullptr);
  const DWORD code = GetLastError();
  DeregisterEventSource(log);
  SetLastError(code);
  return ok != FALSE;
}

// ------------------------------------------------------------------ services

namespace {

// One service opened with `access` for the length of `use`; the Win32 code of the
// first thing that failed.
template <typename Use>
long WithService(const std::wstring& name, DWORD access, Use use) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return static_cast<long>(GetLastError());
  SC_HANDLE service = OpenServiceW(manager, name.c_str(), access);
  long rc = service ? use(service) : static_cast<long>(GetLastError());
  if (service) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  SetLastError(static_cast<DWORD>(rc));
  return rc;
}

}  // namespace

long Win32Platform::queryServiceState(const std::wstring& name, std::uint32_t* state) {
  return WithService(name, SERVICE_QUERY_STATUS, [state](SC_HANDLE service) -> long {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) return static_cast<long>(GetLastError());
    *state = status.dwCurrentState;
    return ERROR_SUCCESS;
  });
}

long Win32Platform::stopService(const std::wstring& name) {
  return WithService(name, SERVICE_STOP, [](SC_HANDLE service) -> long {
    SERVICE_STATUS status{};
    return ControlService(service, SERVICE_CONTROL_STOP, &status)
               ? ERROR_SUCCESS
               : static_cast<long>(GetLastError());
  });
}

long Win32Platform::startService(const std::wstring& name) {
  return WithService(name, SERVICE_START, [](SC_HANDLE service) -> long {
    return StartServiceW(service, 0, nullptr) ? ERROR_SUCCESS : static_cast<long>(GetLastError());
  });
}

bool Win32Platform::renameFolder(const std::wstring& from, const std::wstring& to) {
  return MoveFileExW(from.c_str(), to.c_str(), 0) != 0;
}

std::optional<std::wstring> Win32Platform::localAppDataFolder() {
  return KnownFolder(FOLDERID_LocalAppData);
}

}  // namespace korvane
