#include "changes/OverlayPlatform.h"

#include <algorithm>

#include "base/ErrorText.h"
#include "base/Text.h"
#include "changes/RegScript.h"
#include "common/Registry.h"

namespace korvane {
namespace {

std::vector<std::wstring> Prefix(const std::vector<std::wstring>& parts, size_t n) {
  return {parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(n)};
}

}  // namespace

struct OverlayPlatform::Node {
  enum class State { Inherit, Present, Absent };
  struct Value {
    std::wstring name;
    std::optional<RegData> data;  // nullopt: deleted in this run
    std::size_t order = 0;
  };

  std::wstring name;
  State state = State::Inherit;
  // The key was deleted in this run: nothing the platform below holds at or under
  // it is visible any more, even after the key is created again.
  bool hidesBelow = false;
  std::map<std::wstring, std::unique_ptr<Node>> children;  // by lower-case name
  std::map<std::wstring, Value> values;                    // by lower-case name

  Node* child(const std::wstring& n) const {
    auto it = children.find(LowerText(n));
    return it == children.end() ? nullptr : it->second.get();
  }
};

OverlayPlatform::OverlayPlatform(Platform& below, Rights rights)
    : ForwardingPlatform(below), rights_(rights), nextHandle_(0x4B560000u) {}

OverlayPlatform::~OverlayPlatform() = default;

void OverlayPlatform::applyImport(const std::vector<RegOp>& ops) {
  importing_ = true;
  ApplyRegOps(*this, ops);
  importing_ = false;
}

Journal PredictRegImport(Platform& below, const std::vector<RegOp>& ops) {
  OverlayPlatform preview(below);
  preview.applyImport(ops);
  return preview.journal();
}

void OverlayPlatform::record(Change change) {
  change.viaImport = importing_;
  journal_.push_back(std::move(change));
}

// ------------------------------------------------------------------ registry

bool OverlayPlatform::resolve(Handle parent, const std::wstring& subKey, Handle* root,
                              std::vector<std::wstring>* parts) const {
  if (IsRootKey(parent)) {
    *root = parent;
    parts->clear();
  } else if (const OpenKey* k = openKey(parent)) {
    *root = k->root;
    *parts = k->parts;
  } else {
    return false;
  }
  for (auto& p : SplitKeyPath(subKey)) parts->push_back(std::move(p));
  return true;
}

const OverlayPlatform::OpenKey* OverlayPlatform::openKey(Handle key) const {
  auto it = keys_.find(key);
  return it == keys_.end() ? nullptr : &it->second;
}

bool OverlayPlatform::belowKeyExists(Handle root, const std::vector<std::wstring>& parts) const {
  if (parts.empty()) return true;
  Handle h = 0;
  if (inner().regOpenKey(root, JoinKeyPath(parts), kKeyRead, &h) != kErrorSuccess || h == 0)
    return false;
  inner().regCloseKey(h);
  return true;
}

OverlayPlatform::KeyView OverlayPlatform::view(Handle root,
                                               const std::vector<std::wstring>& parts) const {
  KeyView v;
  auto r = roots_.find(root);
  Node* n = r == roots_.end() ? nullptr : r->second.get();
  for (const auto& part : parts) {
    Node* c = n ? n->child(part) : nullptr;
    if (!c) {
      // Nothing recorded from here down: the key is what the platform below says.
      v.exists = v.belowVisible && belowKeyExists(root, parts);
      return v;
    }
    if (c->state == Node::State::Absent) return v;
    if (c->hidesBelow) v.belowVisible = false;
    n = c;
  }
  v.node = n;
  if (parts.empty() || (n && n->state == Node::State::Present)) {
    v.exists = true;
  } else {
    v.exists = v.belowVisible && belowKeyExists(root, parts);
  }
  return v;
}

OverlayPlatform::Node& OverlayPlatform::nodeFor(Handle root,
                                                const std::vector<std::wstring>& parts) {
  auto& top = roots_[root];
  if (!top) top = std::make_unique<Node>();
  Node* n = top.get();
  for (const auto& part : parts) {
    auto& slot = n->children[LowerText(part)];
    if (!slot) {
      slot = std::make_unique<Node>();
      slot->name = part;
    }
    n = slot.get();
  }
  return *n;
}

Handle OverlayPlatform::newKeyHandle(Handle root, std::vector<std::wstring> parts) {
  const Handle h = nextHandle_++;
  keys_[h] = OpenKey{root, std::move(parts)};
  return h;
}

long OverlayPlatform::checkAccessBelow(Handle root, const std::vector<std::wstring>& parts,
                                       std::uint32_t access) const {
  // A key that only the overlay holds has no owner below to refuse anything; one
  // that is real is opened below with the access asked for, so that a preview run
  // without the rights to a key fails where the real run would.
  if (parts.empty() || !view(root, parts).belowVisible || !belowKeyExists(root, parts))
    return kErrorSuccess;
  Handle h = 0;
  const long rc = inner().regOpenKey(root, JoinKeyPath(parts),
                                     rights_ == Rights::ReadOnly ? kKeyRead : access, &h);
  if (rc == kErrorSuccess && h != 0) inner().regCloseKey(h);
  return rc;
}

long OverlayPlatform::regCreateKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                                   Handle* key) {
  *key = 0;
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!resolve(parent, subKey, &root, &parts)) return kErrorInvalidHandle;
  if (!IsRootKey(parent) && !view(root, openKey(parent)->parts).exists) return kErrorKeyDeleted;
  size_t firstMissing = parts.size();
  for (size_t i = 1; i <= parts.size(); ++i) {
    if (!view(root, Prefix(parts, i)).exists) {
      firstMissing = i - 1;
      break;
    }
  }
  if (firstMissing == parts.size()) {
    if (const long rc = checkAccessBelow(root, parts, access); rc != kErrorSuccess) return rc;
  }
  for (size_t i = firstMissing; i < parts.size(); ++i) {
    const auto level = Prefix(parts, i + 1);
    record(KeyChange(ChangeKind::CreateKey, root, JoinKeyPath(level)));
    Node& n = nodeFor(root, level);
    n.state = Node::State::Present;
  }
  *key = newKeyHandle(root, parts);
  return kErrorSuccess;
}

