#pragma once

#include <string>

#include "platform/Platform.h"

namespace korvane {

inline const std::wstring kAppTitle = L"Korvane";

inline int ShowMessage(const std::wstring& text, const std::wstring& title, unsigned flags) {
  return Sys().messageBox(text, title, flags);
}

inline void ShowDone() { ShowMessage(L"Done!", kAppTitle, kMbIconInformation); }

}  // namespace korvane
