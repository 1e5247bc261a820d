#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "restrict/RestrictionList.h"
#include "restrict/Unit_Fungsi2RestFix_Korvane.h"
#include "restrict/Unit_FungsiRestFix_Korvane.h"

namespace korvane {
namespace {

using fake::Narrow;
using testing::FakeTest;

// Every policy location, written out independently of the catalogue, in catalogue
// order; an entry with two locations has two rows, its first location first.
struct LocationRow {
  const wchar_t* name;
  std::int32_t group;
  Handle root;
  const wchar_t* keyPath;
  const wchar_t* valueName;
};

#define CV_S L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\"
#define CV_U L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\"

const LocationRow kLocations[] = {
    {L"Task Manager", 1, HKCU, CV_U L"System", L"DisableTaskMgr"},
    {L"Registry Editor", 1, HKCU, CV_U L"System", L"DisableRegistryTools"},
    {L"Command Prompt", 1, HKCU, L"SOFTWARE\\Policies\\Microsoft\\Windows\\System", L"DisableCMD"},
    {L"Taskbar Settings", 0, HKCU, CV_S L"Explorer", L"NoSetTaskbar"},
    {L"Control Panel", 0, HKCU, CV_S L"Explorer", L"NoControlPanel"},
    {L"Display Settings", 0, HKLM, CV_S L"System", L"NoDispCPL"},
    {L"Display Settings", 0, HKCU, CV_S L"System", L"NoDispCPL"},
    {L"Folder Options", 0, HKCU, CV_S L"Explorer", L"NoFolderOptions"},
    {L"Notification center", 0, HKCU, L"Software\\Policies\\Microsoft\\Windows\\Explorer",
     L"DisableNotificationCenter"},
    {L"System tray icon", 0, HKCU, CV_S L"Explorer", L"NoTrayItemsDisplay"},
    {L"System Restore", 1, HKLM, L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\SystemRestore",
     L"DisableSR"},
    {L"System Restore", 1, HKLM, L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\SystemRestore",
     L"DisableConfig"},
    {L"Start Menu context menu", 0, HKCU, L"SOFTWARE\\Policies\\Microsoft\\Windows\\Explorer",
     L"DisableContextMenusInStart"},
    {L"Taskbar context menu", 0, HKCU, CV_U L"Explorer", L"NoTrayContextMenu"},
    {L"Explorer context menu", 0, HKCU, CV_U L"Explorer", L"NoViewContextMenu"},
    {L"This PC properties", 0, HKCU, CV_U L"Explorer", L"NoPropertiesMyComputer"},
    {L"Recycle Bin properties", 0, HKCU, CV_U L"Explorer", L"NoPropertiesRecycleBin"},
    {L"Shutdown, Sleep, Restart, Hibernate command", 0, HKCU, CV_U L"Explorer", L"NoClose"},
    {L"Hidden Drive", 0, HKCU, CV_U L"Explorer", L"NoDrives"},
    {L"Restricted Drive", 0, HKCU, CV_U L"Explorer", L"NoViewOnDrive"},
    {L"Win hotkey", 1, HKCU, CV_U L"Explorer", L"NoWinKeys"},
    {L"Restricted applications", 0, HKCU, CV_U L"Explorer", L"DisallowRun"},
    {L"Hardware tab", 0, HKCU, CV_U L"Explorer", L"NoHardwareTab"},
    {L"Control Panel item", 0, HKCU, CV_U L"Explorer", L"DisallowCpl"},
    {L"Control Panel item", 0, HKCU, CV_U L"Explorer", L"RestrictCpl"},
    {L"Change password", 1, HKCU, CV_S L"System", L"DisableChangePassword"},
    {L"Sign Out menu", 0, HKCU, CV_S L"Explorer", L"StartMenuLogOff"},
    {L"Sign Out menu", 0, HKCU, CV_S L"Explorer", L"NoLogoff"},
    {L"Aero Shake", 0, HKCU, L"Software\\Policies\\Microsoft\\Windows\\Explorer",
     L"NoWindowMinimizingShortcuts"},
    {L"Run as Administrator", 0, HKCU, CV_S L"Explorer", L"HideRunAsVerb"},
    {L"Programs and Features", 1, HKCU, CV_S L"Programs", L"NoProgramsCPL"},
    {L"Taskbar resize", 0, HKCU, CV_S L"Explorer", L"TaskbarNoResize"},
    {L"Clock", 0, HKCU, CV_S L"Explorer", L"HideClock"},
    {L"Desktop Background", 0, HKCU, CV_S L"ActiveDesktop", L"NoChangingWallPaper"},
    {L"Desktop icon", 0, HKCU, CV_S L"System", L"NoDispBackgroundPage"},
    {L"Desktop theme", 0, HKCU, CV_S L"Explorer", L"NoThemesTab"},
    {L"Color and appearance", 0, HKCU, CV_S L"System", L"NoDispAppearancePage"},
    {L"Screen saver", 0, HKCU, CV_S L"System", L"NoDispScrSavPage"},
};

const LocationRow& RowOf(const std::wstring& name, int slot = 0) {
  for (const auto& row : kLocations)
    if (row.name == name && slot-- == 0) return row;
  throw std::logic_error("no such row");
}

std::vector<std::wstring> Captions(const RestrictionList& list) {
  std::vector<std::wstring> out;
  for (const auto& item : list.items()) out.push_back(item.caption);
  return out;
}

std::vector<std::wstring> DistinctNames() {
  std::vector<std::wstring> names;
  for (const auto& row : kLocations)
    if (names.empty() || names.back() != row.name) names.push_back(row.name);
  return names;
}

class RestrictionTest : public FakeTest {
 protected:
  void setPolicy(const std::wstring& name, int slot = 0, std::uint32_t value = 1) {
    const auto& row = RowOf(name, slot);
    fake().setDword(row.root, row.keyPath, row.valueName, value);
  }
  std::optional<RegData> policy(const std::wstring& name, int slot = 0) {
    const auto& row = RowOf(name, slot);
    return fake().value(row.root, row.keyPath, row.valueName);
  }
  std::size_t indexOf(const std::wstring& caption) const {
    const auto& items = list.items();
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i].caption == caption) return i;
    ADD_FAILURE() << "not listed: " << Narrow(caption);
    return items.size();
  }
  const RestrictionItem& item(const std::wstring& caption) const {
    return list.items().at(indexOf(caption));
  }
  void check(const std::wstring& caption, bool checked = true) {
    list.setChecked(indexOf(caption), checked);
  }
  void scanWith(std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* name : names) setPolicy(name);
    btnSCANRESTRICTClick(list);
  }

  RestrictionList list;
};

