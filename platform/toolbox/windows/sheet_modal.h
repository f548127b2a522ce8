#pragma once
// A sheet whose opener waits for its answer. RunSheetModal shows the sheet over its
// parent (modal to that window only: the other windows, the menus and the run loop's
// timers and events go on) and runs the main loop nested until the sheet is answered,
// then hides it and returns the answer, a command:
//   - a button of the sheet whose command no handler takes answers with that command
//     (a plain question sheet needs no handler at all);
//   - a handler that takes the command (to check the fields first, say) answers when
//     it is satisfied with EndSheetModal; until then the sheet stays up;
//   - a sheet hidden or released meanwhile answers kCommandCancel.
// Sheets may be run from inside the run of another sheet; each waits for its own.

#include "platform/toolbox/app/command.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {

// The answer, or 0 when the sheet could not be shown (not a sheet, already shown, or
// its opening handler refused).
FourCharCode RunSheetModal(Window& sheet);
// Ends the sheet's modal run with `answer`; nothing when the sheet is not being run.
void EndSheetModal(Window& sheet, FourCharCode answer);
bool IsSheetRunningModal(const Window& sheet);

}  // namespace toolbox
