#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/RegBytes.h"
#include "platform/Platform.h"

namespace korvane {

// A registry object in the manner of the classic wrapper the repairs were
// designed around: one root, at most one open key, paths with a leading
// backslash start at the root, others at the open key (or the root when none
// is open).  Writes and typed reads raise KorvaneError with the value's name;
// deletions and existence tests only answer.
class Registry {
 public:
  explicit Registry(std::uint32_t access = kKeyAllAccess);
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  Handle rootKey() const { return root_; }
  void setRootKey(Handle root);  // closes the open key
  Handle currentKey() const { return current_; }
  const std::wstring& currentPath() const { return currentPath_; }

  bool openKey(const std::wstring& path, bool canCreate);
  void closeKey();

  std::wstring readString(const std::wstring& name);
  std::int32_t readInteger(const std::wstring& name);

  void writeString(const std::wstring& name, const std::wstring& value);
  void writeExpandString(const std::wstring& name, const std::wstring& value);
  void writeInteger(const std::wstring& name, std::int32_t value);
  void writeBinaryData(const std::wstring& name, const std::vector<std::uint8_t>& bytes);

  bool deleteValue(const std::wstring& name);
  bool deleteKey(const std::wstring& path);  // with all its subkeys
  bool keyExists(const std::wstring& path);
  bool valueExists(const std::wstring& name);

 private:
  Handle baseKey(bool relative) const;
  void put(const std::wstring& name, std::uint32_t type, const std::vector<std::uint8_t>& bytes);

  std::uint32_t access_;
  Handle root_ = kHkeyCurrentUser;
  Handle current_ = 0;
  std::wstring currentPath_;
};

// Hands the value `name` of the key at `path` over to the program started next,
// which consumes it (Platform::handOverValue).  A key that cannot be opened hands
// nothing over: the read-back then checks the value after the program, as any other.
void HandOverValue(Handle root, const std::wstring& path, const std::wstring& name);

// HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or HKEY_USERS itself,
// rather than a key opened below one.
bool IsRootKey(Handle key);

}  // namespace korvane
