#include <windows.h>

#include "app/Unit_Korvane.h"

#include <commctrl.h>

#include <stdexcept>
#include <string_view>

#include "about/Unit_Korvane_Tentang.h"
#include "app/Art.h"
#include "app/ControlIds.h"
#include "app/UiKit.h"
#include "common/KorvaneError.h"
#include "common/Messages.h"
#include "common/Startup.h"
#include "fileassoc/FileAssoc.h"
#include "repairs/VerifiedPress.h"

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

HWND HighlightHeading(HWND parent, const std::wstring& text, int x, int y, int w) {
  HWND label = ui::Label(parent, -1, text, x, y, w, 24, ui::Font(L"Tahoma", 19));
  ui::SetTextColour(label, GetSysColor(COLOR_HIGHLIGHT));
  return label;
}

const FileTypeRow& RowOfButton(const char* button) {
  for (const FileTypeRow& row : FileTypeCatalogue())
    if (std::string_view(row.button) == button) return row;
  throw std::logic_error(std::string("no file-type row ") + button);
}

// The FIX buttons' handlers, in row order.
void (TFORM_UTAMA::*const kFixHandlers[])() = {
#define KORVANE_FIX_HANDLER(member, button, label, code, description) &TFORM_UTAMA::button##Click,
    KORVANE_FILE_TYPE_ROWS(KORVANE_FIX_HANDLER)
#undef KORVANE_FIX_HANDLER
};

}  // namespace

TFORM_UTAMA::TFORM_UTAMA(HINSTANCE instance) : Instance(instance) {
  FORM_UTAMA = this;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ui::FormProc<TFORM_UTAMA>;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = art::ProgramIcon(instance, GetSystemMetrics(SM_CXICON));
  wc.hIconSm = art::ProgramIcon(instance, GetSystemMetrics(SM_CXSMICON));
  wc.lpszClassName = kMainClass;
  RegisterClassExW(&wc);

  BuildMenu();
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT rc = {0, 0, ui::Scale(kClientWidth), ui::Scale(kClientHeight)};
  AdjustWindowRectEx(&rc, style, TRUE, WS_EX_CONTROLPARENT);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  // The caption is set by FormCreate on a supported system; the class name
  // doubles as the caption until then.
  CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_APPWINDOW, kMainClass, L"Korvane", style, x, y, w, h,
                  nullptr, MainMenu1, instance, this);
}

LRESULT TFORM_UTAMA::Handle_(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      BuildWindow();
      RunHandler([&] { FormCreate(); });
      return 0;
    case WM_COMMAND: {
      const int id = LOWORD(wp);
      const int code = HIWORD(wp);
      if (code == BN_CLICKED || code == STN_CLICKED || (lp == 0 && code == 0)) {
        auto it = clicks_.find(id);
        if (it != clicks_.end()) {
          // A copy: the handler may run nested clicks while a tool runs.
          std::function<void()> handler = it->second;
          RunHandler(handler);
          return 0;
        }
      }
      break;
    }
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (hdr->idFrom == static_cast<UINT_PTR>(ids::PageControl1) && hdr->code == TCN_SELCHANGE) {
        ShowPage(TabCtrl_GetCurSel(PageControl1));
        return 0;
      }
      auto it = notifies_.find(static_cast<int>(hdr->idFrom));
      if (it != notifies_.end()) return it->second(hdr);
      break;
    }
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
    case 0: BuildHome(TabSheet1); break;
    case 1: BuildFileAssoc(tsFILEASSOC); break;
    case 2: BuildRestrictionPage(*this, tsRESTRICTFIX); break;
    case 3: BuildAdvancedPage(*this, tsADVANCEDFIX); break;
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

  PageControl1 = CreateWindowExW(0, WC_TABCONTROLW, L"",
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TCS_FIXEDWIDTH, 0,
                                 ui::Scale(kHeaderHeight), ui::Scale(kClientWidth),
                                 ui::Scale(kClientHeight - kHeaderHeight), Handle,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::PageControl1)),
                                 Instance, nullptr);
  SendMessageW(PageControl1, WM_SETFONT, reinterpret_cast<WPARAM>(ui::DefaultFont()), FALSE);
  TabCtrl_SetItemSize(PageControl1, ui::Scale(150), ui::Scale(kTabHeight));
  const wchar_t* captions[] = {L"Home", L"File Associations Fixer", L"Restriction Fixer", L"Advanced"};
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

