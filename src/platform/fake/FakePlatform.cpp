#include "platform/fake/FakePlatform.h"

#include <algorithm>
#include <cwctype>
#include <sstream>

#include "base/ErrorText.h"
#include "base/RegBytes.h"
#include "base/Text.h"
#include "platform/TreeDelete.h"

namespace korvane::fake {

std::string Narrow(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::wstring Widen(const std::string& s) {
  std::wstring out;
  for (char c : s) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return out;
}

namespace {
const std::wstring kClassesPath = L"Software\\Classes";
// The access a test's set-up opens keys with: no right it models applies to it.
constexpr std::uint32_t kSetUpAccess = 0xFFFFFFFFu;

std::wstring NormPath(const std::wstring& path) {
  std::wstring p = NormalPath(path);
  // "\\X" is X in the root of the current drive, which is always C: here.
  if (!p.empty() && p[0] == L'\\' && (p.size() == 1 || p[1] != L'\\')) p = L"c:" + p;
  // Windows resolves "." and ".." before it opens anything: C:\Undo\..\x is C:\x,
  // and ".." at a drive's root stays there.
  if (p.size() >= 3 && p[1] == L':' && p[2] == L'\\' && (p.find(L"\\.") != std::wstring::npos)) {
    std::vector<std::wstring> parts;
    for (const std::wstring& part : SplitKeyPath(p.substr(3))) {
      if (part == L"..") {
        if (!parts.empty()) parts.pop_back();
      } else if (part != L".") {
        parts.push_back(part);
      }
    }
    p = p.substr(0, 3) + JoinKeyPath(parts);
  }
  return p;
}
}  // namespace

struct FakePlatform::Key {
  std::wstring name;
  bool denyWrites = false;
  bool denyOpens = false;
  std::map<std::wstring, std::unique_ptr<Key>> children;  // by lower-case name
  std::vector<std::pair<std::wstring, RegData>> values;   // insertion order

  Key* child(const std::wstring& n) const {
    auto it = children.find(LowerText(n));
    return it == children.end() ? nullptr : it->second.get();
  }
  std::pair<std::wstring, RegData>* findValue(const std::wstring& n) {
    for (auto& v : values)
      if (LowerText(v.first) == LowerText(n)) return &v;
    return nullptr;
  }
};

FakePlatform::FakePlatform()
    : hkcu_(std::make_unique<Key>()),
      hklm_(std::make_unique<Key>()),
      hku_(std::make_unique<Key>()) {
  hkcu_->name = L"HKEY_CURRENT_USER";
  hklm_->name = L"HKEY_LOCAL_MACHINE";
  hku_->name = L"HKEY_USERS";
  createKey(kHkeyLocalMachine, kClassesPath);
  addDirectory(L"C:\\");
  addDirectory(L"C:\\Temp");
  addDirectory(L"C:\\ProgramData");
  addDirectory(windowsDirectory);
  addDirectory(systemDirectory);
  addFile(windowsDirectory + L"\\regedit.exe");
  addFile(windowsDirectory + L"\\explorer.exe");
  for (const wchar_t* tool :
       {L"reg.exe",      L"cmd.exe",      L"netsh.exe",    L"ipconfig.exe", L"net.exe",
        L"sc.exe",       L"sfc.exe",      L"Dism.exe",     L"powercfg.exe", L"gpupdate.exe",
        L"rundll32.exe", L"taskkill.exe", L"mmc.exe",      L"taskmgr.exe",  L"cleanmgr.exe",
        L"dfrgui.exe",   L"perfmon.exe",  L"msconfig.exe", L"msinfo32.exe", L"MdSched.exe",
        L"rstrui.exe"})
    addFile(systemDirectory + L"\\" + tool);
  addDirectory(systemDirectory + L"\\wbem");
  addFile(systemDirectory + L"\\wbem\\WMIC.exe");
  addDirectory(systemDirectory + L"\\WindowsPowerShell");
  addDirectory(systemDirectory + L"\\WindowsPowerShell\\v1.0");
  addFile(systemDirectory + L"\\WindowsPowerShell\\v1.0\\powershell.exe");
}

FakePlatform::~FakePlatform() = default;

// ------------------------------------------------------------------ registry
//
// HKEY_CLASSES_ROOT is Windows' merged view of two hives: a key exists when
// HKCU\Software\Classes or HKLM\Software\Classes holds it; the per-user copy is
// read first (a value missing there comes from the machine's copy; subkeys and
// value names are the union of both).  A write goes to the per-user copy when
// the key exists there, otherwise to the machine's, and a new key is made in the
// machine's hive.  Deleting a key deletes the per-user copy when there is one,
// after which the machine's copy (if any) shows through.

FakePlatform::Key* FakePlatform::rootNode(Handle root) const {
  switch (root) {
    case kHkeyCurrentUser:
      return hkcu_.get();
    case kHkeyLocalMachine:
      return hklm_.get();
    case kHkeyUsers:
      return hku_.get();
    default:
      return nullptr;
  }
}

namespace {
bool IsClassesRoot(Handle root) { return root == kHkeyClassesRoot; }
}  // namespace

FakePlatform::Key* FakePlatform::findParts(Handle root,
                                           const std::vector<std::wstring>& parts) const {
  Key* k = rootNode(root);
  for (const auto& part : parts) {
    if (!k) return nullptr;
    k = k->child(part);
  }
  return k;
}

FakePlatform::ClassCopies FakePlatform::classCopies(const std::vector<std::wstring>& parts) const {
  std::vector<std::wstring> full = SplitKeyPath(kClassesPath);
  full.insert(full.end(), parts.begin(), parts.end());
  return {findParts(kHkeyCurrentUser, full), findParts(kHkeyLocalMachine, full)};
}

FakePlatform::Key* FakePlatform::find(Handle root, const std::wstring& path) const {
  if (IsClassesRoot(root)) {
    // The copy a write would go to.
    const ClassCopies c = classCopies(SplitKeyPath(path));
    return c.user ? c.user : c.machine;
  }
  return findParts(root, SplitKeyPath(path));
}

bool FakePlatform::where(Handle h, Handle* root, std::vector<std::wstring>* parts) const {
  if (rootNode(h) || IsClassesRoot(h)) {
    *root = h;
    parts->clear();
    return true;
  }
  auto it = keyHandles_.find(h);
  if (it == keyHandles_.end()) return false;
  *root = keyRoots_.at(h);
  *parts = it->second;
  return true;
}

FakePlatform::Key* FakePlatform::keyFor(Handle h) const {
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!where(h, &root, &parts)) return nullptr;
  if (IsClassesRoot(root)) {
    const ClassCopies c = classCopies(parts);
    return c.user ? c.user : c.machine;
  }
  return findParts(root, parts);
}

FakePlatform::Key* FakePlatform::resolve(Handle parent, const std::wstring& subKey, bool create,
                                         long* error) {
  Key* k = keyFor(parent);
  if (!k) {
    *error = rootNode(parent) || keyHandles_.count(parent) ? kErrorKeyDeleted : kErrorInvalidHandle;
    return nullptr;
  }
  for (const auto& part : SplitKeyPath(subKey)) {
    Key* next = k->child(part);
    if (!next) {
      if (!create) {
        *error = kErrorFileNotFound;
        return nullptr;
      }
      if (k->denyWrites) {
        *error = kErrorAccessDenied;
        return nullptr;
      }
      auto node = std::make_unique<Key>();
      node->name = part;
      next = node.get();
      k->children[LowerText(part)] = std::move(node);
    }
    k = next;
  }
  *error = kErrorSuccess;
  return k;
}

void FakePlatform::recordKeyOpen(Handle parent, const std::wstring& subKey, std::uint32_t access,
                                 bool create) {
  Handle root = parent;
  std::vector<std::wstring> parts;
  if (!where(parent, &root, &parts)) root = parent;
  std::wstring path;
  for (const auto& p : parts) path += (path.empty() ? L"" : L"\\") + p;
  for (const auto& p : SplitKeyPath(subKey)) path += (path.empty() ? L"" : L"\\") + p;
  keyOpens_.push_back({root, path, access, create});
}

long FakePlatform::openHandle(Handle parent, const std::wstring& subKey, bool create,
                              std::uint32_t access, Handle* key) {
  *key = 0;
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!where(parent, &root, &parts)) return kErrorInvalidHandle;
  // KEY_SET_VALUE, KEY_CREATE_SUB_KEY, DELETE, WRITE_DAC, WRITE_OWNER: the machine's
  // keys grant them to administrators only, and a token that is not elevated is none.
  constexpr std::uint32_t kWriteRights = 0x2u | 0x4u | 0x10000u | 0x40000u | 0x80000u;
  if (access == kSetUpAccess) {
    // A test's own set-up is not held to the rights it models.
  } else if (!elevated && root == kHkeyLocalMachine && (access & kWriteRights) != 0)
    return kErrorAccessDenied;
  if (Key* there = findParts(root, parts);
      access != kSetUpAccess && there && !IsClassesRoot(root)) {
    Key* target = there;
    for (const auto& p : SplitKeyPath(subKey)) target = target ? target->child(p) : nullptr;
    if (target && target->denyOpens) return kErrorAccessDenied;
  }
  if (IsClassesRoot(root)) {
    if (!parts.empty()) {
      const ClassCopies own = classCopies(parts);
      if (!own.user && !own.machine) return kErrorKeyDeleted;
    }
    for (const auto& p : SplitKeyPath(subKey)) parts.push_back(p);
    const ClassCopies c = classCopies(parts);
    if (!c.user && !c.machine) {
      if (!create) return kErrorFileNotFound;
      std::wstring path = kClassesPath;
      for (const auto& p : parts) path += L"\\" + p;
      long error = 0;
      if (!resolve(kHkeyLocalMachine, path, true, &error)) return error;
    }
  } else {
    long error = 0;
    if (!resolve(parent, subKey, create, &error)) return error;
    for (const auto& p : SplitKeyPath(subKey)) parts.push_back(p);
  }
  *key = nextHandle_++;
  keyHandles_[*key] = parts;
  keyRoots_[*key] = root;
  return kErrorSuccess;
}

