// Every registry script of the File Associations Fixer imported by the system's own
// reg.exe, then read back from the registry: what each script's list says it
// registers, what it deletes (planted beforehand so the deletion really happens), what
// it must leave alone, and -- from the script text itself -- that no line was skipped.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "WineSupport.h"
#include "base/Text.h"
#include "changes/RegScript.h"
#include "common/Registry.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "fileassoc/Unit_FORMLAIN_Korvane.h"

namespace korvane::wine {
namespace {

const HKEY CR = HKEY_CLASSES_ROOT;
const HKEY CU = HKEY_CURRENT_USER;
const HKEY LM = HKEY_LOCAL_MACHINE;
const std::wstring kUserExts =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
const std::wstring kRoamingExts = L"SOFTWARE\\Microsoft\\Windows\\Roaming\\OpenWith\\FileExts\\";
const std::wstring kShellIcons =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Icons";
const std::wstring kFolderDescriptions =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FolderDescriptions";

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return s;
}

// ------------------------------------------------------------ registry access

void SetText(HKEY root, const std::wstring& key, const std::wstring& name,
             const std::wstring& text) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS)
      << Narrow(key);
  const auto bytes = WideToRegBytes(text);
  ASSERT_EQ(
      RegSetValueExW(k, name.c_str(), 0, REG_SZ, bytes.data(), static_cast<DWORD>(bytes.size())),
      ERROR_SUCCESS);
  RegCloseKey(k);
}

HKEY RootKey(Handle root) {
  switch (root) {
    case kHkeyClassesRoot:
      return CR;
    case kHkeyCurrentUser:
      return CU;
    case kHkeyLocalMachine:
      return LM;
    default:
      return nullptr;
  }
}

// What a script leaves behind when every operation of it is applied in order: the
// keys it ends up with, each with its values, and the keys it deleted that nothing
// recreated.
struct ScriptKey {
  Handle root = 0;
  std::wstring path;                     // as last written
  std::map<std::wstring, RegOp> values;  // by lower-case name ("" = default)
};
using KeyId = std::pair<Handle, std::wstring>;  // root and lower-case path
struct Outcome {
  std::map<KeyId, ScriptKey> keys;
  std::vector<KeyId> gone;  // deleted and neither recreated nor a parent of a kept key
};

Outcome Apply(const std::vector<RegOp>& ops) {
  Outcome out;
  std::vector<KeyId> deleted;
  auto below = [](const KeyId& key, const KeyId& parent) {
    return key.first == parent.first && IsSameOrBelow(key.second, parent.second);
  };
  for (const RegOp& op : ops) {
    const KeyId id{op.root, LowerText(op.path)};
    if (op.kind == RegOpKind::DeleteKey) {
      for (auto it = out.keys.begin(); it != out.keys.end();)
        it = below(it->first, id) ? out.keys.erase(it) : std::next(it);
      deleted.push_back(id);
      continue;
    }
    ScriptKey& key = out.keys[id];
    key.root = op.root;
    key.path = op.path;
    if (op.kind == RegOpKind::SetValue) key.values[LowerText(op.name)] = op;
    if (op.kind == RegOpKind::DeleteValue) key.values.erase(LowerText(op.name));
  }
  for (const KeyId& d : deleted) {
    bool kept = false;
    for (const auto& [id, key] : out.keys) kept = kept || below(id, d);
    if (!kept && std::find(out.gone.begin(), out.gone.end(), d) == out.gone.end())
      out.gone.push_back(d);
  }
  return out;
}

// ------------------------------------------------------------ running reg.exe

bool WriteBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == bytes.size();
}

constexpr DWORD kDidNotRun = 0xFFFFFFFF;

// Runs the System directory's reg.exe by its full path: given only "reg.exe",
// CreateProcessW would look in this test program's own folder first.
DWORD ImportWithSystemRegExe(const std::wstring& script) {
  wchar_t sys[MAX_PATH];
  GetSystemDirectoryW(sys, MAX_PATH);
  const std::wstring regExe = std::wstring(sys) + L"\\reg.exe";
  std::wstring cmd = L"\"" + regExe + L"\" import \"" + script + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(regExe.c_str(), cmd.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                      nullptr, nullptr, &si, &pi))
    return kDidNotRun;
  DWORD code = kDidNotRun;
  if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  else
    TerminateProcess(pi.hProcess, kDidNotRun);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

// The script exactly as the program writes it to TEMP for reg.exe.
DWORD ImportPayload(const char* component, const std::wstring& name) {
  const Payload* p = FORM_LAIN().byName(component);
  if (!p || p->empty()) return kDidNotRun;
  ScratchDir dir(L"korvane-import-" + name);
  const std::wstring script = dir.path() + L"\\" + name + L".reg";
  if (!WriteBytes(script, LinesToRegFileBytes(*p))) return kDidNotRun;
  return ImportWithSystemRegExe(script);
}

// ------------------------------------------------------------ expectations

struct Expect {
  HKEY root;
  std::wstring key;
  std::wstring name;  // empty: the default value
  DWORD type;
  std::vector<std::uint8_t> bytes;
};

Expect Sz(HKEY r, const std::wstring& k, const std::wstring& n, const std::wstring& text) {
  return {r, k, n, REG_SZ, WideToRegBytes(text)};
}
Expect Ex(HKEY r, const std::wstring& k, const std::wstring& n, const std::wstring& text) {
  return {r, k, n, REG_EXPAND_SZ, WideToRegBytes(text)};
}
Expect Dw(HKEY r, const std::wstring& k, const std::wstring& n, std::uint32_t d) {
  return {r,
          k,
          n,
          REG_DWORD,
          {std::uint8_t(d), std::uint8_t(d >> 8), std::uint8_t(d >> 16), std::uint8_t(d >> 24)}};
}
Expect Bin(HKEY r, const std::wstring& k, const std::wstring& n, std::vector<std::uint8_t> b) {
  return {r, k, n, REG_BINARY, std::move(b)};
}
Expect None(HKEY r, const std::wstring& k, const std::wstring& n) {
  return {r, k, n, REG_NONE, {}};
}

// What a key looks like before the import, and what must become of it.
enum class Fate {
  Gone,          // planted with a value and a subkey; deleted, not recreated
  NeverThere,    // absent before; deleting a missing key is no error
  Rebuilt,       // planted; deleted and recreated, so neither the value nor the subkey stays
  ValueRemoved,  // planted value deleted by a "-" line; the key itself stays
  Kept,          // planted; other software's key or value survives untouched
};

struct KeyCheck {
  HKEY root;
  std::wstring key;
  Fate fate;
  std::wstring value = L"KorvanePlanted";
};

const wchar_t kPlantedText[] = L"left by other software";
const wchar_t kPlantedChild[] = L"KorvanePlantedChild";

