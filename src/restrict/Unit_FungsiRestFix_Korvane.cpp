#include "restrict/Unit_FungsiRestFix_Korvane.h"

#include "changes/RegScript.h"
#include "common/Registry.h"

namespace korvane {
namespace {

// Whether the value can still be seen.  Read access is enough to look, so a key that
// refused full access does not pass for a key without the value.
bool PolicyValuePresent(Handle root, const std::wstring& keyPath, const std::wstring& valueName) {
  Registry reg(kKeyRead);
  reg.setRootKey(root);
  return reg.openKey(keyPath, false) && reg.valueExists(valueName);
}

}  // namespace

bool IsPolicyValueSet(Handle root, const std::wstring& keyPath, const std::wstring& valueName,
                      std::wstring* unreadable) {
  // Looking needs read access only: asking for more would make a check without
  // administrator rights miss every machine-wide policy in force.
  auto cannotRead = [&](long error) {
    if (error != kErrorFileNotFound && unreadable)
      *unreadable = L"Cannot read \"" + RootName(root) + L"\\" + keyPath + L"\" " +
                    (valueName.empty() ? L"(default)" : valueName) + L". " + Sys().errorText(error);
    return false;
  };
  Handle key = 0;
  const long opened = Sys().regOpenKey(root, keyPath, kKeyRead, &key);
  if (opened != kErrorSuccess || key == 0) return cannotRead(opened);
  RegData data;
  const long queried = Sys().regQueryValue(key, valueName, &data);
  Sys().regCloseKey(key);
  if (queried != kErrorSuccess) return cannotRead(queried);
  // The shell reads a policy into a four-byte number whatever the value's type, so a
  // REG_SZ "1" (31 00 00 00) is in force as 49 and a REG_BINARY 04 00 00 00 as 4.
  // More data does not fit and is not read at all; less is zero-extended.
  if (data.bytes.size() > 4) return false;
  std::uint32_t number = 0;
  for (std::size_t i = 0; i < data.bytes.size(); ++i)
    number |= static_cast<std::uint32_t>(data.bytes[i]) << (8 * i);
  return number != 0;
}

void AddRestrictionItem(RestrictionList& list, const std::wstring& name,
                        const std::wstring& description, std::int32_t groupId) {
  for (const auto& item : list.items())
    if (StartsWithNoCase(item.caption, name)) return;
  list.appendItem(name, description, groupId);
}

bool IsRestrictionSelected(const RestrictionList& list, const std::wstring& name) {
  return list.inSelection(TrimBlanks(name));
}

bool RemovePolicyValue(RestrictionList& list, Handle root, const std::wstring& keyPath,
                       const std::wstring& valueName, const std::wstring& entryName) {
  {
    Registry reg(kKeyAllAccess);
    reg.setRootKey(root);
    if (reg.openKey(keyPath, true) && reg.valueExists(valueName)) reg.deleteValue(valueName);
  }
  if (PolicyValuePresent(root, keyPath, valueName)) return false;

  // Every checked item is marked, not only the entry's own: the walk over the catalogue
  // lifts all checked ones, and an item that failed is put back afterwards.
  const auto& items = list.items();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!items[i].checked) continue;
    list.setImage(i, kImageRemoved);
    list.removeFromSelection(TrimBlanks(entryName));
  }
  return true;
}

}  // namespace korvane
