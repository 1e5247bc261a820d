#include "common/PrivateFolders.h"

#include <cstdio>

#include "common/Unit_Fungsi_Korvane.h"

namespace korvane {
namespace {

bool Trusted(const std::wstring& sid) { return sid == kSidSystem || sid == kSidAdministrators; }

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

std::wstring Who(Platform& sys, const std::wstring& sid) {
  const std::optional<std::wstring> name = sys.accountName(sid);
  return name && !name->empty() ? *name + L" (" + sid + L")" : sid;
}

std::wstring Below(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty()) return name;
  return folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

bool IsFolder(Platform& sys, const std::wstring& path) {
  const std::uint32_t a = sys.getFileAttributes(path);
  return a != kInvalidFileAttributes && (a & kFileAttributeDirectory);
}

}  // namespace

namespace {

std::optional<std::wstring> Judged(Platform& sys, const std::wstring& path,
                                   const std::optional<FileSecurity>& security) {
  if (!security)
    return L"the security of " + Quoted(path) + L" cannot be read (" + sys.lastErrorText() + L")";
  // A link would take every write below it somewhere else, whoever may write here.
  if (security->reparsePoint) return Quoted(path) + L" is a link to another place";
  if (!sys.accessControlEnforced()) return std::nullopt;
  if (!Trusted(security->owner))
    return Quoted(path) + L" belongs to " + Who(sys, security->owner) +
           L", not to the administrators";
  for (const std::wstring& sid : security->writers)
    if (!Trusted(sid)) return Quoted(path) + L" can be changed by " + Who(sys, sid);
  return std::nullopt;
}

}  // namespace

std::optional<std::wstring> NotAdminOnly(Platform& sys, const std::wstring& path) {
  return Judged(sys, path, sys.fileSecurity(path));
}

std::optional<std::wstring> HeldNotAdminOnly(Platform& sys, Handle lock, const std::wstring& path) {
  return Judged(sys, path, sys.heldFileSecurity(lock));
}

PrivateFolder OpenPrivateFolder(Platform& sys, const std::wstring& base,
                                const std::vector<std::wstring>& levels, bool create) {
  PrivateFolder folder;
  std::wstring path = base;
  for (const std::wstring& level : levels) {
    path = Below(path, level);
    if (!IsFolder(sys, path)) {
      if (!create) return folder;
      // Made here with the DACL that the check below wants; if somebody else made
      // it in between, the check finds out.
      if (!sys.createPrivateDirectory(path)) {
        const std::wstring why = sys.lastErrorText();
        if (!IsFolder(sys, path)) {
          folder.problem = L"cannot create " + Quoted(path) + L" (" + why + L")";
          return folder;
        }
      }
    }
    if (auto why = NotAdminOnly(sys, path)) {
      folder.problem = *why;
      return folder;
    }
  }
  folder.path = path;
  return folder;
}

namespace {

PrivateFolder InKorvaneData(Platform& sys, std::vector<std::wstring> levels, bool create) {
  // A folder made by a process that is not elevated would belong to its user, and
  // every elevated run after it would rightly refuse it.
  if (create && !sys.isElevated()) return {{}, L"Korvane is not running with administrator rights"};
  const std::optional<std::wstring> programData = sys.programDataFolder();
  if (!programData || programData->empty())
    return {{}, L"the ProgramData folder of this computer is not known"};
  levels.insert(levels.begin(), L"Korvane");
  return OpenPrivateFolder(sys, *programData, levels, create);
}

}  // namespace

PrivateFolder OpenUndoStore(Platform& sys, bool create) {
  const std::optional<std::wstring> sid = sys.processUserSid();
  if (!sid || sid->empty()) return {{}, L"the account Korvane runs as is not known"};
  return InKorvaneData(sys, {L"Undo", *sid}, create);
}

PrivateFolder OpenImportFolder(Platform& sys) { return InKorvaneData(sys, {L"Import"}, true); }

PrivateFolder MakeScratchFolder(Platform& sys) {
  PrivateFolder scratch = InKorvaneData(sys, {L"Scratch"}, true);
  if (!scratch.problem.empty()) return scratch;
  const std::wstring parent = scratch.path;
  for (int attempt = 0; attempt < 8; ++attempt) {
    wchar_t name[17];
    std::swprintf(name, 17, L"%016llx", static_cast<unsigned long long>(sys.randomNumber()));
    scratch.path = Below(parent, name);
    // Made new, or not used: a folder of that name that is there already is not ours.
    if (sys.createPrivateDirectory(scratch.path)) {
      if (auto why = NotAdminOnly(sys, scratch.path)) return {{}, *why};
      return scratch;
    }
    const std::wstring why = sys.lastErrorText();
    if (IsFolder(sys, scratch.path)) continue;
    return {{}, L"cannot create " + Quoted(scratch.path) + L" (" + why + L")"};
  }
  return {{}, L"every name tried for a scratch folder below " + Quoted(parent) + L" is taken"};
}

std::wstring RunScratchPath(Platform& sys) {
  const PrivateFolder scratch = MakeScratchFolder(sys);
  TempPathProblem = scratch.problem;
  return scratch.path.empty() ? std::wstring() : scratch.path + L"\\";
}

void RemoveRunScratchFolder() {
  if (TempPath.size() > 1) DeleteFolderTree(TempPath.substr(0, TempPath.size() - 1));
}

bool MakePrivateFolderPath(Platform& sys, const std::wstring& path) {
  if (path.empty()) return false;
  // Every level below the drive (or the share), top down.
  size_t from = path.size() > 2 && path[1] == L':' ? 3 : 0;
  if (path.rfind(L"\\\\", 0) == 0) {
    from = path.find(L'\\', 2);
    from = from == std::wstring::npos ? path.size() : path.find(L'\\', from + 1);
  }
  for (size_t i = path.find(L'\\', from);; i = path.find(L'\\', i + 1)) {
    const std::wstring level = path.substr(0, i);
    // No second look after a failed create: it would overwrite the reason the
    // caller reads.
    if (!level.empty() && level.back() != L'\\' && !IsFolder(sys, level) &&
        !sys.createPrivateDirectory(level))
      return false;
    if (i == std::wstring::npos) break;
  }
  return true;
}

}  // namespace korvane
