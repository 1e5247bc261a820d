#include <windows.h>

#include "app/Unit_Korvane.h"

#include <commctrl.h>

#include "about/Unit_Korvane_Tentang.h"
#include "common/KorvaneError.h"
#include "common/Startup.h"
#include "repairs/VerifiedPress.h"
#include "ui/Art.h"
#include "ui/ControlIds.h"
#include "ui/UiKit.h"

namespace korvane {

TFORM_UTAMA* FORM_UTAMA = nullptr;

namespace {
const wchar_t kMainClass[] = L"TFORM_UTAMA";
constexpr int kClientWidth = 641;
constexpr int kClientHeight = 548;
constexpr int kHeaderHeight = 89;
constexpr int kTabHeight = 30;
constexpr UINT kBuildNextPage = WM_APP + 1;

void SetText(HWND control, const std::wstring& text) { SetWindowTextW(control, text.c_str()); }

}  // namespace

TFORM_UTAMA::TFORM_UTAMA(HINSTANCE instance) : Instance(instance) {
  FORM_UTAMA = this;
  ui::RegisterFormClass(instance, kMainClass, ui::FormProc<TFORM_UTAMA>,
                        reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                        art::ProgramIcon(instance, GetSystemMetrics(SM_CXICON)),
                        art::ProgramIcon(instance, GetSystemMetrics(SM_CXSMICON)));

  BuildMenu();
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT rc = {0, 0, ui::Scale(kClientWidth), ui::Scale(kClientHeight)};
  AdjustWindowRectEx(&rc, style, TRUE, WS_EX_CONTROLPARENT);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
            y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  // The caption is set by FormCreate on a supported system; the class name
  // doubles as the caption until then.
  CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_APPWINDOW, kMainClass, L"Korvane", style, x, y, w, h,
                  nullptr, MainMenu1, instance, this);
}

LRESULT TFORM_UTAMA::Handle_(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT handled = 0;
  if (handlers_.handle(msg, wp, lp, &handled, [](const ui::Handlers::Click& c) { RunHandler(c); }))
    return handled;
  switch (msg) {
    case WM_CREATE:
      BuildWindow();
      RunHandler([&] { FormCreate(); });
      return 0;
    case kBuildNextPage:
      for (int i = 0; i < 4; ++i) {
        if (pageBuilt_[i]) continue;
        EnsurePage(i);
        BuildPagesInBackground();
        break;
      }
      return 0;
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_CLOSE:
      DestroyWindow(Handle);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(Handle, msg, wp, lp);
}

void TFORM_UTAMA::ShowPage(int index) {
  EnsurePage(index);
  HWND pages[] = {TabSheet1, tsFILEASSOC, tsRESTRICTFIX, tsADVANCEDFIX};
  for (int i = 0; i < 4; ++i) ShowWindow(pages[i], i == index ? SW_SHOW : SW_HIDE);
  TabCtrl_SetCurSel(PageControl1, index);
}

void TFORM_UTAMA::EnsurePage(int index) {
  if (index < 0 || index >= 4 || pageBuilt_[index]) return;
  pageBuilt_[index] = true;
  switch (index) {
    case 0:
      Home.Build(TabSheet1);
      break;
    case 1:
      FileAssoc.Build(tsFILEASSOC);
      break;
    case 2:
      Restrict.Build(tsRESTRICTFIX);
      break;
    case 3:
      Advanced.Build(tsADVANCEDFIX);
      break;
  }
}

void TFORM_UTAMA::BuildPagesInBackground() {
  for (bool built : pageBuilt_)
    if (!built) {
      PostMessageW(Handle, kBuildNextPage, 0, 0);
      return;
    }
}

HWND TFORM_UTAMA::NewPage(int id, const wchar_t* caption) {
  RECT rc;
  GetClientRect(PageControl1, &rc);
  TabCtrl_AdjustRect(PageControl1, FALSE, &rc);
  MapWindowPoints(PageControl1, Handle, reinterpret_cast<POINT*>(&rc), 2);
  HWND page = ui::Panel(Handle, id, 0, 0, 0, 0, GetSysColor(COLOR_BTNFACE));
  // Named like its tab, so that assistive technology can tell the pages apart.
  SetWindowTextW(page, caption);
  SetWindowPos(page, HWND_TOP, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, 0);
  ShowWindow(page, SW_HIDE);
  return page;
}

void TFORM_UTAMA::BuildWindow() {
  SendMessageW(Handle, WM_SETFONT, reinterpret_cast<WPARAM>(ui::DefaultFont()), FALSE);
  // Header band: banner and logo painted, the two white titles as labels over them.
  HWND header = ui::Panel(Handle, -1, 0, 0, kClientWidth, kHeaderHeight, RGB(0x12, 0x3f, 0x9a),
                          [](HDC dc, RECT rc) {
                            art::Banner(dc, rc);
                            art::Logo(dc, ui::Scale(8), ui::Scale(8), ui::Scale(70));
                          });
  const struct {
    const wchar_t* text;
    int y, h;
    HFONT font;
  } titles[] = {{L"Korvane", 8, 50, ui::Font(L"Tahoma", 40)},
                {L"Tool for fixing various problems in Windows 8/10.", 62, 16, ui::DefaultFont()}};
  for (const auto& t : titles) {
    HWND label = ui::Label(header, -1, t.text, 84, t.y, 400, t.h, t.font);
    ui::SetTextColour(label, RGB(255, 255, 255));
    ui::SetSeeThrough(label);
    ui::FitToText(label, kClientWidth);
  }

  PageControl1 = CreateWindowExW(
      0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TCS_FIXEDWIDTH, 0,
      ui::Scale(kHeaderHeight), ui::Scale(kClientWidth), ui::Scale(kClientHeight - kHeaderHeight),
      Handle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::PageControl1)), Instance, nullptr);
  SendMessageW(PageControl1, WM_SETFONT, reinterpret_cast<WPARAM>(ui::DefaultFont()), FALSE);
  TabCtrl_SetItemSize(PageControl1, ui::Scale(150), ui::Scale(kTabHeight));
  const wchar_t* captions[] = {L"Home", L"File Associations Fixer", L"Restriction Fixer",
                               L"Advanced"};
  for (int i = 0; i < 4; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(captions[i]);
    TabCtrl_InsertItem(PageControl1, i, &item);
  }
  TabSheet1 = NewPage(ids::TabSheet1, captions[0]);
  tsFILEASSOC = NewPage(ids::tsFILEASSOC, captions[1]);
  tsRESTRICTFIX = NewPage(ids::tsRESTRICTFIX, captions[2]);
  tsADVANCEDFIX = NewPage(ids::tsADVANCEDFIX, captions[3]);
  OnNotify(ids::PageControl1, [this](NMHDR* hdr) -> LRESULT {
    if (hdr->code == TCN_SELCHANGE) ShowPage(TabCtrl_GetCurSel(PageControl1));
    return 0;
  });
  // Only the page shown at start is built now: the other three hold some two
  // hundred windows, which would keep the window from showing for as long as
  // everything else start-up does.
  ShowPage(0);
}

