// The main window: header band, the four pages, the main menu and every handler.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>

#include "fileassoc/FileTypeRows.h"
#include "platform/Platform.h"

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
  HWND lblWinName = nullptr, lblMBoard = nullptr, lblCPUName = nullptr, lblTOTALRAM = nullptr;
  HWND btnRSPoint = nullptr, btnSCANSFC = nullptr, btnSCANDISM = nullptr;
  HWND lblINFO_FIX_EXE = nullptr;
  HMENU MainMenu1 = nullptr;
  // The real platform, below the layers a verified press puts over Sys().
  Platform* System = nullptr;

  // --- handlers ---
  void FormCreate();
  void mnuEXITClick();
  void btnRSPointClick();
  void btnSCANSFCClick();
  void btnSCANDISMClick();
  void mnuCreateRestorePointClick();
#define KORVANE_DECLARE_FIX_HANDLER(member, button, label, code, description) void button##Click();
  KORVANE_FILE_TYPE_ROWS(KORVANE_DECLARE_FIX_HANDLER)
#undef KORVANE_DECLARE_FIX_HANDLER
  void lblINFO_FIX_EXEClick();
  void mnuRESTARTEXPLORERClick();
  void mnuUndoRepairClick();
  // What a button that changes the machine does: the repair, verified (preview,
  // undo file, the repair itself, read-back).
  void Press(const Repair* repair);
  void mnuHomepageClick();
  void mnuEmailClick();
  void mnuABOUTClick();

  // Registers what a click on control or menu id does.
  void OnClick(int id, std::function<void()> handler) { clicks_[id] = std::move(handler); }
  // Notifications (WM_NOTIFY) of a child control.
  void OnNotify(int id, std::function<LRESULT(NMHDR*)> handler) { notifies_[id] = std::move(handler); }

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
  void BuildHome(HWND page);
  void BuildFileAssoc(HWND page);
  HWND NewPage(int id, const wchar_t* caption);
  void EnsurePage(int index);

  bool pageBuilt_[4] = {};

  std::map<int, std::function<void()>> clicks_;
  std::map<int, std::function<LRESULT(NMHDR*)>> notifies_;
};

extern TFORM_UTAMA* FORM_UTAMA;

// Pages built in their own files.
void BuildRestrictionPage(TFORM_UTAMA& form, HWND page);
void BuildAdvancedPage(TFORM_UTAMA& form, HWND page);
void BuildToolsMenu(TFORM_UTAMA& form, HMENU tools);

}  // namespace korvane
