// The File Associations Fixer against the fake: writing and importing a script, the
// rows that choose the script, and the direct repair of the .exe registration.
#include <algorithm>
#include <functional>
#include <optional>

#include "../support/ExeRepairTable.h"
#include "TestSupport.h"
#include "advfix/Unit_AdvFix_Korvane.h"
#include "common/KorvaneError.h"
#include "common/PrivateFolders.h"
#include "common/RestartExplorer.h"
#include "fileassoc/FileAssoc.h"

namespace korvane {
namespace {

using fake::Narrow;
using testing::FakeTest;

const wchar_t kRegeditPath[] = L"C:\\Windows\\Regedit.exe";
const wchar_t kSystemRegExe[] = L"C:\\Windows\\System32\\reg.exe";

// The bytes of a UTF-16LE file with a byte-order mark holding the 7-bit `text`.
std::string Utf16File(const std::string& text) {
  std::string bytes = "\xFF\xFE";
  for (char c : text) bytes += std::string{c, '\0'};
  return bytes;
}

// The script reg.exe is given: every line ended by CR LF, in UTF-16.
std::string CrLfText(const Payload& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return Utf16File(text);
}

const FileTypeRow& Row(const std::wstring& label) {
  for (const FileTypeRow& r : FileTypeCatalogue())
    if (label == r.label) return r;
  throw std::runtime_error("no row " + Narrow(label));
}

// A machine where the import can run (the fake comes with C:\Temp, Regedit.exe and
// reg.exe), with a reg.exe that notes what script it found when it started.
class FileAssocTest : public FakeTest {
 protected:
  void SetUp() override {
    FakeTest::SetUp();
    ASSERT_TRUE(fake().directoryExists(L"C:\\Temp"));
    ASSERT_TRUE(fake().fileExists(kRegeditPath));
  }

  void installRegExe(std::uint32_t exitCode = 0, std::function<void()> onStart = {}) {
    fake().addFile(kSystemRegExe);
    fake().addProgram(L"reg.exe", {exitCode,
                                   /*polls=*/2,
                                   [this, onStart](const std::wstring&) {
                                     if (fake().fileExists(watched_))
                                       scriptAtStart_ = fake().fileText(watched_);
                                     if (onStart) onStart();
                                   },
                                   {}});
  }
  // The script file whose contents reg.exe is to note.
  void watch(const std::wstring& path) { watched_ = path; }
  const std::optional<std::string>& scriptAtStart() const { return scriptAtStart_; }

  std::vector<std::wstring> commandLines() {
    std::vector<std::wstring> out;
    for (const auto& l : fake().launches()) out.push_back(l.commandLine);
    return out;
  }

  void expectOneBox(const std::wstring& text, unsigned flags) {
    ASSERT_EQ(fake().messages().size(), 1u) << "boxes shown: " << fake().messages().size();
    EXPECT_EQ(fake().messages()[0].text, text);
    EXPECT_EQ(fake().messages()[0].title, L"Korvane");
    EXPECT_EQ(fake().messages()[0].flags, flags);
  }