long FakePlatform::regCreateKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                                Handle* key) {
  recordKeyOpen(parent, subKey, access, true);
  return openHandle(parent, subKey, true, access, key);
}

long FakePlatform::regOpenKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                              Handle* key) {
  recordKeyOpen(parent, subKey, access, false);
  return openHandle(parent, subKey, false, access, key);
}

long FakePlatform::regCloseKey(Handle key) {
  if (rootNode(key) || IsClassesRoot(key)) return kErrorSuccess;
  if (!keyHandles_.erase(key)) return kErrorInvalidHandle;
  keyRoots_.erase(key);
  return kErrorSuccess;
}

long FakePlatform::regQueryValue(Handle key, const std::wstring& name, RegData* data) {
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!where(key, &root, &parts)) return kErrorInvalidHandle;
  if (IsClassesRoot(root)) {
    const ClassCopies c = classCopies(parts);
    if (!c.user && !c.machine) return kErrorInvalidHandle;
    for (Key* k : {c.user, c.machine}) {
      if (!k) continue;
      if (auto* v = k->findValue(name)) {
        *data = v->second;
        return kErrorSuccess;
      }
    }
    return kErrorFileNotFound;
  }
  Key* k = keyFor(key);
  if (!k) return kErrorInvalidHandle;
  auto* v = k->findValue(name);
  if (!v) return kErrorFileNotFound;
  *data = v->second;
  return kErrorSuccess;
}

long FakePlatform::regSetValue(Handle key, const std::wstring& name, std::uint32_t type,
                               const std::vector<std::uint8_t>& bytes) {
  Key* k = keyFor(key);  // for a class key: the per-user copy when there is one
  if (!k) return kErrorInvalidHandle;
  if (k->denyWrites) return kErrorAccessDenied;
  if (auto* v = k->findValue(name)) {
    v->second = RegData{type, bytes};
  } else {
    k->values.emplace_back(name, RegData{type, bytes});
  }
  return kErrorSuccess;
}

long FakePlatform::regDeleteValue(Handle key, const std::wstring& name) {
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!where(key, &root, &parts)) return kErrorInvalidHandle;
  Key* k = keyFor(key);
  if (!k) return kErrorInvalidHandle;
  if (IsClassesRoot(root) && !k->findValue(name)) {
    // Only the machine's copy holds it: that is the value the view shows.
    const ClassCopies c = classCopies(parts);
    if (c.machine) k = c.machine;
  }
  if (k->denyWrites) return kErrorAccessDenied;
  auto it = std::find_if(k->values.begin(), k->values.end(),
                         [&](const auto& v) { return LowerText(v.first) == LowerText(name); });
  if (it == k->values.end()) return kErrorFileNotFound;
  k->values.erase(it);
  return kErrorSuccess;
}

