// The main window: header band, the tabs with their four pages, the main menu and
// its handlers.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "app/Pages.h"
#include "platform/Platform.h"
#include "ui/Handlers.h"

namespace korvane {

struct Repair;

class TFORM_UTAMA {
 public:
  // Creates the window; its creation runs FormCreate.
  explicit TFORM_UTAMA(HINSTANCE instance);

  HWND Handle = nullptr;
  HINSTANCE Instance = nullptr;
  // FormCreate asked the application to end (WOW64 or unsupported system).
  bool TerminateRequested = false;

  HWND PageControl1 = nullptr;
  HWND TabSheet1 = nullptr, tsFILEASSOC = nullptr, tsRESTRICTFIX = nullptr, tsADVANCEDFIX = nullptr;
  HMENU MainMenu1 = nullptr;
  // The pages, in tab order; each is built into its panel above when first needed.
  PageHome Home{*this};
  PageFileAssoc FileAssoc{*this};
  PageRestrict Restrict{*this};
  PageAdvanced Advanced{*this};
  // The real platform, below the layers a verified press puts over Sys().
  Platform* System = nullptr;

  // --- handlers ---
  void FormCreate();
  void mnuEXITClick();
  void mnuCreateRestorePointClick();
  void mnuRESTARTEXPLORERClick();
  void mnuUndoRepairClick();
  // What a button that changes the machine does: the repair, verified (preview,
  // undo file, the repair itself, read-back).
  void Press(const Repair* repair);
  void mnuHomepageClick();
  void mnuEmailClick();
  void mnuABOUTClick();

  // Registers what a click on control or menu id does.
  void OnClick(int id, ui::Handlers::Click handler) { handlers_.onClick(id, std::move(handler)); }
  // Notifications (WM_NOTIFY) of a child control.
  void OnNotify(int id, ui::Handlers::Notify handler) {
    handlers_.onNotify(id, std::move(handler));
  }

  // Shows a page, building it first if it has not been built yet.
  void ShowPage(int index);
  // Builds the pages not built yet, one at a time through posted messages, so the
  // window is shown (and painted) before them.  A page whose tab is chosen first
  // is built there and then.
  void BuildPagesInBackground();

  // Every message of the window (see ui::FormProc).
  LRESULT Handle_(UINT msg, WPARAM wp, LPARAM lp);

 private:
  void BuildWindow();
  void BuildMenu();
  HWND NewPage(int id, const wchar_t* caption);
  void EnsurePage(int index);

  bool pageBuilt_[4] = {};

  ui::Handlers handlers_;
};

extern TFORM_UTAMA* FORM_UTAMA;

void BuildToolsMenu(TFORM_UTAMA& form, HMENU tools);

}  // namespace korvane
