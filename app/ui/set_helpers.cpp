#include "app/ui/set_helpers.h"

namespace ui {

values::Value GetAnySetValue(const values::Set& set) {
  if (set.members.empty()) return values::Value();
  return set.members.front();
}

void AddSetMembers(values::Set& destination, const values::Set& source) {
  if (&destination == &source) return;
  for (const values::Value& member : source.members) destination.Add(member);
}

}  // namespace ui
