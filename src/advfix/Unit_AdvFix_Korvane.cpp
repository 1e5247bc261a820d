#include "advfix/Unit_AdvFix_Korvane.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "common/KorvaneError.h"
#include "common/Messages.h"
#include "common/Registry.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "fileassoc/Unit_FORMLAIN_Korvane.h"
#include "platform/Platform.h"

namespace korvane {
namespace {

constexpr int kShowHide = 0;
constexpr int kShowNormal = 1;
constexpr int kShowShow = 5;

const wchar_t kRecycleBinClsid[] = L"{645FF040-5081-101B-9F08-00AA002F954E}";
const wchar_t kNonEnumKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\NonEnum";

// Three repairs swallow their errors whole: at the first refusal the remaining
// steps are dropped and the user sees nothing, not even the notice.  The reason
// still goes to a front end that can show it.
template <typename F>
void DiscardingErrors(F&& steps) {
  try {
    steps();
  } catch (const KorvaneError& e) {
    Sys().noteFailure(e.message());
  }
}

// One key, one value.  The key is closed again before anything else is opened,
// so a key that failed to open can never receive a value meant for another.
void WriteDword(Handle root, std::uint32_t access, const std::wstring& path, bool create,
                const std::wstring& name, std::int32_t value) {
  Registry reg(access);
  reg.setRootKey(root);
  reg.openKey(path, create);
  reg.writeInteger(name, value);
  reg.closeKey();
}

void WriteText(Handle root, std::uint32_t access, const std::wstring& path, bool create,
               const std::wstring& name, const std::wstring& value) {
  Registry reg(access);
  reg.setRootKey(root);
  reg.openKey(path, create);
  reg.writeString(name, value);
  reg.closeKey();
}

void DeleteValueOf(Handle root, std::uint32_t access, const std::wstring& path, bool create,
                   const std::wstring& name) {
  Registry reg(access);
  reg.setRootKey(root);
  reg.openKey(path, create);
  reg.deleteValue(name);
  reg.closeKey();
}

[[noreturn]] void RaiseCannotCreate(const std::wstring& path, const std::wstring& reason) {
  throw KorvaneError(L"Cannot create file \"" + path + L"\". " + reason);
}

void RunToolThenNotice(const std::wstring& commandLine, int showMode) {
  RunToolAndWait(commandLine, showMode);
  ShowFixedNotice();
}

}  // namespace

void ShowFixedNotice() { ShowMessage(kFixedNoticeText, kFixedNoticeTitle, kMbIconInformation); }

std::wstring HostsFilePath() { return GetWinDir() + L"\\System32\\drivers\\etc\\hosts"; }

std::wstring FolderViewBatchPath() { return TempPath + L"tempbat.bat"; }

// ------------------------------------------------------ Desktop & File Explorer

void FixExplorerShell() {
  WriteText(kHkeyLocalMachine, kKeyAllAccess,
            L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", true, L"Shell",
            L"explorer.exe");
  ShowFixedNotice();
}

void FixDesktopIconSettings() {
  DiscardingErrors([] {
    const wchar_t* const icons[] = {
        kRecycleBinClsid,                           // Recycle Bin
        L"{20D04FE0-3AEA-1069-A2D8-08002B30309D}",  // Computer
        L"{59031a47-3f72-44a7-89c5-5595fe6b30ee}",  // the user's files
        L"{5399E694-6CE5-4D6C-8FCE-1D8870FDCBA0}",  // Control Panel
        L"{F02C1A0D-BE21-4350-88B0-7367FC96EF3C}",  // Network
    };
    for (const wchar_t* icon : icons)
      DeleteValueOf(kHkeyCurrentUser, kKeyAllAccess, kNonEnumKey, true, icon);
    ShowFixedNotice();
  });
}

void FixRecycleBinOnDesktop() {
  DeleteValueOf(kHkeyCurrentUser, kKeyWrite, kNonEnumKey, true, kRecycleBinClsid);
  DeleteValueOf(kHkeyCurrentUser, kKeyWrite,
                L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\HideDesktopIcons\\"
                L"NewStartPanel",
                true, kRecycleBinClsid);
  ShowFixedNotice();
}

void FixRecycleBinIcon() {
  const std::wstring imageres = GetWinDir() + L"\\System32\\imageres.dll";
  Registry reg(kKeyWrite);
  reg.setRootKey(kHkeyCurrentUser);
  reg.openKey(std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CLSID\\") +
                  kRecycleBinClsid + L"\\DefaultIcon",
              true);
  reg.writeString(L"", imageres + L",-55");
  reg.writeString(L"empty", imageres + L",-55");
  reg.writeString(L"full", imageres + L",-54");
  reg.closeKey();
  ShowFixedNotice();
}

void FixCorruptedRecycleBin() {
  // Taken exactly as typed: "d" is drive D, but "D " or "C:" name no drive and
  // end the repair without a word.
  const std::wstring drive =
      Sys().inputBox(L"Fix Corrupted Recycle Bin", L"Enter the drive letter (example: C)", L"");
  if (drive.empty()) return;
  if (!DirectoryExists(drive + L":\\")) {
    Sys().noteFailure(L"There is no drive \"" + drive + L":\\\".");
    return;
  }
  if (ShowMessage(L"All items on the Recycle Bin will be deleted, do you want to continue?",
                  kFixedNoticeTitle, kMbYesNo | kMbIconQuestion) != kIdYes)
    return;
  const std::wstring bin = drive + L":\\$Recycle.Bin";
  if (DirectoryExists(bin)) DeleteFolderTreeOrRaise(bin);
  ShowFixedNotice();
}

void FixThumbnails() {
  WriteDword(kHkeyCurrentUser, kKeyWrite,
             L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", true,
             L"IconsOnly", 0);
  ShowFixedNotice();
}

void FixFileFolderProperties() {
  enum class Act { DeleteValue, SetDefault, OnlyCreate };
  struct Step {
    Handle root;
    const wchar_t* key;
    bool create;
    Act act;
    const wchar_t* text;  // value name to delete, or the default value to set
  };
  const wchar_t* const sharing = L"{f81e9010-6ea4-11ce-a7ff-00aa003ca9f6}";
  const Step steps[] = {
      {kHkeyCurrentUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", true,
       Act::DeleteValue, L"NoSecurityTab"},
      // The only policy key that is not created: an absent AppCompat policy hides nothing.
      {kHkeyLocalMachine, L"SOFTWARE\\Policies\\Microsoft\\Windows\\AppCompat", false,
       Act::DeleteValue, L"DisablePropPage"},
      {kHkeyClassesRoot,
       L"*\\shellex\\PropertySheetHandlers\\{883373C3-BF89-11D1-BE35-080036B11A03}", true,
       Act::SetDefault, L"Summary Properties Page"},
      {kHkeyCurrentUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", true,
       Act::DeleteValue, L"NoCustomizeThisFolder"},
      {kHkeyClassesRoot,
       L"AllFilesystemObjects\\shellex\\ContextMenuHandlers\\{596AB062-B4D2-4215-9F74-"
       L"E9109B0A8153}",
       true, Act::OnlyCreate, nullptr},
      {kHkeyClassesRoot,
       L"CLSID\\{450D8FBA-AD25-11D0-98A8-0800361B1103}\\shellex\\ContextMenuHandlers\\"
       L"{596AB062-B4D2-4215-9F74-E9109B0A8153}",
       true, Act::OnlyCreate, nullptr},
      {kHkeyClassesRoot,
       L"Directory\\shellex\\ContextMenuHandlers\\{596AB062-B4D2-4215-9F74-E9109B0A8153}", true,
       Act::OnlyCreate, nullptr},
      {kHkeyClassesRoot,
       L"Drive\\shellex\\ContextMenuHandlers\\{596AB062-B4D2-4215-9F74-E9109B0A8153}", true,
       Act::OnlyCreate, nullptr},
      {kHkeyClassesRoot,
       L"AllFilesystemObjects\\shellex\\PropertySheetHandlers\\"
       L"{596AB062-B4D2-4215-9F74-E9109B0A8153}",
       true, Act::OnlyCreate, nullptr},
      {kHkeyClassesRoot,
       L"CLSID\\{450D8FBA-AD25-11D0-98A8-0800361B1103}\\shellex\\PropertySheetHandlers\\"
       L"{596AB062-B4D2-4215-9F74-E9109B0A8153}",
       true, Act::OnlyCreate, nullptr},
      {kHkeyClassesRoot,
       L"Directory\\shellex\\PropertySheetHandlers\\{596AB062-B4D2-4215-9F74-E9109B0A8153}", true,
       Act::OnlyCreate, nullptr},
      {kHkeyClassesRoot,
       L"Drive\\shellex\\PropertySheetHandlers\\{596AB062-B4D2-4215-9F74-E9109B0A8153}", true,
       Act::OnlyCreate, nullptr},
      {kHkeyClassesRoot, L"*\\shellex\\ContextMenuHandlers\\Sharing", true, Act::SetDefault,
       sharing},
      {kHkeyClassesRoot, L"Directory\\Background\\shellex\\ContextMenuHandlers\\Sharing", true,
       Act::SetDefault, sharing},
      {kHkeyClassesRoot, L"Directory\\shellex\\ContextMenuHandlers\\Sharing", true, Act::SetDefault,
       sharing},
      {kHkeyClassesRoot, L"Drive\\shellex\\ContextMenuHandlers\\Sharing", true, Act::SetDefault,
       sharing},
      {kHkeyClassesRoot, L"LibraryFolder\\background\\shellex\\ContextMenuHandlers\\Sharing", true,
       Act::SetDefault, sharing},
      {kHkeyClassesRoot, L"UserLibraryFolder\\shellex\\ContextMenuHandlers\\Sharing", true,
       Act::SetDefault, sharing},
      {kHkeyClassesRoot, L"Directory\\shellex\\PropertySheetHandlers\\Sharing", true,
       Act::SetDefault, sharing},
      {kHkeyClassesRoot, L"Drive\\shellex\\PropertySheetHandlers\\Sharing", true, Act::SetDefault,
       sharing},
  };
  DiscardingErrors([&] {
    for (const Step& step : steps) {
      Registry reg(kKeyAllAccess);
      reg.setRootKey(step.root);
      reg.openKey(step.key, step.create);
      switch (step.act) {
        case Act::DeleteValue:
          reg.deleteValue(step.text);
          break;
        case Act::SetDefault:
          reg.writeString(L"", step.text);
          break;
        case Act::OnlyCreate:
          break;
      }
      reg.closeKey();
    }
    ShowFixedNotice();
  });
}

void FixDriveIcons() {
  DiscardingErrors([] {
    Registry reg(kKeyAllAccess);
    reg.setRootKey(kHkeyLocalMachine);
    // Only below an Explorer key that did open: with none open, the relative name
    // would be looked up at the root of the hive instead.
    if (reg.openKey(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer", false) &&
        reg.keyExists(L"DriveIcons"))
      reg.deleteKey(L"DriveIcons");
    reg.closeKey();
    ShowFixedNotice();
  });
}

void ResetFolderViewSettings() {
  const std::wstring batch = FolderViewBatchPath();
  const std::wstring command = BatchCommandLine(batch);
  DeleteScratchFile(batch);
  RunResult run;
  {
    // Held from the check against the payload until the batch has ended: it runs
    // with administrator rights, and TEMP is open to every program of the user.
    HeldFile held = WriteHeldFile(batch, LinesToCrLfBytes(FORM_LAIN().mRESET_FOLDERVIEW));
    if (FileExists(batch)) run = RunProcess(command, kShowHide);
  }
  DeleteScratchFile(batch);
  if (!run.ok()) throw KorvaneError(run.failure);
  ShowFixedNotice();
}

// ------------------------------------------------------ Internet & Connections

void FlushDnsCache() { RunToolThenNotice(L"powershell.exe /c ipconfig /flushdns", kShowNormal); }

void RenewIPAddress() {
  RunToolAndWait(L"ipconfig /release", kShowNormal);
  RunToolAndWait(L"ipconfig /renew", kShowNormal);
  ShowFixedNotice();
}

void ResetFirewall() { RunToolThenNotice(L"netsh advfirewall reset", kShowNormal); }

void ResetHostsFile() {
  // The new text goes into a file beside the hosts file and then takes its place in
  // one step, so a refusal (a read-only hosts file, a locked one) leaves the old
  // file exactly as it was instead of leaving the machine with none.  A write can
  // fail after the staged file was created (a full disk): whatever went wrong,
  // nothing of the attempt is left in drivers\etc.
  const std::wstring hosts = HostsFilePath();
  const std::wstring staged = hosts + L".korvane-new";
  if (!Sys().writeFile(staged, LinesToCrLfBytes(FORM_LAIN().MEMO_HOSTS)) ||
      !Sys().replaceFile(staged, hosts)) {
    const std::wstring reason = Sys().lastErrorText();
    Sys().deleteFile(staged);
    RaiseCannotCreate(hosts, reason);
  }
  ShowFixedNotice();
}

void ResetTcpIp() { RunToolThenNotice(L"netsh int ip reset", kShowNormal); }

void ResetWinsock() { RunToolThenNotice(L"netsh winsock reset", kShowNormal); }

void ResetIESettings() {
  RunToolThenNotice(L"rundll32.exe inetcpl.cpl,ResetIEtoDefaults", kShowHide);
}

void ResetProxy() { RunToolThenNotice(L"netsh winhttp reset proxy", kShowNormal); }

// ---------------------------------------------------------------------- System

void FixWindowsSearch() {
  RunToolAndWait(L"net stop WSearch /Y", kShowNormal);
  // Opened only if present: without the service there is nothing to re-enable, and
  // the refused write ends the repair before the service is started again.
  WriteDword(kHkeyLocalMachine, kKeyWrite, L"SYSTEM\\CurrentControlSet\\Services\\WSearch", false,
             L"Start", 2);
  const wchar_t searchKey[] = L"SOFTWARE\\Microsoft\\Windows Search";
  WriteDword(kHkeyLocalMachine, kKeyWrite, searchKey, false, L"SetupCompletedSuccessfully", 0);
  Sys().processMessages();
  // Gives the service manager time to settle after the stop before asking for a start.
  Sys().sleep(4000);
  // The 0 tells the service to set itself up afresh; once it has rebuilt its index it
  // writes 1 again.  So the value is the repair's only up to the start.
  HandOverValue(kHkeyLocalMachine, searchKey, L"SetupCompletedSuccessfully");
  RunToolAndWait(L"net start WSearch", kShowNormal);
  ShowFixedNotice();
}

void FixHibernateOption() {
  WriteDword(kHkeyLocalMachine, kKeyWrite,
             L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FlyoutMenuSettings", true,
             L"ShowHibernateOption", 1);
  StartTool(L"powercfg -h on", kShowShow);
  ShowFixedNotice();
}

void FixPlugAndPlay() {
  WriteDword(kHkeyLocalMachine, kKeyWrite, L"SYSTEM\\CurrentControlSet\\Services\\PlugPlay", true,
             L"Start", 2);
  Sys().processMessages();
  Sys().sleep(200);
  StartTool(L"net Start PlugPlay", kShowShow);
  ShowFixedNotice();
}

void FixWindowsScriptHost() {
  WriteDword(kHkeyLocalMachine, kKeyAllAccess,
             L"SOFTWARE\\Microsoft\\Windows Script Host\\Settings", true, L"Enabled", 1);
  ShowFixedNotice();
}

void FixSystemRestore() {
  const wchar_t* const commands[] = {
      L"wmic /namespace:\\\\root\\default path SystemRestore Call enable \"C:\\\"",
      L"SC config \"VSS\" start=Auto",
      L"SC config \"Schedule\" start=Auto",
      L"SC config \"swprv\" start=Auto",
      L"Net Start VSS",
      L"Net Start swprv",
      L"Net Start Schedule",
  };
  // Each command runs whatever became of the ones before; those that could not be
  // started are named together at the end, instead of the notice.
  std::vector<std::wstring> failures;
  for (const wchar_t* command : commands) {
    const RunResult run = RunProcess(command, kShowShow);
    if (!run.ok() && std::find(failures.begin(), failures.end(), run.failure) == failures.end())
      failures.push_back(run.failure);
  }
  if (!failures.empty()) {
    std::wstring text;
    for (const std::wstring& f : failures) text += (text.empty() ? L"" : L".\n") + f;
    throw KorvaneError(text);
  }
  ShowFixedNotice();
}

void ResetGroupPolicy() {
  const std::wstring system = GetSysDir();
  const std::wstring machinePolicy = system + L"\\GroupPolicy";
  const std::wstring userPolicy = system + L"\\GroupPolicyUsers";
  if (DirectoryExists(machinePolicy)) DeleteFolderTreeOrRaise(machinePolicy);
  if (DirectoryExists(userPolicy)) DeleteFolderTreeOrRaise(userPolicy);
  RunToolAndWait(L"gpupdate /force", kShowShow);
  ShowFixedNotice();
}

// ------------------------------------------------------------------ the page

const std::vector<AdvancedRow>& AdvancedRows() {
  static const wchar_t kDesktop[] = L"Desktop && File Explorer";
  static const wchar_t kInternet[] = L"Internet && Connections";
  static const wchar_t kSystem[] = L"System";
  static const wchar_t kApps[] = L"Updates && Apps";
  static const std::vector<AdvancedRow> rows = {
      {kDesktop, L"Explorer.exe does not start automatically.", "btnFIXEXPLOREREXE", L"FIX", 8,
       &FixExplorerShell, "explorer-shell"},
      {kDesktop, L"Options on the Desktop Icon Settings cannot be changed.", "btnFIXDESKTOPICON",
       L"FIX", 8, &FixDesktopIconSettings, "desktop-icon-settings"},
      {kDesktop, L"The Recycle Bin icon does not appear on the desktop.", "btnFIXRECYCLEBINICON",
       L"FIX", 8, &FixRecycleBinOnDesktop, "recycle-bin-on-desktop"},
      {kDesktop, L"The Recycle Bin icon is wrong.", "btnFIXICONRECYCLEBIN", L"FIX", 8,
       &FixRecycleBinIcon, "recycle-bin-icon"},
      {kDesktop,
       L"Fix \"The Recycle Bin on x:\\ is corrupted. Do you want to empty the Recycle Bin for "
       L"this drive?\".",
       "btnFIXRECYLEBINCORRUPT", L"FIX", 8, &FixCorruptedRecycleBin, "corrupted-recycle-bin"},
      {kDesktop, L"Thumbnails do not appear in explorer.", "btnFIXTHUMBNAILSFOLDER", L"FIX", 8,
       &FixThumbnails, "thumbnails"},
      {kDesktop,
       L"Security tab, Details, Previous Versions, etc are missing from the file/folder "
       L"properties. ",
       "btnFIXFILEFOLDERPROPERTIES", L"FIX", 8, &FixFileFolderProperties, "file-folder-properties"},
      {kDesktop, L"The drive(s) icon in File Explorer is wrong.", "btnFIXDRIVEICON", L"FIX", 8,
       &FixDriveIcons, "drive-icons"},
      {kDesktop, L"Reset Folder View Settings.", "btnFIXFOLDERVIEWSETTINGS", L"Reset", 8,
       &ResetFolderViewSettings, "folder-view-settings"},
      {kInternet, L"Problem with internet connection. Flush Windows DNS Cache.", "btnFIXDNSCACHE",
       L"FIX", 8, &FlushDnsCache, "dns-cache"},
      {kInternet, L"Can't connect to the internet. Renew IP Address.", "btnRenewIP", L"FIX", 8,
       &RenewIPAddress, "renew-ip"},
      {kInternet, L"Reset Windows Firewall configuration.", "btnRESETFIREWALL", L"Reset", 8,
       &ResetFirewall, "firewall"},
      {kInternet, L"Reset host file to default.", "btnFIXFILEHOST", L"Reset", 9, &ResetHostsFile,
       "hosts-file"},
      {kInternet, L"Can't connect to the internet. Reset Internet Protocol (TCP/IP).",
       "btnFIXTCPIP", L"Reset", 8, &ResetTcpIp, "tcp-ip"},
      {kInternet, L"Can't connect to the internet. Reset Winsock.", "btnFIXWINSOCK", L"Reset", 8,
       &ResetWinsock, "winsock"},
      {kInternet, L"Reset Internet Explorer settings.", "btnRESETIESETTINGS", L"Reset", 8,
       &ResetIESettings, "ie-settings"},
      {kInternet, L"Reset proxy settings.", "btnResetProxy", L"Reset", 8, &ResetProxy, "proxy"},
      {kSystem, L"Windows Search does not work.", "btnFIXWINSEARCH", L"FIX", 8, &FixWindowsSearch,
       "windows-search"},
      {kSystem, L"Hibernate option is missing from the shutdown menu.", "btnFIXHIBERNATE", L"FIX",
       8, &FixHibernateOption, "hibernate-option"},
      {kSystem, L"New devices are not automatically detected.", "btnFIXPLUGPLAY", L"FIX", 8,
       &FixPlugAndPlay, "plug-and-play"},
      {kSystem, L"Message appears \"Windows Script Host access is disabled on this machine\".",
       "btnFIXWINSCRIPTHOST", L"FIX", 8, &FixWindowsScriptHost, "windows-script-host"},
      {kSystem, L"System Restore doesn't work.", "btnFIXSYSRESTORE", L"FIX", 6, &FixSystemRestore,
       "system-restore"},
      {kSystem, L"Reset Group Policy Editor (Gpedit) to defaults.", "btnResetGPedit", L"Reset", 6,
       &ResetGroupPolicy, "group-policy"},
      {kApps, L"Windows Update does not download updates. Reset Windows Update.",
       "btnRESETWINUPDATE", L"Reset", 8, &ResetWindowsUpdate, "windows-update", false},
      {kApps, L"The Microsoft Store does not open. Clear the Store cache.", "btnCLEARSTORECACHE",
       L"FIX", 8, &ClearStoreCache, "store-cache", false},
      {kApps, L"Icons show wrong pictures. Rebuild the icon cache.", "btnREBUILDICONCACHE", L"FIX",
       8, &RebuildIconCache, "icon-cache", false},
      {kApps, L"Documents stay in the print queue. Clear the print queue.", "btnCLEARPRINTQUEUE",
       L"FIX", 8, &ClearPrintQueue, "print-queue", false},
      {kApps, L"Windows Search finds nothing. Rebuild the search index.", "btnREBUILDSEARCHINDEX",
       L"FIX", 8, &RebuildSearchIndex, "search-index", false},
      {kApps, L"WMI does not work. Check the WMI repository.", "btnCHECKWMIREPOSITORY", L"FIX", 8,
       &CheckWmiRepository, "wmi-repository", false},
  };
  return rows;
}

}  // namespace korvane
