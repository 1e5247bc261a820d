// What the direct .exe repair must leave in HKEY_CLASSES_ROOT: its sixteen keys, each
// with its values in the order they are written, with type and exact bytes.  Shared
// by the native test (against the fake) and the Wine test (against a real registry).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Registry.h"

namespace korvane::exetable {

struct ExpectedValue {
  std::wstring name;  // empty: the key's default value
  std::uint32_t type;
  std::vector<std::uint8_t> bytes;
};

struct ExpectedKey {
  std::wstring path;  // below HKEY_CLASSES_ROOT
  std::vector<ExpectedValue> values;
};

inline ExpectedValue Sz(const std::wstring& name, const std::wstring& text) {
  return {name, 1, WideToRegBytes(text)};
}
inline ExpectedValue ExpandSz(const std::wstring& name, const std::wstring& text) {
  return {name, 2, WideToRegBytes(text)};
}
inline ExpectedValue Binary(const std::wstring& name, std::vector<std::uint8_t> bytes) {
  return {name, 3, std::move(bytes)};
}

inline const std::vector<ExpectedKey>& ExeRepairTable() {
  // The open command: quotation mark, %1, quotation mark, blank, %* -- seven characters.
  static const std::wstring open = L"\"%1\" %*";
  static const std::wstring tip =
      L"prop:System.FileDescription;System.Company;System.FileVersion;System.DateCreated;"
      L"System.Size";
  static const std::vector<ExpectedKey> table = {
      {L".exe\\PersistentHandler", {Sz(L"", L"{098f2470-bae0-11cd-b579-08002b30bfeb}")}},
      {L"exefile",
       {Sz(L"", L"Application"), Binary(L"EditFlags", {0x38, 0x07, 0x00, 0x00}),
        ExpandSz(L"FriendlyTypeName", L"@%SystemRoot%\\System32\\shell32.dll,-10156")}},
      {L"exefile\\DefaultIcon", {Sz(L"", L"%1")}},
      {L"exefile\\shell\\open", {Binary(L"EditFlags", {0x00, 0x00, 0x00, 0x00})}},
      {L"exefile\\shell\\open\\command", {Sz(L"", open), Sz(L"IsolatedCommand", open)}},
      {L"exefile\\shell\\runas", {Sz(L"HasLUAShield", L"")}},
      {L"exefile\\shell\\runas\\command", {Sz(L"", open), Sz(L"IsolatedCommand", open)}},
      {L"exefile\\shell\\runasuser",
       {Sz(L"", L"@shell32.dll,-50944"), Sz(L"Extended", L""),
        Sz(L"SuppressionPolicyEx", L"{F211AA05-D4DF-4370-A2A0-9F19C09756A7}")}},
      {L"exefile\\shell\\runasuser\\command",
       {Sz(L"DelegateExecute", L"{ea72d00e-4960-42fa-ba92-7792a7944c1d}")}},
      {L"exefile\\shellex\\ContextMenuHandlers", {Sz(L"", L"Compatibility")}},
      {L"exefile\\shellex\\ContextMenuHandlers\\Compatibility",
       {Sz(L"", L"{1d27f844-3a1f-4410-85ac-14651078412d}")}},
      {L"exefile\\shellex\\ContextMenuHandlers\\NvAppShExt",
       {Sz(L"", L"{A929C4CE-FD36-4270-B4F5-34ECAC5BD63C}")}},
      {L"exefile\\shellex\\ContextMenuHandlers\\OpenGLShExt",
       {Sz(L"", L"{E97DEC16-A50D-49bb-AE24-CF682282E08D}")}},
      {L"exefile\\shellex\\ContextMenuHandlers\\PintoStartScreen",
       {Sz(L"", L"{470C0EBD-5D73-4d58-9CED-E91E22E23282}")}},
      {L"exefile\\shellex\\DropHandler", {Sz(L"", L"{86C86720-42A0-1069-A2E8-08002B30309D}")}},
      {L"SystemFileAssociations\\.exe", {Sz(L"InfoTip", tip), Sz(L"TileInfo", tip)}},
  };
  return table;
}

// The user's own choice for .exe files, which the repair removes with its subkeys.
inline const wchar_t* const kUserExeChoiceKeys[] = {
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.exe",
    L"SOFTWARE\\Microsoft\\Windows\\Roaming\\OpenWith\\FileExts\\.exe",
};

}  // namespace korvane::exetable
