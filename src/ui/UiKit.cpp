#include <windows.h>

#include "ui/UiKit.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstdlib>
#include <map>
#include <memory>

namespace korvane::ui {
namespace {

const wchar_t kPanelClass[] = L"KorvanePanel";
const wchar_t kScrollClass[] = L"KorvaneScrollBox";
const wchar_t kColourProp[] = L"KorvaneTextColour";
const wchar_t kLinkProp[] = L"KorvaneLink";
const wchar_t kSeeThroughProp[] = L"KorvaneSeeThrough";

struct PanelData {
  COLORREF background;
  HBRUSH brush;
  std::function<void(HDC, RECT)> paint;
};

struct LinkData {
  HFONT plain;
  HFONT underlined;
  bool hover = false;
  WNDPROC previous;
};

int g_dpi = 96;

HWND TopLevel(HWND hwnd) { return GetAncestor(hwnd, GA_ROOT); }

LRESULT ColourStatic(HWND panel, HDC dc, HWND control) {
  auto* data = reinterpret_cast<PanelData*>(GetWindowLongPtrW(panel, GWLP_USERDATA));
  HANDLE colour = GetPropW(control, kColourProp);
  if (colour) SetTextColor(dc, static_cast<COLORREF>(reinterpret_cast<UINT_PTR>(colour) - 1));
  SetBkMode(dc, TRANSPARENT);
  if (GetPropW(control, kSeeThroughProp))
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  return reinterpret_cast<LRESULT>(data ? data->brush : GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* data = reinterpret_cast<PanelData*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
      return SendMessageW(TopLevel(hwnd), msg, wp, lp);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return ColourStatic(hwnd, reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
    case WM_ERASEBKGND:
      if (data) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(reinterpret_cast<HDC>(wp), &rc, data->brush);
        return 1;
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (data && data->paint) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        data->paint(dc, rc);
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_MOUSEWHEEL:
      // Let the scroll box that holds this panel scroll.
      return SendMessageW(GetParent(hwnd), msg, wp, lp);
    case WM_NCDESTROY:
      if (data) {
        DeleteObject(data->brush);
        delete data;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      }
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

struct ScrollData {
  HWND content;
  int contentHeight;
  int position = 0;
};

void ApplyScroll(HWND box, ScrollData* d, int position) {
  RECT rc;
  GetClientRect(box, &rc);
  int maxPos = std::max(0, d->contentHeight - static_cast<int>(rc.bottom));
  position = std::max(0, std::min(position, maxPos));
  if (position == d->position) return;
  d->position = position;
  SetScrollPos(box, SB_VERT, position, TRUE);
  SetWindowPos(d->content, nullptr, 0, -position, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK ScrollProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* d = reinterpret_cast<ScrollData*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
      return SendMessageW(TopLevel(hwnd), msg, wp, lp);
    case WM_VSCROLL: {
      if (!d) break;
      SCROLLINFO si{};
      si.cbSize = sizeof si;
      si.fMask = SIF_ALL;
      GetScrollInfo(hwnd, SB_VERT, &si);
      int pos = d->position;
      switch (LOWORD(wp)) {
        case SB_LINEUP:
          pos -= Scale(20);
          break;
        case SB_LINEDOWN:
          pos += Scale(20);
          break;
        case SB_PAGEUP:
          pos -= static_cast<int>(si.nPage);
          break;
        case SB_PAGEDOWN:
          pos += static_cast<int>(si.nPage);
          break;
        case SB_THUMBTRACK:  // the list follows the thumb while it is dragged
        case SB_THUMBPOSITION:
          pos = si.nTrackPos;
          break;
        case SB_TOP:
          pos = 0;
          break;
        case SB_BOTTOM:
          pos = d->contentHeight;
          break;
      }
      ApplyScroll(hwnd, d, pos);
      return 0;
    }
    case WM_MOUSEWHEEL:
      if (d)
        ApplyScroll(hwnd, d, d->position - GET_WHEEL_DELTA_WPARAM(wp) * Scale(40) / WHEEL_DELTA);
      return 0;
    case WM_NCDESTROY:
      delete d;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK LinkProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* d = reinterpret_cast<LinkData*>(GetPropW(hwnd, kLinkProp));
  switch (msg) {
    case WM_MOUSEMOVE:
      if (!d->hover) {
        d->hover = true;
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&tme);
      }
      SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(d->underlined), TRUE);
      break;
    case WM_MOUSELEAVE:
      d->hover = false;
      SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(d->plain), TRUE);
      break;
    case WM_SETCURSOR:
      SetCursor(LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    case WM_NCDESTROY: {
      WNDPROC prev = d->previous;
      RemovePropW(hwnd, kLinkProp);
      delete d;
      return CallWindowProcW(prev, hwnd, msg, wp, lp);
    }
  }
  return CallWindowProcW(d->previous, hwnd, msg, wp, lp);
}

}  // namespace

int Scale(int pixels) { return MulDiv(pixels, g_dpi, 96); }
int Unscale(int pixels) { return MulDiv(pixels, 96, g_dpi); }

HFONT Font(const wchar_t* face, int pixelHeight, bool bold, bool underline) {
  static std::map<std::wstring, HFONT> cache;
  std::wstring key = std::wstring(face) + L"|" + std::to_wstring(pixelHeight) +
                     (bold ? L"b" : L"") + (underline ? L"u" : L"");
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  LOGFONTW lf{};
  lf.lfHeight = -Scale(pixelHeight);
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfUnderline = underline;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  HFONT f = CreateFontIndirectW(&lf);
  cache[key] = f;
  return f;
}

HFONT DefaultFont() { return Font(L"Tahoma", 11); }  // 8 pt at 96 dpi

void SetTextColour(HWND control, COLORREF colour) {
  SetPropW(control, kColourProp, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(colour) + 1));
}

void SetSeeThrough(HWND label) { SetPropW(label, kSeeThroughProp, reinterpret_cast<HANDLE>(1)); }

HWND Label(HWND parent, int id, const std::wstring& text, int x, int y, int w, int h, HFONT font,
           DWORD style) {
  HWND hwnd =
      CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX | style,
                      Scale(x), Scale(y), Scale(w), Scale(h), parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : DefaultFont()), FALSE);
  return hwnd;
}