long FakePlatform::regDeleteTree(Handle key, const std::wstring& subKey) {
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!where(key, &root, &parts)) return kErrorInvalidHandle;
  if (!keyFor(key)) return kErrorKeyDeleted;
  const auto sub = SplitKeyPath(subKey);
  if (sub.empty()) return kErrorAccessDenied;
  parts.insert(parts.end(), sub.begin(), sub.end());
  if (IsClassesRoot(root)) {
    const ClassCopies c = classCopies(parts);
    if (!c.user && !c.machine) return kErrorFileNotFound;
    std::vector<std::wstring> full = SplitKeyPath(kClassesPath);
    full.insert(full.end(), parts.begin(), parts.end());
    return deleteKeyAt(c.user ? kHkeyCurrentUser : kHkeyLocalMachine, full);
  }
  return deleteKeyAt(root, parts);
}

long FakePlatform::deleteKeyAt(Handle root, const std::vector<std::wstring>& parts) {
  Key* parent = findParts(root, {parts.begin(), parts.end() - 1});
  if (!parent) return kErrorFileNotFound;
  Key* target = parent->child(parts.back());
  if (!target) return kErrorFileNotFound;
  if (parent->denyWrites || target->denyWrites) return kErrorAccessDenied;
  parent->children.erase(LowerText(parts.back()));
  return kErrorSuccess;
}

std::vector<std::wstring> FakePlatform::mergedSubKeys(const ClassCopies& c) {
  std::map<std::wstring, std::wstring> names;  // lower-case -> as shown, the user's spelling first
  for (Key* k : {c.user, c.machine})
    if (k)
      for (const auto& [lower, child] : k->children) names.emplace(lower, child->name);
  std::vector<std::wstring> out;
  for (const auto& [lower, name] : names) out.push_back(name);
  return out;
}

std::vector<std::pair<std::wstring, RegData>> FakePlatform::mergedValues(const ClassCopies& c) {
  std::vector<std::pair<std::wstring, RegData>> out;
  if (c.user) out = c.user->values;
  if (c.machine)
    for (const auto& v : c.machine->values)
      if (!c.user || !c.user->findValue(v.first)) out.push_back(v);
  return out;
}

long FakePlatform::regEnumKey(Handle key, std::uint32_t index, std::wstring* name) {
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!where(key, &root, &parts) || !keyFor(key)) return kErrorInvalidHandle;
  std::vector<std::wstring> names;
  if (IsClassesRoot(root)) {
    names = mergedSubKeys(classCopies(parts));
  } else {
    for (const auto& c : keyFor(key)->children) names.push_back(c.second->name);
  }
  if (index >= names.size()) return kErrorNoMoreItems;
  *name = names[index];
  return kErrorSuccess;
}

long FakePlatform::regEnumValue(Handle key, std::uint32_t index, std::wstring* name) {
  Handle root = 0;
  std::vector<std::wstring> parts;
  if (!where(key, &root, &parts) || !keyFor(key)) return kErrorInvalidHandle;
  const auto values = IsClassesRoot(root) ? mergedValues(classCopies(parts)) : keyFor(key)->values;
  if (index >= values.size()) return kErrorNoMoreItems;
  *name = values[index].first;
  return kErrorSuccess;
}

void FakePlatform::createKey(Handle root, const std::wstring& path) {
  Handle h = 0;
  if (openHandle(root, path, true, kSetUpAccess, &h) == kErrorSuccess) regCloseKey(h);
}

void FakePlatform::setValue(Handle root, const std::wstring& path, const std::wstring& name,
                            std::uint32_t type, std::vector<std::uint8_t> bytes) {
  createKey(root, path);
  Key* k = find(root, path);
  if (auto* v = k->findValue(name)) {
    v->second = RegData{type, std::move(bytes)};
  } else {
    k->values.emplace_back(name, RegData{type, std::move(bytes)});
  }
}

void FakePlatform::setString(Handle root, const std::wstring& path, const std::wstring& name,
                             const std::wstring& value, std::uint32_t type) {
  setValue(root, path, name, type, WideToRegBytes(value));
}

void FakePlatform::setDword(Handle root, const std::wstring& path, const std::wstring& name,
                            std::uint32_t v) {
  setValue(root, path, name, kRegDword,
           {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)});
}

void FakePlatform::denyWrites(Handle root, const std::wstring& path) {
  createKey(root, path);
  find(root, path)->denyWrites = true;
}

void FakePlatform::denyOpens(Handle root, const std::wstring& path) {
  createKey(root, path);
  find(root, path)->denyOpens = true;
}

bool FakePlatform::keyExists(Handle root, const std::wstring& path) const {
  return find(root, path) != nullptr;
}

std::optional<RegData> FakePlatform::value(Handle root, const std::wstring& path,
                                           const std::wstring& name) const {
  if (IsClassesRoot(root)) {
    for (const auto& v : mergedValues(classCopies(SplitKeyPath(path))))
      if (LowerText(v.first) == LowerText(name)) return v.second;
    return std::nullopt;
  }
  Key* k = find(root, path);
  if (!k) return std::nullopt;
  auto* v = k->findValue(name);
  if (!v) return std::nullopt;
  return v->second;
}
std::optional<std::wstring> FakePlatform::stringValue(Handle root, const std::wstring& path,
                                                      const std::wstring& name) const {
  auto v = value(root, path, name);
  if (!v || (v->type != kRegSz && v->type != kRegExpandSz)) return std::nullopt;
  std::wstring s;
  for (size_t i = 0; i + 1 < v->bytes.size(); i += 2) {
    wchar_t c = static_cast<wchar_t>(v->bytes[i] | (v->bytes[i + 1] << 8));
    if (!c) break;
    s.push_back(c);
  }
  return s;
}

std::optional<std::uint32_t> FakePlatform::dwordValue(Handle root, const std::wstring& path,
                                                      const std::wstring& name) const {
  auto v = value(root, path, name);
  if (!v || v->type != kRegDword || v->bytes.size() != 4) return std::nullopt;
  return v->bytes[0] | (v->bytes[1] << 8) | (v->bytes[2] << 16) |
         (static_cast<std::uint32_t>(v->bytes[3]) << 24);
}

