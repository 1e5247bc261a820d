// The undo store as an unelevated program of the user would attack it: planted
// files and names, links and loose DACLs.  Whatever the attack, nothing outside
// the store is touched and nothing is imported that Korvane did not plan.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "changes/UndoFiles.h"
#include "common/PrivateFolders.h"
#include "repairs/VerifiedPress.h"

namespace korvane {
namespace {

using testing::CliTest;

const std::wstring kUser = L"S-1-5-21-100-200-300-1000";  // the fake process's account
const std::wstring kKorvane = L"C:\\ProgramData\\Korvane";
const std::wstring kUndo = kKorvane + L"\\Undo\\" + kUser;
const std::wstring kVictim = L"C:\\victim.txt";
const std::wstring kAdvanced = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
const std::wstring kTxtExts =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.txt";

std::vector<std::uint8_t> Text(const std::wstring& text) { return EncodeRegFile(text); }

// An undo file of the window's shape that names `kept` as its kept file.
std::wstring PlantUndoFile(fake::FakePlatform& f, int second, const std::wstring& kept,
                           const std::wstring& body = L"") {
  const std::wstring path =
      kUndo + L"\\" +
      UndoFileName({2024, 1, 1, 0, second / 60, second % 60}, "advanced.hosts-file");
  f.addFile(path,
            Text(kRegFileHeader + L"\n\n; Kept file \"" + kept +
                 L"\" is the earlier \"C:\\Windows\\System32\\drivers\\etc\\hosts\".\n\n" + body));
  return path;
}

// A dump of the machine's hive without Korvane's own records.
std::wstring WithoutRecords(const std::wstring& dump) {
  std::wstring out;
  bool skipping = false;
  for (size_t start = 0; start < dump.size();) {
    size_t end = dump.find(L'\n', start);
    end = end == std::wstring::npos ? dump.size() : end + 1;
    const std::wstring line = dump.substr(start, end - start);
    if (line.rfind(L"[", 0) == 0)
      skipping = line.rfind(L"[HKEY_LOCAL_MACHINE\\Software\\Korvane", 0) == 0;
    if (!skipping) out += line;
    start = end;
  }
  return out;
}

// Every file outside Korvane's folders, with its bytes.
std::map<std::wstring, std::vector<std::uint8_t>> Outside(fake::FakePlatform& f) {
  std::map<std::wstring, std::vector<std::uint8_t>> out = f.allFiles();
  std::erase_if(
      out, [](const auto& file) { return file.first.rfind(LowerText(kKorvane) + L"\\", 0) == 0; });
  return out;
}

using Cli = std::function<cli::CliResult(const std::vector<std::string>&)>;

struct HostileCase {
  const char* what;
  std::function<void(fake::FakePlatform&)> plant;
  // What the user (or an administrator on the command line) does next.
  std::function<void(fake::FakePlatform&, const Cli&)> act;
  // A text some box or the output shows; empty: none asked for.
  std::wstring shown;
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.what; }

const HostileCase kHostile[] = {
    {"kept names with ..\\, a drive and a share, pruned by the next press",
     [](fake::FakePlatform& f) {
       OpenUndoStore(f, /*create=*/true);
       PlantUndoFile(f, 0, L"..\\..\\..\\..\\victim.txt");
       PlantUndoFile(f, 1, L"C:\\victim.txt");
       PlantUndoFile(f, 2, L"\\\\server\\share\\victim.txt");
       for (int i = 3; i < 102; ++i) PlantUndoFile(f, i, L"x");
     },
     [](fake::FakePlatform& f, const Cli& cli) {
       f.setDword(HKCU, kAdvanced, L"IconsOnly", 1);
       PressVerified(f, *FindRepair("advanced.thumbnails"));
       // The three are the oldest: pruned, with nothing they name.
       EXPECT_FALSE(f.fileExists(kUndo + L"\\2024-01-01 000000 advanced.hosts-file.reg"));
       EXPECT_FALSE(f.fileExists(kUndo + L"\\2024-01-01 000002 advanced.hosts-file.reg"));
     },
     L""},
    {"kept name with ..\\, undone in the window",
     [](fake::FakePlatform& f) {
       OpenUndoStore(f, /*create=*/true);
       const std::wstring undo = PlantUndoFile(f, 0, L"..\\..\\..\\..\\victim.txt",
                                               L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Planted]\n");
       RecordDigests(f, {{undo, *f.fileBytes(undo)}});
     },
     [](fake::FakePlatform& f, const Cli& cli) {
       EXPECT_FALSE(UndoWithMessages(f, ListUndoFiles(f, kUndo).at(0)));
     },
     L"Error!"},
    {"kept name with a drive, undone on the command line",
     [](fake::FakePlatform& f) {
       OpenUndoStore(f, /*create=*/true);
       PlantUndoFile(f, 0, L"C:\\victim.txt", L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Planted]\n");
     },
     [](fake::FakePlatform& f, const Cli& cli) {
       const cli::CliResult r =
           cli({"undo", fake::Narrow(kUndo + L"\\2024-01-01 000000 advanced.hosts-file.reg")});
       EXPECT_EQ(r.exitCode, 2);
     },
     L"which is not a file Korvane keeps beside it"},
    {"key names with a line feed: a section of HKEY_LOCAL_MACHINE",
     [](fake::FakePlatform& f) {
       f.setString(HKCU, kTxtExts + L"\\a]\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Planted]\n;", L"v",
                   L"x");
     },
     [](fake::FakePlatform& f, const Cli& cli) { PressVerified(f, *FindRepair("assoc.txt")); },
     L"The undo file could not be written: the key \"HKEY_CURRENT_USER\\" + kTxtExts +
         L"\\a]\\n[HKEY_LOCAL_MACHINE\" has a name that a registry script cannot carry back "
         L"exactly. Repair anyway?"},
    {"a key name with a carriage return",
     [](fake::FakePlatform& f) { f.createKey(HKCU, kTxtExts + L"\\a\rb"); },
     [](fake::FakePlatform& f, const Cli& cli) { PressVerified(f, *FindRepair("assoc.txt")); },
     L"\\rb\" has a name that a registry script cannot carry back exactly. Repair anyway?"},
    {"a value name with a line feed and one with a zero",
     [](fake::FakePlatform& f) {
       f.setString(HKCU, kTxtExts, L"x\"=\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Planted]", L"y");
       f.setString(HKCU, kTxtExts, std::wstring(L"n\0m", 3), L"y");
     },
     [](fake::FakePlatform& f, const Cli& cli) {
       const cli::CliResult r = cli({"fix", "assoc.txt", "--backup", "C:\\Backups"});
       EXPECT_EQ(r.exitCode, 2);
       EXPECT_TRUE(f.filesUnder(L"C:\\Backups").empty());
     },
     L"has a name that a registry script cannot carry back exactly"},
    {"a file too large to be an undo file",
     [](fake::FakePlatform& f) {
       OpenUndoStore(f, /*create=*/true);
       std::wstring big =
           kRegFileHeader + L"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Planted]\n\"v\"=hex:00,\\\n";
       while (big.size() < kUndoFileLimit) big += L"  00,00,00,00,00,00,00,00,00,00,\\\n";
       big += L"  00\n";
       const std::wstring undo = kUndo + L"\\2024-01-01 000000 advanced.thumbnails.reg";
       f.addFile(undo, Text(big));
       RecordDigests(f, {{undo, *f.fileBytes(undo)}});
     },
     [](fake::FakePlatform& f, const Cli& cli) {
       const std::vector<UndoEntry> entries = ListUndoFiles(f, kUndo);
       ASSERT_EQ(entries.size(), 1u);
       EXPECT_TRUE(entries[0].tooLarge);
       EXPECT_EQ(RowOf(entries[0]).changes, L"too large to read");
       EXPECT_FALSE(UndoWithMessages(f, entries[0]));
     },
     L"Error!"},
    {"a window undo file edited after the repair, undone on the command line",
     [](fake::FakePlatform& f) {
       f.setDword(HKCU, kAdvanced, L"IconsOnly", 1);
       const VerifiedRun run = PressVerified(f, *FindRepair("advanced.thumbnails"));
       std::vector<std::uint8_t> bytes = *f.fileBytes(run.undoFiles.at(0));
       for (wchar_t c : std::wstring(L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Planted]\r\n"))
         bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c), 0});
       f.addFile(run.undoFiles[0], bytes);
     },
     [](fake::FakePlatform& f, const Cli& cli) {
       const cli::CliResult r = cli({"undo", fake::Narrow(ListUndoFiles(f, kUndo).at(0).path)});
       EXPECT_EQ(r.exitCode, 2);
     },
     L"is not as Korvane wrote it"},
    {"a script without a record in a folder users may write",
     [](fake::FakePlatform& f) {
       f.addDirectory(L"C:\\Shared");
       f.addFile(L"C:\\Shared\\assoc.bat.reg",
                 Text(kRegFileHeader + L"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Planted]\n"));
     },
     [](fake::FakePlatform& f, const Cli& cli) {
       const cli::CliResult r = cli({"undo", "C:\\Shared\\assoc.bat.reg"});
       EXPECT_EQ(r.exitCode, 2);
     },
     L"has no record of Korvane's, and \"C:\\Shared\\assoc.bat.reg\" can be changed by "
     L"S-1-5-11"},
    {"a junction on the way turned elsewhere once the user's own script is held",
     [](fake::FakePlatform& f) {
       const std::wstring script = L"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Planted]\n";
       f.addDirectory(L"C:\\Users\\Bob\\Evil\\Sub");
       f.setSecurity(L"C:\\Users\\Bob\\Evil\\Sub", kUser, {kSidSystem, kSidAdministrators, kUser});
       f.addFile(L"C:\\Users\\Bob\\Evil\\Sub\\assoc.bat.reg", Text(kRegFileHeader + script));
       // An administrators' folder with a harmless file of the same name.
       f.addDirectory(L"C:\\Admins");
       f.setSecurity(L"C:\\Admins", kSidAdministrators, {kSidSystem, kSidAdministrators});
       f.addDirectory(L"C:\\Admins\\Sub");
       f.addFile(L"C:\\Admins\\Sub\\assoc.bat.reg", Text(kRegFileHeader + L"\n"));
       f.addLink(L"C:\\Users\\Bob\\J", L"C:\\Users\\Bob\\Evil");
       f.onLocked = [&f](const std::wstring&) { f.addLink(L"C:\\Users\\Bob\\J", L"C:\\Admins"); };
     },
     [](fake::FakePlatform& f, const Cli& cli) {
       const cli::CliResult r = cli({"undo", "C:\\Users\\Bob\\J\\Sub\\assoc.bat.reg"});
       EXPECT_EQ(r.exitCode, 2);
     },
     L"has no record of Korvane's, and \"C:\\Users\\Bob\\J\\Sub\\assoc.bat.reg\" belongs to " +
         kUser},
    {"the store's parent is a link",
     [](fake::FakePlatform& f) {
       f.addDirectory(L"C:\\Users");
       f.addDirectory(L"C:\\Users\\Ann");
       f.addLink(kKorvane, L"C:\\Users\\Ann");
     },
     [](fake::FakePlatform& f, const Cli& cli) {
       f.setDword(HKCU, kAdvanced, L"IconsOnly", 1);
       PressVerified(f, *FindRepair("advanced.thumbnails"));
       EXPECT_TRUE(f.filesUnder(L"C:\\Users\\Ann").empty());
     },
     L"The undo file could not be written: \"C:\\ProgramData\\Korvane\" is a link to another "
     L"place. Repair anyway?"},
    {"the store made by the user beforehand",
     [](fake::FakePlatform& f) {
       // ProgramData lets users make folders, which they then own.
       f.addDirectory(kKorvane);
       f.setSecurity(kKorvane, kUser, {kSidSystem, kSidAdministrators, kUser});
       f.addDirectory(kKorvane + L"\\Undo");
       f.addDirectory(kUndo);
       f.setSecurity(kUndo, kSidAdministrators, {kSidSystem, kSidAdministrators});
       f.addFile(kUndo + L"\\2024-01-01 000000 assoc.bat.reg",
                 Text(kRegFileHeader + L"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Planted]\n"));
     },
     [](fake::FakePlatform& f, const Cli& cli) {
       const PrivateFolder store = OpenUndoStore(f, /*create=*/false);
       EXPECT_TRUE(store.path.empty());
       f.setDword(HKCU, kAdvanced, L"IconsOnly", 1);
       PressVerified(f, *FindRepair("advanced.thumbnails"));
       UndoEntry planted;
       planted.path = kUndo + L"\\2024-01-01 000000 assoc.bat.reg";
       EXPECT_FALSE(UndoWithMessages(f, planted));
     },
     L"The undo files are not used: \"C:\\ProgramData\\Korvane\" belongs to " + kUser +
         L", not to the administrators."},
};

class UndoStoreTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    installRegExe();
  }
};

class HostileStoreTest : public UndoStoreTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileStoreTest, NothingOutsideTheStoreIsTouchedAndNothingUnplannedImported) {
  const HostileCase& c = GetParam();
  fake().addFile(kVictim, {'v', 'i', 'c', 't', 'i', 'm'});
  c.plant(fake());
  const auto outside = Outside(fake());
  const std::wstring machine = fake().dumpHive(HKLM);

  c.act(fake(), [this](const std::vector<std::string>& args) { return last = run(args); });

  EXPECT_EQ(Outside(fake()), outside) << "a file outside the store changed";
  EXPECT_FALSE(fake().keyExists(HKLM, L"SOFTWARE\\Planted"));
  EXPECT_EQ(WithoutRecords(fake().dumpHive(HKLM)), WithoutRecords(machine));
  if (!c.shown.empty()) {
    std::wstring all = FromUtf8(last.out + last.err);
    for (const auto& m : fake().messages()) all += m.text + L"\n";
    EXPECT_NE(all.find(c.shown), std::wstring::npos) << fake::Narrow(all);
  }
}

INSTANTIATE_TEST_SUITE_P(Store, HostileStoreTest, ::testing::ValuesIn(kHostile));

TEST_F(UndoStoreTest, AKeptFileThatCannotBeWrittenWholeLeavesTheOriginalAndImportsNothing) {
  const std::wstring hosts = L"C:\\Windows\\System32\\drivers\\etc\\hosts";
  fake().addDirectory(L"C:\\Windows\\System32\\drivers");
  fake().addDirectory(L"C:\\Windows\\System32\\drivers\\etc");
  fake().addTextFile(hosts, std::string(100 * 1024, '#') + "\r\n10.0.0.1 old\r\n");
  fake().setDword(HKCU, kAdvanced, L"IconsOnly", 1);
  last = run({"fix", "advanced.hosts-file", "advanced.thumbnails", "--backup", "C:\\Backups"});
  ASSERT_TRUE(last.exitCode == 0 || last.exitCode == 3010) << last.out;
  // One undo file puts back both; join them as an administrator would not: use the
  // hosts file's own, which holds its registry part too.
  const std::vector<std::uint8_t> repaired = *fake().fileBytes(hosts);
  const std::wstring hive = fake().dumpHive(HKCU);
  const size_t launches = fake().launches().size();

  // 40 KB left on the disk: the kept 100 KB cannot be written beside the original.
  fake().freeBytes = 40 * 1024;
  last = run({"undo", "C:\\Backups\\advanced.hosts-file.reg"});

  EXPECT_EQ(last.exitCode, 2);
  EXPECT_NE(last.out.find("There is not enough space on the disk"), std::string::npos) << last.out;
  EXPECT_EQ(fake().fileBytes(hosts), repaired);
  EXPECT_EQ(fake().dumpHive(HKCU), hive);
  EXPECT_EQ(fake().launches().size(), launches) << "reg.exe ran";
  for (const std::wstring& file : fake().filesUnder(L"C:\\Windows\\System32\\drivers\\etc"))
    EXPECT_EQ(file, hosts) << "a partly written file was left behind";
}

}  // namespace
}  // namespace korvane
