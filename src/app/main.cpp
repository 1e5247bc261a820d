// Program entry of Korvane.exe.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "about/Unit_Korvane_Tentang.h"
#include "app/InputBox.h"
#include "app/Unit_Korvane.h"
#include "common/PrivateFolders.h"
#include "fileassoc/Unit_FORMLAIN_Korvane.h"
#include "platform/win32/Win32Platform.h"
#include "ui/UiKit.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The program runs elevated, often from a Downloads folder: DLLs are never
  // taken from the program's own folder, only from System32.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

  // The motherboard query is the slowest step of start-up.  It runs beside the
  // building of the window, whose creation waits for its answer (or its failure)
  // when it fills the Home page, before the window is shown.
  korvane::Win32Platform platform;
  platform.prefetchBaseBoards();

  // The user-interface thread is a single-threaded apartment for the WMI calls
  // made on it (the restore point; the motherboard, should its thread fail).
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX icc{sizeof icc,
                           ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);

  korvane::SetSys(&platform);
  korvane::ui::RegisterClasses(instance);

  auto* main = new korvane::TFORM_UTAMA(instance);
  main->System = &platform;
  platform.setMainWindow(main->Handle);
  platform.inputBoxImpl = [main](const std::wstring& caption, const std::wstring& prompt,
                                 const std::wstring& def) {
    return korvane::ShowInputBox(main->Handle, caption, prompt, def);
  };
  new korvane::TFORM_TENTANG(instance, main->Handle);
  korvane::FORM_LAIN();

  ShowWindow(main->Handle, SW_SHOW);
  UpdateWindow(main->Handle);
  if (main->TerminateRequested) {
    PostQuitMessage(0);
  } else {
    main->BuildPagesInBackground();
  }

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(main->Handle, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  korvane::RemoveRunScratchFolder();
  CoUninitialize();
  return 0;
}
