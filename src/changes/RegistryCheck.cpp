#include "changes/RegistryCheck.h"

#include <set>

#include "base/Text.h"
#include "changes/Describe.h"
#include "changes/RegScript.h"

namespace korvane {
namespace {

constexpr std::uint32_t kReadAccess = kKeyRead;

// An opened key, closed again on every path out.
class LiveKey {
 public:
  LiveKey(Platform& sys, Handle root, const std::wstring& path) : sys_(sys) {
    if (path.empty()) {
      handle_ = root;
      owned_ = false;
    } else if ((error_ = sys.regOpenKey(root, path, kReadAccess, &handle_)) != kErrorSuccess) {
      handle_ = 0;
    }
  }
  ~LiveKey() {
    if (handle_ && owned_) sys_.regCloseKey(handle_);
  }
  LiveKey(const LiveKey&) = delete;
  LiveKey& operator=(const LiveKey&) = delete;
  explicit operator bool() const { return handle_ != 0; }
  // Not there at all, rather than refused.
  bool missing() const { return error_ == kErrorFileNotFound; }
  Handle handle() const { return handle_; }

  std::vector<std::wstring> valueNames() const {
    std::vector<std::wstring> names;
    std::wstring name;
    for (std::uint32_t i = 0; sys_.regEnumValue(handle_, i, &name) == kErrorSuccess; ++i)
      names.push_back(name);
    return names;
  }
  std::vector<std::wstring> subKeyNames() const {
    std::vector<std::wstring> names;
    std::wstring name;
    for (std::uint32_t i = 0; sys_.regEnumKey(handle_, i, &name) == kErrorSuccess; ++i)
      names.push_back(name);
    return names;
  }
  std::optional<RegData> value(const std::wstring& name) const {
    RegData data;
    if (sys_.regQueryValue(handle_, name, &data) != kErrorSuccess) return std::nullopt;
    return data;
  }

