// The window's undo folder: names, the list the Undo dialog shows, the newest 100
// kept, and undoing from a file (the dialog's "Undo" and "KorvaneCli undo").
#include <functional>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "changes/UndoFiles.h"
#include "common/PrivateFolders.h"
#include "repairs/VerifiedPress.h"

namespace korvane {
namespace {

using testing::Bytes;
using testing::CliTest;

// The fake's process runs as this account.
const std::wstring kUndo = L"C:\\ProgramData\\Korvane\\Undo\\S-1-5-21-100-200-300-1000";
const std::wstring kAdvanced = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";

class UndoFilesTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    installRegExe();
  }

  VerifiedRun pressAt(const std::string& id, LocalTime at) {
    fake().now = at;
    return PressVerified(fake(), *FindRepair(id));
  }

  std::vector<std::wstring> names(const std::vector<UndoEntry>& entries) {
    std::vector<std::wstring> out;
    for (const UndoEntry& e : entries) out.push_back(e.path.substr(kUndo.size() + 1));
    return out;
  }
};

TEST_F(UndoFilesTest, TheListShowsTheNewestFirstWithDateRepairAndChanges) {
  fake().setDword(HKCU, kAdvanced, L"IconsOnly", 1);
  pressAt("advanced.thumbnails", {2025, 3, 14, 9, 26, 53});
  pressAt("assoc.txt", {2025, 3, 14, 10, 0, 1});
  pressAt("advanced.thumbnails", {2025, 3, 14, 10, 0, 2});
  pressAt("advanced.thumbnails", {2025, 3, 14, 10, 0, 2});  // the same second
  // A script someone put there is listed by its name, after the dated ones.
  fake().addFile(kUndo + L"\\mine.reg",
                 EncodeRegFile(kRegFileHeader + L"\n\n[HKEY_CURRENT_USER\\X]\n"));
  fake().addFile(kUndo + L"\\notes.txt", {'x'});

  const std::vector<UndoEntry> entries = ListUndoFiles(fake(), kUndo);
  EXPECT_EQ(names(entries), (std::vector<std::wstring>{
                                L"2025-03-14 100002 advanced.thumbnails (2).reg",
                                L"2025-03-14 100002 advanced.thumbnails.reg",
                                L"2025-03-14 100001 assoc.txt.reg",
                                L"2025-03-14 092653 advanced.thumbnails.reg",
                                L"mine.reg",
                            }));
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[2].date, L"2025-03-14 10:00:01");
  EXPECT_EQ(entries[2].id, "assoc.txt");
  EXPECT_EQ(entries[2].repair, L"TXT: Text Document");
  // The five keys TXT.reg deletes, none of them there before: the undo removes them.
  EXPECT_EQ(ChangesText(entries[2]), L"5 keys, 0 values, 0 files");
  EXPECT_EQ(entries[3].repair, L"Thumbnails do not appear in explorer.");
  EXPECT_EQ(ChangesText(entries[3]), L"1 key, 1 value, 0 files");
  EXPECT_EQ(entries[4].date, L"");
  EXPECT_EQ(entries[4].repair, L"mine");
  for (const UndoEntry& e : entries) EXPECT_FALSE(e.undone);
}

TEST_F(UndoFilesTest, OnlyTheNewestHundredAreKept) {
  // 100 older files; the oldest has a kept file and an undone mark.
  for (int i = 0; i < 100; ++i) {
    fake().now = {2024, 1, 1, 0, i / 60, i % 60};
    const std::wstring path = kUndo + L"\\" + UndoFileName(fake().now, "advanced.hosts-file");
    ASSERT_EQ(OpenUndoStore(fake(), /*create=*/true).path, kUndo);
    fake().addFile(path, EncodeRegFile(kRegFileHeader + L"\n\n; Kept file \"" +
                                       UndoFileName(fake().now, "x").substr(0, 18) +
                                       L"advanced.hosts-file.hosts\" is the earlier \"C:\\h\".\n"));
    if (i == 0) {
      fake().addFile(kUndo + L"\\2024-01-01 000000 advanced.hosts-file.hosts", {'h'});
      fake().setString(HKLM, kUndoDigestsKey + L"\\Undone", LowerText(path), L"2024-01-02");
    }
  }
  fake().setDword(HKCU, kAdvanced, L"IconsOnly", 1);
  pressAt("advanced.thumbnails", {2025, 3, 14, 9, 26, 53});

  const std::vector<UndoEntry> entries = ListUndoFiles(fake(), kUndo);
  ASSERT_EQ(entries.size(), 100u);
  EXPECT_EQ(names(entries).front(), L"2025-03-14 092653 advanced.thumbnails.reg");
  EXPECT_EQ(names(entries).back(), L"2024-01-01 000001 advanced.hosts-file.reg");
  EXPECT_FALSE(fake().fileExists(kUndo + L"\\2024-01-01 000000 advanced.hosts-file.reg"));
  EXPECT_FALSE(fake().fileExists(kUndo + L"\\2024-01-01 000000 advanced.hosts-file.hosts"));
  EXPECT_TRUE(fake().valueNames(HKLM, kUndoDigestsKey + L"\\Undone").empty());
  EXPECT_EQ(fake().filesUnder(kUndo).size(), 100u);
}

