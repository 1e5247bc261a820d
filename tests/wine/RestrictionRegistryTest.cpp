// Scan and removal of policy restrictions against a real registry, both hives, with
// the page's handlers and the messages they show.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "RecordingPlatform.h"
#include "WineSupport.h"
#include "child/ChildProcess.h"
#include "restrict/RestrictionList.h"
#include "restrict/Unit_Fungsi2RestFix_Korvane.h"
#include "restrict/Unit_FungsiRestFix_Korvane.h"

namespace korvane::wine {
namespace {

HKEY AsHkey(Handle root) { return reinterpret_cast<HKEY>(root); }

const std::wstring kExplorerPolicies =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const std::wstring kSystemPolicies =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::wstring kRestorePolicies = L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\SystemRestore";

void SetPolicy(HKEY root, const std::wstring& path, const std::wstring& name, DWORD number = 1) {
  WriteValue(root, path, name, REG_DWORD,
             {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
              static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)});
}

bool HasValue(HKEY root, const std::wstring& path, const std::wstring& name) {
  return ReadValue(root, path, name).has_value();
}

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

// Every value the catalogue looks at is taken away for the test and put back
// afterwards, and keys the test leaves behind that were not there are removed, so the
// scan sees only what a test sets, in any prefix (or on a machine with real policies).
class RestrictionsOnWine : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& entry : RestrictionCatalogue()) {
      for (const auto& at : entry.Locations) {
        HKEY root = AsHkey(at.RootKey);
        const std::wstring id = KeyId(root, at.KeyPath) + L"\\" + Lower(at.ValueName);
        if (saved_.count(id)) continue;
        saved_[id] = {root, at.KeyPath, at.ValueName, ReadValue(root, at.KeyPath, at.ValueName)};
        // The key and every key above it, so that those a test creates can go again.
        for (size_t end = at.KeyPath.find(L'\\');; end = at.KeyPath.find(L'\\', end + 1)) {
          const std::wstring path = at.KeyPath.substr(0, end);
          if (!keys_.count(KeyId(root, path)))
            keys_[KeyId(root, path)] = {root, path, KeyExists(root, path)};
          if (end == std::wstring::npos) break;
        }
        DeleteValue(root, at.KeyPath, at.ValueName);
      }
    }
  }

  void TearDown() override {
    for (const auto& [id, k] : keys_) {
      if (!k.recreate) continue;
      HKEY key;
      if (RegCreateKeyExW(k.root, k.path.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key,
                          nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
    }
    for (const auto& [id, s] : saved_) {
      if (s.value) {
        WriteValue(s.root, s.path, s.name, s.value->type, s.value->bytes);
      } else {
        DeleteValue(s.root, s.path, s.name);
      }
    }
    // Keys that were not there before hold only what the test put in them.  Deeper
    // ones first, so that their parents are empty of subkeys when their turn comes;
    // a key with subkeys is never deleted (Wine and Windows both refuse with 5).
    std::vector<KeyState> created;
    for (const auto& [id, k] : keys_)
      if (!k.existed) created.push_back(k);
    std::sort(created.begin(), created.end(),
              [](const KeyState& a, const KeyState& b) { return a.path.size() > b.path.size(); });
    for (const auto& k : created) RegDeleteKeyExW(k.root, k.path.c_str(), 0, 0);
  }

  static std::wstring KeyId(HKEY root, const std::wstring& path) {
    return (root == HKEY_LOCAL_MACHINE ? L"HKLM\\" : L"HKCU\\") + Lower(path);
  }

  void ForgetKey(HKEY root, const std::wstring& path) {
    // The test needs the key gone; it is created again afterwards if it was there.
    const std::wstring keyId = KeyId(root, path);
    ASSERT_TRUE(keys_.count(keyId));
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
      DWORD subkeys = 0, values = 0;
      RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                       nullptr, nullptr, nullptr);
      RegCloseKey(key);
      ASSERT_EQ(subkeys + values, 0u) << "the key holds more than the catalogue's values";
      ASSERT_EQ(RegDeleteKeyExW(root, path.c_str(), 0, 0), ERROR_SUCCESS);
      keys_[keyId].recreate = true;
    }
  }

  static void DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, name.c_str());
    RegCloseKey(key);
  }

  struct SavedValue {
    HKEY root;
    std::wstring path, name;
    std::optional<Stored> value;
  };
  struct KeyState {
    HKEY root;
    std::wstring path;
    bool existed;
    bool recreate = false;
  };
  std::map<std::wstring, SavedValue> saved_;
  std::map<std::wstring, KeyState> keys_;
};

std::vector<std::wstring> Captions(const RestrictionList& list) {
  std::vector<std::wstring> out;
  for (const auto& item : list.items()) out.push_back(item.caption);
  return out;
}

