#pragma once

#include <string>

#include "platform/Platform.h"

namespace korvane {

inline const std::wstring kAppTitle = L"Korvane";
// What a repair's last message box says.
inline const std::wstring kDoneText = L"Done!";
inline const std::wstring kErrorText = L"Error!";

inline int ShowMessage(const std::wstring& text, const std::wstring& title, unsigned flags) {
  return Sys().messageBox(text, title, flags);
}

inline void ShowDone() { ShowMessage(kDoneText, kAppTitle, kMbIconInformation); }

}  // namespace korvane
