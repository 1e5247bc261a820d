#include "app/InputBox.h"

#include "ui/Handlers.h"
#include "ui/UiKit.h"

namespace korvane {
namespace {

const wchar_t kClass[] = L"KorvaneInputBox";
constexpr int kEditId = 100;

// The form of one question; it lives on the caller's stack while the box is shown.
struct InputForm {
  HWND Handle = nullptr;
  HWND edit = nullptr;
  bool done = false;
  bool accepted = false;
  std::wstring text;
  ui::Handlers handlers;

  InputForm() {
    handlers.onClick(IDOK, [this] { OKClick(); });
    handlers.onClick(IDCANCEL, [this] { done = true; });  // Cancel and Esc
  }

  void OKClick() {
    wchar_t buf[256] = {};
    GetWindowTextW(edit, buf, 256);
    text = buf;
    accepted = true;
    done = true;
  }

  LRESULT Handle_(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT handled = 0;
    if (handlers.handle(msg, wp, lp, &handled)) return handled;
    if (msg == WM_CLOSE) {
      done = true;
      return 0;
    }
    return DefWindowProcW(Handle, msg, wp, lp);
  }
};

}  // namespace

std::wstring ShowInputBox(HWND owner, const std::wstring& caption, const std::wstring& prompt,
                          const std::wstring& defaultText) {
  static bool registered = false;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!registered) {
    ui::RegisterFormClass(instance, kClass, ui::FormProc<InputForm>,
                          reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    registered = true;
  }
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT rc = {0, 0, ui::Scale(330), ui::Scale(110)};
  AdjustWindowRectEx(&rc, style, FALSE, WS_EX_DLGMODALFRAME);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  RECT o;
  if (owner)
    GetWindowRect(owner, &o);
  else
    SetRect(&o, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  InputForm state;
  HWND dlg =
      CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClass, caption.c_str(), style,
                      o.left + (o.right - o.left - w) / 2, o.top + (o.bottom - o.top - h) / 2, w, h,
                      owner, nullptr, instance, &state);
  // Without its window there is nobody to ask: the default stands, as for Cancel.
  if (!dlg) return defaultText;
  ui::Label(dlg, -1, prompt, 10, 10, 310, 16);
  state.edit =
      CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", defaultText.c_str(),
                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, ui::Scale(10),
                      ui::Scale(32), ui::Scale(310), ui::Scale(22), dlg,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)), instance, nullptr);
  SendMessageW(state.edit, WM_SETFONT, reinterpret_cast<WPARAM>(ui::DefaultFont()), FALSE);
  SendMessageW(state.edit, EM_LIMITTEXT, 255, 0);
  const struct {
    int id;
    const wchar_t* text;
    int x;
    DWORD style;
  } buttons[] = {{IDOK, L"OK", 160, BS_DEFPUSHBUTTON}, {IDCANCEL, L"Cancel", 245, BS_PUSHBUTTON}};
  for (const auto& b : buttons) {
    HWND button =
        CreateWindowExW(0, L"BUTTON", b.text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | b.style,
                        ui::Scale(b.x), ui::Scale(72), ui::Scale(75), ui::Scale(25), dlg,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(b.id)), instance, nullptr);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(ui::DefaultFont()), FALSE);
  }
  SendMessageW(state.edit, EM_SETSEL, 0, -1);
  ui::RunModal(dlg, owner, state.edit, state.done);
  return state.accepted ? state.text : defaultText;
}

}  // namespace korvane