void Plant(const KeyCheck& c) {
  if (c.fate == Fate::NeverThere) {
    RegDeleteTreeW(c.root, c.key.c_str());
    ASSERT_FALSE(KeyExists(c.root, c.key)) << Narrow(c.key);
    return;
  }
  SetText(c.root, c.key, c.value, kPlantedText);
  if (c.fate != Fate::ValueRemoved)
    SetText(c.root, c.key + L"\\" + kPlantedChild, L"", kPlantedText);
}

void Verify(const KeyCheck& c) {
  SCOPED_TRACE(Narrow(c.key) + " / " + Narrow(c.value));
  const bool key = KeyExists(c.root, c.key);
  const bool value = ReadValue(c.root, c.key, c.value).has_value();
  const bool child = KeyExists(c.root, c.key + L"\\" + kPlantedChild);
  switch (c.fate) {
    case Fate::Gone:
    case Fate::NeverThere:
      EXPECT_FALSE(key) << "the key is still there";
      break;
    case Fate::Rebuilt:
      EXPECT_TRUE(key) << "the key was not recreated";
      EXPECT_FALSE(value) << "a value of the old key survived";
      EXPECT_FALSE(child) << "a subkey of the old key survived";
      break;
    case Fate::ValueRemoved:
      EXPECT_TRUE(key) << "the whole key was deleted";
      EXPECT_FALSE(value) << "the value is still there";
      break;
    case Fate::Kept:
      EXPECT_EQ(ReadString(c.root, c.key, c.value), kPlantedText)
          << "other software's value is lost";
      EXPECT_TRUE(child) << "other software's subkey is lost";
      break;
  }
}

void ExpectValue(const Expect& e) {
  SCOPED_TRACE(Narrow(e.key) + " / " + (e.name.empty() ? "@" : Narrow(e.name)));
  const auto got = ReadValue(e.root, e.key, e.name);
  ASSERT_TRUE(got.has_value()) << "missing";
  EXPECT_EQ(got->type, e.type);
  EXPECT_EQ(got->bytes, e.bytes);
}

// Every key the script leaves, with every value in it, and every key it deletes
// without recreating.  reg.exe skips lines it cannot read and still ends with 0, so
// this is what shows a line that did not take effect.
void ExpectEverythingTheScriptSays(const Payload& payload) {
  const RegScriptText script = ParseRegScript(payload);
  ASSERT_TRUE(script.errors.empty()) << Narrow(script.errors.front());
  const Outcome outcome = Apply(script.ops);
  for (const auto& [id, key] : outcome.keys) {
    const HKEY root = RootKey(key.root);
    ASSERT_NE(root, nullptr) << Narrow(key.path);
    if (!KeyExists(root, key.path)) {
      ADD_FAILURE() << "key missing: " << Narrow(FullKeyName(key.root, key.path));
      continue;
    }
    for (const auto& [name, v] : key.values)
      ExpectValue({root, key.path, v.name, v.data.type, v.data.bytes});
  }
  for (const auto& [root, path] : outcome.gone)
    EXPECT_FALSE(KeyExists(RootKey(root), path))
        << "deleted key still there: " << Narrow(FullKeyName(root, path));
}