std::vector<std::wstring> FakePlatform::valueNames(Handle root, const std::wstring& path) const {
  std::vector<std::wstring> names;
  if (IsClassesRoot(root)) {
    for (const auto& v : mergedValues(classCopies(SplitKeyPath(path)))) names.push_back(v.first);
  } else if (Key* k = find(root, path)) {
    for (const auto& v : k->values) names.push_back(v.first);
  }
  return names;
}

std::vector<std::wstring> FakePlatform::subKeyNames(Handle root, const std::wstring& path) const {
  if (IsClassesRoot(root)) return mergedSubKeys(classCopies(SplitKeyPath(path)));
  std::vector<std::wstring> names;
  if (Key* k = find(root, path))
    for (const auto& c : k->children) names.push_back(c.second->name);
  return names;
}

std::wstring FakePlatform::dumpHive(Handle root) const {
  std::wostringstream out;
  std::function<void(const ClassCopies&, const std::wstring&)> walk =
      [&](const ClassCopies& c, const std::wstring& path) {
        out << L"[" << path << L"]\n";
        for (const auto& v : mergedValues(c)) {
          out << L"\"" << v.first << L"\"=" << v.second.type << L":";
          for (auto b : v.second.bytes) out << static_cast<int>(b) << L",";
          out << L"\n";
        }
        for (const std::wstring& name : mergedSubKeys(c))
          walk({c.user ? c.user->child(name) : nullptr,
                c.machine ? c.machine->child(name) : nullptr},
               path + L"\\" + name);
      };
  if (IsClassesRoot(root)) {
    walk(classCopies({}), L"HKEY_CLASSES_ROOT");
  } else {
    walk({nullptr, rootNode(root)}, rootNode(root)->name);
  }
  return out.str();
}

// ----------------------------------------------------------------- processes

void FakePlatform::addProgram(const std::wstring& fileName, FakeProgram program) {
  std::wstring n = LowerText(fileName);
  if (n.size() > 4 && n.substr(n.size() - 4) == L".exe") n = n.substr(0, n.size() - 4);
  programs_[n] = std::move(program);
}

const FakeProgram* FakePlatform::programFor(const std::wstring* app,
                                            const std::wstring& commandLine) const {
  std::wstring token;
  if (app) {
    token = *app;
  } else {
    size_t i = commandLine.find_first_not_of(L' ');
    if (i == std::wstring::npos) return nullptr;
    if (commandLine[i] == L'"') {
      size_t e = commandLine.find(L'"', i + 1);
      token = commandLine.substr(i + 1, e == std::wstring::npos ? std::wstring::npos : e - i - 1);
    } else {
      size_t e = commandLine.find(L' ', i);
      token = commandLine.substr(i, e == std::wstring::npos ? std::wstring::npos : e - i);
    }
  }
  std::wstring base = token.substr(
      token.find_last_of(L"\\/") == std::wstring::npos ? 0 : token.find_last_of(L"\\/") + 1);
  std::wstring n = LowerText(base);
  auto it = programs_.find(n);
  if (it == programs_.end() && n.size() > 4 && n.substr(n.size() - 4) == L".exe")
    it = programs_.find(n.substr(0, n.size() - 4));
  // A program named by its path starts only if its file is there.
  if (base != token && !fileExists(token)) return nullptr;
  if (it == programs_.end()) {
    // A batch file or program given by path runs if the file is there.
    if (base != token && fileExists(token)) {
      static const FakeProgram kPlain{};
      return &kPlain;
    }
    return nullptr;
  }
  return &it->second;
}

bool FakePlatform::createProcess(const std::wstring* applicationName,
                                 std::vector<wchar_t>& commandLine, std::uint32_t creationFlags,
                                 int showMode, ProcessHandles* out) {
  std::wstring cmd(commandLine.data());
  launches_.push_back(
      {applicationName ? *applicationName : L"", cmd, creationFlags, showMode, true});
  const FakeProgram* program = programFor(applicationName, cmd);
  if (!program) return fail(kErrorFileNotFound);
  if (program->refusedWith != 0) return fail(program->refusedWith);
  events.push_back(L"start " + cmd);
  Handle h = nextHandle_++;
  Handle t = nextHandle_++;
  Process p{cmd, *program, program->polls, false};
  processes_[h] = p;
  threads_[t] = h;
  if (p.program.onStart) p.program.onStart(cmd);
  *out = {h, t};
  return true;
}

void FakePlatform::endProcess(Process& p) {
  if (!p.ended) {
    p.ended = true;
    events.push_back(L"end " + p.commandLine);
  }
}

std::uint32_t FakePlatform::waitForSingleObject(Handle h, std::uint32_t milliseconds) {
  auto it = processes_.find(h);
  if (it == processes_.end()) return 0xFFFFFFFFu;  // WAIT_FAILED
  Process& p = it->second;
  if (p.program.waitFailsWith != 0) {
    fail(p.program.waitFailsWith);
    return 0xFFFFFFFFu;
  }
  if (p.ended) return kWaitObject0;
  if (milliseconds == 0 && p.pollsLeft > 0) {
    --p.pollsLeft;
    if (p.program.whileRunning) p.program.whileRunning();
    return kWaitTimeout;
  }
  endProcess(p);
  return kWaitObject0;
}

bool FakePlatform::getExitCodeProcess(Handle process, std::uint32_t* code) {
  auto it = processes_.find(process);
  if (it == processes_.end()) return fail(kErrorInvalidHandle);
  if (it->second.program.exitCodeUnreadable != 0)
    return fail(it->second.program.exitCodeUnreadable);
  *code = it->second.ended ? it->second.program.exitCode : 259;  // STILL_ACTIVE
  return true;
}

void FakePlatform::closeHandle(Handle h) {
  locks_.erase(h);
  processes_.erase(h);
  threads_.erase(h);
}

std::uint32_t FakePlatform::winExec(const std::wstring* applicationName,
                                    const std::wstring& commandLine, int showMode) {
  launches_.push_back({applicationName ? *applicationName : L"", commandLine, 0, showMode, false});
  events.push_back(L"winexec " + commandLine);
  const FakeProgram* program = programFor(applicationName, commandLine);
  if (!program) {
    fail(kErrorFileNotFound);
    return 2;  // what WinExec gives for ERROR_FILE_NOT_FOUND
  }
  if (program->refusedWith != 0) {
    fail(program->refusedWith);
    return program->refusedWith <= 31 ? static_cast<std::uint32_t>(program->refusedWith) : 0;
  }
  if (program->onStart) program->onStart(commandLine);
  return 33;
}

