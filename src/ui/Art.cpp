#include <windows.h>

#include "ui/Art.h"

#include <commctrl.h>

#include "ui/UiKit.h"

namespace korvane::art {
namespace {

void FillRound(HDC dc, int x, int y, int w, int h, int r, COLORREF fill, COLORREF edge) {
  HBRUSH b = CreateSolidBrush(fill);
  HPEN p = CreatePen(PS_SOLID, 1, edge);
  HGDIOBJ ob = SelectObject(dc, b), op = SelectObject(dc, p);
  RoundRect(dc, x, y, x + w, y + h, r, r);
  SelectObject(dc, ob);
  SelectObject(dc, op);
  DeleteObject(b);
  DeleteObject(p);
}

void Line(HDC dc, int x1, int y1, int x2, int y2, int width, COLORREF c) {
  HPEN p = CreatePen(PS_SOLID, width, c);
  HGDIOBJ op = SelectObject(dc, p);
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
  SelectObject(dc, op);
  DeleteObject(p);
}

void Gradient(HDC dc, RECT r, COLORREF top, COLORREF bottom, bool vertical) {
  TRIVERTEX v[2] = {
      {r.left, r.top, static_cast<COLOR16>(GetRValue(top) << 8),
       static_cast<COLOR16>(GetGValue(top) << 8), static_cast<COLOR16>(GetBValue(top) << 8), 0},
      {r.right, r.bottom, static_cast<COLOR16>(GetRValue(bottom) << 8),
       static_cast<COLOR16>(GetGValue(bottom) << 8), static_cast<COLOR16>(GetBValue(bottom) << 8),
       0}};
  GRADIENT_RECT g = {0, 1};
  // gdi32's own export (a KnownDLL), so msimg32 is never needed.
  GdiGradientFill(dc, v, 2, &g, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

void CenterText(HDC dc, RECT r, const std::wstring& text, HFONT font, COLORREF colour) {
  HGDIOBJ of = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colour);
  DrawTextW(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, of);
}

}  // namespace

void Banner(HDC dc, RECT area) {
  Gradient(dc, area, RGB(0x12, 0x3f, 0x9a), RGB(0x2f, 0x80, 0xed), false);
  // a few faint diagonal bands for texture
  for (int i = 0; i < 6; ++i) {
    int x = area.right - ui::Scale(60 + i * 55);
    Line(dc, x, area.bottom, x + ui::Scale(60), area.top, ui::Scale(14),
         RGB(0x3a + i * 4, 0x88, 0xf0));
  }
}

void Logo(HDC dc, int x, int y, int size) {
  FillRound(dc, x, y, size, size, size / 3, RGB(0xff, 0xff, 0xff), RGB(0xdd, 0xe6, 0xf5));
  int w = std::max(2, size / 8);
  COLORREF blue = RGB(0x1f, 0x5f, 0xc8);
  Line(dc, x + size * 33 / 100, y + size * 22 / 100, x + size * 33 / 100, y + size * 78 / 100, w,
       blue);
  Line(dc, x + size * 35 / 100, y + size * 52 / 100, x + size * 68 / 100, y + size * 22 / 100, w,
       blue);
  Line(dc, x + size * 45 / 100, y + size * 44 / 100, x + size * 70 / 100, y + size * 78 / 100, w,
       blue);
  HBRUSH spark = CreateSolidBrush(RGB(0xff, 0x9a, 0x1f));
  HGDIOBJ ob = SelectObject(dc, spark);
  HGDIOBJ op = SelectObject(dc, GetStockObject(NULL_PEN));
  int r = size / 12;
  Ellipse(dc, x + size * 76 / 100 - r, y + size * 28 / 100 - r, x + size * 76 / 100 + r,
          y + size * 28 / 100 + r);
  SelectObject(dc, ob);
  SelectObject(dc, op);
  DeleteObject(spark);
}

void TypeIcon(HDC dc, int x, int y, int size, const std::wstring& label, int position) {
  static const COLORREF kColours[] = {RGB(0x2f, 0x80, 0xed), RGB(0x27, 0xae, 0x60),
                                      RGB(0xe6, 0x7e, 0x22), RGB(0x8e, 0x44, 0xad),
                                      RGB(0xc0, 0x39, 0x2b), RGB(0x16, 0xa0, 0x85)};
  COLORREF c = kColours[position % 6];
  // a page with a folded corner
  FillRound(dc, x + size / 8, y, size * 3 / 4, size, size / 6, RGB(0xfa, 0xfa, 0xfa),
            RGB(0x9a, 0x9a, 0x9a));
  RECT band = {x, y + size * 45 / 100, x + size, y + size * 85 / 100};
  HBRUSH b = CreateSolidBrush(c);
  FillRect(dc, &band, b);
  DeleteObject(b);
  std::wstring text = label.size() > 4 ? label.substr(0, 4) : label;
  CenterText(dc, band, text, ui::Font(L"Tahoma", text.size() > 3 ? 8 : 10, true),
             RGB(255, 255, 255));
}

void Task(HDC dc, int x, int y, int size, TaskIcon which) {
  switch (which) {
    case TaskIcon::RestorePoint: {
      FillRound(dc, x, y, size, size, size, RGB(0x27, 0xae, 0x60), RGB(0x1e, 0x84, 0x49));
      int c = size / 2, w = std::max(2, size / 10);
      Line(dc, x + c, y + size / 4, x + c, y + c, w, RGB(255, 255, 255));
      Line(dc, x + c, y + c, x + size * 3 / 4, y + size * 62 / 100, w, RGB(255, 255, 255));
      break;
    }
    case TaskIcon::SystemFiles: {
      FillRound(dc, x + size / 8, y, size * 3 / 4, size, size / 6, RGB(0xfa, 0xfa, 0xfa),
                RGB(0x7f, 0x8c, 0x8d));
      for (int i = 0; i < 4; ++i)
        Line(dc, x + size / 4, y + size / 4 + i * size / 7, x + size * 3 / 4,
             y + size / 4 + i * size / 7, 1, RGB(0x95, 0xa5, 0xa6));
      FillRound(dc, x + size / 2, y + size / 2, size / 2, size / 2, size / 2, RGB(0x2f, 0x80, 0xed),
                RGB(0x1f, 0x5f, 0xc8));
      break;
    }
    case TaskIcon::ComponentStore: {
      COLORREF cs[] = {RGB(0xe6, 0x7e, 0x22), RGB(0xf1, 0xc4, 0x0f), RGB(0xd3, 0x54, 0x00)};
      for (int i = 0; i < 3; ++i)
        FillRound(dc, x + (i % 2) * size / 2, y + (i / 2) * size / 2 + (i == 2 ? 0 : 0),
                  size / 2 - 1, size / 2 - 1, size / 6, cs[i], RGB(0x80, 0x50, 0x10));
      FillRound(dc, x + size / 2, y + size / 2, size / 2 - 1, size / 2 - 1, size / 6,
                RGB(0x2f, 0x80, 0xed), RGB(0x1f, 0x5f, 0xc8));
      break;
    }
  }
}

HIMAGELIST RestrictionImages() {
  HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0);
  HDC screen = GetDC(nullptr);
  for (int i = 0; i < 2; ++i) {
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT r = {0, 0, 16, 16};
    HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
    FillRect(dc, &r, magenta);
    DeleteObject(magenta);
    if (i == 0) {
      Line(dc, 4, 4, 12, 12, 3, RGB(0xd0, 0x20, 0x20));
      Line(dc, 12, 4, 4, 12, 3, RGB(0xd0, 0x20, 0x20));
    } else {
      Line(dc, 3, 8, 7, 12, 3, RGB(0x20, 0xa0, 0x30));
      Line(dc, 7, 12, 13, 4, 3, RGB(0x20, 0xa0, 0x30));
    }
    SelectObject(dc, old);
    ImageList_AddMasked(list, bmp, RGB(255, 0, 255));
    DeleteObject(bmp);
    DeleteDC(dc);
  }
  ReleaseDC(nullptr, screen);
  return list;
}

HICON ProgramIcon(HINSTANCE instance, int size) {
  return static_cast<HICON>(
      LoadImageW(instance, L"MAINICON", IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

}  // namespace korvane::art
