#include "cli/logic/CliApp.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>
#include <optional>

#include "KorvaneVersion.h"
#include "base/Text.h"
#include "changes/Describe.h"
#include "changes/RegScript.h"
#include "changes/UndoFiles.h"
#include "cli/logic/CliRun.h"
#include "cli/logic/UserHives.h"
#include "common/PrivateFolders.h"
#include "repairs/RepairCatalogue.h"

namespace korvane::cli {
namespace {

using Json = nlohmann::ordered_json;

std::string U(const std::wstring& s) { return ToUtf8(s); }
// Text that came from the registry, a repair or a path, for one line of plain output.
std::string Line(const std::wstring& s) { return ToUtf8(EscapeControls(s)); }
// The same for a message in UTF-8 that may quote an argument as it was given.
std::string Line(const std::string& utf8) { return Line(FromUtf8(utf8)); }

// ------------------------------------------------------------------- JSON

Json DataJson(const RegData& data) {
  Json j;
  j["type"] = U(RegTypeName(data.type));
  if (data.type == kRegSz || data.type == kRegExpandSz) {
    if (auto text = RegText(data)) {
      j["data"] = U(*text);
      return j;
    }
  }
  if (data.type == kRegMultiSz) {
    if (auto texts = RegTexts(data)) {
      j["data"] = Json::array();
      for (const auto& t : *texts) j["data"].push_back(U(t));
      return j;
    }
  }
  if (auto n = RegNumber(data)) {
    j["data"] = *n;
    return j;
  }
  std::string hex;
  static const char digits[] = "0123456789abcdef";
  for (size_t i = 0; i < data.bytes.size(); ++i) {
    if (i) hex += ",";
    hex += digits[data.bytes[i] >> 4];
    hex += digits[data.bytes[i] & 0xF];
  }
  j["hex"] = hex;
  return j;
}

Json ChangeJson(const Change& c) {
  Json j;
  j["action"] = ChangeKindName(c.kind);
  switch (c.kind) {
    case ChangeKind::CreateKey:
    case ChangeKind::DeleteKey:
      j["key"] = U(FullKeyName(c.root, c.path));
      break;
    case ChangeKind::SetValue:
      j["key"] = U(FullKeyName(c.root, c.path));
      j["name"] = U(c.name);
      j["value"] = DataJson(c.data);
      break;
    case ChangeKind::DeleteValue:
      j["key"] = U(FullKeyName(c.root, c.path));
      j["name"] = U(c.name);
      break;
    case ChangeKind::HandOver:
      j["key"] = U(FullKeyName(c.root, c.path));
      j["name"] = U(c.name);
      if (!c.valueAbsent) j["value"] = DataJson(c.data);
      break;
    case ChangeKind::WriteFile:
      j["path"] = U(c.path);
      j["bytes"] = c.byteCount;
      break;
    case ChangeKind::DeleteFile:
    case ChangeKind::DeleteFolder:
      j["path"] = U(c.path);
      break;
    case ChangeKind::ReplaceFile:
      j["path"] = U(c.other);
      j["from"] = U(c.path);
      break;
    case ChangeKind::RunProgram:
    case ChangeKind::StartProgram:
      j["commandLine"] = U(c.path);
      if (!c.other.empty()) j["program"] = U(c.other);
      break;
    case ChangeKind::ShellRequest:
      j["verb"] = U(c.other);
      j["file"] = U(c.path);
      break;
    case ChangeKind::RestorePoint:
      j["description"] = U(c.path);
      break;
    case ChangeKind::StopService:
    case ChangeKind::StartService:
      j["service"] = U(c.path);
      break;
    case ChangeKind::RenameFolder:
      j["path"] = U(c.path);
      j["to"] = U(c.other);
      break;
  }
  if (c.viaImport) j["viaImport"] = true;
  return j;
}

Json DifferenceJson(const Difference& d) {
  static const char* const whats[] = {"missing-key",      "unexpected-key", "missing-value",
                                      "unexpected-value", "wrong-value",    "service-not-running",
                                      "missing-folder"};
  Json j;
  j["what"] = whats[static_cast<int>(d.what)];
  if (d.what == Difference::What::ServiceNotRunning) {
    j["service"] = U(d.path);
    return j;
  }
  if (d.what == Difference::What::MissingFolder) {
    j["path"] = U(d.path);
    return j;
  }
  j["key"] = U(FullKeyName(d.root, d.path));
  const bool isValue =
      d.what != Difference::What::MissingKey && d.what != Difference::What::UnexpectedKey;
  if (isValue) j["name"] = U(d.name);
  if (d.expected) j["expected"] = DataJson(*d.expected);
  if (d.actual) j["actual"] = DataJson(*d.actual);
  return j;
}

Json RepairJson(const Repair& r) {
  Json j;
  j["id"] = r.id;
  j["page"] = U(r.page);
  if (!r.section.empty()) j["section"] = U(r.section);
  j["text"] = U(r.text);
  if (r.kind == RepairKind::FileType) j["type"] = U(r.detail);
  if (r.kind == RepairKind::Restriction) j["description"] = U(r.detail);
  return j;
}

// JSON lets DEL and the C1 controls (U+0080 to U+009F) stand unescaped in a string,
// but a terminal that shows the document acts on them as on any other control
// character: they are escaped too.  They only occur inside strings, where an
// escape means the same character.
std::string Dump(const Json& j) {
  const std::string text = j.dump(2, ' ', false, Json::error_handler_t::replace);
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() + 1);
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (c == 0x7F || (c == 0xC2 && next >= 0x80 && next <= 0x9F)) {
      const unsigned code = c == 0x7F ? c : next;
      out += "\\u00";
      out += digits[code >> 4];
      out += digits[code & 0xF];
      if (c == 0xC2) ++i;
      continue;
    }
    out.push_back(text[i]);
  }
  return out + "\n";
}