long OverlayPlatform::regOpenKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                                 Handle* key) {
  *key = 0;
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!resolve(parent, subKey, &root, &parts)) return kErrorInvalidHandle;
  if (!IsRootKey(parent) && !view(root, openKey(parent)->parts).exists) return kErrorKeyDeleted;
  if (!view(root, parts).exists) return kErrorFileNotFound;
  if (const long rc = checkAccessBelow(root, parts, access); rc != kErrorSuccess) return rc;
  *key = newKeyHandle(root, parts);
  return kErrorSuccess;
}

long OverlayPlatform::regCloseKey(Handle key) {
  if (IsRootKey(key)) return kErrorSuccess;
  return keys_.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

long OverlayPlatform::regQueryValue(Handle key, const std::wstring& name, RegData* data) {
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!resolve(key, L"", &root, &parts)) return kErrorInvalidHandle;
  const KeyView v = view(root, parts);
  if (!v.exists) return kErrorKeyDeleted;
  if (v.node) {
    auto it = v.node->values.find(LowerText(name));
    if (it != v.node->values.end()) {
      if (!it->second.data) return kErrorFileNotFound;
      *data = *it->second.data;
      return kErrorSuccess;
    }
  }
  if (!v.belowVisible) return kErrorFileNotFound;
  if (parts.empty()) return inner().regQueryValue(root, name, data);
  Handle h = 0;
  long rc = inner().regOpenKey(root, JoinKeyPath(parts), kKeyRead, &h);
  if (rc != kErrorSuccess) return kErrorFileNotFound;
  rc = inner().regQueryValue(h, name, data);
  inner().regCloseKey(h);
  return rc;
}

