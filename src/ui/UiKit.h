// Small building blocks for the plain Win32 window: fonts, labels, buttons,
// panels with their own painting, link labels and a vertically scrolling box.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace korvane::ui {

// A font by character height in pixels at 96 dpi (scaled to the system dpi).
HFONT Font(const wchar_t* face, int pixelHeight, bool bold = false, bool underline = false);
int Scale(int pixels);    // 96-dpi pixels to device pixels
int Unscale(int pixels);  // device pixels to 96-dpi pixels
HFONT DefaultFont();      // Tahoma 8 pt

// Colours a static control draws with (CLR_INVALID = system default).
void SetTextColour(HWND control, COLORREF colour);
// A label on a panel that paints a picture: the label draws its text only, so the
// picture shows around the letters.
void SetSeeThrough(HWND label);

HWND Label(HWND parent, int id, const std::wstring& text, int x, int y, int w, int h,
           HFONT font = nullptr, DWORD style = 0);
HWND Button(HWND parent, int id, const std::wstring& text, int x, int y, int w, int h);
// A panel that draws a group frame with its caption, which is also its window text;
// children go inside it.
HWND GroupBox(HWND parent, const std::wstring& text, int x, int y, int w, int h);

// A child window that forwards commands and notifications to the top-level window,
// answers its labels' colour requests, fills itself with `background` and calls
// `paint` (if any) for extra drawing.
HWND Panel(HWND parent, int id, int x, int y, int w, int h, COLORREF background,
           std::function<void(HDC, RECT)> paint = nullptr, DWORD style = 0);

// Turns a static label into a link: hot-track colour, hand cursor, underline only
// while the mouse is over it.  Clicks come as STN_CLICKED to the top-level window.
void MakeLink(HWND label, HFONT plain, HFONT underlined);
COLORREF LinkColour();
bool IsUnderlined(HWND label);
// Sizes a one-line label to its text; where a wider font would carry it past
// `right` (96-dpi pixels in its parent), it moves left instead of wrapping.
void FitToText(HWND label, int right);
// A page's heading: Tahoma 19 px in the highlight colour, one line 24 px high.
HWND Heading(HWND parent, const std::wstring& text, int x, int y, int w);

// A borderless box (control id `id`) with a vertical scroll bar holding a content
// panel (`contentId`) of the given height; returns the content panel (children go
// there).
HWND ScrollBox(HWND parent, int id, int contentId, int x, int y, int w, int h, int contentHeight,
               COLORREF background);
void ScrollTo(HWND scrollBox, int position);

void RegisterClasses(HINSTANCE instance);

// Registers a top-level window class of the program: arrow cursor, `background`
// (a brush or a COLOR_* + 1), and the program's icons when given.
void RegisterFormClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, HBRUSH background,
                       HICON icon = nullptr, HICON smallIcon = nullptr);

// Shows `dialog` modal to `owner` (which may be null) and pumps messages until `done`
// is set by the dialog; Tab, Enter and Esc work as in a dialog box.  A WM_QUIT that
// arrives meanwhile is posted again for the owner's loop.
void RunModal(HWND dialog, HWND owner, HWND focus, const bool& done);

// Window procedure of a form class: the object passed to CreateWindowExW receives
// its handle in Handle and every message in Handle_.
template <typename Form>
LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    form->Handle = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return form ? form->Handle_(msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace korvane::ui
