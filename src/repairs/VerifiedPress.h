// The window's buttons that change the machine, each press run verified (preview,
// undo file, journaled run, read-back; see changes/VerifiedRepair.h).
#pragma once

#include "changes/VerifiedRepair.h"
#include "platform/Platform.h"
#include "repairs/RepairCatalogue.h"
#include "restrict/RestrictionList.h"

namespace korvane {

// What the repair's own button does: FIX on a file-type row, an Advanced row's FIX
// or Reset, a Home task's button.  Restrictions are removed from the page's list.
void PressButton(const Repair& repair);

// One press of that button, verified, with its undo file in the window's folder.
VerifiedRun PressVerified(Platform& system, const Repair& repair);

// "Remove Restriction", verified: one undo file per selected restriction, each
// holding what lifting that restriction alone changes, then one real press.
VerifiedRun RemoveRestrictionsVerified(Platform& system, RestrictionList& list);

}  // namespace korvane
