#include "app/UndoDialog.h"

#include <commctrl.h>

#include <vector>

#include "changes/UndoFiles.h"
#include "common/Messages.h"
#include "common/PrivateFolders.h"
#include "common/ToolsMenu.h"
#include "ui/ControlIds.h"
#include "ui/Handlers.h"
#include "ui/UiKit.h"

namespace korvane {
namespace {

const wchar_t kClass[] = L"TFORM_UNDO";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr int kWidth = 600;
constexpr int kHeight = 340;
const wchar_t kUndoIntro[] =
    L"Each repair made in this window kept an undo file. Undo puts back what the repair changed.";

struct UndoDialog {
  HWND Handle = nullptr;
  HWND lvUNDO = nullptr;
  HWND btnUNDO = nullptr;
  HWND lblUNDO = nullptr;
  Platform* system = nullptr;
  std::vector<UndoEntry> entries;
  bool done = false;
  bool busy = false;  // an undo is running; the buttons stay quiet meanwhile

  void Reload(int select) {
    // Checked on every use: a store that is no longer the administrators' alone is
    // not read at all, and the dialog says why.
    const PrivateFolder store = OpenUndoStore(*system, /*create=*/false);
    entries = store.path.empty() ? std::vector<UndoEntry>{} : ListUndoFiles(*system, store.path);
    SetWindowTextW(
        lblUNDO, store.problem.empty() ? kUndoIntro : UndoStoreUnusableText(store.problem).c_str());
    ListView_DeleteAllItems(lvUNDO);
    for (size_t i = 0; i < entries.size(); ++i) {
      const UndoRow row = RowOf(entries[i]);
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(i);
      item.pszText = const_cast<wchar_t*>(row.date.c_str());
      const int index = ListView_InsertItem(lvUNDO, &item);
      ListView_SetItemText(lvUNDO, index, 1, const_cast<wchar_t*>(row.repair.c_str()));
      ListView_SetItemText(lvUNDO, index, 2, const_cast<wchar_t*>(row.changes.c_str()));
    }
    if (!entries.empty()) {
      if (select < 0 || select >= static_cast<int>(entries.size())) select = 0;
      ListView_SetItemState(lvUNDO, select, LVIS_SELECTED | LVIS_FOCUSED,
                            LVIS_SELECTED | LVIS_FOCUSED);
      ListView_EnsureVisible(lvUNDO, select, FALSE);
    }
    EnableWindow(btnUNDO, !entries.empty());
  }

  void btnUNDOClick() {
    const int selected = ListView_GetNextItem(lvUNDO, -1, LVNI_SELECTED);
    if (busy || selected < 0 || selected >= static_cast<int>(entries.size())) return;
    busy = true;
    UndoWithMessages(*system, entries[static_cast<size_t>(selected)]);
    busy = false;
    Reload(selected);
    SetFocus(lvUNDO);
  }

  void btnOPENFOLDERClick() {
    // Explorer shows nothing for a folder that does not exist yet.
    const PrivateFolder store = OpenUndoStore(*system, /*create=*/true);
    if (!store.problem.empty()) {
      system->messageBox(UndoStoreUnusableText(store.problem), kAppTitle, kMbIconError);
      return;
    }
    if (!OpenFolderInExplorer(*system, store.path))
      system->messageBox(L"Cannot open \"" + store.path + L"\". " + system->lastErrorText(),
                         kAppTitle, kMbIconError);
  }

  void BindHandlers() {
    handlers.onClick(ids::btnUNDO, [this] { btnUNDOClick(); });
    handlers.onClick(ids::btnOPENUNDOFOLDER, [this] { btnOPENFOLDERClick(); });
    handlers.onClick(ids::btnCLOSEUNDO, [this] { btnCLOSEClick(); });
    handlers.onClick(IDCANCEL, [this] { btnCLOSEClick(); });  // Esc
    handlers.onNotify(ids::lvUNDO, [this](NMHDR* hdr) -> LRESULT {
      if (hdr->code == NM_DBLCLK) btnUNDOClick();
      return 0;
    });
  }

