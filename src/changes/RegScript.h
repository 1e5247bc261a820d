// Registry scripts in the format reg.exe imports and regedit exports: reading the
// repairs' payloads and the files they write, applying a script through the
// platform (as reg.exe would), and writing values for the undo files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Text.h"
#include "platform/Platform.h"

namespace korvane {

inline const std::wstring kRegFileHeader = L"Windows Registry Editor Version 5.00";

// "HKEY_CLASSES_ROOT" for kHkeyClassesRoot; the three roots the repairs use, and
// HKEY_USERS for the other users' settings.
std::wstring RootName(Handle root);
// Accepts the full names and HKCR / HKCU / HKLM / HKU, in any case.
std::optional<Handle> RootFromName(const std::wstring& name);
// "HKEY_CURRENT_USER\Software\..." (just the root's name for an empty path).
std::wstring FullKeyName(Handle root, const std::wstring& path);

enum class RegOpKind { DeleteKey, CreateKey, SetValue, DeleteValue };

struct RegOp {
  RegOpKind kind = RegOpKind::CreateKey;
  Handle root = 0;
  std::wstring path;  // below the root, components joined by one backslash
  std::wstring name;  // value name; empty for the default value "@"
  RegData data;
  int line = 0;
};

struct RegScriptText {
  bool hasHeader = false;  // reg.exe refuses a file without it
  std::vector<RegOp> ops;
  std::vector<std::wstring> errors;  // "line N: ..."; such lines are skipped, as reg.exe does
};

RegScriptText ParseRegScript(const std::wstring& text);
// A payload as the program stores it: single-byte lines.
RegScriptText ParseRegScript(const std::vector<std::string>& lines);

// `"name"=data` (or `@=data`) that imports back to exactly these bytes and type;
// long hex data is wrapped with ",\" as regedit does.  Lines end with "\n".
std::wstring FormatRegValue(const std::wstring& name, const RegData& data);
// `@` for the default value, else the name quoted with \ and " escaped.
std::wstring RegValueNameToken(const std::wstring& name);

// Applies the operations in order through `sys`, the way reg.exe import does:
// a missing key to delete is no error, a key is created for every section.
// Returns how many operations were refused.
int ApplyRegOps(Platform& sys, const std::vector<RegOp>& ops);

// When `commandLine` imports a registry script with reg.exe ("reg import FILE",
// "reg.exe import "C:\a b\x.reg"", any case, with or without a path to reg.exe),
// the script's path.
std::optional<std::wstring> RegImportTarget(const std::wstring& commandLine);

// What reg.exe would import when `commandLine` starts it, with the script read
// through `sys` at this moment: nullopt when the command line imports nothing.
// reg.exe refuses (exit code 1) a script it cannot read or one without the header;
// then `accepted` is false and there are no operations.
struct RegImport {
  std::wstring script;
  bool accepted = false;
  std::vector<RegOp> ops;
};
std::optional<RegImport> ReadRegImport(Platform& sys, const std::wstring& commandLine);

}  // namespace korvane
