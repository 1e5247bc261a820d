// The Restriction Fixer page.  Its behaviour lives in RestrictionList; the list
// view and the hidden list box only show the model's state.
#include <windows.h>

#include <commctrl.h>

#include <iterator>

#include "app/Art.h"
#include "app/ControlIds.h"
#include "app/UiKit.h"
#include "app/Unit_Korvane.h"
#include "repairs/VerifiedPress.h"
#include "restrict/RestrictionList.h"

namespace korvane {
namespace {

struct RestrictionPage {
  RestrictionList model;
  HWND lvRESTRICT = nullptr;
  HWND lbRESTRICT = nullptr;
  HWND cbCHECKALLRESTRICT = nullptr;
  bool mirroring = false;

  // Copies the whole model into the controls.  Every field of every row is written
  // whatever the list held before: a rescan may find as many restrictions as the last
  // one but other ones, and a stale caption over a live check box would lift the
  // wrong policy.
  void Mirror() {
    mirroring = true;
    const auto& items = model.items();
    if (ListView_GetItemCount(lvRESTRICT) != static_cast<int>(items.size())) {
      ListView_DeleteAllItems(lvRESTRICT);
      for (size_t i = 0; i < items.size(); ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(L"");
        ListView_InsertItem(lvRESTRICT, &item);
      }
    }
    for (size_t i = 0; i < items.size(); ++i) {
      const int index = static_cast<int>(i);
      LVITEMW item{};
      item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_GROUPID;
      item.iItem = index;
      item.pszText = const_cast<wchar_t*>(items[i].caption.c_str());
      item.iImage = items[i].imageIndex;
      item.iGroupId = items[i].groupId;
      ListView_SetItem(lvRESTRICT, &item);
      ListView_SetItemText(lvRESTRICT, index, 1, const_cast<wchar_t*>(items[i].info.c_str()));
      if ((ListView_GetCheckState(lvRESTRICT, index) != 0) != items[i].checked)
        ListView_SetCheckState(lvRESTRICT, index, items[i].checked);
    }
    SendMessageW(lbRESTRICT, LB_RESETCONTENT, 0, 0);
    for (const auto& name : model.selection())
      SendMessageW(lbRESTRICT, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    SendMessageW(cbCHECKALLRESTRICT, BM_SETCHECK, model.checkAll() ? BST_CHECKED : BST_UNCHECKED, 0);
    UpdateWindow(lvRESTRICT);
    mirroring = false;
  }
};

RestrictionPage* g_page = nullptr;

constexpr int kColumnWidths[] = {150, 400};
WNDPROC g_listViewProc = nullptr;

// The columns keep their widths: dragging a divider, double-clicking it (which would
// size the column to its longest text) and the keyboard's size-to-fit are refused
// before the list view acts on them.
LRESULT CALLBACK FixedColumnsProc(HWND lv, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->hwndFrom == ListView_GetHeader(lv)) {
    auto* header = reinterpret_cast<NMHEADERW*>(lp);  // the A form has the same layout
    switch (header->hdr.code) {
      case HDN_BEGINTRACKW:
      case HDN_BEGINTRACKA:
      case HDN_DIVIDERDBLCLICKW:
      case HDN_DIVIDERDBLCLICKA:
        return TRUE;
      case HDN_ITEMCHANGINGW:
      case HDN_ITEMCHANGINGA:
        if (header->pitem && (header->pitem->mask & HDI_WIDTH) && header->iItem >= 0 &&
            header->iItem < static_cast<int>(std::size(kColumnWidths)) &&
            header->pitem->cxy != ui::Scale(kColumnWidths[header->iItem]))
          return TRUE;
        break;
    }
  }
  return CallWindowProcW(g_listViewProc, lv, msg, wp, lp);
}

void AddColumn(HWND lv, int index, const wchar_t* text) {
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
  col.fmt = LVCFMT_LEFT | LVCFMT_FIXED_WIDTH;
  col.pszText = const_cast<wchar_t*>(text);
  col.cx = ui::Scale(kColumnWidths[index]);
  col.iSubItem = index;
  ListView_InsertColumn(lv, index, &col);
}

void AddGroup(HWND lv, int id, const wchar_t* header) {
  // Wine draws no groups; Windows does.  Membership itself is the model's.
  LVGROUP group{};
  group.cbSize = sizeof group;
  group.mask = LVGF_HEADER | LVGF_GROUPID | LVGF_STATE | LVGF_ALIGN;
  group.pszHeader = const_cast<wchar_t*>(header);
  group.iGroupId = id;
  group.state = LVGS_NORMAL;
  group.uAlign = LVGA_HEADER_LEFT;
  ListView_InsertGroup(lv, -1, &group);
}

}  // namespace

void BuildRestrictionPage(TFORM_UTAMA& form, HWND page) {
  g_page = new RestrictionPage();
  // One line in its fixed box: where a substitute font runs wider than Tahoma the end
  // gives way to an ellipsis instead of the last word wrapping out of sight.
  HWND heading = ui::Label(page, -1, L"Remove restrictions on the Windows.", 16, 11, 353, 25,
                           ui::Font(L"Tahoma", 19), SS_ENDELLIPSIS);
  ui::SetTextColour(heading, GetSysColor(COLOR_HIGHLIGHT));
  ui::Label(page, -1,
            L"Certain Windows functions could not be opened or accessed, this can be caused by the "
            L"settings of the administrator or the effects of malware infections.",
            16, 42, 601, 31);

  HWND lv = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS |
                                LVS_NOSORTHEADER,
                            ui::Scale(16), ui::Scale(88), ui::Scale(601), ui::Scale(281), page,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::lvRESTRICT)), nullptr, nullptr);
  g_page->lvRESTRICT = lv;
  SendMessageW(lv, WM_SETFONT, reinterpret_cast<WPARAM>(ui::DefaultFont()), FALSE);
  ListView_SetExtendedListViewStyle(lv, LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  ListView_SetImageList(lv, art::RestrictionImages(), LVSIL_SMALL);
  AddColumn(lv, 0, L"Restriction Item(s)");
  AddColumn(lv, 1, L"Info");
  g_listViewProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(lv, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FixedColumnsProc)));
  ListView_EnableGroupView(lv, TRUE);
  AddGroup(lv, 0, L"Desktop & Explorer");
  AddGroup(lv, 1, L"System & Security");

  g_page->lbRESTRICT = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD, ui::Scale(504), ui::Scale(11),
                                       ui::Scale(73), ui::Scale(25), page,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::lbRESTRICT)),
                                       nullptr, nullptr);
  HWND scan = ui::Button(page, ids::btnSCANRESTRICT, L"Scan", 385, 375, 81, 25);
  HWND remove = ui::Button(page, ids::btnFIXRESTRICT, L"Remove Restriction", 472, 375, 145, 25);
  g_page->cbCHECKALLRESTRICT = CreateWindowExW(
      0, L"BUTTON", L"Check All", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, ui::Scale(16),
      ui::Scale(375), ui::Scale(89), ui::Scale(17), page,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::cbCHECKALLRESTRICT)), nullptr, nullptr);
  SendMessageW(g_page->cbCHECKALLRESTRICT, WM_SETFONT, reinterpret_cast<WPARAM>(ui::DefaultFont()), FALSE);
  for (HWND b : {scan, remove}) SetWindowLongPtrW(b, GWL_STYLE, GetWindowLongPtrW(b, GWL_STYLE) | WS_TABSTOP);
  // Tab order: list, Scan, Remove Restriction, Check All.
  SetWindowPos(scan, lv, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(remove, scan, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(g_page->cbCHECKALLRESTRICT, remove, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

  g_page->model.setView([] { g_page->Mirror(); });

  form.OnClick(ids::btnSCANRESTRICT, [] {
    btnSCANRESTRICTClick(g_page->model);
    g_page->Mirror();
  });
  form.OnClick(ids::btnFIXRESTRICT, [&form] {
    RemoveRestrictionsVerified(form.System ? *form.System : Sys(), g_page->model);
    g_page->Mirror();
  });
  form.OnClick(ids::cbCHECKALLRESTRICT, [] {
    cbCHECKALLRESTRICTClick(g_page->model, SendMessageW(g_page->cbCHECKALLRESTRICT, BM_GETCHECK, 0, 0) == BST_CHECKED);
    g_page->Mirror();
  });
  form.OnNotify(ids::lvRESTRICT, [](NMHDR* hdr) -> LRESULT {
    if (hdr->code != LVN_ITEMCHANGED || g_page->mirroring) return 0;
    auto* change = reinterpret_cast<NMLISTVIEW*>(hdr);
    if (!(change->uChanged & LVIF_STATE) ||
        !((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) || change->iItem < 0)
      return 0;
    const bool checked = ListView_GetCheckState(g_page->lvRESTRICT, change->iItem) != 0;
    g_page->model.setChecked(static_cast<size_t>(change->iItem), checked);
    g_page->Mirror();
    return 0;
  });
}

}  // namespace korvane