void FakePlatform::processMessages() {
  events.push_back(L"messages");
  if (onProcessMessages) onProcessMessages();
}

void FakePlatform::sleep(std::uint32_t milliseconds) {
  events.push_back(L"sleep " + std::to_wstring(milliseconds));
}

void FakePlatform::exitProcess(std::uint32_t code) { throw FakeExit{code}; }

// ------------------------------------------------------------------- system

std::optional<std::wstring> FakePlatform::getEnvironmentVariable(const std::wstring& name) {
  for (const auto& [k, v] : environment)
    if (LowerText(k) == LowerText(name)) return v;
  return std::nullopt;
}

bool FakePlatform::getVersionEx(OsVersion* v) {
  if (versionQueryFails) return false;
  *v = version;
  return true;
}

bool FakePlatform::createNamedSemaphore(const std::wstring& name, long* lastError) {
  *lastError = semaphores.insert(name).second ? kErrorSuccess : kErrorAlreadyExists;
  return true;
}

// -------------------------------------------------------------------- files

std::wstring FakePlatform::parentDir(const std::wstring& path) const {
  return ParentFolder(at(path));
}

// A path as the file system finds it: every folder on the way that is a link leads
// to its target.  The last component is followed only when asked (a folder to
// list); a link there is otherwise the link itself, as when it is deleted.
std::wstring FakePlatform::at(const std::wstring& path, bool followLast) const {
  std::wstring p = NormPath(path);
  for (int hops = 0; hops < 32; ++hops) {
    bool moved = false;
    for (size_t cut = p.find(L'\\');; cut = p.find(L'\\', cut + 1)) {
      if (cut == std::wstring::npos) {
        if (!followLast) break;
        cut = p.size();
      }
      auto link = dirs_.find(p.substr(0, cut));
      if (link != dirs_.end() && link->second.linkTo) {
        p = NormPath(*link->second.linkTo) + p.substr(cut);
        moved = true;
        break;
      }
      if (cut == p.size()) break;
    }
    if (!moved) break;
  }
  return p;
}

FakePlatform::Security FakePlatform::inherited(const std::wstring& path) const {
  auto parent = dirs_.find(parentDir(path));
  if (parent != dirs_.end() && !parent->second.linkTo) return parent->second.security;
  // A drive's root: users may add to it, as they may to C:\.
  return {kSidAdministrators, {kSidSystem, kSidAdministrators, kSidAuthenticatedUsers}};
}

void FakePlatform::addDirectory(const std::wstring& path, bool readOnly) {
  Dir dir{path, readOnly};
  dir.security = inherited(path);
  dirs_[at(path)] = dir;
}

void FakePlatform::addFile(const std::wstring& path, std::vector<std::uint8_t> bytes) {
  File file{path, std::move(bytes)};
  file.security = inherited(path);
  files_[at(path)] = file;
}

void FakePlatform::setSecurity(const std::wstring& path, std::wstring owner,
                               std::vector<std::wstring> writers) {
  const std::wstring key = at(path);
  if (auto dir = dirs_.find(key); dir != dirs_.end()) dir->second.security = {owner, writers};
  if (auto file = files_.find(key); file != files_.end()) file->second.security = {owner, writers};
}

void FakePlatform::addLink(const std::wstring& path, const std::wstring& target) {
  Dir link{path};
  link.security = inherited(path);
  link.linkTo = target;
  dirs_[at(path)] = link;
}

std::map<std::wstring, std::vector<std::uint8_t>> FakePlatform::allFiles() const {
  std::map<std::wstring, std::vector<std::uint8_t>> out;
  for (const auto& [key, file] : files_) out[key] = file.bytes;
  return out;
}

std::optional<std::wstring> FakePlatform::programDataFolder() { return programData; }

bool FakePlatform::createPrivateDirectory(const std::wstring& path) {
  if (directoryExists(path) || fileExists(path)) return fail(kErrorAlreadyExists);
  if (!createDirectory(path)) return false;
  dirs_[at(path)].security = {kSidAdministrators, {kSidSystem, kSidAdministrators}};
  return true;
}

std::optional<FileSecurity> FakePlatform::fileSecurity(const std::wstring& path) {
  const std::wstring key = at(path);  // a link in the last place is reported, not followed
  auto dir = dirs_.find(key);
  const Security* security = nullptr;
  bool link = false;
  if (dir != dirs_.end()) {
    security = &dir->second.security;
    link = dir->second.linkTo.has_value();
  } else if (auto file = files_.find(key); file != files_.end()) {
    security = &file->second.security;
  }
  if (!security) {
    fail(kErrorFileNotFound);
    return std::nullopt;
  }
  return FileSecurity{link, security->owner, security->writers};
}

std::optional<std::uint64_t> FakePlatform::fileSize(const std::wstring& path) {
  auto file = files_.find(at(path));
  if (file == files_.end()) {
    fail(kErrorFileNotFound);
    return std::nullopt;
  }
  return file->second.bytes.size();
}

std::optional<std::uint64_t> FakePlatform::freeDiskSpace(const std::wstring& folder) {
  if (!dirs_.count(at(folder, /*followLast=*/true))) {
    fail(kErrorPathNotFound);
    return std::nullopt;
  }
  return freeBytes ? *freeBytes : std::uint64_t{1} << 40;
}

