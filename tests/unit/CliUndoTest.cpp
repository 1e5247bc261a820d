// --backup: the undo file written before each repair puts back every key and value
// the repair touches, exactly, when it is imported.
#include <functional>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "changes/UndoFiles.h"
#include "common/Registry.h"
#include "platform/ForwardingPlatform.h"

namespace korvane {
namespace {

using testing::CliTest;

const std::wstring kExplorer = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const std::wstring kAdvanced = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";

using testing::Bytes;

// One value of each type the registry knows, and some it does not, with data that a
// careless writer would get wrong (no terminating zero, quotes, line breaks).
void PutEveryType(fake::FakePlatform& f, Handle root, const std::wstring& path) {
  f.setString(root, path, L"", L"default");
  f.setString(root, path, L"Text \"quoted\"", L"C:\\Program Files\\\"x\"\\");
  f.setValue(root, path, L"NoZero", kRegSz, Bytes({'a', 0, 'b', 0}));
  f.setString(root, path, L"Lines", L"one\r\ntwo");
  f.setString(root, path, L"Expand", L"%SystemRoot%\\System32\\imageres.dll,-68", kRegExpandSz);
  f.setValue(root, path, L"Binary", kRegBinary, Bytes({0x30, 0x04, 0, 0, 0xFF}));
  f.setValue(root, path, L"EmptyBinary", kRegBinary, {});
  f.setDword(root, path, L"Dword", 0x80000001u);
  f.setValue(root, path, L"Qword", kRegQword, Bytes({1, 2, 3, 4, 5, 6, 7, 0x88}));
  f.setValue(root, path, L"Multi", kRegMultiSz, Bytes({'a', 0, 0, 0, 'b', 0, ' ', 0, 0, 0, 0, 0}));
  f.setValue(root, path, L"None", kRegNone, {});
  f.setValue(root, path, L"Private", 0x4242, Bytes({7, 7}));
}

class CliUndoTest : public CliTest {
 protected:
  // Runs the repair with a backup, checks that it changed something (and whatever
  // `afterFix` checks), then imports the undo file.
  void fixThenUndo(const std::string& id, Handle root,
                   const std::function<void()>& afterFix = nullptr) {
    const std::wstring before = fake().dumpHive(root);
    last = run({"fix", id, "--backup", "C:\\Backup"});
    EXPECT_NE(fake().dumpHive(root), before) << id << " changed nothing";
    if (afterFix) afterFix();
    const std::wstring path = L"C:\\Backup\\" + FromUtf8(id) + L".reg";
    EXPECT_TRUE(fake().fileExists(path)) << last.out;
    const auto errors = importFile(path);
    EXPECT_TRUE(errors.empty()) << fake::Narrow(errors.empty() ? L"" : errors[0]);
  }
};

TEST_F(CliUndoTest, PutsBackADeletedKeyWithItsSubkeysAndValuesOfEveryType) {
  // The drive-icon repair deletes DriveIcons with everything below it.
  PutEveryType(fake(), HKLM, kExplorer + L"\\DriveIcons");
  PutEveryType(fake(), HKLM, kExplorer + L"\\DriveIcons\\C\\DefaultIcon");
  fake().setString(HKLM, kExplorer + L"\\DriveIcons\\D\\DefaultLabel", L"", L"Data");
  fake().createKey(HKLM, kExplorer + L"\\DriveIcons\\E");  // empty key
  fake().setString(HKLM, kExplorer, L"Untouched", L"stays");
  const std::wstring before = fake().dumpHive(HKLM);

  fixThenUndo("advanced.drive-icons", HKLM);
  EXPECT_EQ(last.exitCode, 3010) << last.out;

  // Korvane's own records of the files it wrote aside, all is as it was.
  ASSERT_TRUE(fake().keyExists(HKLM, kUndoDigestsKey));
  fake().regDeleteTree(HKLM, L"SOFTWARE\\Korvane");
  EXPECT_EQ(fake().dumpHive(HKLM), before);
}

TEST_F(CliUndoTest, PutsBackWhatAnImportedScriptDeletedAndOverwrote) {
  // BAT.reg deletes .bat and batfile\shell whole and writes batfile's values.
  PutEveryType(fake(), HKCR, L".bat");
  fake().setString(HKCR, L".bat", L"Foreign", L"%TEMP%\\mine", kRegExpandSz);
  fake().setString(HKCR, L".bat\\PersistentHandler", L"", L"{old}");
  fake().setString(HKCR, L".bat\\ShellNew", L"NullFile", L"");
  PutEveryType(fake(), HKCR, L"batfile");
  fake().setString(HKCR, L"batfile\\shell\\Custom\\command", L"", L"custom.exe \"%1\"");
  fake().setString(HKCR, L"batfile\\shell\\open\\command", L"", L"\"%1\" %*");
  installRegExe();
  const std::wstring before = fake().dumpHive(HKCR);

  fixThenUndo("assoc.bat", HKCR, [this] {
    EXPECT_EQ(last.exitCode, 0) << last.out << last.err;
    EXPECT_FALSE(fake().value(HKCR, L".bat", L"Foreign").has_value());
    EXPECT_FALSE(fake().keyExists(HKCR, L"batfile\\shell\\Custom"));
  });

  EXPECT_EQ(fake().dumpHive(HKCR), before);
}

TEST_F(CliUndoTest, PutsBackASingleValueAsItWasOrRemovesWhatWasNew) {
  const struct {
    const char* what;
    std::function<void(fake::FakePlatform&)> setUp;
  } cases[] = {
      {"value was 1", [](fake::FakePlatform& f) { f.setDword(HKCU, kAdvanced, L"IconsOnly", 1); }},
      {"value was text",
       [](fake::FakePlatform& f) { f.setString(HKCU, kAdvanced, L"IconsOnly", L"1"); }},
      {"value was missing",
       [](fake::FakePlatform& f) { f.setString(HKCU, kAdvanced, L"Other", L"x"); }},
      {"key was missing",
       [](fake::FakePlatform& f) { f.createKey(HKCU, L"Software\\Microsoft\\Windows"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake().denyWrites(HKCU, L"unused");  // keeps HKCU from being empty in every case
    c.setUp(fake());
    const std::wstring before = fake().dumpHive(HKCU);
    fixThenUndo("advanced.thumbnails", HKCU);
    EXPECT_EQ(fake().dumpHive(HKCU), before);
    fake().regDeleteTree(HKCU, L"Software");
    fake().deleteFile(L"C:\\Backup\\advanced.thumbnails.reg");
  }
}

TEST_F(CliUndoTest, TheFileIsWhatRegeditWritesAndAnEarlierOneIsNeverOverwritten) {
  fake().setDword(HKCU, kAdvanced, L"IconsOnly", 1);
  last = run({"fix", "advanced.thumbnails", "--backup", "C:\\Backup"});
  const auto first = fake().fileBytes(L"C:\\Backup\\advanced.thumbnails.reg");
  ASSERT_TRUE(first.has_value());
  ASSERT_GE(first->size(), 2u);
  EXPECT_EQ((*first)[0], 0xFF);
  EXPECT_EQ((*first)[1], 0xFE);
  const std::wstring text = DecodeRegFile(*first);
  EXPECT_EQ(text.rfind(L"Windows Registry Editor Version 5.00\r\n", 0), 0u);
  EXPECT_NE(text.find(L"\"IconsOnly\"=dword:00000001\r\n"), std::wstring::npos)
      << fake::Narrow(text);
  EXPECT_NE(last.out.find("backup: C:\\Backup\\advanced.thumbnails.reg"), std::string::npos);

  // Run again: the state before the first run is what an administrator wants back.
  last = run({"fix", "advanced.thumbnails", "--backup", "C:\\Backup"});
  EXPECT_EQ(fake().fileBytes(L"C:\\Backup\\advanced.thumbnails.reg"), first);
  const auto second = fake().fileBytes(L"C:\\Backup\\advanced.thumbnails-2.reg");
  ASSERT_TRUE(second.has_value());
  EXPECT_NE(DecodeRegFile(*second).find(L"\"IconsOnly\"=dword:00000000"), std::wstring::npos);
}

// A file that another process creates between a look at the folder and the create:
// this layer never sees the undo files, as a look taken just before that would.
class BlindToUndoFiles : public ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  std::uint32_t getFileAttributes(const std::wstring& path) override {
    if (path.rfind(L"C:\\Backup\\", 0) == 0) return kInvalidFileAttributes;
    return ForwardingPlatform::getFileAttributes(path);
  }
};

TEST_F(CliUndoTest, AnUndoFileThatAppearedMeanwhileIsNotReplaced) {
  fake().setDword(HKCU, kAdvanced, L"IconsOnly", 1);
  fake().addDirectory(L"C:\\Backup");
  fake().addTextFile(L"C:\\Backup\\advanced.thumbnails.reg", "made by someone else");
  BlindToUndoFiles blind(fake());
  last = run({"fix", "advanced.thumbnails", "--backup", "C:\\Backup"}, blind);
  EXPECT_EQ(last.exitCode, 3010) << last.out;
  EXPECT_EQ(fake().fileText(L"C:\\Backup\\advanced.thumbnails.reg"), "made by someone else");
  EXPECT_NE(last.out.find("backup: C:\\Backup\\advanced.thumbnails-2.reg"), std::string::npos)
      << last.out;
  const auto undo = fake().fileBytes(L"C:\\Backup\\advanced.thumbnails-2.reg");
  ASSERT_TRUE(undo.has_value());
  EXPECT_NE(DecodeRegFile(*undo).find(L"\"IconsOnly\"=dword:00000001"), std::wstring::npos);
}

TEST_F(CliUndoTest, NoRepairRunsWithoutItsBackup) {
  fake().setDword(HKCU, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                  L"DisableTaskMgr", 1);
  const std::wstring before = allHives();

  fake().addDirectory(L"C:\\ReadOnly", /*readOnly=*/true);
  last = run({"fix", "restriction.task-manager", "--backup", "C:\\ReadOnly\\Nowhere"});
  EXPECT_EQ(last.exitCode, 2);
  EXPECT_NE(last.err.find("cannot create the backup folder"), std::string::npos);
  EXPECT_EQ(allHives(), before);

  const auto doc = runJson(
      {"fix", "restriction.task-manager", "advanced.thumbnails", "--backup", "C:\\ReadOnly"});
  EXPECT_EQ(last.exitCode, 2);
  for (const auto& r : doc["repairs"]) {
    EXPECT_EQ(r["status"], "not-run");
    EXPECT_NE(r.value("failure", "").find("The repair was not run"), std::string::npos);
  }
  EXPECT_EQ(allHives(), before);

  // A disk that fills up while the file is written leaves no part of it behind.
  fake().freeBytes = 40;
  const auto full = runJson({"fix", "restriction.task-manager", "--backup", "C:\\Full"});
  EXPECT_EQ(last.exitCode, 2);
  EXPECT_EQ(full["repairs"][0]["status"], "not-run");
  EXPECT_NE(full["repairs"][0].value("failure", "").find("not enough space"), std::string::npos)
      << full.dump();
  EXPECT_TRUE(fake().filesUnder(L"C:\\Full").empty());
  EXPECT_EQ(allHives(), before);
}

const std::wstring kTxtChoice =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.txt\\UserChoice";

// With TEMP unset the scratch script is "\TXT.reg", in the root of the current drive,
// where Windows creates it as anywhere else.  The preview must see the same, or the
// undo file misses the user's own choice that the real run then deletes.
TEST_F(CliUndoTest, AnEmptyTempStillGivesACompleteUndoFileFirst) {
  TempPath = L"\\";
  fake().setString(HKCU, kTxtChoice, L"ProgId", L"MyEditor.txt");
  fake().setString(HKCU, kTxtChoice, L"Hash", L"abc=");
  fake().setString(HKCR, L".txt", L"", L"MyEditor.txt");
  fake().setString(HKCR, L"txtfile\\shell\\edit\\command", L"", L"myeditor.exe \"%1\"");
  installRegExe();
  const std::wstring before = allHives();

  const auto doc = runJson({"fix", "assoc.txt", "--backup", "C:\\un"});
  EXPECT_EQ(last.exitCode, 0) << last.out;
  EXPECT_EQ(doc["repairs"][0]["status"], "done");
  EXPECT_EQ(fake().stringValue(HKCU, kTxtChoice, L"ProgId"), L"txtfile");
  EXPECT_FALSE(fake().fileExists(L"C:\\TXT.reg"));  // the scratch script is gone again

  const std::string undo = fake::Narrow(DecodeRegFile(
      fake().fileBytes(L"C:\\un\\assoc.txt.reg").value_or(std::vector<std::uint8_t>{})));
  EXPECT_NE(undo.find("\"ProgId\"=\"MyEditor.txt\""), std::string::npos) << undo;
  EXPECT_TRUE(importFile(L"C:\\un\\assoc.txt.reg").empty());
  EXPECT_EQ(allHives(), before);
}

TEST_F(CliUndoTest, ARepairWhosePreviewFailsIsNotRun) {
  // The .exe row rewrites the registration directly and only then writes its
  // script; without a TEMP folder the script cannot be written.  Run anyway, the
  // repair would change the registration and then stop with "Error!", with an undo
  // file that knows nothing of the script's part.
  fake().setString(HKCR, L"exefile", L"", L"Planted");
  fake().setString(HKCR, L".exe", L"", L"exefile");
  TempPath = L"C:\\NoSuchFolder\\";
  installRegExe();
  const std::wstring before = allHives();

  const auto doc = runJson({"fix", "assoc.exe", "assoc.bat", "--backup", "C:\\un"});
  EXPECT_EQ(last.exitCode, 2);
  for (const auto& r : doc["repairs"]) {
    EXPECT_EQ(r["status"], "not-run") << r.dump();
    EXPECT_NE(r.value("failure", "").find("preview failed"), std::string::npos) << r.dump();
    EXPECT_NE(r.value("failure", "").find("Error!"), std::string::npos) << r.dump();
  }
  EXPECT_EQ(allHives(), before);
  EXPECT_TRUE(fake().filesUnder(L"C:\\un").empty());
  EXPECT_TRUE(fake().launches().empty());

  last = run({"fix", "assoc.exe", "--backup", "C:\\un"});
  EXPECT_NE(last.out.find("result: not run, nothing was changed"), std::string::npos) << last.out;
}

TEST_F(CliUndoTest, ARestrictionNotInForceNeedsNoBackup) {
  const auto doc = runJson({"fix", "restriction.task-manager", "--backup", "C:\\Backup"});
  EXPECT_EQ(last.exitCode, 0);
  EXPECT_EQ(doc["repairs"][0]["status"], "not-needed");
  EXPECT_TRUE(fake().filesUnder(L"C:\\Backup").empty());
}

}  // namespace
}  // namespace korvane
