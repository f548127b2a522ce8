#include "app/ui/commands/command_table.h"

#include <algorithm>

#include "app/ui/main_window/window_commands.h"
#include "app/ui/source_list/source_list.h"

namespace ui {
namespace {

struct Table {
  std::vector<CommandEntry> entries;
  std::vector<std::string> duplicates;
};

void Add(Table& table, const CommandEntry& entry) {
  for (CommandEntry& e : table.entries) {
    if (e.scope != entry.scope || e.code != entry.code) continue;
    if (e.pending()) {
      // The owner has landed: its line replaces the pending one.
      if (!entry.pending()) e = entry;
      return;
    }
    // The same line registered again (a second install) changes nothing.
    if (!entry.pending() && entry.handler != e.handler)
      table.duplicates.push_back(CommandCodeText(entry.code));
    return;
  }
  table.entries.push_back(entry);
}

Table& TheTable() {
  static Table table = [] {
    Table t;
    for (auto entries : {MainWindowCommandEntries(), MainListCommandEntries(), SourceListCommandEntries()})
      for (const CommandEntry& e : entries) Add(t, e);
    return t;
  }();
  return table;
}

}  // namespace

void RegisterCommands(std::span<const CommandEntry> entries) {
  Table& table = TheTable();
  for (const CommandEntry& e : entries) Add(table, e);
}

const CommandEntry* FindCommand(CommandScope scope, values::FourCharCode code) {
  for (const CommandEntry& e : TheTable().entries)
    if (e.scope == scope && e.Covers(code)) return &e;
  return nullptr;
}

runtime::Status DispatchCommand(CommandScope scope, values::FourCharCode code) {
  const CommandEntry* entry = FindCommand(scope, code);
  if (!entry || entry->pending()) return runtime::kEventNotHandledErr;
  return entry->handler(code);
}

std::optional<bool> CommandTableEnabling(values::FourCharCode code) {
  bool known = false;
  for (const CommandEntry& e : TheTable().entries) {
    if (!e.Covers(code)) continue;
    known = true;
    if (!e.pending()) return e.enabled ? std::optional<bool>(e.enabled()) : std::nullopt;
  }
  if (known) return false;
  return std::nullopt;
}

bool IsCommandPending(values::FourCharCode code) {
  bool known = false;
  for (const CommandEntry& e : TheTable().entries) {
    if (!e.Covers(code)) continue;
    if (!e.pending()) return false;
    known = true;
  }
  return known;
}

bool IsCommandHandled(values::FourCharCode code) {
  const auto& entries = TheTable().entries;
  return std::any_of(entries.begin(), entries.end(),
                     [&](const CommandEntry& e) { return e.Covers(code) && !e.pending(); });
}

std::vector<CommandEntry> AllCommandEntries() {
  return TheTable().entries;
}

std::vector<std::string> DuplicateCommandEntries() {
  return TheTable().duplicates;
}

std::string CommandCodeText(values::FourCharCode code) {
  std::string text = "'";
  for (int i = 0; i < 4; ++i) {
    const auto byte = static_cast<unsigned char>((code >> (24 - 8 * i)) & 0xFF);
    if (byte >= 0x20 && byte < 0x7F) {
      text += static_cast<char>(byte);
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      text += "\\x";
      text += kHex[byte >> 4];
      text += kHex[byte & 0xF];
    }
  }
  return text + "'";
}

}  // namespace ui