void FakePlatform::addTextFile(const std::wstring& path, const std::string& text) {
  addFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

void FakePlatform::setFileReadOnly(const std::wstring& path, bool readOnly) {
  auto it = files_.find(at(path));
  if (it != files_.end()) it->second.readOnly = readOnly;
}

bool FakePlatform::fileExists(const std::wstring& path) const { return files_.count(at(path)) > 0; }

bool FakePlatform::directoryExists(const std::wstring& path) const {
  return dirs_.count(at(path)) > 0;
}

std::optional<std::vector<std::uint8_t>> FakePlatform::fileBytes(const std::wstring& path) const {
  auto it = files_.find(at(path));
  if (it == files_.end()) return std::nullopt;
  return it->second.bytes;
}

std::string FakePlatform::fileText(const std::wstring& path) const {
  auto b = fileBytes(path);
  return b ? std::string(b->begin(), b->end()) : std::string();
}

std::vector<std::wstring> FakePlatform::filesUnder(const std::wstring& folder) const {
  std::vector<std::wstring> out;
  std::wstring prefix = at(folder) + L"\\";
  for (const auto& [k, f] : files_)
    if (k.rfind(prefix, 0) == 0) out.push_back(f.path);
  return out;
}

std::uint32_t FakePlatform::getFileAttributes(const std::wstring& path) {
  if (directoryExists(path)) return kFileAttributeDirectory;
  auto file = files_.find(at(path));
  if (file != files_.end())
    return 0x20 | (file->second.readOnly ? kFileAttributeReadOnly : 0);  // FILE_ATTRIBUTE_ARCHIVE
  return kInvalidFileAttributes;
}

bool FakePlatform::deleteFile(const std::wstring& path) {
  auto it = dirs_.find(parentDir(path));
  if (it != dirs_.end() && it->second.readOnly) return fail(kErrorAccessDenied);
  auto file = files_.find(at(path));
  if (file == files_.end()) return fail(kErrorFileNotFound);
  if (file->second.readOnly) return fail(kErrorAccessDenied);
  if (fileLocked(path)) return fail(kErrorSharingViolation);
  files_.erase(file);
  return true;
}

bool FakePlatform::writeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  auto it = dirs_.find(parentDir(path));
  if (it == dirs_.end()) return fail(kErrorPathNotFound);
  auto old = files_.find(at(path));
  if (it->second.readOnly || directoryExists(path) || (old != files_.end() && old->second.readOnly))
    return fail(kErrorAccessDenied);
  if (fileLocked(path)) return fail(kErrorSharingViolation);
  File file{path, {}};
  file.security = old != files_.end() ? old->second.security : inherited(path);
  if (freeBytes && bytes.size() > *freeBytes) {
    // As on Windows: the file is created (or emptied) first, then the data do not fit.
    files_[at(path)] = file;
    return fail(kErrorDiskFull);
  }
  if (freeBytes) *freeBytes -= bytes.size();
  file.bytes = bytes;
  files_[at(path)] = file;
  return true;
}

bool FakePlatform::readFile(const std::wstring& path, std::vector<std::uint8_t>* bytes) {
  auto b = fileBytes(path);
  if (!b) return false;
  *bytes = *b;
  return true;
}

bool FakePlatform::replaceFile(const std::wstring& from, const std::wstring& to) {
  auto src = files_.find(at(from));
  auto dir = dirs_.find(parentDir(to));
  auto old = files_.find(at(to));
  if (src == files_.end()) return fail(kErrorFileNotFound);
  if (dir == dirs_.end()) return fail(kErrorPathNotFound);
  if (dir->second.readOnly || (old != files_.end() && old->second.readOnly))
    return fail(kErrorAccessDenied);
  if (fileLocked(from) || fileLocked(to)) return fail(kErrorAccessDenied);  // as MoveFileExW
  File f = src->second;
  f.path = to;
  files_.erase(src);
  files_[at(to)] = f;
  return true;
}

std::wstring FakePlatform::lastErrorText() { return errorText(lastError_); }

std::wstring FakePlatform::errorText(long code) { return SystemErrorText(code); }

long FakePlatform::ntStatusToWin32Error(std::uint32_t status) {
  return NtStatusToWin32Error(status);
}

bool FakePlatform::fileLocked(const std::wstring& path) const {
  const std::wstring key = at(path);
  for (const auto& [handle, locked] : locks_)
    if (locked == key) return true;
  return false;
}

bool FakePlatform::lockFile(const std::wstring& path, Handle* lock,
                            std::vector<std::uint8_t>* bytes) {
  if (onLock) onLock(path);
  auto file = files_.find(at(path));
  if (file == files_.end()) return fail(kErrorFileNotFound);
  *bytes = file->second.bytes;
  *lock = nextHandle_++;
  locks_[*lock] = at(path);
  events.push_back(L"lock " + path);
  if (onLocked) onLocked(path);
  return true;
}

std::optional<FileSecurity> FakePlatform::heldFileSecurity(Handle lock) {
  auto held = locks_.find(lock);
  auto file = held == locks_.end() ? files_.end() : files_.find(held->second);
  if (file == files_.end()) {
    fail(kErrorInvalidHandle);
    return std::nullopt;
  }
  return FileSecurity{false, file->second.security.owner, file->second.security.writers};
}

// The fake's file system as the tree walk sees it.
class FakePlatform::TreeView : public TreeFiles {
 public:
  explicit TreeView(FakePlatform& fake) : f_(fake) {}

  // A file may be set up without its folders; they are there all the same.
  long holdFolder(const std::wstring& path, Handle* hold) override {
    const std::wstring key = f_.at(path);
    auto dir = f_.dirs_.find(key);
    if (dir == f_.dirs_.end() && !f_.anythingBelow(key))
      return f_.files_.count(key) ? kErrorDirectory : kErrorPathNotFound;
    if (dir != f_.dirs_.end() && dir->second.linkTo) return kErrorStoppedOnSymlink;
    *hold = f_.nextHandle_++;
    return 0;
  }

  void releaseFolder(Handle) override {}

  long listFolder(const std::wstring& path, std::vector<FolderEntry>* entries) override {
    entries->clear();
    const std::wstring prefix = f_.at(path, /*followLast=*/true) + L"\\";
    std::map<std::wstring, FolderEntry> found;  // by normalised name
    auto add = [&](const std::wstring& key, const std::wstring& shown, std::uint32_t attributes) {
      if (key.rfind(prefix, 0) != 0) return;
      const std::wstring rest = key.substr(prefix.size());
      const size_t slash = rest.find(L'\\');
      if (slash == std::wstring::npos) {
        found[rest] = {LastName(shown), attributes};
      } else if (!found.count(rest.substr(0, slash))) {
        // A folder below that was never set up on its own.
        const std::wstring name = LastName(shown.substr(0, shown.size() - (rest.size() - slash)));
        found[rest.substr(0, slash)] = {name, kFileAttributeDirectory};
      }
    };
    for (const auto& [k, d] : f_.dirs_)
      add(k, d.path, kFileAttributeDirectory | (d.linkTo ? kFileAttributeReparsePoint : 0u));
    for (const auto& [k, file] : f_.files_) add(k, file.path, file.readOnly ? 0x21u : 0x20u);
    for (auto& [name, entry] : found) entries->push_back(entry);
    if (f_.onListFolder) f_.onListFolder(path);
    return 0;
  }

