// Tools > "Undo a Repair...": the window's undo files, newest first, and the one
// action on them.
#pragma once

#include <windows.h>

#include "platform/Platform.h"

namespace korvane {

// Modal over `owner`; returns when it is closed.  `system` is the real platform.
void ShowUndoDialog(HWND owner, Platform& system);

}  // namespace korvane
