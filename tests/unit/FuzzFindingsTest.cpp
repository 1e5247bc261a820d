// What the fuzz targets found, each kept as a case that failed before its fix:
// output that carried control characters unescaped.  The readers' faults the
// fuzzers look for (unbounded work, numbers that overflow) are in
// ReaderBoundsTest, the round trip's in UndoRoundTripTest.
#include <string>
#include <vector>

#include "CliTestSupport.h"

namespace korvane {
namespace {

using testing::CliTest;

// Every character a terminal acts on: C0 but the line feed, DEL, and C1 (as UTF-8).
std::vector<std::string> RawControls(const std::string& text) {
  std::vector<std::string> found;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if ((c < 0x20 && c != '\n') || c == 0x7F) found.push_back(std::to_string(c));
    if (c == 0xC2 && next >= 0x80 && next <= 0x9F) found.push_back("U+00" + std::to_string(next));
  }
  return found;
}

class FuzzFindingsTest : public CliTest {};

TEST_F(FuzzFindingsTest, OutputCarriesNoControlCharacterUnescaped) {
  const struct {
    const char* what;
    std::wstring valueName;  // planted in HKEY_CLASSES_ROOT\.txt, which scan reports
    std::vector<std::string> args;
  } cases[] = {
      {"a name with NEL (U+0085) in JSON", L"a\u0085b", {"scan", "assoc.txt", "--json"}},
      {"a name with CSI (U+009B) in JSON", L"\u009b31m", {"scan", "assoc.txt", "--json"}},
      {"a name with DEL in JSON", L"a\x7f", {"scan", "assoc.txt", "--json"}},
      {"a name with C1 as lines", L"a\u0085\u009b", {"scan", "assoc.txt"}},
      {"an unknown id with NULs, quoted in the usage error",
       L"",
       {"scan", std::string("ren.task-manages\0\0\0all-users", 29)}},
      {"an unknown id with an escape sequence", L"", {"scan", "\x1b[2J\x1b]0;owned\x07"}},
      {"an option's value taken for an option", L"", {"fix", "assoc.txt", "--backup", "-\x1b[1A"}},
      {"a JSON usage error", L"", {"scan", "x\x1b\x7f", "--json"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.valueName.empty()) fake().setString(HKCR, L".txt", c.valueName, L"data\u0085");
    last = run(c.args);
    EXPECT_EQ(RawControls(last.out), std::vector<std::string>{}) << last.out;
    EXPECT_EQ(RawControls(last.err), std::vector<std::string>{}) << last.err;
    if (c.args.back() == "--json") {
      const nlohmann::json doc = nlohmann::json::parse(last.out);
      // Escaped, the text is still the text.
      if (!c.valueName.empty()) {
        bool named = false;
        for (const auto& d : doc["fileTypes"][0]["differences"])
          named = named || (d.contains("name") && d["name"] == ToUtf8(c.valueName));
        EXPECT_TRUE(named) << last.out;
      }
    }
    fake().regDeleteTree(HKCR, L".txt");
  }
}

}  // namespace
}  // namespace korvane
