// The window's presses run verified: a preview that writes the undo file first, a
// journaled real run whose questions were asked once, and a read-back that decides
// between "Done!" (or the restart notice) and "Error!".
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "advfix/Unit_AdvFix_Korvane.h"
#include "changes/UndoFiles.h"
#include "common/KorvaneError.h"
#include "repairs/VerifiedPress.h"
#include "restrict/Unit_Fungsi2RestFix_Korvane.h"

namespace korvane {
namespace {

using testing::CliTest;

// The fake's process runs as this account.
const std::wstring kUndo = L"C:\\ProgramData\\Korvane\\Undo\\S-1-5-21-100-200-300-1000";
const std::wstring kFileExts =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.txt";
const std::wstring kAdvanced = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
const std::wstring kWSearch = L"SYSTEM\\CurrentControlSet\\Services\\WSearch";
const std::wstring kWindowsSearch = L"SOFTWARE\\Microsoft\\Windows Search";
const std::wstring kSetupDone = L"SetupCompletedSuccessfully";
const std::wstring kHostsFolder = L"C:\\Windows\\System32\\drivers\\etc";

using testing::Bytes;

// A user's own .txt association, with values a careless undo file would get wrong.
void PutOwnTxtAssociation(fake::FakePlatform& f) {
  f.setString(HKCR, L".txt", L"", L"MyEditor.txt");
  f.setString(HKCR, L".txt", L"Content Type", L"text/x-\"odd\"\\path");
  f.setValue(HKCR, L".txt", L"NoZero", kRegSz, Bytes({'a', 0, 'b', 0}));
  f.setValue(HKCR, L".txt", L"Multi", kRegMultiSz, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
  f.setValue(HKCR, L".txt\\OpenWithProgids", L"MyEditor.txt", kRegNone, {});
  f.setString(HKCR, L"txtfile\\shell\\open\\command", L"", L"\"C:\\Tools\\ed.exe\" \"%1\"",
              kRegExpandSz);
  f.setString(HKCU, kFileExts + L"\\UserChoice", L"ProgId", L"MyEditor.txt");
  f.setValue(HKCU, kFileExts + L"\\UserChoice", L"Hash", kRegBinary, Bytes({1, 2, 0xFE}));
}

// Lines of an undo file, without those that name the file's own path.
std::wstring WithoutOwnPath(const std::wstring& text) {
  std::wstring out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring line = text.substr(start, end - start + 1);
    if (line.find(L"KorvaneCli undo") == std::wstring::npos) out += line;
    start = end + 1;
  }
  return out;
}

class VerifiedRepairTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    installRegExe();
  }

  VerifiedRun press(const std::string& id) {
    const Repair* repair = FindRepair(id);
    EXPECT_NE(repair, nullptr) << id;
    return PressVerified(fake(), *repair);
  }

  std::wstring undoText(const std::wstring& path) {
    auto bytes = fake().fileBytes(path);
    return bytes ? DecodeRegFile(*bytes) : L"(no file " + path + L")";
  }

  static std::vector<std::wstring> undoFiles(fake::FakePlatform& f) {
    std::vector<std::wstring> out;
    for (const auto& p : f.filesUnder(kUndo))
      if (p.size() > 4 && p.substr(p.size() - 4) == L".reg") out.push_back(p);
    return out;
  }
  std::vector<std::wstring> undoFiles() { return undoFiles(fake()); }

  static int boxesWith(fake::FakePlatform& f, const std::wstring& text) {
    int n = 0;
    for (const auto& m : f.messages()) n += m.text == text ? 1 : 0;
    return n;
  }
  int boxesWith(const std::wstring& text) { return boxesWith(fake(), text); }

  void expectOutcome(const std::wstring& text, unsigned icon) {
    ASSERT_FALSE(fake().messages().empty());
    EXPECT_EQ(fake().messages().back().text, text);
    EXPECT_EQ(fake().messages().back().flags & 0xF0, icon);
  }
};

