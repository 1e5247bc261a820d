// A child process with its output, and the registry state the window and command-line
// tests compare a repair and its undo by.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "WineSupport.h"
#include "base/Text.h"
#include "common/Registry.h"

namespace korvane::wine {

struct ChildRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;
};

// How a child is started beyond its command line.
struct ChildSetting {
  std::vector<std::wstring> unset;  // environment variables the child does not get
  std::wstring folder;              // its current folder; empty: this program's
};

// This program's environment without the variables named, as a block for
// CreateProcessW.
inline std::vector<wchar_t> EnvironmentWithout(const std::vector<std::wstring>& unset) {
  std::vector<wchar_t> block;
  wchar_t* all = GetEnvironmentStringsW();
  for (const wchar_t* p = all; *p; p += wcslen(p) + 1) {
    const std::wstring entry = p;
    bool drop = false;
    for (const std::wstring& name : unset)
      drop = drop || (entry.size() > name.size() && entry[name.size()] == L'=' &&
                      _wcsnicmp(entry.c_str(), name.c_str(), name.size()) == 0);
    if (!drop) block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
  }
  FreeEnvironmentStringsW(all);
  block.push_back(L'\0');
  return block;
}

// Starts `program` with `arguments`, collects its standard output and waits.
inline ChildRun Start(const std::wstring& program, const std::wstring& arguments,
                      const ChildSetting& setting = {}) {
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
  std::vector<wchar_t> environment = EnvironmentWithout(setting.unset);
  const BOOL started =
      CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                     CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                     setting.folder.empty() ? nullptr : setting.folder.c_str(), &si, &pi);
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

// The system's reg.exe by its full path: a bare name would find a file of that
// name in the test program's own folder first.
inline ChildRun RegExe(const std::wstring& arguments) {
  wchar_t sys[MAX_PATH];
  GetSystemDirectoryW(sys, MAX_PATH);
  return Start(std::wstring(sys) + L"\\reg.exe", arguments);
}

inline void Put(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
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

inline std::vector<BYTE> Text(const std::wstring& s) { return WideToRegBytes(s); }

// Every value (type and bytes) and subkey below a key, in a canonical order: the
// state a repair and its undo are compared by.
inline std::string Snapshot(HKEY root, const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return "[" + ToUtf8(path) + "] absent\n";
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
        "  \"" + ToUtf8(std::wstring(name, nameLen)) + "\" type " + std::to_string(type) + ":";
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
  std::string out = "[" + ToUtf8(path) + "]\n";
  for (const auto& v : values) out += v;
  for (const auto& s : subkeys) out += s;
  return out;
}

inline void DeleteTree(HKEY root, const std::wstring& path) {
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

}  // namespace korvane::wine
