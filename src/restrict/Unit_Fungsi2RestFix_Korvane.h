// The catalogue of policy restrictions the Restriction Fixer knows, and the two walks
// over it: the scan that lists those in force and the removal of the selected ones.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "restrict/RestrictionList.h"

namespace korvane {

struct PolicyLocation {
  Handle RootKey = kHkeyCurrentUser;
  std::wstring KeyPath;  // below the root, no leading backslash
  std::wstring ValueName;
};

struct RestrictionEntry {
  std::wstring Name;  // unique, also without regard to case; no surrounding blanks
  // One or two.  With two, either one being set puts the restriction in force (the
  // first is looked at first) and a removal deletes both.
  std::vector<PolicyLocation> Locations;
  std::wstring Description;
  std::int32_t GroupID = kGroupDesktopExplorer;
};

// The 34 entries, in the order of scan, listing and removal.  No name begins with the
// whole name of a later entry, which the list's prefix refusal depends on.
const std::vector<RestrictionEntry>& RestrictionCatalogue();

// Replaces the list's items with one per entry in force, in catalogue order.  An entry
// not found in force because one of its values could not be read is named in
// *unreadable, when given, with the reason (the page itself has no words for it).
void ScanRestrictions(RestrictionList& list,
                      std::map<std::wstring, std::wstring>* unreadable = nullptr);

// Deletes every location of each selected entry, in catalogue order.  An entry whose
// value could not be deleted keeps (or gets back) its red cross and stays selected.
void RemoveSelectedRestrictions(RestrictionList& list);

}  // namespace korvane