// ------------------------------------------------------------------ catalogue

TEST(RestrictionCatalogueTest, LocationsNamesAndGroupsAreThoseOfTheTableInOrder) {
  std::vector<LocationRow> flat;
  for (const auto& entry : RestrictionCatalogue())
    for (const auto& at : entry.Locations)
      flat.push_back({entry.Name.c_str(), entry.GroupID, at.RootKey, at.KeyPath.c_str(),
                      at.ValueName.c_str()});
  ASSERT_EQ(flat.size(), std::size(kLocations));
  for (std::size_t i = 0; i < flat.size(); ++i) {
    SCOPED_TRACE(Narrow(kLocations[i].name));
    EXPECT_EQ(std::wstring(flat[i].name), kLocations[i].name) << "row " << i;
    EXPECT_EQ(flat[i].group, kLocations[i].group);
    EXPECT_EQ(flat[i].root, kLocations[i].root);
    // Exact capitalisation, although the registry would not mind.
    EXPECT_EQ(std::wstring(flat[i].keyPath), kLocations[i].keyPath);
    EXPECT_EQ(std::wstring(flat[i].valueName), kLocations[i].valueName);
  }
  EXPECT_EQ(RestrictionCatalogue().size(), DistinctNames().size());
}

// The list refuses a name that begins a listed caption, so a shorter name placed after
// a longer one that it begins would never be shown.
TEST(RestrictionCatalogueTest, NoNameBeginsALaterNameAndNoneCarriesBlanks) {
  const auto& entries = RestrictionCatalogue();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(TrimBlanks(entries[i].Name), entries[i].Name);
    for (std::size_t j = i + 1; j < entries.size(); ++j)
      EXPECT_FALSE(StartsWithNoCase(entries[i].Name, entries[j].Name))
          << Narrow(entries[i].Name) << " / " << Narrow(entries[j].Name);
  }
}

