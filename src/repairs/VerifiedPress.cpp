#include "repairs/VerifiedPress.h"

#include "changes/UndoFiles.h"
#include "fileassoc/FileAssoc.h"

namespace korvane {

void PressButton(const Repair& repair) {
  if (repair.kind == RepairKind::FileType) {
    FixFileTypeRow(*repair.fileType);
  } else if (repair.routine) {
    repair.routine();
  }
}

VerifiedRun PressVerified(Platform& system, const Repair& repair) {
  auto press = [&repair] { PressButton(repair); };
  return RunVerified(system, {{repair.id, repair.title(), press}}, press);
}

VerifiedRun RemoveRestrictionsVerified(Platform& system, RestrictionList& list) {
  std::vector<UndoTarget> targets;
  for (const std::wstring& name : list.selection()) {
    const Repair* repair = RepairOfRestriction(name);
    if (!repair) continue;
    targets.push_back({repair->id, repair->title(), [&list, name] {
                         // The page as it is, with this one restriction ticked.
                         RestrictionList one = list;
                         one.clearSelection();
                         one.addToSelection(name);
                         btnFIXRESTRICTClick(one);
                       }});
  }
  return RunVerified(system, targets, [&list] { btnFIXRESTRICTClick(list); });
}

}  // namespace korvane
