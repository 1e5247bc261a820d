// The "Updates & Apps" repairs: services stopped and started through the Service
// Control Manager, caches deleted, folders renamed aside so that an undo can put
// them back, and Windows' own tools started from the System directory.
#include <cstdint>
#include <optional>

#include "advfix/Unit_AdvFix_Korvane.h"
#include "base/Text.h"
#include "common/KorvaneError.h"
#include "common/Messages.h"
#include "common/RestartExplorer.h"
#include "common/Services.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "platform/Platform.h"

namespace korvane {
namespace {

constexpr int kShowNormal = 1;

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

std::wstring ProgramDataOrRaise() {
  // The known folder, not %ALLUSERSPROFILE% or %ProgramData%: the environment is the
  // user's to set.
  if (auto folder = Sys().programDataFolder()) return *folder;
  throw KorvaneError(L"The ProgramData folder cannot be found");
}

// "qmgr*.dat": one star, compared without regard to case.
bool MatchesPattern(const std::wstring& name, const std::wstring& pattern) {
  const std::wstring n = LowerText(name), p = LowerText(pattern);
  const size_t star = p.find(L'*');
  if (star == std::wstring::npos) return n == p;
  const std::wstring head = p.substr(0, star), tail = p.substr(star + 1);
  return n.size() >= head.size() + tail.size() && n.compare(0, head.size(), head) == 0 &&
         n.compare(n.size() - tail.size(), tail.size(), tail) == 0;
}

// Every cache file goes through here.  Some lie in the user's own folders, which
// every program of the user can change (and the print queue's folder takes files
// from users too): a link planted anywhere on the way would lead the deletion
// elsewhere, so every folder from the drive down is held as itself while the file,
// opened as itself, goes; a link in the file's own place is removed as a link.
void DeleteCacheFile(const std::wstring& path, RepairProgress& progress) {
  if (const long error = Sys().deleteFileNoFollow(path)) {
    throw KorvaneError(L"Cannot delete file " + Quoted(path) + L". " +
                       (error == kErrorStoppedOnSymlink
                            ? std::wstring(L"It lies behind a link, which is not followed")
                            : Sys().errorText(error)));
  }
  progress.note(L"deleted " + Quoted(path));
}

// The files of `folder` whose names match one of `patterns` ("*": all of them); a
// folder that is not there holds none.
void DeleteFilesIn(const std::wstring& folder, const std::vector<std::wstring>& patterns,
                   RepairProgress& progress) {
  if (!DirectoryExists(folder)) return;
  std::vector<std::wstring> names;
  if (!Sys().listFiles(folder, &names))
    throw KorvaneError(L"Cannot read folder " + Quoted(folder) + L". " + Sys().lastErrorText());
  for (const std::wstring& name : names)
    for (const std::wstring& pattern : patterns)
      if (MatchesPattern(name, pattern)) {
        DeleteCacheFile(folder + L"\\" + name, progress);
        break;
      }
}

}  // namespace

std::wstring SetAsideName(const std::wstring& folder) {
  for (int n = 1; n < 1000; ++n) {
    const std::wstring name = folder + L".bak" + (n == 1 ? L"" : std::to_wstring(n));
    if (Sys().getFileAttributes(name) == kInvalidFileAttributes) return name;
  }
  throw KorvaneError(L"Every name for a copy of " + Quoted(folder) + L" is taken");
}

void RenameFolderAside(const std::wstring& folder, RepairProgress& progress) {
  const std::uint32_t a = Sys().getFileAttributes(folder);
  if (a == kInvalidFileAttributes || !(a & kFileAttributeDirectory)) return;
  const std::wstring aside = SetAsideName(folder);
  if (!Sys().renameFolder(folder, aside))
    throw KorvaneError(L"Cannot rename folder " + Quoted(folder) + L" to " + Quoted(aside) + L". " +
                       Sys().lastErrorText());
  progress.note(L"renamed " + Quoted(folder) + L" to " + Quoted(aside));
}

const std::vector<std::wstring>& WindowsUpdateServices() {
  // UsoSvc first: while it runs it starts wuauserv again.
  static const std::vector<std::wstring> services = {L"UsoSvc", L"BITS", L"wuauserv", L"AppIDSvc",
                                                     L"CryptSvc"};
  return services;
}

void ResetWindowsUpdate() {
  const std::wstring programData = ProgramDataOrRaise();
  WithServicesStopped(WindowsUpdateServices(), [&](RepairProgress& progress) {
    DeleteFilesIn(programData + L"\\Microsoft\\Network\\Downloader", {L"qmgr*.dat"}, progress);
    RenameFolderAside(GetWinDir() + L"\\SoftwareDistribution", progress);
    RenameFolderAside(GetSysDir() + L"\\catroot2", progress);
  });
  ShowDone();
}

void ClearStoreCache() {
  const std::wstring tool = GetSysDir() + L"\\WSReset.exe";
  const RunResult run = RunProcess(CommandLineForPath(tool), kShowNormal);
  if (!run.ok()) throw KorvaneError(run.failure);
  if (run.exitCode != 0)
    throw KorvaneError(L"WSReset.exe ended with exit code " + std::to_wstring(run.exitCode));
  ShowDone();
}

void ClearPrintQueue() {
  WithServicesStopped({L"Spooler"}, [](RepairProgress& progress) {
    DeleteFilesIn(GetSysDir() + L"\\spool\\PRINTERS", {L"*"}, progress);
  });
  ShowDone();
}

void RebuildSearchIndex() {
  const std::wstring programData = ProgramDataOrRaise();
  WithServicesStopped({L"WSearch"}, [&](RepairProgress& progress) {
    DeleteFilesIn(programData + L"\\Microsoft\\Search\\Data\\Applications\\Windows",
                  {L"Windows.edb"}, progress);
  });
  ShowDone();
}

void RebuildIconCache() {
  const std::optional<std::wstring> local = Sys().localAppDataFolder();
  if (!local) throw KorvaneError(L"The LocalAppData folder cannot be found");
  // File Explorer holds its caches open while it runs, and writes them back when it
  // ends: they are deleted between its end and its start.
  EndExplorer();
  RepairProgress progress;
  progress.note(L"ended File Explorer");
  try {
    DeleteFilesIn(*local + L"\\Microsoft\\Windows\\Explorer", {L"IconCache.db", L"iconcache_*.db"},
                  progress);
    DeleteFilesIn(*local, {L"IconCache.db"}, progress);
  } catch (const KorvaneError& e) {
    std::wstring text = StandardErrorText(e.message());
    try {
      StartExplorer();
      progress.note(L"started File Explorer again");
    } catch (const KorvaneError&) {
      progress.note(L"could not start File Explorer again");
    }
    throw KorvaneError(text + L" " + progress.text());
  }
  StartExplorer();
  ShowDone();
}

std::wstring WmiInconsistentQuestion(std::uint32_t exitCode) {
  return L"The WMI repository is inconsistent (winmgmt ended with 0x" + HexText(exitCode, 8, true) +
         L"). Salvage it?";
}

void CheckWmiRepository() {
  const std::wstring winmgmt = CommandLineForPath(GetSysDir() + L"\\wbem\\winmgmt.exe");
  // winmgmt sets its exit code to 0 when the repository is consistent; its text
  // is in the language of the system, so it is not read.
  const RunResult verify = RunProcess(winmgmt + L" /verifyrepository", kShowNormal);
  if (!verify.ok()) throw KorvaneError(verify.failure);
  if (verify.exitCode == 0) {
    ShowMessage(kWmiConsistentText, kAppTitle, kMbIconInformation);
    return;
  }
  if (ShowMessage(WmiInconsistentQuestion(verify.exitCode), kAppTitle,
                  kMbYesNo | kMbIconQuestion) != kIdYes)
    return;
  const RunResult salvage = RunProcess(winmgmt + L" /salvagerepository", kShowNormal);
  if (!salvage.ok()) throw KorvaneError(salvage.failure);
  if (salvage.exitCode != 0) {
    throw KorvaneError(L"winmgmt /salvagerepository ended with exit code 0x" +
                       HexText(salvage.exitCode, 8, true));
  }
  ShowDone();
}

}  // namespace korvane