  long deleteItem(const std::wstring& path) override {
    auto parent = f_.dirs_.find(f_.parentDir(path));
    if (parent != f_.dirs_.end() && parent->second.readOnly) return kErrorAccessDenied;
    const std::wstring key = f_.at(path);
    if (auto dir = f_.dirs_.find(key); dir != f_.dirs_.end()) {
      if (dir->second.linkTo) {
        if (!f_.linksOpenAsThemselves) return kErrorStoppedOnSymlink;
      } else if (f_.anythingBelow(key)) {
        return kErrorDirNotEmpty;
      }
      f_.dirs_.erase(dir);
      return 0;
    }
    auto file = f_.files_.find(key);
    if (file == f_.files_.end()) return kErrorFileNotFound;
    if (f_.fileLocked(path)) return kErrorSharingViolation;
    f_.files_.erase(file);  // read-only or not: the walk takes the mark off first
    return 0;
  }

 private:
  static std::wstring LastName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
  }
  FakePlatform& f_;
};

bool FakePlatform::anythingBelow(const std::wstring& key) const {
  const std::wstring prefix = key + L"\\";
  auto file = files_.lower_bound(prefix);
  auto dir = dirs_.lower_bound(prefix);
  return (file != files_.end() && file->first.rfind(prefix, 0) == 0) ||
         (dir != dirs_.end() && dir->first.rfind(prefix, 0) == 0);
}

long FakePlatform::deleteFileNoFollow(const std::wstring& path) {
  events.push_back(L"delete " + path);
  TreeView view(*this);
  lastError_ = DeleteFileWithoutFollowingLinks(view, path);
  return lastError_;
}

long FakePlatform::deleteFolderTree(const std::wstring& path, std::wstring* item) {
  events.push_back(L"deltree " + path);
  TreeView view(*this);
  const TreeDeleteResult result = DeleteTreeWithoutFollowingLinks(view, path);
  *item = result.item;
  lastError_ = result.error;
  return result.error;
}

bool FakePlatform::readOwnResource(const std::wstring& name, std::vector<std::uint8_t>* bytes) {
  auto it = resources.find(name);
  if (it == resources.end()) return false;
  *bytes = it->second;
  return true;
}

bool FakePlatform::listFiles(const std::wstring& folder, std::vector<std::wstring>* names) {
  names->clear();
  if (!directoryExists(folder)) return fail(kErrorPathNotFound);
  const std::wstring dir = at(folder, /*followLast=*/true);
  for (const auto& [key, file] : files_) {
    if (ParentFolder(key) != dir) continue;
    const size_t slash = file.path.find_last_of(L"\\/");
    names->push_back(slash == std::wstring::npos ? file.path : file.path.substr(slash + 1));
  }
  return true;
}

bool FakePlatform::createDirectory(const std::wstring& path) {
  if (directoryExists(path)) return true;
  auto parent = dirs_.find(parentDir(path));
  if (parent == dirs_.end()) return fail(kErrorPathNotFound);
  if (parent->second.readOnly || fileExists(path)) return fail(kErrorAccessDenied);
  addDirectory(path);
  return true;
}

// ------------------------------------------------------------------ dialogs

int FakePlatform::messageBox(const std::wstring& text, const std::wstring& title, unsigned flags) {
  messages_.push_back({text, title, flags});
  events.push_back(L"box " + text);
  if (!messageAnswers_.empty()) {
    int a = messageAnswers_.front();
    messageAnswers_.pop_front();
    return a;
  }
  return (flags & 0xF) == kMbYesNo ? kIdNo : kIdOk;
}

std::wstring FakePlatform::inputBox(const std::wstring& caption, const std::wstring& prompt,
                                    const std::wstring& defaultText) {
  inputPrompts.push_back(caption + L"|" + prompt);
  if (inputAnswers_.empty()) return defaultText;
  auto a = inputAnswers_.front();
  inputAnswers_.pop_front();
  return a ? *a : defaultText;
}

std::intptr_t FakePlatform::shellExecute(const std::wstring& verb, const std::wstring& file,
                                         const std::wstring* parameters, int showMode) {
  shell_.push_back(
      {verb, file, parameters ? std::optional<std::wstring>(*parameters) : std::nullopt, showMode});
  events.push_back(L"shell " + file);
  return 42;
}

std::optional<ComFailure> FakePlatform::queryBaseBoards(std::vector<BaseBoard>* boards) {
  if (baseBoardFailure) return baseBoardFailure;
  *boards = baseBoards;
  return std::nullopt;
}

bool FakePlatform::writeNewFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                                long* error) {
  if (fileExists(path) || directoryExists(path)) {
    *error = kErrorFileExists;
    return fail(kErrorFileExists);
  }
  if (writeFile(path, bytes)) return true;
  *error = lastError_;
  // As the Win32 side does: a file that was created but not written whole goes again.
  files_.erase(at(path));
  return false;
}

// ----------------------------------------------------- user hives, event log

void FakePlatform::storeHive(const std::wstring& key, const std::wstring& file) {
  auto& slot = hiveFiles_[NormPath(file)];
  auto it = hku_->children.find(LowerText(key));
  if (it != hku_->children.end()) {
    slot = std::move(it->second);
    hku_->children.erase(it);
  } else {
    slot = std::make_unique<Key>();
  }
  if (!fileExists(file)) addFile(file, {'r', 'e', 'g', 'f'});
}

std::optional<RegData> FakePlatform::hiveFileValue(const std::wstring& file,
                                                   const std::wstring& path,
                                                   const std::wstring& name) const {
  auto it = hiveFiles_.find(NormPath(file));
  if (it == hiveFiles_.end() || !it->second) return std::nullopt;
  Key* k = it->second.get();
  for (const auto& part : SplitKeyPath(path)) {
    k = k->child(part);
    if (!k) return std::nullopt;
  }
  auto* v = k->findValue(name);
  if (!v) return std::nullopt;
  return v->second;
}

std::vector<std::wstring> FakePlatform::loadedHives() const {
  std::vector<std::wstring> names;
  for (const auto& [name, file] : loaded_) names.push_back(name);
  return names;
}

std::optional<std::wstring> FakePlatform::accountName(const std::wstring& sid) {
  for (const auto& [k, v] : accounts)
    if (LowerText(k) == LowerText(sid)) return v;
  return std::nullopt;
}

long FakePlatform::enablePrivilege(const std::wstring& name) {
  if (!heldPrivileges.count(name)) {
    fail(kErrorNotAllAssigned);
    return kErrorNotAllAssigned;
  }
  enabledPrivileges.insert(name);
  return kErrorSuccess;
}

