// KorvaneCli where fleets run it: every user's restrictions with --all-users (hives
// loaded under HKEY_USERS and hive files of profiles nobody is logged on to), the
// output Intune reads, the note for SYSTEM's own settings and the event-log record.
#include <stdexcept>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "cli/logic/CliRun.h"
#include "cli/logic/UserHives.h"
#include "platform/ForwardingPlatform.h"

namespace korvane {
namespace {

using testing::CliTest;
using Json = nlohmann::json;

const std::wstring kPolicies = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::wstring kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const std::wstring kAlice = L"S-1-5-21-1-2-3-1001";  // logged on: hive loaded
const std::wstring kBob = L"S-1-5-21-1-2-3-1002";    // not logged on: only NTUSER.DAT
const std::wstring kCarol = L"S-1-5-21-1-2-3-1003";  // not logged on, nothing set
const std::wstring kBobHive = L"C:\\Users\\bob\\NTUSER.DAT";
const std::wstring kCarolHive = L"C:\\Users\\carol\\NTUSER.DAT";
const std::wstring kEventSourceKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Korvane";

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

std::string LastLine(const std::string& text) {
  const auto lines = Lines(text);
  return lines.empty() ? std::string() : lines.back();
}

std::string N(const std::wstring& s) { return ToUtf8(s); }

class CliFleetTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    auto& f = fake();
    f.environment[L"SystemDrive"] = L"C:";
    // What HKEY_USERS holds besides the people's hives.
    f.createKey(HKU, L".DEFAULT\\Software");
    f.setDword(HKU, L"S-1-5-18\\" + kPolicies, L"DisableTaskMgr", 1);
    f.createKey(HKU, kAlice + L"_Classes");
    // Alice is logged on.
    f.setDword(HKU, kAlice + L"\\" + kPolicies, L"DisableTaskMgr", 1);
    f.setString(HKLM, kProfileList + L"\\" + kAlice, L"ProfileImagePath",
                L"%SystemDrive%\\Users\\alice", kRegExpandSz);
    f.accounts[kAlice] = L"CONTOSO\\alice";
    // Bob and Carol are not: their settings are only in their hive files.
    f.setDword(HKU, L"staging\\" + kPolicies, L"DisableTaskMgr", 1);
    f.setDword(HKU, L"staging\\" + kPolicies, L"DisableRegistryTools", 1);
    f.storeHive(L"staging", kBobHive);
    f.setString(HKLM, kProfileList + L"\\" + kBob, L"ProfileImagePath", L"C:\\Users\\bob",
                kRegExpandSz);
    f.createKey(HKU, L"staging\\Software");
    f.storeHive(L"staging", kCarolHive);
    f.setString(HKLM, kProfileList + L"\\" + kCarol, L"ProfileImagePath",
                L"%SystemDrive%\\Users\\carol", kRegExpandSz);
    // The service accounts' profiles are listed too.
    f.setString(HKLM, kProfileList + L"\\S-1-5-18", L"ProfileImagePath",
                L"%systemroot%\\system32\\config\\systemprofile", kRegExpandSz);
  }

  std::optional<RegData> bobsValue(const std::wstring& name) {
    return fake().hiveFileValue(kBobHive, kPolicies, name);
  }
  // The value as REG_DWORD bytes, or nothing when it is missing or of another type.
  std::optional<std::vector<std::uint8_t>> bobsDword(const std::wstring& name) {
    auto v = bobsValue(name);
    if (!v || v->type != kRegDword) return std::nullopt;
    return v->bytes;
  }
};

