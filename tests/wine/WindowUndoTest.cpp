// The window's repairs as a user meets them, on the real registry with the system's
// reg.exe: each press keeps an undo file first, and Undo puts back exactly what was
// there before, odd values and replaced files included.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "RecordingPlatform.h"
#include "RegistryState.h"
#include "WineSupport.h"
#include "advfix/Unit_AdvFix_Korvane.h"
#include "changes/UndoFiles.h"
#include "common/Messages.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "fileassoc/Unit_FORMLAIN_Korvane.h"
#include "repairs/VerifiedPress.h"

namespace korvane::wine {
namespace {

const HKEY CR = HKEY_CLASSES_ROOT;
const HKEY CU = HKEY_CURRENT_USER;
const std::wstring kTxtChoice =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.txt";

std::optional<std::vector<std::uint8_t>> FileBytes(const std::wstring& path) {
  std::vector<std::uint8_t> bytes;
  if (!Sys().readFile(path, &bytes)) return std::nullopt;
  return bytes;
}

// TEMP of its own, and ProgramData (OwnProgramData), so that the scripts land where
// the test can see them.
class WindowUndoTest : public ::testing::Test {
 protected:
  void SetUp() override { TempPath = temp_.path() + L"\\"; }
  void TearDown() override { TempPath = savedTemp_; }

  std::wstring undoFolder() {
    return data_.path() + L"\\Korvane\\Undo\\" + sys_.processUserSid().value_or(L"?");
  }

  const Repair& repair(const char* id) {
    const Repair* r = FindRepair(id);
    if (!r) throw std::runtime_error(std::string("no repair ") + id);
    return *r;
  }

  ScratchDir data_{L"korvane-undo-data"};
  OwnProgramData sys_{data_.path()};

