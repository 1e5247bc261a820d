#include <windows.h>

#include "about/Unit_Korvane_Tentang.h"

#include <shellapi.h>

#include "KorvaneVersion.h"
#include "ui/Art.h"
#include "ui/ControlIds.h"
#include "ui/UiKit.h"

namespace korvane {

TFORM_TENTANG* FORM_TENTANG = nullptr;

namespace {
const wchar_t kClass[] = L"TFORM_TENTANG";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
}  // namespace

TFORM_TENTANG::TFORM_TENTANG(HINSTANCE instance, HWND mainWindow) : main_(mainWindow) {
  FORM_TENTANG = this;
  handlers_.onClick(ids::BTN_OK, [this] { BTN_OKClick(); });
  handlers_.onClick(IDCANCEL, [this] { BTN_OKClick(); });  // Esc
  handlers_.onClick(ids::LABEL_HOMEPAGE, [this] { LABEL_HOMEPAGEClick(); });
  handlers_.onClick(ids::LABEL_EMAIL, [this] { LABEL_EMAILClick(); });
  ui::RegisterFormClass(instance, kClass, ui::FormProc<TFORM_TENTANG>,
                        static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  RECT rc = {0, 0, ui::Scale(358), ui::Scale(153)};
  AdjustWindowRectEx(&rc, kStyle, FALSE, WS_EX_DLGMODALFRAME);
  CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClass, L"About", kStyle, 0, 0,
                  rc.right - rc.left, rc.bottom - rc.top, mainWindow, nullptr, instance, this);
}

LRESULT TFORM_TENTANG::Handle_(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT handled = 0;
  if (handlers_.handle(msg, wp, lp, &handled)) return handled;
  switch (msg) {
    case WM_CREATE:
      FormCreate();
      return 0;
    case WM_CLOSE:
      BTN_OKClick();
      return 0;
  }
  return DefWindowProcW(Handle, msg, wp, lp);
}

// The controls are made the first time the dialog is shown: it may never be, and
// start-up has better things to do.
void TFORM_TENTANG::BuildControls() {
  HWND white = ui::Panel(Handle, -1, 0, 0, 358, 153, RGB(255, 255, 255));
  Image1 = ui::Panel(white, -1, 8, 8, 84, 84, RGB(255, 255, 255),
                     [](HDC dc, RECT rc) { art::Logo(dc, 0, 0, rc.right); });
  lblAppName =
      ui::Label(white, ids::lblAppName, L"Korvane", 99, 8, 200, 30, ui::Font(L"Tahoma", 27));
  LABEL_VERSI = ui::Label(white, ids::LABEL_VERSI, L"Version " KORVANE_VERSION, 99, 38, 200, 17,
                          ui::Font(L"Tahoma", 13));
  Label8 = ui::Label(white, -1, L"Homepage:", 99, 60, 70, 15);
  LABEL_HOMEPAGE = ui::Label(white, ids::LABEL_HOMEPAGE, kHomepageAddress, 170, 60, 180, 15);
  Label1 = ui::Label(white, -1, L"Email:", 99, 79, 70, 15);
  LABEL_EMAIL = ui::Label(white, ids::LABEL_EMAIL, kSupportEmail, 170, 79, 180, 15);
  Label5 = ui::Label(white, -1, kCopyrightNotice, 8, 118, 186, 30);
  ui::MakeLink(LABEL_HOMEPAGE, ui::DefaultFont(), ui::Font(L"Tahoma", 11, false, true));
  ui::MakeLink(LABEL_EMAIL, ui::DefaultFont(), ui::Font(L"Tahoma", 11, false, true));
  BTN_OK =
      CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                      ui::Scale(260), ui::Scale(119), ui::Scale(89), ui::Scale(25), white,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::BTN_OK)), nullptr, nullptr);
  SendMessageW(BTN_OK, WM_SETFONT, reinterpret_cast<WPARAM>(ui::DefaultFont()), FALSE);
  built_ = true;
}

void TFORM_TENTANG::FormCreate() {
  // The dialog shows the program's own icon in its title bar.
  HICON icon = reinterpret_cast<HICON>(GetClassLongPtrW(main_, GCLP_HICONSM));
  if (icon) SendMessageW(Handle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(CopyIcon(icon)));
  icon = reinterpret_cast<HICON>(GetClassLongPtrW(main_, GCLP_HICON));
  if (icon) SendMessageW(Handle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(CopyIcon(icon)));
}

void TFORM_TENTANG::ShowModal() {
  if (!built_) BuildControls();
  RECT m, d;
  GetWindowRect(main_, &m);
  GetWindowRect(Handle, &d);
  const int w = d.right - d.left, h = d.bottom - d.top;
  SetWindowPos(Handle, HWND_TOP, m.left + ((m.right - m.left) - w) / 2,
               m.top + ((m.bottom - m.top) - h) / 2, 0, 0, SWP_NOSIZE);
  EnableWindow(main_, FALSE);
  ShowWindow(Handle, SW_SHOW);
  SetFocus(BTN_OK);
  showing_ = true;
  MSG msg;
  while (showing_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(Handle, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (showing_) PostQuitMessage(0);  // WM_QUIT arrived while shown: pass it on
  EnableWindow(main_, TRUE);
  ShowWindow(Handle, SW_HIDE);
  SetActiveWindow(main_);
  showing_ = false;
}

void TFORM_TENTANG::BTN_OKClick() {
  showing_ = false;
  PostMessageW(Handle, WM_NULL, 0, 0);  // wake the modal loop
}

void TFORM_TENTANG::LABEL_HOMEPAGEClick() {
  ShellExecuteW(Handle, L"open", kHomepageAddress.c_str(), nullptr, nullptr, SW_SHOW);
}

void TFORM_TENTANG::LABEL_EMAILClick() {
  ShellExecuteW(Handle, L"open", (L"mailto:" + kSupportEmail).c_str(), nullptr, nullptr, SW_SHOW);
}

}  // namespace korvane
