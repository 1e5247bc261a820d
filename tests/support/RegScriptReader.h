// A reader for the registry scripts the program imports, written for the tests on
// both sides: the native payload checks read the scripts' syntax and data with it,
// and the Wine tests turn a script into the registry state it must leave behind.
//
// It understands what a "Windows Registry Editor Version 5.00" file written the way
// reg.exe exports can hold: key lines ([KEY] and [-KEY]), "@" and quoted value
// names, quoted texts, dword:, hex:, hex(N): with ",\" continuations, and "-"
// value deletions.  Anything else is reported as an error with its line number,
// because reg.exe skips a line it cannot read and still ends with exit code 0.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvane::regscript {

constexpr std::uint32_t kNone = 0, kSz = 1, kExpandSz = 2, kBinary = 3, kDword = 4;

struct Value {
  std::string name;  // empty for the default value ("@")
  bool isDefault = false;
  bool deleted = false;  // "name"=-
  std::uint32_t type = kNone;
  std::vector<std::uint8_t> bytes;  // as the registry stores them (texts: UTF-16LE + zero)
  int line = 0;
};

struct Section {
  std::string key;  // full path, root included, as written
  bool deleteKey = false;
  std::vector<Value> values;
  int line = 0;
};

struct Script {
  std::string header;
  std::vector<Section> sections;
  std::vector<std::string> errors;  // "line N: ..."
};

inline std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

inline std::vector<std::uint8_t> Utf16Bytes(const std::string& ascii) {
  std::vector<std::uint8_t> out;
  for (unsigned char c : ascii) {
    out.push_back(c);
    out.push_back(0);
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

// Text of UTF-16LE bytes up to the first zero character; nullopt when a character
// lies outside 7-bit ASCII (no payload text does).
inline std::optional<std::string> AsciiFromUtf16(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    unsigned c = bytes[i] | (bytes[i + 1] << 8);
    if (c == 0) return out;
    if (c > 0x7F) return std::nullopt;
    out.push_back(static_cast<char>(c));
  }
  return out;
}

namespace detail {

// Reads a quoted text starting at s[pos] == '"'; in the file, only \\ and \" are
// escapes.  Returns false on a missing closing quote or a lone backslash.
inline bool ReadQuoted(const std::string& s, size_t* pos, std::string* out) {
  size_t i = *pos + 1;
  out->clear();
  while (i < s.size()) {
    char c = s[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return false;
      out->push_back(s[i + 1]);
      i += 2;
      continue;
    }
    out->push_back(c);
    ++i;
  }
  return false;
}

inline bool ReadHexBytes(const std::string& s, std::vector<std::uint8_t>* out) {
  out->clear();
  if (s.empty()) return true;
  size_t i = 0;
  while (true) {
    if (i + 2 > s.size() || !std::isxdigit(static_cast<unsigned char>(s[i])) ||
        !std::isxdigit(static_cast<unsigned char>(s[i + 1])))
      return false;
    out->push_back(static_cast<std::uint8_t>(std::stoul(s.substr(i, 2), nullptr, 16)));
    i += 2;
    if (i == s.size()) return true;
    if (s[i] != ',') return false;
    ++i;
  }
}

inline std::string Where(int line) { return "line " + std::to_string(line) + ": "; }

}  // namespace detail

// Physical lines are numbered from 1; a line ending in ",\" continues on the next
// one, which starts with two blanks as reg.exe export writes it.
inline Script Parse(const std::vector<std::string>& lines) {
  Script script;
  if (!lines.empty()) script.header = lines[0];
  Section* current = nullptr;
  for (size_t n = 1; n < lines.size(); ++n) {
    const int lineNo = static_cast<int>(n) + 1;
    std::string line = lines[n];
    // Only hex data is wrapped, and always after a comma, so ",\" is unambiguous.
    while (line.size() >= 2 && line.compare(line.size() - 2, 2, ",\\") == 0) {
      if (n + 1 >= lines.size()) {
        script.errors.push_back(detail::Where(lineNo) + "continuation after the last line");
        break;
      }
      const std::string& next = lines[++n];
      if (next.rfind("  ", 0) != 0)
        script.errors.push_back(detail::Where(static_cast<int>(n) + 1) +
                                "continuation line does not start with two blanks");
      line.pop_back();
      line += next.substr(next.find_first_not_of(' ') == std::string::npos
                              ? next.size()
                              : next.find_first_not_of(' '));
    }
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3) {
        script.errors.push_back(detail::Where(lineNo) + "bad key line: " + line);
        current = nullptr;
        continue;
      }
      Section s;
      s.deleteKey = line[1] == '-';
      s.key = line.substr(s.deleteKey ? 2 : 1, line.size() - (s.deleteKey ? 3 : 2));
      s.line = lineNo;
      script.sections.push_back(s);
      current = s.deleteKey ? nullptr : &script.sections.back();
      continue;
    }
    if (!current) {
      script.errors.push_back(detail::Where(lineNo) + "value line outside a key: " + line);
      continue;
    }
    Value v;
    v.line = lineNo;
    size_t pos = 0;
    if (line[0] == '@') {
      v.isDefault = true;
      pos = 1;
    } else if (line[0] == '"') {
      if (!detail::ReadQuoted(line, &pos, &v.name)) {
        script.errors.push_back(detail::Where(lineNo) + "bad value name: " + line);
        continue;
      }
    } else {
      script.errors.push_back(detail::Where(lineNo) + "not a value line: " + line);
      continue;
    }
    if (pos >= line.size() || line[pos] != '=') {
      script.errors.push_back(detail::Where(lineNo) + "no '=' after the name: " + line);
      continue;
    }
    const std::string data = line.substr(pos + 1);
    bool ok = true;
    if (data == "-") {
      v.deleted = true;
      ok = !v.isDefault;
    } else if (!data.empty() && data[0] == '"') {
      size_t p = 0;
      std::string text;
      ok = detail::ReadQuoted(data, &p, &text) && p == data.size();
      v.type = kSz;
      v.bytes = Utf16Bytes(text);
    } else if (data.rfind("dword:", 0) == 0) {
      const std::string digits = data.substr(6);
      ok = digits.size() == 8 && std::all_of(digits.begin(), digits.end(),
                                             [](unsigned char c) { return std::isxdigit(c); });
      if (ok) {
        std::uint32_t d = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
        v.bytes = {static_cast<std::uint8_t>(d), static_cast<std::uint8_t>(d >> 8),
                   static_cast<std::uint8_t>(d >> 16), static_cast<std::uint8_t>(d >> 24)};
      }
      v.type = kDword;
    } else if (data.rfind("hex:", 0) == 0) {
      v.type = kBinary;
      ok = detail::ReadHexBytes(data.substr(4), &v.bytes) && !v.bytes.empty();
    } else if (data.rfind("hex(", 0) == 0 && data.find("):") != std::string::npos) {
      const size_t close = data.find("):");
      const std::string typeDigits = data.substr(4, close - 4);
      ok = !typeDigits.empty() && typeDigits.size() <= 8 &&
           std::all_of(typeDigits.begin(), typeDigits.end(),
                       [](unsigned char c) { return std::isxdigit(c); }) &&
           detail::ReadHexBytes(data.substr(close + 2), &v.bytes);
      if (ok) v.type = static_cast<std::uint32_t>(std::stoul(typeDigits, nullptr, 16));
    } else {
      ok = false;
    }
    if (!ok) {
      script.errors.push_back(detail::Where(lineNo) + "bad value data: " + line);
      continue;
    }
    current->values.push_back(v);
  }
  return script;
}

