// Undo files: a registry script, written just before a repair runs, that puts back
// every key and value the repair is about to change, with any file the repair
// replaces kept beside it.  Both front ends write them the same way; the window
// keeps its own in one folder and offers them for undoing.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "changes/Journal.h"
#include "changes/RegistryCheck.h"
#include "platform/Platform.h"

namespace korvane {

inline constexpr std::size_t kUndoFilesKept = 100;
// Real undo files hold a few kilobytes.  A file above 1 MB is listed as too large
// and never read: nobody can make the window parse megabytes on every press.  An
// undo imports files up to 16 MB (one 1 MB value written out as text, as --backup
// writes it for a key that held one, takes about 7 MB).
inline constexpr std::uint64_t kUndoFileLimit = 1u << 20;
inline constexpr std::uint64_t kUndoImportLimit = 16u << 20;

// "2025-03-14 092653 assoc.txt.reg": the time first, so that names sort by age.
std::wstring UndoFileName(const LocalTime& at, const std::string& id);
// The window's names for the n-th try: `name`, then "... (2).reg", "(3)" ...
std::wstring UndoPathInFolder(const std::wstring& folder, const std::wstring& name, int n);

// A file as it was written: an undo file or a file kept beside it.
struct WrittenFile {
  std::wstring path;
  std::vector<std::uint8_t> bytes;
};

// Writes the undo file for repair `id` (shown as `title`), whose preview journaled
// `planned`, from the state `live` holds now, under the first of pathFor(1),
// pathFor(2) ... that does not exist: every file is created new, so an earlier one
// (which holds the state from before an earlier repair) is never replaced.  A file
// the repair would replace is kept beside it.  `moreHeader` adds comment lines for
// a path.  Names in the registry are data the user chose: the text is read with
// the program's own reader before it is written, and unless it holds exactly the
// operations meant, nothing is written and the reason names the key.  The file is
// read back; on failure nothing is left behind and the reason is returned.  *path
// is the file written.
std::optional<std::wstring> WriteUndoFile(
    Platform& live, const std::function<std::wstring(int)>& pathFor, const std::string& id,
    const std::wstring& title, const Journal& planned,
    const std::function<std::vector<std::wstring>(const std::wstring&)>& moreHeader,
    std::wstring* path, std::vector<WrittenFile>* written = nullptr);

// The SHA-256 of each undo file (and kept file) Korvane writes is recorded under
// HKEY_LOCAL_MACHINE, where only administrators write, and only a file that still
// matches its record is undone (see UndoTrust).  Whether a file was undone is
// recorded beside it.  Returns the system's words when the record cannot be made.
inline const std::wstring kUndoDigestsKey = L"SOFTWARE\\Korvane\\Undo Files";
std::optional<std::wstring> RecordDigests(Platform& sys, const std::vector<WrittenFile>& files);
// True when `bytes` are what was recorded for `path`.
bool MatchesDigest(Platform& sys, const std::wstring& path, const std::vector<std::uint8_t>& bytes);
void ForgetDigest(Platform& sys, const std::wstring& path);

struct KeptFile {
  std::wstring name;      // in the undo file's folder: "<undo file's name without .reg>.<leaf>"
  std::wstring original;  // where it goes back
};

// True when a file of that name in `folder` may be an undo file the window wrote:
// "yyyy-mm-dd HHMMSS <id>.reg", with " (n)" for a later one of the same second.
// Pruning deletes no other file.
bool HasUndoFileShape(const std::wstring& name);

// A folder the repair renamed: the undo renames `now` back to `original`.
struct RenamedFolder {
  std::wstring original;
  std::wstring now;
};

struct UndoEntry {
  std::wstring path;
  std::wstring date;  // "2025-03-14 09:26:53", from the file's name; empty when it has none
  std::string id;     // empty when the file does not say
  std::wstring repair;
  std::size_t keys = 0;
  std::size_t values = 0;
  std::vector<KeptFile> kept;
  // Kept-file lines whose name is no bare "<stem>.<leaf>" in the file's own folder:
  // never acted on (an undo refuses the whole file).
  std::vector<std::wstring> badKept;
  std::vector<RenamedFolder> renamed;
  // Files the repair deleted for good (caches): no undo brings them back.
  std::size_t deletedForGood = 0;
  bool undone = false;
  bool tooLarge = false;  // above kUndoFileLimit: listed, never read
};

// What an undo file holds; nullopt when it cannot be read or is no registry script.
std::optional<UndoEntry> ReadUndoFile(Platform& sys, const std::wstring& path);
// The undo files of `folder` (*.reg), newest first.
std::vector<UndoEntry> ListUndoFiles(Platform& sys, const std::wstring& folder);
// Deletes an undo file with its kept files and its records.
void RemoveUndoFile(Platform& sys, const std::wstring& path);
// Deletes all but the newest `keep` of the files that have the undo-file shape.
void PruneUndoFiles(Platform& sys, const std::wstring& folder, std::size_t keep);
// "2 keys, 5 values, 1 file"; for a repair that renamed folders or deleted files
// for good, "2 folders renamed, 4 deleted for good" (the registry counts only when
// it changed any).
std::wstring ChangesText(const UndoEntry& entry);

struct UndoOutcome {
  bool done = false;
  std::wstring failure;  // why it was not done, in words; empty when only the read-back failed
  std::vector<Difference> unverified;
  // A done undo that could not be marked still shows as not undone.
  bool marked = false;
};

// Which undo files are imported.  The window's are all recorded.  On the command
// line an administrator may name a file Korvane did not write, but only one that
// lies where nobody else could have put it.
enum class UndoTrust {
  Recorded,             // only a file (and kept files) that matches its record
  RecordedOrAdminOnly,  // or, without a record, a file and folder only administrators change
};

// Imports the file with reg.exe (the System directory's), puts back the files kept
// beside it, renames the folders the repair renamed back (refusing, before anything
// changes, when a folder of the original name has appeared since), and reads
// everything back.  The file and the kept files are held from
// the moment they are read until the end; what reg.exe imports is a copy of the
// bytes checked, written new into a folder only administrators can change, and the
// read-back predicts from the same bytes.  Kept files are written new beside their
// originals before anything is imported and then put in their place each in one
// step, so a failure leaves the originals as they were.  A done undo is recorded,
// so that the file shows as undone.
UndoOutcome UndoFromFile(Platform& system, const std::wstring& path,
                         UndoTrust trust = UndoTrust::RecordedOrAdminOnly);

// A row of the window's "Undo a Repair" list: its Date, Repair and Changes columns.
struct UndoRow {
  std::wstring date;
  std::wstring repair;  // with " (undone)" once it has been undone
  std::wstring changes;
};
UndoRow RowOf(const UndoEntry& entry);

// What the Undo dialog says instead of a list when the store cannot be used.
std::wstring UndoStoreUnusableText(const std::wstring& problem);

inline const std::wstring kUndoAgainQuestion =
    L"This repair has been undone already. Undo it again?";

// The window's "Undo": an entry undone already asks first (No: nothing happens);
// the end is "Done!" or "Error!".  The store is checked again first: when it is no
// longer only the administrators', the reason is shown and nothing is imported.
// True when it was undone now.
bool UndoWithMessages(Platform& system, const UndoEntry& entry);

}  // namespace korvane