TEST_F(CliFleetTest, ScanWithAllUsersChecksEveryPersonsHiveAndUnloadsWhatItLoaded) {
  last = run({"scan", "restriction.task-manager", "restriction.registry-editor",
              "restriction.system-restore", "--all-users"});
  EXPECT_EQ(last.exitCode, 1) << last.out;
  EXPECT_TRUE(last.err.empty());
  EXPECT_TRUE(Has(last.out, "restriction.task-manager: in force for 2 of 3 users (Task Manager)\n"))
      << last.out;
  EXPECT_TRUE(Has(last.out, "    " + N(kAlice) + " (CONTOSO\\alice, C:\\Users\\alice)\n"))
      << last.out;
  EXPECT_TRUE(Has(last.out, "    " + N(kBob) + " (C:\\Users\\bob)\n")) << last.out;
  EXPECT_FALSE(Has(last.out, N(kCarol))) << last.out;
  EXPECT_FALSE(Has(last.out, "S-1-5-18")) << last.out;
  EXPECT_EQ(LastLine(last.out),
            "Korvane: 2 of 3 checked in force: restriction.task-manager (2 users), "
            "restriction.registry-editor (1 user)");

  // Bob's and Carol's hives were loaded for the scan and are unloaded again;
  // Alice's, loaded by Windows, was left alone.
  EXPECT_TRUE(fake().loadedHives().empty());
  std::vector<std::wstring> hiveSteps;
  for (const auto& e : fake().events)
    if (e.rfind(L"load ", 0) == 0 || e.rfind(L"unload ", 0) == 0) hiveSteps.push_back(e);
  EXPECT_EQ(hiveSteps,
            (std::vector<std::wstring>{L"load Korvane_" + kBob, L"load Korvane_" + kCarol,
                                       L"unload Korvane_" + kBob, L"unload Korvane_" + kCarol}));
  EXPECT_TRUE(fake().enabledPrivileges.count(L"SeRestorePrivilege"));
  EXPECT_TRUE(fake().enabledPrivileges.count(L"SeBackupPrivilege"));
  EXPECT_EQ(fake().openKeyHandles(), 0u);

  const Json doc = runJson({"scan", "restriction.task-manager", "--all-users"});
  ASSERT_EQ(doc["users"].size(), 3u);
  EXPECT_EQ(doc["users"][0]["sid"], N(kAlice));
  EXPECT_EQ(doc["users"][0]["account"], "CONTOSO\\alice");
  EXPECT_EQ(doc["users"][0]["hive"], "loaded");
  EXPECT_EQ(doc["users"][1]["hive"], "loaded for this run");
  EXPECT_EQ(doc["users"][1]["hiveFile"], N(kBobHive));
  EXPECT_EQ(doc["users"][1]["unloaded"], true);
  const auto& users = doc["restrictions"][0]["users"];
  ASSERT_EQ(users.size(), 3u);
  EXPECT_EQ(users[0]["inForce"], true);
  EXPECT_EQ(users[1]["inForce"], true);
  EXPECT_EQ(users[1]["profilePath"], "C:\\Users\\bob");
  EXPECT_EQ(users[2]["inForce"], false);

  // Without the flag only the caller's own settings count, and the machine-wide
  // restriction is checked once either way.
  EXPECT_EQ(run({"scan", "restriction.task-manager"}).exitCode, 0);
  fake().setDword(HKLM, L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\SystemRestore", L"DisableSR",
                  1);
  const Json machine = runJson({"scan", "restriction.system-restore", "--all-users"});
  EXPECT_EQ(machine["restrictions"][0]["inForce"], true);
  EXPECT_FALSE(machine["restrictions"][0].contains("users"));
}

