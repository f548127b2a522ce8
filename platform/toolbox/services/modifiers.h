#pragma once
// Modifier keys held now. The windows ask (the Option-key shortcuts of alerts and
// menus); tests inject the answer.

#include <functional>

namespace toolbox {

enum KeyModifier : unsigned {
  kModifierShift = 1u << 0,
  kModifierControl = 1u << 1,
  kModifierOption = 1u << 2,   // Alt
  kModifierCommand = 1u << 3,  // the platform's primary shortcut key (Ctrl here)
};

// A mix of KeyModifier bits.
unsigned GetCurrentKeyModifiers();
bool IsOptionKeyDown();
// Replaces the source of GetCurrentKeyModifiers (tests); an empty function restores the
// keyboard.
void SetKeyModifiersSource(std::function<unsigned()> source);

}  // namespace toolbox
