// The About dialog: name, version, the two contact links and the copyright line.
#pragma once

#include <windows.h>

#include <string>

#include "ui/Handlers.h"

namespace korvane {

// The maker's contact values, shown in the dialog and used by the Help menu.
inline const std::wstring kHomepageAddress = L"https://korvane.example.com/";
inline const std::wstring kSupportEmail = L"support@korvane.example.com";
inline const std::wstring kCopyrightNotice =
    L"Copyright \u00A9 2026 Korvane Project. All rights reserved.";

class TFORM_TENTANG {
 public:
  // Created once after the main window, hidden until shown.
  TFORM_TENTANG(HINSTANCE instance, HWND mainWindow);

  HWND Handle = nullptr;
  HWND Image1 = nullptr, lblAppName = nullptr, LABEL_VERSI = nullptr, Label8 = nullptr,
       LABEL_HOMEPAGE = nullptr, Label1 = nullptr, LABEL_EMAIL = nullptr, Label5 = nullptr,
       BTN_OK = nullptr;

  // Shows the dialog centred on the main window and returns when it is closed.
  void ShowModal();

  void FormCreate();
  void BTN_OKClick();
  void LABEL_HOMEPAGEClick();
  void LABEL_EMAILClick();

  // Every message of the window (see ui::FormProc).
  LRESULT Handle_(UINT msg, WPARAM wp, LPARAM lp);

 private:
  void BuildControls();

  HWND main_;
  ui::Handlers handlers_;
  bool showing_ = false;
  bool built_ = false;
};

extern TFORM_TENTANG* FORM_TENTANG;

}  // namespace korvane
