#pragma once
// Press tracking as a state machine. A button-like part acts when the mouse goes down
// on it and comes up on it: while the button is held the control part shows pressed only while
// the mouse is over it, and a release anywhere else does nothing. This is the platform's
// "track until mouse-up" loop turned inside out, fed by press, move and release events.

namespace toolbox {

class PressTracker {
 public:
  // Mouse down over `part` (0 = none: nothing is tracked).
  void Press(int part) {
    pressed_part_ = part;
    highlighted_ = part != 0;
  }
  // Mouse moved while held, now over `part_under_mouse`. True when the highlight changed.
  bool Move(int part_under_mouse) {
    if (pressed_part_ == 0) return false;
    const bool inside = part_under_mouse == pressed_part_;
    if (inside == highlighted_) return false;
    highlighted_ = inside;
    return true;
  }
  // Mouse up over `part_under_mouse`: the control part to act on, 0 for none.
  int Release(int part_under_mouse) {
    const int acted = pressed_part_ != 0 && part_under_mouse == pressed_part_ ? pressed_part_ : 0;
    pressed_part_ = 0;
    highlighted_ = false;
    return acted;
  }
  void Cancel() { Release(0); }

  bool IsTracking() const { return pressed_part_ != 0; }
  int pressed_part() const { return pressed_part_; }
  // The control part to draw pressed now, 0 for none.
  int highlighted_part() const { return highlighted_ ? pressed_part_ : 0; }

 private:
  int pressed_part_ = 0;
  bool highlighted_ = false;
};

}  // namespace toolbox
