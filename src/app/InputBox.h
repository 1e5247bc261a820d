#pragma once

#include <windows.h>

#include <string>

namespace korvane {

// A one-line text input dialog: caption, prompt, an edit field of at most 255
// characters, OK and Cancel.  Returns the text entered, or defaultText when
// cancelled.
std::wstring ShowInputBox(HWND owner, const std::wstring& caption, const std::wstring& prompt,
                          const std::wstring& defaultText);

}  // namespace korvane