TEST(RestrictionCatalogueTest, DescriptionsKeepTheQuotedWindowsMessages) {
  const std::wstring blocked =
      L"a message appears \"This operation has been cancelled due to restrictions in effect on "
      L"this computer. Please contact your system administrator\".";
  const struct {
    std::size_t position;
    std::wstring text;
  } cases[] = {
      {1,
       L"Cannot open Task Manager, a message appears \"Task Manager has been disabled by your "
       L"administrator\"."},
      {2,
       L"Cannot open Registry Editor, a message appears \"Registry editing has been disabled by "
       L"your administrator\"."},
      {3,
       L"Command Prompt cannot be used, the message appears \"The command prompt has been "
       L"disabled by your administrator\"."},
      {4, L"Could not open the Taskbar Settings, " + blocked},
      {5, L"Cannot open the Control Panel, " + blocked},
      {17, L"Hidden drive(s)."},
      {25, L"Aero Shake doesn't work."},
      {27, L"Appears message \"Your system administrator has disabled Programs and Features\"."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RestrictionCatalogue().at(c.position - 1).Description, c.text) << c.position;
}

// ------------------------------------------------------------------ reading a value

// The shell reads the first four bytes of a policy value whatever its type (Wine's
// SHRestricted gives 49 for REG_SZ "1", 4 for REG_BINARY 04000000, 1 for a single
// byte 01, and 0 for eight bytes): the scan counts what the shell counts.
TEST_F(RestrictionTest, AnyValueOfAtMostFourNonZeroBytesIsSetWhateverItsType) {
  const std::wstring key = L"Software\\Policies\\Test";
  const struct {
    const char* what;
    std::uint32_t type;
    std::vector<std::uint8_t> bytes;
    bool set;
  } cases[] = {
      {"dword 1", kRegDword, {1, 0, 0, 0}, true},
      {"dword 0x100 (low byte 0)", kRegDword, {0, 1, 0, 0}, true},
      {"dword 0x80000000", kRegDword, {0, 0, 0, 0x80}, true},
      {"dword 0xFFFFFFFF", kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, true},
      {"dword 0", kRegDword, {0, 0, 0, 0}, false},
      {"dword of one byte", kRegDword, {1}, true},
      {"dword of no bytes", kRegDword, {}, false},
      {"dword of eight bytes", kRegDword, {1, 0, 0, 0, 0, 0, 0, 0}, false},
      {"REG_SZ \"1\"", kRegSz, {'1', 0, 0, 0}, true},
      {"REG_SZ \"\"", kRegSz, {0, 0}, false},
      {"REG_SZ \"12\" (six bytes)", kRegSz, {'1', 0, '2', 0, 0, 0}, false},
      {"REG_EXPAND_SZ \"1\"", kRegExpandSz, {'1', 0, 0, 0}, true},
      {"REG_BINARY 04000000", kRegBinary, {4, 0, 0, 0}, true},
      {"REG_BINARY 00000000", kRegBinary, {0, 0, 0, 0}, false},
      {"REG_BINARY of one byte", kRegBinary, {1}, true},
      {"REG_BINARY 0001 (low byte 0)", kRegBinary, {0, 1}, true},
      {"REG_BINARY of five bytes", kRegBinary, {1, 0, 0, 0, 0}, false},
      {"REG_NONE of four bytes", kRegNone, {1, 0, 0, 0}, true},
      {"REG_QWORD 1", kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}, false},
  };
  for (const auto& c : cases) {
    fake().setValue(HKCU, key, L"Policy", c.type, c.bytes);
    EXPECT_EQ(IsPolicyValueSet(HKCU, key, L"Policy"), c.set) << c.what;
  }
  EXPECT_FALSE(IsPolicyValueSet(HKCU, key, L"Missing"));
  EXPECT_FALSE(IsPolicyValueSet(HKCU, key + L"\\Missing", L"Policy"));
  EXPECT_FALSE(IsPolicyValueSet(HKLM, key, L"Policy"));  // same path, other hive
  EXPECT_FALSE(fake().keyExists(HKCU, key + L"\\Missing"));
  EXPECT_EQ(fake().openKeyHandles(), 0u);
}