TEST_F(RestrictionsOnWine, ScanFindsPoliciesInBothHivesAndRemovalLiftsThem) {
  SetPolicy(HKEY_CURRENT_USER, kSystemPolicies, L"DisableTaskMgr");
  SetPolicy(HKEY_CURRENT_USER, kExplorerPolicies, L"NoControlPanel");
  SetPolicy(HKEY_CURRENT_USER, kExplorerPolicies, L"DisallowCpl");
  // "System Restore" is in force by its second value alone.
  SetPolicy(HKEY_LOCAL_MACHINE, kRestorePolicies, L"DisableConfig");
  // Not in force: a zero.
  SetPolicy(HKEY_CURRENT_USER, kExplorerPolicies, L"NoFolderOptions", 0);

  RecordingPlatform sys;
  RestrictionList list;
  btnSCANRESTRICTClick(list);

  // Catalogue order; "Control Panel" and "Control Panel item" are both listed.
  EXPECT_EQ(Captions(list), (std::vector<std::wstring>{L"Task Manager", L"Control Panel",
                                                       L"System Restore", L"Control Panel item"}));
  ASSERT_EQ(list.items().size(), 4u);
  EXPECT_EQ(list.items()[0].groupId, kGroupSystemSecurity);
  EXPECT_EQ(list.items()[1].groupId, kGroupDesktopExplorer);
  EXPECT_EQ(list.items()[2].groupId, kGroupSystemSecurity);
  for (const auto& item : list.items()) {
    EXPECT_FALSE(item.checked);
    EXPECT_EQ(item.imageIndex, kImageRestricted);
  }
  ASSERT_EQ(sys.boxes().size(), 1u);
  EXPECT_EQ(sys.boxes()[0].text, L"Found 4 restrictions on this computer!");
  EXPECT_EQ(sys.boxes()[0].title, L"Korvane");
  EXPECT_EQ(sys.boxes()[0].flags, static_cast<unsigned>(MB_ICONERROR));

  cbCHECKALLRESTRICTClick(list, true);
  sys.clearBoxes();
  btnFIXRESTRICTClick(list);

  ASSERT_EQ(sys.boxes().size(), 1u);
  EXPECT_EQ(sys.boxes()[0].text, L"Done!");
  EXPECT_EQ(sys.boxes()[0].flags, static_cast<unsigned>(MB_ICONINFORMATION));
  EXPECT_FALSE(HasValue(HKEY_CURRENT_USER, kSystemPolicies, L"DisableTaskMgr"));
  EXPECT_FALSE(HasValue(HKEY_CURRENT_USER, kExplorerPolicies, L"NoControlPanel"));
  EXPECT_FALSE(HasValue(HKEY_CURRENT_USER, kExplorerPolicies, L"DisallowCpl"));
  EXPECT_FALSE(HasValue(HKEY_LOCAL_MACHINE, kRestorePolicies, L"DisableConfig"));
  // Keys stay; values that were not in force are not touched.
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kSystemPolicies));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kRestorePolicies));
  EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, kExplorerPolicies, L"NoFolderOptions"));
  for (const auto& item : list.items()) EXPECT_EQ(item.imageIndex, kImageRemoved);
  EXPECT_TRUE(list.selection().empty());

  sys.clearBoxes();
  btnSCANRESTRICTClick(list);
  EXPECT_TRUE(list.items().empty());
  ASSERT_EQ(sys.boxes().size(), 1u);
  EXPECT_EQ(sys.boxes()[0].text, L"Restrictions not found!");
  EXPECT_EQ(sys.boxes()[0].flags, static_cast<unsigned>(MB_ICONINFORMATION));
}

// The shell takes a text "1" and four binary bytes for a policy in force (Wine's
// SHRestricted reads them as 49 and 4), so the scan lists them and the fix lifts them.
TEST_F(RestrictionsOnWine, ATextOrBinaryPolicyIsFoundAndLifted) {
  WriteValue(HKEY_CURRENT_USER, kExplorerPolicies, L"NoClose", REG_SZ, {'1', 0, 0, 0});
  WriteValue(HKEY_CURRENT_USER, kExplorerPolicies, L"NoDrives", REG_BINARY, {4, 0, 0, 0});

  RecordingPlatform sys;
  RestrictionList list;
  btnSCANRESTRICTClick(list);
  ASSERT_EQ(Captions(list), (std::vector<std::wstring>{
                                L"Shutdown, Sleep, Restart, Hibernate command", L"Hidden Drive"}));
  cbCHECKALLRESTRICTClick(list, true);
  sys.clearBoxes();
  btnFIXRESTRICTClick(list);

  ASSERT_EQ(sys.boxes().size(), 1u);
  EXPECT_EQ(sys.boxes()[0].text, L"Done!");
  EXPECT_FALSE(HasValue(HKEY_CURRENT_USER, kExplorerPolicies, L"NoClose"));
  EXPECT_FALSE(HasValue(HKEY_CURRENT_USER, kExplorerPolicies, L"NoDrives"));
}