TEST_F(UndoFilesTest, UndoPutsBackReadsBackAndMarksTheFile) {
  fake().setString(HKCR, L".txt", L"", L"MyEditor.txt");
  fake().setString(HKCR, L".txt", L"Odd", L"%TEMP%", kRegExpandSz);
  const std::wstring before = allHives();
  const VerifiedRun run = pressAt("assoc.txt", {2025, 3, 14, 9, 26, 53});
  ASSERT_EQ(run.undoFiles.size(), 1u);

  const UndoOutcome undo = UndoFromFile(fake(), run.undoFiles[0]);
  EXPECT_TRUE(undo.done) << fake::Narrow(undo.failure);
  EXPECT_TRUE(undo.marked);
  EXPECT_EQ(allHives(), before);
  // The System directory's reg.exe, given the path of a copy that only administrators
  // can change, quoted (it holds a blank); the copy is gone afterwards.
  const auto& launch = fake().launches().back();
  EXPECT_EQ(launch.application, L"C:\\Windows\\System32\\reg.exe");
  const std::wstring copy = L"C:\\ProgramData\\Korvane\\Import\\undo 1.reg";
  EXPECT_EQ(launch.commandLine, L"reg.exe import \"" + copy + L"\"");
  EXPECT_FALSE(fake().fileExists(copy));
  EXPECT_TRUE(ListUndoFiles(fake(), kUndo)[0].undone);
}