long OverlayPlatform::regSetValue(Handle key, const std::wstring& name, std::uint32_t type,
                                  const std::vector<std::uint8_t>& bytes) {
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!resolve(key, L"", &root, &parts)) return kErrorInvalidHandle;
  if (!view(root, parts).exists) return kErrorKeyDeleted;
  record(ValueChange(ChangeKind::SetValue, root, JoinKeyPath(parts), name, RegData{type, bytes}));
  for (size_t i = 1; i <= parts.size(); ++i)
    nodeFor(root, Prefix(parts, i)).state = Node::State::Present;
  nodeFor(root, parts).values[LowerText(name)] = {name, RegData{type, bytes}, ++valueOrder_};
  return kErrorSuccess;
}

void OverlayPlatform::handOverValue(Handle key, const std::wstring& name) {
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!resolve(key, L"", &root, &parts)) return;
  Change c = ValueChange(ChangeKind::HandOver, root, JoinKeyPath(parts), name);
  c.valueAbsent = regQueryValue(key, name, &c.data) != kErrorSuccess;
  if (c.valueAbsent) c.data = {};
  record(std::move(c));
}

long OverlayPlatform::regDeleteValue(Handle key, const std::wstring& name) {
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!resolve(key, L"", &root, &parts)) return kErrorInvalidHandle;
  if (!view(root, parts).exists) return kErrorKeyDeleted;
  RegData current;
  if (regQueryValue(key, name, &current) != kErrorSuccess) return kErrorFileNotFound;
  record(ValueChange(ChangeKind::DeleteValue, root, JoinKeyPath(parts), name));
  nodeFor(root, parts).values[LowerText(name)] = {name, std::nullopt, 0};
  return kErrorSuccess;
}

long OverlayPlatform::regDeleteTree(Handle key, const std::wstring& subKey) {
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!resolve(key, subKey, &root, &parts)) return kErrorInvalidHandle;
  const size_t ownDepth = IsRootKey(key) ? 0 : openKey(key)->parts.size();
  if (parts.size() <= ownDepth) return kErrorAccessDenied;  // never the key itself or a root
  if (!view(root, Prefix(parts, ownDepth)).exists) return kErrorKeyDeleted;
  if (!view(root, parts).exists) return kErrorFileNotFound;
  Change deletion = KeyChange(ChangeKind::DeleteKey, root, JoinKeyPath(parts));
  if (root == kHkeyClassesRoot) {
    std::vector<std::wstring> user = SplitKeyPath(kUserClassesPath);
    user.insert(user.end(), parts.begin(), parts.end());
    deletion.perUserCopy = view(kHkeyCurrentUser, user).exists;
  }
  record(std::move(deletion));
  Node& n = nodeFor(root, parts);
  n.state = Node::State::Absent;
  n.hidesBelow = true;
  n.children.clear();
  n.values.clear();
  return kErrorSuccess;
}

std::vector<std::wstring> OverlayPlatform::subKeys(Handle root,
                                                   const std::vector<std::wstring>& parts) const {
  const KeyView v = view(root, parts);
  std::map<std::wstring, std::wstring> names;  // lower-case -> as shown
  if (v.belowVisible) {
    Handle h = root;
    if (parts.empty() ||
        inner().regOpenKey(root, JoinKeyPath(parts), kKeyRead, &h) == kErrorSuccess) {
      std::wstring name;
      for (std::uint32_t i = 0; inner().regEnumKey(h, i, &name) == kErrorSuccess; ++i)
        names[LowerText(name)] = name;
      if (!parts.empty()) inner().regCloseKey(h);
    }
  }
  if (v.node) {
    for (const auto& [lower, child] : v.node->children) {
      if (child->state == Node::State::Absent) names.erase(lower);
      if (child->state == Node::State::Present) names.emplace(lower, child->name);
    }
  }
  std::vector<std::wstring> out;
  for (auto& [lower, shown] : names) out.push_back(shown);
  return out;
}