void TFORM_UTAMA::BuildMenu() {
  MainMenu1 = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, ids::mnuEXIT, L"Exit");
  AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"File");
  OnClick(ids::mnuEXIT, [this] { mnuEXITClick(); });

  HMENU tools = CreatePopupMenu();
  BuildToolsMenu(*this, tools);
  AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(tools), L"Tools");

  HMENU help = CreatePopupMenu();
  AppendMenuW(help, MF_STRING, ids::mnuHomepage, L"Homepage");
  AppendMenuW(help, MF_STRING, ids::mnuEmail, L"Email");
  AppendMenuW(help, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(help, MF_STRING, ids::mnuABOUT, L"About");
  AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"Help");
  OnClick(ids::mnuHomepage, [this] { mnuHomepageClick(); });
  OnClick(ids::mnuEmail, [this] { mnuEmailClick(); });
  OnClick(ids::mnuABOUT, [this] { mnuABOUTClick(); });
}

// ------------------------------------------------------------------ handlers

void TFORM_UTAMA::FormCreate() {
  StartupView view;
  view.setCaption = [this](const std::wstring& t) { SetText(Handle, t); };
  view.setCPUName = [this](const std::wstring& t) { SetText(Home.lblCPUName, t); };
  view.setTotalRAM = [this](const std::wstring& t) { SetText(Home.lblTOTALRAM, t); };
  view.setMotherboard = [this](const std::wstring& t) { SetText(Home.lblMBoard, t); };
  view.setWindowsName = [this](const std::wstring& t) { SetText(Home.lblWinName, t); };
  view.requestTerminate = [this] { TerminateRequested = true; };
  korvane::FormCreate(view);
}

void TFORM_UTAMA::mnuEXITClick() { PostMessageW(Handle, WM_CLOSE, 0, 0); }

void TFORM_UTAMA::Press(const Repair* repair) {
  if (repair) PressVerified(System ? *System : Sys(), *repair);
}

void TFORM_UTAMA::mnuABOUTClick() { FORM_TENTANG->ShowModal(); }

}  // namespace korvane