void TFORM_UTAMA::BuildHome(HWND page) {
  HighlightHeading(page, L"Hardware Information:", 16, 11, 400);
  const wchar_t* captions[] = {L"OS:", L"Motherboard:", L"Processor:", L"RAM:"};
  const wchar_t* placeholders[] = {L"lblWinName", L"lblMotherboard", L"lblCPUName", L"lblTotalRAM"};
  const int valueIds[] = {ids::lblWinName, ids::lblMBoard, ids::lblCPUName, ids::lblTOTALRAM};
  HWND* values[] = {&lblWinName, &lblMBoard, &lblCPUName, &lblTOTALRAM};
  for (int i = 0; i < 4; ++i) {
    const int y = 40 + 22 * i;
    ui::FitToText(ui::Label(page, -1, captions[i], 16, y, 96, 18, ui::Font(L"Tahoma", 13, true)), 110);
    *values[i] = ui::Label(page, valueIds[i], placeholders[i], 112, y, 500, 18, ui::Font(L"Tahoma", 13));
  }
  HighlightHeading(page, L"Quick Task:", 16, 152, 400);

  struct Task {
    int top;
    const wchar_t* caption;
    const wchar_t* description;
    const wchar_t* button;
    int id;
    HWND* handle;
    art::TaskIcon icon;
    void (TFORM_UTAMA::*handler)();
  };
  const Task tasks[] = {
      {181, L"Create Restore Point",
       L"Restore points are useful for backing up system files and registry in case of a system "
       L"error. It is recommended to create a restore point before using this program.",
       L"Create", ids::btnRSPoint, &btnRSPoint, art::TaskIcon::RestorePoint,
       &TFORM_UTAMA::btnRSPointClick},
      {252, L"Fix a corrupted system file",
       L"Scan the corrupted system files using SFC (Sistem File Checker) utility, and fix them "
       L"automatically if possible. This process takes several minutes to complete.",
       L"Run", ids::btnSCANSFC, &btnSCANSFC, art::TaskIcon::SystemFiles, &TFORM_UTAMA::btnSCANSFCClick},
      {323, L"Repair the component store",
       L"Scan corrupted component store and repair them using DISM tool. This process takes several "
       L"minutes to complete.",
       L"Run", ids::btnSCANDISM, &btnSCANDISM, art::TaskIcon::ComponentStore,
       &TFORM_UTAMA::btnSCANDISMClick},
  };
  for (const Task& t : tasks) {
    HWND group = ui::GroupBox(page, t.caption, 16, t.top, 601, 65);
    const art::TaskIcon icon = t.icon;
    ui::Panel(group, -1, 12, 22, 32, 32, GetSysColor(COLOR_BTNFACE),
              [icon](HDC dc, RECT rc) { art::Task(dc, 0, 0, rc.right, icon); });
    ui::Label(group, -1, t.description, 56, 18, 410, 42);
    *t.handle = ui::Button(group, t.id, t.button, 480, 24, 105, 25);
    auto handler = t.handler;
    OnClick(t.id, [this, handler] { (this->*handler)(); });
  }
}

