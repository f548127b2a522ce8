#pragma once
// The file types the browser plug-in takes over, and how a user's list saved by an older
// version is brought up to date.
//
// A type is a dictionary {"enabled" (Boolean), "extension" (without the dot), "mimetypes"
// (MIME types separated by ", "), "description"}. The default table is what the
// preferences window's plug-in pane shows and what it writes for the browser plug-in. The
// user's list lives in the preference "pluginTypes"; "pluginTypes base version" says which
// default table it was made from. Lists older than the current table get the current
// default rows (their enabled flags included) with the user's own extra types after them.

#include <cstdint>
#include <optional>

#include "platform/values/value.h"

namespace util {

// The version of the default table below. A stored base version below it (but not 0,
// which means never stored) marks a list saved by an older version.
inline constexpr std::int64_t kPluginTypesBaseVersion = 11;

// The default table, built on first use and the same for the life of the process.
const values::Array& defaultPluginTypes();

// What registering the defaults must store for a user's list.
struct PluginTypesUpdate {
  std::optional<values::Array> pluginTypes;  // the merged list, when one is to be stored
  bool storeBaseVersion = false;             // store kPluginTypesBaseVersion
};

// The merge rule on its own: given the stored base version (0 when none) and the user's
// stored "pluginTypes" (nullptr when none or not an array).
PluginTypesUpdate UpdatePluginTypes(std::int64_t storedBaseVersion, const values::Array* userTypes);

// Registers {"pluginTypes": defaultPluginTypes()} in the user-defaults registration domain,
// then brings a list saved by an older version up to date (UpdatePluginTypes) and stores
// the result in the user's preferences.
void registerDefaultPluginTypes();

}  // namespace util