TEST_F(VerifiedRepairTest, TheUndoFileHoldsTheStateBeforeTheRepairAsTheCommandLineWritesIt) {
  PutOwnTxtAssociation(fake());
  const std::wstring before = allHives();

  const VerifiedRun verified = press("assoc.txt");
  expectOutcome(L"Done!", kMbIconInformation);
  ASSERT_EQ(verified.undoFiles,
            std::vector<std::wstring>{kUndo + L"\\2025-03-14 092653 assoc.txt.reg"});
  EXPECT_NE(allHives(), before);
  EXPECT_EQ(fake().stringValue(HKCR, L".txt", L""), L"txtfile");

  const auto errors = importFile(verified.undoFiles[0]);
  EXPECT_TRUE(errors.empty()) << fake::Narrow(errors.empty() ? L"" : errors[0]);
  EXPECT_EQ(allHives(), before);

  // From the same state, the command line's backup says the same.
  last = run({"fix", "assoc.txt", "--backup", "C:\\Backup"});
  EXPECT_EQ(WithoutOwnPath(undoText(L"C:\\Backup\\assoc.txt.reg")),
            WithoutOwnPath(undoText(verified.undoFiles[0])));
}

TEST_F(VerifiedRepairTest, AReadBackMissTurnsTheSuccessMessageIntoError) {
  const struct {
    const char* what;
    std::string id;
    std::function<void()> setUp;
  } cases[] = {
      {"reg.exe writes other data", "assoc.txt",
       [this] {
         installRegExe([](RegOp& op) {
           if (op.kind == RegOpKind::SetValue && op.name == L"Content Type") op.data.bytes = {0, 0};
         });
       }},
      {"reg.exe leaves a key it was to delete", "assoc.txt",
       [this] {
         fake().setString(HKCR, L"txtfile\\shell\\Evil\\command", L"", L"evil.exe");
         installRegExe([](RegOp& op) {
           if (op.kind == RegOpKind::DeleteKey && op.path == L"txtfile")
             op.kind = RegOpKind::CreateKey;
         });
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.setUp();
    const VerifiedRun verified = press(c.id);
    EXPECT_FALSE(verified.unverified.empty());
    expectOutcome(L"Error!", kMbIconError);
    EXPECT_EQ(boxesWith(L"Done!"), 0);
    EXPECT_EQ(boxesWith(kFixedNoticeText), 0);
    EXPECT_EQ(undoFiles().size(), 1u) << "the undo file is kept for a repair gone wrong";
    for (const auto& p : fake().filesUnder(kUndo)) fake().deleteFile(p);
  }
}

// Windows Search gets SetupCompletedSuccessfully = 0 for its service to consume: the
// service sets itself up afresh and writes 1 once its index is rebuilt.  So the
// value is checked where the repair hands it over, just before "net start", while
// the start type is checked afterwards as everything else.
TEST_F(VerifiedRepairTest, WindowsSearchIsJudgedByWhatItHandsToTheService) {
  using W = Difference::What;
  const struct {
    const char* what;
    std::function<void(fake::FakePlatform&)> beforeTheStart;  // after the writes
    std::function<void(fake::FakePlatform&)> service;         // what "net start" does
    std::vector<W> unverified;
  } cases[] = {
      {"the service marks its set-up done",
       nullptr,
       [](fake::FakePlatform& f) { f.setDword(HKLM, kWindowsSearch, kSetupDone, 1); },
       {}},
      {"the service leaves the value as it was given", nullptr, nullptr, {}},
      {"the service removes the value",
       nullptr,
       [](fake::FakePlatform& f) {
         Handle k = 0;
         f.regOpenKey(HKLM, kWindowsSearch, kKeyAllAccess, &k);
         f.regDeleteValue(k, kSetupDone);
         f.regCloseKey(k);
       },
       {}},
      {"another program put 1 back before the start",
       [](fake::FakePlatform& f) { f.setDword(HKLM, kWindowsSearch, kSetupDone, 1); },
       [](fake::FakePlatform& f) { f.setDword(HKLM, kWindowsSearch, kSetupDone, 1); },
       {W::WrongValue}},
      {"the key was gone before the start",
       [](fake::FakePlatform& f) {
         Handle k = 0;
         f.regOpenKey(HKLM, L"SOFTWARE\\Microsoft", kKeyAllAccess, &k);
         f.regDeleteTree(k, L"Windows Search");
         f.regCloseKey(k);
       },
       nullptr,
       {W::MissingKey}},
      {"the service puts its old start type back",
       nullptr,
       [](fake::FakePlatform& f) { f.setDword(HKLM, kWSearch, L"Start", 4); },
       {W::WrongValue}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::ScopedFakePlatform machine;
    auto& f = *machine;
    f.setDword(HKLM, kWSearch, L"Start", 4);
    f.setDword(HKLM, kWindowsSearch, kSetupDone, 1);
    bool started = false;
    f.onProcessMessages = [&] {
      if (c.beforeTheStart && !started) c.beforeTheStart(f);
    };
    f.addProgram(L"net.exe", {0, 0, [&](const std::wstring& command) {
                                if (command != L"net start WSearch") return;
                                started = true;
                                if (c.service) c.service(f);
                              }});

    const VerifiedRun run = PressVerified(f, *FindRepair("advanced.windows-search"));
    EXPECT_TRUE(started);
    std::vector<W> found;
    for (const Difference& d : run.unverified) found.push_back(d.what);
    EXPECT_EQ(found, c.unverified);
    ASSERT_FALSE(f.messages().empty());
    if (c.unverified.empty()) {
      EXPECT_EQ(f.messages().back().text, kFixedNoticeText);
    } else {
      EXPECT_EQ(f.messages().back().text, L"Error!");
      EXPECT_EQ(f.messages().back().flags, kMbIconError);
    }
    EXPECT_EQ(f.messages().size(), 1u);
  }
}

// A button pressed while a repair waits for its tool runs at once, nested in that
// press, and is a press of its own: its boxes are shown when it shows them, and
// neither they nor its writes count in the verdict of the press it interrupted.
TEST_F(VerifiedRepairTest, ANestedPressShowsItsBoxesAtOnceAndLeavesTheOuterVerdictAlone) {
  const std::wstring taskManager =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
  const struct {
    const char* what;
    std::string id;
    std::wstring tool;  // the first tool it waits for
    std::function<void(fake::FakePlatform&)> setUp;
    std::wstring verdict;
  } outers[] = {
      {"firewall reset, which ends well", "advanced.firewall", L"netsh advfirewall reset",
       [](fake::FakePlatform& f) {
         f.addProgram(L"netsh.exe", {0, 3, nullptr, nullptr});
       },
       kFixedNoticeText},
      {"Windows Search, whose start type does not stay", "advanced.windows-search",
       L"net stop WSearch /Y",
       [](fake::FakePlatform& f) {
         f.setDword(HKLM, kWSearch, L"Start", 4);
         f.createKey(HKLM, kWindowsSearch);
         f.addProgram(L"net.exe", {0, 3, [&f](const std::wstring& command) {
                                     if (command == L"net start WSearch")
                                       f.setDword(HKLM, kWSearch, L"Start", 4);
                                   }});
       },
       L"Error!"},
  };
  const struct {
    const char* what;
    std::function<void(fake::FakePlatform&)> setUp;
    std::function<void(fake::FakePlatform&)> press;  // as the window's dispatcher runs it
    std::wstring box;
    unsigned icon;
    size_t undoFiles;
  } nested[] = {
      {"Scan, nothing found", nullptr,
       [](fake::FakePlatform&) {
         RestrictionList list;
         RunHandler([&] { btnSCANRESTRICTClick(list); });
       },
       L"Restrictions not found!", kMbIconInformation, 0},
      {"Scan, one found",
       [&](fake::FakePlatform& f) { f.setDword(HKCU, taskManager, L"DisableTaskMgr", 1); },
       [](fake::FakePlatform&) {
         RestrictionList list;
         RunHandler([&] { btnSCANRESTRICTClick(list); });
       },
       L"Found 1 restrictions on this computer!", kMbIconError, 0},
      {"a verified repair of its own", nullptr,
       [](fake::FakePlatform& f) {
         RunHandler([&] { PressVerified(f, *FindRepair("advanced.thumbnails")); });
       },
       kFixedNoticeText, kMbIconInformation, 1},
      {"a verified repair that raises",
       [](fake::FakePlatform& f) {
         f.addDirectory(L"C:\\Windows\\System32\\drivers");
         f.addDirectory(kHostsFolder, /*readOnly=*/true);
       },
       [](fake::FakePlatform& f) {
         RunHandler([&] { PressVerified(f, *FindRepair("advanced.hosts-file")); });
       },
       // Its undo file is written before the refusal, and kept.
       L"Cannot create file \"" + kHostsFolder + L"\\hosts\". Access is denied.", kMbIconError, 1},
  };
  for (const auto& outer : outers) {
    for (const auto& inner : nested) {
      SCOPED_TRACE(std::string(outer.what) + " / " + inner.what);
      fake::ScopedFakePlatform machine;
      auto& f = *machine;
      f.setDword(HKCU, kAdvanced, L"IconsOnly", 1);
      outer.setUp(f);
      if (inner.setUp) inner.setUp(f);
      bool pressed = false;
      f.onProcessMessages = [&] {
        if (pressed) return;
        pressed = true;
        inner.press(f);
      };

      const VerifiedRun run = PressVerified(f, *FindRepair(outer.id));
      ASSERT_TRUE(pressed);

      // The nested box, once, while the outer tool still ran; the outer verdict last.
      const auto& events = f.events;
      const auto at = [&](const std::wstring& event) {
        return std::find(events.begin(), events.end(), event) - events.begin();
      };
      const auto box = at(L"box " + inner.box);
      EXPECT_LT(at(L"start " + outer.tool), box);
      EXPECT_LT(box, at(L"end " + outer.tool));
      const int same = inner.box == outer.verdict ? 1 : 0;
      EXPECT_EQ(boxesWith(f, inner.box), 1 + same);
      ASSERT_FALSE(f.messages().empty());
      EXPECT_EQ(f.messages().back().text, outer.verdict);
      EXPECT_EQ(run.unverified.empty(), outer.verdict != L"Error!");
      for (const Difference& d : run.unverified) EXPECT_NE(d.name, L"IconsOnly");
      EXPECT_EQ(run.undoFiles.size(), 1u);
      EXPECT_EQ(undoFiles(f).size(), 1 + inner.undoFiles);
    }
  }
}

TEST_F(VerifiedRepairTest, TheRecycleBinsDriveIsAskedOnceAndTheAnswerServesBothRuns) {
  fake().addDirectory(L"D:\\");
  fake().addDirectory(L"D:\\$Recycle.Bin");
  fake().addFile(L"D:\\$Recycle.Bin\\$R1.txt");
  fake().answerInputBoxes({std::wstring(L"D")});
  fake().answerMessageBoxes({kIdYes});

  const VerifiedRun run = press("advanced.corrupted-recycle-bin");
  EXPECT_EQ(fake().inputPrompts.size(), 1u);
  EXPECT_EQ(boxesWith(L"All items on the Recycle Bin will be deleted, do you want to continue?"),
            1);
  EXPECT_FALSE(fake().directoryExists(L"D:\\$Recycle.Bin"));
  expectOutcome(kFixedNoticeText, kMbIconInformation);
  EXPECT_EQ(run.undoFiles.size(), 1u);
}

TEST_F(VerifiedRepairTest, ACancelledQuestionEndsBothRunsAndLeavesNoUndoFile) {
  fake().addDirectory(L"D:\\");
  fake().addDirectory(L"D:\\$Recycle.Bin");
  fake().answerInputBoxes({std::wstring(L"D")});
  fake().answerMessageBoxes({kIdNo});

  const VerifiedRun run = press("advanced.corrupted-recycle-bin");
  EXPECT_TRUE(fake().directoryExists(L"D:\\$Recycle.Bin"));
  EXPECT_EQ(fake().inputPrompts.size(), 1u);
  EXPECT_EQ(fake().messages().size(), 1u);  // the question, and nothing after it
  EXPECT_TRUE(run.undoFiles.empty());
  EXPECT_TRUE(fake().filesUnder(kUndo).empty());
}

TEST_F(VerifiedRepairTest, AnUndoFileThatCannotBeWrittenAsksBeforeRepairing) {
  const struct {
    const char* what;
    std::function<void(fake::FakePlatform&)> setUp;
    std::wstring reason;
  } cases[] = {
      {"ProgramData not writable",
       [](fake::FakePlatform& f) { f.addDirectory(L"C:\\ProgramData", /*readOnly=*/true); },
       L"cannot create \"C:\\ProgramData\\Korvane\" (Access is denied)"},
      {"no ProgramData", [](fake::FakePlatform& f) { f.programData.reset(); },
       L"the ProgramData folder of this computer is not known"},
      {"full disk", [](fake::FakePlatform& f) { f.freeBytes = 10; },
       L"There is not enough space on the disk"},
  };
  for (const auto& c : cases) {
    for (const int answer : {kIdNo, kIdYes}) {
      SCOPED_TRACE(std::string(c.what) + (answer == kIdYes ? ", Yes" : ", No"));
      fake::ScopedFakePlatform machine;
      auto& f = *machine;
      f.setDword(HKCU, kAdvanced, L"IconsOnly", 1);
      c.setUp(f);
      f.answerMessageBoxes({answer});

      const VerifiedRun run = PressVerified(f, *FindRepair("advanced.thumbnails"));
      ASSERT_FALSE(f.messages().empty());
      EXPECT_EQ(f.messages()[0].text,
                L"The undo file could not be written: " + c.reason + L". Repair anyway?");
      EXPECT_EQ(f.messages()[0].title, L"Korvane");
      EXPECT_EQ(f.messages()[0].flags, kMbYesNo | kMbIconWarning);
      EXPECT_TRUE(run.undoFiles.empty());
      EXPECT_EQ(run.ran, answer == kIdYes);
      EXPECT_EQ(f.dwordValue(HKCU, kAdvanced, L"IconsOnly"), answer == kIdYes ? 0u : 1u);
      EXPECT_EQ(f.messages().size(), answer == kIdYes ? 2u : 1u);
    }
  }
}

TEST_F(VerifiedRepairTest, AUsersOwnClassKeyNeverTurnsAGoodRepairIntoAnError) {
  // The machine's .txt has a subkey the script does not write; deleting
  // HKEY_CLASSES_ROOT\.txt takes the user's copy only, so it shows through.
  fake().setString(HKLM, L"Software\\Classes\\.txt", L"", L"txtfile");
  fake().createKey(HKLM, L"Software\\Classes\\.txt\\OpenWithList\\notepad.exe");
  fake().setString(HKCU, L"Software\\Classes\\.txt", L"", L"MyEditor.txt");
  fake().setValue(HKCU, L"Software\\Classes\\.txt", L"Odd", 0x4242, Bytes({7}));
  fake().setString(HKCU, L"Software\\Classes\\txtfile\\shell\\open\\command", L"", L"ed.exe %1");
  const std::wstring before = allHives();

  const VerifiedRun run = press("assoc.txt");
  EXPECT_TRUE(run.unverified.empty());
  expectOutcome(L"Done!", kMbIconInformation);
  EXPECT_EQ(boxesWith(L"Error!"), 0);
  EXPECT_EQ(fake().stringValue(HKCR, L".txt", L""), L"txtfile");
  EXPECT_FALSE(fake().keyExists(HKCU, L"Software\\Classes\\.txt"));

  // The undo file gives each copy back what it held.
  ASSERT_EQ(run.undoFiles.size(), 1u);
  const UndoOutcome undo = UndoFromFile(fake(), run.undoFiles[0]);
  EXPECT_TRUE(undo.done) << fake::Narrow(undo.failure);
  EXPECT_TRUE(undo.unverified.empty());
  EXPECT_EQ(allHives(), before);
}

TEST_F(VerifiedRepairTest, AReplacedHostsFileIsKeptAndAnUndoPutsItBackByteForByte) {
  const std::wstring hosts = L"C:\\Windows\\System32\\drivers\\etc\\hosts";
  fake().addDirectory(L"C:\\Windows\\System32\\drivers");
  fake().addDirectory(L"C:\\Windows\\System32\\drivers\\etc");
  const auto own = Bytes({'1', '0', '.', '0', '.', '0', '.', '1', ' ', 'n', 'a', 's', '\n', 0xC3,
                          0xA9, '\r', '\n', '#', 0});
  fake().addFile(hosts, own);

  const VerifiedRun run = press("advanced.hosts-file");
  expectOutcome(kFixedNoticeText, kMbIconInformation);
  ASSERT_EQ(run.undoFiles.size(), 1u);
  const std::wstring kept = kUndo + L"\\2025-03-14 092653 advanced.hosts-file.hosts";
  EXPECT_EQ(fake().fileBytes(kept), own);
  EXPECT_NE(fake().fileBytes(hosts), own);

  const UndoOutcome undo = UndoFromFile(fake(), run.undoFiles[0]);
  EXPECT_TRUE(undo.done) << fake::Narrow(undo.failure);
  EXPECT_EQ(fake().fileBytes(hosts), own);
  const auto entry = ReadUndoFile(fake(), run.undoFiles[0]);
  ASSERT_TRUE(entry.has_value());
  EXPECT_TRUE(entry->undone);
  EXPECT_EQ(ChangesText(*entry), L"0 keys, 0 values, 1 file");
}

TEST_F(VerifiedRepairTest, RemoveRestrictionWritesOneUndoFilePerRestrictionAsTheCommandLineDoes) {
  const std::wstring system = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
  fake().setDword(HKCU, system, L"DisableTaskMgr", 1);
  fake().setDword(HKCU, system, L"DisableRegistryTools", 2);
  const std::wstring before = allHives();
  RestrictionList list;
  ScanRestrictions(list);
  for (size_t i = 0; i < list.items().size(); ++i) list.setChecked(i, true);
  ASSERT_EQ(list.selection().size(), 2u);

  const VerifiedRun verified = RemoveRestrictionsVerified(fake(), list);
  expectOutcome(L"Done!", kMbIconInformation);
  ASSERT_EQ(verified.undoFiles.size(), 2u);
  EXPECT_TRUE(fake().valueNames(HKCU, system).empty());
  for (const auto& path : verified.undoFiles) EXPECT_TRUE(importFile(path).empty());
  EXPECT_EQ(allHives(), before);

  for (const auto& path : verified.undoFiles) {
    const auto entry = ReadUndoFile(fake(), path);
    ASSERT_TRUE(entry.has_value());
    last = run({"fix", entry->id, "--backup", "C:\\Backup"});
    EXPECT_EQ(WithoutOwnPath(undoText(L"C:\\Backup\\" + FromUtf8(entry->id) + L".reg")),
              WithoutOwnPath(undoText(path)))
        << entry->id;
    EXPECT_TRUE(importFile(L"C:\\Backup\\" + FromUtf8(entry->id) + L".reg").empty());
  }
}

}  // namespace
}  // namespace korvane
