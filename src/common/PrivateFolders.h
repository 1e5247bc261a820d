// Folders that only administrators can change.  Korvane runs with administrator
// rights, so whatever it keeps and later acts on (undo files, kept files, the
// copies it imports) must lie where no unelevated program of the user can write,
// rename or link: below %ProgramData%\Korvane, each level made with a protected
// DACL (SYSTEM and Administrators, nothing inherited) and checked on every use.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace korvane {

// nullopt when `path` is not a link and can be changed by SYSTEM and Administrators
// alone (its owner included, who may always rewrite the DACL); otherwise why not,
// in words that complete "... could not be written: %s.".
std::optional<std::wstring> NotAdminOnly(Platform& sys, const std::wstring& path);
// The same for the file a lockFile hold is on, named `path`: judged by the handle,
// so a link somewhere on the path that led the hold elsewhere (and was turned back
// since) cannot pass a file of the user's off as one of the administrators'.
std::optional<std::wstring> HeldNotAdminOnly(Platform& sys, Handle lock, const std::wstring& path);

struct PrivateFolder {
  std::wstring path;     // empty when it cannot be used, or (not created) is not there
  std::wstring problem;  // why it cannot be used; empty when it can
};

// `base` with the levels below it.  With `create`, a missing level is made with the
// administrators-only DACL; without it, a missing level leaves the folder empty and
// no problem.  Every level is checked, whether it was there or not.
PrivateFolder OpenPrivateFolder(Platform& sys, const std::wstring& base,
                                const std::vector<std::wstring>& levels, bool create);

// %ProgramData%\Korvane\Undo\<the SID of the account the process runs as>: the
// window's undo files.  One folder per user, since undo files hold
// HKEY_CURRENT_USER keys, which must go back into the hive they came from.
PrivateFolder OpenUndoStore(Platform& sys, bool create);
// %ProgramData%\Korvane\Import: the copies of undo files that reg.exe imports.
PrivateFolder OpenImportFolder(Platform& sys);
// %ProgramData%\Korvane\Scratch\<16 random hex digits>, made new for one run of the
// program: the scripts it hands to reg.exe, the folder-view batch and the restart
// helper's copy are written there, under their own names, where no other program
// (nor another run of Korvane) can have put anything first.
PrivateFolder MakeScratchFolder(Platform& sys);
// What TempPath is set to: the scratch folder with its closing backslash, or empty
// when none could be made (then every scratch file is refused).
std::wstring RunScratchPath(Platform& sys);
// Removes the run's scratch folder (TempPath) with whatever is left in it.
void RemoveRunScratchFolder();

// A folder given on the command line (`--backup DIR`): each missing level is made
// with the administrators-only DACL.  False (lastErrorText() tells why) when one
// cannot be made.
bool MakePrivateFolderPath(Platform& sys, const std::wstring& path);

}  // namespace korvane