TEST_F(CliFleetTest, FixWithAllUsersLiftsEachUsersRestrictionAndWritesOneUndoFileEach) {
  last = run({"fix", "restriction.task-manager", "--all-users", "--backup", "C:\\Undo"});
  EXPECT_EQ(last.exitCode, 0) << last.out;
  EXPECT_FALSE(fake().value(HKU, kAlice + L"\\" + kPolicies, L"DisableTaskMgr").has_value());
  EXPECT_FALSE(bobsValue(L"DisableTaskMgr").has_value());
  EXPECT_TRUE(bobsValue(L"DisableRegistryTools").has_value());  // not asked for
  EXPECT_TRUE(fake().value(HKU, L"S-1-5-18\\" + kPolicies, L"DisableTaskMgr").has_value());
  EXPECT_TRUE(fake().loadedHives().empty());
  EXPECT_TRUE(Has(last.out, "  nothing to do for 1 user (not in force)\n")) << last.out;
  EXPECT_EQ(LastLine(last.out), "Korvane: 1 of 1 done: restriction.task-manager (2 users)");

  const std::wstring aliceUndo = L"C:\\Undo\\restriction.task-manager." + kAlice + L".reg";
  const std::wstring bobUndo = L"C:\\Undo\\restriction.task-manager." + kBob + L".reg";
  EXPECT_EQ(fake().filesUnder(L"C:\\Undo").size(), 2u);
  const std::string aliceText = N(DecodeRegFile(*fake().fileBytes(aliceUndo)));
  const std::string bobText = N(DecodeRegFile(*fake().fileBytes(bobUndo)));
  EXPECT_TRUE(Has(aliceText, "[HKEY_USERS\\" + N(kAlice) + "\\" + N(kPolicies) + "]\r\n"))
      << aliceText;
  // Bob's file names the key his hive was loaded as, and says how to load it.
  const std::string bobKey = "HKEY_USERS\\Korvane_" + N(kBob);
  EXPECT_TRUE(Has(bobText, "[" + bobKey + "\\" + N(kPolicies) + "]\r\n")) << bobText;
  EXPECT_TRUE(Has(bobText, "\"DisableTaskMgr\"=dword:00000001")) << bobText;
  EXPECT_TRUE(Has(bobText, "reg load HKU\\Korvane_" + N(kBob) + " \"" + N(kBobHive) + "\""))
      << bobText;
  EXPECT_TRUE(Has(bobText, "reg unload HKU\\Korvane_" + N(kBob))) << bobText;

  // Each file puts back its own user's value, and only that.
  EXPECT_TRUE(importFile(aliceUndo).empty());
  EXPECT_TRUE(fake().value(HKU, kAlice + L"\\" + kPolicies, L"DisableTaskMgr").has_value());
  EXPECT_FALSE(bobsValue(L"DisableTaskMgr").has_value());
  fake().enablePrivilege(L"SeBackupPrivilege");
  fake().enablePrivilege(L"SeRestorePrivilege");
  ASSERT_EQ(fake().regLoadHive(L"Korvane_" + kBob, kBobHive), kErrorSuccess);
  EXPECT_TRUE(importFile(bobUndo).empty());
  ASSERT_EQ(fake().regUnloadHive(L"Korvane_" + kBob), kErrorSuccess);
  EXPECT_EQ(bobsDword(L"DisableTaskMgr"), (std::vector<std::uint8_t>{1, 0, 0, 0}));
}

TEST_F(CliFleetTest, TheExitCodeIsTheWorstOverTheUsersAndAUserWhoCannotBeReachedIsNamed) {
  fake().lockedHiveFiles.insert(kBobHive);
  last = run({"scan", "restriction.task-manager", "--all-users"});
  EXPECT_EQ(last.exitCode, 2) << last.out;
  EXPECT_TRUE(Has(last.out, "user " + N(kBob) + " (C:\\Users\\bob): not checked: its hive file \"" +
                                N(kBobHive) +
                                "\" could not be loaded: The process cannot access "
                                "the file because it is being used by another "
                                "process\n"))
      << last.out;
  EXPECT_TRUE(Has(last.out, "in force for 1 of 3 users")) << last.out;
  EXPECT_EQ(LastLine(last.out),
            "Korvane: 1 of 1 checked in force: restriction.task-manager (1 user); 1 user not "
            "checked");

  const Json doc = runJson({"fix", "restriction.task-manager", "--all-users"});
  EXPECT_EQ(last.exitCode, 2);
  std::map<std::string, std::string> status;
  for (const auto& r : doc["repairs"]) status[r["user"]["sid"]] = r["status"];
  EXPECT_EQ(status[N(kAlice)], "done");
  EXPECT_EQ(status[N(kBob)], "not-run");
  EXPECT_EQ(status[N(kCarol)], "not-needed");
  EXPECT_EQ(bobsDword(L"DisableTaskMgr"), (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_TRUE(fake().loadedHives().empty());

  // A hive already loaded under the name a run uses is someone else's work in
  // progress: it is neither used nor unloaded.
  fake().lockedHiveFiles.clear();
  fake().createKey(HKU, L"Korvane_" + kBob + L"\\Software");
  last = run({"scan", "restriction.task-manager", "--all-users"});
  EXPECT_EQ(last.exitCode, 2);
  EXPECT_TRUE(Has(last.out, "HKEY_USERS\\Korvane_" + N(kBob) + " is loaded already")) << last.out;
  EXPECT_TRUE(fake().keyExists(HKU, L"Korvane_" + kBob));
  fake().regDeleteTree(HKU, L"Korvane_" + kBob);

  // Without the privileges no hive file can be loaded.
  fake().heldPrivileges.clear();
  fake().enabledPrivileges.clear();
  last = run({"scan", "restriction.task-manager", "--all-users"});
  EXPECT_EQ(last.exitCode, 2);
  EXPECT_TRUE(Has(last.out, "A required privilege is not held")) << last.out;
}

TEST_F(CliFleetTest, AHiveThatCannotBeUnloadedFailsTheRun) {
  fake().unloadRefused.insert(L"Korvane_" + kCarol);
  last = run({"fix", "restriction.task-manager", "--all-users"});
  EXPECT_EQ(last.exitCode, 2) << last.out;
  EXPECT_TRUE(Has(last.out, "user " + N(kCarol) +
                                " (C:\\Users\\carol): its hive could not be unloaded from "
                                "HKEY_USERS\\Korvane_" +
                                N(kCarol) + ": Access is denied\n"))
      << last.out;
  EXPECT_TRUE(Has(LastLine(last.out), "a user's hive could not be unloaded")) << last.out;
  EXPECT_FALSE(bobsValue(L"DisableTaskMgr").has_value());
}

// A platform that fails without warning once a loaded hive is being read, the way an
// unexpected error would end a run half-way (the scan does not catch it).
class BreaksInBobsHive : public ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  long regOpenKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                  Handle* key) override {
    if (parent == kHkeyUsers && subKey.rfind(L"Korvane_" + kBob + L"\\", 0) == 0)
      throw std::runtime_error("registry gone");
    return ForwardingPlatform::regOpenKey(parent, subKey, access, key);
  }
};

