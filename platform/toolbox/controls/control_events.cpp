#include "platform/toolbox/controls/control_events.h"

namespace toolbox {

runtime::EventRef MakeKeyDownEvent(std::uint8_t char_code) {
  auto event = runtime::Event::Create(kEventClassKeyboard, kEventRawKeyDown);
  event->Set(kParamKeyMacCharCodes, char_code);
  return event;
}

std::optional<std::uint8_t> GetKeyCharCode(const runtime::Event& event) {
  return event.Get<std::uint8_t>(kParamKeyMacCharCodes);
}

bool IsReturnOrEnter(const runtime::Event& event) {
  if (!event.Is(kEventClassKeyboard, kEventRawKeyDown)) return false;
  const auto code = GetKeyCharCode(event);
  return code && (*code == kReturnCharCode || *code == kEnterCharCode);
}

runtime::EventRef MakeDrawEvent(DrawingContext& context) {
  auto event = runtime::Event::Create(kEventClassControl, kEventControlDraw);
  // Not owned: the aliasing pointer shares no control block.
  event->SetObject(kParamDrawingContext, std::shared_ptr<DrawingContext>(std::shared_ptr<void>(), &context));
  return event;
}

DrawingContext* GetDrawingContext(const runtime::Event& event) {
  return event.GetObject<DrawingContext>(kParamDrawingContext).get();
}

runtime::EventRef MakeBoundsChangedEvent(Size current, Size previous) {
  auto event = runtime::Event::Create(kEventClassControl, kEventControlBoundsChanged);
  event->SetDouble(kParamCurrentWidth, current.width);
  event->SetDouble(kParamCurrentHeight, current.height);
  event->SetDouble(kParamPreviousWidth, previous.width);
  event->SetDouble(kParamPreviousHeight, previous.height);
  return event;
}

std::optional<BoundsChange> GetBoundsChange(const runtime::Event& event) {
  const auto cw = event.Get<double>(kParamCurrentWidth), ch = event.Get<double>(kParamCurrentHeight);
  const auto pw = event.Get<double>(kParamPreviousWidth), ph = event.Get<double>(kParamPreviousHeight);
  if (!cw || !ch || !pw || !ph) return std::nullopt;
  return BoundsChange{{*cw, *ch}, {*pw, *ph}};
}

}  // namespace toolbox