// ------------------------------------------------------------------ scan

TEST(RestrictionScanTest, EachLocationAloneListsItsEntryInItsGroup) {
  for (const auto& row : kLocations) {
    SCOPED_TRACE(Narrow(row.name) + " / " + Narrow(row.valueName));
    fake::ScopedFakePlatform sys;
    sys->setDword(row.root, row.keyPath, row.valueName, 1);
    RestrictionList list;
    btnSCANRESTRICTClick(list);
    ASSERT_EQ(list.items().size(), 1u);
    const auto& item = list.items()[0];
    EXPECT_EQ(item.caption, row.name);
    EXPECT_EQ(item.groupId, row.group);
    EXPECT_FALSE(item.info.empty());
    EXPECT_FALSE(item.checked);
    EXPECT_EQ(item.imageIndex, kImageRestricted);
    ASSERT_EQ(sys->messages().size(), 1u);
    EXPECT_EQ(sys->messages()[0].text, L"Found 1 restrictions on this computer!");
    EXPECT_EQ(sys->messages()[0].title, L"Korvane");
    EXPECT_EQ(sys->messages()[0].flags, kMbIconError);
  }
}

TEST_F(RestrictionTest, ValuesTheShellReadsAsZeroOrCannotReadListNothing) {
  setPolicy(L"Task Manager", 0, 0);
  fake().setString(HKCU, RowOf(L"Registry Editor").keyPath, L"DisableRegistryTools", L"12");
  fake().setValue(HKCU, RowOf(L"Command Prompt").keyPath, L"DisableCMD", kRegBinary,
                  {1, 0, 0, 0, 0, 0, 0, 0});
  fake().setValue(HKCU, RowOf(L"Hidden Drive").keyPath, L"NoDrives", kRegBinary, {0, 0, 0, 0});
  setPolicy(L"System Restore", 0, 0);                    // DisableConfig missing
  fake().createKey(HKCU, RowOf(L"Aero Shake").keyPath);  // key without the value
  btnSCANRESTRICTClick(list);
  EXPECT_TRUE(list.items().empty());
  ASSERT_EQ(fake().messages().size(), 1u);
  EXPECT_EQ(fake().messages()[0].text, L"Restrictions not found!");
  EXPECT_EQ(fake().messages()[0].title, L"Korvane");
  EXPECT_EQ(fake().messages()[0].flags, kMbIconInformation);
}

TEST_F(RestrictionTest, ATextOrBinaryPolicyIsListedAndRemovedLikeANumber) {
  const std::wstring explorer = RowOf(L"Hidden Drive").keyPath;
  fake().setString(HKCU, explorer, L"NoClose", L"1");
  fake().setValue(HKCU, explorer, L"NoDrives", kRegBinary, {4, 0, 0, 0});
  btnSCANRESTRICTClick(list);
  ASSERT_EQ(Captions(list), (std::vector<std::wstring>{
                                L"Shutdown, Sleep, Restart, Hibernate command", L"Hidden Drive"}));
  cbCHECKALLRESTRICTClick(list, true);
  btnFIXRESTRICTClick(list);
  EXPECT_FALSE(fake().value(HKCU, explorer, L"NoClose").has_value());
  EXPECT_FALSE(fake().value(HKCU, explorer, L"NoDrives").has_value());
  EXPECT_EQ(boxTexts().back(), L"Done!");
}

