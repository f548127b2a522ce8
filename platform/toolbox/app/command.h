#pragma once
// Commands: what a menu item or a button asks for, named by a four-character code
// ('ok  ', 'not!', 'CtFi'...). A command travels as a runtime event of class 'cmds':
// kind 1 (process) when chosen, kind 2 (update status) when the layer asks whether it
// is available.
//
// Routing: a command is sent to the focus - the focused control of the front window -
// whose event target's parent is its window's target, whose parent is the application
// target. So a handler on a control sees it first, then the window's handlers, then
// the application's; a handler that returns runtime::kEventNotHandledErr lets it fall
// through, and a command nobody takes ends as kEventNotHandledErr.
//
// Update status: before a menu opens and after every command, the layer sends kind 2
// for each menu item and button that has a command. A handler that knows the command
// calls SetCommandEnabled(event, ...) (and may give a new text or mark) and returns
// kNoErr; when no handler takes it, the item keeps the state it has.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/runtime/event.h"
#include "platform/runtime/status.h"
#include "platform/values/fourcc.h"

namespace toolbox {

using runtime::Status;
using values::FourCC;
using values::FourCharCode;

inline constexpr FourCharCode kEventClassCommand = FourCC("cmds");
inline constexpr std::uint32_t kEventCommandProcess = 1;
inline constexpr std::uint32_t kEventCommandUpdateStatus = 2;

// Parameters of a command event.
inline constexpr FourCharCode kParamCommandID = runtime::kParamDirectObject;  // uint32
inline constexpr FourCharCode kParamMenuID = FourCC("menu");                  // int16, 0 = not from a menu
inline constexpr FourCharCode kParamMenuItem = FourCC("item");                // int32, 1-based
inline constexpr FourCharCode kParamCommandEnabled = FourCC("enab");          // bool, set by update status
inline constexpr FourCharCode kParamCommandText = FourCC("text");             // string, set by update status
inline constexpr FourCharCode kParamCommandMark = FourCC("mark");             // uint32 code point, 0 = none

// Standard commands the layer itself knows.
inline constexpr FourCharCode kCommandOK = FourCC("ok  ");
inline constexpr FourCharCode kCommandCancel = FourCC("not!");
inline constexpr FourCharCode kCommandQuit = FourCC("quit");
inline constexpr FourCharCode kCommandClose = FourCC("clos");

struct Command {
  FourCharCode id = 0;
  std::int16_t menu_id = 0;  // the menu the command came from, 0 = none
  int item = 0;              // its item, 1-based
};

runtime::EventRef MakeCommandEvent(std::uint32_t kind, const Command& command);
// The command of a 'cmds' event; id 0 when the event has none.
Command GetCommand(const runtime::Event& event);
bool IsCommandEvent(const runtime::Event& event, std::uint32_t kind, FourCharCode id);

// For update-status handlers.
void SetCommandEnabled(runtime::Event& event, bool enabled);
void SetCommandText(runtime::Event& event, const std::string& text);
void SetCommandMark(runtime::Event& event, char32_t mark);

// The answer of an update-status pass for one command; nothing when no handler took it.
struct CommandStatus {
  std::optional<bool> enabled;
  std::optional<std::string> text;
  std::optional<char32_t> mark;
};

}  // namespace toolbox
