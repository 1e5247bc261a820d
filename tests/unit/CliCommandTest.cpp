// KorvaneCli's commands on the fake: exit codes, the preview that changes nothing,
// the read-back after a repair, the scan, and output instead of message boxes.
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "KorvaneVersion.h"
#include "changes/Describe.h"
#include "changes/OverlayPlatform.h"
#include "cli/logic/CliRun.h"
#include "common/Registry.h"
#include "fileassoc/Unit_FORMLAIN_Korvane.h"

namespace korvane {
namespace {

using cli::RepairStatus;
using testing::CliTest;
using Json = nlohmann::json;

const std::wstring kSystemPolicies =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::wstring kExplorer = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer";

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CliExitCodeTest, MapsOutcomesToTheCodesFleetsActOn) {
  using O = cli::Outcome;
  const struct {
    const char* what;
    std::vector<O> outcomes;
    int code;
  } cases[] = {
      {"nothing run", {}, 0},
      {"done", {{RepairStatus::Done, false}}, 0},
      {"nothing needed", {{RepairStatus::NotNeeded, false}}, 0},
      {"previewed, even a restart repair", {{RepairStatus::Previewed, true}}, 0},
      {"done, restart needed", {{RepairStatus::Done, false}, {RepairStatus::Done, true}}, 3010},
      {"restart repair not needed", {{RepairStatus::NotNeeded, true}}, 0},
      {"failed", {{RepairStatus::Done, false}, {RepairStatus::Failed, false}}, 2},
      {"failure outranks restart", {{RepairStatus::Done, true}, {RepairStatus::Failed, false}}, 2},
      {"unverified", {{RepairStatus::Unverified, true}}, 2},
      {"failed preview", {{RepairStatus::Previewed, false}, {RepairStatus::Failed, false}}, 2},
  };
  for (const auto& c : cases) EXPECT_EQ(cli::FixExitCode(c.outcomes), c.code) << c.what;

  const Repair* r = FindRepair("restriction.task-manager");
  EXPECT_EQ(cli::ScanExitCode({}), 0);
  EXPECT_EQ(cli::ScanExitCode({{r, false, {}}, {r, false, {}}}), 0);
  EXPECT_EQ(cli::ScanExitCode({{r, false, {}}, {r, true, {}}}), 1);
}

class CliCommandTest : public CliTest {};

TEST_F(CliCommandTest, BadArgumentsExitWith87AndTheUsageAndChangeNothing) {
  fake().setDword(HKCU, kSystemPolicies, L"DisableTaskMgr", 1);
  const std::wstring before = allHives();
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"repair"},
      {"fix"},
      {"fix", "advanced.nonsense"},
      {"fix", "restriction.task-manager", "--unknown"},
      {"fix", "advanced.corrupted-recycle-bin"},  // would need --drive
      {"fix", "advanced.*"},                      // the same, through the pattern
      {"fix", "advanced.corrupted-recycle-bin", "--drive", "CD"},
      {"fix", "restriction.task-manager", "--dry-run", "--backup", "C:\\B"},
      {"fix", "restriction.task-manager", "--backup"},
      {"scan", "advanced.thumbnails"},
      {"scan", "nothing.*"},
      {"scan", "task.*"},
      {"list", "extra"},
  };
  for (const auto& args : cases) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    const cli::CliResult r = run(args);
    EXPECT_EQ(r.exitCode, 87) << joined;
    EXPECT_TRUE(Has(r.err, "Usage:")) << joined;
    EXPECT_TRUE(r.out.empty()) << joined;
  }
  EXPECT_EQ(allHives(), before);
  EXPECT_TRUE(fake().launches().empty());

  // With --json the error is also a document.
  const Json doc = runJson({"fix", "nope"});
  EXPECT_EQ(doc["exitCode"], 87);
  EXPECT_TRUE(Has(doc["error"].get<std::string>(), "nope"));

  const cli::CliResult help = run({"fix", "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Has(help.out, "Usage:"));
}

TEST_F(CliCommandTest, VersionPrintsTheBuildsVersionAndTouchesNothing) {
  const std::wstring before = allHives();
  const cli::CliResult r = run({"--version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, std::string("KorvaneCli ") + KORVANE_VERSION + "\n");
  EXPECT_TRUE(r.err.empty());
  EXPECT_EQ(allHives(), before);
  // After a command it is not a known option of that command.
  EXPECT_EQ(run({"list", "--version"}).exitCode, 87);
}

TEST_F(CliCommandTest, AnOptionIsNeverTakenAsTheValueOfTheOneBefore) {
  fake().setDword(HKCU, kSystemPolicies, L"DisableTaskMgr", 1);
  const std::wstring before = allHives();
  const size_t filesBefore = fake().filesUnder(L"C:\\").size();
  const std::vector<std::vector<std::string>> cases = {
      {"fix", "restriction.task-manager", "--backup", "--json"},
      {"fix", "restriction.task-manager", "--backup", "--dry-run"},
      {"fix", "restriction.task-manager", "--backup", "-q"},
      {"fix", "restriction.task-manager", "--backup=--json"},
      {"fix", "advanced.corrupted-recycle-bin", "--drive", "--json"},
      {"fix", "advanced.corrupted-recycle-bin", "--drive", "-C"},
  };
  for (const auto& args : cases) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    cli::CliHost host{fake(), nullptr};
    const cli::CliResult r = cli::RunCli(args, host);
    EXPECT_EQ(r.exitCode, 87) << joined;
    EXPECT_TRUE(Has(r.err, "needs a value, not the option")) << joined << r.err;
    EXPECT_TRUE(Has(r.err, "Usage:")) << joined;
  }
  EXPECT_EQ(fake().filesUnder(L"C:\\").size(), filesBefore);
  EXPECT_EQ(allHives(), before);
  EXPECT_TRUE(fake().launches().empty());
  // The error is a JSON document when --json was asked for, even as the swallowed value.
  const Json doc = Json::parse(run({"fix", "assoc.txt", "--backup", "--json"}).out);
  EXPECT_EQ(doc["exitCode"], 87);
}

TEST_F(CliCommandTest, OnlyARealFixNeedsAnElevatedProcess) {
  fake().setDword(HKCU, kSystemPolicies, L"DisableTaskMgr", 1);
  const std::wstring before = allHives();
  const struct {
    std::vector<std::string> args;
    bool elevated;
    int exitCode;
  } cases[] = {
      {{"list"}, false, 0},
      {{"scan", "restriction.task-manager"}, false, 1},
      {{"fix", "restriction.task-manager", "--dry-run"}, false, 0},
      {{"fix", "restriction.task-manager"}, false, 5},
      {{"fix", "restriction.task-manager", "--backup", "C:\\Undo"}, false, 5},
      {{"fix", "advanced.*", "--drive", "C"}, false, 5},
      {{"fix", "nonsense"}, false, 87},  // bad arguments are reported first
      {{"fix", "restriction.task-manager"}, true, 0},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    fake().elevated = c.elevated;
    cli::CliHost host{fake(), nullptr};
    const cli::CliResult r = cli::RunCli(c.args, host);
    EXPECT_EQ(r.exitCode, c.exitCode) << joined << r.out << r.err;
    if (c.exitCode == 5) {
      EXPECT_TRUE(Has(r.err, "needs administrator rights")) << joined;
      EXPECT_TRUE(Has(r.err, "Nothing was changed")) << joined;
      EXPECT_TRUE(r.out.empty()) << joined;
      EXPECT_EQ(allHives(), before) << joined;
      EXPECT_FALSE(fake().directoryExists(L"C:\\Undo")) << joined;
      EXPECT_TRUE(fake().launches().empty()) << joined;
    }
  }
  EXPECT_FALSE(fake().value(HKCU, kSystemPolicies, L"DisableTaskMgr").has_value());
  fake().elevated = false;
  EXPECT_EQ(runJson({"fix", "restriction.task-manager"})["exitCode"], 5);
}

TEST_F(CliCommandTest, ListGivesEveryRepairAStableId) {
  const Json doc = runJson({"list"});
  EXPECT_EQ(last.exitCode, 0);
  std::set<std::string> ids;
  std::map<std::string, int> perPage;
  for (const auto& r : doc["repairs"]) {
    const std::string id = r["id"];
    EXPECT_TRUE(std::regex_match(id, std::regex("(assoc|restriction|advanced|task)\\.[a-z0-9-]+")))
        << id;
    EXPECT_TRUE(ids.insert(id).second) << "twice: " << id;
    EXPECT_FALSE(r["text"].get<std::string>().empty()) << id;
    ++perPage[r["page"]];
  }
  EXPECT_EQ(perPage["File Associations Fixer"], 26);
  EXPECT_EQ(perPage["Restriction Fixer"], 34);
  EXPECT_EQ(perPage["Advanced"], 29);
  EXPECT_EQ(perPage["Home"], 3);
  for (const char* id : {"assoc.bat",
                         "assoc.exe",
                         "assoc.drive",
                         "assoc.directory",
                         "assoc.folder",
                         "restriction.task-manager",
                         "restriction.control-panel",
                         "restriction.control-panel-item",
                         "advanced.explorer-shell",
                         "advanced.thumbnails",
                         "advanced.corrupted-recycle-bin",
                         "advanced.group-policy",
                         "advanced.windows-update",
                         "advanced.store-cache",
                         "advanced.icon-cache",
                         "advanced.print-queue",
                         "advanced.search-index",
                         "advanced.wmi-repository",
                         "task.sfc",
                         "task.dism",
                         "task.restore-point"})
    EXPECT_TRUE(ids.count(id)) << id;
}

// Set-up shared by the preview tests: something for many repairs to change.
void Furnish(fake::FakePlatform& f) {
  f.setDword(HKCU, kSystemPolicies, L"DisableTaskMgr", 1);
  f.setString(HKCR, L".bat", L"", L"old");
  f.setString(HKCR, L".bat", L"Foreign", L"x", kRegExpandSz);
  f.setString(HKCR, L"batfile\\shell\\Custom\\command", L"", L"custom.exe");
  f.setString(HKLM, kExplorer + L"\\DriveIcons\\C\\DefaultIcon", L"", L"c.ico");
  f.setString(HKCU, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.exe",
              L"Progid", L"evil");
  f.setDword(HKLM, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SystemRestore",
             L"SystemRestorePointCreationFrequency", 1440);
  f.setDword(HKLM, L"SYSTEM\\CurrentControlSet\\Services\\WSearch", L"Start", 4);
  f.createKey(HKLM, L"SOFTWARE\\Microsoft\\Windows Search");
  f.addDirectory(L"C:\\Windows\\System32\\drivers");
  f.addDirectory(L"C:\\Windows\\System32\\drivers\\etc");
  f.addTextFile(L"C:\\Windows\\System32\\drivers\\etc\\hosts", "10.0.0.1 planted\r\n");
  f.addDirectory(L"C:\\$Recycle.Bin");
  f.addTextFile(L"C:\\$Recycle.Bin\\item", "x");
  f.resources[L"RESTARTEXPLORER"] = {'M', 'Z', 0};
}

const std::vector<std::string> kManyRepairs = {"assoc.bat",
                                               "assoc.exe",
                                               "restriction.task-manager",
                                               "advanced.drive-icons",
                                               "advanced.hosts-file",
                                               "advanced.corrupted-recycle-bin",
                                               "advanced.windows-search",
                                               "advanced.file-folder-properties",
                                               "task.restore-point",
                                               "task.sfc"};

TEST_F(CliCommandTest, ADryRunLeavesTheRegistryAndFilesExactlyAsTheyWere) {
  Furnish(fake());
  installRegExe();
  const std::wstring before = allHives();

  std::vector<std::string> args = {"fix"};
  args.insert(args.end(), kManyRepairs.begin(), kManyRepairs.end());
  args.insert(args.end(), {"--dry-run", "--drive", "C"});
  last = run(args);

  EXPECT_EQ(last.exitCode, 0) << last.out;
  EXPECT_EQ(allHives(), before);
  EXPECT_EQ(fake().fileText(L"C:\\Windows\\System32\\drivers\\etc\\hosts"), "10.0.0.1 planted\r\n");
  EXPECT_TRUE(fake().fileExists(L"C:\\$Recycle.Bin\\item"));
  EXPECT_TRUE(fake().filesUnder(L"C:\\Temp").empty());
  EXPECT_TRUE(fake().launches().empty());
  EXPECT_TRUE(fake().restorePoints.empty());
  EXPECT_TRUE(fake().messages().empty());
  // The preview names each kind of change, in the order the repairs would make them.
  for (const char* line :
       {"delete key     HKEY_CLASSES_ROOT\\.bat\n", "create key     HKEY_CLASSES_ROOT\\.bat\n",
        "run            reg.exe import C:\\Temp\\BAT.reg\n",
        "delete value   HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\"
        "System  \"DisableTaskMgr\"\n",
        "delete key     "
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
        "DriveIcons\n",
        "replace file   C:\\Windows\\System32\\drivers\\etc\\hosts with "
        "C:\\Windows\\System32\\drivers\\etc\\hosts.korvane-new\n",
        "delete folder  C:\\$Recycle.Bin\n", "run            net stop WSearch /Y\n",
        "restore point  \"Created by Korvane\"\n", "run            sfc /scannow\n",
        "question: All items on the Recycle Bin will be deleted, do you want to continue? -> yes\n",
        "result: preview only, nothing was changed\n"})
    EXPECT_TRUE(Has(last.out, line)) << line << "\n---\n" << last.out;
  EXPECT_LT(last.out.find("delete key     HKEY_CLASSES_ROOT\\.bat\n"),
            last.out.find("create key     HKEY_CLASSES_ROOT\\.bat\n"));
}

// With --backup a repair runs only after its preview succeeded, so a gap in the
// preview layer would keep a repair from ever running with an undo file.
TEST_F(CliCommandTest, EveryRepairCanBePreviewed) {
  Furnish(fake());
  installRegExe();
  const Json doc = runJson(
      {"fix", "assoc.*", "restriction.*", "advanced.*", "task.*", "--dry-run", "--drive", "C"});
  EXPECT_EQ(last.exitCode, 0);
  ASSERT_EQ(doc["repairs"].size(), 92u);
  for (const auto& r : doc["repairs"]) {
    const bool restriction = r["id"].get<std::string>().rfind("restriction.", 0) == 0;
    EXPECT_EQ(r["status"],
              restriction && r["id"] != "restriction.task-manager" ? "not-needed" : "preview")
        << r.dump(1);
  }
}

TEST_F(CliCommandTest, ThePreviewIsWhatTheRealRunThenDoes) {
  Furnish(fake());
  installRegExe();
  std::vector<std::string> args = {"fix"};
  args.insert(args.end(), kManyRepairs.begin(), kManyRepairs.end());
  args.insert(args.end(), {"--drive", "C"});
  std::vector<std::string> dryArgs = args;
  dryArgs.push_back("--dry-run");

  const Json preview = runJson(dryArgs);
  const Json real = runJson(args);
  ASSERT_EQ(preview["repairs"].size(), real["repairs"].size());
  for (size_t i = 0; i < real["repairs"].size(); ++i) {
    const auto& p = preview["repairs"][i];
    const auto& r = real["repairs"][i];
    EXPECT_FALSE(p["changes"].empty()) << p["id"];
    EXPECT_EQ(p["changes"], r["changes"]) << p["id"];
  }
}

TEST_F(CliCommandTest, ARepairIsDoneOnlyWhenWhatItWroteReadsBack) {
  // Wine's reg.exe widens each byte of hex(2) data in a single-byte script: the
  // import "works" but leaves "%" where a path was.
  installRegExe([](RegOp& op) {
    if (op.kind == RegOpKind::SetValue && op.data.type == kRegExpandSz)
      op.data.bytes = WideToRegBytes(std::wstring(1, static_cast<wchar_t>(op.data.bytes.at(0))));
  });
  const Json doc = runJson({"fix", "assoc.bat"});
  EXPECT_EQ(last.exitCode, 2);
  const auto& repair = doc["repairs"][0];
  EXPECT_EQ(repair["status"], "unverified");
  EXPECT_EQ(repair["messages"][0]["text"], "Done!");
  ASSERT_FALSE(repair["unverified"].empty());
  bool friendlyName = false;
  for (const auto& d : repair["unverified"]) {
    EXPECT_EQ(d["what"], "wrong-value");
    EXPECT_EQ(d["expected"]["type"], "REG_EXPAND_SZ");
    friendlyName = friendlyName ||
                   (d["key"] == "HKEY_CLASSES_ROOT\\batfile" && d["name"] == "FriendlyTypeName");
  }
  EXPECT_TRUE(friendlyName);

  // A faithful import is done.
  installRegExe();
  EXPECT_EQ(runJson({"fix", "assoc.bat"})["repairs"][0]["status"], "done");
  EXPECT_EQ(last.exitCode, 0);
}

TEST_F(CliCommandTest, StatusesAndExitCodesOfRealRuns) {
  fake().setDword(HKCU, kSystemPolicies, L"DisableTaskMgr", 1);
  const struct {
    const char* what;
    std::vector<std::string> ids;
    std::function<void(fake::FakePlatform&)> setUp;
    std::vector<std::string> statuses;
    int exitCode;
  } cases[] = {
      {"a restriction lifted", {"restriction.task-manager"}, nullptr, {"done"}, 0},
      {"not in force any more", {"restriction.task-manager"}, nullptr, {"not-needed"}, 0},
      {"an Advanced repair", {"advanced.thumbnails"}, nullptr, {"done"}, 3010},
      {"stops silently at a refused write",
       {"advanced.thumbnails", "advanced.file-folder-properties"},
       [](fake::FakePlatform& f) {
         f.denyWrites(HKCR, L"*\\shellex\\ContextMenuHandlers\\Sharing");
       },
       {"done", "failed"},
       2},
      {"raises",
       {"advanced.explorer-shell"},
       [](fake::FakePlatform& f) {
         f.denyWrites(HKLM, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
       },
       {"failed"},
       2},
      {"shows an error",
       {"task.restore-point"},
       [](fake::FakePlatform& f) {
         f.restorePointFailure = ComFailure{-1, L"", L"Not implemented."};
       },
       {"failed"},
       2},
      {"a Home task", {"task.dism"}, nullptr, {"done"}, 0},
  };
  for (const auto& c : cases) {
    if (c.setUp) c.setUp(fake());
    std::vector<std::string> args = {"fix"};
    args.insert(args.end(), c.ids.begin(), c.ids.end());
    const Json doc = runJson(args);
    EXPECT_EQ(last.exitCode, c.exitCode) << c.what << "\n" << last.out;
    std::vector<std::string> statuses;
    for (const auto& r : doc["repairs"]) statuses.push_back(r["status"]);
    EXPECT_EQ(statuses, c.statuses) << c.what;
  }
  // Every text went to the output; no box was ever shown.
  EXPECT_TRUE(fake().messages().empty());
  EXPECT_FALSE(fake().value(HKCU, kSystemPolicies, L"DisableTaskMgr").has_value());
}

// A tool that cannot start or a folder that cannot be deleted is a failed repair
// with its reason, never "done" or "restart needed".  A missing tool shows in a
// preview as well; a file in use only when the deletion is really tried.
TEST_F(CliCommandTest, AMissingToolOrAnUndeletableFolderFailsTheRepair) {
  const struct {
    const char* id;
    std::function<void(fake::FakePlatform&)> breakIt;
    const char* failure;
    bool previewSeesIt = true;
  } cases[] = {
      {"task.sfc", [](fake::FakePlatform& f) { f.deleteFile(L"C:\\Windows\\System32\\sfc.exe"); },
       "Cannot run \"sfc\". The system cannot find the file specified."},
      {"advanced.group-policy",
       [](fake::FakePlatform& f) { f.deleteFile(L"C:\\Windows\\System32\\gpupdate.exe"); },
       "Cannot run \"gpupdate\". The system cannot find the file specified."},
      {"advanced.hibernate-option",
       [](fake::FakePlatform& f) { f.deleteFile(L"C:\\Windows\\System32\\powercfg.exe"); },
       "Cannot run \"powercfg\". The system cannot find the file specified."},
      {"advanced.corrupted-recycle-bin",
       [](fake::FakePlatform& f) {
         f.addDirectory(L"C:\\$Recycle.Bin");
         f.addTextFile(L"C:\\$Recycle.Bin\\in-use", "x");
         Handle busy = 0;
         std::vector<std::uint8_t> bytes;
         f.lockFile(L"C:\\$Recycle.Bin\\in-use", &busy, &bytes);
       },
       "Cannot delete folder \"C:\\$Recycle.Bin\". The process cannot access the file because "
       "it is being used by another process.",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    fake::ScopedFakePlatform sys;
    c.breakIt(*sys);
    for (const bool dryRun : {true, false}) {
      if (dryRun && !c.previewSeesIt) continue;
      std::vector<std::string> args = {"fix", c.id, "--drive", "C", "--json"};
      if (dryRun) args.push_back("--dry-run");
      cli::CliHost host{*sys, nullptr};
      const cli::CliResult result = cli::RunCli(args, host);
      EXPECT_EQ(result.exitCode, 2) << result.out;
      const Json doc = Json::parse(result.out);
      ASSERT_EQ(doc["repairs"].size(), 1u);
      EXPECT_EQ(doc["repairs"][0]["status"], "failed");
      EXPECT_EQ(doc["repairs"][0]["failure"], c.failure);
    }
  }
}

TEST_F(CliCommandTest, TheRecycleBinDriveComesFromTheCommandLine) {
  fake().addDirectory(L"C:\\$Recycle.Bin");
  fake().addTextFile(L"C:\\$Recycle.Bin\\item", "x");
  last = run({"fix", "advanced.corrupted-recycle-bin", "--drive", "c:"});
  EXPECT_EQ(last.exitCode, 3010) << last.out;
  EXPECT_FALSE(fake().directoryExists(L"C:\\$Recycle.Bin"));
  EXPECT_TRUE(Has(last.out, "do you want to continue? -> yes"));
  EXPECT_TRUE(fake().messages().empty());

  // A drive that is not there ends the repair without a word: that is no success.
  last = run({"fix", "advanced.corrupted-recycle-bin", "--drive", "Q"});
  EXPECT_EQ(last.exitCode, 2);
  EXPECT_TRUE(Has(last.out, "failed: The repair stopped before its end"));
}

TEST(CliTextTest, PlainLinesEscapeControlCharactersAndNothingElse) {
  const struct {
    std::wstring text;
    std::wstring shown;
  } cases[] = {
      {L"C:\\Users\\Ann Lee\\x.reg \"q\" \u00e9\u4e2d",
       L"C:\\Users\\Ann Lee\\x.reg \"q\" \u00e9\u4e2d"},
      {L"one\r\ntwo", L"one\\r\\ntwo"},
      {L"a\tb", L"a\\tb"},
      {L"\x1b[2Jclear", L"\\x1b[2Jclear"},
      {std::wstring(L"nul\0inside", 10), L"nul\\x00inside"},
      {L"\x7f\x85\x9f\xa0", L"\\x7f\\x85\\x9f\xa0"},
      {L"para\u2029line\u2028", L"para\\u2029line\\u2028"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeControls(c.text), c.shown) << ToUtf8(c.shown);
}

TEST_F(CliCommandTest, RegistryDataCannotForgeLinesOfPlainOutput) {
  installRegExe();
  ASSERT_EQ(run({"fix", "assoc.txt"}).exitCode, 0);
  const std::wstring forged =
      L"x\r\nassoc.txt: in place, nothing to do\r\nChecked 34 restrictions and 1 file types: "
      L"nothing found.";
  fake().setString(HKCR, L".txt", L"Foreign\nname", forged);

  last = run({"scan", "assoc.txt"});
  EXPECT_EQ(last.exitCode, 1);
  int checkedLines = 0;
  for (size_t start = 0, end; start < last.out.size(); start = end + 1) {
    end = last.out.find('\n', start);
    const std::string line = last.out.substr(start, end - start);
    EXPECT_EQ(line.find('\r'), std::string::npos) << line;
    EXPECT_NE(line, "assoc.txt: in place, nothing to do");
    checkedLines += line.rfind("Checked ", 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(checkedLines, 1) << last.out;
  EXPECT_TRUE(Has(last.out, "\"Foreign\\nname\" = REG_SZ \"x\\r\\nassoc.txt: in place"))
      << last.out;

  // JSON carries the data as it is; its own escaping keeps it inside the string.
  const Json doc = runJson({"scan", "assoc.txt"});
  const auto& d = doc["fileTypes"][0]["differences"][0];
  EXPECT_EQ(d["name"], "Foreign\nname");
  EXPECT_EQ(d["actual"]["data"], ToUtf8(forged));
}

TEST_F(CliCommandTest, ScanFindsRestrictionsInForce) {
  fake().setDword(HKCU, kSystemPolicies, L"DisableTaskMgr", 1);
  fake().setDword(HKLM, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                  L"NoDispCPL", 1);  // the first of two places
  Json doc = runJson({"scan", "restriction.*"});
  EXPECT_EQ(last.exitCode, 1);
  std::vector<std::string> inForce;
  for (const auto& r : doc["restrictions"])
    if (r["inForce"]) inForce.push_back(r["id"]);
  EXPECT_EQ(inForce,
            (std::vector<std::string>{"restriction.task-manager", "restriction.display-settings"}));
  EXPECT_EQ(doc["restrictions"].size(), 34u);
  EXPECT_TRUE(doc["fileTypes"].empty());

  EXPECT_EQ(run({"scan", "restriction.registry-editor"}).exitCode, 0);
  EXPECT_EQ(run({"scan", "restriction.task-manager"}).exitCode, 1);
  EXPECT_EQ(run({"fix", "restriction.task-manager"}).exitCode, 0);
  EXPECT_EQ(run({"scan", "restriction.task-manager"}).exitCode, 0);
  last = run({"scan", "restriction.*"});
  EXPECT_EQ(last.exitCode, 1);
  EXPECT_TRUE(Has(last.out, "restriction.display-settings: in force (Display Settings)\n"));
  EXPECT_FALSE(Has(last.out, "task-manager"));
}

TEST_F(CliCommandTest, ScanComparesEachFileTypeWithWhatItsScriptLeaves) {
  installRegExe();
  ASSERT_EQ(run({"fix", "assoc.bat", "assoc.exe"}).exitCode, 0);
  EXPECT_EQ(run({"scan", "assoc.bat", "assoc.exe"}).exitCode, 0);

  const struct {
    const char* what;
    std::function<void(fake::FakePlatform&)> change;
    std::string difference;
    std::string key;
  } cases[] = {
      {"a value the script removes",
       [](fake::FakePlatform& f) { f.setString(HKCR, L".bat", L"Foreign", L"x"); },
       "unexpected-value", "HKEY_CLASSES_ROOT\\.bat"},
      {"a key the script removes",
       [](fake::FakePlatform& f) { f.createKey(HKCR, L"batfile\\shell\\Custom"); },
       "unexpected-key", "HKEY_CLASSES_ROOT\\batfile\\shell\\Custom"},
      {"a changed value",
       [](fake::FakePlatform& f) { f.setValue(HKCR, L"batfile", L"EditFlags", kRegBinary, {1}); },
       "wrong-value", "HKEY_CLASSES_ROOT\\batfile"},
      {"a missing value",
       [](fake::FakePlatform& f) {
         Handle h = 0;
         f.regOpenKey(HKCR, L"batfile\\shell\\runas", kKeyAllAccess, &h);
         f.regDeleteValue(h, L"HasLUAShield");
         f.regCloseKey(h);
       },
       "missing-value", "HKEY_CLASSES_ROOT\\batfile\\shell\\runas"},
      {"a missing key",
       [](fake::FakePlatform& f) { f.regDeleteTree(HKCR, L"batfile\\DefaultIcon"); }, "missing-key",
       "HKEY_CLASSES_ROOT\\batfile\\DefaultIcon"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(run({"fix", "assoc.bat"}).exitCode, 0) << c.what;
    c.change(fake());
    const Json doc = runJson({"scan", "assoc.bat"});
    EXPECT_EQ(last.exitCode, 1) << c.what;
    const auto& differences = doc["fileTypes"][0]["differences"];
    ASSERT_EQ(differences.size(), 1u) << c.what << "\n" << differences.dump(1);
    EXPECT_EQ(differences[0]["what"], c.difference) << c.what;
    EXPECT_EQ(differences[0]["key"], c.key) << c.what;
  }

  // The .exe row also holds the user's own choice against it, as its repair removes it.
  fake().setString(HKCU, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.exe",
                   L"Progid", L"evil");
  const Json exe = runJson({"scan", "assoc.exe"});
  EXPECT_EQ(last.exitCode, 1);
  EXPECT_EQ(exe["fileTypes"][0]["differences"][0]["what"], "unexpected-key");

  // Without ids: every restriction and every file type.
  const Json all = runJson({"scan"});
  EXPECT_EQ(all["restrictions"].size(), 34u);
  EXPECT_EQ(all["fileTypes"].size(), 26u);
}

std::vector<std::wstring> Described(const std::vector<Difference>& differences) {
  std::vector<std::wstring> out;
  for (const auto& d : differences) out.push_back(DescribeDifference(d));
  return out;
}

// The scan presses a row's button on a preview layer.  The reference works out
// what the button leaves behind from the row's script alone, with the .exe row's
// direct repair first.  Both must find the same differences, whatever the
// registry holds.
TEST_F(CliCommandTest, ScanOfEachFileTypeFindsWhatAPreviewOfItsButtonWouldChange) {
  auto reference = [this](const FileTypeRow& row) {
    ExpectedRegistry expected;
    if (std::wstring(row.typeCode) == L"EXE") {
      OverlayPlatform preview(fake());
      {
        cli::HeadlessPlatform ui(preview, std::nullopt);
        SysScope scope(ui);
        FixExeAssociation();
      }
      expected.applyAll(preview.journal());
    }
    expected.applyScript(ParseRegScript(*FORM_LAIN().byName(row.payload)).ops);
    return Described(expected.compare(fake()));
  };
  const struct {
    const char* what;
    std::function<void()> prepare;
  } states[] = {
      {"nothing there", [] {}},
      {"some of it there", [this] { Furnish(fake()); }},
      {"repaired, then changed",
       [this] {
         installRegExe();
         ASSERT_EQ(run({"fix", "assoc.*"}).exitCode, 0);
         fake::FakePlatform& f = fake();
         f.setString(HKCR, L".bat", L"Foreign", L"x");
         f.regDeleteTree(HKCR, L"batfile\\DefaultIcon");
         f.setString(HKCR, L"SystemFileAssociations\\Folder\\shell\\Custom", L"", L"x");
         f.regDeleteTree(HKCR, L"Directory\\shell");
         f.setValue(HKCR, L"exefile", L"EditFlags", kRegBinary, {1});
         f.setString(HKCU,
                     L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.exe",
                     L"Progid", L"evil");
       }},
  };
  for (const auto& state : states) {
    SCOPED_TRACE(state.what);
    state.prepare();
    for (const FileTypeRow& row : FileTypeCatalogue()) {
      const Repair* repair = FindRepair("assoc." + ToUtf8(LowerText(row.label)));
      ASSERT_NE(repair, nullptr);
      const auto items = cli::ScanRepairs({repair}, fake());
      ASSERT_EQ(items.size(), 1u);
      const auto found = Described(items[0].differences);
      EXPECT_EQ(found, reference(row)) << ToUtf8(row.label);
      EXPECT_EQ(items[0].found, !found.empty());
    }
  }
}

// Counts the key openings that reach the registry.
class OpenCounter : public ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  long regOpenKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                  Handle* key) override {
    const long rc = ForwardingPlatform::regOpenKey(parent, subKey, access, key);
    opens.push_back({parent, LowerText(subKey), rc == kErrorSuccess});
    return rc;
  }
  struct Open {
    Handle root;
    std::wstring path;
    bool found;
  };
  std::vector<Open> opens;
};

// The comparison after every file type's script opens each key once at most,
// and none below a key it found missing; the payloads hold hundreds of keys, so
// anything more is what makes a full scan slow.
TEST_F(CliCommandTest, ComparingOpensEachKeyOnceAndNoneBelowAMissingKey) {
  ExpectedRegistry expected;
  for (const FileTypeRow& row : FileTypeCatalogue())
    expected.applyScript(ParseRegScript(*FORM_LAIN().byName(row.payload)).ops);
  const struct {
    const char* what;
    std::function<void()> prepare;
  } states[] = {
      {"nothing there", [] {}},
      {"everything repaired, a few keys gone",
       [this] {
         installRegExe();
         ASSERT_EQ(run({"fix", "assoc.*"}).exitCode, 0);
         fake().regDeleteTree(HKCR, L"batfile");
         fake().regDeleteTree(HKCR, L"Folder\\shell");
       }},
  };
  for (const auto& state : states) {
    SCOPED_TRACE(state.what);
    state.prepare();
    OpenCounter counter(fake());
    expected.compare(counter);
    ASSERT_FALSE(counter.opens.empty());
    std::map<std::pair<Handle, std::wstring>, int> times;
    std::set<std::pair<Handle, std::wstring>> missing;
    for (const auto& o : counter.opens) {
      ++times[{o.root, o.path}];
      if (!o.found) missing.insert({o.root, o.path});
    }
    for (const auto& [key, n] : times) EXPECT_EQ(n, 1) << ToUtf8(key.second);
    for (const auto& o : counter.opens)
      for (size_t cut = o.path.find(L'\\'); cut != std::wstring::npos;
           cut = o.path.find(L'\\', cut + 1))
        EXPECT_FALSE(missing.count({o.root, o.path.substr(0, cut)}))
            << ToUtf8(o.path) << " opened below a missing key";
  }
}

}  // namespace
}  // namespace korvane
