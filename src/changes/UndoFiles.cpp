#include "changes/UndoFiles.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "base/Sha256.h"
#include "base/Text.h"
#include "changes/OverlayPlatform.h"
#include "changes/RegScript.h"
#include "common/KorvaneError.h"
#include "common/Messages.h"
#include "common/PrivateFolders.h"
#include "common/Registry.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "platform/ForwardingPlatform.h"

namespace korvane {
namespace {

constexpr int kHidden = 0;
constexpr long kErrorFileExistsCode = 80;
const std::wstring kTitleLine = L"Korvane undo file for ";
const std::wstring kKeptLine = L"Kept file \"";
const std::wstring kKeptMiddle = L"\" is the earlier \"";
const std::wstring kRenamedLine = L"Renamed folder \"";
const std::wstring kRenamedMiddle = L"\" is now \"";
const std::wstring kGoneLine = L"Deleted for good, no undo brings it back: \"";

std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring InFolder(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty()) return name;
  return folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && LowerText(text.substr(text.size() - end.size())) == end;
}

std::wstring WithoutReg(const std::wstring& name) {
  return EndsWithNoCase(name, L".reg") ? name.substr(0, name.size() - 4) : name;
}

bool IsFile(Platform& sys, const std::wstring& path) {
  const std::uint32_t a = sys.getFileAttributes(path);
  return a != kInvalidFileAttributes && !(a & kFileAttributeDirectory);
}

// "2025-03-14 092653 ..." -> "2025-03-14 09:26:53"; empty for any other name.
std::wstring DateOfName(const std::wstring& name) {
  static const wchar_t kShape[] = L"dddd-dd-dd dddddd ";
  if (name.size() < 18) return {};
  for (size_t i = 0; i < 18; ++i) {
    const bool digit = name[i] >= L'0' && name[i] <= L'9';
    if (kShape[i] == L'd' ? !digit : name[i] != kShape[i]) return {};
  }
  return name.substr(0, 11) + name.substr(11, 2) + L":" + name.substr(13, 2) + L":" +
         name.substr(15, 2);
}

// 3 for "... (3).reg", else 1: the later of two files written in the same second.
int CollisionNumber(const std::wstring& name) {
  const std::wstring stem = WithoutReg(name);
  if (stem.size() < 4 || stem.back() != L')') return 1;
  const size_t open = stem.rfind(L" (");
  if (open == std::wstring::npos) return 1;
  const std::wstring digits = stem.substr(open + 2, stem.size() - open - 3);
  if (digits.empty() || digits.size() > 6 ||
      !std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
    return 1;
  return std::stoi(digits);
}

// Newest first: by the time in the name, then by the number added to a second file
// of the same second; files without a time last.
bool Newer(const std::wstring& a, const std::wstring& b) {
  const std::wstring da = DateOfName(a), db = DateOfName(b);
  if (da != db) return da > db;
  const int na = CollisionNumber(a), nb = CollisionNumber(b);
  if (na != nb) return na > nb;
  return LowerText(a) > LowerText(b);
}

std::vector<std::wstring> UndoFileNames(Platform& sys, const std::wstring& folder) {
  std::vector<std::wstring> names;
  if (!sys.listFiles(folder, &names)) return {};
  std::erase_if(names, [](const std::wstring& n) { return !EndsWithNoCase(n, L".reg"); });
  std::sort(names.begin(), names.end(), Newer);
  return names;
}

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

// A kept file lies beside its undo file and is named after it; any other name (a
// path, "..", a drive, a share, a stream) would reach outside the folder.
bool IsKeptName(const std::wstring& undoPath, const std::wstring& name) {
  const std::wstring stem = WithoutReg(FileNameOf(undoPath)) + L".";
  if (name.size() <= stem.size() || LowerText(name.substr(0, stem.size())) != LowerText(stem))
    return false;
  if (name.back() == L'.' || name.back() == L' ') return false;  // Windows drops them
  return std::none_of(name.begin(), name.end(), [](wchar_t c) {
    return c < 0x20 || c == L'\\' || c == L'/' || c == L':' || c == L'*' || c == L'?' ||
           c == L'"' || c == L'<' || c == L'>' || c == L'|';
  });
}

// The registry's words for a name: control characters spelled out, so that a
// reason shows the name as it is without breaking lines.
std::wstring Escaped(const std::wstring& s) { return EscapeControls(s); }

// The first place where the text read back differs from what was meant; nullopt
// when they agree.  Line numbers do not count.
std::optional<std::wstring> FirstDifference(const std::vector<RegOp>& meant,
                                            const RegScriptText& read) {
  auto same = [](const RegOp& a, const RegOp& b) {
    return a.kind == b.kind && a.root == b.root && a.path == b.path && a.name == b.name &&
           a.data.type == b.data.type && a.data.bytes == b.data.bytes;
  };
  // A control character reads back here, but not in every reader of .reg text
  // (Windows' own stops a name at a zero), so no name that holds one is written.
  auto controls = [](const std::wstring& s) {
    return std::any_of(s.begin(), s.end(), [](wchar_t c) { return c < 0x20; });
  };
  for (size_t i = 0; i < meant.size() || i < read.ops.size(); ++i) {
    if (i < meant.size() && i < read.ops.size() && same(meant[i], read.ops[i]) &&
        !controls(meant[i].path) && !controls(meant[i].name))
      continue;
    const RegOp& at = i < meant.size() ? meant[i] : read.ops[i];
    return L"the key " + Quoted(Escaped(FullKeyName(at.root, at.path))) +
           L" has a name that a registry script cannot carry back exactly";
  }
  if (!read.hasHeader || !read.errors.empty())
    return std::wstring(L"the undo file would not read back as it was written");
  return std::nullopt;
}

std::wstring CountText(std::size_t n, const wchar_t* one, const wchar_t* many) {
  return std::to_wstring(n) + L" " + (n == 1 ? one : many);
}

}  // namespace

std::wstring UndoFileName(const LocalTime& at, const std::string& id) {
  wchar_t stamp[32];
  std::swprintf(stamp, 32, L"%04d-%02d-%02d %02d%02d%02d ", at.year, at.month, at.day, at.hour,
                at.minute, at.second);
  return stamp + FromUtf8(id) + L".reg";
}

std::wstring UndoPathInFolder(const std::wstring& folder, const std::wstring& name, int n) {
  if (n <= 1) return InFolder(folder, name);
  return InFolder(folder, WithoutReg(name) + L" (" + std::to_wstring(n) + L").reg");
}

std::optional<std::wstring> WriteUndoFile(
    Platform& live, const std::function<std::wstring(int)>& pathFor, const std::string& id,
    const std::wstring& title, const Journal& planned,
    const std::function<std::vector<std::wstring>(const std::wstring&)>& moreHeader,
    std::wstring* path, std::vector<WrittenFile>* writtenFiles) {
  // A file the repair puts another in place of: no registry script can bring it
  // back, so a copy is kept beside the undo file.
  struct Keep {
    std::wstring original;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Keep> keeps;
  std::set<std::wstring> seen;
  for (const Change& c : planned) {
    if (c.kind != ChangeKind::ReplaceFile || !seen.insert(LowerText(c.other)).second) continue;
    if (!IsFile(live, c.other)) continue;
    Keep keep{c.other, {}};
    if (!live.readFile(c.other, &keep.bytes)) return live.lastErrorText();
    keeps.push_back(std::move(keep));
  }

  for (int n = 1; n < 10000; ++n) {
    *path = pathFor(n);
    if (live.getFileAttributes(*path) != kInvalidFileAttributes) continue;
    const std::wstring folder = FolderOf(*path);
    const std::wstring stem = WithoutReg(FileNameOf(*path));

    std::vector<WrittenFile> written;
    auto removeWritten = [&] {
      for (const WrittenFile& f : written) live.deleteFile(f.path);
    };
    std::vector<std::wstring> header{
        kTitleLine + FromUtf8(id) + L" (" + title + L")",
        L"Written before the repair ran.  Undo it with \"Undo a Repair...\" in Korvane's Tools",
        L"menu or with: KorvaneCli undo " + Quoted(*path),
        L"(reg import puts back the registry alone)."};
    bool taken = false;
    for (const Keep& k : keeps) {
      const std::wstring name = stem + L"." + FileNameOf(k.original);
      long error = 0;
      if (!live.writeNewFile(InFolder(folder, name), k.bytes, &error)) {
        removeWritten();
        if (error != kErrorFileExistsCode && error != kErrorAlreadyExists)
          return live.lastErrorText();
        taken = true;
        break;
      }
      written.push_back({InFolder(folder, name), k.bytes});
      header.push_back(kKeptLine + name + kKeptMiddle + k.original + L"\".");
    }
    if (taken) continue;
    for (const Change& c : planned) {
      if (c.kind == ChangeKind::RenameFolder)
        header.push_back(kRenamedLine + c.path + kRenamedMiddle + c.other + L"\".");
      // A file the repair writes and deletes again (a script in TEMP) is no loss.
      if (c.kind == ChangeKind::DeleteFile && IsFile(live, c.path))
        header.push_back(kGoneLine + c.path + L"\".");
    }
    if (moreHeader)
      for (std::wstring& line : moreHeader(*path)) header.push_back(std::move(line));

    std::vector<RegOp> meant;
    const std::vector<std::uint8_t> bytes =
        EncodeRegFile(BuildUndoScript(planned, live, header, &meant));
    if (auto why = FirstDifference(meant, ParseRegScript(DecodeRegFile(bytes)))) {
      removeWritten();
      return why;
    }
    long error = 0;
    if (!live.writeNewFile(*path, bytes, &error)) {
      removeWritten();
      if (error == kErrorFileExistsCode || error == kErrorAlreadyExists) continue;
      return live.lastErrorText();
    }
    written.push_back({*path, bytes});
    std::vector<std::uint8_t> stored;
    if (!live.readFile(*path, &stored) || stored != bytes) {
      const std::wstring why =
          stored.empty() ? live.lastErrorText() : L"The file does not hold what was written";
      removeWritten();
      return why;
    }
    if (writtenFiles) *writtenFiles = std::move(written);
    return std::nullopt;
  }
  return std::wstring(L"Every name for the undo file is taken");
}

namespace {

// Value names are whole paths, in one case: folders of several users may hold
// files of the same name.
std::wstring DigestName(const std::wstring& path) { return LowerText(path); }

const std::wstring kUndoneKey = kUndoDigestsKey + L"\\Undone";

bool IsUndone(Platform& sys, const std::wstring& path) {
  Handle key = 0;
  if (sys.regOpenKey(kHkeyLocalMachine, kUndoneKey, kKeyRead, &key) != kErrorSuccess) return false;
  RegData data;
  const bool found = sys.regQueryValue(key, DigestName(path), &data) == kErrorSuccess;
  sys.regCloseKey(key);
  return found;
}

bool MarkUndone(Platform& sys, const std::wstring& path) {
  Handle key = 0;
  if (sys.regCreateKey(kHkeyLocalMachine, kUndoneKey, kKeyAllAccess, &key) != kErrorSuccess)
    return false;
  const LocalTime t = sys.localTime();
  const std::wstring when = UndoFileName(t, "").substr(0, 17);
  const bool ok =
      sys.regSetValue(key, DigestName(path), kRegSz, WideToRegBytes(when)) == kErrorSuccess;
  sys.regCloseKey(key);
  return ok;
}

std::optional<UndoEntry> ParseUndoFile(Platform& sys, const std::wstring& path,
                                       const std::vector<std::uint8_t>& bytes) {
  const std::wstring text = DecodeRegFile(bytes);
  const RegScriptText script = ParseRegScript(text);
  if (!script.hasHeader) return std::nullopt;

  UndoEntry entry;
  entry.path = path;
  const std::wstring name = FileNameOf(path);
  entry.date = DateOfName(name);
  std::set<std::pair<Handle, std::wstring>> keys;
  for (const RegOp& op : script.ops) {
    keys.emplace(op.root, LowerText(op.path));
    if (op.kind == RegOpKind::SetValue || op.kind == RegOpKind::DeleteValue) ++entry.values;
  }
  entry.keys = keys.size();

  // The comments this program writes at the top of the file.
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (line.rfind(L"; ", 0) != 0) continue;
    line = line.substr(2);
    if (line.rfind(kTitleLine, 0) == 0 && entry.id.empty()) {
      const std::wstring rest = line.substr(kTitleLine.size());
      const size_t open = rest.find(L" (");
      if (open != std::wstring::npos && rest.back() == L')') {
        entry.id = ToUtf8(rest.substr(0, open));
        entry.repair = rest.substr(open + 2, rest.size() - open - 3);
      }
    } else if (line.rfind(kKeptLine, 0) == 0) {
      const size_t middle = line.find(kKeptMiddle);
      const size_t close = line.rfind(L'"');
      if (middle == std::wstring::npos || close <= middle + kKeptMiddle.size()) continue;
      KeptFile kept{line.substr(kKeptLine.size(), middle - kKeptLine.size()),
                    line.substr(middle + kKeptMiddle.size(), close - middle - kKeptMiddle.size())};
      if (IsKeptName(path, kept.name)) {
        entry.kept.push_back(std::move(kept));
      } else {
        entry.badKept.push_back(std::move(kept.name));
      }
    } else if (line.rfind(kRenamedLine, 0) == 0) {
      const size_t middle = line.find(kRenamedMiddle);
      const size_t close = line.rfind(L'"');
      if (middle == std::wstring::npos || close <= middle + kRenamedMiddle.size()) continue;
      entry.renamed.push_back(
          {line.substr(kRenamedLine.size(), middle - kRenamedLine.size()),
           line.substr(middle + kRenamedMiddle.size(), close - middle - kRenamedMiddle.size())});
    } else if (line.rfind(kGoneLine, 0) == 0) {
      ++entry.deletedForGood;
    }
  }
  if (entry.repair.empty()) entry.repair = WithoutReg(name);
  entry.undone = IsUndone(sys, path);
  return entry;
}

// An entry for a file too large to read: its name alone.
UndoEntry TooLarge(const std::wstring& path) {
  UndoEntry entry;
  entry.path = path;
  entry.date = DateOfName(FileNameOf(path));
  entry.repair = WithoutReg(FileNameOf(path));
  entry.tooLarge = true;
  return entry;
}

bool IsTooLarge(Platform& sys, const std::wstring& path, std::uint64_t limit = kUndoFileLimit) {
  const std::optional<std::uint64_t> size = sys.fileSize(path);
  return size && *size > limit;
}

}  // namespace

bool HasUndoFileShape(const std::wstring& name) {
  return EndsWithNoCase(name, L".reg") && !DateOfName(name).empty() &&
         name.find_first_of(L"\\/:") == std::wstring::npos;
}

std::optional<UndoEntry> ReadUndoFile(Platform& sys, const std::wstring& path) {
  if (IsTooLarge(sys, path)) return TooLarge(path);
  std::vector<std::uint8_t> bytes;
  if (!sys.readFile(path, &bytes)) return std::nullopt;
  if (bytes.size() > kUndoFileLimit) return TooLarge(path);
  return ParseUndoFile(sys, path, bytes);
}

std::optional<std::wstring> RecordDigests(Platform& sys, const std::vector<WrittenFile>& files) {
  Handle key = 0;
  long rc = sys.regCreateKey(kHkeyLocalMachine, kUndoDigestsKey, kKeyAllAccess, &key);
  if (rc != kErrorSuccess) return sys.errorText(rc);
  for (const WrittenFile& f : files) {
    rc = sys.regSetValue(key, DigestName(f.path), kRegSz, WideToRegBytes(Sha256Hex(f.bytes)));
    if (rc != kErrorSuccess) break;
  }
  sys.regCloseKey(key);
  if (rc != kErrorSuccess) return sys.errorText(rc);
  return std::nullopt;
}

bool MatchesDigest(Platform& sys, const std::wstring& path,
                   const std::vector<std::uint8_t>& bytes) {
  Handle key = 0;
  if (sys.regOpenKey(kHkeyLocalMachine, kUndoDigestsKey, kKeyRead, &key) != kErrorSuccess)
    return false;
  RegData data;
  const bool found = sys.regQueryValue(key, DigestName(path), &data) == kErrorSuccess;
  sys.regCloseKey(key);
  return found && data.type == kRegSz && RegBytesToWide(data.bytes) == Sha256Hex(bytes);
}

void ForgetDigest(Platform& sys, const std::wstring& path) {
  for (const std::wstring& where : {kUndoDigestsKey, kUndoneKey}) {
    Handle key = 0;
    if (sys.regOpenKey(kHkeyLocalMachine, where, kKeyAllAccess, &key) != kErrorSuccess) continue;
    sys.regDeleteValue(key, DigestName(path));
    sys.regCloseKey(key);
  }
}

std::vector<UndoEntry> ListUndoFiles(Platform& sys, const std::wstring& folder) {
  std::vector<UndoEntry> entries;
  for (const std::wstring& name : UndoFileNames(sys, folder))
    if (auto entry = ReadUndoFile(sys, InFolder(folder, name))) entries.push_back(*entry);
  return entries;
}

void RemoveUndoFile(Platform& sys, const std::wstring& path) {
  if (auto entry = ReadUndoFile(sys, path)) {
    // entry->kept holds bare names of this folder only; badKept is left alone.
    for (const KeptFile& k : entry->kept) {
      sys.deleteFile(InFolder(FolderOf(path), k.name));
      ForgetDigest(sys, InFolder(FolderOf(path), k.name));
    }
  }
  sys.deleteFile(path);
  ForgetDigest(sys, path);
}

void PruneUndoFiles(Platform& sys, const std::wstring& folder, std::size_t keep) {
  std::vector<std::wstring> names = UndoFileNames(sys, folder);
  std::erase_if(names, [](const std::wstring& n) { return !HasUndoFileShape(n); });
  for (size_t i = keep; i < names.size(); ++i) RemoveUndoFile(sys, InFolder(folder, names[i]));
}

std::wstring ChangesText(const UndoEntry& entry) {
  if (entry.tooLarge) return L"too large to read";
  const std::wstring registry = CountText(entry.keys, L"key", L"keys") + L", " +
                                CountText(entry.values, L"value", L"values") + L", " +
                                CountText(entry.kept.size(), L"file", L"files");
  if (entry.renamed.empty() && !entry.deletedForGood) return registry;
  // Folders and caches: the column is narrow, so what is none is left out.
  std::vector<std::wstring> parts;
  if (entry.keys || entry.values || !entry.kept.empty()) parts.push_back(registry);
  if (!entry.renamed.empty())
    parts.push_back(CountText(entry.renamed.size(), L"folder", L"folders") + L" renamed");
  if (entry.deletedForGood)
    parts.push_back(std::to_wstring(entry.deletedForGood) + L" deleted for good");
  std::wstring text;
  for (const std::wstring& part : parts) text += (text.empty() ? L"" : L", ") + part;
  return text;
}

namespace {

// Files held (others may read, nobody may write, replace or delete them) until the
// undo ends, and scratch files removed then.
class UndoHolds {
 public:
  explicit UndoHolds(Platform& sys) : sys_(sys) {}
  ~UndoHolds() {
    for (Handle h : holds_) sys_.closeHandle(h);
    for (const std::wstring& f : scratch_) sys_.deleteFile(f);
  }
  UndoHolds(const UndoHolds&) = delete;
  UndoHolds& operator=(const UndoHolds&) = delete;

