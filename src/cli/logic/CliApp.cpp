#include "cli/logic/CliApp.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/logic/CliRepairs.h"
#include "cli/logic/CliRun.h"
#include "cli/logic/CliText.h"
#include "cli/logic/Describe.h"
#include "cli/logic/RegScript.h"
#include "KorvaneVersion.h"

namespace korvane::cli {
namespace {

using Json = nlohmann::ordered_json;

std::string U(const std::wstring& s) { return ToUtf8(s); }

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
  static const char* const actions[] = {
      "create-key",   "set-value",     "delete-value", "delete-key", "write-file", "delete-file",
      "replace-file", "delete-folder", "run",          "start",      "shell",      "restore-point"};
  Json j;
  j["action"] = actions[static_cast<int>(c.kind)];
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
  }
  if (c.viaImport) j["viaImport"] = true;
  return j;
}

Json DifferenceJson(const Difference& d) {
  static const char* const whats[] = {"missing-key", "unexpected-key", "missing-value",
                                      "unexpected-value", "wrong-value"};
  Json j;
  j["what"] = whats[static_cast<int>(d.what)];
  j["key"] = U(FullKeyName(d.root, d.path));
  const bool isValue =
      d.what != Difference::What::MissingKey && d.what != Difference::What::UnexpectedKey;
  if (isValue) j["name"] = U(d.name);
  if (d.expected) j["expected"] = DataJson(*d.expected);
  if (d.actual) j["actual"] = DataJson(*d.actual);
  return j;
}

Json RepairJson(const CliRepair& r) {
  Json j;
  j["id"] = r.id;
  j["page"] = U(r.page);
  if (!r.section.empty()) j["section"] = U(r.section);
  j["text"] = U(r.text);
  if (r.kind == RepairKind::FileType) j["type"] = U(r.detail);
  if (r.kind == RepairKind::Restriction) j["description"] = U(r.detail);
  return j;
}

