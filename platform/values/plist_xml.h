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

#include "platform/values/plist.h"

namespace values {

PlistResult<Value> ReadXmlPropertyList(std::string_view text);
PlistResult<std::string> WriteXmlPropertyList(const Value& value);

}  // namespace values
