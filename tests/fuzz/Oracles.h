// What every fuzz target checks beyond the sanitizers: output a person or a
// program reads is valid UTF-8 without unescaped control characters, and JSON is
// JSON.  A failed check prints what it found and aborts, which libFuzzer reports
// as a crash with the input that caused it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace korvane::fuzz {

[[noreturn]] inline void Fail(const std::string& what, const std::string& text) {
  std::fprintf(stderr, "\n*** %s\n--- in:\n%s\n---\n", what.c_str(), text.c_str());
  std::abort();
}

// The code points of strictly valid UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF); nullopt for anything else.
inline std::optional<std::vector<std::uint32_t>> CodePoints(const std::string& s) {
  std::vector<std::uint32_t> out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80             ? 0
                : (b & 0xE0) == 0xC0 ? 1
                : (b & 0xF0) == 0xE0 ? 2
                : (b & 0xF8) == 0xF0 ? 3
                                     : -1;
    if (extra < 0 || (extra > 0 && i + static_cast<std::size_t>(extra) >= s.size()))
      return std::nullopt;
    std::uint32_t c = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const auto cont = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((cont & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (cont & 0x3F);
    }
    static const std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (c < smallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    out.push_back(c);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

// C0 (but the line ends `allowed` names), DEL and C1.
inline bool IsControl(std::uint32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Lines for a terminal or a log: valid UTF-8, no control character but the line
// feed that ends each line.
inline void CheckPlain(const std::string& what, const std::string& text) {
  const auto points = CodePoints(text);
  if (!points) Fail(what + ": not valid UTF-8", text);
  for (std::uint32_t c : *points)
    if (c != '\n' && IsControl(c))
      Fail(what + ": unescaped control character " + std::to_string(c), text);
}

// One JSON document: it parses, it is valid UTF-8, and it carries no control
// character unescaped (between tokens only the line feeds and blanks of its layout).
inline void CheckJson(const std::string& what, const std::string& text) {
  CheckPlain(what, text);
  if (!nlohmann::json::accept(text)) Fail(what + ": not valid JSON", text);
}

}  // namespace korvane::fuzz
