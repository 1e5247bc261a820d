// The 26 registry scripts as the program carries them: their form (what reg.exe
// needs to read every line), the shared ProgIDs that two scripts rebuild each, and
// the known-folder section of FOLDER.reg held against its data table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/Text.h"
#include "changes/RegScript.h"
#include "common/Registry.h"
#include "fileassoc/FileAssoc.h"
#include "fileassoc/Unit_FORMLAIN_Korvane.h"

namespace korvane {
namespace {

std::string Narrow(const std::wstring& w) { return ToUtf8(w); }
std::wstring Wide(const std::string& s) { return FromUtf8(s); }
std::string Lower(const std::string& s) { return Narrow(LowerText(Wide(s))); }

// One key section of a script: its key line and the values written below it.
struct Section {
  Handle root = 0;
  std::wstring path;  // below the root
  bool deleted = false;
  int line = 0;
  std::vector<RegOp> values;
};

std::vector<Section> Sections(const RegScriptText& script) {
  std::vector<Section> out;
  for (const RegOp& op : script.ops) {
    if (op.kind == RegOpKind::SetValue && !out.empty())
      out.back().values.push_back(op);
    else if (op.kind == RegOpKind::CreateKey || op.kind == RegOpKind::DeleteKey)
      out.push_back({op.root, op.path, op.kind == RegOpKind::DeleteKey, op.line, {}});
  }
  return out;
}

struct PayloadName {
  std::string component;
  std::string file;  // for the test's name and messages
};

// Every file-type row's script, as the rows name it.
std::vector<PayloadName> RowPayloads() {
  std::vector<PayloadName> out;
  for (const FileTypeRow& row : FileTypeCatalogue())
    out.push_back({row.payload, std::string(row.typeCode, row.typeCode + wcslen(row.typeCode))});
  return out;
}

void PrintTo(const PayloadName& p, std::ostream* os) { *os << p.component; }

const Payload& PayloadOf(const char* component) {
  const Payload* p = FORM_LAIN().byName(component);
  if (!p) throw std::runtime_error(std::string("no payload ") + component);
  return *p;
}

// ---------------------------------------------------------------- form

class PayloadFileTest : public ::testing::TestWithParam<PayloadName> {
 protected:
  const Payload& lines() { return PayloadOf(GetParam().component.c_str()); }
};

TEST_P(PayloadFileTest, StartsWithTheVersion5HeaderAndHoldsOnlyPrintableAscii) {
  const Payload& p = lines();
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(p[0], "Windows Registry Editor Version 5.00");
  for (size_t n = 0; n < p.size(); ++n)
    for (unsigned char c : p[n])
      // A CR here would come from a file checked in with CR LF: written out with
      // the program's own CR LF, every line would then end in CR CR LF.
      EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "line " << n + 1 << " holds byte " << int(c);
}

TEST_P(PayloadFileTest, EveryLineIsOneRegExeReads) {
  // reg.exe skips a line it cannot read and still reports success, so a typo here
  // would only show as a value missing on the user's machine.
  const RegScriptText script = ParseRegScript(lines());
  for (const std::wstring& e : script.errors) ADD_FAILURE() << Narrow(e);
  EXPECT_TRUE(script.hasHeader);
  EXPECT_FALSE(script.ops.empty());
}

TEST_P(PayloadFileTest, EveryKeyLineNamesOneOfTheThreeRootsAndAPathBelowIt) {
  const std::set<std::string> roots = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                       "HKEY_LOCAL_MACHINE"};
  // The key lines as written: the reader forgives abbreviated roots and stray
  // backslashes, which the payloads are not to rely on.
  const Payload& p = lines();
  for (const Section& s : Sections(ParseRegScript(p))) {
    const std::string& line = p.at(static_cast<size_t>(s.line) - 1);
    const std::string key = line.substr(s.deleted ? 2 : 1, line.size() - (s.deleted ? 3 : 2));
    EXPECT_TRUE(roots.count(key.substr(0, key.find('\\')))) << "line " << s.line << ": " << key;
    const size_t slash = key.find('\\');
    EXPECT_TRUE(slash != std::string::npos && slash + 1 < key.size())
        << "line " << s.line << " names a whole root: " << key;
    EXPECT_EQ(key.find("\\\\"), std::string::npos) << "line " << s.line << ": " << key;
    EXPECT_NE(key.back(), '\\') << "line " << s.line << ": " << key;
  }
}

TEST_P(PayloadFileTest, EveryExpandableTextIsUtf16EndingInExactlyOneZeroCharacter) {
  for (const RegOp& v : ParseRegScript(lines()).ops) {
    if (v.kind != RegOpKind::SetValue || v.data.type != kRegExpandSz) continue;
    const auto& b = v.data.bytes;
    SCOPED_TRACE("line " + std::to_string(v.line));
    ASSERT_GE(b.size(), 2u);
    ASSERT_EQ(b.size() % 2, 0u) << "odd number of bytes";
    const size_t chars = b.size() / 2;
    EXPECT_TRUE(b[b.size() - 2] == 0 && b[b.size() - 1] == 0) << "no terminating zero";
    for (size_t i = 0; i + 1 < chars; ++i) {
      const unsigned c = b[2 * i] | (b[2 * i + 1] << 8);
      EXPECT_NE(c, 0u) << "zero character at " << i << " before the end";
      EXPECT_LT(c, 0x80u) << "character " << i << " is not 7-bit ASCII";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Payload, PayloadFileTest, ::testing::ValuesIn(RowPayloads()),
                         [](const auto& info) { return info.param.file; });

// ------------------------------------------------------------ shared ProgIDs

// The physical lines of every section at or below keyPrefix, deletions included.
std::vector<std::string> SectionsBelow(const Payload& p, const std::string& keyPrefix) {
  std::vector<std::string> out;
  bool inside = false;
  for (const std::string& line : p) {
    if (!line.empty() && line[0] == '[') {
      const std::string key =
          line.substr(line[1] == '-' ? 2 : 1, line.size() - (line[1] == '-' ? 3 : 2));
      inside = Lower(key) == Lower(keyPrefix) || Lower(key).rfind(Lower(keyPrefix) + "\\", 0) == 0;
    }
    if (inside && !line.empty()) out.push_back(line);
  }
  return out;
}

TEST(PayloadSharedProgId, DiscAndDiskImagePayloadsRebuildTheirSharedProgIdIdentically) {
  // Whichever row the user fixes last must not leave the other extension with a
  // different class than fixing it directly would.
  const struct {
    const char* a;
    const char* b;
    const char* progIdKey;
  } pairs[] = {
      {"mFIX_IMG_W10", "mFIX_ISO_W10", "HKEY_CLASSES_ROOT\\Windows.IsoFile"},
      {"mFIX_VHD_W10", "mFIX_VHDX_W10", "HKEY_CLASSES_ROOT\\Windows.VhdFile"},
  };
  for (const auto& pair : pairs) {
    SCOPED_TRACE(pair.progIdKey);
    const auto a = SectionsBelow(PayloadOf(pair.a), pair.progIdKey);
    const auto b = SectionsBelow(PayloadOf(pair.b), pair.progIdKey);
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a.front(), "[-" + std::string(pair.progIdKey) + "]")
        << "the shared class is not rebuilt from scratch";
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
      const std::string la = i < a.size() ? a[i] : "<end>", lb = i < b.size() ? b[i] : "<end>";
      if (la != lb) {
        ADD_FAILURE() << "line " << i + 1 << " of the class differs:\n  " << pair.a << ": " << la
                      << "\n  " << pair.b << ": " << lb;
        break;
      }
    }
  }
}

// ------------------------------------------------------------ known folders

const wchar_t kFolderDescriptions[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FolderDescriptions";

// One row of tools/payloads/knownfolders.csv.
struct FolderRow {
  std::string id, subkey, value, type, data;
};

std::vector<std::string> SplitCsvLine(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c != '\r') {
      fields.back() += c;
    }
  }
  return fields;
}