std::vector<std::wstring> OverlayPlatform::valueNames(
    Handle root, const std::vector<std::wstring>& parts) const {
  const KeyView v = view(root, parts);
  std::vector<std::wstring> out;
  std::set<std::wstring> seen;
  if (v.belowVisible) {
    Handle h = root;
    if (parts.empty() ||
        inner().regOpenKey(root, JoinKeyPath(parts), kKeyRead, &h) == kErrorSuccess) {
      std::wstring name;
      for (std::uint32_t i = 0; inner().regEnumValue(h, i, &name) == kErrorSuccess; ++i) {
        const std::wstring lower = LowerText(name);
        seen.insert(lower);
        if (v.node) {
          auto it = v.node->values.find(lower);
          if (it != v.node->values.end() && !it->second.data) continue;  // deleted in this run
        }
        out.push_back(name);
      }
      if (!parts.empty()) inner().regCloseKey(h);
    }
  }
  if (v.node) {
    std::vector<const Node::Value*> added;
    for (const auto& [lower, value] : v.node->values)
      if (value.data && !seen.count(lower)) added.push_back(&value);
    std::sort(added.begin(), added.end(),
              [](const Node::Value* a, const Node::Value* b) { return a->order < b->order; });
    for (const Node::Value* value : added) out.push_back(value->name);
  }
  return out;
}

long OverlayPlatform::regEnumKey(Handle key, std::uint32_t index, std::wstring* name) {
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!resolve(key, L"", &root, &parts)) return kErrorInvalidHandle;
  if (!view(root, parts).exists) return kErrorKeyDeleted;
  const auto names = subKeys(root, parts);
  if (index >= names.size()) return kErrorNoMoreItems;
  *name = names[index];
  return kErrorSuccess;
}

long OverlayPlatform::regEnumValue(Handle key, std::uint32_t index, std::wstring* name) {
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!resolve(key, L"", &root, &parts)) return kErrorInvalidHandle;
  if (!view(root, parts).exists) return kErrorKeyDeleted;
  const auto names = valueNames(root, parts);
  if (index >= names.size()) return kErrorNoMoreItems;
  *name = names[index];
  return kErrorSuccess;
}

// ----------------------------------------------------------------- processes

bool OverlayPlatform::createProcess(const std::wstring* applicationName,
                                    std::vector<wchar_t>& commandLine, std::uint32_t, int,
                                    ProcessHandles* out) {
  const std::wstring command(commandLine.data());
  record(OtherChange(ChangeKind::RunProgram, command, applicationName ? *applicationName : L""));
  FakeProcess process;
  if (auto import = ReadRegImport(*this, command)) {
    // reg.exe ends with 1 when it cannot read the file or the file has no header,
    // as the real one does; otherwise its writes become part of the preview.
    if (import->accepted) {
      applyImport(import->ops);
    } else {
      process.exitCode = 1;
    }
  }
  out->process = nextHandle_++;
  out->thread = nextHandle_++;
  processes_[out->process] = process;
  threads_.insert(out->thread);
  return true;
}

std::uint32_t OverlayPlatform::waitForSingleObject(Handle h, std::uint32_t milliseconds) {
  if (processes_.count(h)) return kWaitObject0;
  return ForwardingPlatform::waitForSingleObject(h, milliseconds);
}

bool OverlayPlatform::getExitCodeProcess(Handle process, std::uint32_t* code) {
  auto it = processes_.find(process);
  if (it == processes_.end()) return ForwardingPlatform::getExitCodeProcess(process, code);
  *code = it->second.exitCode;
  return true;
}

void OverlayPlatform::closeHandle(Handle h) {
  if (processes_.erase(h) || threads_.erase(h) || locks_.erase(h)) return;
  ForwardingPlatform::closeHandle(h);
}

std::uint32_t OverlayPlatform::winExec(const std::wstring* applicationName,
                                       const std::wstring& commandLine, int) {
  record(
      OtherChange(ChangeKind::StartProgram, commandLine, applicationName ? *applicationName : L""));
  return 33;
}

