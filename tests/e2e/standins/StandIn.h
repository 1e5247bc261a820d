// What the stand-ins for Windows' own tools share: the marker files through which
// they tell a scenario what they do, in the TEMP folder they inherit from Korvane.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

inline std::wstring TempFile(const wchar_t* name) {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  return std::wstring(temp, n) + name;
}

inline bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void Touch(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

// Case-blind equality of two command-line words.
inline bool Is(const wchar_t* word, const wchar_t* expected) {
  return CompareStringOrdinal(word, -1, expected, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace standin
