#pragma once
// A compact byte form of values::Value for messages between our own processes (the
// distributed notifications). Not a storage format: both ends are this program of the
// same build. Decoding checks every length and the nesting depth, since any process of
// the user may write to the socket.

#include <optional>
#include <string>
#include <string_view>

#include "platform/values/value.h"

namespace runtime::wire {

void AppendValue(std::string& out, const values::Value& value);
void AppendString(std::string& out, std::string_view s);

// Reads one item at `pos`, moving `pos` past it; nullopt on damaged input.
std::optional<values::Value> ReadValue(std::string_view in, std::size_t& pos);
std::optional<std::string> ReadString(std::string_view in, std::size_t& pos);

}  // namespace runtime::wire