// ------------------------------------------------------------- plain text

std::string Pad(const std::string& s, size_t width) {
  return s.size() >= width ? s + " " : s + std::string(width - s.size(), ' ');
}

std::string PlainChange(const Change& c) {
  return (c.viaImport ? "      " : "    ") + Line(DescribeChange(c)) + "\n";
}

// A line of plain output that holds registry data or names is cut short, so that the
// output for one id stays within what Intune keeps.  Paths and reasons are never cut;
// lists are cut instead, and what was left out is counted.
std::string Clipped(std::string line, std::size_t limit = 240) {
  if (line.size() <= limit) return line;
  std::size_t cut = limit - 3;
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
  return line.substr(0, cut) + "...";
}

Json UserJson(const UserHive& user) {
  Json j;
  j["sid"] = U(user.sid);
  if (!user.account.empty()) j["account"] = U(user.account);
  if (!user.profilePath.empty()) j["profilePath"] = U(user.profilePath);
  return j;
}

Json UsersJson(const std::vector<UserHive>& users) {
  Json list = Json::array();
  for (const UserHive& user : users) {
    Json j = UserJson(user);
    if (user.loadedHere) {
      j["hive"] = "loaded for this run";
      j["hiveFile"] = U(user.hiveFile);
      j["unloaded"] = user.unloaded;
      if (!user.unloadError.empty()) j["unloadError"] = U(user.unloadError);
    } else if (user.reachable()) {
      j["hive"] = "loaded";
    }
    if (!user.error.empty()) j["error"] = U(user.error);
    list.push_back(j);
  }
  return list;
}

// ---------------------------------------------------------------- commands

// What every command shares: how it reports, and whose settings it checks.
struct RunContext {
  bool json = false;
  bool quiet = false;
  UserHives* hives = nullptr;  // --all-users
  // Running as SYSTEM without --all-users, with per-user restrictions among the ids.
  bool systemOnly = false;
};

constexpr const char* kSystemNote =
    "Note: KorvaneCli runs as SYSTEM, so the per-user restrictions were looked for in "
    "SYSTEM's own settings, which no person uses; --all-users checks every user's.";
constexpr const char* kSystemSuffix =
    " (in SYSTEM's own settings; --all-users checks every user's)";
// The summary line stays within what Intune reads of the last line (2,048).
constexpr std::size_t kSummaryLimit = 1800;
// Room for the lines that name users under one id.
constexpr std::size_t kUserLinesBudget = 1200;

// One id with how many users it concerns: "restriction.task-manager (2 users)".
struct Tally {
  std::string id;
  std::size_t users = 0;  // 0: not counted per user
};

std::string TallyList(const std::vector<Tally>& tallies, std::size_t room) {
  std::string out;
  for (std::size_t i = 0; i < tallies.size(); ++i) {
    std::string entry = tallies[i].id;
    if (tallies[i].users)
      entry +=
          " (" + std::to_string(tallies[i].users) + (tallies[i].users == 1 ? " user)" : " users)");
    const std::string more = ", and " + std::to_string(tallies.size() - i) + " more";
    if (out.size() + entry.size() + 2 + more.size() > room) return out + more;
    out += (out.empty() ? "" : ", ") + entry;
  }
  return out;
}

// Adds the summary line last; with --quiet it is all there is.
void Finish(CliResult* r, const RunContext& ctx, std::string summary) {
  if (ctx.systemOnly) summary += kSystemSuffix;
  summary = "Korvane: " + summary;
  if (ctx.quiet)
    r->out.clear();
  else if (ctx.systemOnly)
    r->out += std::string(kSystemNote) + "\n";
  r->out += summary + "\n";
}