  bool hold(const std::wstring& file, std::vector<std::uint8_t>* bytes) {
    Handle h = 0;
    if (!sys_.lockFile(file, &h, bytes)) return false;
    holds_.push_back(h);
    return true;
  }
  // The hold taken last.
  Handle last() const { return holds_.back(); }
  // A file written new; removed at the end unless taken (put in place) before.
  void scratch(const std::wstring& file) { scratch_.push_back(file); }
  void taken(const std::wstring& file) { std::erase(scratch_, file); }

 private:
  Platform& sys_;
  std::vector<Handle> holds_;
  std::vector<std::wstring> scratch_;
};

std::wstring NotAsWritten(const std::wstring& file) {
  return Quoted(file) +
         L" is not as Korvane wrote it (it was changed since, or Korvane did not write it), so "
         L"it is not used.";
}

// Whether `file`, held with `bytes`, may be imported: it matches its record, or
// (when the trust allows) it has none and only administrators could have put it
// there.  The empty text when it may.
std::wstring Untrusted(Platform& sys, const std::wstring& file, Handle hold,
                       const std::vector<std::uint8_t>& bytes, UndoTrust trust) {
  if (MatchesDigest(sys, file, bytes)) return {};
  Handle key = 0;
  bool recorded = false;
  if (sys.regOpenKey(kHkeyLocalMachine, kUndoDigestsKey, kKeyRead, &key) == kErrorSuccess) {
    RegData data;
    recorded = sys.regQueryValue(key, DigestName(file), &data) == kErrorSuccess;
    sys.regCloseKey(key);
  }
  if (recorded || trust == UndoTrust::Recorded) return NotAsWritten(file);
  std::optional<std::wstring> why = HeldNotAdminOnly(sys, hold, file);
  if (!why) why = NotAdminOnly(sys, file);
  if (!why) why = NotAdminOnly(sys, FolderOf(file));
  if (why)
    return Quoted(file) + L" has no record of Korvane's, and " + *why + L", so it is not used.";
  return {};
}

// The name of the n-th file written new beside `original` before it replaces it.
std::wstring StagedName(const std::wstring& original, int n) {
  return original + L".korvane-" + std::to_wstring(n) + L".new";
}

}  // namespace

UndoOutcome UndoFromFile(Platform& system, const std::wstring& path, UndoTrust trust) {
  UndoOutcome outcome;
  UndoHolds holds(system);

  std::vector<std::uint8_t> bytes;
  if (IsTooLarge(system, path, kUndoImportLimit)) {
    outcome.failure = Quoted(path) + L" is too large for an undo file, so it is not read.";
    return outcome;
  }
  std::optional<UndoEntry> entry;
  if (holds.hold(path, &bytes)) {
    if (bytes.size() > kUndoImportLimit) {
      outcome.failure = Quoted(path) + L" is too large for an undo file, so it is not read.";
      return outcome;
    }
    entry = ParseUndoFile(system, path, bytes);
  }
  if (!entry) {
    outcome.failure = Quoted(path) + L" is not an undo file that can be read.";
    return outcome;
  }
  if (!entry->badKept.empty()) {
    outcome.failure = Quoted(path) + L" names the kept file " +
                      Quoted(Escaped(entry->badKept.front())) +
                      L", which is not a file Korvane keeps beside it, so it is not used.";
    return outcome;
  }
  outcome.failure = Untrusted(system, path, holds.last(), bytes, trust);
  if (!outcome.failure.empty()) return outcome;

  // Every kept file is read and checked before anything changes, so a missing one
  // stops the undo while the machine is still as it was.
  const std::wstring folder = FolderOf(path);
  std::vector<std::vector<std::uint8_t>> keptBytes;
  for (const KeptFile& k : entry->kept) {
    const std::wstring kept = InFolder(folder, k.name);
    keptBytes.emplace_back();
    if (!holds.hold(kept, &keptBytes.back())) {
      outcome.failure = L"The kept file \"" + k.name + L"\" cannot be read.";
      return outcome;
    }
    outcome.failure = Untrusted(system, kept, holds.last(), keptBytes.back(), trust);
    if (!outcome.failure.empty()) return outcome;
  }

  // A folder renamed goes back only to a name that is free: whatever has appeared
  // there since (Windows Update makes its folder again) is not overwritten.
  for (const RenamedFolder& r : entry->renamed) {
    if (system.getFileAttributes(r.original) != kInvalidFileAttributes) {
      outcome.failure =
          Quoted(r.original) + L" is there again, so " + Quoted(r.now) + L" is not renamed back.";
      return outcome;
    }
    const std::uint32_t a = system.getFileAttributes(r.now);
    if (a == kInvalidFileAttributes || !(a & kFileAttributeDirectory)) {
      outcome.failure = Quoted(r.now) + L" is no longer there, so it cannot be renamed back.";
      return outcome;
    }
  }

  // Room for every kept file, then each written whole beside its original; only
  // then is anything imported.
  std::map<std::wstring, std::uint64_t> needed;
  for (size_t i = 0; i < entry->kept.size(); ++i)
    needed[LowerText(FolderOf(entry->kept[i].original))] += keptBytes[i].size();
  for (size_t i = 0; i < entry->kept.size(); ++i) {
    const std::wstring target = FolderOf(entry->kept[i].original);
    const std::optional<std::uint64_t> free = system.freeDiskSpace(target);
    const std::uint64_t need = needed[LowerText(target)];
    if (!free || *free < need) {
      outcome.failure = L"Cannot write \"" + entry->kept[i].original + L"\": " +
                        (free ? system.errorText(112) : system.lastErrorText()) + L".";
      return outcome;
    }
  }
  std::vector<std::wstring> staged;
  for (size_t i = 0; i < entry->kept.size(); ++i) {
    const std::wstring& original = entry->kept[i].original;
    for (int n = 1;; ++n) {
      long error = 0;
      const std::wstring name = StagedName(original, n);
      if (system.writeNewFile(name, keptBytes[i], &error)) {
        holds.scratch(name);
        staged.push_back(name);
        break;
      }
      if ((error == kErrorFileExistsCode || error == kErrorAlreadyExists) && n < 100) continue;
      outcome.failure = L"Cannot write \"" + original + L"\": " + system.lastErrorText() + L".";
      return outcome;
    }
  }

  // reg.exe reads a copy of the bytes checked above, in a folder nobody but
  // administrators can change: no path it opens can have been swapped since.
  const PrivateFolder imports = OpenImportFolder(system);
  if (!imports.problem.empty()) {
    outcome.failure = L"The undo file cannot be copied for reg.exe: " + imports.problem + L".";
    return outcome;
  }
  std::wstring copy;
  for (int n = 1;; ++n) {
    long error = 0;
    copy = InFolder(imports.path, L"undo " + std::to_wstring(n) + L".reg");
    if (system.writeNewFile(copy, bytes, &error)) break;
    if ((error == kErrorFileExistsCode || error == kErrorAlreadyExists) && n < 1000) continue;
    outcome.failure =
        L"The undo file cannot be copied for reg.exe: " + system.lastErrorText() + L".";
    return outcome;
  }
  holds.scratch(copy);
  std::vector<std::uint8_t> copied;
  if (!holds.hold(copy, &copied) || copied != bytes) {
    outcome.failure = L"The undo file cannot be copied for reg.exe.";
    return outcome;
  }

  // What the import has to leave, worked out from the same bytes.
  OverlayPlatform predicted(system);
  ApplyRegOps(predicted, ParseRegScript(DecodeRegFile(bytes)).ops);
  {
    SysScope scope(system);
    const RunResult run = RunProcess(L"reg.exe import " + CommandLineForPath(copy), kHidden);
    if (!run.ok()) {
      outcome.failure = StandardErrorText(run.failure);
    } else if (run.exitCode != 0) {
      outcome.failure =
          L"reg.exe could not import the file (exit code " + std::to_wstring(run.exitCode) + L").";
    }
  }
  for (size_t i = 0; i < entry->kept.size() && outcome.failure.empty(); ++i) {
    if (system.replaceFile(staged[i], entry->kept[i].original)) {
      holds.taken(staged[i]);
    } else {
      outcome.failure =
          L"Cannot write \"" + entry->kept[i].original + L"\": " + system.lastErrorText() + L".";
    }
  }
  ExpectedRegistry expected;
  for (size_t i = 0; i < entry->renamed.size() && outcome.failure.empty(); ++i) {
    const RenamedFolder& r = entry->renamed[i];
    if (system.renameFolder(r.now, r.original)) {
      expected.apply(OtherChange(ChangeKind::RenameFolder, r.now, r.original));
    } else {
      outcome.failure = L"Cannot rename " + Quoted(r.now) + L" back to " + Quoted(r.original) +
                        L": " + system.lastErrorText() + L".";
    }
  }
  expected.applyAll(predicted.journal());
  outcome.unverified = expected.compare(system);
  for (size_t i = 0; i < entry->kept.size() && outcome.failure.empty(); ++i) {
    std::vector<std::uint8_t> now;
    if (!system.readFile(entry->kept[i].original, &now) || now != keptBytes[i])
      outcome.failure = L"\"" + entry->kept[i].original + L"\" is not as it was kept.";
  }
  outcome.done = outcome.failure.empty() && outcome.unverified.empty();
  if (outcome.done) outcome.marked = MarkUndone(system, path);
  return outcome;
}

std::wstring UndoStoreUnusableText(const std::wstring& problem) {
  return L"The undo files are not used: " +
         (problem.empty() ? std::wstring(L"the undo folder is not there") : problem) + L".";
}

UndoRow RowOf(const UndoEntry& entry) {
  return {entry.date, entry.undone ? entry.repair + L" (undone)" : entry.repair,
          ChangesText(entry)};
}

bool UndoWithMessages(Platform& system, const UndoEntry& entry) {
  if (entry.tooLarge) {
    system.messageBox(kErrorText, kAppTitle, kMbIconError);
    return false;
  }
  if (entry.undone &&
      system.messageBox(kUndoAgainQuestion, kAppTitle, kMbYesNo | kMbIconQuestion) != kIdYes)
    return false;
  // The store may have changed hands since the list was read.
  const PrivateFolder store = OpenUndoStore(system, /*create=*/false);
  if (store.path.empty() || !SameNoCase(FolderOf(entry.path), store.path)) {
    system.messageBox(UndoStoreUnusableText(store.problem), kAppTitle, kMbIconError);
    return false;
  }
  const UndoOutcome outcome = UndoFromFile(system, entry.path, UndoTrust::Recorded);
  if (outcome.done) {
    system.messageBox(kDoneText, kAppTitle, kMbIconInformation);
  } else {
    system.messageBox(kErrorText, kAppTitle, kMbIconError);
  }
  return outcome.done;
}

}  // namespace korvane
