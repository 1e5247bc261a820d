// The Home page: what the machine is, and the "Quick Task" boxes.
#include "app/Pages.h"
#include "app/Unit_Korvane.h"
#include "common/MaintenanceTasks.h"
#include "repairs/VerifiedPress.h"
#include "ui/Art.h"
#include "ui/ControlIds.h"
#include "ui/UiKit.h"

namespace korvane {

void PageHome::Build(HWND page) {
  ui::Heading(page, L"Hardware Information:", 16, 11, 400);
  const wchar_t* captions[] = {L"OS:", L"Motherboard:", L"Processor:", L"RAM:"};
  const wchar_t* placeholders[] = {L"lblWinName", L"lblMotherboard", L"lblCPUName", L"lblTotalRAM"};
  const int valueIds[] = {ids::lblWinName, ids::lblMBoard, ids::lblCPUName, ids::lblTOTALRAM};
  HWND* values[] = {&lblWinName, &lblMBoard, &lblCPUName, &lblTOTALRAM};
  for (int i = 0; i < 4; ++i) {
    const int y = 40 + 22 * i;
    ui::FitToText(ui::Label(page, -1, captions[i], 16, y, 96, 18, ui::Font(L"Tahoma", 13, true)),
                  110);
    *values[i] =
        ui::Label(page, valueIds[i], placeholders[i], 112, y, 500, 18, ui::Font(L"Tahoma", 13));
  }
  ui::Heading(page, L"Quick Task:", 16, 152, 400);

  // Where each task's box goes; its texts are the task's own.
  const struct {
    void (*routine)();
    int top;
    int id;
    HWND* handle;
    art::TaskIcon icon;
    void (PageHome::*handler)();
  } boxes[] = {
      {&CreateRestorePointTask, 181, ids::btnRSPoint, &btnRSPoint, art::TaskIcon::RestorePoint,
       &PageHome::btnRSPointClick},
      {&RunSystemFileCheck, 252, ids::btnSCANSFC, &btnSCANSFC, art::TaskIcon::SystemFiles,
       &PageHome::btnSCANSFCClick},
      {&RunComponentStoreRepair, 323, ids::btnSCANDISM, &btnSCANDISM, art::TaskIcon::ComponentStore,
       &PageHome::btnSCANDISMClick},
  };
  for (const auto& box : boxes) {
    const HomeTask* task = nullptr;
    for (const HomeTask& t : HomeTasks())
      if (t.routine == box.routine) task = &t;
    if (!task) continue;
    HWND group = ui::GroupBox(page, task->caption, 16, box.top, 601, 65);
    const art::TaskIcon icon = box.icon;
    ui::Panel(group, -1, 12, 22, 32, 32, GetSysColor(COLOR_BTNFACE),
              [icon](HDC dc, RECT rc) { art::Task(dc, 0, 0, rc.right, icon); });
    ui::Label(group, -1, task->description, 56, 18, 410, 42);
    *box.handle = ui::Button(group, box.id, task->button, 480, 24, 105, 25);
    const auto handler = box.handler;
    form_.OnClick(box.id, [this, handler] { (this->*handler)(); });
  }
}

void PageHome::btnSCANSFCClick() { RunSystemFileCheck(); }
void PageHome::btnSCANDISMClick() { RunComponentStoreRepair(); }
void PageHome::btnRSPointClick() { form_.Press(RepairOfRoutine(&CreateRestorePointTask)); }

}  // namespace korvane
