// The round trip of an undo file: any registry tree, however hostile its names and
// data, is either written by the undo writer, read back by the program's own reader
// and applied to an empty registry as exactly the same tree, or refused by the
// writer with nothing written.  Trees are drawn from a stream of bytes, so that
// the unit tests draw them from a seeded generator and the fuzz target from the
// fuzzer's input, through the same code.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Text.h"
#include "changes/Journal.h"
#include "changes/RegScript.h"
#include "changes/RegistryCheck.h"
#include "changes/UndoFiles.h"
#include "common/Registry.h"
#include "platform/fake/FakePlatform.h"

namespace korvane::testing {

// Numbers taken from bytes; once the bytes run out every number is 0, which
// ends every list, so any input draws a finite tree.
class Draw {
 public:
  Draw(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  explicit Draw(const std::vector<std::uint8_t>& bytes) : Draw(bytes.data(), bytes.size()) {}

  // 0 .. n-1 (n > 0).
  std::uint32_t below(std::uint32_t n) {
    std::uint32_t v = 0;
    for (std::uint32_t range = n - 1; range; range >>= 8) v = (v << 8) | next();
    return v % n;
  }
  bool chance(std::uint32_t oneIn) { return below(oneIn) == 0 && !exhausted(); }
  bool exhausted() const { return at_ >= size_; }

 private:
  std::uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

struct TreeValue {
  std::wstring name;
  RegData data;
};

struct Tree {
  std::wstring name;
  std::vector<TreeValue> values;
  std::vector<Tree> keys;
};

// What a name is made of: the pieces a registry script gives a meaning to (line
// breaks, quotes, backslashes, brackets and "=" at either end, the comment mark,
// a section header a name could smuggle in), other control characters, text
// outside ASCII and outside the Basic Multilingual Plane.
inline const std::vector<std::wstring>& NamePieces() {
  static const std::vector<std::wstring> pieces = {
      L"a",
      L"Key",
      L" ",
      L"\n",
      L"\r",
      L"\r\n",
      L"\"",
      L"\\",
      L"]",
      L"[",
      L"=",
      L"@",
      L"-",
      L";",
      L",",
      L"\t",
      std::wstring(1, L'\0'),
      L"\x01",
      L"\x1b[31m",
      L"\x7f",
      L"\x85",
      L"\u00e9",
      L"\u2028",
      L"\ufeff",
      L"\u202e",
      L"\U0001F600",
      L"]\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Planted]\n\"x\"=\"y\"",
      L",\\",
      L"hex:00",
      L"\\0",
      L"\\n",
  };
  return pieces;
}

// Key names hold no backslash (it separates them) and are never empty; value
// names may be anything, the empty name being the default value.  On a system
// whose wchar_t holds whole characters (the fake's, natively) a name holds no
// surrogate halves: the registry's names there are characters, not UTF-16 units.
inline std::wstring DrawName(Draw& d, bool keyName) {
  std::wstring name;
  const std::uint32_t pieces = d.below(5);
  for (std::uint32_t i = 0; i < pieces; ++i) {
    if (d.chance(6)) {
      std::uint32_t c = 0x20 + d.below(0x110000 - 0x20);
      if (sizeof(wchar_t) == 2 && c > 0xFFFF) c = 0xFFFD;
      if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
      name.push_back(static_cast<wchar_t>(c));
    } else {
      name += NamePieces()[d.below(static_cast<std::uint32_t>(NamePieces().size()))];
    }
  }
  if (keyName) {
    std::erase(name, L'\\');
    if (name.empty()) name = L"k";
  }
  return name;
}

inline std::vector<std::uint8_t> DrawBytes(Draw& d, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(d.below(256));
  return bytes;
}

// Every kind of data: texts as Windows writes them and as it need not (odd byte
// counts, no terminating zero, control characters), each fixed-size type with
// the right and a wrong size, REG_NONE, REG_LINK, types above REG_QWORD, and
// sizes from empty to `largest`.
inline RegData DrawData(Draw& d, std::size_t largest) {
  const std::size_t sizes[] = {0, 1, 2, 3, 4, 8, 255, 4096, largest};
  auto size = [&] { return std::min(sizes[d.below(9)], largest); };
  switch (d.below(12)) {
    case 0:
      return {kRegSz, WideToRegBytes(DrawName(d, false))};
    case 1: {  // no terminating zero
      std::vector<std::uint8_t> b = WideToRegBytes(DrawName(d, false));
      b.resize(b.size() - 2);
      return {kRegSz, b};
    }
    case 2:  // any bytes, odd counts included
      return {kRegSz, DrawBytes(d, size())};
    case 3:
      return {kRegExpandSz, WideToRegBytes(DrawName(d, false))};
    case 4: {
      std::vector<std::uint8_t> b = WideToRegBytes(DrawName(d, false));
      const std::vector<std::uint8_t> second = WideToRegBytes(DrawName(d, false));
      b.insert(b.end(), second.begin(), second.end());
      b.push_back(0);
      b.push_back(0);
      return {kRegMultiSz, b};
    }
    case 5:
      return {kRegDword, DrawBytes(d, d.chance(3) ? size() : 4)};
    case 6:
      return {kRegQword, DrawBytes(d, d.chance(3) ? size() : 8)};
    case 7:
      return {kRegNone, DrawBytes(d, size())};
    case 8:
      return {6 /* REG_LINK */, DrawBytes(d, size())};
    case 9: {
      const std::uint32_t types[] = {5, 8, 9, 10, 12, 0x12345, 0x7FFFFFFF, 0xFFFFFFFF};
      return {types[d.below(8)], DrawBytes(d, size())};
    }
    default:
      return {kRegBinary, DrawBytes(d, size())};
  }
}

inline Tree DrawTree(Draw& d, std::size_t largest, int depth = 0) {
  Tree tree;
  tree.name = DrawName(d, true);
  const std::uint32_t values = d.below(5);
  for (std::uint32_t i = 0; i < values; ++i)
    tree.values.push_back({DrawName(d, false), DrawData(d, largest)});
  const std::uint32_t keys = depth < 3 ? d.below(4) : 0;
  for (std::uint32_t i = 0; i < keys; ++i) tree.keys.push_back(DrawTree(d, largest, depth + 1));
  return tree;
}

inline void PlantTree(fake::FakePlatform& sys, Handle root, const std::wstring& path,
                      const Tree& tree) {
  sys.createKey(root, path);
  for (const TreeValue& v : tree.values)
    sys.setValue(root, path, v.name, v.data.type, v.data.bytes);
  for (const Tree& key : tree.keys) PlantTree(sys, root, path + L"\\" + key.name, key);
}

// A key tree with its names and data exactly, sorted so that two reads of the same
// registry compare equal whatever order either keeps.
inline std::wstring TreeText(Platform& sys, Handle root, const std::wstring& path) {
  std::optional<KeyTree> tree = ReadKeyTree(sys, root, path);
  if (!tree) return L"(no key)";
  std::wstring out;
  auto quote = [](const std::wstring& s) {
    std::wstring q = L"<";
    for (wchar_t c : s) q += std::to_wstring(static_cast<std::uint32_t>(c)) + L".";
    return q + L">";
  };
  auto walk = [&](auto& self, KeyTree& key, int depth) -> void {
    std::sort(key.values.begin(), key.values.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::sort(key.subKeys.begin(), key.subKeys.end(),
              [](const KeyTree& a, const KeyTree& b) { return a.name < b.name; });
    out += std::wstring(depth, L' ') + L"key " + quote(key.name) + L"\n";
    for (const auto& [name, data] : key.values) {
      out += std::wstring(depth + 1, L' ') + L"value " + quote(name) + L" type " +
             std::to_wstring(data.type) + L" bytes ";
      for (std::uint8_t b : data.bytes) {
        out.push_back(L"0123456789abcdef"[b >> 4]);
        out.push_back(L"0123456789abcdef"[b & 0xF]);
      }
      out += L"\n";
    }
    for (KeyTree& sub : key.subKeys) self(self, sub, depth + 1);
  };
  walk(walk, *tree, 0);
  return out;
}

enum class RoundTripEnd { Carried, Refused };

struct RoundTripResult {
  std::optional<RoundTripEnd> end;  // nullopt: the third outcome, which must never happen
  std::string failure;              // what went wrong, for the third outcome
};

// Where the trees grow, and where the undo file goes.
inline const std::wstring kRoundTripKey = L"Software\\Korvane Round Trip";
inline const std::wstring kRoundTripFolder = L"C:\\Undo";

// Plants `tree` below HKEY_CURRENT_USER on a fresh fake, has the undo writer write
// the file that puts the key back whole (as for a repair that deletes it), reads
// that file with the program's reader and applies it to an empty fake.
inline RoundTripResult CheckRoundTrip(const Tree& tree) {
  RoundTripResult result;
  fake::FakePlatform live;
  live.addDirectory(kRoundTripFolder);
  PlantTree(live, kHkeyCurrentUser, kRoundTripKey, tree);
  const Journal planned{KeyChange(ChangeKind::DeleteKey, kHkeyCurrentUser, kRoundTripKey)};
  std::wstring path;
  const std::optional<std::wstring> refused = WriteUndoFile(
      live,
      [](int n) {
        return UndoPathInFolder(kRoundTripFolder, L"2025-03-14 092653 assoc.txt.reg", n);
      },
      "assoc.txt", L"Round trip", planned, nullptr, &path);
  const std::vector<std::wstring> files = live.filesUnder(kRoundTripFolder);
  if (refused) {
    if (!files.empty()) {
      result.failure = "refused (" + ToUtf8(*refused) + ") but left " + ToUtf8(files.front());
      return result;
    }
    result.end = RoundTripEnd::Refused;
    return result;
  }
  const std::optional<std::vector<std::uint8_t>> bytes = live.fileBytes(path);
  if (!bytes) {
    result.failure = "written, but there is no file " + ToUtf8(path);
    return result;
  }
  const RegScriptText script = ParseRegScript(DecodeRegFile(*bytes));
  if (!script.hasHeader || !script.errors.empty()) {
    result.failure = "the reader does not read what was written: " +
                     (script.errors.empty() ? std::string("no header") : ToUtf8(script.errors[0]));
    return result;
  }
  fake::FakePlatform empty;
  if (const int refusedOps = ApplyRegOps(empty, script.ops)) {
    result.failure = std::to_string(refusedOps) + " operations of the file were refused";
    return result;
  }
  const std::wstring before = TreeText(live, kHkeyCurrentUser, kRoundTripKey);
  const std::wstring after = TreeText(empty, kHkeyCurrentUser, kRoundTripKey);
  if (before != after) {
    result.failure =
        "the tree read back differs:\n" + ToUtf8(before) + "--- read back:\n" + ToUtf8(after);
    return result;
  }
  // Nothing but the tree: the file makes no key anywhere else.
  fake::FakePlatform reference;
  reference.createKey(kHkeyCurrentUser, kRoundTripKey);
  for (fake::FakePlatform* sys : {&empty, &reference})
    sys->regDeleteTree(kHkeyCurrentUser, kRoundTripKey);
  for (const Handle root : {kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers}) {
    if (TreeText(empty, root, L"") != TreeText(reference, root, L"")) {
      result.failure = "the file wrote outside its key:\n" + ToUtf8(TreeText(empty, root, L""));
      return result;
    }
  }
  result.end = RoundTripEnd::Carried;
  return result;
}

}  // namespace korvane::testing