HWND Button(HWND parent, int id, const std::wstring& text, int x, int y, int w, int h) {
  // Not tab stops: the rows are pressed with the mouse, and the focus rectangle
  // would otherwise wander through dozens of FIX buttons.
  HWND hwnd = CreateWindowExW(0, L"BUTTON", text.c_str(), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                              Scale(x), Scale(y), Scale(w), Scale(h), parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont()), FALSE);
  return hwnd;
}

HWND GroupBox(HWND parent, const std::wstring& text, int x, int y, int w, int h) {
  // Drawn by a panel rather than a BS_GROUPBOX button: the button leaves its inside
  // unpainted, which shows black where child windows have their own surfaces.  The
  // caption is painted from the window text, so what is read out is what is shown.
  HWND box = Panel(parent, -1, x, y, w, h, GetSysColor(COLOR_BTNFACE));
  SetWindowTextW(box, text.c_str());
  auto* data = reinterpret_cast<PanelData*>(GetWindowLongPtrW(box, GWLP_USERDATA));
  data->paint = [box](HDC dc, RECT rc) {
    wchar_t caption[256];
    const int length = GetWindowTextW(box, caption, 256);
    HGDIOBJ old = SelectObject(dc, DefaultFont());
    SIZE size;
    GetTextExtentPoint32W(dc, caption, length, &size);
    RECT frame = rc;
    frame.top += size.cy / 2;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    RECT band = {Scale(6), 0, Scale(6) + size.cx + Scale(4), size.cy};
    FillRect(dc, &band, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    TextOutW(dc, Scale(8), 0, caption, length);
    SelectObject(dc, old);
  };
  return box;
}

HWND Panel(HWND parent, int id, int x, int y, int w, int h, COLORREF background,
           std::function<void(HDC, RECT)> paint, DWORD style) {
  HWND hwnd = CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_VISIBLE | style,
                              Scale(x), Scale(y), Scale(w), Scale(h), parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  auto* data = new PanelData{background, CreateSolidBrush(background), std::move(paint)};
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
  return hwnd;
}

COLORREF LinkColour() {
  // The system's hot-track colour, unless a theme made it unreadable on the face
  // colour (Wine's default is light grey): then the usual link blue.
  auto luma = [](COLORREF c) {
    return (GetRValue(c) * 299 + GetGValue(c) * 587 + GetBValue(c) * 114) / 1000;
  };
  const COLORREF hot = GetSysColor(COLOR_HOTLIGHT);
  return std::abs(luma(hot) - luma(GetSysColor(COLOR_BTNFACE))) < 64 ? RGB(0, 102, 204) : hot;
}

void MakeLink(HWND label, HFONT plain, HFONT underlined) {
  SetWindowLongPtrW(label, GWL_STYLE, GetWindowLongPtrW(label, GWL_STYLE) | SS_NOTIFY);
  SetTextColour(label, LinkColour());
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(plain), FALSE);
  auto* d = new LinkData{plain, underlined, false, nullptr};
  SetPropW(label, kLinkProp, d);
  d->previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LinkProc)));
}

