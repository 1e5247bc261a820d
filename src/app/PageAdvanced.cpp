// The Advanced page: four section headers and 29 one-button rows in a scroll box.
#include "advfix/Unit_AdvFix_Korvane.h"
#include "app/Pages.h"
#include "app/Unit_Korvane.h"
#include "repairs/VerifiedPress.h"
#include "ui/ControlIds.h"
#include "ui/UiKit.h"

namespace korvane {

void PageAdvanced::Build(HWND page) {
  HWND heading =
      ui::Label(page, -1, L"Advanced repair. ", 16, 11, 400, 25, ui::Font(L"Tahoma", 19));
  ui::SetTextColour(heading, GetSysColor(COLOR_HIGHLIGHT));
  ui::Label(page, -1, L"Advanced repair problems.", 16, 42, 400, 16);

  const auto& rows = AdvancedRows();
  const int headerHeight = 41, rowHeight = 40;
  int sections = 0;
  for (size_t i = 0; i < rows.size(); ++i)
    if (i == 0 || std::wstring(rows[i - 1].section) != rows[i].section) ++sections;
  const int total = sections * headerHeight + 1 + static_cast<int>(rows.size()) * rowHeight;
  HWND content = ui::ScrollBox(page, ids::ScrollBox1, ids::ScrollBox1Content, 3, 80, 630, 321,
                               total, RGB(255, 255, 255));
  RECT rc;
  GetClientRect(content, &rc);
  const int width = ui::Unscale(rc.right);

  int y = 0;
  const wchar_t* section = nullptr;
  for (size_t i = 0; i < rows.size(); ++i) {
    const AdvancedRow& row = rows[i];
    if (!section || std::wstring(section) != row.section) {
      section = row.section;
      HWND header = ui::Panel(content, -1, 0, y, width, headerHeight, GetSysColor(COLOR_BTNSHADOW),
                              [](HDC dc, RECT r) { DrawEdge(dc, &r, EDGE_RAISED, BF_RECT); });
      // Without SS_NOPREFIX the stored "&&" shows as one ampersand, and is read as one.
      HWND caption = CreateWindowExW(
          0, L"STATIC", row.section, WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE,
          ui::Scale(2), ui::Scale(2), ui::Scale(width - 4), ui::Scale(headerHeight - 4), header,
          nullptr, nullptr, nullptr);
      SendMessageW(caption, WM_SETFONT, reinterpret_cast<WPARAM>(ui::Font(L"Tahoma", 12, true)),
                   FALSE);
      ui::SetTextColour(caption, GetSysColor(COLOR_BTNTEXT));
      y += headerHeight;
    }
    const int height = i == 0 ? rowHeight + 1 : rowHeight;
    HWND panel = ui::Panel(content, -1, 0, y, width, height, RGB(255, 255, 255));
    // Room for a second line where a substituted font runs wider than Tahoma.
    ui::Label(panel, -1, row.label, 13, 12, 502, 27);
    const int id = ids::AdvancedButtonBase + static_cast<int>(i);
    ui::Button(panel, id, row.caption, 520, row.buttonTop, 81, 25);
    const Repair* repair = RepairOfRoutine(row.routine);
    form_.OnClick(id, [this, repair] { form_.Press(repair); });
    y += height;
  }
}

}  // namespace korvane
