// The File Associations Fixer: a row with a FIX button a file type, and the hint
// for when .exe files themselves no longer start.
#include "app/Pages.h"

#include <stdexcept>
#include <string>
#include <string_view>

#include "app/Unit_Korvane.h"
#include "common/Messages.h"
#include "fileassoc/FileAssoc.h"
#include "repairs/VerifiedPress.h"
#include "ui/Art.h"
#include "ui/ControlIds.h"
#include "ui/UiKit.h"

namespace korvane {
namespace {

const FileTypeRow& RowOfButton(const char* button) {
  for (const FileTypeRow& row : FileTypeCatalogue())
    if (std::string_view(row.button) == button) return row;
  throw std::logic_error(std::string("no file-type row ") + button);
}

// The FIX buttons' handlers, in row order.
void (PageFileAssoc::*const kFixHandlers[])() = {
#define KORVANE_FIX_HANDLER(member, button, label, code, description) &PageFileAssoc::button##Click,
    KORVANE_FILE_TYPE_ROWS(KORVANE_FIX_HANDLER)
#undef KORVANE_FIX_HANDLER
};

}  // namespace

void PageFileAssoc::Build(HWND page) {
  ui::Heading(page, L"Repair file associations and restore them to the original.", 16, 11, 600);
  ui::Label(page, -1,
            L"When you want to run/open files with certain extensions (e.g. txt), an error message "
            L"appears. This can be caused by malware, or a software error.",
            16, 42, 600, 40, ui::Font(L"Tahoma", 11));
  const auto& rows = FileTypeCatalogue();
  const int rowHeight = 41;
  HWND content =
      ui::ScrollBox(page, ids::ScrollBox2, ids::ScrollBox2Content, 16, 96, 602, 289,
                    static_cast<int>(rows.size()) * rowHeight, GetSysColor(COLOR_BTNFACE));
  for (const FileTypeRow& row : rows) {
    const int top = (row.position - 1) * rowHeight;
    const std::wstring label = row.label;
    const int position = row.position;
    ui::Panel(
        content, -1, 4, top + 4, 32, 32, GetSysColor(COLOR_BTNFACE),
        [label, position](HDC dc, RECT rc) { art::TypeIcon(dc, 0, 0, rc.right, label, position); });
    ui::Label(content, -1, row.label, 46, top + 4, 300, 17, ui::Font(L"Segoe UI", 13, true));
    ui::Label(content, -1, row.description, 46, top + 21, 400, 16, ui::Font(L"Segoe UI", 11));
    ui::Button(content, ids::FixButtonBase + row.position, L"FIX", 490, top + 8, 81, 25);
    const auto handler = kFixHandlers[row.position - 1];
    form_.OnClick(ids::FixButtonBase + row.position, [this, handler] { (this->*handler)(); });
  }

  lblINFO_FIX_EXE = ui::Label(page, ids::lblINFO_FIX_EXE, L"How to fix EXE file associations.", 437,
                              399, 198, 18);
  const HFONT plain = ui::Font(L"Tahoma", 13), underlined = ui::Font(L"Tahoma", 13, false, true);
  ui::MakeLink(lblINFO_FIX_EXE, plain, underlined);
  // Sized for its underlined font, the wider of the two it shows.
  SendMessageW(lblINFO_FIX_EXE, WM_SETFONT, reinterpret_cast<WPARAM>(underlined), FALSE);
  ui::FitToText(lblINFO_FIX_EXE, 630);
  SendMessageW(lblINFO_FIX_EXE, WM_SETFONT, reinterpret_cast<WPARAM>(plain), FALSE);
  form_.OnClick(ids::lblINFO_FIX_EXE, [this] { lblINFO_FIX_EXEClick(); });
}

#define KORVANE_DEFINE_FIX_HANDLER(member, button, label, code, description) \
  void PageFileAssoc::button##Click() { form_.Press(RepairOfFileType(RowOfButton(#button))); }
KORVANE_FILE_TYPE_ROWS(KORVANE_DEFINE_FIX_HANDLER)
#undef KORVANE_DEFINE_FIX_HANDLER

void PageFileAssoc::lblINFO_FIX_EXEClick() {
  ShowMessage(ExeHintText(), kAppTitle, kMbIconInformation);
}

}  // namespace korvane