// Users whose hive could not be loaded or unloaded, once per run.
void HiveProblems(const RunContext& ctx, CliResult* r) {
  if (!ctx.hives) return;
  std::size_t used = 0, left = 0;
  for (const UserHive& user : ctx.hives->users()) {
    std::string line;
    if (!user.error.empty())
      line = "user " + Line(UserLabel(user)) + ": not checked: " + Line(user.error);
    else if (!user.unloadError.empty())
      line = "user " + Line(UserLabel(user)) + ": its hive could not be unloaded from " +
             "HKEY_USERS\\" + Line(user.keyName) + ": " + Line(user.unloadError);
    if (line.empty()) continue;
    line += "\n";
    if (used + line.size() > kUserLinesBudget) {
      ++left;
      continue;
    }
    used += line.size();
    r->out += line;
  }
  if (left) r->out += "... and " + std::to_string(left) + " more users with problems\n";
}

bool UnloadFailed(const RunContext& ctx) {
  if (!ctx.hives) return false;
  for (const UserHive& user : ctx.hives->users())
    if (!user.unloadError.empty()) return true;
  return false;
}

CliResult ListCommand(const RunContext& ctx) {
  CliResult r;
  if (ctx.json) {
    Json doc;
    doc["command"] = "list";
    doc["repairs"] = Json::array();
    for (const Repair& repair : AllRepairs()) doc["repairs"].push_back(RepairJson(repair));
    doc["exitCode"] = kExitOk;
    r.out = Dump(doc);
    return r;
  }
  size_t idWidth = 0, pageWidth = 0;
  for (const Repair& repair : AllRepairs()) {
    idWidth = std::max(idWidth, repair.id.size());
    pageWidth = std::max(pageWidth, U(repair.page).size());
  }
  for (const Repair& repair : AllRepairs()) {
    r.out +=
        Pad(repair.id, idWidth + 1) + Pad(U(repair.page), pageWidth + 1) + U(repair.title()) + "\n";
  }
  Finish(&r, ctx, std::to_string(AllRepairs().size()) + " repairs");
  return r;
}

