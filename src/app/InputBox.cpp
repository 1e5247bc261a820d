#include "app/InputBox.h"

#include "ui/UiKit.h"

namespace korvane {
namespace {

const wchar_t kClass[] = L"KorvaneInputBox";
constexpr int kEditId = 100;

struct State {
  HWND edit = nullptr;
  bool done = false;
  bool accepted = false;
  std::wstring text;
};

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* s = reinterpret_cast<State*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_COMMAND:
      if (!s) break;
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
        s->accepted = LOWORD(wp) == IDOK;
        if (s->accepted) {
          wchar_t buf[256] = {};
          GetWindowTextW(s->edit, buf, 256);
          s->text = buf;
        }
        s->done = true;
        return 0;
      }
      break;
    case WM_CLOSE:
      if (s) s->done = true;
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

std::wstring ShowInputBox(HWND owner, const std::wstring& caption, const std::wstring& prompt,
                          const std::wstring& defaultText) {
  static bool registered = false;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!registered) {
    ui::RegisterFormClass(instance, kClass, Proc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
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
  HWND dlg =
      CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClass, caption.c_str(), style,
                      o.left + (o.right - o.left - w) / 2, o.top + (o.bottom - o.top - h) / 2, w, h,
                      owner, nullptr, instance, nullptr);
  State state;
  SetWindowLongPtrW(dlg, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
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