 private:
  // The window's record of the undo files it wrote goes back as it was.
  KeyGuard keepRecords_{HKEY_LOCAL_MACHINE, L"HKLM", L"SOFTWARE\\Korvane"};
  ScratchDir temp_{L"korvane-undo-temp"};
  std::wstring savedTemp_ = TempPath;
};

std::string TxtState() {
  return Snapshot(CR, L".txt") + Snapshot(CR, L"txtfile") + Snapshot(CU, kTxtChoice);
}

TEST_F(WindowUndoTest, AUsersOwnTxtAssociationSurvivesFixAndUndoExactly) {
  KeyGuard keepTxt(CR, L"HKCR", L".txt");
  KeyGuard keepTxtfile(CR, L"HKCR", L"txtfile");
  KeyGuard keepChoice(CU, L"HKCU", kTxtChoice);
  DeleteTree(CR, L".txt");
  DeleteTree(CR, L"txtfile");
  DeleteTree(CU, kTxtChoice);
  // The user's own association, with values of every kind the repair never writes:
  // names that need escaping, text with a line break, and an empty value of no type.
  Put(CR, L".txt", L"", REG_SZ, Text(L"MyEditor.txt"));
  Put(CR, L".txt", L"Multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, ' ', 0, 'c', 0, 0, 0, 0, 0});
  Put(CR, L".txt", L"Qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 0x88});
  Put(CR, L".txt", L"Binary", REG_BINARY, {0x00, 0xFF, 0x0D, 0x0A});
  Put(CR, L".txt", L"Nothing", REG_NONE, {});
  Put(CR, L".txt", L"Quote \"and\" back\\slash", REG_SZ, Text(L"line one\r\nline two"));
  Put(CR, L".txt", L"Expand", REG_EXPAND_SZ, Text(L"%TEMP%\\mine"));
  Put(CR, L".txt\\ShellNew", L"NullFile", REG_SZ, Text(L""));
  Put(CR, L"txtfile\\shell\\edit\\command", L"", REG_EXPAND_SZ, Text(L"C:\\Tools\\ed.exe \"%1\""));
  Put(CU, kTxtChoice + L"\\UserChoice", L"ProgId", REG_SZ, Text(L"MyEditor.txt"));
  Put(CU, kTxtChoice + L"\\OpenWithProgids", L"MyEditor.txt", REG_NONE, {});
  const std::string before = TxtState();

  const VerifiedRun run = PressVerified(sys_, repair("assoc.txt"));

  ASSERT_TRUE(run.ran);
  EXPECT_TRUE(run.unverified.empty()) << "the read-back found " << run.unverified.size();
  EXPECT_EQ(sys_.boxes(), (std::vector<RecordedBox>{{L"Done!", L"Korvane", kMbIconInformation}}));
  EXPECT_EQ(ReadString(CR, L".txt", L""), L"txtfile");
  EXPECT_EQ(ReadString(CU, kTxtChoice + L"\\UserChoice", L"ProgId"), L"txtfile");
  ASSERT_EQ(run.undoFiles.size(), 1u);
  const std::wstring& undo = run.undoFiles[0];
  const std::wstring name = undo.substr(undo.rfind(L'\\') + 1);
  EXPECT_EQ(undo.substr(0, undo.rfind(L'\\')), undoFolder());
  EXPECT_TRUE(
      std::regex_match(ToUtf8(name), std::regex(R"(\d{4}-\d\d-\d\d \d{6} assoc\.txt\.reg)")))
      << ToUtf8(name);
  const auto listed = ListUndoFiles(sys_, undoFolder());
  ASSERT_FALSE(listed.empty());
  EXPECT_EQ(listed[0].repair, L"TXT: Text Document");
  EXPECT_FALSE(listed[0].undone);

  const UndoOutcome outcome = UndoFromFile(sys_, undo);

  EXPECT_TRUE(outcome.done) << ToUtf8(outcome.failure);
  EXPECT_TRUE(outcome.unverified.empty());
  EXPECT_EQ(TxtState(), before);
  EXPECT_TRUE(ListUndoFiles(sys_, undoFolder())[0].undone);
}

// A string stored without its terminating zero is written to the undo file byte for
// byte (hex(1)); Windows' reg.exe imports those bytes as they are, Wine's adds the
// zero.  Either way the read-back compares what came back with what was there, so
// where the import changed it the user is told, never "Done!".
TEST_F(WindowUndoTest, AnUndoIsDoneOnlyWhenEveryByteCameBack) {
  KeyGuard keepTxt(CR, L"HKCR", L".txt");
  KeyGuard keepTxtfile(CR, L"HKCR", L"txtfile");
  KeyGuard keepChoice(CU, L"HKCU", kTxtChoice);
  DeleteTree(CR, L".txt");
  Put(CR, L".txt", L"", REG_SZ, Text(L"MyEditor.txt"));
  Put(CR, L".txt", L"Unterminated", REG_SZ, {'a', 0, 'b', 0});
  const std::optional<Stored> before = ReadValue(CR, L".txt", L"Unterminated");
  const VerifiedRun run = PressVerified(sys_, repair("assoc.txt"));
  ASSERT_EQ(run.undoFiles.size(), 1u);
  const auto listed = ListUndoFiles(sys_, undoFolder());
  ASSERT_FALSE(listed.empty());
  sys_.clearBoxes();

  const bool done = UndoWithMessages(sys_, listed[0]);

  const bool exact = ReadValue(CR, L".txt", L"Unterminated") == before;
  EXPECT_EQ(done, exact);
  EXPECT_EQ(sys_.boxes(), (std::vector<RecordedBox>{{exact ? L"Done!" : L"Error!", L"Korvane",
                                                     exact ? kMbIconInformation : kMbIconError}}));
  EXPECT_EQ(ReadString(CR, L".txt", L""), L"MyEditor.txt");
}

// Any program the user runs may write the undo folder; the window, elevated, imports
// only a file still as it wrote it.
TEST_F(WindowUndoTest, AnUndoFileChangedAfterTheRepairIsNotImported) {
  KeyGuard keepTxt(CR, L"HKCR", L".txt");
  KeyGuard keepTxtfile(CR, L"HKCR", L"txtfile");
  KeyGuard keepChoice(CU, L"HKCU", kTxtChoice);
  KeyGuard keepPwned(HKEY_LOCAL_MACHINE, L"HKLM", L"SOFTWARE\\KorvanePwned");
  const VerifiedRun run = PressVerified(sys_, repair("assoc.txt"));
  ASSERT_EQ(run.undoFiles.size(), 1u);
  std::vector<std::uint8_t> bytes = *FileBytes(run.undoFiles[0]);
  for (char c : std::string("\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KorvanePwned]\r\n"))
    bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c), 0});
  ASSERT_TRUE(Sys().writeFile(run.undoFiles[0], bytes));
  sys_.clearBoxes();

  EXPECT_FALSE(UndoWithMessages(sys_, ListUndoFiles(sys_, undoFolder()).at(0)));

