// The Restriction Fixer page.
#include <windows.h>

#include <commctrl.h>

#include <iterator>

#include "app/Pages.h"
#include "app/Unit_Korvane.h"
#include "repairs/VerifiedPress.h"
#include "restrict/RestrictionList.h"
#include "ui/Art.h"
#include "ui/ControlIds.h"
#include "ui/UiKit.h"

namespace korvane {
namespace {

constexpr int kColumnWidths[] = {150, 400};
// The page whose list view a window is, for the list view's own procedure.
const wchar_t kPageProperty[] = L"KorvaneRestrictionPage";

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

// The columns keep their widths: dragging a divider, double-clicking it (which would
// size the column to its longest text) and the keyboard's size-to-fit are refused
// before the list view acts on them.
LRESULT CALLBACK PageRestrict::FixedColumnsProc(HWND lv, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = static_cast<PageRestrict*>(GetPropW(lv, kPageProperty));
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
  if (msg == WM_NCDESTROY) RemovePropW(lv, kPageProperty);
  return CallWindowProcW(self->listViewProc_, lv, msg, wp, lp);
}

// Every field of every row is written whatever the list held before: a rescan may
// find as many restrictions as the last one but other ones, and a stale caption
// over a live check box would lift the wrong policy.
void PageRestrict::Mirror() {
  mirroring_ = true;
  const auto& items = model_.items();
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
  for (const auto& name : model_.selection())
    SendMessageW(lbRESTRICT, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  SendMessageW(cbCHECKALLRESTRICT, BM_SETCHECK, model_.checkAll() ? BST_CHECKED : BST_UNCHECKED, 0);
  UpdateWindow(lvRESTRICT);
  mirroring_ = false;
}

void PageRestrict::Build(HWND page) {
  // One line in its fixed box: where a substitute font runs wider than Tahoma the end
  // gives way to an ellipsis instead of the last word wrapping out of sight.
  HWND heading = ui::Label(page, -1, L"Remove restrictions on the Windows.", 16, 11, 353, 25,
                           ui::Font(L"Tahoma", 19), SS_ENDELLIPSIS);
  ui::SetTextColour(heading, GetSysColor(COLOR_HIGHLIGHT));
  ui::Label(page, -1,
            L"Certain Windows functions could not be opened or accessed, this can be caused by the "
            L"settings of the administrator or the effects of malware infections.",
            16, 42, 601, 31);

  HWND lv = CreateWindowExW(
      WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
      ui::Scale(16), ui::Scale(88), ui::Scale(601), ui::Scale(281), page,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::lvRESTRICT)), nullptr, nullptr);
  lvRESTRICT = lv;
  SendMessageW(lv, WM_SETFONT, reinterpret_cast<WPARAM>(ui::DefaultFont()), FALSE);
  ListView_SetExtendedListViewStyle(lv,
                                    LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  ListView_SetImageList(lv, art::RestrictionImages(), LVSIL_SMALL);
  AddColumn(lv, 0, L"Restriction Item(s)");
  AddColumn(lv, 1, L"Info");
  SetPropW(lv, kPageProperty, this);
  listViewProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(lv, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FixedColumnsProc)));
  ListView_EnableGroupView(lv, TRUE);
  AddGroup(lv, 0, L"Desktop & Explorer");
  AddGroup(lv, 1, L"System & Security");

  lbRESTRICT = CreateWindowExW(
      0, L"LISTBOX", L"", WS_CHILD, ui::Scale(504), ui::Scale(11), ui::Scale(73), ui::Scale(25),
      page, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::lbRESTRICT)), nullptr, nullptr);
  HWND scan = ui::Button(page, ids::btnSCANRESTRICT, L"Scan", 385, 375, 81, 25);
  HWND remove = ui::Button(page, ids::btnFIXRESTRICT, L"Remove Restriction", 472, 375, 145, 25);
  cbCHECKALLRESTRICT = CreateWindowExW(
      0, L"BUTTON", L"Check All", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
      ui::Scale(16), ui::Scale(375), ui::Scale(89), ui::Scale(17), page,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::cbCHECKALLRESTRICT)), nullptr, nullptr);
  SendMessageW(cbCHECKALLRESTRICT, WM_SETFONT, reinterpret_cast<WPARAM>(ui::DefaultFont()), FALSE);
  for (HWND b : {scan, remove})
    SetWindowLongPtrW(b, GWL_STYLE, GetWindowLongPtrW(b, GWL_STYLE) | WS_TABSTOP);
  // Tab order: list, Scan, Remove Restriction, Check All.
  SetWindowPos(scan, lv, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(remove, scan, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(cbCHECKALLRESTRICT, remove, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

  model_.setView([this] { Mirror(); });

  form_.OnClick(ids::btnSCANRESTRICT, [this] {
    btnSCANRESTRICTClick(model_);
    Mirror();
  });
  form_.OnClick(ids::btnFIXRESTRICT, [this] {
    RemoveRestrictionsVerified(form_.System ? *form_.System : Sys(), model_);
    Mirror();
  });
  form_.OnClick(ids::cbCHECKALLRESTRICT, [this] {
    const bool ticked = SendMessageW(cbCHECKALLRESTRICT, BM_GETCHECK, 0, 0) == BST_CHECKED;
    cbCHECKALLRESTRICTClick(model_, ticked);
    Mirror();
  });
  form_.OnNotify(ids::lvRESTRICT, [this](NMHDR* hdr) { return lvRESTRICTNotify(hdr); });
}

LRESULT PageRestrict::lvRESTRICTNotify(NMHDR* hdr) {
  if (hdr->code != LVN_ITEMCHANGED || mirroring_) return 0;
  auto* change = reinterpret_cast<NMLISTVIEW*>(hdr);
  if (!(change->uChanged & LVIF_STATE) ||
      !((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) || change->iItem < 0)
    return 0;
  const bool checked = ListView_GetCheckState(lvRESTRICT, change->iItem) != 0;
  model_.setChecked(static_cast<size_t>(change->iItem), checked);
  Mirror();
  return 0;
}

}  // namespace korvane