CliResult ScanCommand(const std::vector<const Repair*>& scope, Platform& system,
                      const RunContext& ctx) {
  const std::vector<ScanItem> items =
      ScanRepairs(scope, system, ctx.hives ? &ctx.hives->users() : nullptr);
  if (ctx.hives) ctx.hives->unloadAll();
  CliResult r;
  r.exitCode = UnloadFailed(ctx) ? kExitFailed : ScanExitCode(items);

  // The items of each id together, in the order of the ids.
  struct PerId {
    const Repair* repair;
    std::vector<const ScanItem*> items;
    std::size_t foundUsers = 0;
    bool found = false;
  };
  std::vector<PerId> ids;
  for (const ScanItem& item : items) {
    if (ids.empty() || ids.back().repair != item.repair) ids.push_back({item.repair, {}, 0, false});
    ids.back().items.push_back(&item);
    ids.back().found = ids.back().found || item.found;
    ids.back().foundUsers += item.found && item.user ? 1 : 0;
  }
  std::size_t found = 0, restrictions = 0, fileTypes = 0;
  std::vector<Tally> tallies;
  for (const PerId& id : ids) {
    (id.repair->kind == RepairKind::Restriction ? restrictions : fileTypes) += 1;
    if (!id.found) continue;
    ++found;
    tallies.push_back({id.repair->id, id.items.front()->user ? id.foundUsers : 0});
  }
  std::size_t notChecked = 0, failedIds = 0;
  if (ctx.hives)
    for (const UserHive& user : ctx.hives->users()) notChecked += user.error.empty() ? 0 : 1;
  for (const PerId& id : ids)
    if (!id.items.front()->user && !id.items.front()->error.empty()) ++failedIds;
  const char* what = fileTypes == 0 ? "in force" : restrictions == 0 ? "not in place" : "found";
  std::string summary =
      std::to_string(found) + " of " + std::to_string(ids.size()) + " checked " + what;
  if (found) summary += ": " + TallyList(tallies, kSummaryLimit);
  if (notChecked)
    summary +=
        "; " + std::to_string(notChecked) + (notChecked == 1 ? " user" : " users") + " not checked";
  if (failedIds) summary += "; " + std::to_string(failedIds) + " could not be checked";

  if (ctx.json) {
    Json doc;
    doc["command"] = "scan";
    doc["found"] = found;
    if (ctx.hives) doc["users"] = UsersJson(ctx.hives->users());
    doc["restrictions"] = Json::array();
    doc["fileTypes"] = Json::array();
    for (const PerId& id : ids) {
      Json j;
      j["id"] = id.repair->id;
      j["text"] = U(id.repair->text);
      if (!id.items.front()->user && !id.items.front()->error.empty()) {
        j["error"] = U(id.items.front()->error);
        doc[id.repair->kind == RepairKind::Restriction ? "restrictions" : "fileTypes"].push_back(j);
        continue;
      }
      if (id.repair->kind == RepairKind::Restriction) {
        j["inForce"] = id.found;
        if (id.items.front()->user) {
          j["users"] = Json::array();
          for (const ScanItem* item : id.items) {
            Json u = UserJson(*item->user);
            if (item->error.empty())
              u["inForce"] = item->found;
            else
              u["error"] = U(item->error);
            j["users"].push_back(u);
          }
        }
        doc["restrictions"].push_back(j);
      } else {
        const ScanItem& item = *id.items.front();
        j["inPlace"] = !item.found;
        j["differences"] = Json::array();
        for (const Difference& d : item.differences) j["differences"].push_back(DifferenceJson(d));
        doc["fileTypes"].push_back(j);
      }
    }
    if (ctx.systemOnly) doc["note"] = kSystemNote;
    doc["summary"] = "Korvane: " + summary + (ctx.systemOnly ? kSystemSuffix : "");
    doc["exitCode"] = r.exitCode;
    r.out = Dump(doc);
    return r;
  }
  constexpr std::size_t kShown = 5;
  HiveProblems(ctx, &r);
  for (const PerId& id : ids) {
    if (!id.items.front()->user && !id.items.front()->error.empty()) {
      r.out += id.repair->id + ": could not be checked: " + Line(id.items.front()->error) + "\n";
      continue;
    }
    if (!id.found) continue;
    if (id.items.front()->user) {
      r.out += id.repair->id + ": in force for " + std::to_string(id.foundUsers) + " of " +
               std::to_string(id.items.size()) + " users (" + U(id.repair->text) + ")\n";
      std::size_t used = 0, left = 0;
      for (const ScanItem* item : id.items) {
        if (!item->found) continue;
        const std::string line = "    " + Clipped(Line(UserLabel(*item->user))) + "\n";
        if (used + line.size() > kUserLinesBudget) {
          ++left;
          continue;
        }
        used += line.size();
        r.out += line;
      }
      if (left) r.out += "    ... and " + std::to_string(left) + " more (--json names them all)\n";
      continue;
    }
    const ScanItem& item = *id.items.front();
    if (item.repair->kind == RepairKind::Restriction) {
      r.out += item.repair->id + ": in force (" + U(item.repair->text) + ")\n";
      continue;
    }
    r.out += item.repair->id + ": not as its script leaves it (" +
             std::to_string(item.differences.size()) + " differences)\n";
    for (std::size_t i = 0; i < item.differences.size() && i < kShown; ++i)
      r.out += Clipped("    " + Line(DescribeDifference(item.differences[i]))) + "\n";
    if (item.differences.size() > kShown)
      r.out += "    ... and " + std::to_string(item.differences.size() - kShown) + " more\n";
  }
  r.out += "Checked " + std::to_string(restrictions) + " restrictions and " +
           std::to_string(fileTypes) + " file types" +
           (ctx.hives ? ", the per-user restrictions for " +
                            std::to_string(ctx.hives->users().size()) + " users"
                      : std::string()) +
           ": " + (found ? std::to_string(found) + " found." : std::string("nothing found.")) +
           "\n";
  Finish(&r, ctx, summary);
  return r;
}

std::string PlainStatus(const RepairReport& rep) {
  std::string status = U(StatusName(rep.status));
  if (rep.status == RepairStatus::NotNeeded) status = "nothing to do (not in force)";
  if (rep.status == RepairStatus::Previewed) status = "preview only, nothing was changed";
  if (rep.status == RepairStatus::NotRun) status = "not run, nothing was changed";
  if (rep.restartNeeded) status += ", restart needed";
  return status;
}

bool Failed(RepairStatus s) {
  return s == RepairStatus::Failed || s == RepairStatus::Unverified || s == RepairStatus::NotRun;
}