std::vector<FolderRow> LoadKnownFolderTable() {
  std::ifstream in(std::string(KORVANE_SOURCE_DIR) + "/tools/payloads/knownfolders.csv");
  if (!in) throw std::runtime_error("knownfolders.csv not found");
  std::vector<FolderRow> rows;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    auto f = SplitCsvLine(line);
    if (f.size() != 5) throw std::runtime_error("bad table row: " + line);
    rows.push_back({f[0], f[1], f[2], f[3], f[4]});
  }
  return rows;
}

struct TableValue {
  std::uint32_t type;
  std::vector<std::uint8_t> bytes;
};

// id -> subkey ("" or "PropertyBag") -> value name -> data, as the table defines them.
using FolderTable = std::map<std::string, std::map<std::string, std::map<std::string, TableValue>>>;

FolderTable TableByFolder(const std::vector<FolderRow>& rows) {
  FolderTable t;
  for (const FolderRow& r : rows) {
    TableValue v;
    if (r.type == "REG_DWORD") {
      const auto d = static_cast<std::uint32_t>(std::stoul(r.data, nullptr, 16));
      v = {kRegDword, DwordBytes(d)};
    } else {
      v = {r.type == "REG_EXPAND_SZ" ? kRegExpandSz : kRegSz, WideToRegBytes(Wide(r.data))};
    }
    t[r.id][r.subkey][r.value] = v;
  }
  return t;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) { return Lower(a) < Lower(b); }

class PayloadKnownFolderSection : public ::testing::Test {
 protected:
  void SetUp() override {
    table_ = TableByFolder(LoadKnownFolderTable());
    const RegScriptText script = ParseRegScript(PayloadOf("mFIX_FOLDER_W10"));
    for (const Section& s : Sections(script))
      if (s.root == kHkeyLocalMachine &&
          s.path.rfind(std::wstring(kFolderDescriptions) + L"\\", 0) == 0)
        sections_.push_back(s);
  }
  // The key path below FolderDescriptions: "{id}" or "{id}\PropertyBag".
  static std::string Below(const Section& s) {
    return Narrow(s.path.substr(std::wstring(kFolderDescriptions).size() + 1));
  }
  FolderTable table_;
  std::vector<Section> sections_;
};