TEST_F(CliFleetTest, HivesAreUnloadedAfterAnUnexpectedErrorToo) {
  BreaksInBobsHive breaking(fake());
  last = run({"scan", "restriction.task-manager", "--all-users"}, breaking);
  EXPECT_EQ(last.exitCode, 2);
  EXPECT_EQ(last.err, "KorvaneCli: unexpected error: registry gone\n");
  EXPECT_TRUE(fake().loadedHives().empty());
}

TEST_F(CliFleetTest, PlainOutputEndsWithOneSummaryLineAndQuietPrintsOnlyThat) {
  const struct {
    std::vector<std::string> args;
    std::string summary;
  } cases[] = {
      {{"scan", "restriction.task-manager", "--all-users"},
       "Korvane: 1 of 1 checked in force: restriction.task-manager (2 users)"},
      {{"scan", "restriction.registry-editor"}, "Korvane: 0 of 1 checked in force"},
      {{"scan", "assoc.bat"}, "Korvane: 1 of 1 checked not in place: assoc.bat"},
      {{"fix", "restriction.registry-editor"}, "Korvane: nothing needed doing (1 checked)"},
      {{"fix", "restriction.task-manager", "--all-users", "--dry-run"},
       "Korvane: preview only, nothing was changed: 1 of 1 would change something: "
       "restriction.task-manager (2 users)"},
      {{"fix", "advanced.thumbnails"}, "Korvane: 1 of 1 done: advanced.thumbnails; restart needed"},
      {{"list"}, "Korvane: 92 repairs"},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    std::vector<std::string> args = c.args;
    last = run(args);
    const auto lines = Lines(last.out);
    ASSERT_FALSE(lines.empty()) << joined;
    EXPECT_EQ(lines.back(), c.summary) << joined << "\n" << last.out;
    EXPECT_GT(lines.size(), 1u) << joined;
    args.push_back("--quiet");
    last = run(args);
    EXPECT_EQ(last.out, c.summary + "\n") << joined;
    EXPECT_TRUE(last.err.empty()) << joined;
  }
  // The JSON document carries the same line.
  EXPECT_EQ(runJson({"scan", "restriction.task-manager", "--all-users"})["summary"],
            cases[0].summary);
  EXPECT_EQ(run({"scan", "--quiet", "--json"}).exitCode, 87);
}

TEST_F(CliFleetTest, AFailedRepairIsReportedOnStandardOutputOnly) {
  fake().denyWrites(HKU, kAlice + L"\\" + kPolicies);
  for (const bool json : {false, true}) {
    std::vector<std::string> args = {"fix", "restriction.task-manager", "--all-users"};
    if (json) args.push_back("--json");
    last = run(args);
    EXPECT_EQ(last.exitCode, 2) << last.out;
    EXPECT_TRUE(last.err.empty()) << last.err;
    if (!json) {
      EXPECT_TRUE(Has(last.out, "  " + N(kAlice) + " (CONTOSO\\alice, C:\\Users\\alice)\n"))
          << last.out;
      EXPECT_EQ(LastLine(last.out),
                "Korvane: 1 of 1 done: restriction.task-manager (1 user); failed: "
                "restriction.task-manager (1 user)");
    }
  }
}

