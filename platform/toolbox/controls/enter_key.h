#pragma once
// Multi-line fields where a form is typed: Return types a new line, as in any text, so
// the window's default button cannot answer Return there; the keypad's Enter presses it
// instead (flashing it, as a click would).

namespace toolbox {

class Control;

// From now on Enter in `field` presses the default button of the field's window, when
// there is one and it is enabled and shown; Return goes on typing new lines.
void PressDefaultButtonOnEnter(Control& field);

}  // namespace toolbox