// The shell's own reading of NoClose, each shape in a fresh process (the shell keeps
// what it read once), against the scan's.
TEST_F(RestrictionsOnWine, TheScanCountsAPolicyInForceExactlyWhenTheShellDoes) {
  const struct {
    const char* what;
    DWORD type;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"dword 1", REG_DWORD, {1, 0, 0, 0}},
      {"dword 0", REG_DWORD, {0, 0, 0, 0}},
      {"text 1", REG_SZ, {'1', 0, 0, 0}},
      {"empty text", REG_SZ, {0, 0}},
      {"binary 04000000", REG_BINARY, {4, 0, 0, 0}},
      {"binary 00000000", REG_BINARY, {0, 0, 0, 0}},
      {"binary of one byte", REG_BINARY, {1}},
      {"binary 0001", REG_BINARY, {0, 1}},
      {"binary of eight bytes", REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0}},
      {"qword 1", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}},
      {"no type, four bytes", REG_NONE, {1, 0, 0, 0}},
      // Left out: texts of two characters or more.  Wine's shell converts a text to
      // single bytes before reading it, so "12" fits its four bytes there; the scan
      // goes by the bytes stored, six for "12", as a four-byte read of them would.
  };
  const RestrictionEntry* noClose = nullptr;
  for (const auto& entry : RestrictionCatalogue())
    for (const auto& at : entry.Locations)
      if (at.ValueName == L"NoClose") noClose = &entry;
  ASSERT_NE(noClose, nullptr);
  const auto& at = noClose->Locations.front();
  ASSERT_EQ(at.RootKey, kHkeyCurrentUser);

  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteValue(HKEY_CURRENT_USER, at.KeyPath, L"NoClose", c.type, c.bytes);
    const DWORD shell = RunToEnd(ChildExe(), L"noclose");
    ASSERT_NE(shell, 0xDEADBEEF) << "the child did not run";
    ASSERT_NE(shell, 0xFFFFFFFF) << "no SHRestricted in shell32";
    EXPECT_EQ(IsPolicyValueSet(at.RootKey, at.KeyPath, L"NoClose"), shell != 0)
        << "the shell reads " << shell;
  }
}

TEST_F(RestrictionsOnWine, OnlyTheCheckedRestrictionIsLifted) {
  SetPolicy(HKEY_CURRENT_USER, kExplorerPolicies, L"NoDrives", 0x03FFFFFF);
  SetPolicy(HKEY_LOCAL_MACHINE, kRestorePolicies, L"DisableSR");
  SetPolicy(HKEY_LOCAL_MACHINE, kRestorePolicies, L"DisableConfig");

  RecordingPlatform sys;
  RestrictionList list;
  btnSCANRESTRICTClick(list);
  ASSERT_EQ(Captions(list), (std::vector<std::wstring>{L"System Restore", L"Hidden Drive"}));

  list.setChecked(0, true);  // System Restore: both of its values go
  sys.clearBoxes();
  btnFIXRESTRICTClick(list);

  ASSERT_EQ(sys.boxes().size(), 1u);
  EXPECT_EQ(sys.boxes()[0].text, L"Done!");
  EXPECT_FALSE(HasValue(HKEY_LOCAL_MACHINE, kRestorePolicies, L"DisableSR"));
  EXPECT_FALSE(HasValue(HKEY_LOCAL_MACHINE, kRestorePolicies, L"DisableConfig"));
  EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, kExplorerPolicies, L"NoDrives"));
  EXPECT_EQ(list.items()[0].imageIndex, kImageRemoved);
  EXPECT_EQ(list.items()[1].imageIndex, kImageRestricted);

  // Nothing selected any more: a second press does nothing at all.
  sys.clearBoxes();
  btnFIXRESTRICTClick(list);
  EXPECT_TRUE(sys.boxes().empty());
  EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, kExplorerPolicies, L"NoDrives"));
}

TEST_F(RestrictionsOnWine, DisplaySettingsSetOnlyForTheMachineIsFoundAndLifted) {
  // The user's key must be missing to see that removal creates it (empty).
  ForgetKey(HKEY_CURRENT_USER, kSystemPolicies);
  ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kSystemPolicies));
  SetPolicy(HKEY_LOCAL_MACHINE, kSystemPolicies, L"NoDispCPL");

  RecordingPlatform sys;
  RestrictionList list;
  btnSCANRESTRICTClick(list);
  ASSERT_EQ(Captions(list), std::vector<std::wstring>{L"Display Settings"});
  EXPECT_EQ(list.items()[0].groupId, kGroupDesktopExplorer);

  list.setChecked(0, true);
  sys.clearBoxes();
  btnFIXRESTRICTClick(list);

  ASSERT_EQ(sys.boxes().size(), 1u);
  EXPECT_EQ(sys.boxes()[0].text, L"Done!");
  EXPECT_FALSE(HasValue(HKEY_LOCAL_MACHINE, kSystemPolicies, L"NoDispCPL"));
  ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, kSystemPolicies));
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kSystemPolicies.c_str(), 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD subkeys = 99, values = 99;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  EXPECT_EQ(subkeys, 0u);
  EXPECT_EQ(values, 0u);
  // The machine key keeps its other values (Wine keeps EnableLUA there).
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kSystemPolicies));
}

}  // namespace
}  // namespace korvane::wine
