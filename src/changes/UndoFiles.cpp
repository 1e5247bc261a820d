#include "changes/UndoFiles.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "changes/JournalingPlatform.h"
#include "changes/RegScript.h"
#include "common/Messages.h"
#include "common/Registry.h"
#include "common/Sha256.h"
#include "common/Text.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "platform/ForwardingPlatform.h"

namespace korvane {
namespace {

constexpr int kHidden = 0;
constexpr long kErrorFileExistsCode = 80;
const std::wstring kTitleLine = L"Korvane undo file for ";
const std::wstring kKeptLine = L"Kept file \"";
const std::wstring kKeptMiddle = L"\" is the earlier \"";
const std::wstring kUndoneMark = L".undone";

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

std::wstring CountText(std::size_t n, const wchar_t* one, const wchar_t* many) {
  return std::to_wstring(n) + L" " + (n == 1 ? one : many);
}

}  // namespace

std::wstring UndoFolder(Platform& sys) {
  const std::optional<std::wstring> base = sys.getEnvironmentVariable(L"LOCALAPPDATA");
  if (!base || base->empty()) return {};
  return InFolder(*base, L"Korvane\\Undo");
}

bool MakeFolder(Platform& sys, const std::wstring& path) {
  if (path.empty()) return false;
  // Every level below the drive (or the share), top down.
  size_t from = path.size() > 2 && path[1] == L':' ? 3 : 0;
  if (path.rfind(L"\\\\", 0) == 0) {
    from = path.find(L'\\', 2);
    from = from == std::wstring::npos ? path.size() : path.find(L'\\', from + 1);
  }
  for (size_t i = path.find(L'\\', from);; i = path.find(L'\\', i + 1)) {
    const std::wstring level = path.substr(0, i);
    const std::uint32_t a = sys.getFileAttributes(level);
    if (a == kInvalidFileAttributes || !(a & kFileAttributeDirectory)) {
      if (!sys.createDirectory(level)) return false;
    }
    if (i == std::wstring::npos) break;
  }
  return true;
}

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
    if (moreHeader)
      for (std::wstring& line : moreHeader(*path)) header.push_back(std::move(line));

    std::wstring uncarried;
    const std::wstring script = BuildUndoScript(planned, live, header, &uncarried);
    if (!uncarried.empty()) {
      removeWritten();
      return L"An undo file cannot hold the name of " + uncarried;
    }
    const std::vector<std::uint8_t> bytes = EncodeRegFile(script);
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
      if (middle != std::wstring::npos && close > middle + kKeptMiddle.size())
        entry.kept.push_back(
            {line.substr(kKeptLine.size(), middle - kKeptLine.size()),
             line.substr(middle + kKeptMiddle.size(), close - middle - kKeptMiddle.size())});
    }
  }
  if (entry.repair.empty()) entry.repair = WithoutReg(name);
  entry.undone = IsFile(sys, path + kUndoneMark);
  return entry;
}

// Value names are whole paths, in one case: undo folders of several users may
// hold files of the same name.
std::wstring DigestName(const std::wstring& path) { return LowerText(path); }

}  // namespace

std::optional<UndoEntry> ReadUndoFile(Platform& sys, const std::wstring& path) {
  std::vector<std::uint8_t> bytes;
  if (!sys.readFile(path, &bytes)) return std::nullopt;
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
  Handle key = 0;
  if (sys.regOpenKey(kHkeyLocalMachine, kUndoDigestsKey, kKeyAllAccess, &key) != kErrorSuccess)
    return;
  sys.regDeleteValue(key, DigestName(path));
  sys.regCloseKey(key);
}

std::vector<UndoEntry> ListUndoFiles(Platform& sys, const std::wstring& folder) {
  std::vector<UndoEntry> entries;
  for (const std::wstring& name : UndoFileNames(sys, folder))
    if (auto entry = ReadUndoFile(sys, InFolder(folder, name))) entries.push_back(*entry);
  return entries;
}

void RemoveUndoFile(Platform& sys, const std::wstring& path) {
  if (auto entry = ReadUndoFile(sys, path)) {
    for (const KeptFile& k : entry->kept) {
      sys.deleteFile(InFolder(FolderOf(path), k.name));
      ForgetDigest(sys, InFolder(FolderOf(path), k.name));
    }
  }
  if (IsFile(sys, path + kUndoneMark)) sys.deleteFile(path + kUndoneMark);
  sys.deleteFile(path);
  ForgetDigest(sys, path);
}

void PruneUndoFiles(Platform& sys, const std::wstring& folder, std::size_t keep) {
  const std::vector<std::wstring> names = UndoFileNames(sys, folder);
  for (size_t i = keep; i < names.size(); ++i) RemoveUndoFile(sys, InFolder(folder, names[i]));
}