  void btnCLOSEClick() {
    if (!busy) done = true;
  }

  LRESULT Handle_(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT handled = 0;
    if (handlers.handle(msg, wp, lp, &handled)) return handled;
    switch (msg) {
      case DM_GETDEFID:
        return MAKELRESULT(ids::btnUNDO, DC_HASDEFID);  // Enter undoes
      case WM_CLOSE:
        btnCLOSEClick();
        return 0;
    }
    return DefWindowProcW(Handle, msg, wp, lp);
  }

  ui::Handlers handlers;
};

HWND MakeButton(HWND parent, int id, const wchar_t* text, int x, DWORD style) {
  HWND b =
      CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, ui::Scale(x),
                      ui::Scale(kHeight - 35), ui::Scale(95), ui::Scale(25), parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(ui::DefaultFont()), FALSE);
  return b;
}

void AddColumn(HWND lv, int index, const wchar_t* text, int width) {
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  col.pszText = const_cast<wchar_t*>(text);
  col.cx = ui::Scale(width);
  col.iSubItem = index;
  ListView_InsertColumn(lv, index, &col);
}

}  // namespace

void ShowUndoDialog(HWND owner, Platform& system) {
  static bool registered = false;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!registered) {
    ui::RegisterFormClass(instance, kClass, ui::FormProc<UndoDialog>,
                          reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    registered = true;
  }

  UndoDialog dialog;
  dialog.BindHandlers();
  dialog.system = &system;
  RECT rc = {0, 0, ui::Scale(kWidth), ui::Scale(kHeight)};
  AdjustWindowRectEx(&rc, kStyle, FALSE, WS_EX_DLGMODALFRAME);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  RECT o;
  GetWindowRect(owner, &o);
  HWND dlg =
      CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClass, L"Undo a Repair", kStyle,
                      o.left + (o.right - o.left - w) / 2, o.top + (o.bottom - o.top - h) / 2, w, h,
                      owner, nullptr, instance, &dialog);
  if (!dlg) return;
  SendMessageW(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(ui::DefaultFont()), FALSE);
  // The dialog shows the program's own icon in its title bar.
  if (auto icon = reinterpret_cast<HICON>(GetClassLongPtrW(owner, GCLP_HICONSM)))
    SendMessageW(dlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(CopyIcon(icon)));

  dialog.lblUNDO = ui::Label(dlg, ids::lblUNDO, kUndoIntro, 10, 10, kWidth - 20, 16);
  dialog.lvUNDO = CreateWindowExW(
      WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"Undo files",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
          LVS_NOSORTHEADER,
      ui::Scale(10), ui::Scale(32), ui::Scale(kWidth - 20), ui::Scale(kHeight - 80), dlg,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::lvUNDO)), instance, nullptr);
  SendMessageW(dialog.lvUNDO, WM_SETFONT, reinterpret_cast<WPARAM>(ui::DefaultFont()), FALSE);
  ListView_SetExtendedListViewStyle(dialog.lvUNDO, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  AddColumn(dialog.lvUNDO, 0, L"Date", 125);
  AddColumn(dialog.lvUNDO, 1, L"Repair", 220);
  AddColumn(dialog.lvUNDO, 2, L"Changes", 210);
  dialog.btnUNDO = MakeButton(dlg, ids::btnUNDO, L"Undo", kWidth - 315, BS_DEFPUSHBUTTON);
  MakeButton(dlg, ids::btnOPENUNDOFOLDER, L"Open Folder", kWidth - 210, BS_PUSHBUTTON);
  MakeButton(dlg, ids::btnCLOSEUNDO, L"Close", kWidth - 105, BS_PUSHBUTTON);
  dialog.Reload(0);

  ui::RunModal(dlg, owner, dialog.lvUNDO, dialog.done);
}

}  // namespace korvane