TEST_F(RestrictionTest, EveryValueSetListsEachEntryOnceInCatalogueOrder) {
  for (const auto& row : kLocations) fake().setDword(row.root, row.keyPath, row.valueName, 1);
  btnSCANRESTRICTClick(list);

  EXPECT_EQ(Captions(list), DistinctNames());
  const auto inGroup = [&](std::int32_t g) {
    return std::count_if(list.items().begin(), list.items().end(),
                         [&](const RestrictionItem& i) { return i.groupId == g; });
  };
  EXPECT_EQ(inGroup(kGroupDesktopExplorer), 27);
  EXPECT_EQ(inGroup(kGroupSystemSecurity), 7);
  EXPECT_EQ(item(L"Control Panel").info.substr(0, 30), L"Cannot open the Control Panel,");
  EXPECT_EQ(item(L"Control Panel item").info, L"Some items are missing from the Control Panel.");
  EXPECT_EQ(boxTexts(), std::vector<std::wstring>{L"Found 34 restrictions on this computer!"});
  EXPECT_EQ(fake().messages()[0].flags, kMbIconError);
  EXPECT_EQ(fake().openKeyHandles(), 0u);
}

TEST_F(RestrictionTest, ARescanReplacesTheItems) {
  scanWith({L"Task Manager", L"Clock"});
  fake().setDword(HKCU, RowOf(L"Clock").keyPath, L"HideClock", 0);
  setPolicy(L"Screen saver");
  btnSCANRESTRICTClick(list);
  EXPECT_EQ(Captions(list), (std::vector<std::wstring>{L"Task Manager", L"Screen saver"}));
  EXPECT_EQ(boxTexts().back(), L"Found 2 restrictions on this computer!");
}

// The window mirrors the model when asked; what it would show is recorded among the
// boxes, so the order says whether each box stands over the list it reports on.
TEST_F(RestrictionTest, EachBoxComesAfterTheWindowShowsTheListItReportsOn) {
  list.setView([this] {
    std::wstring shown = L"list";
    for (const auto& i : list.items())
      shown += L" [" + i.caption + (i.checked ? L" ticked" : L"") +
               (i.imageIndex == kImageRemoved ? L" lifted" : L"") + L"]";
    fake().events.push_back(shown);
  });
  setPolicy(L"Task Manager");
  btnSCANRESTRICTClick(list);
  cbCHECKALLRESTRICTClick(list, true);
  btnFIXRESTRICTClick(list);
  // As many restrictions as before, but another one.
  setPolicy(L"Registry Editor");
  btnSCANRESTRICTClick(list);
  fake().setDword(HKCU, RowOf(L"Registry Editor").keyPath, L"DisableRegistryTools", 0);
  btnSCANRESTRICTClick(list);
  EXPECT_EQ(
      fake().events,
      (std::vector<std::wstring>{
          L"list [Task Manager]", L"box Found 1 restrictions on this computer!",
          L"list [Task Manager ticked lifted]", L"box Done!", L"list [Registry Editor]",
          L"box Found 1 restrictions on this computer!", L"list", L"box Restrictions not found!"}));
}

TEST_F(RestrictionTest, AddRefusesANameThatBeginsAListedCaption) {
  const struct {
    const char* what;
    std::vector<std::wstring> added;
    std::vector<std::wstring> listed;
  } cases[] = {
      {"shorter first: both listed",
       {L"Control Panel", L"Control Panel item"},
       {L"Control Panel", L"Control Panel item"}},
      {"reversed: the shorter is hidden",
       {L"Control Panel item", L"Control Panel"},
       {L"Control Panel item"}},
      {"case is ignored", {L"Control Panel item", L"control PANEL"}, {L"Control Panel item"}},
      {"the same name twice", {L"Clock", L"Clock"}, {L"Clock"}},
      {"a name inside a caption is no prefix",
       {L"Control Panel", L"Panel"},
       {L"Control Panel", L"Panel"}},
  };
  for (const auto& c : cases) {
    RestrictionList fresh;
    for (const auto& name : c.added) AddRestrictionItem(fresh, name, L"info " + name, 1);
    EXPECT_EQ(Captions(fresh), c.listed) << c.what;
    EXPECT_EQ(fresh.items()[0].info, L"info " + c.added[0]) << c.what;
    EXPECT_EQ(fresh.items()[0].groupId, 1) << c.what;
  }
}

