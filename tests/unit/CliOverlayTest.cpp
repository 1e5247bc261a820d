// The preview layer: reads through to the registry and files below, writes kept in
// an overlay that later reads see, nothing changed below.
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "changes/OverlayPlatform.h"
#include "common/Registry.h"

namespace korvane {
namespace {

using testing::CliTest;

std::vector<std::wstring> SubKeys(Platform& p, Handle root, const std::wstring& path) {
  Handle h = 0;
  std::vector<std::wstring> names;
  if (p.regOpenKey(root, path, kKeyRead, &h) != kErrorSuccess) return {L"<no key>"};
  std::wstring name;
  for (std::uint32_t i = 0; p.regEnumKey(h, i, &name) == kErrorSuccess; ++i) names.push_back(name);
  p.regCloseKey(h);
  return names;
}

std::vector<std::wstring> Values(Platform& p, Handle root, const std::wstring& path) {
  Handle h = 0;
  std::vector<std::wstring> names;
  if (p.regOpenKey(root, path, kKeyRead, &h) != kErrorSuccess) return {L"<no key>"};
  std::wstring name;
  for (std::uint32_t i = 0; p.regEnumValue(h, i, &name) == kErrorSuccess; ++i)
    names.push_back(name);
  p.regCloseKey(h);
  return names;
}

std::wstring Text(Platform& p, Handle root, const std::wstring& path, const std::wstring& name) {
  Handle h = 0;
  if (p.regOpenKey(root, path, kKeyRead, &h) != kErrorSuccess) return L"<no key>";
  RegData data;
  const long rc = p.regQueryValue(h, name, &data);
  p.regCloseKey(h);
  return rc == kErrorSuccess ? RegBytesToWide(data.bytes) : L"<no value>";
}

std::vector<std::wstring> Kinds(const Journal& j) {
  std::vector<std::wstring> out;
  for (const Change& c : j)
    out.push_back(std::wstring(c.viaImport ? L"import " : L"") + FromUtf8(ChangeKindName(c.kind)) +
                  L" " + c.path + (c.name.empty() ? L"" : L"|" + c.name));
  return out;
}

class CliOverlayTest : public CliTest {};

TEST_F(CliOverlayTest, ReadsGoThroughAndLaterReadsSeeTheWrites) {
  fake().setString(HKCU, L"Software\\A", L"x", L"one");
  fake().setDword(HKCU, L"Software\\A", L"n", 5);
  const std::wstring before = allHives();

  OverlayPlatform overlay(fake());
  {
    SysScope scope(overlay);
    Registry reg;
    reg.setRootKey(HKCU);
    ASSERT_TRUE(reg.openKey(L"Software\\A", false));
    EXPECT_EQ(reg.readString(L"x"), L"one");
    EXPECT_EQ(reg.readInteger(L"n"), 5);
    reg.writeString(L"x", L"two");
    reg.writeString(L"y", L"new");
    EXPECT_EQ(reg.readString(L"x"), L"two");
    EXPECT_EQ(reg.readString(L"Y"), L"new");  // names without regard to case
    EXPECT_FALSE(reg.openKey(L"\\Software\\Missing", false));
    ASSERT_TRUE(reg.openKey(L"\\Software\\New\\Deeper", true));
    reg.writeInteger(L"d", 1);
  }
  EXPECT_EQ(Text(overlay, HKCU, L"Software\\A", L"x"), L"two");
  EXPECT_EQ(Text(fake(), HKCU, L"Software\\A", L"x"), L"one");
  EXPECT_EQ(allHives(), before);
  EXPECT_EQ(Kinds(overlay.journal()),
            (std::vector<std::wstring>{
                L"set-value Software\\A|x", L"set-value Software\\A|y", L"create-key Software\\New",
                L"create-key Software\\New\\Deeper", L"set-value Software\\New\\Deeper|d"}));
}

TEST_F(CliOverlayTest, AKeyDeletedAndCreatedAgainHoldsOnlyWhatWasWrittenAfter) {
  fake().setString(HKCR, L".bat", L"", L"old");
  fake().setString(HKCR, L".bat", L"Foreign", L"kept by nobody");
  fake().setString(HKCR, L".bat\\PersistentHandler", L"Old", L"x");
  fake().createKey(HKCR, L".bat\\ShellNew");
  const std::wstring before = allHives();

  OverlayPlatform overlay(fake());
  ASSERT_EQ(overlay.regDeleteTree(HKCR, L".bat"), kErrorSuccess);
  Handle h = 0;
  EXPECT_EQ(overlay.regOpenKey(HKCR, L".bat", kKeyRead, &h), kErrorFileNotFound);
  EXPECT_EQ(overlay.regOpenKey(HKCR, L".bat\\ShellNew", kKeyRead, &h), kErrorFileNotFound);

  ASSERT_EQ(overlay.regCreateKey(HKCR, L".bat", kKeyAllAccess, &h), kErrorSuccess);
  ASSERT_EQ(overlay.regSetValue(h, L"", kRegSz, WideToRegBytes(L"batfile")), kErrorSuccess);
  overlay.regCloseKey(h);
  ASSERT_EQ(overlay.regCreateKey(HKCR, L".bat\\PersistentHandler", kKeyAllAccess, &h),
            kErrorSuccess);
  overlay.regCloseKey(h);

  EXPECT_EQ(Text(overlay, HKCR, L".bat", L""), L"batfile");
  EXPECT_EQ(Text(overlay, HKCR, L".bat", L"Foreign"), L"<no value>");
  EXPECT_EQ(Values(overlay, HKCR, L".bat"), std::vector<std::wstring>{L""});
  EXPECT_EQ(SubKeys(overlay, HKCR, L".bat"), std::vector<std::wstring>{L"PersistentHandler"});
  EXPECT_EQ(Values(overlay, HKCR, L".bat\\PersistentHandler"), std::vector<std::wstring>{});
  EXPECT_EQ(allHives(), before);
  EXPECT_EQ(Kinds(overlay.journal()),
            (std::vector<std::wstring>{L"delete-key .bat", L"create-key .bat", L"set-value .bat",
                                       L"create-key .bat\\PersistentHandler"}));
}

TEST_F(CliOverlayTest, EnumerationMergesTheRegistryWithTheOverlay) {
  fake().setString(HKLM, L"Soft\\Alpha", L"a", L"1");
  fake().createKey(HKLM, L"Soft\\Charlie");
  fake().createKey(HKLM, L"Soft\\delta");
  fake().setString(HKLM, L"Soft", L"v1", L"1");
  fake().setString(HKLM, L"Soft", L"v2", L"2");
  fake().setString(HKLM, L"Soft", L"v3", L"3");

  OverlayPlatform overlay(fake());
  Handle soft = 0, h = 0;
  ASSERT_EQ(overlay.regOpenKey(HKLM, L"Soft", kKeyAllAccess, &soft), kErrorSuccess);
  ASSERT_EQ(overlay.regCreateKey(soft, L"Bravo", kKeyAllAccess, &h), kErrorSuccess);
  overlay.regCloseKey(h);
  ASSERT_EQ(overlay.regCreateKey(soft, L"ALPHA", kKeyAllAccess, &h), kErrorSuccess);  // exists
  overlay.regCloseKey(h);
  ASSERT_EQ(overlay.regDeleteTree(soft, L"Charlie"), kErrorSuccess);
  ASSERT_EQ(overlay.regDeleteValue(soft, L"v2"), kErrorSuccess);
  ASSERT_EQ(overlay.regSetValue(soft, L"v4", kRegSz, WideToRegBytes(L"4")), kErrorSuccess);
  ASSERT_EQ(overlay.regSetValue(soft, L"v1", kRegSz, WideToRegBytes(L"one")), kErrorSuccess);

  EXPECT_EQ(SubKeys(overlay, HKLM, L"Soft"),
            (std::vector<std::wstring>{L"Alpha", L"Bravo", L"delta"}));
  EXPECT_EQ(Values(overlay, HKLM, L"Soft"), (std::vector<std::wstring>{L"v1", L"v3", L"v4"}));
  EXPECT_EQ(SubKeys(overlay, HKLM, L"Soft\\Alpha"), std::vector<std::wstring>{});
  EXPECT_EQ(Values(overlay, HKLM, L"Soft\\Alpha"), std::vector<std::wstring>{L"a"});
  // The key that already existed was opened, not created.
  EXPECT_EQ(Kinds(overlay.journal()),
            (std::vector<std::wstring>{L"create-key Soft\\Bravo", L"delete-key Soft\\Charlie",
                                       L"delete-value Soft|v2", L"set-value Soft|v4",
                                       L"set-value Soft|v1"}));
  overlay.regCloseKey(soft);
  EXPECT_EQ(SubKeys(fake(), HKLM, L"Soft"),
            (std::vector<std::wstring>{L"Alpha", L"Charlie", L"delta"}));
}

TEST_F(CliOverlayTest, RefusesWhatTheRegistryWouldRefuse) {
  fake().setString(HKCU, L"K\\Sub", L"v", L"1");
  OverlayPlatform overlay(fake());
  Handle sub = 0;
  ASSERT_EQ(overlay.regOpenKey(HKCU, L"K\\Sub", kKeyAllAccess, &sub), kErrorSuccess);
  EXPECT_EQ(overlay.regDeleteValue(sub, L"missing"), kErrorFileNotFound);
  EXPECT_EQ(overlay.regDeleteTree(HKCU, L"K\\Nothing"), kErrorFileNotFound);
  EXPECT_TRUE(overlay.journal().empty());

  ASSERT_EQ(overlay.regDeleteTree(HKCU, L"K"), kErrorSuccess);
  RegData data;
  constexpr long kKeyDeleted = 1018;
  EXPECT_EQ(overlay.regQueryValue(sub, L"v", &data), kKeyDeleted);
  EXPECT_EQ(overlay.regSetValue(sub, L"v", kRegSz, WideToRegBytes(L"2")), kKeyDeleted);
  overlay.regCloseKey(sub);
}

TEST_F(CliOverlayTest, FilesFoldersAndProgramsAreRecordedNotDone) {
  fake().addDirectory(L"C:\\Old");
  fake().addTextFile(L"C:\\Old\\keep.txt", "x");
  fake().addTextFile(L"C:\\Temp\\hosts", "old hosts");
  installRegExe();
  const std::string script =
      "Windows Registry Editor Version "
      "5.00\r\n\r\n[HKEY_CURRENT_USER\\Imported]\r\n\"v\"=dword:00000007\r\n";

  OverlayPlatform overlay(fake());
  ASSERT_TRUE(overlay.writeFile(L"C:\\Temp\\x.reg", {script.begin(), script.end()}));
  EXPECT_NE(overlay.getFileAttributes(L"C:\\Temp\\X.REG"), kInvalidFileAttributes);
  EXPECT_FALSE(overlay.writeFile(L"C:\\NoSuchFolder\\y", {1}));

  std::wstring commandLine = L"reg.exe import C:\\Temp\\x.reg";
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(0);
  ProcessHandles ph;
  ASSERT_TRUE(overlay.createProcess(nullptr, buffer, 0, 0, &ph));
  EXPECT_EQ(overlay.waitForSingleObject(ph.process, kInfinite), kWaitObject0);
  std::uint32_t code = 99;
  ASSERT_TRUE(overlay.getExitCodeProcess(ph.process, &code));
  EXPECT_EQ(code, 0u);
  overlay.closeHandle(ph.process);
  overlay.closeHandle(ph.thread);
  RegData data;
  Handle h = 0;
  ASSERT_EQ(overlay.regOpenKey(HKCU, L"Imported", kKeyRead, &h), kErrorSuccess);
  EXPECT_EQ(overlay.regQueryValue(h, L"v", &data), kErrorSuccess);
  overlay.regCloseKey(h);

  ASSERT_TRUE(overlay.deleteFile(L"C:\\Temp\\x.reg"));
  EXPECT_EQ(overlay.getFileAttributes(L"C:\\Temp\\x.reg"), kInvalidFileAttributes);
  ASSERT_TRUE(overlay.writeFile(L"C:\\Temp\\hosts.new", {'n'}));
  ASSERT_TRUE(overlay.replaceFile(L"C:\\Temp\\hosts.new", L"C:\\Temp\\hosts"));
  std::vector<std::uint8_t> hosts;
  ASSERT_TRUE(overlay.readFile(L"C:\\Temp\\hosts", &hosts));
  EXPECT_EQ(hosts, std::vector<std::uint8_t>{'n'});
  std::wstring item;
  EXPECT_EQ(overlay.deleteFolderTree(L"C:\\Old", &item), kErrorSuccess);
  EXPECT_EQ(overlay.getFileAttributes(L"C:\\Old\\keep.txt"), kInvalidFileAttributes);
  EXPECT_EQ(overlay.deleteFolderTree(L"C:\\Old", &item), kErrorFileNotFound);
  EXPECT_EQ(item, L"C:\\Old");
  EXPECT_GT(overlay.winExec(nullptr, L"powercfg -h on", 5), 31u);
  EXPECT_FALSE(overlay.createRestorePoint(L"Created by Korvane").has_value());
  overlay.sleep(4000);

  // Below, nothing happened.
  EXPECT_TRUE(fake().launches().empty());
  EXPECT_FALSE(fake().keyExists(HKCU, L"Imported"));
  EXPECT_FALSE(fake().fileExists(L"C:\\Temp\\x.reg"));
  EXPECT_EQ(fake().fileText(L"C:\\Temp\\hosts"), "old hosts");
  EXPECT_TRUE(fake().fileExists(L"C:\\Old\\keep.txt"));
  EXPECT_TRUE(fake().restorePoints.empty());
  EXPECT_TRUE(fake().events.empty());
  EXPECT_EQ(Kinds(overlay.journal()),
            (std::vector<std::wstring>{
                L"write-file C:\\Temp\\x.reg", L"run reg.exe import C:\\Temp\\x.reg",
                L"import create-key Imported", L"import set-value Imported|v",
                L"delete-file C:\\Temp\\x.reg", L"write-file C:\\Temp\\hosts.new",
                L"replace-file C:\\Temp\\hosts.new", L"delete-folder C:\\Old",
                L"start powercfg -h on", L"restore-point Created by Korvane"}));
}

TEST_F(CliOverlayTest, AnImportOfAMissingOrHeaderlessScriptFailsAsRegExeDoes) {
  const std::string noHeader = "[HKEY_CURRENT_USER\\X]\r\n\"v\"=dword:00000001\r\n";
  for (const bool writeIt : {false, true}) {
    OverlayPlatform overlay(fake());
    if (writeIt)
      ASSERT_TRUE(overlay.writeFile(L"C:\\Temp\\bad.reg", {noHeader.begin(), noHeader.end()}));
    std::wstring commandLine = L"reg import \"C:\\Temp\\bad.reg\"";
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);
    ProcessHandles ph;
    ASSERT_TRUE(overlay.createProcess(nullptr, buffer, 0, 0, &ph));
    std::uint32_t code = 0;
    overlay.getExitCodeProcess(ph.process, &code);
    EXPECT_EQ(code, 1u) << "written: " << writeIt;
    Handle h = 0;
    EXPECT_EQ(overlay.regOpenKey(HKCU, L"X", kKeyRead, &h), kErrorFileNotFound);
  }
}

}  // namespace
}  // namespace korvane
