// Tools > Restart "explorer.exe": the launcher side of the embedded restart helper.
#pragma once

#include <string>

namespace korvane {

inline const std::wstring kRestartHelperResource = L"RESTARTEXPLORER";
inline const std::wstring kRestartHelperBaseName = L"RestartExp";
inline const std::wstring kRestartHelperExtension = L".exe";

// Writes the program's own RCDATA resource `resourceName` to directory + baseName +
// extension (joined as given: the directory ends with a backslash, the extension
// starts with a dot), replacing any file of that name.  Raises KorvaneError when the
// resource is missing or the file cannot be written.
void ExtractResourceToFile(const std::wstring& resourceName, const std::wstring& extension,
                           const std::wstring& directory, const std::wstring& baseName);

// mnuRESTARTEXPLORERClick: writes the helper to TEMP as "RestartExp.exe", holds it
// against change, runs it hidden until it ends and deletes it again.  Shows nothing
// itself; a failed extraction, a helper changed by another program after it was
// written, or one that cannot be started raises KorvaneError for the standard error
// box.
void RestartExplorer();

// The helper's two halves, for a repair that works on File Explorer's files while
// it is not running: EndExplorer ends every File Explorer process, StartExplorer
// starts it again, each as RestartExplorer runs the helper.
void EndExplorer();
void StartExplorer();

}  // namespace korvane
