// The Advanced repairs that rewrite or delete registry values.
#include <functional>

#include "AdvFixTestSupport.h"

namespace korvane {
namespace {

using testing::AdvFixTest;

const std::wstring kNonEnum = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\NonEnum";
const std::wstring kNewStartPanel =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\HideDesktopIcons\\NewStartPanel";
const std::wstring kRecycleBin = L"{645FF040-5081-101B-9F08-00AA002F954E}";
const std::wstring kRecycleBinIcon =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CLSID\\"
    L"{645FF040-5081-101B-9F08-00AA002F954E}\\DefaultIcon";
const std::wstring kWSearch = L"SYSTEM\\CurrentControlSet\\Services\\WSearch";
const std::wstring kWindowsSearch = L"SOFTWARE\\Microsoft\\Windows Search";

std::wstring ParentOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

// ------------------------------------------------ one key, one value, creation

struct SingleWriteCase {
  const char* name;
  void (*routine)();
  Handle root;
  std::wstring key;
  std::wstring value;
  RegData expected;
  std::uint32_t access;
};

void PrintTo(const SingleWriteCase& c, std::ostream* os) { *os << c.name; }

class SingleWriteRepair : public AdvFixTest,
                          public ::testing::WithParamInterface<SingleWriteCase> {};

TEST_P(SingleWriteRepair, CreatesAMissingKeyHoldingOnlyItsValueThenNotifies) {
  const auto& c = GetParam();
  press(c.routine);
  ASSERT_TRUE(fake().keyExists(c.root, c.key));
  EXPECT_EQ(fake().valueNames(c.root, c.key), std::vector<std::wstring>{c.value});
  auto v = fake().value(c.root, c.key, c.value);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, c.expected.type);
  EXPECT_EQ(v->bytes, c.expected.bytes);
  EXPECT_EQ(notices(), 1);
  EXPECT_EQ(fake().messages().size(), 1u);
  EXPECT_EQ(fake().openKeyHandles(), 0u);
  auto opens = opensOf(c.root, c.key);
  ASSERT_FALSE(opens.empty());
  for (const auto& o : opens) {
    EXPECT_EQ(o.access, c.access);
    EXPECT_TRUE(o.create);
  }
}

TEST_P(SingleWriteRepair, OverwritesAStaleValueOfAnotherTypeAndKeepsTheRest) {
  const auto& c = GetParam();
  fake().setString(c.root, c.key, c.value, L"stale", kRegExpandSz);
  fake().setString(c.root, c.key, L"Neighbour", L"keep");
  press(c.routine);
  auto v = fake().value(c.root, c.key, c.value);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, c.expected.type);
  EXPECT_EQ(v->bytes, c.expected.bytes);
  EXPECT_EQ(fake().stringValue(c.root, c.key, L"Neighbour"), L"keep");
  EXPECT_EQ(notices(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    AdvFix, SingleWriteRepair,
    ::testing::Values(
        SingleWriteCase{"FixExplorerShell", &FixExplorerShell, kHkeyLocalMachine,
                        L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", L"Shell",
                        RegData{kRegSz, WideToRegBytes(L"explorer.exe")}, kKeyAllAccess},
        SingleWriteCase{"FixThumbnails", &FixThumbnails, kHkeyCurrentUser,
                        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
                        L"IconsOnly", RegData{kRegDword, DwordBytes(0)}, kKeyWrite},
        SingleWriteCase{
            "FixHibernateOption", &FixHibernateOption, kHkeyLocalMachine,
            L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FlyoutMenuSettings",
            L"ShowHibernateOption", RegData{kRegDword, DwordBytes(1)}, kKeyWrite},
        SingleWriteCase{"FixPlugAndPlay", &FixPlugAndPlay, kHkeyLocalMachine,
                        L"SYSTEM\\CurrentControlSet\\Services\\PlugPlay", L"Start",
                        RegData{kRegDword, DwordBytes(2)}, kKeyWrite},
        SingleWriteCase{"FixWindowsScriptHost", &FixWindowsScriptHost, kHkeyLocalMachine,
                        L"SOFTWARE\\Microsoft\\Windows Script Host\\Settings", L"Enabled",
                        RegData{kRegDword, DwordBytes(1)}, kKeyAllAccess}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------- a key that cannot be made ends it all

struct RefusedKeyCase {
  const char* name;
  void (*routine)();
  Handle root;
  std::wstring key;
  std::wstring firstValue;
};

void PrintTo(const RefusedKeyCase& c, std::ostream* os) { *os << c.name; }

class RefusedKeyRepair : public AdvFixTest, public ::testing::WithParamInterface<RefusedKeyCase> {};

TEST_P(RefusedKeyRepair, ShowsTheStandardErrorAndNeitherRunsNorNotifies) {
  const auto& c = GetParam();
  fake().denyWrites(c.root, ParentOf(c.key));
  press(c.routine);
  ASSERT_EQ(fake().messages().size(), 1u);
  EXPECT_EQ(fake().messages()[0].text, L"Failed to set data for '" + c.firstValue + L"'");
  EXPECT_EQ(fake().messages()[0].title, L"Korvane");
  EXPECT_EQ(fake().messages()[0].flags, kMbIconError);
  EXPECT_FALSE(fake().keyExists(c.root, c.key));
  EXPECT_TRUE(fake().launches().empty());
  EXPECT_EQ(fake().openKeyHandles(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    AdvFix, RefusedKeyRepair,
    ::testing::Values(
        RefusedKeyCase{"FixExplorerShell", &FixExplorerShell, kHkeyLocalMachine,
                       L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", L"Shell"},
        RefusedKeyCase{"FixRecycleBinIcon", &FixRecycleBinIcon, kHkeyCurrentUser, kRecycleBinIcon,
                       L""},
        RefusedKeyCase{"FixThumbnails", &FixThumbnails, kHkeyCurrentUser,
                       L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
                       L"IconsOnly"},
        RefusedKeyCase{
            "FixHibernateOption", &FixHibernateOption, kHkeyLocalMachine,
            L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FlyoutMenuSettings",
            L"ShowHibernateOption"},
        RefusedKeyCase{"FixPlugAndPlay", &FixPlugAndPlay, kHkeyLocalMachine,
                       L"SYSTEM\\CurrentControlSet\\Services\\PlugPlay", L"Start"},
        RefusedKeyCase{"FixWindowsScriptHost", &FixWindowsScriptHost, kHkeyLocalMachine,
                       L"SOFTWARE\\Microsoft\\Windows Script Host\\Settings", L"Enabled"}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ Recycle Bin icon

class RecycleBinIconTest : public AdvFixTest, public ::testing::WithParamInterface<std::wstring> {};

TEST_P(RecycleBinIconTest, WritesPlainTextPathsUnderTheWindowsDirectory) {
  const std::wstring& winDir = GetParam();
  fake().windowsDirectory = winDir;
  press(&FixRecycleBinIcon);
  const std::wstring dll = winDir + L"\\System32\\imageres.dll";
  for (const auto& [name, data] :
       {std::pair{L"", dll + L",-55"}, std::pair{L"empty", dll + L",-55"},
        std::pair{L"full", dll + L",-54"}}) {
    auto v = fake().value(kHkeyCurrentUser, kRecycleBinIcon, name);
    ASSERT_TRUE(v) << fake::Narrow(name);
    EXPECT_EQ(v->type, kRegSz) << fake::Narrow(name);
    EXPECT_EQ(RegBytesToWide(v->bytes), data) << fake::Narrow(name);
  }
  for (const auto& o : opensOf(kHkeyCurrentUser, kRecycleBinIcon)) EXPECT_EQ(o.access, kKeyWrite);
  EXPECT_EQ(notices(), 1);
}

INSTANTIATE_TEST_SUITE_P(AdvFix, RecycleBinIconTest,
                         ::testing::Values(L"C:\\Windows", L"D:\\WINNT"));

// ------------------------------------------------- desktop icon policy values

TEST_F(AdvFixTest, DesktopIconSettingsDeletesTheFiveHidingValuesOnly) {
  const wchar_t* icons[] = {
      L"{645FF040-5081-101B-9F08-00AA002F954E}", L"{20D04FE0-3AEA-1069-A2D8-08002B30309D}",
      L"{59031a47-3f72-44a7-89c5-5595fe6b30ee}", L"{5399E694-6CE5-4D6C-8FCE-1D8870FDCBA0}",
      L"{F02C1A0D-BE21-4350-88B0-7367FC96EF3C}"};
  for (const wchar_t* icon : icons) fake().setDword(kHkeyCurrentUser, kNonEnum, icon, 1);
  fake().setDword(kHkeyCurrentUser, kNonEnum, L"{00000000-0000-0000-0000-000000000000}", 1);
  press(&FixDesktopIconSettings);
  EXPECT_EQ(fake().valueNames(kHkeyCurrentUser, kNonEnum),
            std::vector<std::wstring>{L"{00000000-0000-0000-0000-000000000000}"});
  auto opens = opensOf(kHkeyCurrentUser, kNonEnum);
  EXPECT_EQ(opens.size(), 5u);
  for (const auto& o : opens) EXPECT_EQ(o.access, kKeyAllAccess);
  EXPECT_EQ(notices(), 1);
}

TEST_F(AdvFixTest, DesktopIconSettingsOnACleanSystemCreatesTheEmptyKeyAndNotifies) {
  press(&FixDesktopIconSettings);
  EXPECT_TRUE(fake().keyExists(kHkeyCurrentUser, kNonEnum));
  EXPECT_TRUE(fake().valueNames(kHkeyCurrentUser, kNonEnum).empty());
  EXPECT_EQ(notices(), 1);
}

TEST_F(AdvFixTest, RecycleBinOnDesktopClearsBothHidingPlacesAndNothingElse) {
  fake().setDword(kHkeyCurrentUser, kNonEnum, kRecycleBin, 1);
  fake().setDword(kHkeyCurrentUser, kNonEnum, L"{20D04FE0-3AEA-1069-A2D8-08002B30309D}", 1);
  fake().setDword(kHkeyCurrentUser, kNewStartPanel, kRecycleBin, 1);
  fake().setDword(kHkeyCurrentUser, kNewStartPanel, L"{F02C1A0D-BE21-4350-88B0-7367FC96EF3C}", 1);
  press(&FixRecycleBinOnDesktop);
  EXPECT_EQ(fake().valueNames(kHkeyCurrentUser, kNonEnum),
            std::vector<std::wstring>{L"{20D04FE0-3AEA-1069-A2D8-08002B30309D}"});
  EXPECT_EQ(fake().valueNames(kHkeyCurrentUser, kNewStartPanel),
            std::vector<std::wstring>{L"{F02C1A0D-BE21-4350-88B0-7367FC96EF3C}"});
  for (const auto& path : {kNonEnum, kNewStartPanel})
    for (const auto& o : opensOf(kHkeyCurrentUser, path)) {
      EXPECT_EQ(o.access, kKeyWrite);
      EXPECT_TRUE(o.create);
    }
  EXPECT_EQ(notices(), 1);
}

// --------------------------------------------------- file/folder properties

const std::wstring kPolicyExplorer =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const std::wstring kAppCompat = L"SOFTWARE\\Policies\\Microsoft\\Windows\\AppCompat";
const std::wstring kSummaryPage =
    L"*\\shellex\\PropertySheetHandlers\\{883373C3-BF89-11D1-BE35-080036B11A03}";
const std::wstring kPrevVersions = L"{596AB062-B4D2-4215-9F74-E9109B0A8153}";
const std::vector<std::wstring> kPrevVersionKeys = {
    L"AllFilesystemObjects\\shellex\\ContextMenuHandlers\\" + kPrevVersions,
    L"CLSID\\{450D8FBA-AD25-11D0-98A8-0800361B1103}\\shellex\\ContextMenuHandlers\\" +
        kPrevVersions,
    L"Directory\\shellex\\ContextMenuHandlers\\" + kPrevVersions,
    L"Drive\\shellex\\ContextMenuHandlers\\" + kPrevVersions,
    L"AllFilesystemObjects\\shellex\\PropertySheetHandlers\\" + kPrevVersions,
    L"CLSID\\{450D8FBA-AD25-11D0-98A8-0800361B1103}\\shellex\\PropertySheetHandlers\\" +
        kPrevVersions,
    L"Directory\\shellex\\PropertySheetHandlers\\" + kPrevVersions,
    L"Drive\\shellex\\PropertySheetHandlers\\" + kPrevVersions,
};
const std::vector<std::wstring> kSharingKeys = {
    L"*\\shellex\\ContextMenuHandlers\\Sharing",
    L"Directory\\Background\\shellex\\ContextMenuHandlers\\Sharing",
    L"Directory\\shellex\\ContextMenuHandlers\\Sharing",
    L"Drive\\shellex\\ContextMenuHandlers\\Sharing",
    L"LibraryFolder\\background\\shellex\\ContextMenuHandlers\\Sharing",
    L"UserLibraryFolder\\shellex\\ContextMenuHandlers\\Sharing",
    L"Directory\\shellex\\PropertySheetHandlers\\Sharing",
    L"Drive\\shellex\\PropertySheetHandlers\\Sharing",
};
const std::wstring kSharingClsid = L"{f81e9010-6ea4-11ce-a7ff-00aa003ca9f6}";

class AdvFixFileFolderProperties : public AdvFixTest {
 protected:
  void SetUp() override {
    AdvFixTest::SetUp();
    fake().setDword(kHkeyCurrentUser, kPolicyExplorer, L"NoSecurityTab", 1);
    fake().setDword(kHkeyCurrentUser, kPolicyExplorer, L"NoCustomizeThisFolder", 1);
    fake().setDword(kHkeyCurrentUser, kPolicyExplorer, L"NoRun", 1);
  }
  int sharingKeysSet() {
    int n = 0;
    for (const auto& k : kSharingKeys)
      if (fake().stringValue(kHkeyClassesRoot, k, L"") == kSharingClsid) ++n;
    return n;
  }
};

TEST_F(AdvFixFileFolderProperties, LiftsThePoliciesAndRegistersTheHandlers) {
  fake().setDword(kHkeyLocalMachine, kAppCompat, L"DisablePropPage", 1);
  fake().setDword(kHkeyLocalMachine, kAppCompat, L"DisableEngine", 1);
  press(&FixFileFolderProperties);
  EXPECT_EQ(fake().valueNames(kHkeyCurrentUser, kPolicyExplorer),
            std::vector<std::wstring>{L"NoRun"});
  EXPECT_EQ(fake().valueNames(kHkeyLocalMachine, kAppCompat),
            std::vector<std::wstring>{L"DisableEngine"});
  EXPECT_EQ(fake().stringValue(kHkeyClassesRoot, kSummaryPage, L""), L"Summary Properties Page");
  for (const auto& k : kPrevVersionKeys) {
    EXPECT_TRUE(fake().keyExists(kHkeyClassesRoot, k)) << fake::Narrow(k);
    EXPECT_TRUE(fake().valueNames(kHkeyClassesRoot, k).empty()) << fake::Narrow(k);
  }
  EXPECT_EQ(sharingKeysSet(), 8);
  for (const auto& k : kSharingKeys)
    EXPECT_EQ(fake().value(kHkeyClassesRoot, k, L"")->type, kRegSz) << fake::Narrow(k);
  for (const auto& o : fake().keyOpens())
    EXPECT_EQ(o.access, kKeyAllAccess) << fake::Narrow(o.path);
  EXPECT_EQ(notices(), 1);
  EXPECT_EQ(fake().openKeyHandles(), 0u);
}

TEST_F(AdvFixFileFolderProperties, LeavesAnAbsentAppCompatPolicyAbsent) {
  press(&FixFileFolderProperties);
  EXPECT_FALSE(fake().keyExists(kHkeyLocalMachine, kAppCompat));
  EXPECT_EQ(sharingKeysSet(), 8);
  EXPECT_EQ(notices(), 1);
}

// Where a write is refused the rest is dropped without a word; a refused key that
// is only meant to exist does not stop anything.
struct RefusedStepCase {
  const char* name;
  Handle root;
  std::wstring deniedKey;
  bool customizeLifted;
  int sharingKeysDone;
  std::vector<std::wstring> prevVersionKeysMissing;
};

void PrintTo(const RefusedStepCase& c, std::ostream* os) { *os << c.name; }

class FileFolderPropertiesRefused : public AdvFixFileFolderProperties,
                                    public ::testing::WithParamInterface<RefusedStepCase> {};

TEST_P(FileFolderPropertiesRefused, StopsSilentlyAtTheRefusedWrite) {
  const auto& c = GetParam();
  fake().denyWrites(c.root, c.deniedKey);
  press(&FixFileFolderProperties);
  EXPECT_TRUE(fake().messages().empty());
  EXPECT_FALSE(fake().value(kHkeyCurrentUser, kPolicyExplorer, L"NoSecurityTab"));
  EXPECT_EQ(!fake().value(kHkeyCurrentUser, kPolicyExplorer, L"NoCustomizeThisFolder"),
            c.customizeLifted);
  EXPECT_EQ(sharingKeysSet(), c.sharingKeysDone);
  for (size_t i = 0; i < kSharingKeys.size(); ++i)
    EXPECT_EQ(fake().keyExists(kHkeyClassesRoot, kSharingKeys[i]),
              static_cast<int>(i) < c.sharingKeysDone)
        << fake::Narrow(kSharingKeys[i]);
  for (const auto& k : kPrevVersionKeys) {
    bool missing = std::find(c.prevVersionKeysMissing.begin(), c.prevVersionKeysMissing.end(), k) !=
                   c.prevVersionKeysMissing.end();
    EXPECT_EQ(fake().keyExists(kHkeyClassesRoot, k), !missing) << fake::Narrow(k);
  }
  EXPECT_EQ(fake().openKeyHandles(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    AdvFix, FileFolderPropertiesRefused,
    ::testing::Values(
        // Step 3, the first write: everything after it is skipped.
        RefusedStepCase{"SummaryPage", kHkeyClassesRoot, L"*\\shellex\\PropertySheetHandlers",
                        false, 0, kPrevVersionKeys},
        // Step 8 (key only) fails quietly and the run goes on, to die at step 16.
        RefusedStepCase{"DriveContextMenu",
                        kHkeyClassesRoot,
                        L"Drive\\shellex\\ContextMenuHandlers",
                        true,
                        3,
                        {L"Drive\\shellex\\ContextMenuHandlers\\" + kPrevVersions}}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------ drive icons

const std::wstring kExplorer = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer";

void PlantExplorerKey(fake::FakePlatform& f, bool withDriveIcons) {
  f.setDword(kHkeyLocalMachine, kExplorer, L"GlobalAssocChangedCounter", 7);
  f.setString(kHkeyLocalMachine, kExplorer + L"\\Advanced", L"Setting", L"1");
  f.setString(kHkeyLocalMachine, kExplorer + L"\\DriveIconsBackup\\C", L"", L"keep.ico");
  if (withDriveIcons) {
    f.setString(kHkeyLocalMachine, kExplorer + L"\\DriveIcons\\C\\DefaultIcon", L"", L"c.ico");
    f.setString(kHkeyLocalMachine, kExplorer + L"\\DriveIcons\\D\\DefaultIcon", L"", L"d.ico");
    f.setString(kHkeyLocalMachine, kExplorer + L"\\DriveIcons\\D\\DefaultLabel", L"", L"Data");
    f.setDword(kHkeyLocalMachine, kExplorer + L"\\DriveIcons", L"Loose", 1);
  }
}

TEST_F(AdvFixTest, DriveIconsRemovesTheWholeTreeAndNothingElse) {
  PlantExplorerKey(fake(), true);
  fake::FakePlatform expected;
  PlantExplorerKey(expected, false);
  press(&FixDriveIcons);
  EXPECT_EQ(fake().dumpHive(kHkeyLocalMachine), expected.dumpHive(kHkeyLocalMachine));
  EXPECT_EQ(notices(), 1);
  EXPECT_EQ(fake().openKeyHandles(), 0u);
}

TEST_F(AdvFixTest, DriveIconsWithNothingToRemoveChangesNothingAndStillNotifies) {
  PlantExplorerKey(fake(), false);
  const std::wstring before = fake().dumpHive(kHkeyLocalMachine);
  press(&FixDriveIcons);
  EXPECT_EQ(fake().dumpHive(kHkeyLocalMachine), before);
  EXPECT_EQ(notices(), 1);
}

TEST_F(AdvFixTest, DriveIconsWithoutAnExplorerKeyNeverLooksAtTheHiveRoot) {
  fake().setString(kHkeyLocalMachine, L"DriveIcons\\C\\DefaultIcon", L"", L"c.ico");
  const std::wstring before = fake().dumpHive(kHkeyLocalMachine);
  press(&FixDriveIcons);
  EXPECT_EQ(fake().dumpHive(kHkeyLocalMachine), before);
  EXPECT_FALSE(fake().keyExists(kHkeyLocalMachine, kExplorer));
  EXPECT_EQ(notices(), 1);
}

// ------------------------------------------------------------- Windows Search

struct SearchKeyCase {
  const char* name;
  bool serviceKey;
  bool searchKey;
  std::wstring error;
  std::optional<std::uint32_t> startAfter;
};

void PrintTo(const SearchKeyCase& c, std::ostream* os) { *os << c.name; }

class WindowsSearchMissingKey : public AdvFixTest,
                                public ::testing::WithParamInterface<SearchKeyCase> {};

TEST_P(WindowsSearchMissingKey, EndsAfterTheStopWithTheErrorAndNoNotice) {
  const auto& c = GetParam();
  if (c.serviceKey) fake().setDword(kHkeyLocalMachine, kWSearch, L"Start", 4);
  if (c.searchKey)
    fake().setDword(kHkeyLocalMachine, kWindowsSearch, L"SetupCompletedSuccessfully", 1);
  press(&FixWindowsSearch);
  ASSERT_EQ(fake().messages().size(), 1u);
  EXPECT_EQ(fake().messages()[0].text, c.error);
  EXPECT_EQ(fake().messages()[0].flags, kMbIconError);
  EXPECT_EQ(eventsOf({L"start ", L"sleep 4000", L"messages"}),
            std::vector<std::wstring>{L"start net stop WSearch /Y"});
  EXPECT_EQ(fake().dwordValue(kHkeyLocalMachine, kWSearch, L"Start"), c.startAfter);
  // Opening only: neither key is brought into being.
  EXPECT_EQ(fake().keyExists(kHkeyLocalMachine, kWSearch), c.serviceKey);
  EXPECT_EQ(fake().keyExists(kHkeyLocalMachine, kWindowsSearch), c.searchKey);
  for (const auto& path : {kWSearch, kWindowsSearch})
    for (const auto& o : opensOf(kHkeyLocalMachine, path)) {
      EXPECT_EQ(o.access, kKeyWrite);
      EXPECT_FALSE(o.create);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AdvFix, WindowsSearchMissingKey,
    ::testing::Values(SearchKeyCase{"NoService", false, true, L"Failed to set data for 'Start'",
                                    std::nullopt},
                      SearchKeyCase{"NoSearchSettings", true, false,
                                    L"Failed to set data for 'SetupCompletedSuccessfully'", 2u}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvane
