#include "app/engine/urls/url_entries.h"

namespace engine {

bool EntryFlag(const values::Value& entry, std::string_view key) {
  const values::Value* v = entry.Find(key);
  return v != nullptr && v->BoolOr(false);
}

bool EntryIsRestartable(const values::Value& entry) {
  return !EntryFlag(entry, kEntryNoRestarts) && EntryIsUsable(entry);
}

bool EntryIsUsable(const values::Value& entry) {
  return !EntryFlag(entry, kEntryFatalError) && !EntryFlag(entry, kEntryUnreachable);
}

}  // namespace engine
