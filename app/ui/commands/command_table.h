#pragma once
// The command table: for every command code a person can reach (menus, the toolbar, the
// contextual menus, the tray menu, keys), where it is carried out, by what, and when it is
// available. The application's handler, the main window's handler, the main list's and
// the source list's handlers all dispatch through it, each for its own scope, so a code
// that is in no menu's table cannot be handled by accident, and a code that is in a menu
// but not here is found by the table's test.
//
// A command whose window or owner is not built yet is pending: it names what will carry
// it out, and it is shown disabled (never enabled and inert). When the owner lands, the
// pending line becomes a line with its handler.
//
// Scopes follow the routing of commands (focus, then window, then application): a list's
// entry runs only when the command reaches that list's handler, a window entry when it
// reaches the main window's, an application entry when no window took it.
//
// The table holds the main window's and the lists' entries from the start; the
// application shell adds its entries at start-up (RegisterCommands), before any window.
//
// Main thread only.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/runtime/status.h"
#include "platform/values/fourcc.h"

namespace ui {

enum class CommandScope : std::uint8_t { kApplication, kMainWindow, kMainList, kSourceList };

// The command as it arrived (a range entry gets the code it was chosen with).
using CommandHandler = runtime::Status (*)(values::FourCharCode command);
using CommandEnableRule = bool (*)();

struct CommandEntry {
  values::FourCharCode code = 0;
  // Codes code .. code + count - 1 (presets, tray items); 1 for one code.
  std::uint32_t count = 1;
  CommandScope scope = CommandScope::kApplication;
  CommandHandler handler = nullptr;  // null: pending
  // Null: the selection rules (command_state.h) or the menu decide.
  CommandEnableRule enabled = nullptr;
  // Pending only: the window or subsystem that will carry the command out.
  const char* pendingOwner = nullptr;

  bool Covers(values::FourCharCode c) const { return c >= code && c - code < count; }
  bool pending() const { return handler == nullptr; }
};

// One line per command.
constexpr CommandEntry Command(values::FourCharCode code, CommandScope scope, CommandHandler handler,
                               CommandEnableRule enabled = nullptr) {
  return CommandEntry{code, 1, scope, handler, enabled, nullptr};
}
constexpr CommandEntry CommandRange(values::FourCharCode first, std::uint32_t count, CommandScope scope,
                                    CommandHandler handler, CommandEnableRule enabled = nullptr) {
  return CommandEntry{first, count, scope, handler, enabled, nullptr};
}
constexpr CommandEntry Pending(values::FourCharCode code, const char* owner,
                               CommandScope scope = CommandScope::kApplication) {
  return CommandEntry{code, 1, scope, nullptr, nullptr, owner};
}

// Adds entries. An entry with a handler replaces a pending one of the same code and scope;
// a second handler for the same code and scope is a programming error (it is ignored, and
// DuplicateCommandEntries names it for the table's test).
void RegisterCommands(std::span<const CommandEntry> entries);

// The entry of `code` in `scope`; nullptr when there is none.
const CommandEntry* FindCommand(CommandScope scope, values::FourCharCode code);

// Runs the handler of `code` in `scope`: eventNotHandledErr when the scope has none (or
// the command is pending), else what the handler answers.
runtime::Status DispatchCommand(CommandScope scope, values::FourCharCode code);

// Whether the table decides the command's state: false while it is pending in every
// scope that has it, the entry's rule when it has one; nothing when others decide.
std::optional<bool> CommandTableEnabling(values::FourCharCode code);

// True when the table has the code and no scope has a handler for it.
bool IsCommandPending(values::FourCharCode code);
// True when some scope has a handler for the code.
bool IsCommandHandled(values::FourCharCode code);

// Everything registered, in registration order (for the table's test and the report).
std::vector<CommandEntry> AllCommandEntries();
// Codes registered twice with a handler in one scope.
std::vector<std::string> DuplicateCommandEntries();

// "'New '" style text of a code, for messages.
std::string CommandCodeText(values::FourCharCode code);

}  // namespace ui
