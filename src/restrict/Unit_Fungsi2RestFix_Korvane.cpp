#include "restrict/Unit_Fungsi2RestFix_Korvane.h"

#include "restrict/Unit_FungsiRestFix_Korvane.h"

namespace korvane {
namespace {

constexpr Handle HKCU = kHkeyCurrentUser;
constexpr Handle HKLM = kHkeyLocalMachine;
constexpr std::int32_t kDesk = kGroupDesktopExplorer;
constexpr std::int32_t kSys = kGroupSystemSecurity;

// Both spellings of the first component occur in the paths; the registry ignores
// case, so either finds the key.
const std::wstring kCvPoliciesSoftware =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";
const std::wstring kCvPoliciesSOFTWARE =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\";

std::vector<RestrictionEntry> BuildCatalogue() {
  const std::wstring explorerCv = kCvPoliciesSoftware + L"Explorer";
  const std::wstring EXPLORERCV = kCvPoliciesSOFTWARE + L"Explorer";
  const std::wstring systemCv = kCvPoliciesSoftware + L"System";
  const std::wstring SYSTEMCV = kCvPoliciesSOFTWARE + L"System";
  return {
      {L"Task Manager",
       {{HKCU, SYSTEMCV, L"DisableTaskMgr"}},
       L"Cannot open Task Manager, a message appears \"Task Manager has been disabled by your "
       L"administrator\".",
       kSys},
      {L"Registry Editor",
       {{HKCU, SYSTEMCV, L"DisableRegistryTools"}},
       L"Cannot open Registry Editor, a message appears \"Registry editing has been disabled by "
       L"your administrator\".",
       kSys},
      {L"Command Prompt",
       {{HKCU, L"SOFTWARE\\Policies\\Microsoft\\Windows\\System", L"DisableCMD"}},
       L"Command Prompt cannot be used, the message appears \"The command prompt has been "
       L"disabled by your administrator\".",
       kSys},
      {L"Taskbar Settings",
       {{HKCU, explorerCv, L"NoSetTaskbar"}},
       L"Could not open the Taskbar Settings, a message appears \"This operation has been "
       L"cancelled due to restrictions in effect on this computer. Please contact your system "
       L"administrator\".",
       kDesk},
      {L"Control Panel",
       {{HKCU, explorerCv, L"NoControlPanel"}},
       L"Cannot open the Control Panel, a message appears \"This operation has been cancelled "
       L"due to restrictions in effect on this computer. Please contact your system "
       L"administrator\".",
       kDesk},
      {L"Display Settings",
       {{HKLM, systemCv, L"NoDispCPL"}, {HKCU, systemCv, L"NoDispCPL"}},
       L"Display Settings do not work.",
       kDesk},
      {L"Folder Options",
       {{HKCU, explorerCv, L"NoFolderOptions"}},
       L"Folder Options are missing from the Tool menu and Control Panel.",
       kDesk},
      {L"Notification center",
       {{HKCU, L"Software\\Policies\\Microsoft\\Windows\\Explorer", L"DisableNotificationCenter"}},
       L"The notification center does not appear on the taskbar.",
       kDesk},
      {L"System tray icon",
       {{HKCU, explorerCv, L"NoTrayItemsDisplay"}},
       L"The tray icon does not appear on the taskbar.",
       kDesk},
      {L"System Restore",
       {{HKLM, L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\SystemRestore", L"DisableSR"},
        {HKLM, L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\SystemRestore", L"DisableConfig"}},
       L"System Restore has been turned off by your administrator.",
       kSys},
      {L"Start Menu context menu",
       {{HKCU, L"SOFTWARE\\Policies\\Microsoft\\Windows\\Explorer", L"DisableContextMenusInStart"}},
       L"Context menu on the Start menu does not appear.",
       kDesk},
      {L"Taskbar context menu",
       {{HKCU, EXPLORERCV, L"NoTrayContextMenu"}},
       L"Context menu on the taskbar does not appear.",
       kDesk},
      {L"Explorer context menu",
       {{HKCU, EXPLORERCV, L"NoViewContextMenu"}},
       L"Context menu in the explorer does not appear.",
       kDesk},
      {L"This PC properties",
       {{HKCU, EXPLORERCV, L"NoPropertiesMyComputer"}},
       L"Properties are missing from the context menu on This PC.",
       kDesk},
      {L"Recycle Bin properties",
       {{HKCU, EXPLORERCV, L"NoPropertiesRecycleBin"}},
       L"Properties are missing from the context menu on Recycle Bin.",
       kDesk},
      {L"Shutdown, Sleep, Restart, Hibernate command",
       {{HKCU, EXPLORERCV, L"NoClose"}},
       L"Shutdown, Sleep, Restart, and Hibernate command is missing from the Start Menu.",
       kDesk},
      {L"Hidden Drive", {{HKCU, EXPLORERCV, L"NoDrives"}}, L"Hidden drive(s).", kDesk},
      {L"Restricted Drive",
       {{HKCU, EXPLORERCV, L"NoViewOnDrive"}},
       L"Restricted access to drive.",
       kDesk},
      {L"Win hotkey",
       {{HKCU, EXPLORERCV, L"NoWinKeys"}},
       L"Cannot use Windows key combinations, such as the hotkey WIN+R.",
       kSys},
      {L"Restricted applications",
       {{HKCU, EXPLORERCV, L"DisallowRun"}},
       L"Restricted running applications.",
       kDesk},
      {L"Hardware tab",
       {{HKCU, EXPLORERCV, L"NoHardwareTab"}},
       L"Hardware tab is missing from local drives Properties.",
       kDesk},
      {L"Control Panel item",
       {{HKCU, EXPLORERCV, L"DisallowCpl"}, {HKCU, EXPLORERCV, L"RestrictCpl"}},
       L"Some items are missing from the Control Panel.",
       kDesk},
      {L"Change password",
       {{HKCU, systemCv, L"DisableChangePassword"}},
       L"The user cannot change the password.",
       kSys},
      {L"Sign Out menu",
       {{HKCU, explorerCv, L"StartMenuLogOff"}, {HKCU, explorerCv, L"NoLogoff"}},
       L"Sign Out is missing from the Start Menu.",
       kDesk},
      {L"Aero Shake",
       {{HKCU, L"Software\\Policies\\Microsoft\\Windows\\Explorer",
         L"NoWindowMinimizingShortcuts"}},
       L"Aero Shake doesn't work.",
       kDesk},
      {L"Run as Administrator",
       {{HKCU, explorerCv, L"HideRunAsVerb"}},
       L"The Run as Administrator menu is missing.",
       kDesk},
      {L"Programs and Features",
       {{HKCU, kCvPoliciesSoftware + L"Programs", L"NoProgramsCPL"}},
       L"Appears message \"Your system administrator has disabled Programs and Features\".",
       kSys},
      {L"Taskbar resize",
       {{HKCU, explorerCv, L"TaskbarNoResize"}},
       L"Can't change the size of the taskbar.",
       kDesk},
      {L"Clock",
       {{HKCU, explorerCv, L"HideClock"}},
       L"Clock is missing from the system notification area.",
       kDesk},
      {L"Desktop Background",
       {{HKCU, kCvPoliciesSoftware + L"ActiveDesktop", L"NoChangingWallPaper"}},
       L"Can't change desktop background.",
       kDesk},
      {L"Desktop icon",
       {{HKCU, systemCv, L"NoDispBackgroundPage"}},
       L"Can't change desktop icon.",
       kDesk},
      {L"Desktop theme",
       {{HKCU, explorerCv, L"NoThemesTab"}},
       L"Can't change desktop theme.",
       kDesk},
      {L"Color and appearance",
       {{HKCU, systemCv, L"NoDispAppearancePage"}},
       L"Can't change color and appearance.",
       kDesk},
      {L"Screen saver",
       {{HKCU, systemCv, L"NoDispScrSavPage"}},
       L"Can't change screen saver.",
       kDesk},
  };
}

}  // namespace

const std::vector<RestrictionEntry>& RestrictionCatalogue() {
  static const std::vector<RestrictionEntry> catalogue = BuildCatalogue();
  return catalogue;
}

void ScanRestrictions(RestrictionList& list, std::map<std::wstring, std::wstring>* unreadable) {
  list.clearItems();
  for (const auto& entry : RestrictionCatalogue()) {
    bool inForce = false;
    for (const auto& at : entry.Locations) {
      std::wstring why;
      if (IsPolicyValueSet(at.RootKey, at.KeyPath, at.ValueName, &why)) {
        inForce = true;
        break;
      }
      if (!why.empty() && unreadable) (*unreadable)[entry.Name] = why;
    }
    if (inForce) {
      if (unreadable) unreadable->erase(entry.Name);
      AddRestrictionItem(list, entry.Name, entry.Description, entry.GroupID);
    }
  }
}

void RemoveSelectedRestrictions(RestrictionList& list) {
  std::vector<const RestrictionEntry*> notLifted;
  for (const auto& entry : RestrictionCatalogue()) {
    if (!IsRestrictionSelected(list, entry.Name)) continue;
    bool lifted = true;
    for (const auto& at : entry.Locations)
      lifted = RemovePolicyValue(list, at.RootKey, at.KeyPath, at.ValueName, entry.Name) && lifted;
    if (!lifted) notLifted.push_back(&entry);
  }
  // Another entry's removal marks every checked item, this one's too, and may have
  // taken its name out of the selection; a restriction still in force must not show
  // the check mark, and must stay selected so that the next press tries it again.
  for (const RestrictionEntry* entry : notLifted) {
    const auto& items = list.items();
    for (std::size_t i = 0; i < items.size(); ++i)
      if (SameTextNoCase(TrimBlanks(items[i].caption), entry->Name))
        list.setImage(i, kImageRestricted);
    list.addToSelection(entry->Name);
  }
}

}  // namespace korvane