// What a repair said and did, under its first line; `indent` more for a user's part.
std::string PlainReport(const RepairReport& rep, const FixOptions& options,
                        const std::string& indent, bool quietMessages) {
  std::string out;
  // The preview is the list of changes; a real run shows what went wrong instead.
  if (options.dryRun) {
    if (rep.changes.empty() && rep.status != RepairStatus::NotNeeded)
      out += indent + "    (no changes)\n";
    for (const Change& c : rep.changes) out += indent + PlainChange(c);
  }
  // Messages, failures and paths are never cut: an administrator must be able to find
  // the file they name and read the reason whole.  Data from the registry is.
  for (const ShownMessage& m : rep.messages) {
    if (quietMessages && (m.flags & 0xF0) == kMbIconInformation) continue;
    out += indent + "  " + U(MessageKind(m.flags)) + ": " + Line(m.text) +
           ((m.flags & 0x0F) == kMbYesNo ? (m.answer == kIdYes ? " -> yes" : " -> no") : "") + "\n";
  }
  if (rep.backupPath) out += indent + "  backup: " + Line(*rep.backupPath) + "\n";
  constexpr std::size_t kShown = 5;
  for (std::size_t i = 0; i < rep.unverified.size() && i < kShown; ++i)
    out +=
        Clipped(indent + "  not in place: " + Line(DescribeDifference(rep.unverified[i]))) + "\n";
  if (rep.unverified.size() > kShown)
    out += indent + "  ... and " + std::to_string(rep.unverified.size() - kShown) +
           " more not in place (--json lists them all)\n";
  if (!rep.failure.empty()) out += indent + "  failed: " + Line(rep.failure) + "\n";
  if (rep.eventLogError)
    out += indent + "  event log: not written: " + Line(*rep.eventLogError) + "\n";
  out += indent + "  result: " + PlainStatus(rep) + "\n";
  return out;
}

CliResult FixCommand(const std::vector<const Repair*>& repairs, Platform& system,
                     const FixOptions& options, const RunContext& ctx) {
  const std::vector<RepairReport> reports = FixRepairs(repairs, system, options);
  if (ctx.hives) ctx.hives->unloadAll();
  CliResult r;
  r.exitCode = UnloadFailed(ctx) ? kExitFailed : FixExitCode(reports);
  bool restart = false;
  for (const RepairReport& rep : reports) restart = restart || rep.restartNeeded;

  struct PerId {
    const Repair* repair;
    std::vector<const RepairReport*> reports;
  };
  std::vector<PerId> ids;
  for (const RepairReport& rep : reports) {
    if (ids.empty() || ids.back().repair != rep.repair) ids.push_back({rep.repair, {}});
    ids.back().reports.push_back(&rep);
  }
  std::vector<Tally> done, failed, changing;
  for (const PerId& id : ids) {
    const bool perUser = id.reports.front()->user != nullptr;
    std::size_t d = 0, f = 0, c = 0;
    for (const RepairReport* rep : id.reports) {
      d += rep->status == RepairStatus::Done ? 1 : 0;
      f += Failed(rep->status) ? 1 : 0;
      c += rep->status == RepairStatus::Previewed && !rep->changes.empty() ? 1 : 0;
    }
    if (d) done.push_back({id.repair->id, perUser ? d : 0});
    if (f) failed.push_back({id.repair->id, perUser ? f : 0});
    if (c) changing.push_back({id.repair->id, perUser ? c : 0});
  }
  std::string summary;
  const std::size_t half = kSummaryLimit / 2;
  if (options.dryRun) {
    summary = "preview only, nothing was changed: " + std::to_string(changing.size()) + " of " +
              std::to_string(ids.size()) + " would change something";
    if (!changing.empty()) summary += ": " + TallyList(changing, half);
  } else if (done.empty() && failed.empty()) {
    summary = "nothing needed doing (" + std::to_string(ids.size()) + " checked)";
  } else {
    summary = std::to_string(done.size()) + " of " + std::to_string(ids.size()) + " done";
    if (!done.empty()) summary += ": " + TallyList(done, half);
  }
  if (!failed.empty()) summary += "; failed: " + TallyList(failed, half);
  if (restart) summary += "; restart needed";
  if (UnloadFailed(ctx)) summary += "; a user's hive could not be unloaded";

  if (ctx.json) {
    Json doc;
    doc["command"] = "fix";
    doc["dryRun"] = options.dryRun;
    if (ctx.hives) doc["users"] = UsersJson(ctx.hives->users());
    doc["repairs"] = Json::array();
    for (const RepairReport& rep : reports) {
      Json j;
      j["id"] = rep.repair->id;
      j["text"] = U(rep.repair->text);
      if (rep.user) j["user"] = UserJson(*rep.user);
      j["status"] = U(StatusName(rep.status));
      if (!rep.failure.empty()) j["failure"] = U(rep.failure);
      j["restartNeeded"] = rep.restartNeeded;
      j["messages"] = Json::array();
      for (const ShownMessage& m : rep.messages)
        j["messages"].push_back({{"kind", U(MessageKind(m.flags))}, {"text", U(m.text)}});
      if (rep.backupPath) j["backup"] = U(*rep.backupPath);
      if (rep.eventLogError) j["eventLogError"] = U(*rep.eventLogError);
      j["changes"] = Json::array();
      for (const Change& c : rep.changes) j["changes"].push_back(ChangeJson(c));
      j["unverified"] = Json::array();
      for (const Difference& d : rep.unverified) j["unverified"].push_back(DifferenceJson(d));
      doc["repairs"].push_back(j);
    }
    if (ctx.systemOnly) doc["note"] = kSystemNote;
    doc["restartNeeded"] = restart;
    doc["summary"] = "Korvane: " + summary + (ctx.systemOnly ? kSystemSuffix : "");
    doc["exitCode"] = r.exitCode;
    r.out = Dump(doc);
    return r;
  }
  HiveProblems(ctx, &r);
  for (const PerId& id : ids) {
    r.out += id.repair->id + ": " + U(id.repair->text) + "\n";
    if (!id.reports.front()->user) {
      r.out += PlainReport(*id.reports.front(), options, "", false);
      continue;
    }
    // One part per user that something happened to; the users for whom there was
    // nothing to do, and those beyond the room one id has, only counted.
    std::size_t used = 0, nothing = 0, left = 0;
    for (const RepairReport* rep : id.reports) {
      if (rep->status == RepairStatus::NotNeeded) {
        ++nothing;
        continue;
      }
      const std::string part = Clipped("  " + Line(UserLabel(*rep->user))) + "\n" +
                               PlainReport(*rep, options, "  ", true);
      if (!options.dryRun && used + part.size() > kUserLinesBudget) {
        ++left;
        continue;
      }
      used += part.size();
      r.out += part;
    }
    if (left)
      r.out += "  ... and " + std::to_string(left) + " more users (--json lists them all)\n";
    if (nothing)
      r.out += "  nothing to do for " + std::to_string(nothing) +
               (nothing == 1 ? " user" : " users") + " (not in force)\n";
  }
  Finish(&r, ctx, summary);
  return r;
}

