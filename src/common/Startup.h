// The start-up checks and the Home summary, as the main window's creation runs
// them.  The window supplies the label setters; the order of the steps is the
// behaviour, so it lives here where it is tested.
#pragma once

#include <functional>
#include <string>

namespace korvane {

struct StartupView {
  std::function<void(const std::wstring&)> setCaption;
  std::function<void(const std::wstring&)> setCPUName;
  std::function<void(const std::wstring&)> setTotalRAM;
  std::function<void(const std::wstring&)> setMotherboard;
  std::function<void(const std::wstring&)> setWindowsName;
  // The application is to end as soon as its message loop starts.
  std::function<void()> requestTerminate;
};

// Ends the process (code 0, nothing shown) when another instance holds the
// semaphore "MyAppKorvane"; otherwise returns false.
bool IsAlreadyRunning();

// Runs the creation checks in their order.  A refusal (WOW64, unsupported system)
// calls view.requestTerminate before any label is filled.  Errors raised while the
// labels are filled propagate: the caller shows them in the standard error box, the
// remaining labels keep their placeholders, and the window opens all the same.
void FormCreate(const StartupView& view);

}  // namespace korvane
