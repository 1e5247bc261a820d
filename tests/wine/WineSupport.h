#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/Registry.h"
#include "common/Unit_Fungsi_Korvane.h"

namespace korvane::wine {

inline bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

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

// A value as the registry stores it: type and raw bytes.
struct Stored {
  DWORD type = REG_NONE;
  std::vector<std::uint8_t> bytes;
  bool operator==(const Stored&) const = default;
};

inline void PrintTo(const Stored& s, std::ostream* os) {
  *os << "type " << s.type << ", bytes";
  for (std::uint8_t b : s.bytes) *os << ' ' << static_cast<int>(b);
}

// Reads a value with the plain API, so what the program wrote is checked with
// nothing of the program in between.  nullopt: the key or the value is missing.
inline std::optional<Stored> ReadValue(HKEY root, const std::wstring& path,
                                       const std::wstring& name) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  Stored s;
  DWORD size = 0;
  LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, &s.type, nullptr, &size);
  if (rc == ERROR_SUCCESS) {
    s.bytes.resize(size);
    rc = RegQueryValueExW(key, name.c_str(), nullptr, &s.type, s.bytes.data(), &size);
    s.bytes.resize(size);
  }
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return s;
}

// Writes a value with the plain API, creating the key.
inline void WriteValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
                       const std::vector<std::uint8_t>& bytes) {
  HKEY key;
  ASSERT_EQ(
      RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  ASSERT_EQ(
      RegSetValueExW(key, name.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
      ERROR_SUCCESS);
  RegCloseKey(key);
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