TEST_F(CliFleetTest, TheOutputForOneIdStaysWithinWhatIntuneReads) {
  // Forty people, each with Task Manager disabled and a long profile path.
  for (int i = 0; i < 40; ++i) {
    const std::wstring sid =
        L"S-1-5-21-1111111111-2222222222-3333333333-" + std::to_wstring(2000 + i);
    fake().setDword(HKU, sid + L"\\" + kPolicies, L"DisableTaskMgr", 1);
    fake().setString(
        HKLM, kProfileList + L"\\" + sid, L"ProfileImagePath",
        L"C:\\Users\\a-rather-long-profile-folder-name-for-person-" + std::to_wstring(i));
    fake().accounts[sid] = L"CONTOSO\\person.with.a.long.account.name" + std::to_wstring(i);
  }
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"scan", "restriction.task-manager", "--all-users"},
           {"fix", "restriction.task-manager", "--all-users", "--backup", "C:\\Undo"}}) {
    last = run(args);
    EXPECT_LT(last.out.size(), 2048u) << last.out;
    EXPECT_TRUE(Has(last.out, "more")) << last.out;
    EXPECT_TRUE(Has(LastLine(last.out), "restriction.task-manager (42 users)")) << last.out;
  }
  EXPECT_EQ(last.exitCode, 0);

  // A reg.exe that writes every value wrong: each of them is not in place.
  installRegExe([](RegOp& op) {
    if (op.kind == RegOpKind::SetValue)
      op.data = RegData{kRegSz, std::vector<std::uint8_t>(600, 0x78)};
  });
  last = run({"fix", "assoc.bat"});
  EXPECT_EQ(last.exitCode, 2);
  EXPECT_TRUE(Has(last.out, "more not in place")) << last.out;
  EXPECT_LT(last.out.size(), 2048u) << last.out;
}

TEST_F(CliFleetTest, AsSystemAPerUserRestrictionSaysWhoseSettingsWereChecked) {
  fake().processSid = L"S-1-5-18";
  const std::string note =
      "Note: KorvaneCli runs as SYSTEM, so the per-user restrictions were looked for in "
      "SYSTEM's own settings, which no person uses; --all-users checks every user's.";
  const struct {
    std::vector<std::string> args;
    bool noted;
  } cases[] = {
      {{"scan", "restriction.task-manager"}, true},
      {{"fix", "restriction.task-manager", "--dry-run"}, true},
      {{"scan", "restriction.*"}, true},
      {{"scan", "restriction.task-manager", "--all-users"}, false},
      {{"scan", "restriction.system-restore"}, false},  // machine-wide
      {{"scan", "assoc.bat"}, false},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    last = run(c.args);
    int notes = 0;
    for (const auto& line : Lines(last.out)) notes += line == note ? 1 : 0;
    EXPECT_EQ(notes, c.noted ? 1 : 0) << joined << "\n" << last.out;
    EXPECT_EQ(Has(LastLine(last.out),
                  "(in SYSTEM's own settings; --all-users checks every "
                  "user's)"),
              c.noted)
        << joined << "\n"
        << last.out;
  }
  // Intune shows only the last line: --quiet keeps the hint there.
  last = run({"scan", "restriction.task-manager", "--quiet"});
  EXPECT_EQ(last.out,
            "Korvane: 0 of 1 checked in force (in SYSTEM's own settings; --all-users checks "
            "every user's)\n");
  EXPECT_EQ(runJson({"scan", "restriction.task-manager"})["note"], note);
  fake().processSid = L"S-1-5-21-100-200-300-1000";
  EXPECT_FALSE(Has(run({"scan", "restriction.task-manager"}).out, "SYSTEM"));
}