// ------------------------------------------------------------------ selection

TEST_F(RestrictionTest, CheckingAndUncheckingKeepTheSelectionInStep) {
  scanWith({L"Task Manager", L"Control Panel", L"Clock"});
  check(L"Clock");
  check(L"Task Manager");
  check(L"Control Panel");
  EXPECT_EQ(list.selection(),
            (std::vector<std::wstring>{L"Clock", L"Task Manager", L"Control Panel"}));
  check(L"Task Manager", false);
  EXPECT_EQ(list.selection(), (std::vector<std::wstring>{L"Clock", L"Control Panel"}));
  check(L"Task Manager");
  EXPECT_EQ(list.selection(),
            (std::vector<std::wstring>{L"Clock", L"Control Panel", L"Task Manager"}));
  // A notification that repeats the current state changes nothing.
  check(L"Clock");
  list.setChecked(99, true);
  EXPECT_EQ(list.selection().size(), 3u);
}

TEST_F(RestrictionTest, SelectionLookUpIsTrimmedWholeStringAndCaseBlind) {
  list.appendItem(L" Clock\t", L"", 0);
  list.setChecked(0, true);
  EXPECT_EQ(list.selection(), std::vector<std::wstring>{L"Clock"});
  const struct {
    const wchar_t* name;
    bool selected;
  } cases[] = {
      {L"Clock", true}, {L"clock", true},    {L"  CLOCK \t", true},
      {L"Cloc", false}, {L"Clock x", false}, {L"", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsRestrictionSelected(list, c.name), c.selected) << Narrow(c.name);
  list.setChecked(0, false);
  EXPECT_TRUE(list.selection().empty());
}

TEST_F(RestrictionTest, CheckAllSelectsEveryItemAndClearingItEmptiesTheSelection) {
  scanWith({L"Win hotkey", L"Task Manager", L"Clock"});
  cbCHECKALLRESTRICTClick(list, true);
  EXPECT_TRUE(list.checkAll());
  for (const auto& i : list.items()) EXPECT_TRUE(i.checked) << Narrow(i.caption);
  EXPECT_EQ(list.selection(), Captions(list));

  cbCHECKALLRESTRICTClick(list, false);
  EXPECT_FALSE(list.checkAll());
  for (const auto& i : list.items()) EXPECT_FALSE(i.checked) << Narrow(i.caption);
  EXPECT_TRUE(list.selection().empty());

  // Only the user changes the box: a scan keeps it, and lists its items unchecked.
  cbCHECKALLRESTRICTClick(list, true);
  btnSCANRESTRICTClick(list);
  EXPECT_TRUE(list.checkAll());
  EXPECT_FALSE(list.items()[0].checked);
  EXPECT_TRUE(list.selection().empty());
}

TEST_F(RestrictionTest, AScanDropsTheNamesChosenBeforeIt) {
  scanWith({L"Task Manager", L"Clock"});
  check(L"Task Manager");
  btnSCANRESTRICTClick(list);
  EXPECT_TRUE(list.selection().empty());
  EXPECT_FALSE(item(L"Task Manager").checked);
  const auto boxes = boxTexts().size();
  btnFIXRESTRICTClick(list);
  EXPECT_TRUE(policy(L"Task Manager").has_value());
  EXPECT_EQ(boxTexts().size(), boxes);
}

// ------------------------------------------------------------------ removal

TEST_F(RestrictionTest, RemoveWithNothingCheckedTouchesNothing) {
  scanWith({L"Task Manager"});
  const std::wstring before = fake().dumpHive(HKCU) + fake().dumpHive(HKLM);
  btnFIXRESTRICTClick(list);
  EXPECT_EQ(fake().dumpHive(HKCU) + fake().dumpHive(HKLM), before);
  EXPECT_EQ(boxTexts().size(), 1u);  // the scan's only
}

TEST_F(RestrictionTest, RemovingTwoCheckedItemsLiftsThemAndASecondPressDoesNothing) {
  scanWith({L"Task Manager", L"Hidden Drive", L"Clock"});
  check(L"Task Manager");
  check(L"Clock");
  btnFIXRESTRICTClick(list);

  EXPECT_FALSE(policy(L"Task Manager").has_value());
  EXPECT_FALSE(policy(L"Clock").has_value());
  EXPECT_TRUE(policy(L"Hidden Drive").has_value());
  EXPECT_EQ(item(L"Task Manager").imageIndex, kImageRemoved);
  EXPECT_EQ(item(L"Clock").imageIndex, kImageRemoved);
  EXPECT_EQ(item(L"Hidden Drive").imageIndex, kImageRestricted);
  EXPECT_TRUE(item(L"Task Manager").checked);  // the list is not rescanned
  EXPECT_EQ(Captions(list).size(), 3u);
  EXPECT_TRUE(list.selection().empty());
  ASSERT_EQ(fake().messages().size(), 2u);
  EXPECT_EQ(fake().messages()[1].text, L"Done!");
  EXPECT_EQ(fake().messages()[1].title, L"Korvane");
  EXPECT_EQ(fake().messages()[1].flags, kMbIconInformation);
  EXPECT_EQ(fake().openKeyHandles(), 0u);

  // Set again behind the list's back: a second press must not reach the registry.
  setPolicy(L"Task Manager");
  btnFIXRESTRICTClick(list);
  EXPECT_TRUE(policy(L"Task Manager").has_value());
  EXPECT_EQ(fake().messages().size(), 2u);
}

TEST_F(RestrictionTest, ALiftedItemNeverReentersTheSelectionUntilRescanned) {
  scanWith({L"Task Manager", L"Clock"});
  check(L"Task Manager");
  btnFIXRESTRICTClick(list);
  setPolicy(L"Task Manager");  // back again, but the item shows it lifted

  check(L"Task Manager", false);
  check(L"Task Manager");
  EXPECT_TRUE(list.selection().empty());
  cbCHECKALLRESTRICTClick(list, false);
  cbCHECKALLRESTRICTClick(list, true);
  EXPECT_EQ(list.selection(), std::vector<std::wstring>{L"Clock"});
  EXPECT_EQ(item(L"Task Manager").imageIndex, kImageRemoved);

  btnSCANRESTRICTClick(list);
  EXPECT_EQ(item(L"Task Manager").imageIndex, kImageRestricted);
  check(L"Task Manager");
  EXPECT_EQ(list.selection(), std::vector<std::wstring>{L"Task Manager"});
}

TEST_F(RestrictionTest, RemovalDeletesEveryLocationButNeverTheKey) {
  const std::wstring explorer = RowOf(L"Control Panel item").keyPath;
  // Display Settings only under HKLM; System Restore by its second value only, its
  // first holding 0; Control Panel item with a text where a number belongs.
  setPolicy(L"Display Settings", 0);
  setPolicy(L"System Restore", 0, 0);
  setPolicy(L"System Restore", 1);
  fake().setString(HKCU, explorer, L"DisallowCpl", L"1");
  fake().setDword(HKCU, explorer, L"RestrictCpl", 1);
  fake().setDword(HKCU, explorer, L"Unrelated", 1);
  btnSCANRESTRICTClick(list);
  ASSERT_EQ(Captions(list), (std::vector<std::wstring>{L"Display Settings", L"System Restore",
                                                       L"Control Panel item"}));
  ASSERT_FALSE(fake().keyExists(HKCU, RowOf(L"Display Settings", 1).keyPath));

  cbCHECKALLRESTRICTClick(list, true);
  btnFIXRESTRICTClick(list);

  for (const auto& row : kLocations)
    EXPECT_FALSE(fake().value(row.root, row.keyPath, row.valueName).has_value())
        << Narrow(row.name) << " " << Narrow(row.valueName);
  // The missing HKCU policy key is left behind, empty.
  EXPECT_TRUE(fake().keyExists(HKCU, RowOf(L"Display Settings", 1).keyPath));
  EXPECT_TRUE(fake().valueNames(HKCU, RowOf(L"Display Settings", 1).keyPath).empty());
  EXPECT_TRUE(fake().keyExists(HKLM, RowOf(L"System Restore").keyPath));
  EXPECT_EQ(fake().valueNames(HKCU, explorer), std::vector<std::wstring>{L"Unrelated"});
  EXPECT_EQ(boxTexts().back(), L"Done!");
}

TEST_F(RestrictionTest, RemovePolicyValueMarksEveryCheckedItem) {
  scanWith({L"Task Manager", L"Registry Editor", L"Clock"});
  check(L"Task Manager");
  check(L"Clock");
  const auto& row = RowOf(L"Task Manager");
  EXPECT_TRUE(RemovePolicyValue(list, row.root, row.keyPath, row.valueName, L"Task Manager"));
  EXPECT_EQ(item(L"Task Manager").imageIndex, kImageRemoved);
  EXPECT_EQ(item(L"Clock").imageIndex, kImageRemoved);
  EXPECT_EQ(item(L"Registry Editor").imageIndex, kImageRestricted);
  EXPECT_EQ(list.selection(), std::vector<std::wstring>{L"Clock"});
}

// A value that stays must not be reported as lifted, whichever of the two comes first
// in the catalogue: the other's removal marks every checked item.
TEST_F(RestrictionTest, ARestrictionThatCannotBeLiftedKeepsItsCrossAndStaysSelected) {
  const struct {
    const wchar_t* locked;
    const wchar_t* other;
  } cases[] = {{L"Clock", L"Task Manager"}, {L"Task Manager", L"Clock"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.locked));
    fake::ScopedFakePlatform sys;
    for (const wchar_t* name : {c.locked, c.other}) {
      const auto& row = RowOf(name);
      sys->setDword(row.root, row.keyPath, row.valueName, 1);
    }
    sys->denyWrites(HKCU, RowOf(c.locked).keyPath);
    RestrictionList page;
    btnSCANRESTRICTClick(page);
    cbCHECKALLRESTRICTClick(page, true);
    btnFIXRESTRICTClick(page);

    const auto lockedRow = RowOf(c.locked);
    const auto otherRow = RowOf(c.other);
    EXPECT_TRUE(sys->value(lockedRow.root, lockedRow.keyPath, lockedRow.valueName).has_value());
    EXPECT_FALSE(sys->value(otherRow.root, otherRow.keyPath, otherRow.valueName).has_value());
    for (const auto& i : page.items())
      EXPECT_EQ(i.imageIndex, i.caption == c.locked ? kImageRestricted : kImageRemoved)
          << Narrow(i.caption);
    EXPECT_EQ(page.selection(), std::vector<std::wstring>{c.locked});
    ASSERT_EQ(sys->messages().size(), 2u);
    EXPECT_EQ(sys->messages()[1].text, L"Some restrictions could not be removed!");
    EXPECT_EQ(sys->messages()[1].flags, kMbIconError);

    // The next press tries again, and says so again.
    btnFIXRESTRICTClick(page);
    EXPECT_EQ(sys->messages().size(), 3u);
  }
}

// Display Settings set only under HKLM: the HKCU policy key cannot even be created, but
// there is nothing there to lift, so the restriction is gone.
TEST_F(RestrictionTest, AnUncreatableKeyWithoutTheValueDoesNotCountAsAFailure) {
  setPolicy(L"Display Settings", 0);
  fake().denyWrites(HKCU, CV_S);
  btnSCANRESTRICTClick(list);
  check(L"Display Settings");
  btnFIXRESTRICTClick(list);
  EXPECT_FALSE(policy(L"Display Settings", 0).has_value());
  EXPECT_FALSE(fake().keyExists(HKCU, RowOf(L"Display Settings", 1).keyPath));
  EXPECT_EQ(item(L"Display Settings").imageIndex, kImageRemoved);
  EXPECT_EQ(boxTexts().back(), L"Done!");
}

}  // namespace
}  // namespace korvane