  EXPECT_EQ(sys_.boxes(), (std::vector<RecordedBox>{{L"Error!", L"Korvane", kMbIconError}}));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KorvanePwned"));
  EXPECT_EQ(ReadString(CR, L".txt", L""), L"txtfile");
}

// The hosts file is replaced whole; what the user had is kept beside the undo file
// and comes back byte for byte, line ends and all.
TEST_F(WindowUndoTest, ACustomHostsFileSurvivesResetAndUndoByteForByte) {
  const std::wstring hosts = HostsFilePath();
  const std::optional<std::vector<std::uint8_t>> original = FileBytes(hosts);
  struct PutBack {
    std::wstring path;
    std::optional<std::vector<std::uint8_t>> bytes;
    ~PutBack() {
      if (bytes) Sys().writeFile(path, *bytes);
    }
  } putBack{hosts, original};
  const std::vector<std::uint8_t> mine = {'1', '0', '.',  '0',  '.',  '0',  '.', '5',  ' ',
                                          'i', 'n', 't',  'r',  'a',  'n',  'e', 't',  '\n',
                                          '#', ' ', 0xE9, '\r', '\n', '\r', 'x', 0x00, 'y'};
  ASSERT_TRUE(Sys().writeFile(hosts, mine));

  const VerifiedRun run = PressVerified(sys_, repair("advanced.hosts-file"));

  ASSERT_TRUE(run.ran);
  EXPECT_TRUE(run.unverified.empty());
  for (const RecordedBox& box : sys_.boxes()) EXPECT_NE(box.text, L"Error!");
  EXPECT_EQ(FileBytes(hosts), LinesToCrLfBytes(FORM_LAIN().MEMO_HOSTS));
  ASSERT_EQ(run.undoFiles.size(), 1u);
  const std::optional<UndoEntry> entry = ReadUndoFile(sys_, run.undoFiles[0]);
  ASSERT_TRUE(entry.has_value());
  ASSERT_EQ(entry->kept.size(), 1u);
  EXPECT_TRUE(SameNoCase(entry->kept[0].original, hosts));
  EXPECT_EQ(FileBytes(undoFolder() + L"\\" + entry->kept[0].name), mine);

  const UndoOutcome outcome = UndoFromFile(sys_, run.undoFiles[0]);

  EXPECT_TRUE(outcome.done) << ToUtf8(outcome.failure);
  EXPECT_EQ(FileBytes(hosts), mine);
}

// Names in the user's own keys are data: line breaks in them never become sections
// of an undo file (one that the user's hand would aim at HKEY_LOCAL_MACHINE).  The
// file is not written; the question says why, and Yes repairs without it.
TEST_F(WindowUndoTest, LineBreaksInTheUsersKeyNamesNeverReachAnUndoFile) {
  KeyGuard keepTxt(CR, L"HKCR", L".txt");
  KeyGuard keepTxtfile(CR, L"HKCR", L"txtfile");
  KeyGuard keepChoice(CU, L"HKCU", kTxtChoice);
  KeyGuard keepPlanted(HKEY_LOCAL_MACHINE, L"HKLM", L"SOFTWARE\\Planted");
  Put(CU, kTxtChoice + L"\\a]\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Planted]\r\n;", L"v", REG_SZ,
      Text(L"x"));
  sys_.boxAnswers = {IDYES};

  const VerifiedRun run = PressVerified(sys_, repair("assoc.txt"));

  ASSERT_FALSE(sys_.boxes().empty());
  EXPECT_NE(sys_.boxes()[0].text.find(L"has a name that a registry script cannot carry back"),
            std::wstring::npos)
      << ToUtf8(sys_.boxes()[0].text);
  EXPECT_TRUE(run.ran);
  EXPECT_TRUE(run.undoFiles.empty());
  std::vector<std::wstring> names;
  if (Sys().listFiles(undoFolder(), &names)) {
    EXPECT_TRUE(names.empty());
  }
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Planted"));
  EXPECT_EQ(ReadString(CR, L".txt", L""), L"txtfile");
}

// A file far larger than any undo file (2 MB of continued lines) is listed as too
// large and never read; the window's own files are listed beside it.
TEST_F(WindowUndoTest, AHugeFileInTheStoreIsListedAsTooLargeAndTheOthersStillShow) {
  KeyGuard keepTxt(CR, L"HKCR", L".txt");
  KeyGuard keepTxtfile(CR, L"HKCR", L"txtfile");
  KeyGuard keepChoice(CU, L"HKCU", kTxtChoice);
  const VerifiedRun run = PressVerified(sys_, repair("assoc.txt"));
  ASSERT_EQ(run.undoFiles.size(), 1u);
  std::string big =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n\"v\"=hex:00,\\\r\n";
  while (big.size() < (2u << 20)) big += "  00,00,00,00,00,00,00,00,\\\r\n";
  big += "  00\r\n";
  const std::wstring huge = undoFolder() + L"\\2000-01-01 000000 assoc.bat.reg";
  ASSERT_TRUE(Sys().writeFile(huge, std::vector<std::uint8_t>(big.begin(), big.end())));

  const DWORD start = GetTickCount();
  const std::vector<UndoEntry> listed = ListUndoFiles(sys_, undoFolder());
  const DWORD took = GetTickCount() - start;

  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].path, run.undoFiles[0]);
  EXPECT_FALSE(listed[0].tooLarge);
  EXPECT_TRUE(listed[1].tooLarge);
  EXPECT_EQ(RowOf(listed[1]).changes, L"too large to read");
  EXPECT_LT(took, 2000u) << "listing read the large file";
  Sys().deleteFile(huge);
}

}  // namespace
}  // namespace korvane::wine
