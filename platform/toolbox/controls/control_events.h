#pragma once
// Events a control delivers to its event target (and on to its window's and the
// application's, see command.h for the routing): the key pressed while it has the focus,
// its drawing - after the standard drawing, into the same context - and its size change.
// A handler that takes a key returns kNoErr and the key goes no further; one that passes
// (kEventNotHandledErr) lets the control handle the key itself.

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/runtime/event.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/drawing/drawing_context.h"
#include "platform/toolbox/drawing/geometry.h"

namespace toolbox {

inline constexpr FourCharCode kEventClassControl = FourCC("cntl");
inline constexpr std::uint32_t kEventControlDraw = 4;
inline constexpr std::uint32_t kEventControlBoundsChanged = 154;

inline constexpr FourCharCode kEventClassKeyboard = FourCC("keyb");
inline constexpr std::uint32_t kEventRawKeyDown = 1;

// The character of a key (uint8): Return 13, Enter 3, others their character.
inline constexpr FourCharCode kParamKeyMacCharCodes = FourCC("kchr");
// The drawing context of a draw event; valid only while the event is handled.
inline constexpr FourCharCode kParamDrawingContext = FourCC("cnxc");
// The control's new and previous sizes (bounds changed), as doubles.
inline constexpr FourCharCode kParamCurrentWidth = FourCC("crtw");
inline constexpr FourCharCode kParamCurrentHeight = FourCC("crth");
inline constexpr FourCharCode kParamPreviousWidth = FourCC("prvw");
inline constexpr FourCharCode kParamPreviousHeight = FourCC("prvh");

inline constexpr std::uint8_t kReturnCharCode = 13;
inline constexpr std::uint8_t kEnterCharCode = 3;

runtime::EventRef MakeKeyDownEvent(std::uint8_t char_code);
// The key's character; nothing when the event has none.
std::optional<std::uint8_t> GetKeyCharCode(const runtime::Event& event);
bool IsReturnOrEnter(const runtime::Event& event);

// The event holds `context` without owning it: send it at once, do not keep it.
runtime::EventRef MakeDrawEvent(DrawingContext& context);
DrawingContext* GetDrawingContext(const runtime::Event& event);

runtime::EventRef MakeBoundsChangedEvent(Size current, Size previous);
struct BoundsChange {
  Size current, previous;
};
std::optional<BoundsChange> GetBoundsChange(const runtime::Event& event);

}  // namespace toolbox