std::intptr_t OverlayPlatform::shellExecute(const std::wstring& verb, const std::wstring& file,
                                            const std::wstring* parameters, int) {
  record(
      OtherChange(ChangeKind::ShellRequest, parameters ? file + L" " + *parameters : file, verb));
  return 42;
}

std::optional<ComFailure> OverlayPlatform::createRestorePoint(const std::wstring& description) {
  record(OtherChange(ChangeKind::RestorePoint, description));
  return std::nullopt;
}

// -------------------------------------------------------------------- files

bool OverlayPlatform::fail(long error) {
  lastError_ = error;
  return false;
}

std::wstring OverlayPlatform::lastErrorText() {
  if (!lastError_) return ForwardingPlatform::lastErrorText();
  return SystemErrorText(*lastError_);
}

std::uint32_t OverlayPlatform::fileAttributes(const std::wstring& path) {
  const std::wstring key = NormalPath(path);
  auto it = files_.find(key);
  if (it != files_.end()) return it->second.bytes ? 0x20u : kInvalidFileAttributes;
  if (addedFolders_.count(key)) return kFileAttributeDirectory;
  for (const auto& folder : deletedFolders_)
    if (key == folder || key.rfind(folder + L"\\", 0) == 0) return kInvalidFileAttributes;
  return ForwardingPlatform::getFileAttributes(path);
}

std::uint32_t OverlayPlatform::getFileAttributes(const std::wstring& path) {
  return fileAttributes(path);
}

bool OverlayPlatform::deleteFile(const std::wstring& path) {
  const std::uint32_t a = fileAttributes(path);
  if (a == kInvalidFileAttributes) return fail(kErrorFileNotFound);
  if ((a & (kFileAttributeDirectory | kFileAttributeReadOnly)) != 0)
    return fail(kErrorAccessDenied);
  record(OtherChange(ChangeKind::DeleteFile, path));
  files_[NormalPath(path)] = FileEntry{path, std::nullopt};
  return true;
}

bool OverlayPlatform::writeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  const std::uint32_t folder = fileAttributes(ParentFolder(path));
  if (folder == kInvalidFileAttributes || !(folder & kFileAttributeDirectory))
    return fail(kErrorPathNotFound);
  const std::uint32_t a = fileAttributes(path);
  if (a != kInvalidFileAttributes && (a & (kFileAttributeDirectory | kFileAttributeReadOnly)))
    return fail(kErrorAccessDenied);
  Change c = OtherChange(ChangeKind::WriteFile, path);
  c.byteCount = bytes.size();
  record(c);
  files_[NormalPath(path)] = FileEntry{path, bytes};
  return true;
}

bool OverlayPlatform::writeNewFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                                   long* error) {
  if (fileAttributes(path) != kInvalidFileAttributes) {
    *error = kErrorFileExists;
    return fail(kErrorFileExists);
  }
  if (writeFile(path, bytes)) return true;
  *error = lastError_.value_or(kErrorAccessDenied);
  return false;
}

bool OverlayPlatform::readFile(const std::wstring& path, std::vector<std::uint8_t>* bytes) {
  const std::wstring key = NormalPath(path);
  auto it = files_.find(key);
  if (it != files_.end()) {
    if (!it->second.bytes) return fail(kErrorFileNotFound);
    *bytes = *it->second.bytes;
    return true;
  }
  if (fileAttributes(path) == kInvalidFileAttributes) return fail(kErrorFileNotFound);
  lastError_.reset();
  return ForwardingPlatform::readFile(path, bytes);
}

bool OverlayPlatform::lockFile(const std::wstring& path, Handle* lock,
                               std::vector<std::uint8_t>* bytes) {
  if (!readFile(path, bytes)) return false;
  *lock = nextHandle_++;
  locks_[*lock] = path;
  return true;
}

// A preview holds nothing below it: the file's security is looked up by its path.
std::optional<FileSecurity> OverlayPlatform::heldFileSecurity(Handle lock) {
  auto it = locks_.find(lock);
  if (it == locks_.end()) {
    fail(kErrorInvalidHandle);
    return std::nullopt;
  }
  return ForwardingPlatform::fileSecurity(it->second);
}

