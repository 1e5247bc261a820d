#include "restrict/RestrictionList.h"

#include <algorithm>

#include "base/Text.h"
#include "common/Messages.h"
#include "restrict/Unit_Fungsi2RestFix_Korvane.h"
#include "restrict/Unit_FungsiRestFix_Korvane.h"

namespace korvane {
namespace {

bool IsBlank(wchar_t c) { return c <= L' '; }

}  // namespace

std::wstring TrimBlanks(const std::wstring& text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool SameTextNoCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
  if (prefix.size() > text.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](wchar_t x, wchar_t y) { return LowerChar(x) == LowerChar(y); });
}

// ------------------------------------------------------------------ the model

void RestrictionList::appendItem(const std::wstring& caption, const std::wstring& info,
                                 std::int32_t groupId) {
  items_.push_back(RestrictionItem{caption, info, groupId, false, kImageRestricted});
}

void RestrictionList::setChecked(std::size_t index, bool checked) {
  if (index >= items_.size() || items_[index].checked == checked) return;
  items_[index].checked = checked;
  lvRESTRICTItemChecked(*this);
}

void RestrictionList::setImage(std::size_t index, int imageIndex) {
  if (index < items_.size()) items_[index].imageIndex = imageIndex;
}

bool RestrictionList::inSelection(const std::wstring& name) const {
  return std::any_of(selection_.begin(), selection_.end(),
                     [&](const std::wstring& s) { return SameTextNoCase(s, name); });
}

void RestrictionList::addToSelection(const std::wstring& name) {
  if (!inSelection(name)) selection_.push_back(name);
}

void RestrictionList::removeFromSelection(const std::wstring& name) {
  std::erase_if(selection_, [&](const std::wstring& s) { return SameTextNoCase(s, name); });
}

// ------------------------------------------------------------------ handlers

void lvRESTRICTItemChecked(RestrictionList& list) {
  for (const auto& item : list.items()) {
    const std::wstring name = TrimBlanks(item.caption);
    if (!item.checked) {
      list.removeFromSelection(name);
    } else if (item.imageIndex == kImageRestricted) {
      // The trimmed name goes in, so that the look-up above finds it again and the
      // selection cannot hold one name twice.
      list.addToSelection(name);
    }
  }
}

void btnSCANRESTRICTClick(RestrictionList& list) {
  // Names chosen before the scan belong to items that no longer exist; left in, they
  // would be removed by the next press without being shown or ticked.
  list.clearSelection();
  ScanRestrictions(list);
  list.showNow();
  const std::size_t found = list.items().size();
  if (found == 0) {
    ShowMessage(L"Restrictions not found!", kAppTitle, kMbIconInformation);
  } else {
    ShowMessage(L"Found " + std::to_wstring(found) + L" restrictions on this computer!", kAppTitle,
                kMbIconError);
  }
}

void btnFIXRESTRICTClick(RestrictionList& list) {
  if (list.selection().empty()) return;
  RemoveSelectedRestrictions(list);
  list.showNow();
  if (list.selection().empty()) {
    ShowDone();
  } else {
    ShowMessage(kRestrictionsNotRemovedText, kAppTitle, kMbIconError);
  }
}

void cbCHECKALLRESTRICTClick(RestrictionList& list, bool checked) {
  list.setCheckAll(checked);
  for (std::size_t i = 0; i < list.items().size(); ++i) list.setChecked(i, checked);
}

}  // namespace korvane
