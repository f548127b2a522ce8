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

#include <optional>
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

// The pieces of WriteXmlPropertyList, for writers that stream a large list out part by
// part: the lines before the root value, the line after it, and one value as it is written
// at nesting level `indent` (tabs), appended to `out`. The same checks as above; on failure
// `error` says why and `out` may hold part of the value.
std::string_view XmlPropertyListHeader();
std::string_view XmlPropertyListFooter();
bool AppendXmlPropertyListValue(const Value& value, int indent, std::string& out, std::string& error);

// The reader's pieces, for readers that take a list in part by part: character data with
// its references resolved (the five predefined entities and character references only),
// and the value of a scalar element (<string>, <key>, <integer>, <real>, <date>, <data>,
// <true/>, <false/>) from its text. On failure `error` says why.
bool DecodeXmlReferences(std::string_view raw, std::string& out, std::string& error);
std::optional<Value> ParseXmlScalar(std::string_view tag, std::string text, std::string& error);
// The text of a <string> or <key> as read: UTF-8 as it stands, other bytes as Latin-1, so
// that everything read is text the writer takes again.
std::string XmlPlistText(std::string text);

// Removes from `value` every dictionary entry and array item the writer would refuse (as
// above), so that what is left writes. Returns the paths removed, in the form of the
// error's; {""} when `value` itself cannot be written.
std::vector<std::string> RemoveValuesXmlCannotHold(Value& value);

}  // namespace values
