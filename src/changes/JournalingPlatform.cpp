#include "changes/JournalingPlatform.h"

#include "base/Text.h"
#include "changes/OverlayPlatform.h"
#include "changes/RegScript.h"
#include "common/Registry.h"

namespace korvane {

bool JournalingPlatform::where(Handle key, const std::wstring& subKey, Where* out) const {
  std::vector<std::wstring> parts;
  if (IsRootKey(key)) {
    out->root = key;
  } else {
    auto it = keys_.find(key);
    if (it == keys_.end()) return false;
    out->root = it->second.root;
    parts = SplitKeyPath(it->second.path);
  }
  for (auto& p : SplitKeyPath(subKey)) parts.push_back(std::move(p));
  out->path = JoinKeyPath(parts);
  return true;
}

bool JournalingPlatform::existsBelow(Handle root, const std::wstring& path) const {
  Handle h = 0;
  if (inner().regOpenKey(root, path, kKeyRead, &h) != kErrorSuccess || h == 0) return false;
  inner().regCloseKey(h);
  return true;
}

long JournalingPlatform::regCreateKey(Handle parent, const std::wstring& subKey,
                                      std::uint32_t access, Handle* key) {
  Where w{};
  const bool known = where(parent, subKey, &w);
  // The levels that are missing now are the ones this call brings into being.
  std::vector<std::wstring> created;
  if (known) {
    const auto parts = SplitKeyPath(w.path);
    std::vector<std::wstring> prefix;
    for (const auto& part : parts) {
      prefix.push_back(part);
      const std::wstring p = JoinKeyPath(prefix);
      if (!created.empty() || !existsBelow(w.root, p)) created.push_back(p);
    }
  }
  const long rc = ForwardingPlatform::regCreateKey(parent, subKey, access, key);
  if (rc == kErrorSuccess && known) {
    for (const auto& p : created) journal_.push_back(KeyChange(ChangeKind::CreateKey, w.root, p));
    keys_[*key] = w;
  }
  return rc;
}

long JournalingPlatform::regOpenKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                                    Handle* key) {
  Where w{};
  const bool known = where(parent, subKey, &w);
  const long rc = ForwardingPlatform::regOpenKey(parent, subKey, access, key);
  if (rc == kErrorSuccess && known) keys_[*key] = w;
  return rc;
}

long JournalingPlatform::regCloseKey(Handle key) {
  keys_.erase(key);
  return ForwardingPlatform::regCloseKey(key);
}

long JournalingPlatform::regSetValue(Handle key, const std::wstring& name, std::uint32_t type,
                                     const std::vector<std::uint8_t>& bytes) {
  const long rc = ForwardingPlatform::regSetValue(key, name, type, bytes);
  Where w{};
  if (rc == kErrorSuccess && where(key, L"", &w))
    journal_.push_back(
        ValueChange(ChangeKind::SetValue, w.root, w.path, name, RegData{type, bytes}));
  return rc;
}

long JournalingPlatform::regDeleteValue(Handle key, const std::wstring& name) {
  const long rc = ForwardingPlatform::regDeleteValue(key, name);
  Where w{};
  if (rc == kErrorSuccess && where(key, L"", &w))
    journal_.push_back(ValueChange(ChangeKind::DeleteValue, w.root, w.path, name));
  return rc;
}

long JournalingPlatform::regDeleteTree(Handle key, const std::wstring& subKey) {
  Where w{};
  const bool known = where(key, subKey, &w);
  const bool perUserCopy = known && w.root == kHkeyClassesRoot &&
                           existsBelow(kHkeyCurrentUser, kUserClassesPath + L"\\" + w.path);
  const long rc = ForwardingPlatform::regDeleteTree(key, subKey);
  if (rc == kErrorSuccess && known) {
    journal_.push_back(KeyChange(ChangeKind::DeleteKey, w.root, w.path));
    journal_.back().perUserCopy = perUserCopy;
  }
  return rc;
}

bool JournalingPlatform::createProcess(const std::wstring* applicationName,
                                       std::vector<wchar_t>& commandLine,
                                       std::uint32_t creationFlags, int showMode,
                                       ProcessHandles* out) {
  const std::wstring command(commandLine.data());
  // Read before the start: the import may be under way, or over, by the time the
  // call returns.
  Journal imported;
  if (auto import = ReadRegImport(inner(), command); import && import->accepted)
    imported = PredictRegImport(inner(), import->ops);
  const bool started =
      ForwardingPlatform::createProcess(applicationName, commandLine, creationFlags, showMode, out);
  if (started) {
    journal_.push_back(
        OtherChange(ChangeKind::RunProgram, command, applicationName ? *applicationName : L""));
    for (Change& c : imported) journal_.push_back(std::move(c));
  }
  return started;
}

