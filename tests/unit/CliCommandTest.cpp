// KorvaneCli's commands on the fake: exit codes, the preview that changes nothing,
// the read-back after a repair, the scan, and output instead of message boxes.
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "cli/logic/CliRun.h"
#include "common/Registry.h"

namespace korvane {
namespace {

using cli::RepairStatus;
using testing::CliTest;
using Json = nlohmann::json;

constexpr Handle HKCR = kHkeyClassesRoot;
constexpr Handle HKCU = kHkeyCurrentUser;
constexpr Handle HKLM = kHkeyLocalMachine;

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

  const cli::CliRepair* r = cli::FindRepair("restriction.task-manager");
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
  EXPECT_EQ(perPage["Advanced"], 23);
  EXPECT_EQ(perPage["Home"], 3);
  for (const char* id :
       {"assoc.bat", "assoc.exe", "assoc.drive", "assoc.directory", "assoc.folder",
        "restriction.task-manager", "restriction.control-panel", "restriction.control-panel-item",
        "advanced.explorer-shell", "advanced.thumbnails", "advanced.corrupted-recycle-bin",
        "advanced.group-policy", "task.sfc", "task.dism", "task.restore-point"})
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
  installRegExe([](cli::RegOp& op) {
    if (op.kind == cli::RegOpKind::SetValue && op.data.type == kRegExpandSz)
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
      {"task.sfc",
       [](fake::FakePlatform& f) { f.deleteFile(L"C:\\Windows\\System32\\sfc.exe"); },
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
      cli::CliHost host{*sys, [](const std::wstring&) { return false; }, nullptr};
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

}  // namespace
}  // namespace korvane