CliResult UndoCommand(const std::wstring& path, Platform& system, const RunContext& ctx) {
  const UndoOutcome outcome = UndoFromFile(system, path);
  CliResult r;
  r.exitCode = outcome.done ? kExitOk : kExitFailed;
  const std::string status = outcome.done ? "done" : "failed";
  if (ctx.json) {
    Json doc;
    doc["command"] = "undo";
    doc["file"] = U(path);
    doc["status"] = status;
    if (!outcome.failure.empty()) doc["failure"] = U(outcome.failure);
    doc["unverified"] = Json::array();
    for (const Difference& d : outcome.unverified) doc["unverified"].push_back(DifferenceJson(d));
    doc["exitCode"] = r.exitCode;
    r.out = Dump(doc);
    return r;
  }
  r.out = "undo: " + Line(path) + "\n";
  constexpr std::size_t kShown = 5;
  for (std::size_t i = 0; i < outcome.unverified.size() && i < kShown; ++i)
    r.out += Clipped("  not in place: " + Line(DescribeDifference(outcome.unverified[i]))) + "\n";
  if (outcome.unverified.size() > kShown)
    r.out += "  ... and " + std::to_string(outcome.unverified.size() - kShown) +
             " more not in place (--json lists them all)\n";
  if (!outcome.failure.empty()) r.out += "  failed: " + Line(outcome.failure) + "\n";
  r.out += "  result: " + status + "\n";
  Finish(&r, ctx, outcome.done ? "undone" : "the undo failed");
  return r;
}

CliResult BadArguments(const std::string& message, bool json) {
  CliResult r;
  r.exitCode = kExitBadArguments;
  r.err = "KorvaneCli: " + Line(message) + "\n\n" + UsageText();
  if (json) {
    Json doc;
    doc["error"] = message;
    doc["exitCode"] = kExitBadArguments;
    r.out = Dump(doc);
  }
  return r;
}

// A drive letter as "C", "c", "C:" or "C:\"; the repair takes the bare letter.
std::optional<std::wstring> DriveLetter(const std::string& text) {
  std::string s = text;
  if (s.size() == 3 && s[2] == '\\') s.pop_back();
  if (s.size() == 2 && s[1] == ':') s.pop_back();
  if (s.size() != 1 || !std::isalpha(static_cast<unsigned char>(s[0]))) return std::nullopt;
  return std::wstring(1, static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(s[0]))));
}

}  // namespace