TEST_F(CliFleetTest, EachRealRepairLeavesOneEventLogRecord) {
  // The source is registered on first use.
  fake().regDeleteTree(HKLM, kEventSourceKey);
  fake().accounts[L"S-1-5-21-100-200-300-1000"] = L"CONTOSO\\admin";
  last = run({"fix", "restriction.task-manager", "--all-users", "--backup", "C:\\Undo"});
  ASSERT_EQ(last.exitCode, 0) << last.out;
  EXPECT_EQ(fake().stringValue(HKLM, kEventSourceKey, L"EventMessageFile"),
            L"%SystemRoot%\\System32\\EventCreate.exe");
  EXPECT_EQ(fake().dwordValue(HKLM, kEventSourceKey, L"TypesSupported"), 7u);
  ASSERT_EQ(fake().eventLog.size(), 3u);
  const fake::EventRecord& bob = fake().eventLog[1];
  EXPECT_EQ(bob.source, L"Korvane");
  EXPECT_EQ(bob.id, 100u);
  EXPECT_EQ(bob.type, 4);
  EXPECT_EQ(bob.text,
            L"KorvaneCli fix restriction.task-manager (Task Manager)\r\n"
            L"User: " +
                kBob +
                L" (C:\\Users\\bob)\r\n"
                L"Result: done\r\n"
                L"Changes: 1\r\n"
                L"Undo file: C:\\Undo\\restriction.task-manager." +
                kBob + L".reg\r\n");
  EXPECT_NE(fake().eventLog[2].text.find(L"Result: not-needed\r\nChanges: 0\r\n"),
            std::wstring::npos);

  const struct {
    std::vector<std::string> args;
    std::function<void(fake::FakePlatform&)> setUp;
    std::uint32_t id;
    std::uint16_t type;
    std::wstring part;
  } cases[] = {
      {{"fix", "advanced.thumbnails"}, nullptr, 101u, 4, L"Result: done, restart needed\r\n"},
      {{"fix", "task.restore-point"},
       [](fake::FakePlatform& f) {
         f.restorePointFailure = ComFailure{-1, L"", L"Not implemented."};
       },
       102u,
       1,
       L"Result: failed\r\n"},
      // Without --all-users a per-user restriction names the account that ran.
      {{"fix", "restriction.registry-editor"},
       [](fake::FakePlatform& f) { f.setDword(HKCU, kPolicies, L"DisableRegistryTools", 1); },
       100u,
       4,
       L"User: S-1-5-21-100-200-300-1000 (CONTOSO\\admin) (the account KorvaneCli ran as)"},
  };
  for (const auto& c : cases) {
    fake().eventLog.clear();
    if (c.setUp) c.setUp(fake());
    run(c.args);
    ASSERT_EQ(fake().eventLog.size(), 1u) << c.args[1];
    EXPECT_EQ(fake().eventLog[0].id, c.id) << c.args[1];
    EXPECT_EQ(fake().eventLog[0].type, c.type) << c.args[1];
    EXPECT_NE(fake().eventLog[0].text.find(c.part), std::wstring::npos)
        << N(fake().eventLog[0].text);
  }

  // No record for a preview, none with --no-event-log.
  fake().eventLog.clear();
  run({"fix", "restriction.task-manager", "--all-users", "--dry-run"});
  run({"fix", "advanced.thumbnails", "--no-event-log"});
  EXPECT_TRUE(fake().eventLog.empty());

  // A record that cannot be written changes nothing about the result.
  fake().eventLogFails = true;
  fake().setDword(HKCU, kPolicies, L"DisableTaskMgr", 1);
  const Json doc = runJson({"fix", "restriction.task-manager"});
  EXPECT_EQ(last.exitCode, 0);
  EXPECT_EQ(doc["repairs"][0]["status"], "done");
  EXPECT_EQ(doc["repairs"][0]["eventLogError"], "Access is denied");
  EXPECT_TRUE(last.err.empty());
}

TEST(CliUserHivesTest, OnlyPeoplesSidsCount) {
  const struct {
    const wchar_t* name;
    bool person;
  } cases[] = {
      {L"S-1-5-21-1-2-3-1001", true},
      {L"S-1-12-1-1234-5678", true},
      {L"S-1-5-18", false},
      {L"S-1-5-19", false},
      {L"S-1-5-20", false},
      {L"S-1-5-21-1-2-3-1001_Classes", false},
      {L".DEFAULT", false},
      {L"S-1-5-21-1-2-3-1001.bak", false},
      {L"Korvane_S-1-5-21-1-2-3", false},
      {L"S-1-", false},
  };
  for (const auto& c : cases) EXPECT_EQ(cli::IsPersonSid(c.name), c.person) << N(c.name);
}

}  // namespace
}  // namespace korvane
