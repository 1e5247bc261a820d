#include "base/Text.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>

namespace korvane {

std::string ToUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = static_cast<std::uint32_t>(text[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      // UTF-16: join a surrogate pair; a lone surrogate is not a character.
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
          text[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
        ++i;
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        c = 0xFFFD;
      }
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  std::wstring out;
  size_t i = 0;
  auto put = [&out](std::uint32_t c) {
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
        return;
      }
    }
    out.push_back(static_cast<wchar_t>(c));
  };
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    int extra = b < 0x80           ? 0
                : (b >> 5) == 0x6  ? 1
                : (b >> 4) == 0xE  ? 2
                : (b >> 3) == 0x1E ? 3
                                   : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= text.size()) {
      put(0xFFFD);
      ++i;
      continue;
    }
    std::uint32_t c = extra == 0 ? b : (b & (0x3F >> extra));
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      const auto cont = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if ((cont & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (cont & 0x3F);
    }
    if (!ok) {
      put(0xFFFD);
      ++i;
      continue;
    }
    put(c);
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

namespace {
bool IsBidiControl(std::uint32_t u) {
  return u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}
}  // namespace

std::wstring EscapeControls(const std::wstring& text) {
  static const wchar_t digits[] = L"0123456789abcdef";
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    const auto u = static_cast<std::uint32_t>(c);
    if (c == L'\r') {
      out += L"\\r";
    } else if (c == L'\n') {
      out += L"\\n";
    } else if (c == L'\t') {
      out += L"\\t";
    } else if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) {
      out += L"\\x";
      out.push_back(digits[(u >> 4) & 0xF]);
      out.push_back(digits[u & 0xF]);
    } else if (u == 0x2028 || u == 0x2029 || IsBidiControl(u)) {
      // Line and paragraph separators start a line; the bidirectional controls
      // reorder what a console shows after them, so "txt.exe" can read "exe.txt".
      out += L"\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out.push_back(digits[(u >> shift) & 0xF]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

wchar_t LowerChar(wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))); }

std::wstring HexText(std::uint64_t value, int digits, bool upperCase) {
  const wchar_t* const kDigits = upperCase ? L"0123456789ABCDEF" : L"0123456789abcdef";
  std::wstring out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(out.size()) < digits) out.insert(0, digits - out.size(), L'0');
  return out;
}

std::wstring LowerText(const std::wstring& text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = LowerChar(c);
  return out;
}

namespace {

std::wstring WithoutTrailingSlash(std::wstring p) {
  std::replace(p.begin(), p.end(), L'/', L'\\');
  while (p.size() > 3 && p.back() == L'\\') p.pop_back();
  return p;
}

}  // namespace

std::wstring NormalPath(const std::wstring& path) { return WithoutTrailingSlash(LowerText(path)); }

std::wstring ParentFolder(const std::wstring& path) {
  const std::wstring p = WithoutTrailingSlash(path);
  const size_t slash = p.find_last_of(L'\\');
  if (slash == std::wstring::npos) return {};
  if (slash == 0) return p.substr(0, 1);
  if (slash == 2 && p.size() > 1 && p[1] == L':') return p.substr(0, 3);
  return p.substr(0, slash);
}

bool SameNoCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && LowerText(a) == LowerText(b);
}

std::vector<std::wstring> SplitKeyPath(const std::wstring& path) {
  std::vector<std::wstring> parts;
  std::wstring current;
  for (wchar_t c : path) {
    if (c == L'\\') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

std::wstring JoinKeyPath(const std::vector<std::wstring>& parts) {
  std::wstring out;
  for (const auto& p : parts) {
    if (!out.empty()) out.push_back(L'\\');
    out += p;
  }
  return out;
}

bool IsSameOrBelow(const std::wstring& path, const std::wstring& ancestor) {
  if (ancestor.empty()) return true;
  const std::wstring p = LowerText(path), a = LowerText(ancestor);
  if (p.size() < a.size() || p.compare(0, a.size(), a) != 0) return false;
  return p.size() == a.size() || p[a.size()] == L'\\';
}

std::wstring DecodeRegFile(const std::vector<std::uint8_t>& bytes) {
  std::wstring text;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    text.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      std::uint32_t unit = bytes[i] | (bytes[i + 1] << 8);
      // A wchar_t of 32 bits holds a whole character: join a surrogate pair, as
      // Utf16Bytes splits it, so that a name outside the BMP reads back as itself.
      if constexpr (sizeof(wchar_t) == 4) {
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
          const std::uint32_t low = bytes[i + 2] | (bytes[i + 3] << 8);
          if (low >= 0xDC00 && low <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
          }
        }
      }
      text.push_back(static_cast<wchar_t>(unit));
    }
    return text;
  }
  text.reserve(bytes.size());
  for (std::uint8_t b : bytes) text.push_back(static_cast<wchar_t>(b));
  return text;
}

std::vector<std::uint8_t> Utf16Bytes(const std::wstring& text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  auto put = [&bytes](std::uint32_t unit) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
  };
  for (wchar_t c : text) {
    const auto u = static_cast<std::uint32_t>(c);
    if (u >= 0x10000) {  // wchar_t of 32 bits: write the surrogate pair
      put(0xD800 + ((u - 0x10000) >> 10));
      put(0xDC00 + ((u - 0x10000) & 0x3FF));
    } else {
      put(u);
    }
  }
  return bytes;
}

std::vector<std::uint8_t> EncodeRegFile(const std::wstring& text) {
  std::wstring crlf;
  crlf.reserve(text.size());
  for (wchar_t c : text) {
    if (c == L'\n') crlf.push_back(L'\r');
    crlf.push_back(c);
  }
  std::vector<std::uint8_t> bytes{0xFF, 0xFE};
  const std::vector<std::uint8_t> body = Utf16Bytes(crlf);
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

}  // namespace korvane