bool OverlayPlatform::replaceFile(const std::wstring& from, const std::wstring& to) {
  if (fileAttributes(from) == kInvalidFileAttributes) return fail(kErrorFileNotFound);
  const std::uint32_t folder = fileAttributes(ParentFolder(to));
  if (folder == kInvalidFileAttributes || !(folder & kFileAttributeDirectory))
    return fail(kErrorPathNotFound);
  const std::uint32_t old = fileAttributes(to);
  if (old != kInvalidFileAttributes && (old & (kFileAttributeDirectory | kFileAttributeReadOnly)))
    return fail(kErrorAccessDenied);
  std::vector<std::uint8_t> bytes;
  readFile(from, &bytes);
  record(OtherChange(ChangeKind::ReplaceFile, from, to));
  files_[NormalPath(to)] = FileEntry{to, std::move(bytes)};
  files_[NormalPath(from)] = FileEntry{from, std::nullopt};
  return true;
}

// A preview changes nothing below it, so there is no link to be led through: the
// file goes from the overlay as deleteFile takes it.
long OverlayPlatform::deleteFileNoFollow(const std::wstring& path) {
  if (deleteFile(path)) return 0;
  return lastError_.value_or(kErrorAccessDenied);
}

long OverlayPlatform::deleteFolderTree(const std::wstring& path, std::wstring* item) {
  const std::uint32_t a = fileAttributes(path);
  if (a == kInvalidFileAttributes || !(a & kFileAttributeDirectory)) {
    *item = path;
    fail(kErrorFileNotFound);
    return kErrorFileNotFound;
  }
  record(OtherChange(ChangeKind::DeleteFolder, path));
  const std::wstring key = NormalPath(path);
  for (auto it = files_.begin(); it != files_.end();)
    it = it->first.rfind(key + L"\\", 0) == 0 ? files_.erase(it) : std::next(it);
  deletedFolders_.push_back(key);
  return 0;
}

bool OverlayPlatform::renameFolder(const std::wstring& from, const std::wstring& to) {
  const std::uint32_t a = fileAttributes(from);
  if (a == kInvalidFileAttributes) return fail(kErrorFileNotFound);
  if (!(a & kFileAttributeDirectory)) return fail(kErrorAccessDenied);
  if (fileAttributes(to) != kInvalidFileAttributes) return fail(kErrorAlreadyExists);
  record(OtherChange(ChangeKind::RenameFolder, from, to));
  const std::wstring key = NormalPath(from);
  for (auto it = files_.begin(); it != files_.end();)
    it = it->first.rfind(key + L"\\", 0) == 0 ? files_.erase(it) : std::next(it);
  addedFolders_.erase(key);
  deletedFolders_.push_back(key);
  addedFolders_.insert(NormalPath(to));
  return true;
}

// ------------------------------------------------------------------ services

long OverlayPlatform::queryServiceState(const std::wstring& name, std::uint32_t* state) {
  auto it = services_.find(LowerText(name));
  if (it == services_.end()) return ForwardingPlatform::queryServiceState(name, state);
  *state = it->second;
  return kErrorSuccess;
}

long OverlayPlatform::stopService(const std::wstring& name) {
  std::uint32_t state = 0;
  const long rc = queryServiceState(name, &state);
  if (rc != kErrorSuccess) return rc;
  if (state == kServiceStopped) return kErrorServiceNotActive;
  record(OtherChange(ChangeKind::StopService, name));
  services_[LowerText(name)] = kServiceStopped;
  return kErrorSuccess;
}

long OverlayPlatform::startService(const std::wstring& name) {
  std::uint32_t state = 0;
  const long rc = queryServiceState(name, &state);
  if (rc != kErrorSuccess) return rc;
  if (state != kServiceStopped) return kErrorServiceAlreadyRunning;
  record(OtherChange(ChangeKind::StartService, name));
  services_[LowerText(name)] = kServiceRunning;
  return kErrorSuccess;
}

}  // namespace korvane
