// The Home page's "Quick Task" section: System File Checker, the component store
// repair and a System Restore point.
#pragma once

#include <string>
#include <vector>

namespace korvane {

inline constexpr int kShowToolConsole = 5;  // SW_SHOW: the tool's own console stays visible
inline const std::wstring kSfcCommand = L"sfc /scannow";
inline const std::wstring kDismCommand = L"DISM /Online /Cleanup-Image /RestoreHealth";

inline const std::wstring kSystemRestoreKey =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\SystemRestore";
inline const std::wstring kRestorePointFrequencyValue = L"SystemRestorePointCreationFrequency";
inline const std::wstring kRestorePointDescription = L"Created by Korvane";

// btnSCANSFCClick: runs System File Checker in its console and says "Done!" when it
// has ended, whatever its exit code (the tool reports its own findings).  A checker
// that cannot be started raises KorvaneError naming it, and "Done!" is not shown.
void RunSystemFileCheck();

// btnSCANDISMClick: the same with DISM's component store repair.
void RunComponentStoreRepair();

// Asks the System Restore provider for a restore point; a failed COM or WMI step
// raises KorvaneError carrying the COM error's text.
void CreateRestorePoint(const std::wstring& description);

// btnRSPointClick (and mnuCreateRestorePointClick): lifts Windows' limit on how often
// restore points may be made, requests one, reports "Done!" or the request's error
// text, and then puts the limit back as it was.  A limit that cannot be lifted
// raises KorvaneError before anything is requested.
void CreateRestorePointTask();

// One "Quick Task" box of the Home page.
struct HomeTask {
  const char* id;              // the command line's id is task.<id>
  const wchar_t* caption;      // the box's caption
  const wchar_t* description;  // the text beside its button
  const wchar_t* button;       // the button's caption
  void (*routine)();
};

// In the command line's order; the window places each box by its routine.
const std::vector<HomeTask>& HomeTasks();

}  // namespace korvane
