#include "cli/logic/CliRun.h"

#include <exception>

#include "advfix/Unit_AdvFix_Korvane.h"
#include "cli/logic/CliText.h"
#include "cli/logic/JournalingPlatform.h"
#include "cli/logic/OverlayPlatform.h"
#include "cli/logic/RegScript.h"
#include "common/KorvaneError.h"
#include "fileassoc/FileAssoc.h"
#include "restrict/RestrictionList.h"

namespace korvane::cli {
namespace {

constexpr unsigned kIconMask = 0xF0;
constexpr unsigned kButtonMask = 0x0F;

struct RoutineResult {
  std::vector<ShownMessage> messages;
  std::optional<std::wstring> raised;
  bool notNeeded = false;
};

std::optional<std::size_t> ListedRestriction(const RestrictionList& list,
                                             const RestrictionEntry& entry) {
  const auto& items = list.items();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (SameTextNoCase(TrimBlanks(items[i].caption), entry.Name)) return i;
  return std::nullopt;
}

// Does what pressing the row's button does, on `below` with no window above it.
RoutineResult RunRoutine(const CliRepair& repair, Platform& below,
                         const std::optional<std::wstring>& drive) {
  HeadlessPlatform ui(below, drive);
  RoutineResult result;
  {
    SysScope scope(ui);
    try {
      switch (repair.kind) {
        case RepairKind::FileType:
          FixFileTypeRow(*repair.fileType);
          break;
        case RepairKind::Restriction: {
          // As on the page: scan, tick the one entry, press FIX.
          RestrictionList list;
          ScanRestrictions(list);
          const std::optional<std::size_t> index = ListedRestriction(list, *repair.restriction);
          if (!index) {
            result.notNeeded = true;
            break;
          }
          list.setChecked(*index, true);
          btnFIXRESTRICTClick(list);
          break;
        }
        case RepairKind::Advanced:
        case RepairKind::Task:
          repair.routine();
          break;
      }
    } catch (const KorvaneError& e) {
      // What the window's dispatcher would have shown in its error box.
      result.raised = StandardErrorText(e.message());
    } catch (const std::exception& e) {
      result.raised = FromUtf8(e.what());
    }
  }
  result.messages = ui.messages();
  return result;
}

// The repairs report their end only in a message box: "Done!" for the rows and the
// Home tasks, the restart notice for the Advanced ones.  Several of them stop
// without a word when a step is refused, so a missing notice is a failure.
bool ReportedItsEnd(const CliRepair& repair, const std::vector<ShownMessage>& messages) {
  const std::wstring expected = repair.kind == RepairKind::Advanced ? kFixedNoticeText : L"Done!";
  for (const ShownMessage& m : messages)
    if (m.text == expected && (m.flags & kIconMask) == kMbIconInformation) return true;
  return false;
}

RepairStatus Judge(const CliRepair& repair, const RoutineResult& result, std::wstring* failure) {
  if (result.notNeeded) return RepairStatus::NotNeeded;
  if (result.raised) {
    *failure = *result.raised;
    return RepairStatus::Failed;
  }
  std::wstring errors;
  for (const ShownMessage& m : result.messages)
    if ((m.flags & kIconMask) == kMbIconError) errors += (errors.empty() ? L"" : L" ") + m.text;
  if (!errors.empty()) {
    *failure = errors;
    return RepairStatus::Failed;
  }
  if (!ReportedItsEnd(repair, result.messages)) {
    *failure = L"The repair stopped before its end without reporting why.";
    return RepairStatus::Failed;
  }
  return RepairStatus::Done;
}

// <dir>\<id>.reg, or <id>-2.reg, -3 ... when that exists: an earlier undo file
// holds the state from before the first repair and is never overwritten.
std::wstring BackupPath(Platform& system, const std::wstring& dir, const std::string& id) {
  std::wstring base = dir;
  if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L"\\";
  base += FromUtf8(id);
  std::wstring path = base + L".reg";
  for (int n = 2; system.getFileAttributes(path) != kInvalidFileAttributes; ++n)
    path = base + L"-" + std::to_wstring(n) + L".reg";
  return path;
}

}  // namespace

std::wstring MessageKind(unsigned flags) {
  if ((flags & kButtonMask) == kMbYesNo) return L"question";
  switch (flags & kIconMask) {
    case kMbIconError:
      return L"error";
    case kMbIconWarning:
      return L"warning";
    case kMbIconInformation:
      return L"information";
    case kMbIconQuestion:
      return L"question";
    default:
      return L"message";
  }
}

int HeadlessPlatform::messageBox(const std::wstring& text, const std::wstring& title,
                                 unsigned flags) {
  int answer = kIdOk;
  if ((flags & kButtonMask) == kMbYesNo) answer = drive_ ? kIdYes : kIdNo;
  messages_.push_back({text, title, flags, answer});
  return answer;
}

std::wstring HeadlessPlatform::inputBox(const std::wstring&, const std::wstring&,
                                        const std::wstring& defaultText) {
  return drive_ ? *drive_ : defaultText;
}

std::wstring StatusName(RepairStatus status) {
  switch (status) {
    case RepairStatus::Done:
      return L"done";
    case RepairStatus::NotNeeded:
      return L"not-needed";
    case RepairStatus::Failed:
      return L"failed";
    case RepairStatus::Unverified:
      return L"unverified";
    case RepairStatus::Previewed:
      return L"preview";
  }
  return {};
}

std::vector<RepairReport> FixRepairs(const std::vector<const CliRepair*>& repairs, Platform& system,
                                     const FixOptions& options) {
  std::vector<RepairReport> reports;
  std::optional<OverlayPlatform> preview;
  if (options.dryRun) preview.emplace(system);

  for (const CliRepair* repair : repairs) {
    RepairReport report;
    report.repair = repair;

    if (preview) {
      const std::size_t before = preview->journal().size();
      const RoutineResult result = RunRoutine(*repair, *preview, options.drive);
      report.changes.assign(preview->journal().begin() + static_cast<std::ptrdiff_t>(before),
                            preview->journal().end());
      report.messages = result.messages;
      report.status = Judge(*repair, result, &report.failure);
      if (report.status == RepairStatus::Done) report.status = RepairStatus::Previewed;
      reports.push_back(std::move(report));
      continue;
    }

    if (options.backupDir) {
      // The undo file comes from a preview of this very repair, taken just before it
      // runs: every key and value it is about to touch, read as it is now.
      OverlayPlatform before(system);
      const RoutineResult planned = RunRoutine(*repair, before, options.drive);
      if (!planned.notNeeded) {
        const std::wstring path = BackupPath(system, *options.backupDir, repair->id);
        const std::wstring text = BuildUndoScript(
            before.journal(), system,
            {L"KorvaneCli undo file for " + FromUtf8(repair->id) + L" (" + repair->text + L")",
             L"written before the repair ran; to undo it: reg import \"" + path + L"\""});
        if (!system.writeFile(path, EncodeRegFile(text))) {
          report.status = RepairStatus::Failed;
          report.failure = L"Cannot write the backup \"" + path + L"\": " + system.lastErrorText() +
                           L". The repair was not run.";
          reports.push_back(std::move(report));
          continue;
        }
        report.backupPath = path;
      }
    }

    JournalingPlatform journaling(system);
    const RoutineResult result = RunRoutine(*repair, journaling, options.drive);
    report.changes = journaling.journal();
    report.messages = result.messages;
    report.status = Judge(*repair, result, &report.failure);
    if (report.status == RepairStatus::Done || report.status == RepairStatus::Failed) {
      // Read back what was written (reg.exe's share included): a repair that says
      // it is done while a value is not in place has not done its job.
      ExpectedRegistry expected;
      expected.applyAll(report.changes);
      report.unverified = expected.compare(system);
      if (report.status == RepairStatus::Done && !report.unverified.empty())
        report.status = RepairStatus::Unverified;
    }
    report.restartNeeded = report.status == RepairStatus::Done && repair->needsRestart();
    reports.push_back(std::move(report));
  }
  return reports;
}

std::vector<ScanItem> ScanRepairs(const std::vector<const CliRepair*>& repairs, Platform& system) {
  std::vector<ScanItem> items;
  std::optional<RestrictionList> restrictions;
  for (const CliRepair* repair : repairs) {
    ScanItem item;
    item.repair = repair;
    if (repair->kind == RepairKind::Restriction) {
      if (!restrictions) {
        // The page's own scan, so the command line and the window always agree.
        restrictions.emplace();
        HeadlessPlatform ui(system, std::nullopt);
        SysScope scope(ui);
        ScanRestrictions(*restrictions);
      }
      item.found = ListedRestriction(*restrictions, *repair->restriction).has_value();
    } else if (repair->kind == RepairKind::FileType) {
      // What the row's button would leave behind, worked out from the script itself,
      // then compared with the registry as it is.
      ExpectedRegistry expected;
      if (std::wstring(repair->fileType->typeCode) == L"EXE") {
        // The .exe row rewrites the registration directly before importing its
        // script, as FixFileTypeRow does; that part is a routine, run on a preview.
        OverlayPlatform preview(system);
        {
          HeadlessPlatform ui(preview, std::nullopt);
          SysScope scope(ui);
          try {
            FixExeAssociation();
          } catch (const KorvaneError&) {
          }
        }
        expected.applyAll(preview.journal());
      }
      if (const Payload* payload = FORM_LAIN().byName(repair->fileType->payload))
        expected.applyScript(ParseRegScript(*payload).ops);
      item.differences = expected.compare(system);
      item.found = !item.differences.empty();
    }
    items.push_back(std::move(item));
  }
  return items;
}

int ScanExitCode(const std::vector<ScanItem>& items) {
  for (const ScanItem& item : items)
    if (item.found) return kExitFound;
  return kExitOk;
}

int FixExitCode(const std::vector<Outcome>& outcomes) {
  bool restart = false;
  for (const Outcome& o : outcomes) {
    if (o.status == RepairStatus::Failed || o.status == RepairStatus::Unverified)
      return kExitFailed;
    restart = restart || (o.status == RepairStatus::Done && o.needsRestart);
  }
  return restart ? kExitRestartNeeded : kExitOk;
}

int FixExitCode(const std::vector<RepairReport>& reports) {
  std::vector<Outcome> outcomes;
  for (const RepairReport& r : reports) outcomes.push_back({r.status, r.repair->needsRestart()});
  return FixExitCode(outcomes);
}

}  // namespace korvane::cli
