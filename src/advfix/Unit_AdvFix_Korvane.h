// The Advanced page's one-button repairs.  Each routine runs on the UI thread,
// takes nothing, returns nothing and ends with ShowFixedNotice(); errors it does
// not discard reach the window's dispatcher as KorvaneError.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

inline const std::wstring kFixedNoticeTitle = L"Korvane ";  // the trailing blank is deliberate
inline const std::wstring kFixedNoticeText =
    L"The problem has been fixed, restart the computer to see changes!";

void ShowFixedNotice();

// --- Desktop & File Explorer ---
void FixExplorerShell();
void FixDesktopIconSettings();
void FixRecycleBinOnDesktop();
void FixRecycleBinIcon();
void FixCorruptedRecycleBin();
void FixThumbnails();
void FixFileFolderProperties();
void FixDriveIcons();
void ResetFolderViewSettings();

// --- Internet & Connections ---
void FlushDnsCache();
void RenewIPAddress();
void ResetFirewall();
void ResetHostsFile();
void ResetTcpIp();
void ResetWinsock();
void ResetIESettings();
void ResetProxy();

// --- System ---
void FixWindowsSearch();
void FixHibernateOption();
void FixPlugAndPlay();
void FixWindowsScriptHost();
void FixSystemRestore();
void ResetGroupPolicy();

// --- Updates & Apps ---
// These end with "Done!": what they repair works at once, without a restart.
void ResetWindowsUpdate();
void ClearStoreCache();
void RebuildIconCache();
void ClearPrintQueue();
void RebuildSearchIndex();
void CheckWmiRepository();

inline const std::wstring kWmiConsistentText = L"The WMI repository is consistent.";
std::wstring WmiInconsistentQuestion(std::uint32_t exitCode);
// The services Windows Update needs stopped, in the order they are stopped.
const std::vector<std::wstring>& WindowsUpdateServices();
// The first of folder + ".bak", ".bak2", ".bak3" ... that nothing has taken.
std::wstring SetAsideName(const std::wstring& folder);

// One row of the Advanced page, in display order.  The window puts a section
// header panel before the first row of each section and names each button's
// click handler button + "Click"; the handler only calls `routine`.
struct AdvancedRow {
  const wchar_t* section;  // header caption as stored: "&&" shows as one "&"
  const wchar_t* label;    // symptom text, exactly as shown
  const char* button;      // component name, e.g. "btnFIXEXPLOREREXE"
  const wchar_t* caption;  // "FIX" or "Reset"
  int buttonTop;           // button's top inside its 40-pixel row panel
  void (*routine)();
  // The command line's id is advanced.<id>: named after what the routine repairs
  // rather than after the row's text, so it stays put when the wording changes.
  const char* id;
  // The row's repair ends with ShowFixedNotice(); the others say "Done!".
  bool restartNotice = true;
};

const std::vector<AdvancedRow>& AdvancedRows();

// Paths the repairs touch, for callers that want to show or check them.
std::wstring HostsFilePath();
std::wstring FolderViewBatchPath();

}  // namespace korvane
