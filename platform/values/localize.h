#pragma once
// Texts shown to the user are looked up by key. A key is either the English text itself
// ("Download of %@ complete\r") or a symbolic name ("kStatusCompleted"). The lookup goes
// through the loaded strings table; a key the table does not hold comes back as it is,
// so English texts need no table at all and a missing entry shows its key, never nothing.
//
// A strings table is read from a file in one of two forms:
//   the classic text form       "key" = "value";   with /* */ and // comments, escapes
//                                \" \\ \n \r \t \Uxxxx, UTF-8 or UTF-16 with a byte-order mark;
//   an XML property list        a <dict> of <key>/<string> pairs.
// Tests and start-up code may also register entries in code; registered entries and a loaded
// file share one table (later entries replace earlier ones).
//
// Lookups are thread-safe and may run while another thread loads a table.

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace values {

// The text for a key: the table's entry, else the key itself.
std::string Localized(std::string_view key);

// The outcome of reading a strings file.
struct StringsLoadResult {
  bool ok = false;
  std::string message;  // why reading failed, with the line where it did
  explicit operator bool() const { return ok; }
};

// Reads a table from text (either form above); the entries, or the reason it failed.
StringsLoadResult ParseStringsTable(std::string_view contents, std::map<std::string, std::string>& out);

// Loads a file and adds its entries to the process-wide table. On failure the table is left
// as it was.
StringsLoadResult LoadLocalizedStringsFile(const std::string& path);

void RegisterLocalizedString(std::string key, std::string text);
void RegisterLocalizedStrings(std::initializer_list<std::pair<std::string_view, std::string_view>> entries);

// Forgets every entry (for tests).
void ClearLocalizedStrings();

}  // namespace values