TEST_F(PayloadKnownFolderSection,
       DefinesTheTablesFoldersInOrderEachPropertyBagRightAfterItsFolder) {
  std::vector<std::string> ids;
  for (const auto& [id, keys] : table_) ids.push_back(id);
  std::stable_sort(ids.begin(), ids.end(), LessIgnoringCase);
  std::vector<std::string> expected;
  for (const std::string& id : ids) {
    expected.push_back(id);
    if (table_[id].count("PropertyBag")) expected.push_back(id + "\\PropertyBag");
  }
  std::vector<std::string> actual;
  for (const Section& s : sections_) {
    EXPECT_FALSE(s.deleted) << "line " << s.line << " deletes " << Below(s);
    actual.push_back(Below(s));
  }
  EXPECT_EQ(actual, expected);
}

TEST_F(PayloadKnownFolderSection, EachKeyHoldsTheTablesValuesInAscendingNameOrder) {
  for (const Section& s : sections_) {
    const std::string below = Below(s);
    const size_t slash = below.find('\\');
    const std::string id = below.substr(0, slash);
    const std::string subkey = slash == std::string::npos ? "" : below.substr(slash + 1);
    SCOPED_TRACE(below);
    const auto folder = table_.find(id);
    ASSERT_NE(folder, table_.end()) << "not in the table";
    const auto& want = folder->second[subkey];

    std::vector<std::string> names;
    for (const RegOp& v : s.values) {
      const std::string name = Narrow(v.name);
      names.push_back(name);
      const auto w = want.find(name);
      if (w == want.end()) {
        ADD_FAILURE() << "value " << name << " is not in the table";
        continue;
      }
      EXPECT_EQ(v.data.type, w->second.type) << name;
      EXPECT_EQ(v.data.bytes, w->second.bytes) << name;
    }
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), LessIgnoringCase))
        << "values out of order";
    EXPECT_EQ(names.size(), want.size()) << "values of the table missing from the script";
  }
}

TEST_F(PayloadKnownFolderSection,
       HasOneHundredThirtyOneFoldersAndThirtySevenPropertyBagsOnTheMarkedRows) {
  std::set<std::string> folders, bags;
  for (const Section& s : sections_) {
    const std::string below = Below(s);
    if (below.find('\\') == std::string::npos)
      folders.insert(below);
    else
      bags.insert(below.substr(0, below.find('\\')));
  }
  std::set<std::string> marked;
  for (const auto& [id, keys] : table_)
    if (keys.count("PropertyBag")) marked.insert(id);
  EXPECT_EQ(folders.size(), 131u);
  EXPECT_EQ(table_.size(), 131u);
  EXPECT_EQ(marked.size(), 37u);
  EXPECT_EQ(bags, marked);
}

TEST_F(PayloadKnownFolderSection, EveryFolderHasANameAndACategoryFromOneToFour) {
  for (const Section& s : sections_) {
    if (Below(s).find('\\') != std::string::npos) continue;
    std::map<std::wstring, RegData> values;
    for (const RegOp& v : s.values) values[v.name] = v.data;
    SCOPED_TRACE(Below(s));
    ASSERT_TRUE(values.count(L"Category"));
    const RegData& c = values[L"Category"];
    EXPECT_EQ(c.type, kRegDword);
    ASSERT_EQ(c.bytes.size(), 4u);
    const std::uint32_t category =
        c.bytes[0] | c.bytes[1] << 8 | c.bytes[2] << 16 | c.bytes[3] << 24;
    EXPECT_GE(category, 1u);
    EXPECT_LE(category, 4u);
    ASSERT_TRUE(values.count(L"Name"));
    EXPECT_EQ(values[L"Name"].type, kRegSz);
    EXPECT_NE(RegBytesToWide(values[L"Name"].bytes), L"");
  }
}

TEST_F(PayloadKnownFolderSection, EveryParentFolderNamesOneOfTheDefinedFolders) {
  std::set<std::string> ids;
  for (const Section& s : sections_)
    if (Below(s).find('\\') == std::string::npos) ids.insert(Lower(Below(s)));
  int parents = 0;
  for (const Section& s : sections_)
    for (const RegOp& v : s.values) {
      if (v.name != L"ParentFolder") continue;
      ++parents;
      EXPECT_EQ(v.data.type, kRegSz) << Below(s);
      const std::string parent = Narrow(RegBytesToWide(v.data.bytes));
      EXPECT_TRUE(ids.count(Lower(parent))) << Below(s) << " has parent " << parent;
    }
  EXPECT_GT(parents, 0);
}

}  // namespace
}  // namespace korvane