std::string UsageText() {
  return "Usage:\n"
         "  KorvaneCli list [--json | --quiet]\n"
         "  KorvaneCli scan [ID...] [--all-users] [--json | --quiet]\n"
         "  KorvaneCli fix ID... [--dry-run] [--backup DIR] [--drive LETTER] [--all-users]\n"
         "                 [--no-event-log] [--json | --quiet]\n"
         "  KorvaneCli undo FILE [--json | --quiet]\n"
         "  KorvaneCli --version\n"
         "\n"
         "  list            every repair with its id, page and row text\n"
         "  scan            restrictions in force and file types not as their scripts\n"
         "                  leave them (all of them, or the ids given)\n"
         "  fix             runs the repairs in the order given\n"
         "  --dry-run       changes nothing; prints every change the repairs would make\n"
         "  --backup        first writes DIR\\ID.reg for each repair; reg import undoes it\n"
         "  --drive         the drive of advanced.corrupted-recycle-bin (its items are\n"
         "                  deleted)\n"
         "  --all-users     the per-user restrictions of every user profile of the\n"
         "                  machine instead of the caller's own (for SYSTEM: Intune,\n"
         "                  Configuration Manager); one undo file per user\n"
         "  --no-event-log  fix writes no record to the Application event log\n"
         "  undo            imports an undo file (from --backup or the window's) with\n"
         "                  reg.exe, puts back the file kept beside it, reads it back\n"
         "  --json          one JSON document instead of lines\n"
         "  --quiet         only the summary line\n"
         "\n"
         "An ID is one repair (see list) or PAGE.* for all of a page: assoc.*,\n"
         "restriction.*, advanced.*, task.*.\n"
         "\n"
         "Exit codes: 0 done or nothing found; 1 scan found something; 2 a repair\n"
         "or an undo failed, was not run, or what it wrote is not in place, or a\n"
         "user's settings could not be checked; 3010 done, restart needed; 5 fix or\n"
         "undo needs administrator rights; 87 bad arguments.\n";
}

namespace {

CliResult Run(const std::vector<std::string>& args, CliHost& host) {
  const bool jsonAsked = std::find(args.begin(), args.end(), "--json") != args.end();

  if (args.size() == 1 && args[0] == "--version") {
    CliResult r;
    r.out = "KorvaneCli " KORVANE_VERSION "\n";
    return r;
  }

  CLI::App app{"KorvaneCli"};
  app.set_help_flag();  // help is answered below, with the usage text
  app.require_subcommand(1, 1);
  app.fallthrough();
  bool json = false, quiet = false, dryRun = false, allUsers = false, noEventLog = false;
  std::vector<std::string> scanIds, fixIds;
  std::optional<std::string> backupDir, drive;
  app.add_flag("--json", json);
  app.add_flag("--quiet", quiet);
  app.add_subcommand("list");
  CLI::App* scan = app.add_subcommand("scan");
  scan->add_option("ids", scanIds);
  scan->add_flag("--all-users", allUsers);
  CLI::App* fix = app.add_subcommand("fix");
  fix->add_option("ids", fixIds)->required();
  fix->add_flag("--dry-run", dryRun);
  fix->add_option("--backup", backupDir);
  fix->add_option("--drive", drive);
  fix->add_flag("--all-users", allUsers);
  fix->add_flag("--no-event-log", noEventLog);
  std::string undoFile;
  CLI::App* undo = app.add_subcommand("undo");
  undo->add_option("file", undoFile)->required();

  if (std::find(args.begin(), args.end(), "--help") != args.end() ||
      std::find(args.begin(), args.end(), "-h") != args.end() ||
      std::find(args.begin(), args.end(), "-?") != args.end() || args.empty()) {
    CliResult r;
    r.exitCode = args.empty() ? kExitBadArguments : kExitOk;
    (args.empty() ? r.err : r.out) = UsageText();
    return r;
  }
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    return BadArguments(e.what(), jsonAsked);
  }

  // An empty variable in a fleet script turns "--backup $dir --json" into
  // "--backup --json": the next option would be taken as the folder.
  for (const auto& [name, value] :
       {std::pair{"--backup", &backupDir}, std::pair{"--drive", &drive}}) {
    if (*value && !(*value)->empty() && (**value)[0] == '-')
      return BadArguments(std::string(name) + " needs a value, not the option \"" + **value + "\"",
                          jsonAsked);
  }

  if (json && quiet) return BadArguments("--quiet and --json cannot go together", true);
  RunContext ctx;
  ctx.json = json;
  ctx.quiet = quiet;
  if (app.got_subcommand("list")) return ListCommand(ctx);

  Platform& system = host.system;
  if (app.got_subcommand("undo")) {
    if (!system.isElevated()) {
      const std::string message =
          "undo changes the system and needs administrator rights; run it from an elevated "
          "prompt (or as SYSTEM). Nothing was changed";
      CliResult r;
      r.exitCode = kExitNotElevated;
      r.err = "KorvaneCli: " + message + ".\n";
      if (json)
        r.out = Dump(Json{{"command", "undo"}, {"error", message}, {"exitCode", kExitNotElevated}});
      return r;
    }
    std::wstring path = FromUtf8(undoFile);
    if (host.fullPath) path = host.fullPath(path);
    return UndoCommand(path, system, ctx);
  }

