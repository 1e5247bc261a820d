// The Restriction Fixer page's state: the items of the list view `lvRESTRICT`, the
// hidden selection `lbRESTRICT` and the "Check All" box, with the page's handlers.
//
// The Win32 controls only mirror this model.  After every call into it (a handler, or
// setChecked for a click on an item's check box) the window re-reads items() and
// selection() and copies captions, info texts, groups, check states and images into
// its controls.  A handler that reports in a message box also asks the window to
// mirror first (showNow), so that the box stands over the list it reports on.
// setChecked with the state an item already has changes nothing, so the item-changed
// notifications that the window's own mirroring raises can be passed straight back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvane {

constexpr int kImageRestricted = 0;  // red cross
constexpr int kImageRemoved = 1;     // green check mark

constexpr std::int32_t kGroupDesktopExplorer = 0;  // "Desktop & Explorer"
constexpr std::int32_t kGroupSystemSecurity = 1;   // "System & Security"

struct RestrictionItem {
  std::wstring caption;  // the entry's name
  std::wstring info;     // "Info" column: the entry's description
  std::int32_t groupId = kGroupDesktopExplorer;
  bool checked = false;
  int imageIndex = kImageRestricted;
};

class RestrictionList {
 public:
  // --- lvRESTRICT, in the order the items were added
  const std::vector<RestrictionItem>& items() const { return items_; }
  void clearItems() { items_.clear(); }
  void appendItem(const std::wstring& caption, const std::wstring& info, std::int32_t groupId);
  // The item's check box now shows `checked`.  A real change runs lvRESTRICTItemChecked,
  // whoever made it; an index past the end is ignored, as the list view may report an
  // item the model has already dropped.
  void setChecked(std::size_t index, bool checked);
  void setImage(std::size_t index, int imageIndex);

  // --- lbRESTRICT: names without duplicates, in the order they were added.  Look-ups
  // compare whole strings without regard to case.
  const std::vector<std::wstring>& selection() const { return selection_; }
  bool inSelection(const std::wstring& name) const;
  void addToSelection(const std::wstring& name);  // appended unless already there
  void removeFromSelection(const std::wstring& name);
  void clearSelection() { selection_.clear(); }

  // --- cbCHECKALLRESTRICT; only the user changes it, so it outlives scans and removals.
  bool checkAll() const { return checkAll_; }
  void setCheckAll(bool checked) { checkAll_ = checked; }

  // --- the window that shows this model
  void setView(std::function<void()> mirror) { view_ = std::move(mirror); }
  void showNow() const {
    if (view_) view_();
  }

 private:
  std::vector<RestrictionItem> items_;
  std::vector<std::wstring> selection_;
  bool checkAll_ = false;
  std::function<void()> view_;
};

// Text rules of the list.  Blanks are spaces and control characters.
std::wstring TrimBlanks(const std::wstring& text);
bool SameTextNoCase(const std::wstring& a, const std::wstring& b);
bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix);

// ---- Handlers the window calls ----

// Walks every item after any check-state change: a checked item that still shows the
// red cross joins the selection, an unchecked one leaves it, and a checked item that
// already shows the check mark is left as it is, so a lifted restriction cannot be
// lifted twice before a new scan.
void lvRESTRICTItemChecked(RestrictionList& list);

// Rescans the registry, replacing every item and emptying the selection, and reports
// how many restrictions are in force.
void btnSCANRESTRICTClick(RestrictionList& list);

// Removes the selected restrictions; nothing at all happens when none is selected.
// "Done!" when every one was lifted; otherwise an error box, and the ones that could
// not be lifted keep their red cross and stay selected so the next press retries them.
void btnFIXRESTRICTClick(RestrictionList& list);

// `checked` is the box's state after the click; every item is set to it.
void cbCHECKALLRESTRICTClick(RestrictionList& list, bool checked);

inline const std::wstring kRestrictionsNotRemovedText = L"Some restrictions could not be removed!";

}  // namespace korvane
