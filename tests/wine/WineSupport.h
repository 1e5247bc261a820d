#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Registry.h"
#include "common/Unit_Fungsi_Korvane.h"

namespace korvane::wine {

// A scratch folder under TEMP, removed afterwards.
class ScratchDir {
 public:
  explicit ScratchDir(const std::wstring& name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + name;
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~ScratchDir() { DeleteFolderTree(path_); }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

inline std::wstring ReadString(HKEY root, const std::wstring& path, const std::wstring& name,
                               DWORD* type = nullptr) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"<no key>";
  wchar_t buf[4096];
  DWORD size = sizeof buf, t = 0;
  LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, &t, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return L"<no value>";
  if (type) *type = t;
  return std::wstring(buf, size / 2).c_str();
}

inline bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

inline std::wstring ExeDir() {
  wchar_t buf[MAX_PATH];
  GetModuleFileNameW(nullptr, buf, MAX_PATH);
  std::wstring p = buf;
  return p.substr(0, p.find_last_of(L'\\'));
}

// Where the build put its outputs (Korvane.exe, the helpers), seen from Windows.
inline std::wstring BuildDir() { return ExeDir(); }

}  // namespace korvane::wine
