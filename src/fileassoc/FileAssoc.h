// The File Associations Fixer: importing a payload with reg.exe, the direct
// repair of the .exe registration, and the catalogue of the page's rows.
#pragma once

#include <string>
#include <vector>

#include "fileassoc/Unit_FORMLAIN_Korvane.h"

namespace korvane {

// Writes the payload to TempPath + typeCode + ".reg", imports it with reg.exe and
// reports "Done!" or "Error!".  Stops silently when Regedit.exe is missing.  A
// reg.exe that cannot be started raises KorvaneError "Cannot run "reg.exe". <why>".
void ApplyRegScript(const Payload& payload, const std::wstring& typeCode);

// Rewrites the .exe registration directly (no program can start while it is
// broken, reg.exe included on some systems).  Raises the wrapper's error when a
// write is refused.
void FixExeAssociation();

struct FileTypeRow {
  int position;
  const wchar_t* label;
  const wchar_t* description;
  const char* button;  // component name; its handler is this + "Click"
  const wchar_t* typeCode;
  const char* payload;  // component of FORM_LAIN
};

const std::vector<FileTypeRow>& FileTypeCatalogue();

// What pressing FIX on a row does.
void FixFileTypeRow(const FileTypeRow& row);

// The hint shown by the "How to fix EXE file associations." link.
std::wstring ExeHintText();

}  // namespace korvane
