#include "cli/logic/CliRun.h"

#include <exception>
#include <functional>
#include <map>

#include "advfix/Unit_AdvFix_Korvane.h"
#include "base/Text.h"
#include "changes/JournalingPlatform.h"
#include "changes/OverlayPlatform.h"
#include "changes/UndoFiles.h"
#include "cli/logic/EventLog.h"
#include "common/KorvaneError.h"
#include "common/Messages.h"
#include "fileassoc/FileAssoc.h"
#include "repairs/VerifiedPress.h"
#include "restrict/RestrictionList.h"

namespace korvane::cli {
namespace {

constexpr unsigned kIconMask = 0xF0;
constexpr unsigned kButtonMask = 0x0F;

struct RoutineResult {
  std::vector<ShownMessage> messages;
  std::vector<std::wstring> notes;  // why, where the window says only "Error!" or nothing
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
RoutineResult RunRoutine(const Repair& repair, Platform& below,
                         const std::optional<std::wstring>& drive) {
  HeadlessPlatform ui(below, drive);
  RoutineResult result;
  {
    SysScope scope(ui);
    try {
      switch (repair.kind) {
        case RepairKind::FileType:
        case RepairKind::Advanced:
        case RepairKind::Task:
          PressButton(repair);
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
      }
    } catch (const KorvaneError& e) {
      // What the window's dispatcher would have shown in its error box.
      result.raised = StandardErrorText(e.message());
    } catch (const std::exception& e) {
      result.raised = FromUtf8(e.what());
    }
  }
  result.messages = ui.messages();
  result.notes = ui.notes();
  return result;
}

// The repairs report their end only in a message box: "Done!" for the rows, the
// Home tasks and the Updates & Apps repairs (or, for the WMI check, that there was
// nothing to salvage), the restart notice for the other Advanced ones.  Several of
// them stop without a word when a step is refused, so a missing notice is a failure.
bool ReportedItsEnd(const Repair& repair, const std::vector<ShownMessage>& messages) {
  for (const ShownMessage& m : messages) {
    if ((m.flags & kIconMask) != kMbIconInformation) continue;
    if (repair.needsRestart() ? m.text == kFixedNoticeText
                              : m.text == kDoneText || m.text == kWmiConsistentText)
      return true;
  }
  return false;
}

RepairStatus Judge(const Repair& repair, const RoutineResult& result, std::wstring* failure) {
  if (result.notNeeded) return RepairStatus::NotNeeded;
  // The window's bare words are kept, and the reason it had no room for follows them.
  std::wstring reasons;
  for (const std::wstring& note : result.notes)
    reasons += (reasons.empty() ? L"" : L" ") + StandardErrorText(note);
  if (result.raised) {
    *failure = *result.raised;
    return RepairStatus::Failed;
  }
  std::wstring errors;
  for (const ShownMessage& m : result.messages)
    if ((m.flags & kIconMask) == kMbIconError) errors += (errors.empty() ? L"" : L" ") + m.text;
  if (!errors.empty()) {
    *failure = errors + (reasons.empty() ? L"" : L" " + reasons);
    return RepairStatus::Failed;
  }
  if (!ReportedItsEnd(repair, result.messages)) {
    *failure = reasons.empty() ? L"The repair stopped before its end without reporting why."
                               : L"The repair stopped before its end: " + reasons;
    return RepairStatus::Failed;
  }
  return RepairStatus::Done;
}

// <dir>\<name>.reg for the first try, <name>-2.reg, -3 ... after it.
std::wstring BackupPath(const std::wstring& dir, const std::wstring& name, int n) {
  std::wstring base = dir;
  if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L"\\";
  base += name;
  return n <= 1 ? base + L".reg" : base + L"-" + std::to_wstring(n) + L".reg";
}

// The repair on `layer`, or with a user's hive as its HKEY_CURRENT_USER.
RoutineResult RunFor(const Repair& repair, Platform& layer, const UserHive* user,
                     const std::optional<std::wstring>& drive) {
  if (!user) return RunRoutine(repair, layer, drive);
  UserHivePlatform hive(layer, user->keyName);
  return RunRoutine(repair, hive, drive);
}

// The comment lines an undo file for another user's settings adds to the common
// ones: whose settings they are and how to import it into their hive.
std::vector<std::wstring> UserUndoHeader(const UserHive* user, const std::wstring& path) {
  if (!user) return {};
  std::vector<std::wstring> lines{L"For the user " + UserLabel(*user) + L"."};
  if (user->loadedHere) {
    const std::wstring temporary = L"HKU\\" + user->keyName;
    lines.insert(
        lines.end(),
        {L"The user's hive was not loaded then: KorvaneCli loaded \"" + user->hiveFile + L"\"",
         L"as HKEY_USERS\\" + user->keyName +
             L" for the repair. To undo it while the user is not logged on,",
         L"load the hive under that name first, import this file, then unload it:",
         L"  reg load " + temporary + L" \"" + user->hiveFile + L"\"",
         L"  reg import \"" + path + L"\"", L"  reg unload " + temporary,
         L"While the user is logged on, the hive is HKEY_USERS\\" + user->sid +
             L" instead: import a copy",
         L"of this file in which HKEY_USERS\\" + user->keyName + L" reads HKEY_USERS\\" +
             user->sid + L"."});
    return lines;
  }
  lines.insert(lines.end(), {L"While the user's hive is loaded as HKEY_USERS\\" + user->sid +
                                 L" (the user is logged on), undo it with:",
                             L"  reg import \"" + path + L"\""});
  if (!user->profilePath.empty()) {
    const std::wstring key = L"HKU\\" + user->sid;
    const std::wstring file = user->profilePath + L"\\NTUSER.DAT";
    lines.insert(lines.end(), {L"Otherwise load the hive under that name first, then unload it:",
                               L"  reg load " + key + L" \"" + file + L"\"",
                               L"  reg import \"" + path + L"\"", L"  reg unload " + key});
  }
  return lines;
}

// Text from outside (paths, account names, reasons) in an event record: escaped as in
// the plain output, so that a line break cannot forge a line such as "Result: done",
// and with "%" as \x25, so that the viewer finds no "%1" or "%%1" in it to expand.
std::wstring EventText(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : EscapeControls(text)) {
    if (c == L'%')
      out += L"\\x25";
    else
      out.push_back(c);
  }
  return out;
}

// One record in the Application log for a repair that was to run for real.  A record
// that cannot be written changes nothing about the repair's result.
void RecordEvent(Platform& system, const FixOptions& options, RepairReport* report) {
  std::uint32_t id = kEventDone;
  std::uint16_t type = kEventTypeInformation;
  if (report->status == RepairStatus::Done && report->restartNeeded) id = kEventRestartNeeded;
  if (report->status != RepairStatus::Done && report->status != RepairStatus::NotNeeded) {
    id = kEventFailed;
    type = kEventTypeError;
  }
  std::wstring text =
      L"KorvaneCli fix " + FromUtf8(report->repair->id) + L" (" + report->repair->text + L")\r\n";
  if (report->user) {
    text += L"User: " + EventText(UserLabel(*report->user)) + L"\r\n";
  } else if (IsPerUser(*report->repair) && !options.runBy.empty()) {
    text += L"User: " + EventText(options.runBy) + L" (the account KorvaneCli ran as)\r\n";
  }
  text += L"Result: " + StatusName(report->status) +
          (report->restartNeeded ? L", restart needed" : L"") + L"\r\n";
  text += L"Changes: " + std::to_wstring(report->changes.size()) + L"\r\n";
  if (report->backupPath) text += L"Undo file: " + EventText(*report->backupPath) + L"\r\n";
  if (!report->failure.empty()) text += L"Failure: " + EventText(report->failure) + L"\r\n";
  if (!system.reportEvent(kEventSource, type, id, text)) {
    const std::wstring why = system.lastErrorText();
    report->eventLogError = why.empty() ? L"not written" : why;
  }
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
    case RepairStatus::NotRun:
      return L"not-run";
  }
  return {};
}

std::vector<RepairReport> FixRepairs(const std::vector<const Repair*>& repairs, Platform& system,
                                     const FixOptions& options) {
  std::vector<RepairReport> reports;
  std::optional<OverlayPlatform> preview;
  if (options.dryRun)
    preview.emplace(system, system.isElevated() ? OverlayPlatform::Rights::AsAsked
                                                : OverlayPlatform::Rights::ReadOnly);
  const bool eventLog = options.eventLog && !options.dryRun;
  if (eventLog) RegisterEventSource(system);

  // With --all-users a per-user restriction is one run for each user.
  std::vector<std::pair<const Repair*, const UserHive*>> runs;
  for (const Repair* repair : repairs) {
    if (options.users && IsPerUser(*repair)) {
      for (const UserHive& user : *options.users) runs.emplace_back(repair, &user);
    } else {
      runs.emplace_back(repair, nullptr);
    }
  }

  for (const auto& [repair, user] : runs) {
    RepairReport report;
    report.repair = repair;
    report.user = user;

    if (user && !user->reachable()) {
      report.status = RepairStatus::NotRun;
      report.failure = L"This user's settings could not be reached: " + user->error + L".";
      if (eventLog) RecordEvent(system, options, &report);
      reports.push_back(std::move(report));
      continue;
    }

    if (preview) {
      const std::size_t before = preview->journal().size();
      const RoutineResult result = RunFor(*repair, *preview, user, options.drive);
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
      // runs: every key and value it is about to touch, read as it is now.  A preview
      // that fails leaves an undo file that misses what the real run would change,
      // so the repair runs only after a preview that succeeded and a complete file.
      OverlayPlatform before(system);
      const RoutineResult planned = RunFor(*repair, before, user, options.drive);
      if (!planned.notNeeded) {
        std::wstring why;
        if (Judge(*repair, planned, &why) != RepairStatus::Done) {
          report.status = RepairStatus::NotRun;
          report.messages = planned.messages;
          report.failure = L"Its preview failed, so no backup could be taken: " + why +
                           L" The repair was not run.";
          if (eventLog) RecordEvent(system, options, &report);
          reports.push_back(std::move(report));
          continue;
        }
        const std::wstring name = FromUtf8(repair->id) + (user ? L"." + user->sid : L"");
        std::wstring path;
        std::vector<WrittenFile> written;
        auto error = WriteUndoFile(
            system, [&](int n) { return BackupPath(*options.backupDir, name, n); }, repair->id,
            repair->title(), before.journal(),
            [forUser = user](const std::wstring& p) { return UserUndoHeader(forUser, p); }, &path,
            &written);
        // Recorded, so that `undo` later imports the file only as it was written.
        if (!error) {
          error = RecordDigests(system, written);
          if (error)
            for (const WrittenFile& f : written) system.deleteFile(f.path);
        }
        if (error) {
          report.status = RepairStatus::NotRun;
          report.failure = L"Cannot write the backup \"" + path + L"\": " + *error +
                           L". The repair was not run.";
          if (eventLog) RecordEvent(system, options, &report);
          reports.push_back(std::move(report));
          continue;
        }
        report.backupPath = path;
      }
    }

    JournalingPlatform journaling(system);
    const RoutineResult result = RunFor(*repair, journaling, user, options.drive);
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
    if (eventLog) RecordEvent(system, options, &report);
    reports.push_back(std::move(report));
  }
  return reports;
}

std::vector<ScanItem> ScanRepairs(const std::vector<const Repair*>& repairs, Platform& system,
                                  const std::vector<UserHive>* users) {
  std::vector<ScanItem> items;
  // The page's own scan, so the command line and the window always agree: once in
  // the caller's settings, and once in each user's with --all-users.
  struct Scanned {
    RestrictionList list;
    std::map<std::wstring, std::wstring> unreadable;  // entry name -> why
    // In force, or not known to be: a value that could not be read is an error,
    // never "not in force".
    void judge(const RestrictionEntry& entry, ScanItem* item) const {
      item->found = ListedRestriction(list, entry).has_value();
      if (auto it = unreadable.find(entry.Name); it != unreadable.end())
        item->error = StandardErrorText(it->second);
    }
  };
  std::optional<Scanned> restrictions;
  std::map<const UserHive*, Scanned> perUser;
  auto scan = [](Platform& layer, Scanned* scanned) {
    HeadlessPlatform ui(layer, std::nullopt);
    SysScope scope(ui);
    ScanRestrictions(scanned->list, &scanned->unreadable);
  };
  for (const Repair* repair : repairs) {
    if (users && IsPerUser(*repair)) {
      for (const UserHive& user : *users) {
        ScanItem item;
        item.repair = repair;
        item.user = &user;
        if (!user.reachable()) {
          item.error = user.error;
        } else {
          auto it = perUser.find(&user);
          if (it == perUser.end()) {
            it = perUser.emplace(&user, Scanned()).first;
            UserHivePlatform hive(system, user.keyName);
            scan(hive, &it->second);
          }
          it->second.judge(*repair->restriction, &item);
        }
        items.push_back(std::move(item));
      }
      continue;
    }
    ScanItem item;
    item.repair = repair;
    if (repair->kind == RepairKind::Restriction) {
      if (!restrictions) {
        restrictions.emplace();
        scan(system, &*restrictions);
      }
      restrictions->judge(*repair->restriction, &item);
    } else if (repair->kind == RepairKind::FileType) {
      // What the row's button would leave behind: the button itself, pressed on a
      // preview, then compared with the registry as it is.  A preview that did not
      // get to its end predicts nothing, so the type cannot be called in place.
      OverlayPlatform preview(system, OverlayPlatform::Rights::ReadOnly);
      const RoutineResult result = RunRoutine(*repair, preview, std::nullopt);
      std::wstring why;
      if (Judge(*repair, result, &why) != RepairStatus::Done) {
        item.error = L"It could not be checked: " + why;
        items.push_back(std::move(item));
        continue;
      }
      ExpectedRegistry expected;
      expected.applyAll(preview.journal());
      item.differences = expected.compare(system);
      item.found = !item.differences.empty();
    }
    items.push_back(std::move(item));
  }
  return items;
}

int ScanExitCode(const std::vector<ScanItem>& items) {
  int code = kExitOk;
  for (const ScanItem& item : items) {
    if (!item.error.empty()) return kExitFailed;
    if (item.found) code = kExitFound;
  }
  return code;
}

int FixExitCode(const std::vector<Outcome>& outcomes) {
  bool restart = false;
  for (const Outcome& o : outcomes) {
    if (o.status == RepairStatus::Failed || o.status == RepairStatus::Unverified ||
        o.status == RepairStatus::NotRun)
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
