#include "common/Registry.h"

#include "base/Text.h"
#include "common/KorvaneError.h"

namespace korvane {
namespace {

std::wstring Quoted(const wchar_t* pattern, const std::wstring& name) {
  std::wstring text(pattern);
  return text.replace(text.find(L"%s"), 2, name);
}

[[noreturn]] void RaiseSetFailed(const std::wstring& name) {
  throw KorvaneError(Quoted(L"Failed to set data for '%s'", name));
}
[[noreturn]] void RaiseGetFailed(const std::wstring& name) {
  throw KorvaneError(Quoted(L"Failed to get data for '%s'", name));
}
[[noreturn]] void RaiseInvalidType(const std::wstring& name) {
  throw KorvaneError(Quoted(L"Invalid data type for '%s'", name));
}

bool IsRelative(const std::wstring& path) { return path.empty() || path[0] != L'\\'; }

std::wstring StripLeadingBackslash(const std::wstring& path) {
  return IsRelative(path) ? path : path.substr(1);
}

}  // namespace

bool IsRootKey(Handle key) {
  return key == kHkeyClassesRoot || key == kHkeyCurrentUser || key == kHkeyLocalMachine ||
         key == kHkeyUsers;
}

void HandOverValue(Handle root, const std::wstring& path, const std::wstring& name) {
  Handle key = 0;
  if (Sys().regOpenKey(root, path, kKeyRead, &key) != kErrorSuccess || key == 0) return;
  Sys().handOverValue(key, name);
  Sys().regCloseKey(key);
}

Registry::Registry(std::uint32_t access) : access_(access) {}

Registry::~Registry() { closeKey(); }

void Registry::setRootKey(Handle root) {
  closeKey();
  root_ = root;
}

Handle Registry::baseKey(bool relative) const {
  return (current_ == 0 || !relative) ? root_ : current_;
}

bool Registry::openKey(const std::wstring& path, bool canCreate) {
  const bool relative = IsRelative(path);
  const std::wstring sub = StripLeadingBackslash(path);
  Handle key = 0;
  const long rc = canCreate ? Sys().regCreateKey(baseKey(relative), sub, access_, &key)
                            : Sys().regOpenKey(baseKey(relative), sub, access_, &key);
  if (rc != kErrorSuccess || key == 0) return false;
  std::wstring newPath = (relative && current_ != 0) ? currentPath_ + L"\\" + sub : sub;
  closeKey();
  current_ = key;
  currentPath_ = std::move(newPath);
  return true;
}

void Registry::closeKey() {
  if (current_ != 0) {
    Sys().regCloseKey(current_);
    current_ = 0;
    currentPath_.clear();
  }
}

std::wstring Registry::readString(const std::wstring& name) {
  RegData data;
  if (current_ == 0 || Sys().regQueryValue(current_, name, &data) != kErrorSuccess) return {};
  if (data.type != kRegSz && data.type != kRegExpandSz) RaiseInvalidType(name);
  return RegBytesToWide(data.bytes);
}

std::int32_t Registry::readInteger(const std::wstring& name) {
  RegData data;
  if (current_ == 0 || Sys().regQueryValue(current_, name, &data) != kErrorSuccess)
    RaiseGetFailed(name);
  if (data.type != kRegDword || data.bytes.size() < 4) RaiseInvalidType(name);
  return static_cast<std::int32_t>(data.bytes[0] | (data.bytes[1] << 8) | (data.bytes[2] << 16) |
                                   (static_cast<std::uint32_t>(data.bytes[3]) << 24));
}

void Registry::put(const std::wstring& name, std::uint32_t type,
                   const std::vector<std::uint8_t>& bytes) {
  if (current_ == 0 || Sys().regSetValue(current_, name, type, bytes) != kErrorSuccess)
    RaiseSetFailed(name);
}

void Registry::writeString(const std::wstring& name, const std::wstring& value) {
  put(name, kRegSz, WideToRegBytes(value));
}

void Registry::writeExpandString(const std::wstring& name, const std::wstring& value) {
  put(name, kRegExpandSz, WideToRegBytes(value));
}

void Registry::writeInteger(const std::wstring& name, std::int32_t value) {
  put(name, kRegDword, DwordBytes(static_cast<std::uint32_t>(value)));
}

void Registry::writeBinaryData(const std::wstring& name, const std::vector<std::uint8_t>& bytes) {
  put(name, kRegBinary, bytes);
}

bool Registry::deleteValue(const std::wstring& name) {
  return current_ != 0 && Sys().regDeleteValue(current_, name) == kErrorSuccess;
}

bool Registry::deleteKey(const std::wstring& path) {
  const bool relative = IsRelative(path);
  const std::wstring sub = StripLeadingBackslash(path);
  if (sub.empty()) return false;  // never the root or the open key itself
  return Sys().regDeleteTree(baseKey(relative), sub) == kErrorSuccess;
}

bool Registry::keyExists(const std::wstring& path) {
  const bool relative = IsRelative(path);
  Handle key = 0;
  if (Sys().regOpenKey(baseKey(relative), StripLeadingBackslash(path), kKeyRead, &key) !=
          kErrorSuccess ||
      key == 0)
    return false;
  Sys().regCloseKey(key);
  return true;
}

bool Registry::valueExists(const std::wstring& name) {
  RegData data;
  return current_ != 0 && Sys().regQueryValue(current_, name, &data) == kErrorSuccess;
}

}  // namespace korvane