TEST_F(UndoFilesTest, AnUndoThatFailsSaysWhyAndIsNotMarked) {
  const struct {
    const char* what;
    std::function<void()> setUp;
    std::wstring failure;  // empty: only the read-back finds it
  } cases[] = {
      {"reg.exe refuses the file",
       [this] {
         fake().addProgram(L"reg.exe", fake::FakeProgram{1, 0, nullptr, nullptr});
       },
       L"reg.exe could not import the file (exit code 1)."},
      {"reg.exe writes something else",
       [this] {
         installRegExe([](RegOp& op) {
           if (op.kind == RegOpKind::SetValue) op.data.type = kRegBinary;
         });
       },
       L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    installRegExe();
    fake().setDword(HKCU, kAdvanced, L"IconsOnly", 1);
    const VerifiedRun run = pressAt("advanced.thumbnails", {2025, 3, 14, 9, 26, 53});
    ASSERT_EQ(run.undoFiles.size(), 1u);
    c.setUp();

    const UndoOutcome undo = UndoFromFile(fake(), run.undoFiles[0]);
    EXPECT_FALSE(undo.done);
    EXPECT_EQ(undo.failure, c.failure);
    if (c.failure.empty()) EXPECT_FALSE(undo.unverified.empty());
    EXPECT_FALSE(ReadUndoFile(fake(), run.undoFiles[0])->undone);
    RemoveUndoFile(fake(), run.undoFiles[0]);
  }
}

TEST_F(UndoFilesTest, AMissingKeptFileStopsTheUndoBeforeAnythingChanges) {
  const std::wstring hosts = L"C:\\Windows\\System32\\drivers\\etc\\hosts";
  fake().addDirectory(L"C:\\Windows\\System32\\drivers");
  fake().addDirectory(L"C:\\Windows\\System32\\drivers\\etc");
  fake().addTextFile(hosts, "mine\r\n");
  const VerifiedRun run = pressAt("advanced.hosts-file", {2025, 3, 14, 9, 26, 53});
  ASSERT_EQ(run.undoFiles.size(), 1u);
  fake().deleteFile(kUndo + L"\\2025-03-14 092653 advanced.hosts-file.hosts");
  const auto afterRepair = fake().fileBytes(hosts);
  const size_t launches = fake().launches().size();

  const UndoOutcome undo = UndoFromFile(fake(), run.undoFiles[0]);
  EXPECT_FALSE(undo.done);
  EXPECT_EQ(undo.failure,
            L"The kept file \"2025-03-14 092653 advanced.hosts-file.hosts\" cannot be read.");
  EXPECT_EQ(fake().fileBytes(hosts), afterRepair);
  EXPECT_EQ(fake().launches().size(), launches);
}

TEST_F(UndoFilesTest, TheWindowsUndoSaysDoneOrErrorAndAsksBeforeUndoingTwice) {
  fake().setDword(HKCU, kAdvanced, L"IconsOnly", 1);
  const VerifiedRun run = pressAt("advanced.thumbnails", {2025, 3, 14, 9, 26, 53});
  ASSERT_EQ(run.undoFiles.size(), 1u);
  auto entry = [&] { return ListUndoFiles(fake(), kUndo).at(0); };
  EXPECT_EQ(RowOf(entry()).repair, L"Thumbnails do not appear in explorer.");
  EXPECT_EQ(RowOf(entry()).date, L"2025-03-14 09:26:53");

  EXPECT_TRUE(UndoWithMessages(fake(), entry()));
  EXPECT_EQ(fake().messages().back().text, L"Done!");
  EXPECT_EQ(fake().messages().back().flags, kMbIconInformation);
  EXPECT_EQ(fake().dwordValue(HKCU, kAdvanced, L"IconsOnly"), 1u);
  EXPECT_EQ(RowOf(entry()).repair, L"Thumbnails do not appear in explorer. (undone)");

  // Undone already: the question comes first, and No leaves everything alone.
  fake().setDword(HKCU, kAdvanced, L"IconsOnly", 7);
  const size_t launches = fake().launches().size();
  fake().answerMessageBoxes({kIdNo});
  EXPECT_FALSE(UndoWithMessages(fake(), entry()));
  EXPECT_EQ(fake().messages().back().text, kUndoAgainQuestion);
  EXPECT_EQ(fake().messages().back().flags, kMbYesNo | kMbIconQuestion);
  EXPECT_EQ(fake().launches().size(), launches);
  EXPECT_EQ(fake().dwordValue(HKCU, kAdvanced, L"IconsOnly"), 7u);

  fake().answerMessageBoxes({kIdYes});
  EXPECT_TRUE(UndoWithMessages(fake(), entry()));
  EXPECT_EQ(fake().dwordValue(HKCU, kAdvanced, L"IconsOnly"), 1u);

  // A reg.exe that fails: "Error!", and the mark stays as it was.
  fake().addProgram(L"reg.exe", fake::FakeProgram{1, 0, nullptr, nullptr});
  fake().answerMessageBoxes({kIdYes});
  EXPECT_FALSE(UndoWithMessages(fake(), entry()));
  EXPECT_EQ(fake().messages().back().text, L"Error!");
  EXPECT_EQ(fake().messages().back().flags, kMbIconError);
}

TEST_F(UndoFilesTest, TheCommandLineUndoesAFileWithExitCodeZeroOrTwo) {
  fake().setDword(HKCU, kAdvanced, L"IconsOnly", 1);
  last = run({"fix", "advanced.thumbnails", "--backup", "C:\\Backup"});
  ASSERT_EQ(fake().dwordValue(HKCU, kAdvanced, L"IconsOnly"), 0u);

  last = run({"undo", "C:\\Backup\\advanced.thumbnails.reg"});
  EXPECT_EQ(last.exitCode, 0) << last.out;
  EXPECT_NE(last.out.find("result: done"), std::string::npos) << last.out;
  EXPECT_EQ(fake().dwordValue(HKCU, kAdvanced, L"IconsOnly"), 1u);

  const auto doc = runJson({"undo", "C:\\Backup\\nothing.reg"});
  EXPECT_EQ(last.exitCode, 2);
  EXPECT_EQ(doc["status"], "failed");
  EXPECT_NE(doc.value("failure", "").find("nothing.reg"), std::string::npos);

  last = run({"undo"});
  EXPECT_EQ(last.exitCode, 87);
}

// The undo folder is the user's own, open to every program the user runs, and an
// undo runs with administrator rights: the window imports only files that are as it
// wrote them, and nobody can change one from the check until the undo has ended.
TEST_F(UndoFilesTest, TheWindowUndoesOnlyFilesThatAreAsItWroteThem) {
  const std::wstring hosts = L"C:\\Windows\\System32\\drivers\\etc\\hosts";
  fake().addDirectory(L"C:\\Windows\\System32\\drivers");
  fake().addDirectory(L"C:\\Windows\\System32\\drivers\\etc");
  const auto own = Bytes({'1', '0', '.', '0', '.', '0', '.', '1', ' ', 'n', 'a', 's', '\r', '\n'});
  const std::string pwned = "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pwned]\r\n";
  const struct {
    const char* what;
    std::function<void(const std::wstring& undo, const std::wstring& kept)> tamper;
    bool namesTheKeptFile;
  } cases[] = {
      {"a line added to the undo file",
       [&](const std::wstring& undo, const std::wstring&) {
         std::vector<std::uint8_t> bytes = *fake().fileBytes(undo);
         for (char c : pwned) bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c), 0});
         fake().addFile(undo, bytes);
       },
       false},
      {"the kept hosts file replaced",
       [&](const std::wstring&, const std::wstring& kept) {
         fake().addTextFile(kept, "10.0.0.66 bank.example\r\n");
       },
       true},
      {"a file Korvane has no record of",
       [&](const std::wstring& undo, const std::wstring&) { ForgetDigest(fake(), undo); }, false},
  };
  int second = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake().addFile(hosts, own);
    const VerifiedRun run = pressAt("advanced.hosts-file", {2025, 3, 14, 9, 26, ++second});
    ASSERT_EQ(run.undoFiles.size(), 1u);
    const std::wstring undo = run.undoFiles[0];
    const std::wstring kept = undo.substr(0, undo.size() - 4) + L".hosts";
    ASSERT_TRUE(fake().fileExists(kept));
    const std::vector<std::uint8_t> repaired = *fake().fileBytes(hosts);
    c.tamper(undo, kept);
    const size_t launches = fake().launches().size();
    const UndoEntry entry = ListUndoFiles(fake(), kUndo).at(0);
    ASSERT_EQ(entry.path, undo);

    EXPECT_FALSE(UndoWithMessages(fake(), entry));

    EXPECT_EQ(fake().messages().back().text, L"Error!");
    EXPECT_EQ(fake().messages().back().flags, kMbIconError);
    EXPECT_EQ(fake().launches().size(), launches) << "reg.exe ran";
    EXPECT_EQ(fake().fileBytes(hosts), repaired);
    EXPECT_FALSE(fake().keyExists(HKLM, L"SOFTWARE\\Pwned"));
    const UndoOutcome outcome = UndoFromFile(fake(), undo, UndoTrust::Recorded);
    EXPECT_EQ(outcome.failure, L"\"" + (c.namesTheKeptFile ? kept : undo) +
                                   L"\" is not as Korvane wrote it (it was changed since, or "
                                   L"Korvane did not write it), so it is not used.");
  }
  // The command line takes a file without a record only from where nobody but
  // administrators could have put it, as the store is.
  EXPECT_TRUE(UndoFromFile(fake(), ListUndoFiles(fake(), kUndo).at(0).path).done);
}

