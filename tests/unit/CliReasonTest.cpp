// KorvaneCli says why: a scan that could not check is an error with its reason, a
// failure carries the system's words, and nothing from outside can reorder, hide or
// forge what the administrator reads (plain output, event records).
#include <nlohmann/json.hpp>

#include "CliTestSupport.h"

namespace korvane {
namespace {

using Json = nlohmann::json;
using testing::CliTest;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CliReasonTest : public CliTest {};

// A preview that shows an error or stops before its end checked nothing: the type is
// neither in place nor out of it.  The page's silent stop when Regedit.exe is missing
// stays silent in the window; the command line names what was missing.
TEST_F(CliReasonTest, AScanWhosePreviewCouldNotRunIsAnErrorWithTheReason) {
  const struct {
    const char* what;
    std::function<void(fake::FakePlatform&)> breakIt;
    const char* reason;
  } cases[] = {
      {"Regedit.exe missing",
       [](fake::FakePlatform& f) { f.deleteFile(L"C:\\Windows\\regedit.exe"); },
       "The repair stopped before its end: Cannot find \"C:\\Windows\\Regedit.exe\". The system "
       "cannot find the file specified."},
      {"TEMP that cannot be written",
       [](fake::FakePlatform& f) { f.environment[L"TEMP"] = L"C:\\Gone"; },
       "Error! Cannot create file \"C:\\Gone\\TXT.reg\". The system cannot find the path "
       "specified."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::ScopedFakePlatform sys;
    c.breakIt(*sys);
    TempPath = sys->environment[L"TEMP"] + L"\\";
    cli::CliHost host{*sys, nullptr};

    const cli::CliResult plain = cli::RunCli({"scan", "assoc.txt"}, host);
    EXPECT_EQ(plain.exitCode, 2) << plain.out;
    EXPECT_TRUE(Has(plain.out, std::string("assoc.txt: could not be checked: It could not be "
                                           "checked: ") +
                                   c.reason))
        << plain.out;
    EXPECT_TRUE(Has(plain.out, "Korvane: 0 of 1 checked not in place; 1 could not be checked\n"))
        << plain.out;

    const cli::CliResult json = cli::RunCli({"scan", "assoc.txt", "--json"}, host);
    EXPECT_EQ(json.exitCode, 2);
    const Json doc = Json::parse(json.out);
    ASSERT_EQ(doc["fileTypes"].size(), 1u);
    EXPECT_FALSE(doc["fileTypes"][0].contains("inPlace"));
    EXPECT_TRUE(Has(doc["fileTypes"][0]["error"].get<std::string>(), c.reason));
    EXPECT_TRUE(sys->messages().empty());
  }
}

// A bare "Error!" on the page is the window's word; the command line adds the reason
// the routine had, so two runs racing for one file or a full TEMP are told apart.
TEST_F(CliReasonTest, AFailedFixCarriesTheSystemsReasonAfterThePagesWord) {
  installRegExe();
  fake().freeBytes = 10;
  last = run({"fix", "assoc.txt"});
  EXPECT_EQ(last.exitCode, 2);
  EXPECT_TRUE(Has(last.out,
                  "  failed: Error! Cannot create file \"C:\\Temp\\TXT.reg\". There is "
                  "not enough space on the disk.\n"))
      << last.out;
}

// Where the page ends without a word, the command line still says why.
TEST_F(CliReasonTest, ARepairThatStopsSilentlyOnThePageIsExplained) {
  last = run({"fix", "advanced.corrupted-recycle-bin", "--drive", "Q"});
  EXPECT_EQ(last.exitCode, 2);
  EXPECT_TRUE(Has(last.out,
                  "  failed: The repair stopped before its end: There is no drive "
                  "\"Q:\\\".\n"))
      << last.out;
}

// Looking needs no rights: a scan in a process that is not elevated still finds a
// machine-wide restriction, and a key it may not read is an error, not "not in force".
TEST_F(CliReasonTest, AnUnelevatedScanReadsMachinePoliciesAndNamesAKeyItCannotRead) {
  const std::wstring restore = L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\SystemRestore";
  const std::wstring system = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
  fake().setDword(HKLM, restore, L"DisableSR", 1);
  fake().elevated = false;
  const size_t opensBefore = fake().keyOpens().size();

  last = run({"scan", "restriction.*", "assoc.exe"});
  EXPECT_EQ(last.exitCode, 1) << last.out;
  EXPECT_TRUE(Has(last.out, "restriction.system-restore: in force")) << last.out;

  // The fake refuses what the machine's ACLs refuse; the scan asked for no write.
  for (size_t i = opensBefore; i < fake().keyOpens().size(); ++i) {
    const auto& open = fake().keyOpens()[i];
    if (open.root == HKLM) EXPECT_EQ(open.access & 0x000D0006u, 0u) << ToUtf8(open.path);
  }

  fake().denyOpens(HKLM, system);
  last = run({"scan", "restriction.display-settings", "restriction.task-manager"});
  EXPECT_EQ(last.exitCode, 2) << last.out;
  EXPECT_TRUE(Has(last.out,
                  "restriction.display-settings: could not be checked: Cannot read "
                  "\"HKEY_LOCAL_MACHINE\\" +
                      ToUtf8(system) + "\" NoDispCPL. Access is denied.\n"))
      << last.out;
  const Json doc = runJson({"scan", "restriction.display-settings"});
  EXPECT_EQ(last.exitCode, 2);
  EXPECT_TRUE(doc["restrictions"][0].contains("error"));
  EXPECT_FALSE(doc["restrictions"][0].contains("inForce"));

  // In force through its other place, it is in force whatever the first one hid.
  fake().setDword(HKCU, system, L"NoDispCPL", 1);
  EXPECT_EQ(run({"scan", "restriction.display-settings"}).exitCode, 1) << last.out;
}

// The bidirectional controls reorder what a console shows after them, and data after
// a zero inside a text would otherwise not be shown at all.
TEST_F(CliReasonTest, PlainOutputEscapesBidiControlsAndShowsDataAfterAZero) {
  installRegExe();
  ASSERT_EQ(run({"fix", "assoc.txt"}).exitCode, 0);
  std::wstring sneaky = L"txt\u202Eexe\u2066";
  sneaky.push_back(L'\0');
  sneaky += L"hidden";
  std::vector<std::uint8_t> bytes = Utf16Bytes(sneaky);
  bytes.insert(bytes.end(), {0, 0});
  fake().setValue(HKCR, L".txt", L"Shown\u200Fname", kRegSz, bytes);

  last = run({"scan", "assoc.txt"});
  EXPECT_EQ(last.exitCode, 1);
  EXPECT_TRUE(Has(last.out, "\"Shown\\u200fname\" = REG_SZ \"txt\\u202eexe\\u2066\\x00hidden\"\n"))
      << last.out;
  for (const char* raw : {"\u202E", "\u200F", "\u2066"}) EXPECT_FALSE(Has(last.out, raw));

  const Json doc = runJson({"scan", "assoc.txt"});
  const auto& d = doc["fileTypes"][0]["differences"][0];
  EXPECT_EQ(FromUtf8(d["actual"]["data"].get<std::string>()), sneaky);
}

// A path is never cut: the administrator must find the undo file it names.
TEST_F(CliReasonTest, ABackupPathIsShownWholeHoweverLong) {
  installRegExe();
  std::wstring dir = L"C:\\Backups";
  fake().addDirectory(dir);
  for (int i = 0; i < 12; ++i) {
    dir += L"\\a-rather-long-folder-name-" + std::to_wstring(i);
    fake().addDirectory(dir);
  }
  fake().setDword(HKCU, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                  L"DisableTaskMgr", 1);
  last = run({"fix", "restriction.task-manager", "--backup", ToUtf8(dir)});
  EXPECT_EQ(last.exitCode, 0) << last.out;
  EXPECT_TRUE(Has(last.out, "  backup: " + ToUtf8(dir) + "\\restriction.task-manager.reg\n"))
      << last.out;
}

// What came from outside cannot forge a line of an event record ("Result: done"), nor
// hand the viewer a "%1" to expand.
TEST_F(CliReasonTest, EventRecordsCarryOutsideTextEscaped) {
  installRegExe();
  const std::wstring temp = L"C:\\Temp\\%1\r\nResult: done";
  fake().environment[L"TEMP"] = temp;
  TempPath = temp + L"\\";
  last = run({"fix", "assoc.txt"});
  EXPECT_EQ(last.exitCode, 2) << last.out;
  ASSERT_EQ(fake().eventLog.size(), 1u);
  const std::wstring& text = fake().eventLog[0].text;
  EXPECT_NE(text.find(L"C:\\Temp\\\\x251\\r\\nResult: done\\TXT.reg"), std::wstring::npos)
      << ToUtf8(text);
  std::vector<std::wstring> fields;
  for (size_t start = 0, end; start < text.size(); start = end + 2) {
    end = text.find(L"\r\n", start);
    ASSERT_NE(end, std::wstring::npos) << "every line ends with CR LF";
    const std::wstring line = text.substr(start, end - start);
    EXPECT_EQ(line.find_first_of(L"\r\n%"), std::wstring::npos) << ToUtf8(line);
    fields.push_back(line.substr(0, line.find(L':')));
  }
  EXPECT_EQ(fields, (std::vector<std::wstring>{L"KorvaneCli fix assoc.txt (Text Document)",
                                               L"Result", L"Changes", L"Failure"}));
}

}  // namespace
}  // namespace korvane
