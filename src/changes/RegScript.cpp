#include "changes/RegScript.h"

#include <cwctype>

#include "base/Text.h"
#include "common/Registry.h"

namespace korvane {
namespace {

std::wstring Trim(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::iswspace(s[b])) ++b;
  while (e > b && std::iswspace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Reads a quoted text at s[*pos] == '"' the way reg.exe reads it: \\ and \" stand
// for the character, \n and \r for a line feed and a carriage return, and any
// other backslash is dropped ("C:\dir" reads as "C:dir").  A \0 spoils the line,
// as does a missing closing quote; then the error text is returned.
std::optional<std::wstring> ReadQuoted(const std::wstring& s, size_t* pos, std::wstring* out) {
  size_t i = *pos + 1;
  out->clear();
  while (i < s.size()) {
    wchar_t c = s[i];
    if (c == L'"') {
      *pos = i + 1;
      return std::nullopt;
    }
    if (c == L'\\' && i + 1 < s.size()) {
      c = s[++i];
      if (c == L'0') return L"\\0 in a text";
      if (c == L'n') c = L'\n';
      if (c == L'r') c = L'\r';
    }
    out->push_back(c);
    ++i;
  }
  return L"unterminated text";
}

// The bytes of s from `from` on.  Each byte is one or two hex digits; a longer run is
// refused as soon as it is seen, so no run of digits, however long, is added up.
bool ReadHexBytes(const std::wstring& s, size_t from, std::vector<std::uint8_t>* out) {
  out->clear();
  size_t i = from;
  while (i < s.size()) {
    while (i < s.size() && std::iswspace(s[i])) ++i;
    if (i == s.size()) break;
    unsigned value = 0;
    int digits = 0;
    for (; i < s.size() && HexDigit(s[i]) >= 0; ++i) {
      if (++digits > 2) return false;
      value = value * 16 + static_cast<unsigned>(HexDigit(s[i]));
    }
    if (digits == 0) return false;
    out->push_back(static_cast<std::uint8_t>(value));
    while (i < s.size() && std::iswspace(s[i])) ++i;
    if (i < s.size()) {
      if (s[i] != L',') return false;
      ++i;
    }
  }
  return true;
}

// The data after "=": nullopt with an error text when it cannot be read.
std::optional<RegData> ReadData(const std::wstring& text, std::wstring* error) {
  const std::wstring s = Trim(text);
  if (!s.empty() && s[0] == L'"') {
    size_t pos = 0;
    std::wstring value;
    if (auto why = ReadQuoted(s, &pos, &value)) {
      *error = *why;
      return std::nullopt;
    }
    if (!Trim(s.substr(pos)).empty()) {
      *error = L"unterminated text";
      return std::nullopt;
    }
    return RegData{kRegSz, WideToRegBytes(value)};
  }
  // Only the few characters of the type are compared: the data after them may be
  // megabytes, and is read once, where it lies.
  auto startsWith = [&s](const wchar_t* prefix) {
    for (size_t i = 0; prefix[i]; ++i)
      if (i >= s.size() || LowerChar(s[i]) != prefix[i]) return false;
    return true;
  };
  if (startsWith(L"dword:")) {
    const std::wstring digits = Trim(s.substr(6));
    if (digits.empty() || digits.size() > 8) {
      *error = L"bad dword";
      return std::nullopt;
    }
    std::uint32_t v = 0;
    for (wchar_t c : digits) {
      if (HexDigit(c) < 0) {
        *error = L"bad dword";
        return std::nullopt;
      }
      v = v * 16 + static_cast<std::uint32_t>(HexDigit(c));
    }
    return RegData{kRegDword, DwordBytes(v)};
  }
  std::uint32_t type = kRegBinary;
  size_t colon = std::wstring::npos;
  if (startsWith(L"hex:")) {
    colon = 3;
  } else if (startsWith(L"hex(")) {
    const size_t close = s.find(L')', 4);
    if (close == std::wstring::npos || close == 4 || close + 1 >= s.size() ||
        s[close + 1] != L':') {
      *error = L"bad hex type";
      return std::nullopt;
    }
    type = 0;
    for (size_t i = 4; i < close; ++i) {
      // A type is 32 bits: one that does not fit is refused, not wrapped round.
      if (HexDigit(s[i]) < 0 || type > 0x0FFFFFFFu) {
        *error = L"bad hex type";
        return std::nullopt;
      }
      type = type * 16 + static_cast<std::uint32_t>(HexDigit(s[i]));
    }
    colon = close + 1;
  } else {
    *error = L"unknown data";
    return std::nullopt;
  }
  RegData data{type, {}};
  if (!ReadHexBytes(s, colon + 1, &data.bytes)) {
    *error = L"bad hex data";
    return std::nullopt;
  }
  return data;
}

// Joins lines continued with a trailing backslash; each logical line keeps the
// number of its first physical line.  A logical line is built in one buffer that
// only grows at its end, and its ends are found without copying it, so a file of
// continued lines is read in time proportional to its size.
std::vector<std::pair<int, std::wstring>> LogicalLines(const std::wstring& text) {
  std::vector<std::pair<int, std::wstring>> out;
  std::wstring current;
  int number = 0, first = 0;
  bool continuing = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    size_t lineEnd = end;
    if (lineEnd > start && text[lineEnd - 1] == L'\r') --lineEnd;
    ++number;
    if (continuing) {
      size_t b = start, e = lineEnd;
      while (b < e && std::iswspace(text[b])) ++b;
      while (e > b && std::iswspace(text[e - 1])) --e;
      current.append(text, b, e - b);
    } else {
      current.assign(text, start, lineEnd - start);
      first = number;
    }
    // The ends of the line as Trim would find them.  Only the first line of a
    // logical line can start with blanks, and blanks at the end are scanned once:
    // they are cut off with the backslash, or the logical line ends here.
    size_t b = 0, e = current.size();
    while (b < e && std::iswspace(current[b])) ++b;
    while (e > b && std::iswspace(current[e - 1])) --e;
    continuing = b < e && current[e - 1] == L'\\' && current[b] != L'[';
    if (continuing) {
      current.resize(e - 1);
      current.erase(0, b);
    } else {
      out.emplace_back(first, std::move(current));
      current.clear();
    }
    if (end == text.size()) break;
    start = end + 1;
  }
  if (continuing) out.emplace_back(first, std::move(current));
  return out;
}

}  // namespace

std::wstring RootName(Handle root) {
  switch (root) {
    case kHkeyClassesRoot:
      return L"HKEY_CLASSES_ROOT";
    case kHkeyCurrentUser:
      return L"HKEY_CURRENT_USER";
    case kHkeyLocalMachine:
      return L"HKEY_LOCAL_MACHINE";
    case kHkeyUsers:
      return L"HKEY_USERS";
    default:
      return L"HKEY_?";
  }
}

std::optional<Handle> RootFromName(const std::wstring& name) {
  const std::wstring n = LowerText(name);
  if (n == L"hkey_classes_root" || n == L"hkcr") return kHkeyClassesRoot;
  if (n == L"hkey_current_user" || n == L"hkcu") return kHkeyCurrentUser;
  if (n == L"hkey_local_machine" || n == L"hklm") return kHkeyLocalMachine;
  if (n == L"hkey_users" || n == L"hku") return kHkeyUsers;
  return std::nullopt;
}

std::wstring FullKeyName(Handle root, const std::wstring& path) {
  return path.empty() ? RootName(root) : RootName(root) + L"\\" + path;
}

RegScriptText ParseRegScript(const std::wstring& text) {
  RegScriptText script;
  bool haveSection = false, sectionDeleted = false;
  Handle root = 0;
  std::wstring path;
  auto error = [&script](int line, const std::wstring& what) {
    script.errors.push_back(L"line " + std::to_wstring(line) + L": " + what);
  };
  for (const auto& [number, raw] : LogicalLines(text)) {
    std::wstring line = Trim(raw);
    if (!line.empty() && line[0] == 0xFEFF) line = Trim(line.substr(1));
    if (line.empty() || line[0] == L';') continue;
    if (!script.hasHeader) {
      if (line == kRegFileHeader || line == L"REGEDIT4") {
        script.hasHeader = true;
      } else {
        error(number, L"no header");
      }
      continue;
    }
    if (line[0] == L'[') {
      haveSection = false;
      if (line.back() != L']') {
        error(number, L"unterminated key name");
        continue;
      }
      std::wstring name = line.substr(1, line.size() - 2);
      sectionDeleted = !name.empty() && name[0] == L'-';
      if (sectionDeleted) name = name.substr(1);
      std::vector<std::wstring> parts = SplitKeyPath(name);
      std::optional<Handle> r = parts.empty() ? std::nullopt : RootFromName(parts[0]);
      if (!r) {
        error(number, L"unknown root");
        continue;
      }
      parts.erase(parts.begin());
      root = *r;
      path = JoinKeyPath(parts);
      if (path.empty()) {
        error(number, L"a root cannot be changed");
        continue;
      }
      haveSection = true;
      script.ops.push_back({sectionDeleted ? RegOpKind::DeleteKey : RegOpKind::CreateKey,
                            root,
                            path,
                            L"",
                            {},
                            number});
      continue;
    }
    if (!haveSection || sectionDeleted) {
      error(number, L"value outside a key");
      continue;
    }
    std::wstring name;
    size_t pos = 0;
    if (line[0] == L'@') {
      pos = 1;
    } else if (line[0] == L'"') {
      if (auto why = ReadQuoted(line, &pos, &name)) {
        error(number, *why == L"unterminated text" ? L"unterminated value name" : *why);
        continue;
      }
    } else {
      error(number, L"unreadable line");
      continue;
    }
    while (pos < line.size() && std::iswspace(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != L'=') {
      error(number, L"missing '='");
      continue;
    }
    const std::wstring rest = Trim(line.substr(pos + 1));
    if (rest == L"-") {
      script.ops.push_back({RegOpKind::DeleteValue, root, path, name, {}, number});
      continue;
    }
    std::wstring why;
    std::optional<RegData> data = ReadData(rest, &why);
    if (!data) {
      error(number, why);
      continue;
    }
    script.ops.push_back({RegOpKind::SetValue, root, path, name, *data, number});
  }
  return script;
}

RegScriptText ParseRegScript(const std::vector<std::string>& lines) {
  std::wstring text;
  for (const std::string& line : lines) {
    for (char c : line) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    text.push_back(L'\n');
  }
  return ParseRegScript(text);
}

namespace {

std::wstring QuotedText(const std::wstring& s) {
  std::wstring out = L"\"";
  for (wchar_t c : s) {
    if (c == L'\\' || c == L'"') out.push_back(L'\\');
    out.push_back(c);
  }
  out.push_back(L'"');
  return out;
}

// A REG_SZ whose bytes are exactly a text and its one terminating zero, without
// line breaks or other control characters, can be written as a quoted text and
// reads back identically; anything else is written as hex(1).
std::optional<std::wstring> PlainText(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) return std::nullopt;
  if (bytes[bytes.size() - 2] != 0 || bytes.back() != 0) return std::nullopt;
  std::wstring text;
  for (size_t i = 0; i + 2 < bytes.size(); i += 2) {
    const auto c = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
    if (c < 0x20) return std::nullopt;
    text.push_back(c);
  }
  return text;
}

wchar_t HexChar(unsigned v) { return static_cast<wchar_t>(v < 10 ? L'0' + v : L'a' + v - 10); }

}  // namespace

std::wstring RegValueNameToken(const std::wstring& name) {
  return name.empty() ? std::wstring(L"@") : QuotedText(name);
}

std::wstring FormatRegValue(const std::wstring& name, const RegData& data) {
  std::wstring line = RegValueNameToken(name) + L"=";
  if (data.type == kRegSz) {
    if (auto text = PlainText(data.bytes)) return line + QuotedText(*text) + L"\n";
  }
  if (data.type == kRegDword && data.bytes.size() == 4) {
    std::uint32_t v = data.bytes[0] | (data.bytes[1] << 8) | (data.bytes[2] << 16) |
                      (static_cast<std::uint32_t>(data.bytes[3]) << 24);
    std::wstring hex;
    for (int shift = 28; shift >= 0; shift -= 4) hex.push_back(HexChar((v >> shift) & 0xF));
    return line + L"dword:" + hex + L"\n";
  }
  if (data.type == kRegBinary) {
    line += L"hex:";
  } else {
    std::wstring type;
    std::uint32_t t = data.type;
    do {
      type.insert(type.begin(), HexChar(t & 0xF));
      t >>= 4;
    } while (t);
    line += L"hex(" + type + L"):";
  }
  // regedit keeps each line within 80 columns, a continued one ending in ",\".
  std::wstring out;
  for (size_t i = 0; i < data.bytes.size(); ++i) {
    std::wstring byte{HexChar(data.bytes[i] >> 4), HexChar(data.bytes[i] & 0xF)};
    const bool last = i + 1 == data.bytes.size();
    if (line.size() + 3 > 78 && !last) {
      out += line + L"\\\n";
      line = L"  ";
    }
    line += byte;
    if (!last) line += L",";
  }
  return out + line + L"\n";
}

int ApplyRegOps(Platform& sys, const std::vector<RegOp>& ops) {
  int refused = 0;
  for (const RegOp& op : ops) {
    if (op.kind == RegOpKind::DeleteKey) {
      const long rc = sys.regDeleteTree(op.root, op.path);
      if (rc != kErrorSuccess && rc != kErrorFileNotFound) ++refused;
      continue;
    }
    Handle key = 0;
    if (sys.regCreateKey(op.root, op.path, kKeyAllAccess, &key) != kErrorSuccess || key == 0) {
      ++refused;
      continue;
    }
    long rc = kErrorSuccess;
    if (op.kind == RegOpKind::SetValue) {
      rc = sys.regSetValue(key, op.name, op.data.type, op.data.bytes);
    } else if (op.kind == RegOpKind::DeleteValue) {
      rc = sys.regDeleteValue(key, op.name);
      if (rc == kErrorFileNotFound) rc = kErrorSuccess;
    }
    if (rc != kErrorSuccess) ++refused;
    sys.regCloseKey(key);
  }
  return refused;
}

namespace {

// Splits a command line into its arguments the way programs started by
// CreateProcessW usually read it: blanks separate, double quotes group.
std::vector<std::wstring> Arguments(const std::wstring& commandLine) {
  std::vector<std::wstring> args;
  std::wstring current;
  bool quoted = false, any = false;
  for (wchar_t c : commandLine) {
    if (c == L'"') {
      quoted = !quoted;
      any = true;
    } else if ((c == L' ' || c == L'\t') && !quoted) {
      if (any) args.push_back(current);
      current.clear();
      any = false;
    } else {
      current.push_back(c);
      any = true;
    }
  }
  if (any) args.push_back(current);
  return args;
}

}  // namespace

std::optional<std::wstring> RegImportTarget(const std::wstring& commandLine) {
  const std::vector<std::wstring> args = Arguments(commandLine);
  if (args.size() < 3) return std::nullopt;
  std::wstring program = LowerText(args[0]);
  const size_t slash = program.find_last_of(L"\\/");
  if (slash != std::wstring::npos) program = program.substr(slash + 1);
  if (program != L"reg" && program != L"reg.exe") return std::nullopt;
  if (LowerText(args[1]) != L"import") return std::nullopt;
  return args[2];
}

std::optional<RegImport> ReadRegImport(Platform& sys, const std::wstring& commandLine) {
  std::optional<std::wstring> script = RegImportTarget(commandLine);
  if (!script) return std::nullopt;
  RegImport import;
  import.script = *script;
  std::vector<std::uint8_t> bytes;
  if (sys.readFile(*script, &bytes)) {
    RegScriptText parsed = ParseRegScript(DecodeRegFile(bytes));
    if (parsed.hasHeader) {
      import.accepted = true;
      import.ops = std::move(parsed.ops);
    }
  }
  return import;
}

}  // namespace korvane
