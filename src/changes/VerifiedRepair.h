// A repair as the window runs it: first on a preview, from which its undo file is
// written, then for real with every change journaled, and then read back, so that
// "Done!" (or the restart notice) is shown only when what the repair wrote is in
// place.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "changes/RegistryCheck.h"
#include "platform/Platform.h"

namespace korvane {

// One undo file of a press: the repair's id and title, and what the press would do
// for that repair alone, run on the preview.
struct UndoTarget {
  std::string id;
  std::wstring title;
  std::function<void()> preview;
};

struct VerifiedRun {
  bool ran = false;  // false: the user chose not to repair without an undo file
  std::vector<std::wstring> undoFiles;
  std::vector<Difference> unverified;
};

std::wstring UndoNotWrittenQuestion(const std::wstring& reason);

// Runs one press of a button through Sys() layers over `system`, the real
// platform:
//  1. each target's preview on an overlay: nothing changes and no message is
//     shown, but a question (a Yes/No box, the input box) is put to the user, once;
//  2. an undo file per target with changes, in the user's undo store (see
//     OpenUndoStore), keeping the newest kUndoFilesKept; if the store cannot be
//     used or a file cannot be written the user is asked whether to repair anyway,
//     and No ends the press with nothing changed;
//  3. `repair` for real, journaled; the questions get the answers given in step 1;
//     error and warning boxes are shown as they come, the information boxes that
//     report success are held back;
//  4. the read-back: when something written is not in place, "Error!" is shown
//     instead of the held boxes (unless an error was shown already).
// An error `repair` raises is passed on, after the layers are gone.  A button
// pressed while the repair waits for a tool runs beside these layers, on the
// platform below them (ForwardingPlatform::processMessages): it is a press of its
// own, with its own boxes and its own read-back.
VerifiedRun RunVerified(Platform& system, const std::vector<UndoTarget>& targets,
                        const std::function<void()>& repair);

}  // namespace korvane