void FitToText(HWND label, int right) {
  wchar_t text[256];
  const int n = GetWindowTextW(label, text, 256);
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE size;
  GetTextExtentPoint32W(dc, text, n, &size);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  RECT rc;
  GetWindowRect(label, &rc);
  MapWindowPoints(nullptr, GetParent(label), reinterpret_cast<POINT*>(&rc), 2);
  const int width = size.cx + 2;
  const int left = std::min(static_cast<int>(rc.left), Scale(right) - width);
  SetWindowPos(label, nullptr, left, rc.top, width, rc.bottom - rc.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

bool IsUnderlined(HWND label) {
  auto* d = reinterpret_cast<LinkData*>(GetPropW(label, kLinkProp));
  return d && reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)) == d->underlined;
}

HWND ScrollBox(HWND parent, int id, int contentId, int x, int y, int w, int h, int contentHeight,
               COLORREF background) {
  HWND box = CreateWindowExW(WS_EX_CONTROLPARENT, kScrollClass, L"",
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_CLIPCHILDREN, Scale(x),
                             Scale(y), Scale(w), Scale(h), parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  RECT rc;
  GetClientRect(box, &rc);
  HWND content = Panel(box, contentId, 0, 0, 0, 0, background);
  SetWindowPos(content, nullptr, 0, 0, rc.right, Scale(contentHeight), SWP_NOZORDER);
  auto* d = new ScrollData{content, Scale(contentHeight), 0};
  SetWindowLongPtrW(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(d));
  SCROLLINFO si{sizeof si,
                SIF_RANGE | SIF_PAGE | SIF_POS,
                0,
                d->contentHeight - 1,
                static_cast<UINT>(rc.bottom),
                0,
                0};
  SetScrollInfo(box, SB_VERT, &si, TRUE);
  GetClientRect(box, &rc);  // the scroll bar now takes its share of the width
  SetWindowPos(content, nullptr, 0, 0, rc.right, Scale(contentHeight), SWP_NOZORDER | SWP_NOMOVE);
  return content;
}

void ScrollTo(HWND scrollBox, int position) {
  auto* d = reinterpret_cast<ScrollData*>(GetWindowLongPtrW(scrollBox, GWLP_USERDATA));
  if (d) ApplyScroll(scrollBox, d, position);
}

HWND Heading(HWND parent, const std::wstring& text, int x, int y, int w) {
  HWND label = Label(parent, -1, text, x, y, w, 24, Font(L"Tahoma", 19));
  SetTextColour(label, GetSysColor(COLOR_HIGHLIGHT));
  return label;
}

void RegisterClasses(HINSTANCE instance) {
  HDC screen = GetDC(nullptr);
  g_dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = PanelProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kPanelClass;
  RegisterClassExW(&wc);
  wc.lpfnWndProc = ScrollProc;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kScrollClass;
  RegisterClassExW(&wc);
}

void RegisterFormClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, HBRUSH background,
                       HICON icon, HICON smallIcon) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = background;
  wc.hIcon = icon;
  wc.hIconSm = smallIcon;
  wc.lpszClassName = name;
  RegisterClassExW(&wc);
}

void RunModal(HWND dialog, HWND owner, HWND focus, const bool& done) {
  if (owner) EnableWindow(owner, FALSE);
  ShowWindow(dialog, SW_SHOW);
  SetFocus(focus);
  MSG msg;
  bool quit = false;
  while (!done) {
    if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
      quit = true;
      break;
    }
    if (IsDialogMessageW(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // The owner is enabled before the dialog goes, so that Windows gives it the focus.
  if (owner) EnableWindow(owner, TRUE);
  DestroyWindow(dialog);
  if (owner) SetActiveWindow(owner);
  if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
}

}  // namespace korvane::ui
