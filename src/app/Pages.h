// The main window's four pages.  Each is built the first time it is needed, into
// the panel the window made for it, and keeps its own controls and state; the
// window owns one of each.
#pragma once

#include <windows.h>

#include "fileassoc/FileTypeRows.h"
#include "restrict/RestrictionList.h"

namespace korvane {

class TFORM_UTAMA;

// Hardware information and the "Quick Task" boxes.
class PageHome {
 public:
  explicit PageHome(TFORM_UTAMA& form) : form_(form) {}
  void Build(HWND page);

  HWND lblWinName = nullptr, lblMBoard = nullptr, lblCPUName = nullptr, lblTOTALRAM = nullptr;
  HWND btnRSPoint = nullptr, btnSCANSFC = nullptr, btnSCANDISM = nullptr;

  void btnRSPointClick();
  void btnSCANSFCClick();
  void btnSCANDISMClick();

 private:
  TFORM_UTAMA& form_;
};

// The File Associations Fixer: one row with a FIX button a file type.
class PageFileAssoc {
 public:
  explicit PageFileAssoc(TFORM_UTAMA& form) : form_(form) {}
  void Build(HWND page);

  HWND lblINFO_FIX_EXE = nullptr;

#define KORVANE_DECLARE_FIX_HANDLER(member, button, label, code, description) void button##Click();
  KORVANE_FILE_TYPE_ROWS(KORVANE_DECLARE_FIX_HANDLER)
#undef KORVANE_DECLARE_FIX_HANDLER
  void lblINFO_FIX_EXEClick();

 private:
  TFORM_UTAMA& form_;
};

// The Restriction Fixer.  Its behaviour lives in RestrictionList; the list view
// and the hidden list box only show the model's state.
class PageRestrict {
 public:
  explicit PageRestrict(TFORM_UTAMA& form) : form_(form) {}
  void Build(HWND page);

  HWND lvRESTRICT = nullptr;
  HWND lbRESTRICT = nullptr;
  HWND cbCHECKALLRESTRICT = nullptr;

 private:
  // Copies the whole model into the controls.
  void Mirror();
  LRESULT lvRESTRICTNotify(NMHDR* hdr);
  static LRESULT CALLBACK FixedColumnsProc(HWND lv, UINT msg, WPARAM wp, LPARAM lp);

  TFORM_UTAMA& form_;
  RestrictionList model_;
  bool mirroring_ = false;
  WNDPROC listViewProc_ = nullptr;  // the list view's own, below FixedColumnsProc
};

// The Advanced page: section headers and one-button rows in a scroll box.
class PageAdvanced {
 public:
  explicit PageAdvanced(TFORM_UTAMA& form) : form_(form) {}
  void Build(HWND page);

 private:
  TFORM_UTAMA& form_;
};

}  // namespace korvane