void TFORM_UTAMA::BuildFileAssoc(HWND page) {
  HighlightHeading(page, L"Repair file associations and restore them to the original.", 16, 11, 600);
  ui::Label(page, -1,
            L"When you want to run/open files with certain extensions (e.g. txt), an error message "
            L"appears. This can be caused by malware, or a software error.",
            16, 42, 600, 40, ui::Font(L"Tahoma", 11));
  const auto& rows = FileTypeCatalogue();
  const int rowHeight = 41;
  HWND content = ui::ScrollBox(page, ids::ScrollBox2, 16, 96, 602, 289,
                               static_cast<int>(rows.size()) * rowHeight, GetSysColor(COLOR_BTNFACE));
  for (const FileTypeRow& row : rows) {
    const int top = (row.position - 1) * rowHeight;
    const std::wstring label = row.label;
    const int position = row.position;
    ui::Panel(content, -1, 4, top + 4, 32, 32, GetSysColor(COLOR_BTNFACE), [label, position](HDC dc, RECT rc) {
      art::TypeIcon(dc, 0, 0, rc.right, label, position);
    });
    ui::Label(content, -1, row.label, 46, top + 4, 300, 17, ui::Font(L"Segoe UI", 13, true));
    ui::Label(content, -1, row.description, 46, top + 21, 400, 16, ui::Font(L"Segoe UI", 11));
    ui::Button(content, ids::FixButtonBase + row.position, L"FIX", 490, top + 8, 81, 25);
    const auto handler = kFixHandlers[row.position - 1];
    OnClick(ids::FixButtonBase + row.position, [this, handler] { (this->*handler)(); });
  }

  lblINFO_FIX_EXE = ui::Label(page, ids::lblINFO_FIX_EXE, L"How to fix EXE file associations.", 437, 399,
                              198, 18);
  ui::MakeLink(lblINFO_FIX_EXE, ui::Font(L"Tahoma", 13), ui::Font(L"Tahoma", 13, false, true));
  // Sized for its underlined font, the wider of the two it shows.
  SendMessageW(lblINFO_FIX_EXE, WM_SETFONT, reinterpret_cast<WPARAM>(ui::Font(L"Tahoma", 13, false, true)), FALSE);
  ui::FitToText(lblINFO_FIX_EXE, 630);
  SendMessageW(lblINFO_FIX_EXE, WM_SETFONT, reinterpret_cast<WPARAM>(ui::Font(L"Tahoma", 13)), FALSE);
  OnClick(ids::lblINFO_FIX_EXE, [this] { lblINFO_FIX_EXEClick(); });
}

// ------------------------------------------------------------------ handlers

void TFORM_UTAMA::FormCreate() {
  StartupView view;
  view.setCaption = [this](const std::wstring& t) { SetText(Handle, t); };
  view.setCPUName = [this](const std::wstring& t) { SetText(lblCPUName, t); };
  view.setTotalRAM = [this](const std::wstring& t) { SetText(lblTOTALRAM, t); };
  view.setMotherboard = [this](const std::wstring& t) { SetText(lblMBoard, t); };
  view.setWindowsName = [this](const std::wstring& t) { SetText(lblWinName, t); };
  view.requestTerminate = [this] { TerminateRequested = true; };
  korvane::FormCreate(view);
}

void TFORM_UTAMA::mnuEXITClick() { PostMessageW(Handle, WM_CLOSE, 0, 0); }

void TFORM_UTAMA::Press(const Repair* repair) {
  if (repair) PressVerified(System ? *System : Sys(), *repair);
}

#define KORVANE_DEFINE_FIX_HANDLER(member, button, label, code, description) \
  void TFORM_UTAMA::button##Click() { Press(RepairOfFileType(RowOfButton(#button))); }
KORVANE_FILE_TYPE_ROWS(KORVANE_DEFINE_FIX_HANDLER)
#undef KORVANE_DEFINE_FIX_HANDLER

void TFORM_UTAMA::lblINFO_FIX_EXEClick() { ShowMessage(ExeHintText(), kAppTitle, kMbIconInformation); }

void TFORM_UTAMA::mnuABOUTClick() { FORM_TENTANG->ShowModal(); }

}  // namespace korvane
