#pragma once
// XML property lists, written byte for byte as the platform writes them:
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
//   <plist version="1.0">
//   <dict>
//   	<key>name</key>          one tab per level; keys sorted by UTF-16 code units
//   	<string>a &amp; b</string>
//   </dict>
//   </plist>
//
// Reading is stricter than XML requires where a lax reader would hide damage (unknown
// tags, text between elements, a key without a value, numbers out of range), and safe
// against hostile files: entities other than the five predefined ones and character
// references are refused, a DOCTYPE with an internal subset is refused, external
// entities are never fetched, and nesting is limited to kMaxPlistDepth.

#include <string>
#include <string_view>
#include <vector>

#include "platform/values/plist.h"

namespace values {

PlistResult<Value> ReadXmlPropertyList(std::string_view text);

// Never writes what an XML reader cannot read back: a string or key that is not UTF-8 or
// holds a character XML 1.0 forbids (a C0 control other than tab, LF and CR; U+FFFE,
// U+FFFF), a null, a date outside the years 0000 to 9999 or nesting deeper than
// kMaxPlistDepth fails the write, and the error names where it is ("... (at
// \"url data/0/cookie\")": keys joined by "/", array items by index).
PlistResult<std::string> WriteXmlPropertyList(const Value& value);

// Removes from `value` every dictionary entry and array item the writer would refuse (as
// above), so that what is left writes. Returns the paths removed, in the form of the
// error's; {""} when `value` itself cannot be written.
std::vector<std::string> RemoveValuesXmlCannotHold(Value& value);

}  // namespace values
