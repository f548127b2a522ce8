#include "platform/toolbox/app/command.h"

namespace toolbox {

runtime::EventRef MakeCommandEvent(std::uint32_t kind, const Command& command) {
  auto event = runtime::Event::Create(kEventClassCommand, kind);
  event->SetUInt32(kParamCommandID, command.id);
  event->SetInt16(kParamMenuID, command.menu_id);
  event->SetInt32(kParamMenuItem, command.item);
  return event;
}

Command GetCommand(const runtime::Event& event) {
  Command c;
  c.id = event.Get<std::uint32_t>(kParamCommandID).value_or(0);
  c.menu_id = event.Get<std::int16_t>(kParamMenuID).value_or(0);
  c.item = event.Get<std::int32_t>(kParamMenuItem).value_or(0);
  return c;
}

bool IsCommandEvent(const runtime::Event& event, std::uint32_t kind, FourCharCode id) {
  return event.Is(kEventClassCommand, kind) && GetCommand(event).id == id;
}

void SetCommandEnabled(runtime::Event& event, bool enabled) {
  event.SetBool(kParamCommandEnabled, enabled);
}
void SetCommandText(runtime::Event& event, const std::string& text) {
  event.SetString(kParamCommandText, text);
}
void SetCommandMark(runtime::Event& event, char32_t mark) {
  event.SetUInt32(kParamCommandMark, static_cast<std::uint32_t>(mark));
}

}  // namespace toolbox
