#include "cli/logic/UserHives.h"

#include "base/Text.h"
#include "common/Registry.h"

namespace korvane::cli {
namespace {

const std::wstring kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// ProfileImagePath is a REG_EXPAND_SZ ("%SystemDrive%\Users\ann").
std::wstring ExpandVariables(Platform& system, const std::wstring& text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t end = text[i] == L'%' ? text.find(L'%', i + 1) : std::wstring::npos;
    if (end == std::wstring::npos) {
      out.push_back(text[i++]);
      continue;
    }
    const auto value = system.getEnvironmentVariable(text.substr(i + 1, end - i - 1));
    out += value ? *value : text.substr(i, end - i + 1);
    i = end + 1;
  }
  return out;
}

std::wstring ProfilePath(Platform& system, Handle list, const std::wstring& sid) {
  Handle key = 0;
  if (system.regOpenKey(list, sid, kKeyRead, &key) != kErrorSuccess) return {};
  RegData data;
  std::wstring path;
  if (system.regQueryValue(key, L"ProfileImagePath", &data) == kErrorSuccess &&
      (data.type == kRegSz || data.type == kRegExpandSz))
    path = ExpandVariables(system, RegBytesToWide(data.bytes));
  system.regCloseKey(key);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring StripBackslashes(const std::wstring& path) {
  std::size_t first = 0;
  while (first < path.size() && path[first] == L'\\') ++first;
  return path.substr(first);
}

}  // namespace

std::wstring UserLabel(const UserHive& user) {
  std::wstring details = user.account;
  if (!user.profilePath.empty()) details += (details.empty() ? L"" : L", ") + user.profilePath;
  return details.empty() ? user.sid : user.sid + L" (" + details + L")";
}

bool IsPersonSid(const std::wstring& name) {
  if (name.size() < 5 || (name[0] != L'S' && name[0] != L's') || name.substr(1, 3) != L"-1-")
    return false;
  for (wchar_t c : name.substr(4))
    if (!(c >= L'0' && c <= L'9') && c != L'-') return false;
  // LocalSystem, LocalService and NetworkService: no person's settings.
  return name.substr(1) != L"-1-5-18" && name.substr(1) != L"-1-5-19" &&
         name.substr(1) != L"-1-5-20";
}

bool IsPerUser(const Repair& repair) {
  if (repair.kind != RepairKind::Restriction || !repair.restriction) return false;
  for (const PolicyLocation& at : repair.restriction->Locations)
    if (at.RootKey == kHkeyCurrentUser) return true;
  return false;
}

std::wstring TemporaryHiveName(const std::wstring& sid) { return L"Korvane_" + sid; }

UserHives::UserHives(Platform& system) : system_(system) {
  std::wstring name;
  for (std::uint32_t i = 0; system.regEnumKey(kHkeyUsers, i, &name) == kErrorSuccess; ++i) {
    if (!IsPersonSid(name)) continue;
    UserHive user;
    user.sid = name;
    user.keyName = name;
    users_.push_back(user);
  }

  Handle list = 0;
  if (system.regOpenKey(kHkeyLocalMachine, kProfileList, kKeyRead, &list) == kErrorSuccess) {
    std::vector<std::wstring> sids;
    for (std::uint32_t i = 0; system.regEnumKey(list, i, &name) == kErrorSuccess; ++i)
      if (IsPersonSid(name)) sids.push_back(name);
    for (const std::wstring& sid : sids) {
      const std::wstring path = ProfilePath(system, list, sid);
      UserHive* known = nullptr;
      for (UserHive& user : users_)
        if (SameNoCase(user.sid, sid)) known = &user;
      if (known) {
        known->profilePath = path;
        continue;
      }
      UserHive user;
      user.sid = sid;
      user.profilePath = path;
      if (path.empty()) user.error = L"its profile folder is not known";
      users_.push_back(user);
    }
    system.regCloseKey(list);
  }

  for (UserHive& user : users_)
    if (auto account = system.accountName(user.sid)) user.account = *account;

  bool privileges = false;
  for (UserHive& user : users_) {
    if (!user.keyName.empty() || !user.error.empty()) continue;
    if (!privileges) {
      // Loading a hive file takes both; a token that lacks them makes each load
      // below fail with the system's own reason.
      system.enablePrivilege(L"SeBackupPrivilege");
      system.enablePrivilege(L"SeRestorePrivilege");
      privileges = true;
    }
    const std::wstring file = user.profilePath + L"\\NTUSER.DAT";
    if (system.getFileAttributes(file) == kInvalidFileAttributes) {
      user.error = L"its hive file \"" + file + L"\" is not there";
      continue;
    }
    // A key of this name is a hive that an earlier run could not unload, or one that
    // another KorvaneCli is working on right now: it is left alone.
    const std::wstring temporary = TemporaryHiveName(user.sid);
    Handle there = 0;
    if (system.regOpenKey(kHkeyUsers, temporary, kKeyRead, &there) == kErrorSuccess) {
      system.regCloseKey(there);
      user.error = L"HKEY_USERS\\" + temporary +
                   L" is loaded already (by another KorvaneCli now, or by a run that did not "
                   L"end); when none runs, unload it with: reg unload HKU\\" +
                   temporary;
      continue;
    }
    if (system.regLoadHive(temporary, file) != kErrorSuccess) {
      user.error =
          L"its hive file \"" + file + L"\" could not be loaded: " + system.lastErrorText();
      continue;
    }
    user.keyName = temporary;
    user.hiveFile = file;
    user.loadedHere = true;
  }
}

UserHives::~UserHives() { unloadAll(); }

bool UserHives::unloadAll() {
  bool all = true;
  for (UserHive& user : users_) {
    if (!user.loadedHere || user.unloaded) continue;
    if (system_.regUnloadHive(user.keyName) == kErrorSuccess) {
      user.unloaded = true;
      user.unloadError.clear();
    } else {
      user.unloadError = system_.lastErrorText();
      all = false;
    }
  }
  return all;
}

// ----------------------------------------------------------------- the layer

std::wstring UserHivePlatform::below(const std::wstring& subKey) const {
  const std::wstring sub = StripBackslashes(subKey);
  return sub.empty() ? keyName_ : keyName_ + L"\\" + sub;
}

template <typename Call>
long UserHivePlatform::onHiveKey(std::uint32_t access, Call call) {
  Handle hive = 0;
  const long rc = inner().regOpenKey(kHkeyUsers, keyName_, access, &hive);
  if (rc != kErrorSuccess) return rc;
  const long result = call(hive);
  inner().regCloseKey(hive);
  return result;
}

long UserHivePlatform::regCreateKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                                    Handle* key) {
  if (parent != kHkeyCurrentUser)
    return ForwardingPlatform::regCreateKey(parent, subKey, access, key);
  return inner().regCreateKey(kHkeyUsers, below(subKey), access, key);
}

