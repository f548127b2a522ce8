#pragma once
// Two small operations on value sets that the lists and the queue share.

#include "platform/values/value.h"

namespace ui {

// One member of the set (the first added), or a null value when the set is empty.
values::Value GetAnySetValue(const values::Set& set);

// In-place union: every member of `source` that `destination` lacks is added to it.
void AddSetMembers(values::Set& destination, const values::Set& source);

}  // namespace ui
