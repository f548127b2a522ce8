#pragma once
// Answers the next modal dialog of the real presenter by pressing one of its buttons,
// as a user would: for smoke tests of the Qt presenter and for scripted runs that must
// get past a modal question. Ordinary tests replace the presenter instead
// (tests/fakes/scripted_presenter.h).

#include <string>

namespace toolbox {

// When the next modal dialog is up, presses its button titled `button_text` (or, when no
// button has that title, closes the dialog as Escape would). Gives up after `attempts`
// looks at the event loop.
void PressButtonInNextModal(const std::string& button_text, int attempts = 200);

}  // namespace toolbox
