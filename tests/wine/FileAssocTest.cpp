// The File Associations Fixer for real: a row's FIX writes its script into the
// temporary folder, the system's reg.exe imports it, the file goes and "Done!" is
// said; and the direct .exe repair against a real registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../support/ExeRepairTable.h"
#include "RecordingPlatform.h"
#include "WineSupport.h"
#include "common/KorvaneError.h"
#include "common/Registry.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "fileassoc/FileAssoc.h"
#include "platform/Platform.h"

namespace korvane::wine {
namespace {

// ------------------------------------------------------------ registry helpers

// name -> value, for every value of the key.
std::vector<std::pair<std::wstring, Stored>> AllValues(HKEY root, const std::wstring& path) {
  std::vector<std::pair<std::wstring, Stored>> out;
  HKEY k;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLen = 256, type = 0, size = 0;
    if (RegEnumValueW(k, i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    Stored s{type, std::vector<std::uint8_t>(size)};
    nameLen = 256;
    RegEnumValueW(k, i, name, &nameLen, nullptr, &s.type, s.bytes.data(), &size);
    s.bytes.resize(size);
    out.emplace_back(std::wstring(name, nameLen), s);
  }
  RegCloseKey(k);
  return out;
}

Stored ValueOf(HKEY root, const std::wstring& path, const std::wstring& name) {
  for (const auto& [n, v] : AllValues(root, path))
    if (_wcsicmp(n.c_str(), name.c_str()) == 0) return v;
  return {0xFFFFFFFF, {}};
}

void SetText(HKEY root, const std::wstring& path, const std::wstring& name,
             const std::wstring& text) {
  HKEY k;
  ASSERT_EQ(
      RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
      ERROR_SUCCESS);
  RegSetValueExW(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(k);
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

const FileTypeRow& Row(const std::wstring& label) {
  for (const FileTypeRow& r : FileTypeCatalogue())
    if (label == r.label) return r;
  throw std::runtime_error("no row " + Narrow(label));
}

bool FolderIsEmpty(const std::wstring& folder) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return true;
  bool empty = true;
  do {
    const std::wstring n = fd.cFileName;
    if (n != L"." && n != L"..") empty = false;
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return empty;
}

// A test with the recorder installed and TempPath pointing at its own scratch folder.
class FileAssocWineTest : public ::testing::Test {
 protected:
  void TearDown() override { TempPath = savedTempPath_; }
  void useTemp(const ScratchDir& dir) { TempPath = dir.path() + L"\\"; }

  RecordingPlatform sys_;

 private:
  std::wstring savedTempPath_ = TempPath;
};

// ------------------------------------------------------------ FIX on a row

struct RowCase {
  const char* name;
  const wchar_t* label;
  const wchar_t* folder;  // created under TEMP
  const wchar_t* extension;
  const wchar_t* progId;
};

void PrintTo(const RowCase& c, std::ostream* os) { *os << c.name; }

class FileAssocFixRowTest : public FileAssocWineTest,
                            public ::testing::WithParamInterface<RowCase> {};

TEST_P(FileAssocFixRowTest, ImportsTheScriptSaysDoneAndLeavesNoScriptBehind) {
  const RowCase& c = GetParam();
  ScratchDir dir(c.folder);
  ASSERT_TRUE(DirectoryExists(dir.path()));
  useTemp(dir);
  const std::wstring ext = c.extension;
  SetText(HKEY_CLASSES_ROOT, ext, L"", L"Contoso.Hijacked");
  SetText(
      HKEY_CURRENT_USER,
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\" + ext + L"\\UserChoice",
      L"ProgId", L"Contoso.Hijacked");

  RunHandler([&] { FixFileTypeRow(Row(c.label)); });

  // Without quotation marks a TEMP with a blank makes reg.exe stop with "Invalid
  // syntax" (exit code 1) and the row says "Error!".
  EXPECT_EQ(sys_.boxes(), (std::vector<RecordedBox>{{L"Done!", L"Korvane", kMbIconInformation}}));
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ext, L""), c.progId);
  EXPECT_FALSE(
      KeyExists(HKEY_CURRENT_USER,
                L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\" + ext));
  EXPECT_FALSE(FileExists(TempPath + c.label + L".reg"));
  EXPECT_TRUE(FolderIsEmpty(dir.path())) << "something was left in TEMP";

  const std::wstring cls = c.progId;
  const Stored friendly = ValueOf(HKEY_CLASSES_ROOT, cls, L"FriendlyTypeName");
  EXPECT_EQ(friendly.type, static_cast<DWORD>(REG_EXPAND_SZ));
  // The whole text: Wine's reg.exe reads hex(2) data as text only from a UTF-16
  // script, so a single-byte one would leave "@" here.
  EXPECT_EQ(RegBytesToWide(friendly.bytes), cls == L"comfile"
                                                ? L"@%SystemRoot%\\System32\\shell32.dll,-8464"
                                                : L"@%SystemRoot%\\System32\\shell32.dll,-10156");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, cls + L"\\shell\\open\\command", L""), L"\"%1\" %*");
  if (cls == L"comfile") {
    EXPECT_EQ(ValueOf(HKEY_CLASSES_ROOT, cls, L"EditFlags").bytes,
              (std::vector<std::uint8_t>{0x30, 0x00, 0x00, 0x00}));
    EXPECT_EQ(ValueOf(HKEY_CLASSES_ROOT, cls, L"EditFlags").type, static_cast<DWORD>(REG_BINARY));
    const Stored open = ValueOf(HKEY_CLASSES_ROOT, cls + L"\\shell\\open", L"EditFlags");
    EXPECT_EQ(open.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(open.bytes, (std::vector<std::uint8_t>{0, 0, 0, 0}));
  } else {
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ext, L"Content Type"), L"application/x-msdownload");
    EXPECT_EQ(ValueOf(HKEY_CLASSES_ROOT, cls, L"EditFlags").bytes,
              (std::vector<std::uint8_t>{0x38, 0x07, 0x00, 0x00}));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, cls + L"\\shell\\runas", L"HasLUAShield"), L"");
  }
}

