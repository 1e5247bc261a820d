// The Tools and Help menus.
#include <windows.h>

#include <shellapi.h>

#include "about/Unit_Korvane_Tentang.h"
#include "app/UndoDialog.h"
#include "app/Unit_Korvane.h"
#include "common/RestartExplorer.h"
#include "common/ToolsMenu.h"
#include "ui/ControlIds.h"

namespace korvane {

void BuildToolsMenu(TFORM_UTAMA& form, HMENU tools) {
  const auto launchers = ToolLaunchers();
  auto add = [&](HMENU menu, const wchar_t* submenu) {
    for (size_t i = 0; i < launchers.size(); ++i) {
      const ToolLauncher& tool = launchers[i];
      const bool here =
          submenu ? (tool.submenu && std::wstring(tool.submenu) == submenu) : !tool.submenu;
      if (!here) continue;
      const int id = ids::ToolLauncherBase + static_cast<int>(i);
      AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), tool.caption);
      form.OnClick(id, [&tool] { LaunchTool(tool); });
    }
  };
  HMENU admin = CreatePopupMenu();
  add(admin, L"Administrative Tools");
  AppendMenuW(tools, MF_POPUP, reinterpret_cast<UINT_PTR>(admin), L"Administrative Tools");
  AppendMenuW(tools, MF_SEPARATOR, 0, nullptr);
  add(tools, nullptr);
  HMENU restore = CreatePopupMenu();
  AppendMenuW(restore, MF_STRING, ids::mnuCreateRestorePoint, L"Create Restore Point");
  AppendMenuW(restore, MF_SEPARATOR, 0, nullptr);
  add(restore, L"System Restore");
  AppendMenuW(tools, MF_POPUP, reinterpret_cast<UINT_PTR>(restore), L"System Restore");
  AppendMenuW(tools, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(tools, MF_STRING, ids::mnuRESTARTEXPLORER, L"Restart \"explorer.exe\"");
  AppendMenuW(tools, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(tools, MF_STRING, ids::mnuUndoRepair, L"Undo a Repair...");
  form.OnClick(ids::mnuCreateRestorePoint, [&form] { form.mnuCreateRestorePointClick(); });
  form.OnClick(ids::mnuRESTARTEXPLORER, [&form] { form.mnuRESTARTEXPLORERClick(); });
  form.OnClick(ids::mnuUndoRepair, [&form] { form.mnuUndoRepairClick(); });
}

// The menu entry performs a click of the button, so both stay one behaviour.
void TFORM_UTAMA::mnuCreateRestorePointClick() {
  SendMessageW(Handle, WM_COMMAND, MAKEWPARAM(ids::btnRSPoint, BN_CLICKED),
               reinterpret_cast<LPARAM>(Home.btnRSPoint));
}

void TFORM_UTAMA::mnuRESTARTEXPLORERClick() { RestartExplorer(); }

void TFORM_UTAMA::mnuUndoRepairClick() { ShowUndoDialog(Handle, System ? *System : Sys()); }

void TFORM_UTAMA::mnuHomepageClick() {
  ShellExecuteW(Handle, L"open", kHomepageAddress.c_str(), nullptr, nullptr, SW_SHOW);
}

void TFORM_UTAMA::mnuEmailClick() {
  ShellExecuteW(Handle, L"open", (L"mailto:" + kSupportEmail).c_str(), nullptr, nullptr, SW_SHOW);
}

}  // namespace korvane