long FakePlatform::regLoadHive(const std::wstring& name, const std::wstring& file) {
  events.push_back(L"load " + name);
  long rc = kErrorSuccess;
  auto it = hiveFiles_.find(NormPath(file));
  if (!enabledPrivileges.count(L"SeRestorePrivilege") ||
      !enabledPrivileges.count(L"SeBackupPrivilege")) {
    rc = kErrorPrivilegeNotHeld;
  } else if (hku_->child(name)) {
    rc = kErrorAlreadyExists;
  } else if (lockedHiveFiles.count(file)) {
    rc = kErrorSharingViolation;
  } else if (it == hiveFiles_.end()) {
    rc = fileExists(file) ? kErrorBadDb : kErrorFileNotFound;
  }
  if (rc != kErrorSuccess) {
    fail(rc);
    return rc;
  }
  auto tree = std::move(it->second);
  hiveFiles_.erase(it);
  tree->name = name;
  hku_->children[LowerText(name)] = std::move(tree);
  loaded_.emplace_back(name, file);
  return kErrorSuccess;
}

long FakePlatform::regUnloadHive(const std::wstring& name) {
  events.push_back(L"unload " + name);
  auto entry = std::find_if(loaded_.begin(), loaded_.end(),
                            [&](const auto& l) { return LowerText(l.first) == LowerText(name); });
  long rc = kErrorSuccess;
  if (entry == loaded_.end()) {
    rc = kErrorInvalidParameter;
  } else if (unloadRefused.count(name)) {
    rc = kErrorAccessDenied;
  } else {
    // Windows refuses while a key of the hive is open.
    for (const auto& [h, parts] : keyHandles_)
      if (keyRoots_.at(h) == kHkeyUsers && !parts.empty() && LowerText(parts[0]) == LowerText(name))
        rc = kErrorAccessDenied;
  }
  if (rc != kErrorSuccess) {
    fail(rc);
    return rc;
  }
  auto child = hku_->children.find(LowerText(name));
  hiveFiles_[NormPath(entry->second)] = std::move(child->second);
  hku_->children.erase(child);
  loaded_.erase(entry);
  return kErrorSuccess;
}

bool FakePlatform::reportEvent(const std::wstring& source, std::uint16_t type,
                               std::uint32_t eventId, const std::wstring& text) {
  if (eventLogFails) return fail(kErrorAccessDenied);
  eventLog.push_back({source, type, eventId, text});
  return true;
}

std::optional<ComFailure> FakePlatform::createRestorePoint(const std::wstring& description) {
  if (onRestorePoint) onRestorePoint();
  if (restorePointFailure) return restorePointFailure;
  restorePoints.push_back(description);
  return std::nullopt;
}

// ----------------------------------------------------------------- services

void FakePlatform::addService(const std::wstring& name, FakeService service) {
  services_[LowerText(name)] = std::move(service);
}

void FakePlatform::removeService(const std::wstring& name) { services_.erase(LowerText(name)); }

FakePlatform::FakeService* FakePlatform::service(const std::wstring& name) {
  auto it = services_.find(LowerText(name));
  return it == services_.end() ? nullptr : &it->second;
}

long FakePlatform::queryServiceState(const std::wstring& name, std::uint32_t* state) {
  FakeService* s = service(name);
  if (!s) return kErrorServiceDoesNotExist;
  if (s->state == kServiceStopPending && !s->hangsOnStop && s->pollsLeft-- <= 0) {
    s->state = kServiceStopped;
    events.push_back(L"service stopped " + name);
  } else if (s->state == kServiceStartPending && !s->hangsOnStart && s->pollsLeft-- <= 0) {
    s->state = kServiceRunning;
    events.push_back(L"service running " + name);
    if (s->onStart) s->onStart();
  }
  *state = s->state;
  return kErrorSuccess;
}

long FakePlatform::stopService(const std::wstring& name) {
  events.push_back(L"stop service " + name);
  FakeService* s = service(name);
  if (!s) return kErrorServiceDoesNotExist;
  if (s->refuseStop) return s->refuseStop;
  if (s->state == kServiceStopped) return kErrorServiceNotActive;
  s->state = kServiceStopPending;
  s->pollsLeft = s->stopPolls;
  return kErrorSuccess;
}

long FakePlatform::startService(const std::wstring& name) {
  events.push_back(L"start service " + name);
  FakeService* s = service(name);
  if (!s) return kErrorServiceDoesNotExist;
  if (s->refuseStart) return s->refuseStart;
  if (s->state != kServiceStopped) return kErrorServiceAlreadyRunning;
  s->state = kServiceStartPending;
  s->pollsLeft = s->startPolls;
  return kErrorSuccess;
}

bool FakePlatform::renameFolder(const std::wstring& from, const std::wstring& to) {
  events.push_back(L"rename " + from + L" -> " + to);
  const std::wstring src = at(from), dst = at(to);
  if (!dirs_.count(src)) return fail(files_.count(src) ? kErrorAccessDenied : kErrorFileNotFound);
  if (dirs_.count(dst) || files_.count(dst)) return fail(kErrorAlreadyExists);
  if (!dirs_.count(ParentFolder(dst))) return fail(kErrorPathNotFound);
  const std::wstring prefix = src + L"\\";
  auto below = [&](const std::wstring& key) { return key == src || key.rfind(prefix, 0) == 0; };
  for (const auto& [key, file] : files_) {
    if (!below(key)) continue;
    if (fileLocked(file.path)) return fail(kErrorSharingViolation);
    for (const std::wstring& used : filesInUse)
      if (at(used) == key) return fail(kErrorSharingViolation);
  }
  // The same names below the new one, spelled as they were.
  auto moved = [&](const std::wstring& key, const std::wstring& path) {
    const size_t tail = key.size() - src.size();
    return to + (path.size() >= tail ? path.substr(path.size() - tail) : key.substr(src.size()));
  };
  // Every entry at or below the folder moves, files and folders alike.
  auto move = [&](auto& entries) {
    std::remove_reference_t<decltype(entries)> taken;
    for (auto it = entries.begin(); it != entries.end();) {
      if (!below(it->first)) {
        ++it;
        continue;
      }
      auto entry = it->second;
      entry.path = moved(it->first, entry.path);
      taken[dst + it->first.substr(src.size())] = entry;
      it = entries.erase(it);
    }
    entries.merge(taken);
  };
  move(files_);
  move(dirs_);
  return true;
}

}  // namespace korvane::fake