std::wstring ChangesText(const UndoEntry& entry) {
  return CountText(entry.keys, L"key", L"keys") + L", " +
         CountText(entry.values, L"value", L"values") + L", " +
         CountText(entry.kept.size(), L"file", L"files");
}

UndoOutcome UndoFromFile(Platform& system, const std::wstring& path, bool checkDigests) {
  UndoOutcome outcome;
  // Held (others may read, nobody may write, replace or delete) from here to the
  // end, so that reg.exe imports exactly the bytes checked and counted here.
  std::vector<Handle> holds;
  struct Release {
    Platform& sys;
    std::vector<Handle>& holds;
    ~Release() {
      for (Handle h : holds) sys.closeHandle(h);
    }
  } release{system, holds};
  auto hold = [&](const std::wstring& file, std::vector<std::uint8_t>* bytes) {
    Handle h = 0;
    if (!system.lockFile(file, &h, bytes)) return false;
    holds.push_back(h);
    return true;
  };
  auto changed = [&](const std::wstring& file) {
    return L"\"" + file +
           L"\" is not as Korvane wrote it (it was changed since, or Korvane did not write it), so "
           L"it is not used.";
  };

  std::vector<std::uint8_t> bytes;
  const std::optional<UndoEntry> entry =
      hold(path, &bytes) ? ParseUndoFile(system, path, bytes) : std::nullopt;
  if (!entry) {
    outcome.failure = L"\"" + path + L"\" is not an undo file that can be read.";
    return outcome;
  }
  if (checkDigests && !MatchesDigest(system, path, bytes)) {
    outcome.failure = changed(path);
    return outcome;
  }
  // Every kept file is read before anything changes, so a missing one stops the
  // undo while the machine is still as it was.
  std::vector<std::vector<std::uint8_t>> keptBytes;
  for (const KeptFile& k : entry->kept) {
    const std::wstring kept = InFolder(FolderOf(path), k.name);
    keptBytes.emplace_back();
    if (!hold(kept, &keptBytes.back())) {
      outcome.failure = L"The kept file \"" + k.name + L"\" cannot be read.";
      return outcome;
    }
    if (checkDigests && !MatchesDigest(system, kept, keptBytes.back())) {
      outcome.failure = changed(kept);
      return outcome;
    }
  }

  JournalingPlatform journaling(system);
  {
    SysScope scope(journaling);
    const std::uint32_t code = RunAndWait(L"reg.exe import " + CommandLineForPath(path), kHidden);
    if (code == kRunFailed) {
      outcome.failure = L"reg.exe could not be started.";
    } else if (code != 0) {
      outcome.failure =
          L"reg.exe could not import the file (exit code " + std::to_wstring(code) + L").";
    }
    for (size_t i = 0; i < entry->kept.size() && outcome.failure.empty(); ++i) {
      if (!Sys().writeFile(entry->kept[i].original, keptBytes[i]))
        outcome.failure =
            L"Cannot write \"" + entry->kept[i].original + L"\": " + Sys().lastErrorText() + L".";
    }
  }
  ExpectedRegistry expected;
  expected.applyAll(journaling.journal());
  outcome.unverified = expected.compare(system);
  for (size_t i = 0; i < entry->kept.size() && outcome.failure.empty(); ++i) {
    std::vector<std::uint8_t> now;
    if (!system.readFile(entry->kept[i].original, &now) || now != keptBytes[i])
      outcome.failure = L"\"" + entry->kept[i].original + L"\" is not as it was kept.";
  }
  outcome.done = outcome.failure.empty() && outcome.unverified.empty();
  if (outcome.done) {
    const std::string when = ToUtf8(UndoFileName(system.localTime(), "").substr(0, 17));
    outcome.marked =
        system.writeFile(path + kUndoneMark, std::vector<std::uint8_t>(when.begin(), when.end()));
  }
  return outcome;
}

UndoRow RowOf(const UndoEntry& entry) {
  return {entry.date, entry.undone ? entry.repair + L" (undone)" : entry.repair,
          ChangesText(entry)};
}

bool UndoWithMessages(Platform& system, const UndoEntry& entry) {
  if (entry.undone &&
      system.messageBox(kUndoAgainQuestion, kAppTitle, kMbYesNo | kMbIconQuestion) != kIdYes)
    return false;
  const UndoOutcome outcome = UndoFromFile(system, entry.path, /*checkDigests=*/true);
  if (outcome.done) {
    system.messageBox(kDoneText, kAppTitle, kMbIconInformation);
  } else {
    system.messageBox(kErrorText, kAppTitle, kMbIconError);
  }
  return outcome.done;
}

}  // namespace korvane
