#include "common/Startup.h"

#include "common/Messages.h"
#include "common/PrivateFolders.h"
#include "common/Unit_Fungsi_Korvane.h"

namespace korvane {

bool IsAlreadyRunning() {
  long lastError = 0;
  // A creation failure counts as "no other instance": better a second window
  // than no program on a machine that needs repairing.
  if (Sys().createNamedSemaphore(L"MyAppKorvane", &lastError) && lastError == kErrorAlreadyExists)
    Sys().exitProcess(0);
  return false;
}

void FormCreate(const StartupView& view) {
  IsAlreadyRunning();

  // Refusals are passed on the moment they are decided: the label steps below may
  // raise, and an error there must neither hide a refusal nor turn into one.
  if (IsWow64()) {
    ShowMessage(L"You are using a 64-Bit system, please use the 64-Bit version of the program.",
                kAppTitle, kMbIconWarning);
    view.requestTerminate();
  }
  if (!(IsWindows10() || IsWindows81() || IsWindows8())) {
    ShowMessage(L"Your system is not supported, only for Windows 8/10!", kAppTitle, kMbIconError);
    view.requestTerminate();
    return;
  }
  view.setCaption(kAppTitle);
  TempPath = RunScratchPath(Sys());
  view.setCPUName(GetCPUName());
  view.setTotalRAM(GetTotalRAM());
  view.setMotherboard(GetMotherboardName());
  view.setWindowsName(GetWindowsName());
}

}  // namespace korvane