INSTANTIATE_TEST_SUITE_P(
    FileAssoc, FileAssocFixRowTest,
    ::testing::Values(RowCase{"ComPlainTemp", L"COM", L"korvane-fixrow", L".com", L"comfile"},
                      RowCase{"ComTempWithBlank", L"COM", L"korvane fix row", L".com", L"comfile"},
                      RowCase{"ExePlainTemp", L"EXE", L"korvane-fixrow", L".exe", L"exefile"},
                      RowCase{"ExeTempWithBlank", L"EXE", L"korvane fix row", L".exe", L"exefile"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileAssocWineTest, AScriptRegExeRejectsEndsInErrorAndIsStillDeleted) {
  ScratchDir dir(L"korvane-rejected");
  useTemp(dir);
  const std::wstring key = L"Software\\KorvaneWineTests\\FileAssoc\\NoHeader";
  RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
  // reg.exe ends with exit code 1 for a file without the version line.
  const Payload noHeader = {"[HKEY_CURRENT_USER\\" + Narrow(key) + "]", "@=\"imported\""};

  ApplyRegScript(noHeader, L"NOHEADER");

  EXPECT_EQ(sys_.boxes(), (std::vector<RecordedBox>{{L"Error!", L"Korvane", kMbIconError}}));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));
  EXPECT_TRUE(FolderIsEmpty(dir.path()));
}

// ------------------------------------------------------------ direct .exe repair

const std::wstring kUserExe = exetable::kUserExeChoiceKeys[0];
const std::wstring kRoamingExe = exetable::kUserExeChoiceKeys[1];
const std::wstring kUserTxt =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.txt\\UserChoice";

class FileAssocExeRepairTest : public FileAssocWineTest {
 protected:
  // The prefix's own .exe registration is put back afterwards: other tests and the
  // end-to-end run start programs in the same prefix.
  void SetUp() override {
    savedExe_ = ReadString(HKEY_CLASSES_ROOT, L".exe", L"");
    savedContentType_ = ReadString(HKEY_CLASSES_ROOT, L".exe", L"Content Type");
  }
  void TearDown() override {
    // ReadString answers "<no key>" or "<no value>" for what was not there.
    if (savedExe_.rfind(L"<no ", 0) != 0) SetText(HKEY_CLASSES_ROOT, L".exe", L"", savedExe_);
    if (savedContentType_.rfind(L"<no ", 0) != 0)
      SetText(HKEY_CLASSES_ROOT, L".exe", L"Content Type", savedContentType_);
    FileAssocWineTest::TearDown();
  }

 private:
  std::wstring savedExe_, savedContentType_;
};

TEST_F(FileAssocExeRepairTest, WritesExactlyTheTableWithItsTypesAndRemovesOnlyTheUsersExeChoice) {
  // Nothing of the registration left, so every value read afterwards is the repair's.
  for (const wchar_t* k : {L".exe", L"exefile", L"SystemFileAssociations\\.exe"})
    RegDeleteTreeW(HKEY_CLASSES_ROOT, k);
  ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"exefile"));
  SetText(HKEY_CURRENT_USER, kUserExe + L"\\UserChoice", L"ProgId", L"Applications\\x.exe");
  SetText(HKEY_CURRENT_USER, kUserExe + L"\\OpenWithList", L"a", L"x.exe");
  SetText(HKEY_CURRENT_USER, kRoamingExe + L"\\UserChoice", L"ProgId", L"Applications\\x.exe");
  SetText(HKEY_CURRENT_USER, kUserTxt, L"ProgId", L"txtfile");

  RunHandler(FixExeAssociation);

  EXPECT_TRUE(sys_.boxes().empty()) << "the repair raised: " << Narrow(sys_.boxes()[0].text);
  for (const auto& key : exetable::ExeRepairTable()) {
    SCOPED_TRACE(Narrow(key.path));
    const auto actual = AllValues(HKEY_CLASSES_ROOT, key.path);
    ASSERT_EQ(actual.size(), key.values.size()) << "values other than the table's";
    for (const auto& want : key.values) {
      const Stored got = ValueOf(HKEY_CLASSES_ROOT, key.path, want.name);
      EXPECT_EQ(got.type, want.type) << Narrow(want.name);
      EXPECT_EQ(got.bytes, want.bytes) << Narrow(want.name);
    }
  }
  // The ProgID and Content Type of .exe are the EXE script's business, not this repair's.
  EXPECT_TRUE(AllValues(HKEY_CLASSES_ROOT, L".exe").empty());
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserExe));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kRoamingExe));
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kUserTxt, L"ProgId"), L"txtfile");

  // Run again with the user's keys already gone: that is no error.
  RunHandler(FixExeAssociation);
  EXPECT_TRUE(sys_.boxes().empty());
}

}  // namespace
}  // namespace korvane::wine