 private:
  Platform& sys_;
  Handle handle_ = 0;
  long error_ = kErrorSuccess;
  bool owned_ = true;
};

std::wstring ChildPath(const std::wstring& path, const std::wstring& child) {
  return path.empty() ? child : path + L"\\" + child;
}

bool SameData(const RegData& a, const RegData& b) { return a.type == b.type && a.bytes == b.bytes; }

// How a value found differs from what was written (data) or removed (nullopt).
std::optional<Difference> ValueDifference(Handle root, const std::wstring& path,
                                          const std::wstring& name,
                                          const std::optional<RegData>& expected,
                                          const std::optional<RegData>& actual) {
  using W = Difference::What;
  if (expected && !actual) return Difference{W::MissingValue, root, path, name, expected, actual};
  if (expected && !SameData(*expected, *actual))
    return Difference{W::WrongValue, root, path, name, expected, actual};
  if (!expected && actual)
    return Difference{W::UnexpectedValue, root, path, name, expected, actual};
  return std::nullopt;
}

}  // namespace

ExpectedRegistry::Key& ExpectedRegistry::entry(Handle root, const std::wstring& path) {
  const Id id{root, LowerText(path)};
  auto it = keys_.find(id);
  if (it != keys_.end()) return it->second;
  Key key;
  key.root = root;
  key.path = path;
  // Below a deleted key everything must be exactly as written afterwards.
  auto parts = SplitKeyPath(path);
  while (!parts.empty() && !key.exact) {
    parts.pop_back();
    auto up = keys_.find(Id{root, LowerText(JoinKeyPath(parts))});
    if (up != keys_.end() && up->second.exact) key.exact = true;
  }
  return keys_.emplace(id, std::move(key)).first->second;
}

void ExpectedRegistry::apply(const Change& c) {
  switch (c.kind) {
    case ChangeKind::CreateKey: {
      Key& k = entry(c.root, c.path);
      k.present = true;
      k.loose = false;
      break;
    }
    case ChangeKind::SetValue: {
      Key& k = entry(c.root, c.path);
      k.present = true;
      k.loose = false;
      k.values[LowerText(c.name)] = Value{c.name, c.data};
      break;
    }
    case ChangeKind::DeleteValue: {
      Key& k = entry(c.root, c.path);
      k.present = true;
      k.loose = false;
      k.values[LowerText(c.name)] = Value{c.name, std::nullopt};
      break;
    }
    case ChangeKind::DeleteKey: {
      for (auto it = keys_.begin(); it != keys_.end();)
        it = it->first.first == c.root && IsSameOrBelow(it->second.path, c.path) ? keys_.erase(it)
                                                                                 : std::next(it);
      Key& k = entry(c.root, c.path);
      k.present = false;
      k.exact = !c.perUserCopy;
      k.loose = c.perUserCopy;
      break;
    }
    case ChangeKind::HandOver: {
      // What the program does with the value afterwards is its work, not a fault.
      auto key = keys_.find(Id{c.root, LowerText(c.path)});
      if (key == keys_.end()) break;
      auto value = key->second.values.find(LowerText(c.name));
      if (value == key->second.values.end() || value->second.handedOver) break;
      const std::optional<RegData> found =
          c.valueAbsent ? std::nullopt : std::optional<RegData>(c.data);
      if (auto d = ValueDifference(c.root, key->second.path, value->second.name, value->second.data,
                                   found))
        handedOver_.push_back(std::move(*d));
      value->second.handedOver = true;
      break;
    }
    case ChangeKind::StartService:
      services_[LowerText(c.path)] = c.path;
      break;
    case ChangeKind::StopService:
      services_.erase(LowerText(c.path));
      break;
    case ChangeKind::RenameFolder:
      folders_.erase(LowerText(c.path));
      folders_[LowerText(c.other)] = c.other;
      break;
    default:
      break;
  }
}

void ExpectedRegistry::applyAll(const Journal& journal) {
  for (const Change& c : journal) apply(c);
}

void ExpectedRegistry::applyScript(const std::vector<RegOp>& ops) {
  for (const RegOp& op : ops) {
    if (op.kind == RegOpKind::DeleteKey) {
      apply(KeyChange(ChangeKind::DeleteKey, op.root, op.path));
      continue;
    }
    std::wstring level;
    for (const std::wstring& part : SplitKeyPath(op.path)) {
      level = level.empty() ? part : level + L"\\" + part;
      entry(op.root, level).present = true;
    }
    if (op.kind == RegOpKind::SetValue) {
      apply(ValueChange(ChangeKind::SetValue, op.root, op.path, op.name, op.data));
    } else if (op.kind == RegOpKind::DeleteValue) {
      apply(ValueChange(ChangeKind::DeleteValue, op.root, op.path, op.name));
    }
  }
}

std::vector<Difference> ExpectedRegistry::compare(Platform& live) const {
  using W = Difference::What;
  std::vector<Difference> out = handedOver_;
  // Keys found missing.  A key sorts after its parent, so by the time a key comes
  // up, any missing key above it that is expected somewhere is known; nothing
  // below it can be there.  A key that is only refused proves nothing below it.
  std::set<Id> missing;
  auto underMissing = [&missing](const Id& id) {
    for (size_t cut = id.second.rfind(L'\\'); cut != std::wstring::npos;
         cut = id.second.rfind(L'\\', cut - 1)) {
      if (missing.count(Id{id.first, id.second.substr(0, cut)})) return true;
      if (cut == 0) break;
    }
    return false;
  };
  for (const auto& [id, key] : keys_) {
    if (key.loose) continue;
    const bool knownMissing = underMissing(id);
    std::optional<LiveKey> opened;
    if (!knownMissing) opened.emplace(live, key.root, key.path);
    const bool exists = opened && *opened;
    if (knownMissing || opened->missing()) missing.insert(id);
    if (!key.present) {
      if (exists) out.push_back({W::UnexpectedKey, key.root, key.path, {}, {}, {}});
      continue;
    }
    if (!exists) {
      out.push_back({W::MissingKey, key.root, key.path, {}, {}, {}});
      continue;
    }
    const LiveKey& k = *opened;
    for (const auto& [lower, v] : key.values) {
      if (v.handedOver) continue;
      if (auto d = ValueDifference(key.root, key.path, v.name, v.data, k.value(v.name)))
        out.push_back(std::move(*d));
    }
    if (!key.exact) continue;
    for (const std::wstring& name : k.valueNames()) {
      if (key.values.count(LowerText(name))) continue;
      out.push_back({W::UnexpectedValue, key.root, key.path, name, std::nullopt, k.value(name)});
    }
    for (const std::wstring& child : k.subKeyNames()) {
      const std::wstring path = ChildPath(key.path, child);
      if (!keys_.count(Id{key.root, LowerText(path)}))
        out.push_back({W::UnexpectedKey, key.root, path, {}, {}, {}});
    }
  }
  for (const auto& [lower, name] : services_) {
    std::uint32_t state = 0;
    if (live.queryServiceState(name, &state) != kErrorSuccess || state != kServiceRunning)
      out.push_back({W::ServiceNotRunning, 0, name, {}, {}, {}});
  }
  for (const auto& [lower, path] : folders_) {
    const std::uint32_t a = live.getFileAttributes(path);
    if (a == kInvalidFileAttributes || !(a & kFileAttributeDirectory))
      out.push_back({W::MissingFolder, 0, path, {}, {}, {}});
  }
  return out;
}

std::optional<KeyTree> ReadKeyTree(Platform& live, Handle root, const std::wstring& path) {
  LiveKey k(live, root, path);
  if (!k) return std::nullopt;
  KeyTree tree;
  const auto parts = SplitKeyPath(path);
  tree.name = parts.empty() ? std::wstring() : parts.back();
  for (const std::wstring& name : k.valueNames())
    if (auto data = k.value(name)) tree.values.emplace_back(name, *data);
  for (const std::wstring& child : k.subKeyNames())
    if (auto sub = ReadKeyTree(live, root, ChildPath(path, child))) tree.subKeys.push_back(*sub);
  return tree;
}

namespace {

void WriteTree(const KeyTree& tree, Handle root, const std::wstring& path, std::wstring* out,
               std::vector<RegOp>* ops) {
  *out += L"[" + FullKeyName(root, path) + L"]\n";
  ops->push_back({RegOpKind::CreateKey, root, path, L"", {}, 0});
  for (const auto& [name, data] : tree.values) {
    *out += FormatRegValue(name, data);
    ops->push_back({RegOpKind::SetValue, root, path, name, data, 0});
  }
  *out += L"\n";
  for (const KeyTree& sub : tree.subKeys) WriteTree(sub, root, ChildPath(path, sub.name), out, ops);
}

struct Location {
  Handle root;
  std::wstring path;
};

// Where a key is stored.  A key of HKEY_CLASSES_ROOT may be the machine's, the
// user's own or both; an undo file names the two copies, so that each gets back
// exactly what it held, whichever of them the repair's writes went to.  (Where
// HKEY_CLASSES_ROOT is the machine's classes alone, as under Wine, the user's copy
// is simply written back as it is.)
std::vector<Location> StoredAt(Handle root, const std::wstring& path) {
  if (root != kHkeyClassesRoot) return {{root, path}};
  return {{kHkeyLocalMachine, ChildPath(kUserClassesPath, path)},
          {kHkeyCurrentUser, ChildPath(kUserClassesPath, path)}};
}

}  // namespace

std::wstring BuildUndoScript(const Journal& journal, Platform& live,
                             const std::vector<std::wstring>& headerComments,
                             std::vector<RegOp>* meant) {
  std::vector<RegOp> unused;
  std::vector<RegOp>* ops = meant ? meant : &unused;
  // Keys deleted or created are put back whole; only the outermost of them count.
  std::vector<std::pair<Handle, std::wstring>> wholeKeys;
  for (const Change& c : journal) {
    if (c.kind != ChangeKind::CreateKey && c.kind != ChangeKind::DeleteKey) continue;
    bool covered = false;
    for (const auto& [root, path] : wholeKeys)
      covered = covered || (root == c.root && IsSameOrBelow(c.path, path));
    if (covered) continue;
    std::erase_if(wholeKeys, [&c](const auto& k) {
      return k.first == c.root && IsSameOrBelow(k.second, c.path);
    });
    wholeKeys.emplace_back(c.root, c.path);
  }
  auto underWholeKey = [&wholeKeys](Handle root, const std::wstring& path) {
    for (const auto& [r, p] : wholeKeys)
      if (r == root && IsSameOrBelow(path, p)) return true;
    return false;
  };

  // Values changed in keys that are otherwise left alone, grouped by key.
  struct ValueKey {
    Handle root;
    std::wstring path;
    std::vector<std::wstring> names;
  };
  std::vector<ValueKey> valueKeys;
  std::vector<const Change*> others;
  for (const Change& c : journal) {
    if (c.kind == ChangeKind::HandOver) continue;  // changes nothing
    // A folder renamed is named in the header, and the undo renames it back.
    if (c.kind == ChangeKind::RenameFolder) continue;
    if (!IsRegistryChange(c.kind)) {
      others.push_back(&c);
      continue;
    }
    if (c.kind != ChangeKind::SetValue && c.kind != ChangeKind::DeleteValue) continue;
    if (underWholeKey(c.root, c.path)) continue;
    ValueKey* vk = nullptr;
    for (auto& k : valueKeys)
      if (k.root == c.root && SameNoCase(k.path, c.path)) vk = &k;
    if (!vk) vk = &valueKeys.emplace_back(ValueKey{c.root, c.path, {}});
    bool seen = false;
    for (const auto& n : vk->names) seen = seen || SameNoCase(n, c.name);
    if (!seen) vk->names.push_back(c.name);
  }

  std::wstring out = kRegFileHeader + L"\n\n";
  for (const std::wstring& line : headerComments) out += L"; " + line + L"\n";
  if (!headerComments.empty()) out += L"\n";

  for (const auto& [root, path] : wholeKeys) {
    const std::vector<Location> places = StoredAt(root, path);
    for (const Location& at : places) {
      std::optional<KeyTree> tree = ReadKeyTree(live, at.root, at.path);
      // A user's copy that is not there now is not made by the repair either: new
      // class keys go to the machine's.
      if (!tree && &at != &places.front()) continue;
      out += L"[-" + FullKeyName(at.root, at.path) + L"]\n\n";
      ops->push_back({RegOpKind::DeleteKey, at.root, at.path, L"", {}, 0});
      if (tree) WriteTree(*tree, at.root, at.path, &out, ops);
    }
  }
  for (const ValueKey& vk : valueKeys) {
    std::vector<Location> places = StoredAt(vk.root, vk.path);
    // A copy that is not there gets no section, which would create it.
    if (places.size() > 1)
      std::erase_if(places,
                    [&live](const Location& at) { return !LiveKey(live, at.root, at.path); });
    for (const Location& at : places) {
      LiveKey k(live, at.root, at.path);
      out += L"[" + FullKeyName(at.root, at.path) + L"]\n";
      ops->push_back({RegOpKind::CreateKey, at.root, at.path, L"", {}, 0});
      for (const std::wstring& name : vk.names) {
        std::optional<RegData> data = k ? k.value(name) : std::nullopt;
        if (data) {
          out += FormatRegValue(name, *data);
          ops->push_back({RegOpKind::SetValue, at.root, at.path, name, *data, 0});
        } else {
          out += RegValueNameToken(name) + L"=-\n";
          ops->push_back({RegOpKind::DeleteValue, at.root, at.path, name, {}, 0});
        }
      }
      out += L"\n";
    }
  }
  if (!others.empty()) {
    out += L"; Not undone by this file:\n";
    for (const Change* c : others) out += L";   " + EscapeControls(DescribeChange(*c)) + L"\n";
  }
  return out;
}

}  // namespace korvane