std::uint32_t JournalingPlatform::winExec(const std::wstring* applicationName,
                                          const std::wstring& commandLine, int showMode) {
  const std::uint32_t rc = ForwardingPlatform::winExec(applicationName, commandLine, showMode);
  if (rc > 31)
    journal_.push_back(OtherChange(ChangeKind::StartProgram, commandLine,
                                   applicationName ? *applicationName : L""));
  return rc;
}

bool JournalingPlatform::deleteFile(const std::wstring& path) {
  const bool ok = ForwardingPlatform::deleteFile(path);
  if (ok) journal_.push_back(OtherChange(ChangeKind::DeleteFile, path));
  return ok;
}

bool JournalingPlatform::writeFile(const std::wstring& path,
                                   const std::vector<std::uint8_t>& bytes) {
  const bool ok = ForwardingPlatform::writeFile(path, bytes);
  if (ok) {
    Change c = OtherChange(ChangeKind::WriteFile, path);
    c.byteCount = bytes.size();
    journal_.push_back(c);
  }
  return ok;
}

bool JournalingPlatform::writeNewFile(const std::wstring& path,
                                      const std::vector<std::uint8_t>& bytes, long* error) {
  const bool ok = ForwardingPlatform::writeNewFile(path, bytes, error);
  if (ok) {
    Change c = OtherChange(ChangeKind::WriteFile, path);
    c.byteCount = bytes.size();
    journal_.push_back(c);
  }
  return ok;
}

bool JournalingPlatform::replaceFile(const std::wstring& from, const std::wstring& to) {
  const bool ok = ForwardingPlatform::replaceFile(from, to);
  if (ok) journal_.push_back(OtherChange(ChangeKind::ReplaceFile, from, to));
  return ok;
}

long JournalingPlatform::deleteFileNoFollow(const std::wstring& path) {
  const long rc = ForwardingPlatform::deleteFileNoFollow(path);
  if (rc == 0) journal_.push_back(OtherChange(ChangeKind::DeleteFile, path));
  return rc;
}

long JournalingPlatform::deleteFolderTree(const std::wstring& path, std::wstring* item) {
  const long rc = ForwardingPlatform::deleteFolderTree(path, item);
  if (rc == 0) journal_.push_back(OtherChange(ChangeKind::DeleteFolder, path));
  return rc;
}

std::intptr_t JournalingPlatform::shellExecute(const std::wstring& verb, const std::wstring& file,
                                               const std::wstring* parameters, int showMode) {
  const std::intptr_t rc = ForwardingPlatform::shellExecute(verb, file, parameters, showMode);
  if (rc > 32)
    journal_.push_back(
        OtherChange(ChangeKind::ShellRequest, parameters ? file + L" " + *parameters : file, verb));
  return rc;
}

std::optional<ComFailure> JournalingPlatform::createRestorePoint(const std::wstring& description) {
  auto failure = ForwardingPlatform::createRestorePoint(description);
  if (!failure) journal_.push_back(OtherChange(ChangeKind::RestorePoint, description));
  return failure;
}

void JournalingPlatform::handOverValue(Handle key, const std::wstring& name) {
  Where w{};
  if (where(key, L"", &w)) {
    // Read through a handle of its own: the caller's may be open for writing only.
    Change c = ValueChange(ChangeKind::HandOver, w.root, w.path, name);
    Handle read = 0;
    c.valueAbsent = true;
    if (inner().regOpenKey(w.root, w.path, kKeyRead, &read) == kErrorSuccess) {
      c.valueAbsent = inner().regQueryValue(read, name, &c.data) != kErrorSuccess;
      inner().regCloseKey(read);
    }
    if (c.valueAbsent) c.data = {};
    journal_.push_back(std::move(c));
  }
  ForwardingPlatform::handOverValue(key, name);
}

// A stop is journaled when asked for: whatever happens next, the service was
// running and the repair meant it to stop.
long JournalingPlatform::stopService(const std::wstring& name) {
  const long rc = ForwardingPlatform::stopService(name);
  if (rc == kErrorSuccess) journal_.push_back(OtherChange(ChangeKind::StopService, name));
  return rc;
}

long JournalingPlatform::startService(const std::wstring& name) {
  const long rc = ForwardingPlatform::startService(name);
  if (rc == kErrorSuccess) journal_.push_back(OtherChange(ChangeKind::StartService, name));
  return rc;
}

bool JournalingPlatform::renameFolder(const std::wstring& from, const std::wstring& to) {
  const bool ok = ForwardingPlatform::renameFolder(from, to);
  if (ok) journal_.push_back(OtherChange(ChangeKind::RenameFolder, from, to));
  return ok;
}

}  // namespace korvane