TEST_F(UndoFilesTest, NobodyChangesAnUndoFileWhileItIsImportedAndItsRecordGoesWithIt) {
  fake().setDword(HKCU, kAdvanced, L"IconsOnly", 1);
  const VerifiedRun run = pressAt("advanced.thumbnails", {2025, 3, 14, 9, 26, 53});
  ASSERT_EQ(run.undoFiles.size(), 1u);
  const std::wstring undo = run.undoFiles[0];
  std::vector<bool> racerGotIn;
  fake().addProgram(
      L"reg.exe",
      fake::FakeProgram{0, 1,
                        [&](const std::wstring& cmd) {
                          racerGotIn = {fake().writeFile(undo, {'x'}), fake().deleteFile(undo)};
                          importFile(*RegImportTarget(cmd));
                        },
                        nullptr});

  EXPECT_TRUE(UndoWithMessages(fake(), ListUndoFiles(fake(), kUndo).at(0)));

  EXPECT_EQ(racerGotIn, (std::vector<bool>{false, false}));
  EXPECT_EQ(fake().dwordValue(HKCU, kAdvanced, L"IconsOnly"), 1u);
  // Now the file is free again; removing it takes its record along.
  ASSERT_TRUE(fake().writeFile(undo + L".probe", {'p'}));
  RemoveUndoFile(fake(), undo);
  EXPECT_FALSE(fake().fileExists(undo));
  EXPECT_FALSE(MatchesDigest(fake(), undo, {}));
  EXPECT_EQ(fake().dumpHive(HKLM).find(L"undo\\2025-03-14"), std::wstring::npos);
}

}  // namespace
}  // namespace korvane