std::string Dump(const Json& j) {
  return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

// ------------------------------------------------------------- plain text

std::string Pad(const std::string& s, size_t width) {
  return s.size() >= width ? s + " " : s + std::string(width - s.size(), ' ');
}

std::string PlainChange(const Change& c) {
  return (c.viaImport ? "      " : "    ") + U(DescribeChange(c)) + "\n";
}

// ---------------------------------------------------------------- commands

CliResult ListCommand(bool json) {
  CliResult r;
  if (json) {
    Json doc;
    doc["command"] = "list";
    doc["repairs"] = Json::array();
    for (const CliRepair& repair : CliRepairs()) doc["repairs"].push_back(RepairJson(repair));
    doc["exitCode"] = kExitOk;
    r.out = Dump(doc);
    return r;
  }
  size_t idWidth = 0, pageWidth = 0;
  for (const CliRepair& repair : CliRepairs()) {
    idWidth = std::max(idWidth, repair.id.size());
    pageWidth = std::max(pageWidth, U(repair.page).size());
  }
  for (const CliRepair& repair : CliRepairs()) {
    std::string text = U(repair.text);
    if (repair.kind == RepairKind::FileType) text = U(repair.detail) + ": " + text;
    r.out += Pad(repair.id, idWidth + 1) + Pad(U(repair.page), pageWidth + 1) + text + "\n";
  }
  return r;
}

CliResult ScanCommand(const std::vector<const CliRepair*>& scope, Platform& system, bool json) {
  const std::vector<ScanItem> items = ScanRepairs(scope, system);
  CliResult r;
  r.exitCode = ScanExitCode(items);
  std::size_t found = 0, restrictions = 0, fileTypes = 0;
  for (const ScanItem& item : items) {
    found += item.found ? 1 : 0;
    (item.repair->kind == RepairKind::Restriction ? restrictions : fileTypes) += 1;
  }
  if (json) {
    Json doc;
    doc["command"] = "scan";
    doc["found"] = found;
    doc["restrictions"] = Json::array();
    doc["fileTypes"] = Json::array();
    for (const ScanItem& item : items) {
      Json j;
      j["id"] = item.repair->id;
      j["text"] = U(item.repair->text);
      if (item.repair->kind == RepairKind::Restriction) {
        j["inForce"] = item.found;
        doc["restrictions"].push_back(j);
      } else {
        j["inPlace"] = !item.found;
        j["differences"] = Json::array();
        for (const Difference& d : item.differences) j["differences"].push_back(DifferenceJson(d));
        doc["fileTypes"].push_back(j);
      }
    }
    doc["exitCode"] = r.exitCode;
    r.out = Dump(doc);
    return r;
  }
  constexpr std::size_t kShown = 5;
  for (const ScanItem& item : items) {
    if (!item.found) continue;
    if (item.repair->kind == RepairKind::Restriction) {
      r.out += item.repair->id + ": in force (" + U(item.repair->text) + ")\n";
      continue;
    }
    r.out += item.repair->id + ": not as its script leaves it (" +
             std::to_string(item.differences.size()) + " differences)\n";
    for (std::size_t i = 0; i < item.differences.size() && i < kShown; ++i)
      r.out += "    " + U(DescribeDifference(item.differences[i])) + "\n";
    if (item.differences.size() > kShown)
      r.out += "    ... and " + std::to_string(item.differences.size() - kShown) + " more\n";
  }
  r.out += "Checked " + std::to_string(restrictions) + " restrictions and " +
           std::to_string(fileTypes) + " file types: " +
           (found ? std::to_string(found) + " found." : std::string("nothing found.")) + "\n";
  return r;
}

CliResult FixCommand(const std::vector<const CliRepair*>& repairs, Platform& system,
                     const FixOptions& options, bool json) {
  const std::vector<RepairReport> reports = FixRepairs(repairs, system, options);
  CliResult r;
  r.exitCode = FixExitCode(reports);
  bool restart = false;
  for (const RepairReport& rep : reports) restart = restart || rep.restartNeeded;
  if (json) {
    Json doc;
    doc["command"] = "fix";
    doc["dryRun"] = options.dryRun;
    doc["repairs"] = Json::array();
    for (const RepairReport& rep : reports) {
      Json j;
      j["id"] = rep.repair->id;
      j["text"] = U(rep.repair->text);
      j["status"] = U(StatusName(rep.status));
      if (!rep.failure.empty()) j["failure"] = U(rep.failure);
      j["restartNeeded"] = rep.restartNeeded;
      j["messages"] = Json::array();
      for (const ShownMessage& m : rep.messages)
        j["messages"].push_back({{"kind", U(MessageKind(m.flags))}, {"text", U(m.text)}});
      if (rep.backupPath) j["backup"] = U(*rep.backupPath);
      j["changes"] = Json::array();
      for (const Change& c : rep.changes) j["changes"].push_back(ChangeJson(c));
      j["unverified"] = Json::array();
      for (const Difference& d : rep.unverified) j["unverified"].push_back(DifferenceJson(d));
      doc["repairs"].push_back(j);
    }
    doc["restartNeeded"] = restart;
    doc["exitCode"] = r.exitCode;
    r.out = Dump(doc);
    return r;
  }
  for (const RepairReport& rep : reports) {
    r.out += rep.repair->id + ": " + U(rep.repair->text) + "\n";
    // The preview is the list of changes; a real run shows what went wrong instead.
    if (options.dryRun) {
      if (rep.changes.empty() && rep.status != RepairStatus::NotNeeded)
        r.out += "    (no changes)\n";
      for (const Change& c : rep.changes) r.out += PlainChange(c);
    }
    for (const ShownMessage& m : rep.messages)
      r.out += "  " + U(MessageKind(m.flags)) + ": " + U(m.text) +
               ((m.flags & 0x0F) == kMbYesNo ? (m.answer == kIdYes ? " -> yes" : " -> no") : "") +
               "\n";
    if (rep.backupPath) r.out += "  backup: " + U(*rep.backupPath) + "\n";
    for (const Difference& d : rep.unverified)
      r.out += "  not in place: " + U(DescribeDifference(d)) + "\n";
    if (!rep.failure.empty()) r.out += "  failed: " + U(rep.failure) + "\n";
    std::string status = U(StatusName(rep.status));
    if (rep.status == RepairStatus::NotNeeded) status = "nothing to do (not in force)";
    if (rep.status == RepairStatus::Previewed) status = "preview only, nothing was changed";
    if (rep.restartNeeded) status += ", restart needed";
    r.out += "  result: " + status + "\n";
  }
  return r;
}

CliResult BadArguments(const std::string& message, bool json) {
  CliResult r;
  r.exitCode = kExitBadArguments;
  r.err = "KorvaneCli: " + message + "\n\n" + UsageText();
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
         "  KorvaneCli list [--json]\n"
         "  KorvaneCli scan [ID...] [--json]\n"
         "  KorvaneCli fix ID... [--dry-run] [--backup DIR] [--drive LETTER] [--json]\n"
         "  KorvaneCli --version\n"
         "\n"
         "  list       every repair with its id, page and row text\n"
         "  scan       restrictions in force and file types not as their scripts leave\n"
         "             them (all of them, or the ids given)\n"
         "  fix        runs the repairs in the order given\n"
         "  --dry-run  changes nothing; prints every change the repairs would make\n"
         "  --backup   first writes DIR\\ID.reg for each repair; reg import undoes it\n"
         "  --drive    the drive of advanced.corrupted-recycle-bin (its items are deleted)\n"
         "  --json     one JSON document instead of lines\n"
         "\n"
         "An ID is one repair (see list) or PAGE.* for all of a page: assoc.*,\n"
         "restriction.*, advanced.*, task.*.\n"
         "\n"
         "Exit codes: 0 done or nothing found; 1 scan found something; 2 a repair\n"
         "failed or what it wrote is not in place; 3010 done, restart needed;\n"
         "87 bad arguments.\n";
}

CliResult RunCli(const std::vector<std::string>& args, CliHost& host) {
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
  bool json = false, dryRun = false;
  std::vector<std::string> scanIds, fixIds;
  std::optional<std::string> backupDir, drive;
  app.add_flag("--json", json);
  app.add_subcommand("list");
  CLI::App* scan = app.add_subcommand("scan");
  scan->add_option("ids", scanIds);
  CLI::App* fix = app.add_subcommand("fix");
  fix->add_option("ids", fixIds)->required();
  fix->add_flag("--dry-run", dryRun);
  fix->add_option("--backup", backupDir);
  fix->add_option("--drive", drive);

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

  if (app.got_subcommand("list")) return ListCommand(json);

  // Every argument must name something before anything runs.
  auto expand = [](const std::vector<std::string>& ids, std::vector<const CliRepair*>* out,
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

  Platform& system = host.system;
  std::vector<const CliRepair*> chosen;
  std::string bad;
  if (app.got_subcommand("scan")) {
    if (scanIds.empty()) scanIds = {"assoc.*", "restriction.*"};
    if (!expand(scanIds, &chosen, &bad))
      return BadArguments("unknown repair id \"" + bad + "\"", json);
    std::vector<const CliRepair*> scannable;
    for (const CliRepair* r : chosen) {
      if (r->scannable()) {
        scannable.push_back(r);
      } else if (std::find(scanIds.begin(), scanIds.end(), r->id) != scanIds.end()) {
        return BadArguments(r->id + " cannot be scanned; only assoc.* and restriction.* can", json);
      }
    }
    if (scannable.empty()) return BadArguments("nothing there can be scanned", json);
    return ScanCommand(scannable, system, json);
  }

  if (!expand(fixIds, &chosen, &bad))
    return BadArguments("unknown repair id \"" + bad + "\"", json);
  FixOptions options;
  options.dryRun = dryRun;
  if (drive) {
    options.drive = DriveLetter(*drive);
    if (!options.drive) return BadArguments("--drive takes a drive letter, such as C", json);
  }
  for (const CliRepair* r : chosen) {
    if (r->id == "advanced.corrupted-recycle-bin" && !options.drive)
      return BadArguments(r->id + " empties a drive's Recycle Bin: name the drive with --drive",
                          json);
  }
  if (backupDir) {
    if (dryRun) return BadArguments("--backup writes files; it cannot go with --dry-run", json);
    options.backupDir = FromUtf8(*backupDir);
    if (host.fullPath) options.backupDir = host.fullPath(*options.backupDir);
    if (!host.makeDirectory || !host.makeDirectory(*options.backupDir)) {
      const std::string message =
          "cannot create the backup folder \"" + *backupDir + "\"; no repair was run";
      CliResult r;
      r.exitCode = kExitFailed;
      r.err = "KorvaneCli: " + message + ".\n";
      if (json)
        r.out = Dump(Json{{"command", "fix"}, {"error", message}, {"exitCode", kExitFailed}});
      return r;
    }
  }
  return FixCommand(chosen, system, options, json);
}

}  // namespace korvane::cli