// Removes every value the script writes, and every key it creates without values
// where nothing lies below it, so that what is read back afterwards comes from this
// import and not from an earlier one: the shell-object classes are never deleted by
// their scripts, and the prefix lives for the whole test run.
void ForgetWhatTheScriptWrites(const Payload& payload) {
  const Outcome outcome = Apply(ParseRegScript(payload).ops);
  for (const auto& [id, key] : outcome.keys) {
    const HKEY root = RootKey(key.root);
    const std::wstring& sub = key.path;
    if (key.values.empty()) {
      RegDeleteKeyW(root, sub.c_str());  // refused while subkeys exist, as it should be
      continue;
    }
    HKEY k;
    if (RegOpenKeyExW(root, sub.c_str(), 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) continue;
    for (const auto& [name, v] : key.values) RegDeleteValueW(k, v.name.c_str());
    RegCloseKey(k);
  }
}

void ForgetValue(const Expect& e) {
  HKEY k;
  if (RegOpenKeyExW(e.root, e.key.c_str(), 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) return;
  RegDeleteValueW(k, e.name.c_str());
  RegCloseKey(k);
}

// ------------------------------------------------------------ the payloads

struct PayloadCase {
  std::string code;  // names the script file and the test
  const char* component;
  std::wstring extension;  // empty for the shell objects
  std::wstring progId;     // the extension's default value; the class key
  bool progIdRebuilt;      // the script deletes the class key before writing it
  std::vector<KeyCheck> keys;
  std::vector<Expect> values;
};

void PrintTo(const PayloadCase& c, std::ostream* os) { *os << c.code; }

// The checks every file type shares: the extension key is rebuilt, the shell's
// per-extension defaults and the user's own choices are gone.
std::vector<KeyCheck> ExtensionKeys(const std::wstring& ext, bool roamingPlanted) {
  return {{CR, ext, Fate::Rebuilt},
          {CR, L"SystemFileAssociations\\" + ext, Fate::Gone},
          {CU, kUserExts + ext, Fate::Gone},
          {CU, kRoamingExts + ext, roamingPlanted ? Fate::Gone : Fate::NeverThere}};
}

std::vector<KeyCheck> Join(std::vector<KeyCheck> a, const std::vector<KeyCheck>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::wstring kOpen = L"\"%1\" %*";
const std::wstring kDropHandler = L"{86C86720-42A0-1069-A2E8-08002B30309D}";
const std::wstring kTextHandler = L"{5e941d80-bf96-11cd-b579-08002b30bfeb}";
const std::wstring kFilterHandler = L"{098f2470-bae0-11cd-b579-08002b30bfeb}";

std::vector<Expect> IsoFileClass(const std::wstring& ext) {
  return {
      Sz(CR, ext + L"\\OpenWithProgids", L"Windows.IsoFile", L""),
      Sz(CR, L"Windows.IsoFile", L"", L"Disc Image File"),
      Ex(CR, L"Windows.IsoFile\\DefaultIcon", L"", L"%SystemRoot%\\System32\\imageres.dll,-5205"),
      Sz(CR, L"Windows.IsoFile\\shell", L"", L"mount"),
      Ex(CR, L"Windows.IsoFile\\shell\\burn\\command", L"",
         L"%SystemRoot%\\System32\\isoburn.exe \"%1\""),
      Sz(CR, L"Windows.IsoFile\\shell\\mount", L"CommandStateSync", L""),
      Dw(CR, L"Windows.IsoFile\\tabsets", L"selection", 0x704)};
}

std::vector<Expect> VhdFileClass() {
  return {Sz(CR, L"Windows.VhdFile", L"", L"Disc Image File"),
          Ex(CR, L"Windows.VhdFile", L"FriendlyTypeName",
             L"@%SystemRoot%\\System32\\shell32.dll,-31475"),
          Sz(CR, L"Windows.VhdFile\\shell\\mount", L"HasLUAShield", L"true"),
          Ex(CR, L"Windows.VhdFile\\shell\\mount\\command", L"", L"%SystemRoot%\\Explorer.exe"),
          Dw(CR, L"Windows.VhdFile\\tabsets", L"selection", 0x704)};
}

// The other types that are shortcuts: the LNK script gives each its IsShortcut back.
const wchar_t* const kShortcutProgIds[] = {L"Application.Reference",
                                           L"IE.AssocFile.URL",
                                           L"IE.AssocFile.WEBSITE",
                                           L"InternetShortcut",
                                           L"Microsoft.Website",
                                           L"piffile",
                                           L"WSHFile"};

std::vector<PayloadCase> Cases() {
  std::vector<PayloadCase> c;

  c.push_back(
      {"BAT",
       "mFIX_BAT_W10",
       L".bat",
       L"batfile",
       false,
       Join(ExtensionKeys(L".bat", false),
            {{CR, L"batfile\\shell\\hijack", Fate::Gone},
             {CR, L"batfile\\shellex\\ContextMenuHandlers", Fate::Rebuilt}}),
       {Sz(CR, L".bat\\PersistentHandler", L"", kTextHandler),
        Sz(CR, L"batfile", L"", L"Windows Batch File"),
        Bin(CR, L"batfile", L"EditFlags", {0x30, 0x04, 0x00, 0x00}),
        Ex(CR, L"batfile", L"FriendlyTypeName", L"@%SystemRoot%\\System32\\acppage.dll,-6002"),
        Sz(CR, L"batfile\\shell\\open\\command", L"", kOpen),
        Sz(CR, L"batfile\\shell\\runas", L"HasLUAShield", L""),
        Ex(CR, L"batfile\\shell\\runas\\command", L"",
           L"%SystemRoot%\\System32\\cmd.exe /C \"%1\" %*"),
        Sz(CR, L"batfile\\shellex\\ContextMenuHandlers", L"", L"Compatibility")}});

  // CAB: the user's list is cleared, then the cabinet folder offered as REG_NONE.
  c.push_back({"CAB",
               "mFIX_CAB_W10",
               L".cab",
               L"CABFolder",
               true,
               {{CR, L".cab", Fate::Rebuilt},
                {CR, L"SystemFileAssociations\\.cab", Fate::Rebuilt},
                {CU, kUserExts + L".cab\\UserChoice", Fate::Gone},
                {CU, kUserExts + L".cab\\OpenWithList", Fate::Rebuilt},
                {CU, kRoamingExts + L".cab", Fate::Gone}},
               {Sz(CR, L".cab", L"PerceivedType", L"compressed"),
                Sz(CR, L".cab\\OpenWithProgids", L"CABFolder", L""),
                Dw(CR, L"CABFolder", L"EditFlags", 0x00200000),
                Ex(CR, L"CABFolder", L"InfoTip", L"@%SystemRoot%\\system32\\cabview.dll,-21"),
                Dw(CR, L"CABFolder\\Shell\\find", L"SuppressionPolicy", 0x80),
                Sz(CR, L"CABFolder\\Shell\\Open\\Command", L"DelegateExecute",
                   L"{11dbb47c-a525-400b-9e80-a54615a090c0}"),
                Sz(CR, L"SystemFileAssociations\\.cab\\CLSID", L"",
                   L"{0CD7A5C0-9F37-11CE-AE65-08002B2E1262}"),
                None(CU, kUserExts + L".cab\\OpenWithProgids", L"CABFolder")}});

  // CMD: cmdfile is written over, so other software's verbs stay.
  c.push_back(
      {"CMD",
       "mFIX_CMD_W10",
       L".cmd",
       L"cmdfile",
       false,
       Join(ExtensionKeys(L".cmd", false), {{CR, L"cmdfile\\shell\\ContosoVerb", Fate::Kept}}),
       {Sz(CR, L"cmdfile", L"", L"Windows Command Script"),
        Bin(CR, L"cmdfile", L"EditFlags", {0x30, 0x04, 0x00, 0x00}),
        Ex(CR, L"cmdfile\\shell\\edit\\command", L"", L"%SystemRoot%\\System32\\NOTEPAD.EXE %1"),
        Sz(CR, L"cmdfile\\shell\\runasuser", L"SuppressionPolicyEx",
           L"{F211AA05-D4DF-4370-A2A0-9F19C09756A7}"),
        Sz(CR, L"cmdfile\\shellex\\ContextMenuHandlers", L"", L"Compatibility")}});

  c.push_back(
      {"COM",
       "mFIX_COM_W10",
       L".com",
       L"comfile",
       true,
       Join(ExtensionKeys(L".com", true), {{CR, L"comfile\\shell\\hijack", Fate::Gone}}),
       {Sz(CR, L".com\\PersistentHandler", L"", kFilterHandler),
        Sz(CR, L"comfile", L"", L"MS-DOS Application"),
        Bin(CR, L"comfile", L"EditFlags", {0x30, 0x00, 0x00, 0x00}),
        Ex(CR, L"comfile", L"FriendlyTypeName", L"@%SystemRoot%\\System32\\shell32.dll,-8464"),
        Ex(CR, L"comfile\\DefaultIcon", L"", L"%SystemRoot%\\System32\\shell32.dll,2"),
        Dw(CR, L"comfile\\shell\\open", L"EditFlags", 0),
        Sz(CR, L"comfile\\shell\\open\\command", L"", kOpen),
        Sz(CR, L"comfile\\shellex\\ContextMenuHandlers\\OpenGLShExt", L"",
           L"{E97DEC16-A50D-49bb-AE24-CF682282E08D}"),
        Sz(CR, L"comfile\\shellex\\DropHandler", L"", kDropHandler)}});

  c.push_back(
      {"EXE",
       "mFIX_EXE_W10",
       L".exe",
       L"exefile",
       false,
       {{CR, L".exe", Fate::Rebuilt},
        {CR, L"exefile\\shell\\hijack", Fate::Gone},
        {CR, L"exefile\\shellex\\ContextMenuHandlers\\Hijack", Fate::Gone},
        {CR, L"SystemFileAssociations\\.exe", Fate::Rebuilt},
        {CU, kUserExts + L".exe", Fate::Gone},
        {CU, kRoamingExts + L".exe", Fate::Gone}},
       {Sz(CR, L".exe", L"Content Type", L"application/x-msdownload"),
        Sz(CR, L".exe\\PersistentHandler", L"", kFilterHandler),
        Bin(CR, L"exefile", L"EditFlags", {0x38, 0x07, 0x00, 0x00}),
        Ex(CR, L"exefile", L"FriendlyTypeName", L"@%SystemRoot%\\System32\\shell32.dll,-10156"),
        Sz(CR, L"exefile\\DefaultIcon", L"", L"%1"),
        Bin(CR, L"exefile\\shell\\open", L"EditFlags", {0, 0, 0, 0}),
        Sz(CR, L"exefile\\shell\\open\\command", L"IsolatedCommand", kOpen),
        Sz(CR, L"exefile\\shellex\\ContextMenuHandlers\\PintoStartScreen", L"",
           L"{470C0EBD-5D73-4d58-9CED-E91E22E23282}"),
        Sz(CR, L"SystemFileAssociations\\.exe", L"TileInfo",
           L"prop:System.FileDescription;System.Company;System.FileVersion;"
           L"System.DateCreated;System.Size")}});

  c.push_back(
      {"IMG", "mFIX_IMG_W10", L".img", L"Windows.IsoFile", true,
       Join(ExtensionKeys(L".img", false), {{CR, L"Windows.IsoFile\\shell\\hijack", Fate::Gone}}),
       IsoFileClass(L".img")});

  c.push_back({"INF",
               "mFIX_INF_W10",
               L".inf",
               L"inffile",
               true,
               ExtensionKeys(L".inf", true),
               {Sz(CR, L".inf\\PersistentHandler", L"", kTextHandler),
                Sz(CR, L"inffile\\shell\\Install", L"", L"&Install"),
                Ex(CR, L"inffile\\shell\\Install", L"MUIVerb",
                   L"@%SystemRoot%\\System32\\setupapi.dll,-2002"),
                Ex(CR, L"inffile\\shell\\Install\\command", L"",
                   L"%SystemRoot%\\System32\\InfDefaultInstall.exe \"%1\""),
                Ex(CR, L"inffile\\shell\\print\\command", L"",
                   L"%SystemRoot%\\system32\\NOTEPAD.EXE /p %1")}});

  c.push_back(
      {"INI",
       "mFIX_INI_W10",
       L".ini",
       L"inifile",
       true,
       ExtensionKeys(L".ini", false),
       {Sz(CR, L".ini", L"PerceivedType", L"text"), Dw(CR, L"inifile", L"EditFlags", 0x00200000),
        Sz(CR, L"inifile", L"FriendlyTypeName", L"@shell32.dll,-10151"),
        Ex(CR, L"inifile\\DefaultIcon", L"", L"%SystemRoot%\\system32\\imageres.dll,-69"),
        Ex(CR, L"inifile\\shell\\open\\command", L"", L"%SystemRoot%\\system32\\NOTEPAD.EXE %1")}});

  c.push_back(
      {"ISO", "mFIX_ISO_W10", L".iso", L"Windows.IsoFile", true,
       Join(ExtensionKeys(L".iso", true), {{CR, L"Windows.IsoFile\\shell\\hijack", Fate::Gone}}),
       IsoFileClass(L".iso")});

  {
    // LNK: the seven other shortcut types keep their keys and only get IsShortcut;
    // of Shell Icons only the overlay "29" goes.
    PayloadCase lnk{
        "LNK",
        "mFIX_LNK_W10",
        L".lnk",
        L"lnkfile",
        false,
        {{CR, L".lnk", Fate::Rebuilt},
         {CR, L"lnkfile\\shellex\\ContextMenuHandlers\\Hijack", Fate::Gone},
         {CR, L"SystemFileAssociations\\.lnk", Fate::Rebuilt},
         {CU, kUserExts + L".lnk", Fate::Gone},
         {CU, kRoamingExts + L".lnk", Fate::NeverThere},
         {LM, kShellIcons, Fate::ValueRemoved, L"29"},
         {LM, kShellIcons, Fate::Kept, L"3"}},
        {Sz(CR, L".lnk\\ShellEx\\{000214F9-0000-0000-C000-000000000046}", L"",
            L"{00021401-0000-0000-C000-000000000046}"),
         Ex(CR, L".lnk\\ShellNew", L"IconPath", L"%SystemRoot%\\system32\\shell32.dll,-16769"),
         Dw(CR, L"lnkfile", L"EditFlags", 1), Sz(CR, L"lnkfile", L"IsShortcut", L""),
         Sz(CR, L"lnkfile\\shellex\\ContextMenuHandlers\\{00021401-0000-0000-C000-000000000046}",
            L"", L""),
         Dw(CR, L"lnkfile\\tabsets", L"selection", 0x705),
         Sz(CR, L"SystemFileAssociations\\.lnk", L"FullDetails",
            L"prop:System.PropGroup.Description;System.ItemTypeText")}};
    for (const wchar_t* progId : kShortcutProgIds) {
      lnk.keys.push_back({CR, progId, Fate::Kept});
      lnk.values.push_back(Sz(CR, progId, L"IsShortcut", L""));
    }
    c.push_back(lnk);
  }

  // MSC: the extension names the class "MSCFile", the script rebuilds "mscfile";
  // class names ignore letter case.
  c.push_back(
      {"MSC",
       "mFIX_MSC_W10",
       L".msc",
       L"MSCFile",
       true,
       {{CR, L".msc", Fate::Rebuilt},
        {CR, L"SystemFileAssociations\\.msc", Fate::Gone},
        {CU, kUserExts + L".msc\\UserChoice", Fate::Gone},
        {CU, kUserExts + L".msc\\OpenWithList", Fate::Rebuilt},
        {CU, kRoamingExts + L".msc", Fate::Gone}},
       {Dw(CR, L"mscfile", L"EditFlags", 0x00100000),
        Ex(CR, L"mscfile", L"FriendlyTypeName", L"@%SystemRoot%\\system32\\mmcbase.dll,-130"),
        Sz(CR, L"mscfile\\DefaultIcon", L"", L"%1"),
        Sz(CR, L"mscfile\\shell\\Author", L"", L"&Author"),
        Ex(CR, L"mscfile\\shell\\Author\\command", L"",
           L"%SystemRoot%\\system32\\mmc.exe /a \"%1\" %*"),
        Sz(CR, L"mscfile\\shellex\\IconHandler", L"", L"{7A80E4A8-8005-11D2-BCF8-00C04F72C717}"),
        None(CU, kUserExts + L".msc\\OpenWithProgids", L"MSCFile")}});

  // MSI: Msi.Package is written over, so other software's verbs stay.
  c.push_back(
      {"MSI",
       "mFIX_MSI_W10",
       L".msi",
       L"Msi.Package",
       false,
       Join(ExtensionKeys(L".msi", false), {{CR, L"Msi.Package\\shell\\ContosoVerb", Fate::Kept}}),
       {Bin(CR, L"Msi.Package", L"EditFlags", {0x00, 0x00, 0x10, 0x00}),
        Ex(CR, L"Msi.Package", L"FriendlyTypeName", L"@%SystemRoot%\\System32\\msimsg.dll,-34"),
        Sz(CR, L"Msi.Package\\DefaultIcon", L"", L"C:\\Windows\\System32\\msiexec.exe,0"),
        Sz(CR, L"Msi.Package\\shell", L"", L"Open,Repair,Uninstall"),
        Ex(CR, L"Msi.Package\\shell\\Uninstall\\command", L"",
           L"\"%SystemRoot%\\System32\\msiexec.exe\" /x \"%1\" %*"),
        Sz(CR, L"Msi.Package\\shellex\\ContextMenuHandlers\\Compatibility", L"",
           L"{1d27f844-3a1f-4410-85ac-14651078412d}")}});

  c.push_back({"MSP",
               "mFIX_MSP_W10",
               L".msp",
               L"Msi.Patch",
               true,
               ExtensionKeys(L".msp", true),
               {Bin(CR, L"Msi.Patch", L"EditFlags", {0x00, 0x00, 0x10, 0x00}),
                Sz(CR, L"Msi.Patch", L"InfoTip",
                   L"prop:System.ItemType;System.Author;System.Title;System.Subject;System.Comment;"
                   L"System.DateModified;System.Size"),
                Sz(CR, L"Msi.Patch\\shell", L"", L"Open"),
                Sz(CR, L"Msi.Patch\\shell\\Open", L"", L"&Apply Patch"),
                Ex(CR, L"Msi.Patch\\shell\\Open\\command", L"",
                   L"\"%SystemRoot%\\System32\\msiexec.exe\" /p \"%1\" %*")}});

  c.push_back({"SCR",
               "mFIX_SCR_W10",
               L".scr",
               L"scrfile",
               true,
               Join(ExtensionKeys(L".scr", false), {{CR, L"scrfile\\shell\\hijack", Fate::Gone}}),
               {Sz(CR, L"scrfile", L"", L"Screen saver"),
                Sz(CR, L"scrfile", L"FriendlyTypeName", L"@shell32,-10162"),
                Sz(CR, L"scrfile\\shell\\config\\command", L"", L"\"%1\""),
                Sz(CR, L"scrfile\\shell\\install\\command", L"",
                   L"rundll32.exe desk.cpl,InstallScreenSaver %l"),
                Sz(CR, L"scrfile\\shell\\open\\command", L"", L"\"%1\" /S")}});

  c.push_back({"MSU",
               "mFIX_MSU_W10",
               L".msu",
               L"Microsoft.System.Update.1",
               true,
               ExtensionKeys(L".msu", true),
               {Ex(CR, L"Microsoft.System.Update.1", L"FriendlyTypeName",
                   L"@\"%systemroot%\\system32\\wusa.exe\",-102"),
                Sz(CR, L"Microsoft.System.Update.1\\CurVer", L"", L"Microsoft.System.Update.1"),
                Ex(CR, L"Microsoft.System.Update.1\\DefaultIcon", L"",
                   L"\"%systemroot%\\system32\\wusa.exe\",-101"),
                Ex(CR, L"Microsoft.System.Update.1\\shell\\open\\command", L"",
                   L"\"%systemroot%\\system32\\wusa.exe\" \"%1\" %*")}});

  // REG: both UserChoice keys are rebuilt and name regfile.
  c.push_back({"REG",
               "mFIX_REG_W10",
               L".reg",
               L"regfile",
               true,
               {{CR, L".reg", Fate::Rebuilt},
                {CR, L"SystemFileAssociations\\.reg", Fate::Gone},
                {CU, kUserExts + L".reg\\UserChoice", Fate::Rebuilt},
                {CU, kUserExts + L".reg\\OpenWithList", Fate::Rebuilt},
                {CU, kRoamingExts + L".reg\\UserChoice", Fate::Rebuilt},
                {CU, kRoamingExts + L".reg\\OpenWithProgids", Fate::Gone}},
               {Dw(CR, L"regfile", L"EditFlags", 0x00100000),
                Ex(CR, L"regfile", L"FriendlyTypeName", L"@%SystemRoot%\\regedit.exe,-309"),
                Sz(CR, L"regfile\\shell\\open", L"", L"Mer&ge"),
                Sz(CR, L"regfile\\shell\\open\\command", L"", L"regedit.exe \"%1\""),
                Ex(CR, L"regfile\\shell\\print\\command", L"",
                   L"%SystemRoot%\\system32\\notepad.exe /p \"%1\""),
                Sz(CU, kUserExts + L".reg\\OpenWithList", L"MRUList", L"adcb"),
                Sz(CU, kUserExts + L".reg\\OpenWithList", L"d",
                   L"{F38BF404-1D43-42F2-9305-67DE0B28FC23}\\regedit.exe"),
                None(CU, kUserExts + L".reg\\OpenWithProgids", L"regfile"),
                Sz(CU, kUserExts + L".reg\\UserChoice", L"ProgId", L"regfile"),
                Sz(CU, kUserExts + L".reg\\UserChoice", L"Hash", L"mXqjENkg3aY="),
                Sz(CU, kRoamingExts + L".reg\\UserChoice", L"ProgId", L"regfile"),
                Sz(CU, kRoamingExts + L".reg\\UserChoice", L"Hash", L"QnzvZjylEf8=")}});

  c.push_back({"THEME",
               "mFIX_THEME_W10",
               L".theme",
               L"themefile",
               true,
               ExtensionKeys(L".theme", false),
               {Sz(CR, L"themefile", L"FriendlyTypeName", L"@themeui.dll,-2683"),
                Dw(CR, L"themefile", L"Treatment", 0), Sz(CR, L"themefile", L"TypeOverlay", L""),
                Ex(CR, L"themefile\\shell\\open\\command", L"",
                   L"%SystemRoot%\\system32\\rundll32.exe %SystemRoot%\\system32\\themecpl.dll,"
                   L"OpenThemeAction %1"),
                Sz(CR, L"themefile\\shellex\\{E357FCCD-A995-4576-B01F-234630154E96}", L"",
                   L"{49C407EF-78B9-4C82-A40B-2FE02F8E771D}")}});

  c.push_back(
      {"THEMEPACK",
       "mFIX_THEMEPACK_W10",
       L".themepack",
       L"themepackfile",
       true,
       ExtensionKeys(L".themepack", true),
       {Sz(CR, L"themepackfile", L"", L"Windows Theme Pack"),
        Sz(CR, L"themepackfile", L"FriendlyTypeName", L"@themeui.dll,-2685"),
        Ex(CR, L"themepackfile\\DefaultIcon", L"", L"%SystemRoot%\\system32\\themeui.dll,-704")}});

  c.push_back(
      {"TXT",
       "mFIX_TXT_W10",
       L".txt",
       L"txtfile",
       true,
       {{CR, L".txt", Fate::Rebuilt},
        {CR, L"SystemFileAssociations\\.txt", Fate::Rebuilt},
        {CU, kUserExts + L".txt\\UserChoice", Fate::Rebuilt},
        {CU, kUserExts + L".txt\\OpenWithList", Fate::Rebuilt},
        {CU, kRoamingExts + L".txt\\UserChoice", Fate::Rebuilt}},
       {Sz(CR, L".txt", L"Content Type", L"text/plain"),
        Ex(CR, L".txt\\ShellNew", L"ItemName", L"@%SystemRoot%\\system32\\notepad.exe,-470"),
        Sz(CR, L".txt\\ShellNew", L"NullFile", L""),
        Sz(CR, L"SystemFileAssociations\\.txt", L"PerceivedType", L"document"),
        Dw(CR, L"txtfile", L"EditFlags", 0x00210000),
        Ex(CR, L"txtfile\\shell\\printto\\command", L"",
           L"%SystemRoot%\\system32\\notepad.exe /pt \"%1\" \"%2\" \"%3\" \"%4\""),
        None(CU, kUserExts + L".txt\\OpenWithProgids", L"txtfile"),
        Sz(CU, kUserExts + L".txt\\UserChoice", L"ProgId", L"txtfile"),
        Sz(CU, kUserExts + L".txt\\UserChoice", L"Hash", L"6khrhqJ4ifU="),
        Sz(CU, kRoamingExts + L".txt\\UserChoice", L"ProgId", L"txtfile"),
        Sz(CU, kRoamingExts + L".txt\\UserChoice", L"Hash", L"NqdnTMXYm4w=")}});

  c.push_back(
      {"VBS",
       "mFIX_VBS_W10",
       L".vbs",
       L"VBSFile",
       true,
       Join(ExtensionKeys(L".vbs", false), {{CR, L"VBSFile\\Shell\\hijack", Fate::Gone}}),
       {Ex(CR, L"VBSFile", L"FriendlyTypeName", L"@%SystemRoot%\\System32\\wshext.dll,-4802"),
        Sz(CR, L"VBSFile\\ScriptEngine", L"", L"VBScript"), Sz(CR, L"VBSFile\\Shell", L"", L"Open"),
        Ex(CR, L"VBSFile\\Shell\\Open\\Command", L"",
           L"\"%SystemRoot%\\System32\\WScript.exe\" \"%1\" %*"),
        Ex(CR, L"VBSFile\\Shell\\Open2", L"", L"Open &with Command Prompt"),
        Sz(CR, L"VBSFile\\ShellEx\\PropertySheetHandlers\\WSHProps", L"",
           L"{60254CA5-953B-11CF-8C96-00AA00B8708C}")}});

  c.push_back({"VHD", "mFIX_VHD_W10", L".vhd", L"Windows.VhdFile", true,
               ExtensionKeys(L".vhd", true), VhdFileClass()});
  c.push_back({"VHDX", "mFIX_VHDX_W10", L".vhdx", L"Windows.VhdFile", true,
               ExtensionKeys(L".vhdx", false), VhdFileClass()});

  c.push_back(
      {"ZIP",
       "mFIX_ZIP_W10",
       L".zip",
       L"CompressedFolder",
       true,
       {{CR, L".ZFSendToTarget", Fate::Rebuilt},
        {CR, L".zip", Fate::Rebuilt},
        {CR, L"SystemFileAssociations\\.zip", Fate::Rebuilt},
        {CU, kUserExts + L".zip", Fate::Gone},
        {CU, kRoamingExts + L".zip", Fate::NeverThere}},
       {Sz(CR, L".ZFSendToTarget", L"", L"CLSID\\{888DCA60-FC0A-11CF-8F0F-00C04FD7D062}"),
        Sz(CR, L".zip", L"DontCompressInPackage", L""),
        Bin(CR, L".zip\\CompressedFolder\\ShellNew", L"Data",
            {0x50, 0x4b, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
        Ex(CR, L".zip\\CompressedFolder\\ShellNew", L"ItemName",
           L"@%SystemRoot%\\system32\\zipfldr.dll,-10194"),
        Ex(CR, L"CompressedFolder", L"AppUserModelID", L"Microsoft.Windows.Explorer"),
        Dw(CR, L"CompressedFolder", L"EditFlags", 0x00200000),
        Ex(CR, L"CompressedFolder\\DefaultIcon", L"", L"%SystemRoot%\\system32\\zipfldr.dll"),
        Sz(CR,
           L"CompressedFolder\\ShellEx\\ContextMenuHandlers\\{b8cdcb65-b1bf-4b42-9428-"
           L"1dfdb7ee92af}",
           L"", L"Compressed (zipped) Folder Menu"),
        Sz(CR, L"SystemFileAssociations\\.zip\\CLSID", L"",
           L"{E88DCCE0-B7B3-11d1-A9F0-00AA0060FA31}")}});

  // The shell objects: their class keys are written over, so handlers that other
  // software added below them survive.
  c.push_back(
      {"DRIVE",
       "mFIX_DRIVE_W10",
       L"",
       L"Drive",
       false,
       {{CR, L"Drive\\shellex\\ContextMenuHandlers\\ContosoMenu", Fate::Kept},
        {CR, L"Drive\\shellex\\PropertySheetHandlers\\ContosoPage", Fate::Kept},
        {CR, L"SystemFileAssociations\\Drive", Fate::Gone},
        {CU, kUserExts + L"Drive", Fate::Gone},
        {CU, kRoamingExts + L"Drive", Fate::NeverThere}},
       {Sz(CR, L"Drive", L"", L"Drive"), Bin(CR, L"Drive", L"EditFlags", {0xd2, 0x01, 0x00, 0x00}),
        Sz(CR, L"Drive", L"InfoTip", L"prop:System.FreeSpace;System.Capacity"),
        Ex(CR, L"Drive\\DefaultIcon", L"", L"%SystemRoot%\\System32\\shell32.dll,8"),
        Sz(CR, L"Drive\\shell\\cmd\\command", L"", L"cmd.exe /s /k pushd \"%V\""),
        Ex(CR, L"Drive\\shell\\unlock-bde", L"", L"@%SystemRoot%\\System32\\bdeunlock.exe,-100"),
        Sz(CR, L"Drive\\shell\\unlock-bde", L"AppliesTo", L"System.Volume.BitLockerProtection:=6"),
        // A named value, not the default, in the key of the same name.
        Sz(CR, L"Drive\\shellex\\ContextMenuHandlers\\{D6791A63-E7E2-4fee-BF52-5DED8E86E9B8}",
           L"{D6791A63-E7E2-4fee-BF52-5DED8E86E9B8}", L"Portable Devices Menu"),
        Dw(CR, L"Drive\\shellex\\FolderExtensions\\{fbeb8a05-beee-4442-804e-409d6c4515e9}",
           L"DriveMask", 0x20),
        Sz(CR, L"Drive\\shellex\\PropertySheetHandlers", L"",
           L"{5F5295E0-429F-1069-A2E2-08002B30309D}"),
        Dw(CR, L"Drive\\tabsets", L"location", 0x703)}});

  c.push_back(
      {"DIR",
       "mFIX_DIRECTORY_W10",
       L"",
       L"Directory",
       false,
       {{CR, L"Directory\\shellex\\ContextMenuHandlers\\ContosoMenu", Fate::Kept},
        {CR, L"Directory\\Background\\shellex\\ContextMenuHandlers\\ContosoMenu", Fate::Kept},
        {CR, L"Directory\\shellex\\PropertySheetHandlers\\ContosoPage", Fate::Kept},
        {CR, L"SystemFileAssociations\\Directory", Fate::Gone},
        {CU, kUserExts + L"Directory", Fate::Gone},
        {CU, kRoamingExts + L"Directory", Fate::NeverThere}},
       {Sz(CR, L"Directory", L"", L"File Folder"), Sz(CR, L"Directory", L"AlwaysShowExt", L""),
        Bin(CR, L"Directory", L"EditFlags", {0xd2, 0x01, 0x00, 0x00}),
        // The leading blank belongs to the key name.
        Sz(CR, L"Directory\\Background\\shellex\\ContextMenuHandlers\\ FileSyncEx", L"",
           L"{CB3D0F55-BC2C-4C1A-85ED-23ED75B5106B}"),
        Sz(CR, L"Directory\\shellex\\ContextMenuHandlers\\ FileSyncEx", L"",
           L"{CB3D0F55-BC2C-4C1A-85ED-23ED75B5106B}"),
        Ex(CR, L"Directory\\DefaultIcon", L"", L"%SystemRoot%\\System32\\shell32.dll,3"),
        Dw(CR, L"Directory\\shell\\find", L"SuppressionPolicy", 0x80),
        Sz(CR, L"Directory\\shellex\\ContextMenuHandlers\\Offline Files", L"",
           L"{474C98EE-CF3D-41f5-80E3-4AAB0AB04301}"),
        Sz(CR, L"Directory\\shellex\\CopyHookHandlers\\Sharing", L"",
           L"{40dd6e20-7c17-11ce-a804-00aa003ca9f6}")}});

  c.push_back(
      {"FOLDER",
       "mFIX_FOLDER_W10",
       L"",
       L"Folder",
       false,
       {{CR, L"Folder\\shellex\\ContextMenuHandlers\\ContosoMenu", Fate::Kept},
        {CR, L"Folder\\shell\\ContosoVerb", Fate::Kept},
        {CR, L"SystemFileAssociations\\Folder", Fate::Gone},
        {CU, kUserExts + L"Folder", Fate::Gone},
        {CU, kRoamingExts + L"Folder", Fate::NeverThere}},
       {Sz(CR, L"Folder", L"", L"Folder"),
        Bin(CR, L"Folder", L"EditFlags", {0xd2, 0x03, 0x00, 0x00}),
        Dw(CR, L"Folder", L"ThumbnailCutoff", 0),
        Ex(CR, L"Folder\\DefaultIcon", L"", L"%SystemRoot%\\System32\\shell32.dll,3"),
        Dw(CR, L"Folder\\shell\\explore", L"LaunchExplorerFlags", 0x18),
        Sz(CR, L"Folder\\shell\\pintohome", L"AppliesTo",
           L"System.ParsingName:<>\"::{679f85cb-0220-4080-b29b-5540cc05aab6}\" AND "
           L"System.ParsingName:<>\"::{645FF040-5081-101B-9F08-00AA002F954E}\" AND "
           L"System.IsFolder:=System.StructuredQueryType.Boolean#True"),
        Sz(CR, L"Folder\\shellex\\ContextMenuHandlers\\{a2a9545d-a0c2-42b4-9708-a0b2badd77c8}", L"",
           L"Start Menu Pin"),
        Ex(CR, L"Folder\\ShellNew", L"IconPath", L"%SystemRoot%\\system32\\shell32.dll,3")}});
  return c;
}

// ------------------------------------------------------------ the import test

class PayloadImportTest : public ::testing::TestWithParam<PayloadCase> {};

TEST_P(PayloadImportTest, ImportsWithExitCodeZeroAndLeavesWhatItsListSays) {
  const PayloadCase& c = GetParam();
  ForgetWhatTheScriptWrites(*FORM_LAIN().byName(c.component));
  for (const Expect& e : c.values) ForgetValue(e);
  std::vector<KeyCheck> checks = c.keys;
  if (!c.extension.empty()) {
    // Something else first, so the ProgID read afterwards cannot be a leftover.
    SetText(CR, c.extension, L"", L"Contoso.Hijacked");
  }
  // Other software's value in the class key goes only where the script rebuilds it.
  checks.push_back({CR, c.progId, c.progIdRebuilt ? Fate::Rebuilt : Fate::Kept, L"KorvaneForeign"});
  for (const KeyCheck& k : checks) ASSERT_NO_FATAL_FAILURE(Plant(k));

  ASSERT_EQ(ImportPayload(c.component, Wide(c.code)), 0u);

  if (!c.extension.empty()) {
    Registry reg(kKeyRead);
    reg.setRootKey(kHkeyClassesRoot);
    ASSERT_TRUE(reg.openKey(c.extension, false));
    EXPECT_EQ(reg.readString(L""), c.progId) << "the extension's ProgID";
  }
  for (const KeyCheck& k : checks) Verify(k);
  for (const Expect& e : c.values) ExpectValue(e);
  ExpectEverythingTheScriptSays(*FORM_LAIN().byName(c.component));
}

INSTANTIATE_TEST_SUITE_P(Payload, PayloadImportTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.code; });

// ------------------------------------------------------------ known folders

TEST(PayloadImportKnownFolders, DefinesAllHundredThirtyOneAndKeepsFoldersOfOtherSoftware) {
  ForgetWhatTheScriptWrites(FORM_LAIN().mFIX_FOLDER_W10);
  const std::wstring contoso = kFolderDescriptions + L"\\{C0FFEE00-1234-4321-ABCD-0123456789AB}";
  SetText(LM, contoso, L"Name", L"Contoso Data");
  SetText(LM, contoso + L"\\PropertyBag", L"ThisPCPolicy", L"Show");
  const std::wstring desktop = kFolderDescriptions + L"\\{B4BFCC3A-DB2C-424C-B029-7FE99A87C641}";
  SetText(LM, desktop, L"KorvaneForeign", L"kept");

  // Three definitions, value by value.
  const std::wstring downloads = kFolderDescriptions + L"\\{374DE290-123F-4565-9164-39C4925E467B}";
  const std::wstring documents = kFolderDescriptions + L"\\{FDD39AD0-238F-46AF-ADB4-6C85480369C7}";
  const std::wstring thisPc = L"shell:::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::";
  const Expect full[] = {
      Dw(LM, desktop, L"Attributes", 1),
      Dw(LM, desktop, L"Category", 4),
      Ex(LM, desktop, L"Icon", L"%SystemRoot%\\system32\\imageres.dll,-183"),
      Ex(LM, desktop, L"LocalizedName", L"@%SystemRoot%\\system32\\shell32.dll,-21769"),
      Sz(LM, desktop, L"Name", L"Desktop"),
      Dw(LM, desktop, L"PreCreate", 1),
      Dw(LM, desktop, L"PublishExpandedPath", 1),
      Sz(LM, desktop, L"RelativePath", L"Desktop"),
      Dw(LM, desktop, L"Roamable", 1),
      Dw(LM, desktop + L"\\PropertyBag", L"NoCustomize", 1),
      Dw(LM, downloads, L"Attributes", 1),
      Dw(LM, downloads, L"Category", 4),
      Ex(LM, downloads, L"Icon", L"%SystemRoot%\\system32\\imageres.dll,-184"),
      Ex(LM, downloads, L"LocalizedName", L"@%SystemRoot%\\system32\\windows.storage.dll,-21798"),
      Sz(LM, downloads, L"Name", L"Downloads"),
      Sz(LM, downloads, L"ParsingName", thisPc + L"{374DE290-123F-4565-9164-39C4925E467B}"),
      Dw(LM, downloads, L"PreCreate", 1),
      Dw(LM, downloads, L"PublishExpandedPath", 1),
      Sz(LM, downloads, L"RelativePath", L"Downloads"),
      Dw(LM, downloads, L"Roamable", 1),
      Sz(LM, downloads + L"\\PropertyBag", L"ThisPCPolicy", L"Hide"),
      Dw(LM, documents, L"Attributes", 1),
      Dw(LM, documents, L"Category", 4),
      Ex(LM, documents, L"Icon", L"%SystemRoot%\\system32\\imageres.dll,-112"),
      Ex(LM, documents, L"LocalizedName", L"@%SystemRoot%\\system32\\windows.storage.dll,-21770"),
      Sz(LM, documents, L"Name", L"Personal"),
      Sz(LM, documents, L"ParsingName", thisPc + L"{A8CDFF1C-4878-43be-B5FD-F8091C1C60D0}"),
      Dw(LM, documents, L"PreCreate", 1),
      Sz(LM, documents, L"RelativePath", L"Documents"),
      Dw(LM, documents, L"Roamable", 1),
      Sz(LM, documents + L"\\PropertyBag", L"PreferredFolder",
         L"{7b0db17d-9cd2-4a93-9733-46cc89022e7c}"),
      Sz(LM, documents + L"\\PropertyBag", L"ThisPCPolicy", L"Hide"),
  };
  for (const Expect& e : full) ForgetValue(e);

  ASSERT_EQ(ImportPayload("mFIX_FOLDER_W10", L"FOLDER"), 0u);

  // The identifiers and names as the script defines them, read back one by one.
  std::set<std::string> folders, bags;
  const std::wstring base = kFolderDescriptions + L"\\";
  for (const RegOp& op : ParseRegScript(FORM_LAIN().mFIX_FOLDER_W10).ops) {
    if (op.root != kHkeyLocalMachine || op.path.rfind(base, 0) != 0) continue;
    const std::string below = Narrow(op.path.substr(base.size()));
    if (op.kind == RegOpKind::CreateKey)
      (below.find('\\') == std::string::npos ? folders : bags).insert(below);
    if (op.kind != RegOpKind::SetValue) continue;
    const auto got = ReadValue(LM, op.path, op.name);
    if (!got) {
      ADD_FAILURE() << below << " has no " << Narrow(op.name);
    } else if (op.name == L"Name") {
      EXPECT_EQ(got->type, static_cast<DWORD>(REG_SZ)) << below;
      EXPECT_EQ(got->bytes, op.data.bytes) << below;
    }
  }
  EXPECT_EQ(folders.size(), 131u);
  EXPECT_EQ(bags.size(), 37u);

  for (const Expect& e : full) ExpectValue(e);

  // Written over, never deleted: what other software registered stays.
  EXPECT_EQ(ReadString(LM, contoso, L"Name"), L"Contoso Data");
  EXPECT_EQ(ReadString(LM, contoso + L"\\PropertyBag", L"ThisPCPolicy"), L"Show");
  EXPECT_EQ(ReadString(LM, desktop, L"KorvaneForeign"), L"kept");
}

// ------------------------------------------------------------ quoted texts

// Inside quotes reg.exe reads \\, \", \n and \r as escapes, drops any other
// backslash, and skips a line holding \0.  The program's reader must agree: it
// predicts what an import writes, for the read-back and the undo files.
TEST(RegScriptImport, QuotedTextsReadAsTheSystemRegExeReadsThem) {
  const std::wstring key = L"Software\\KorvaneQuotedTexts";
  const struct {
    const wchar_t* line;
    const wchar_t* name;                 // as stored
    std::optional<std::wstring> stored;  // nullopt: the line is skipped
  } cases[] = {
      {L"\"lone\"=\"C:\\path\\x\"", L"lone", L"C:pathx"},
      {L"\"tab\"=\"a\\tb\"", L"tab", L"atb"},
      {L"\"blank\"=\"tail\\ \"", L"blank", L"tail "},
      {L"\"escapes\"=\"a\\\\b\\\"c\"", L"escapes", L"a\\b\"c"},
      {L"\"lf\"=\"a\\nb\"", L"lf", L"a\nb"},
      {L"\"cr\"=\"a\\rb\"", L"cr", L"a\rb"},
      {L"\"na\\me\"=\"in the name\"", L"name", L"in the name"},
      {L"\"zero\"=\"a\\0b\"", L"zero", std::nullopt},
  };
  std::wstring text = kRegFileHeader + L"\n\n[HKEY_CURRENT_USER\\" + key + L"]\n";
  for (const auto& c : cases) text += std::wstring(c.line) + L"\n";
  RegDeleteTreeW(CU, key.c_str());
  ScratchDir dir(L"korvane-quoted-texts");
  const std::wstring file = dir.path() + L"\\quoted.reg";
  ASSERT_TRUE(WriteBytes(file, EncodeRegFile(text)));
  ASSERT_EQ(ImportWithSystemRegExe(file), 0u);

  const RegScriptText parsed = ParseRegScript(text);
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.line));
    const auto got = ReadValue(CU, key, c.name);
    const auto op = std::find_if(parsed.ops.begin(), parsed.ops.end(), [&](const RegOp& o) {
      return o.kind == RegOpKind::SetValue && o.name == c.name;
    });
    if (!c.stored) {
      EXPECT_FALSE(got.has_value()) << "reg.exe wrote the value";
      EXPECT_EQ(op, parsed.ops.end()) << "the reader expects a value";
      continue;
    }
    ASSERT_TRUE(got.has_value()) << "reg.exe did not write the value";
    EXPECT_EQ(got->bytes, WideToRegBytes(*c.stored)) << "reg.exe";
    ASSERT_NE(op, parsed.ops.end()) << "the reader skipped the line";
    EXPECT_EQ(op->data.bytes, got->bytes) << "the reader";
  }
  EXPECT_EQ(parsed.errors.size(), 1u) << "only the line with \\0 is skipped";
  RegDeleteTreeW(CU, key.c_str());
}

}  // namespace
}  // namespace korvane::wine