 private:
  std::wstring watched_;
  std::optional<std::string> scriptAtStart_;
};

// ------------------------------------------------------ script path and command

struct TempCase {
  const char* name;
  const wchar_t* folder;  // TEMP without the trailing backslash
  const wchar_t* commandLine;
};

void PrintTo(const TempCase& c, std::ostream* os) { *os << c.name; }

class FileAssocScriptPathTest : public FileAssocTest,
                                public ::testing::WithParamInterface<TempCase> {};

TEST_P(FileAssocScriptPathTest, WritesTypeCodeDotRegInTempAndImportsItHiddenThenDeletesIt) {
  const TempCase& c = GetParam();
  fake().addDirectory(c.folder);
  TempPath = std::wstring(c.folder) + L"\\";
  const std::wstring script = TempPath + L"ZIP.reg";
  watch(script);
  installRegExe();

  ApplyRegScript(FORM_LAIN().mFIX_ZIP_W10, L"ZIP");

  ASSERT_EQ(fake().launches().size(), 1u);
  EXPECT_EQ(fake().launches()[0].commandLine, c.commandLine);
  EXPECT_EQ(fake().launches()[0].showMode, 0) << "a console window would flash up";
  EXPECT_TRUE(fake().launches()[0].waited);
  ASSERT_TRUE(scriptAtStart().has_value()) << "reg.exe found no script at " << Narrow(script);
  EXPECT_EQ(*scriptAtStart(), CrLfText(FORM_LAIN().mFIX_ZIP_W10));
  EXPECT_FALSE(fake().fileExists(script)) << "the script is left in TEMP";
  expectOneBox(L"Done!", kMbIconInformation);
}

INSTANTIATE_TEST_SUITE_P(
    FileAssoc, FileAssocScriptPathTest,
    ::testing::Values(
        // The usual form stays exactly as it always was: no quotation marks.
        TempCase{"WithoutBlank", L"C:\\Temp", L"reg.exe import C:\\Temp\\ZIP.reg"},
        // Unquoted, reg.exe would see "C:\Users\Ann" and import nothing.
        TempCase{"WithBlank", L"C:\\Users\\Ann Lee\\AppData\\Local\\Temp",
                 L"reg.exe import \"C:\\Users\\Ann Lee\\AppData\\Local\\Temp\\ZIP.reg\""},
        TempCase{"WithAmpersand", L"C:\\work\\t&calc",
                 L"reg.exe import \"C:\\work\\t&calc\\ZIP.reg\""}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ script contents

// UTF-16 with a byte-order mark is how regedit exports, and the one form in which
// Wine's reg.exe reads hex(2) data as text; Windows' reg.exe reads both forms alike.
TEST_F(FileAssocTest, WritesEveryLineWithCrLfTheEmptyLastLineTooAsUtf16WithAByteOrderMark) {
  const Payload lines = {"Windows Registry Editor Version 5.00", "",
                         "[HKEY_CURRENT_USER\\Software\\Korvane]", "@=\"x\"", ""};
  watch(L"C:\\Temp\\TEST.reg");
  installRegExe();

  ApplyRegScript(lines, L"TEST");

  ASSERT_TRUE(scriptAtStart().has_value());
  const std::string& bytes = *scriptAtStart();
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(bytes, Utf16File("Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Korvane]\r\n@=\"x\"\r\n\r\n"));
  EXPECT_EQ(bytes.size() % 2, 0u) << "half a UTF-16 unit at the end";
}
TEST_F(FileAssocTest, ReplacesAStaleScriptOfTheSameNameInsteadOfAppendingToIt) {
  const std::string stale =
      "Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_CLASSES_ROOT\\.txt]\r\n" +
      std::string(20000, ';');
  fake().addTextFile(L"C:\\Temp\\BAT.reg", stale);
  watch(L"C:\\Temp\\BAT.reg");
  installRegExe();

  ApplyRegScript(FORM_LAIN().mFIX_BAT_W10, L"BAT");

  ASSERT_TRUE(scriptAtStart().has_value());
  EXPECT_EQ(*scriptAtStart(), CrLfText(FORM_LAIN().mFIX_BAT_W10));
  expectOneBox(L"Done!", kMbIconInformation);
}

// ------------------------------------------------------------ failures

TEST_F(FileAssocTest, WithoutRegeditStopsSilentlyAndLeavesTheScript) {
  Sys().deleteFile(kRegeditPath);
  installRegExe();

  ApplyRegScript(FORM_LAIN().mFIX_COM_W10, L"COM");

  EXPECT_TRUE(fake().launches().empty());
  EXPECT_TRUE(fake().messages().empty());
  ASSERT_TRUE(fake().fileExists(L"C:\\Temp\\COM.reg"));
  EXPECT_EQ(fake().fileText(L"C:\\Temp\\COM.reg"), CrLfText(FORM_LAIN().mFIX_COM_W10));
}

// reg.exe imports with administrator rights, and TEMP is open to every program of
// the user: the script must be exactly what was written, from the check until
// reg.exe has ended.
TEST_F(FileAssocTest, AScriptChangedBeforeTheImportIsNotImported) {
  const std::wstring script = L"C:\\Temp\\BAT.reg";
  watch(script);
  installRegExe();
  fake().onLock = [&](const std::wstring& path) {
    if (path == script)
      fake().addTextFile(path,
                         "Windows Registry Editor Version 5.00\r\n"
                         "[HKEY_CURRENT_USER\\Software\\Pwned]\r\n");
  };

  ApplyRegScript(FORM_LAIN().mFIX_BAT_W10, L"BAT");

  EXPECT_TRUE(fake().launches().empty());
  EXPECT_FALSE(scriptAtStart().has_value());
  expectOneBox(L"Error!", kMbIconError);
}

TEST_F(FileAssocTest, NobodyCanChangeTheScriptWhileRegExeRuns) {
  const std::wstring script = L"C:\\Temp\\BAT.reg";
  watch(script);
  fake().addTextFile(L"C:\\Temp\\evil.reg", "[HKEY_CURRENT_USER\\Software\\Pwned]\r\n");
  std::vector<bool> racerGotIn;
  installRegExe(0, [&] {
    racerGotIn = {fake().writeFile(script, {'x'}), fake().deleteFile(script),
                  fake().replaceFile(L"C:\\Temp\\evil.reg", script)};
  });

  ApplyRegScript(FORM_LAIN().mFIX_BAT_W10, L"BAT");

  EXPECT_EQ(racerGotIn, (std::vector<bool>{false, false, false}));
  ASSERT_TRUE(scriptAtStart().has_value());
  EXPECT_EQ(*scriptAtStart(), CrLfText(FORM_LAIN().mFIX_BAT_W10));
  EXPECT_FALSE(fake().fileLocked(script));
  EXPECT_FALSE(fake().fileExists(script)) << "the script is left in TEMP";
  expectOneBox(L"Done!", kMbIconInformation);
}

// Each run writes its scripts into a folder of its own, so two runs at once never
// meet, and a link somebody left at the old fixed name in TEMP is never written
// through.  A script that does not fit on the disk is not left behind cut short.
TEST_F(FileAssocTest, TwoRunsAtOnceEachImportTheirOwnScriptAndAFullDiskLeavesNothing) {
  fake().addFile(L"C:\\Windows\\System32\\drivers\\etc\\hosts", {'h'});
  fake().addLink(L"C:\\Temp\\TXT.reg", L"C:\\Windows\\System32\\drivers\\etc");
  const auto before = fake().allFiles();
  std::vector<std::wstring> scripts;
  bool secondRunStarted = false;
  installRegExe(0, [&] {
    scripts.push_back(commandLines().back());
    if (secondRunStarted) return;
    secondRunStarted = true;
    // Another Korvane, started while this one's reg.exe runs.
    const std::wstring first = TempPath;
    TempPath = RunScratchPath(fake());
    ApplyRegScript(FORM_LAIN().mFIX_TXT_W10, L"TXT");
    RemoveRunScratchFolder();
    TempPath = first;
  });
  TempPath = RunScratchPath(fake());

  ApplyRegScript(FORM_LAIN().mFIX_TXT_W10, L"TXT");

  ASSERT_EQ(scripts.size(), 2u);
  EXPECT_NE(scripts[0], scripts[1]);
  for (const std::wstring& line : scripts)
    EXPECT_NE(line.find(L"C:\\ProgramData\\Korvane\\Scratch\\"), std::wstring::npos)
        << Narrow(line);
  ASSERT_EQ(fake().messages().size(), 2u);
  for (const auto& box : fake().messages()) EXPECT_EQ(box.text, L"Done!");
  EXPECT_EQ(fake().allFiles(), before);

  fake().freeBytes = 10;
  ApplyRegScript(FORM_LAIN().mFIX_TXT_W10, L"TXT");
  EXPECT_EQ(fake().messages().back().text, L"Error!");
  EXPECT_EQ(fake().launches().size(), 2u) << "reg.exe ran on a cut-short script";
  EXPECT_TRUE(fake().filesUnder(TempPath).empty());
  RemoveRunScratchFolder();
  EXPECT_TRUE(fake().filesUnder(L"C:\\ProgramData\\Korvane\\Scratch").empty());
  EXPECT_FALSE(fake().directoryExists(TempPath));
}

// A process that is not elevated makes nothing under ProgramData: a folder it made
// would be its user's, and every elevated run after it would refuse it.  Without a
// scratch folder no scratch file is deleted or written anywhere else, the current
// folder included, and the error says why.
TEST_F(FileAssocTest, WithoutElevationNoScratchFolderIsMadeAndNothingIsWrittenElsewhere) {
  fake().elevated = false;
  TempPath = RunScratchPath(fake());
  EXPECT_EQ(TempPath, L"");
  EXPECT_FALSE(fake().directoryExists(L"C:\\ProgramData\\Korvane"));
  EXPECT_TRUE(OpenUndoStore(fake(), /*create=*/true).path.empty());
  EXPECT_FALSE(fake().directoryExists(L"C:\\ProgramData\\Korvane"));

  installRegExe();
  fake().resources[kRestartHelperResource] = {'M', 'Z'};
  const struct {
    const char* name;
    void (*repair)();
    std::wstring file;
  } cases[] = {
      {"file type", [] { ApplyRegScript(FORM_LAIN().mFIX_TXT_W10, L"TXT"); }, L"TXT.reg"},
      {"folder views", &ResetFolderViewSettings, L"tempbat.bat"},
      {"Explorer restart", &RestartExplorer, L"RestartExp.exe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake().addFile(c.file, {'k', 'e', 'e', 'p'});  // in the current folder
    const size_t boxes = fake().messages().size();
    RunHandler(c.repair);
    EXPECT_EQ(fake().fileText(c.file), "keep");
    ASSERT_EQ(fake().messages().size(), boxes + 1);
    EXPECT_EQ(fake().messages().back().flags, kMbIconError);
  }
  EXPECT_TRUE(fake().launches().empty());
  try {
    WriteHeldFile(L"TXT.reg", {'x'});
    ADD_FAILURE();
  } catch (const KorvaneError& e) {
    EXPECT_EQ(e.message(),
              L"Cannot create file \"TXT.reg\". There is no private folder for Korvane's scratch "
              L"files: Korvane is not running with administrator rights");
  }
}

struct TempFolderCase {
  const char* name;
  bool exists;
  bool readOnly;
};

void PrintTo(const TempFolderCase& c, std::ostream* os) { *os << c.name; }

class FileAssocUnwritableTempTest : public FileAssocTest,
                                    public ::testing::WithParamInterface<TempFolderCase> {};

TEST_P(FileAssocUnwritableTempTest, SaysErrorAndImportsNothing) {
  TempPath = L"D:\\Scratch\\";
  if (GetParam().exists) fake().addDirectory(L"D:\\Scratch", GetParam().readOnly);
  installRegExe();

  ApplyRegScript(FORM_LAIN().mFIX_COM_W10, L"COM");

  EXPECT_TRUE(fake().launches().empty());
  EXPECT_FALSE(fake().fileExists(L"D:\\Scratch\\COM.reg"));
  expectOneBox(L"Error!", kMbIconError);
}

INSTANTIATE_TEST_SUITE_P(FileAssoc, FileAssocUnwritableTempTest,
                         ::testing::Values(TempFolderCase{"ReadOnly", true, true},
                                           TempFolderCase{"Missing", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

enum class RegExe { ExitsWith0, ExitsWith1, CannotStart };

struct ImportCase {
  const char* name;
  RegExe regExe;
  const wchar_t* box;
  unsigned flags;
};

void PrintTo(const ImportCase& c, std::ostream* os) { *os << c.name; }

class FileAssocImportOutcomeTest : public FileAssocTest,
                                   public ::testing::WithParamInterface<ImportCase> {};

TEST_P(FileAssocImportOutcomeTest, SaysDoneOnlyForExitCodeZeroAndAlwaysDeletesTheScript) {
  const ImportCase& c = GetParam();
  watch(L"C:\\Temp\\TXT.reg");
  installRegExe(c.regExe == RegExe::ExitsWith0 ? 0 : 1);
  // Without the System directory's copy, the fake's reg.exe is one a search would
  // find elsewhere (the current folder, say): it must not be the one that runs.
  if (c.regExe == RegExe::CannotStart) Sys().deleteFile(kSystemRegExe);

  RunHandler([] { ApplyRegScript(FORM_LAIN().mFIX_TXT_W10, L"TXT"); });

  EXPECT_EQ(fake().launches().size(), c.regExe == RegExe::CannotStart ? 0u : 1u);
  EXPECT_EQ(scriptAtStart().has_value(), c.regExe != RegExe::CannotStart);
  EXPECT_FALSE(fake().fileExists(L"C:\\Temp\\TXT.reg"));
  expectOneBox(c.box, c.flags);
}

INSTANTIATE_TEST_SUITE_P(
    FileAssoc, FileAssocImportOutcomeTest,
    ::testing::Values(ImportCase{"ExitCode0", RegExe::ExitsWith0, L"Done!", kMbIconInformation},
                      // reg.exe ends with 1 for a file it could not read at all.
                      ImportCase{"ExitCode1", RegExe::ExitsWith1, L"Error!", kMbIconError},
                      // One that cannot start is named, like every other tool.
                      ImportCase{"NotStartable", RegExe::CannotStart,
                                 L"Cannot run \"reg.exe\". The system cannot find the file "
                                 L"specified.",
                                 kMbIconError}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ rows

TEST_F(FileAssocTest, DirectoryRowImportsDirRegWithTheDirectoryPayload) {
  watch(L"C:\\Temp\\DIR.reg");
  installRegExe();

  FixFileTypeRow(Row(L"DIRECTORY"));

  EXPECT_EQ(commandLines(), std::vector<std::wstring>{L"reg.exe import C:\\Temp\\DIR.reg"});
  ASSERT_TRUE(scriptAtStart().has_value());
  EXPECT_EQ(*scriptAtStart(), CrLfText(FORM_LAIN().mFIX_DIRECTORY_W10));
  expectOneBox(L"Done!", kMbIconInformation);
}

TEST_F(FileAssocTest, ExeRowRepairsTheRegistryDirectlyBeforeTheImportStarts) {
  fake().setString(kHkeyClassesRoot, L"exefile\\shell\\open\\command", L"", L"evil.exe \"%1\"");
  fake().setString(kHkeyCurrentUser,
                   std::wstring(exetable::kUserExeChoiceKeys[0]) + L"\\UserChoice", L"ProgId",
                   L"Applications\\evil.exe");
  std::optional<std::wstring> commandAtImport;
  bool userChoiceAtImport = true;
  watch(L"C:\\Temp\\EXE.reg");
  installRegExe(0, [&] {
    commandAtImport = fake().stringValue(kHkeyClassesRoot, L"exefile\\shell\\open\\command", L"");
    userChoiceAtImport = fake().keyExists(kHkeyCurrentUser, exetable::kUserExeChoiceKeys[0]);
  });

  RunHandler([&] { FixFileTypeRow(Row(L"EXE")); });

  EXPECT_EQ(commandLines(), std::vector<std::wstring>{L"reg.exe import C:\\Temp\\EXE.reg"});
  EXPECT_EQ(commandAtImport, L"\"%1\" %*") << "the import ran before the direct repair";
  EXPECT_FALSE(userChoiceAtImport);
  ASSERT_TRUE(scriptAtStart().has_value());
  EXPECT_EQ(*scriptAtStart(), CrLfText(FORM_LAIN().mFIX_EXE_W10));
  expectOneBox(L"Done!", kMbIconInformation);
}

TEST_F(FileAssocTest, ExeRowStopsAtARefusedWriteWithTheWrappersErrorAndImportsNothing) {
  // Step 6 of the repair writes "HasLUAShield" into this key.
  fake().denyWrites(kHkeyClassesRoot, L"exefile\\shell\\runas");
  fake().setString(kHkeyCurrentUser,
                   std::wstring(exetable::kUserExeChoiceKeys[0]) + L"\\UserChoice", L"ProgId",
                   L"Applications\\evil.exe");
  installRegExe();

  RunHandler([&] { FixFileTypeRow(Row(L"EXE")); });

  expectOneBox(L"Failed to set data for 'HasLUAShield'", kMbIconError);
  EXPECT_TRUE(fake().launches().empty());
  EXPECT_FALSE(fake().fileExists(L"C:\\Temp\\EXE.reg"));
  // The steps before the refused one took effect, the ones after it did not.
  EXPECT_EQ(fake().stringValue(kHkeyClassesRoot, L"exefile\\shell\\open\\command", L""),
            L"\"%1\" %*");
  EXPECT_FALSE(fake().keyExists(kHkeyClassesRoot, L"exefile\\shell\\runasuser"));
  EXPECT_TRUE(fake().keyExists(kHkeyCurrentUser, exetable::kUserExeChoiceKeys[0]));
  EXPECT_EQ(fake().openKeyHandles(), 0u) << "the failing step left its key open";
}

// ------------------------------------------------------------ direct .exe repair

// Every key of HKCR below path that holds a value.
void KeysWithValues(fake::FakePlatform& f, const std::wstring& path,
                    std::vector<std::wstring>* out) {
  if (!f.valueNames(kHkeyClassesRoot, path).empty()) out->push_back(LowerText(path));
  for (const auto& sub : f.subKeyNames(kHkeyClassesRoot, path))
    KeysWithValues(f, path.empty() ? sub : path + L"\\" + sub, out);
}

TEST_F(FileAssocTest, ExeRepairOnAnEmptyRegistryWritesExactlyTheTableInOrder) {
  FixExeAssociation();

  std::vector<std::wstring> expectedKeys;
  for (const auto& key : exetable::ExeRepairTable()) {
    SCOPED_TRACE(Narrow(key.path));
    expectedKeys.push_back(LowerText(key.path));
    std::vector<std::wstring> names;
    for (const auto& v : key.values) {
      names.push_back(v.name);
      const auto actual = fake().value(kHkeyClassesRoot, key.path, v.name);
      ASSERT_TRUE(actual.has_value()) << "no value '" << Narrow(v.name) << "'";
      EXPECT_EQ(actual->type, v.type) << Narrow(v.name);
      EXPECT_EQ(actual->bytes, v.bytes) << Narrow(v.name);
    }
    EXPECT_EQ(fake().valueNames(kHkeyClassesRoot, key.path), names);
  }
  std::vector<std::wstring> actualKeys;
  KeysWithValues(fake(), L"", &actualKeys);
  std::sort(expectedKeys.begin(), expectedKeys.end());
  std::sort(actualKeys.begin(), actualKeys.end());
  // In particular .exe itself gets neither its ProgID nor its Content Type here.
  EXPECT_EQ(actualKeys, expectedKeys);
  EXPECT_EQ(fake().openKeyHandles(), 0u);
}

TEST_F(FileAssocTest, ExeRepairOverwritesBrokenValuesKeepsForeignOnesAndDropsTheUsersChoice) {
  fake().setString(kHkeyClassesRoot, L"exefile", L"", L"Broken");
  fake().setString(kHkeyClassesRoot, L"exefile", L"EditFlags", L"not binary");
  fake().setString(kHkeyClassesRoot, L"exefile\\shell\\open\\command", L"Foreign", L"kept");
  fake().setString(kHkeyClassesRoot, L".exe", L"", L"exefile");
  const std::wstring userExe = exetable::kUserExeChoiceKeys[0];
  const std::wstring roamingExe = exetable::kUserExeChoiceKeys[1];
  fake().setString(kHkeyCurrentUser, userExe + L"\\UserChoice", L"ProgId", L"Applications\\x.exe");
  fake().setString(kHkeyCurrentUser, userExe + L"\\OpenWithList", L"a", L"x.exe");
  fake().setString(kHkeyCurrentUser, roamingExe + L"\\UserChoice", L"ProgId",
                   L"Applications\\x.exe");
  const std::wstring userTxt =
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.txt\\UserChoice";
  fake().setString(kHkeyCurrentUser, userTxt, L"ProgId", L"txtfile");

  FixExeAssociation();

  EXPECT_EQ(fake().stringValue(kHkeyClassesRoot, L"exefile", L""), L"Application");
  const auto flags = fake().value(kHkeyClassesRoot, L"exefile", L"EditFlags");
  ASSERT_TRUE(flags.has_value());
  EXPECT_EQ(flags->type, kRegBinary);
  EXPECT_EQ(fake().stringValue(kHkeyClassesRoot, L"exefile\\shell\\open\\command", L"Foreign"),
            L"kept");
  EXPECT_EQ(fake().stringValue(kHkeyClassesRoot, L".exe", L""), L"exefile");
  EXPECT_FALSE(fake().keyExists(kHkeyCurrentUser, userExe));
  EXPECT_FALSE(fake().keyExists(kHkeyCurrentUser, roamingExe));
  EXPECT_EQ(fake().stringValue(kHkeyCurrentUser, userTxt, L"ProgId"), L"txtfile")
      << "another extension's choice was removed";

  // A second run finds everything in place and the user keys gone: no error, no change.
  const std::wstring before = fake().dumpHive(kHkeyClassesRoot) + fake().dumpHive(kHkeyCurrentUser);
  EXPECT_NO_THROW(FixExeAssociation());
  EXPECT_EQ(fake().dumpHive(kHkeyClassesRoot) + fake().dumpHive(kHkeyCurrentUser), before);
}

}  // namespace
}  // namespace korvane