long UserHivePlatform::regOpenKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                                  Handle* key) {
  if (parent != kHkeyCurrentUser)
    return ForwardingPlatform::regOpenKey(parent, subKey, access, key);
  return inner().regOpenKey(kHkeyUsers, below(subKey), access, key);
}

long UserHivePlatform::regCloseKey(Handle key) {
  if (key == kHkeyCurrentUser) return kErrorSuccess;
  return ForwardingPlatform::regCloseKey(key);
}

long UserHivePlatform::regQueryValue(Handle key, const std::wstring& name, RegData* data) {
  if (key != kHkeyCurrentUser) return ForwardingPlatform::regQueryValue(key, name, data);
  return onHiveKey(kKeyRead, [&](Handle h) { return inner().regQueryValue(h, name, data); });
}

long UserHivePlatform::regSetValue(Handle key, const std::wstring& name, std::uint32_t type,
                                   const std::vector<std::uint8_t>& bytes) {
  if (key != kHkeyCurrentUser) return ForwardingPlatform::regSetValue(key, name, type, bytes);
  return onHiveKey(kKeyAllAccess,
                   [&](Handle h) { return inner().regSetValue(h, name, type, bytes); });
}

long UserHivePlatform::regDeleteValue(Handle key, const std::wstring& name) {
  if (key != kHkeyCurrentUser) return ForwardingPlatform::regDeleteValue(key, name);
  return onHiveKey(kKeyAllAccess, [&](Handle h) { return inner().regDeleteValue(h, name); });
}

long UserHivePlatform::regDeleteTree(Handle key, const std::wstring& subKey) {
  if (key != kHkeyCurrentUser) return ForwardingPlatform::regDeleteTree(key, subKey);
  if (StripBackslashes(subKey).empty()) return kErrorAccessDenied;  // never the hive itself
  return inner().regDeleteTree(kHkeyUsers, below(subKey));
}

long UserHivePlatform::regEnumKey(Handle key, std::uint32_t index, std::wstring* name) {
  if (key != kHkeyCurrentUser) return ForwardingPlatform::regEnumKey(key, index, name);
  return onHiveKey(kKeyRead, [&](Handle h) { return inner().regEnumKey(h, index, name); });
}

long UserHivePlatform::regEnumValue(Handle key, std::uint32_t index, std::wstring* name) {
  if (key != kHkeyCurrentUser) return ForwardingPlatform::regEnumValue(key, index, name);
  return onHiveKey(kKeyRead, [&](Handle h) { return inner().regEnumValue(h, index, name); });
}

}  // namespace korvane::cli
