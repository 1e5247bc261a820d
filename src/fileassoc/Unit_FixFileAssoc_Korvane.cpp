#include "common/KorvaneError.h"
#include "common/Messages.h"
#include "common/Registry.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "fileassoc/FileAssoc.h"

namespace korvane {

void ApplyRegScript(const Payload& payload, const std::wstring& typeCode) {
  const std::wstring regeditPath = GetWinDir() + L"\\Regedit.exe";
  const std::wstring scriptPath = TempPath + typeCode + L".reg";

  DeleteScratchFile(scriptPath);
  // reg.exe imports with administrator rights whatever the script says, so the script
  // is held from the check against what was written until reg.exe has ended.
  HeldFile script;
  try {
    script = WriteHeldFile(scriptPath, LinesToRegFileBytes(payload));
  } catch (const KorvaneError& e) {
    Sys().noteFailure(e.message());
    ShowMessage(kErrorText, kAppTitle, kMbIconError);
    return;
  }
  if (!FileExists(scriptPath) || !FileExists(regeditPath)) {
    // The page stops without a word here; the command line says what was missing.
    Sys().noteFailure(L"Cannot find \"" + (FileExists(scriptPath) ? regeditPath : scriptPath) +
                      L"\". " + Sys().errorText(kErrorFileNotFound) + L".");
    return;
  }

  // Quoted only when needed, so the ordinary "reg.exe import C:\Temp\ZIP.reg" stays
  // as it always was while a TEMP under "C:\Users\Ann Lee" still imports.
  const RunResult run = RunProcess(L"reg.exe import " + CommandLineForPath(scriptPath), 0);

  script.release();
  DeleteScratchFile(scriptPath);
  // A reg.exe that could not start, or that crashed, is named like every other tool.
  if (!run.ok()) throw KorvaneError(run.failure);
  // One that reported an error imported nothing (or not all): saying "Done!" then
  // would send the user away with the fault in place.
  if (run.exitCode != 0) {
    Sys().noteFailure(L"reg.exe could not import \"" + scriptPath + L"\" (exit code " +
                      std::to_wstring(run.exitCode) + L").");
    ShowMessage(kErrorText, kAppTitle, kMbIconError);
    return;
  }
  ShowDone();
}

namespace {

struct ExeValue {
  enum Kind { Sz, ExpandSz, Binary } kind;
  const wchar_t* name;  // empty: the key's default value
  const wchar_t* text;
  std::vector<std::uint8_t> bytes;
};

struct ExeStep {
  const wchar_t* key;
  std::vector<ExeValue> values;
};

const wchar_t kOpenCommand[] = L"\"%1\" %*";
const wchar_t kInfoTip[] =
    L"prop:System.FileDescription;System.Company;System.FileVersion;System.DateCreated;"
    L"System.Size";

const std::vector<ExeStep>& ExeSteps() {
  static const std::vector<ExeStep> steps = {
      {L".exe\\PersistentHandler",
       {{ExeValue::Sz, L"", L"{098f2470-bae0-11cd-b579-08002b30bfeb}", {}}}},
      {L"exefile",
       {{ExeValue::Sz, L"", L"Application", {}},
        {ExeValue::Binary, L"EditFlags", nullptr, {0x38, 0x07, 0x00, 0x00}},
        {ExeValue::ExpandSz,
         L"FriendlyTypeName",
         L"@%SystemRoot%\\System32\\shell32.dll,-10156",
         {}}}},
      {L"exefile\\DefaultIcon", {{ExeValue::Sz, L"", L"%1", {}}}},
      {L"exefile\\shell\\open", {{ExeValue::Binary, L"EditFlags", nullptr, {0, 0, 0, 0}}}},
      {L"exefile\\shell\\open\\command",
       {{ExeValue::Sz, L"", kOpenCommand, {}},
        {ExeValue::Sz, L"IsolatedCommand", kOpenCommand, {}}}},
      {L"exefile\\shell\\runas", {{ExeValue::Sz, L"HasLUAShield", L"", {}}}},
      {L"exefile\\shell\\runas\\command",
       {{ExeValue::Sz, L"", kOpenCommand, {}},
        {ExeValue::Sz, L"IsolatedCommand", kOpenCommand, {}}}},
      {L"exefile\\shell\\runasuser",
       {{ExeValue::Sz, L"", L"@shell32.dll,-50944", {}},
        {ExeValue::Sz, L"Extended", L"", {}},
        {ExeValue::Sz, L"SuppressionPolicyEx", L"{F211AA05-D4DF-4370-A2A0-9F19C09756A7}", {}}}},
      {L"exefile\\shell\\runasuser\\command",
       {{ExeValue::Sz, L"DelegateExecute", L"{ea72d00e-4960-42fa-ba92-7792a7944c1d}", {}}}},
      {L"exefile\\shellex\\ContextMenuHandlers", {{ExeValue::Sz, L"", L"Compatibility", {}}}},
      {L"exefile\\shellex\\ContextMenuHandlers\\Compatibility",
       {{ExeValue::Sz, L"", L"{1d27f844-3a1f-4410-85ac-14651078412d}", {}}}},
      {L"exefile\\shellex\\ContextMenuHandlers\\NvAppShExt",
       {{ExeValue::Sz, L"", L"{A929C4CE-FD36-4270-B4F5-34ECAC5BD63C}", {}}}},
      {L"exefile\\shellex\\ContextMenuHandlers\\OpenGLShExt",
       {{ExeValue::Sz, L"", L"{E97DEC16-A50D-49bb-AE24-CF682282E08D}", {}}}},
      {L"exefile\\shellex\\ContextMenuHandlers\\PintoStartScreen",
       {{ExeValue::Sz, L"", L"{470C0EBD-5D73-4d58-9CED-E91E22E23282}", {}}}},
      {L"exefile\\shellex\\DropHandler",
       {{ExeValue::Sz, L"", L"{86C86720-42A0-1069-A2E8-08002B30309D}", {}}}},
      {L"SystemFileAssociations\\.exe",
       {{ExeValue::Sz, L"InfoTip", kInfoTip, {}}, {ExeValue::Sz, L"TileInfo", kInfoTip, {}}}},
  };
  return steps;
}

}  // namespace

void FixExeAssociation() {
  Registry reg(kKeyAllAccess);
  reg.setRootKey(kHkeyClassesRoot);
  for (const ExeStep& step : ExeSteps()) {
    reg.openKey(step.key, true);
    for (const ExeValue& v : step.values) {
      switch (v.kind) {
        case ExeValue::Sz:
          reg.writeString(v.name, v.text);
          break;
        case ExeValue::ExpandSz:
          reg.writeExpandString(v.name, v.text);
          break;
        case ExeValue::Binary:
          reg.writeBinaryData(v.name, v.bytes);
          break;
      }
    }
    reg.closeKey();
  }
  // The user's own choice for .exe files overrides the repaired class; remove it
  // here too, so the repair holds even when the import that follows cannot run.
  reg.setRootKey(kHkeyCurrentUser);
  reg.deleteKey(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.exe");
  reg.deleteKey(L"SOFTWARE\\Microsoft\\Windows\\Roaming\\OpenWith\\FileExts\\.exe");
}

const std::vector<FileTypeRow>& FileTypeCatalogue() {
  static const std::vector<FileTypeRow> rows = [] {
    std::vector<FileTypeRow> out;
#define KORVANE_CATALOGUE_ROW(member, button, label, code, description)                            \
  out.push_back({static_cast<int>(out.size()) + 1, KORVANE_WIDE(label), KORVANE_WIDE(description), \
                 #button, KORVANE_WIDE(code), #member});
    KORVANE_FILE_TYPE_ROWS(KORVANE_CATALOGUE_ROW)
#undef KORVANE_CATALOGUE_ROW
    return out;
  }();
  return rows;
}

void FixFileTypeRow(const FileTypeRow& row) {
  if (std::wstring(row.typeCode) == L"EXE") FixExeAssociation();
  ApplyRegScript(*FORM_LAIN().byName(row.payload), row.typeCode);
}

std::wstring ExeHintText() {
  const std::wstring br = L"\n\x1E";
  return L"If the exe file association is an error, please rename the program file and change "
         L"the extension to \".com\" to be able to run the Korvane program." +
         br + br + L"Example:" + br + L"From \"Korvane.exe\" to be \"Korvane.com\".";
}

}  // namespace korvane