  // Every argument must name something before anything runs.
  auto expand = [](const std::vector<std::string>& ids, std::vector<const Repair*>* out,
                   std::string* bad) {
    for (const std::string& id : ids) {
      auto named = ExpandRepairArgument(id);
      if (named.empty()) {
        *bad = id;
        return false;
      }
      out->insert(out->end(), named.begin(), named.end());
    }
    return true;
  };

  std::vector<const Repair*> chosen;
  std::string bad;
  // The users are found, and their hives loaded, only once the arguments are known
  // to be good and the run may go ahead; they are unloaded when `hives` ends.
  std::optional<UserHives> hives;
  auto prepare = [&](const std::vector<const Repair*>& repairs) {
    bool perUser = false;
    for (const Repair* r : repairs) perUser = perUser || IsPerUser(*r);
    if (allUsers && perUser) ctx.hives = &hives.emplace(system);
    ctx.systemOnly = !allUsers && perUser && system.processUserSid() == L"S-1-5-18";
  };
  if (app.got_subcommand("scan")) {
    if (scanIds.empty()) scanIds = {"assoc.*", "restriction.*"};
    if (!expand(scanIds, &chosen, &bad))
      return BadArguments("unknown repair id \"" + bad + "\"", json);
    std::vector<const Repair*> scannable;
    for (const Repair* r : chosen) {
      if (r->scannable()) {
        scannable.push_back(r);
      } else if (std::find(scanIds.begin(), scanIds.end(), r->id) != scanIds.end()) {
        return BadArguments(r->id + " cannot be scanned; only assoc.* and restriction.* can", json);
      }
    }
    if (scannable.empty()) return BadArguments("nothing there can be scanned", json);
    prepare(scannable);
    return ScanCommand(scannable, system, ctx);
  }

  if (!expand(fixIds, &chosen, &bad))
    return BadArguments("unknown repair id \"" + bad + "\"", json);
  FixOptions options;
  options.dryRun = dryRun;
  if (drive) {
    options.drive = DriveLetter(*drive);
    if (!options.drive) return BadArguments("--drive takes a drive letter, such as C", json);
  }
  for (const Repair* r : chosen) {
    if (r->id == "advanced.corrupted-recycle-bin" && !options.drive)
      return BadArguments(r->id + " empties a drive's Recycle Bin: name the drive with --drive",
                          json);
  }
  if (backupDir && dryRun)
    return BadArguments("--backup writes files; it cannot go with --dry-run", json);
  // Without elevation the repairs would fail part-way, some of their writes refused
  // and others done: nothing is tried at all.
  if (!dryRun && !system.isElevated()) {
    const std::string message =
        "fix changes the system and needs administrator rights; run it from an elevated "
        "prompt (or as SYSTEM). Nothing was changed; list, scan and fix --dry-run work "
        "without them";
    CliResult r;
    r.exitCode = kExitNotElevated;
    r.err = "KorvaneCli: " + message + ".\n";
    if (json)
      r.out = Dump(Json{{"command", "fix"}, {"error", message}, {"exitCode", kExitNotElevated}});
    return r;
  }
  if (backupDir) {
    options.backupDir = FromUtf8(*backupDir);
    if (host.fullPath) options.backupDir = host.fullPath(*options.backupDir);
    // A folder that is missing is made for administrators alone, as the window's
    // store is; one that is there keeps its DACL, and the digests recorded for every
    // file written keep an undo from importing anything else.
    if (!MakePrivateFolderPath(system, *options.backupDir)) {
      const std::string message = "cannot create the backup folder \"" + *backupDir + "\" (" +
                                  ToUtf8(system.lastErrorText()) + "); no repair was run";
      CliResult r;
      r.exitCode = kExitFailed;
      r.err = "KorvaneCli: " + Line(message) + ".\n";
      if (json)
        r.out = Dump(Json{{"command", "fix"}, {"error", message}, {"exitCode", kExitFailed}});
      return r;
    }
  }
  options.eventLog = !noEventLog;
  if (const auto sid = system.processUserSid()) {
    UserHive self;
    self.sid = *sid;
    self.account = system.accountName(*sid).value_or(L"");
    options.runBy = UserLabel(self);
  }
  prepare(chosen);
  if (ctx.hives) options.users = &ctx.hives->users();
  return FixCommand(chosen, system, options, ctx);
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& args, CliHost& host) {
  try {
    return Run(args, host);
  } catch (const std::exception& e) {
    // Only KorvaneCli's own failure goes to standard error; the repairs' failures
    // are reported on standard output and in the exit code.
    CliResult r;
    r.exitCode = kExitFailed;
    r.err = "KorvaneCli: unexpected error: " + Line(std::string(e.what())) + "\n";
    return r;
  }
}

}  // namespace korvane::cli
