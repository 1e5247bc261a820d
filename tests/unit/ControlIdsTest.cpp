// The window dispatches every click by control id, so two controls of one id would
// share a handler.  The ids come from one list; a ...Base in it names no control of
// its own but the start of a range of row buttons, laid out as the pages lay them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "advfix/Unit_AdvFix_Korvane.h"
#include "common/ToolsMenu.h"
#include "fileassoc/FileAssoc.h"
#include "ui/ControlIds.h"

namespace korvane {
namespace {

// The offsets each range's page adds to its base: the File Associations rows by
// their position, the Advanced rows and the Tools menu's launchers by their index.
std::map<std::string, std::vector<int>> RangeOffsets() {
  std::map<std::string, std::vector<int>> ranges;
  for (const FileTypeRow& row : FileTypeCatalogue())
    ranges["FixButtonBase"].push_back(row.position);
  for (size_t i = 0; i < AdvancedRows().size(); ++i)
    ranges["AdvancedButtonBase"].push_back(static_cast<int>(i));
  for (size_t i = 0; i < ToolLaunchers().size(); ++i)
    ranges["ToolLauncherBase"].push_back(static_cast<int>(i));
  return ranges;
}

bool IsRangeBase(const std::string& name) {
  return name.size() > 4 && name.compare(name.size() - 4, 4, "Base") == 0;
}

TEST(ControlIds, EveryControlAndMenuEntryHasAnIdOfItsOwn) {
  struct Entry {
    std::string name;
    int value;
  };
  const std::vector<Entry> list = {
#define KORVANE_ID_ENTRY(name, value) {#name, value},
      KORVANE_CONTROL_IDS(KORVANE_ID_ENTRY)
#undef KORVANE_ID_ENTRY
  };
  const auto ranges = RangeOffsets();

  std::map<int, std::string> owner;
  std::vector<std::string> clashes;
  auto claim = [&](int id, const std::string& name) {
    const auto [it, fresh] = owner.emplace(id, name);
    if (!fresh) clashes.push_back(std::to_string(id) + " is both " + it->second + " and " + name);
  };
  for (const Entry& e : list) {
    if (!IsRangeBase(e.name)) {
      claim(e.value, e.name);
      continue;
    }
    const auto range = ranges.find(e.name);
    if (range == ranges.end()) {
      ADD_FAILURE() << e.name << " starts a range this test does not know the rows of";
      continue;
    }
    EXPECT_FALSE(range->second.empty()) << e.name;
    for (int offset : range->second) claim(e.value + offset, e.name + "+" + std::to_string(offset));
  }
  EXPECT_TRUE(clashes.empty()) << ::testing::PrintToString(clashes);
}

}  // namespace
}  // namespace korvane