// The part of a key path before its first backslash.
inline std::string RootOf(const std::string& key) { return key.substr(0, key.find('\\')); }

// What a script leaves behind when every line of it is applied in order: the keys it
// ends up with, each with its values, and the keys it deleted that nothing recreated.
struct Outcome {
  struct Key {
    std::string path;                     // as last written
    std::map<std::string, Value> values;  // by lower-case name ("" = default)
  };
  std::map<std::string, Key> keys;  // by lower-case path
  std::vector<std::string> gone;    // deleted and neither recreated nor a parent of a kept key
};

inline Outcome Apply(const Script& script) {
  Outcome out;
  std::vector<std::string> deleted;
  auto below = [](const std::string& lowerPath, const std::string& lowerParent) {
    return lowerPath == lowerParent || lowerPath.rfind(lowerParent + "\\", 0) == 0;
  };
  for (const Section& s : script.sections) {
    const std::string lower = Lower(s.key);
    if (s.deleteKey) {
      for (auto it = out.keys.begin(); it != out.keys.end();)
        it = below(it->first, lower) ? out.keys.erase(it) : std::next(it);
      deleted.push_back(s.key);
      continue;
    }
    Outcome::Key& key = out.keys[lower];
    key.path = s.key;
    for (const Value& v : s.values) {
      const std::string name = Lower(v.name);
      if (v.deleted)
        key.values.erase(name);
      else
        key.values[name] = v;
    }
  }
  for (const std::string& d : deleted) {
    const std::string lower = Lower(d);
    bool kept = false;
    for (const auto& [path, key] : out.keys) kept = kept || below(path, lower);
    bool listed = false;
    for (const std::string& g : out.gone) listed = listed || Lower(g) == lower;
    if (!kept && !listed) out.gone.push_back(d);
  }
  return out;
}

}  // namespace korvane::regscript
