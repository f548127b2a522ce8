#pragma once
// URL entries: a download is a list of mirrors of one file, each a dictionary that holds
// the mirror's URL and what the program has learnt about it (referer, cookies, form
// data, whether it can be resumed ...).
//
// An entry keeps its URL under "url" as the URL's text, in memory as in the queue file
// and the package's "properties.plist", so one form serves both; `EntryURL` parses it
// when a component is needed. Texts are only ever put there after the URL parser took
// them, so parsing them again succeeds.

#include <optional>
#include <string>
#include <string_view>

#include "platform/values/url.h"
#include "platform/values/value.h"

namespace engine {

inline constexpr const char* kEntryURL = "url";
inline constexpr const char* kEntryReferer = "referer";

// The URL of an entry; nothing when the entry has none or it does not parse.
std::optional<values::Url> EntryURL(const values::Value& entry);

// A new entry {"url": the URL, "referer": referer when given}.
values::Value MakeURLEntry(const values::Url& url, const std::optional<std::string>& referer);

// One entry per line of pasted or dropped text (lines end at CR; other control
// characters, line feeds included, are deleted; blanks trimmed; lines of 7 characters or
// fewer skipped). Each line is escaped (keeping "{", "}" and "#") and must then make a
// URL with a host. A search engine's redirect link gives the URL it points to, and a
// "#!metalink3!" fragment gives the URL behind it. Nothing when no line gives a URL.
std::optional<values::Array> ParseURLListText(std::string_view text,
                                              const std::optional<std::string>& referer);
// The same for UTF-8 bytes; nothing when they are not valid UTF-8.
std::optional<values::Array> ParseURLListCString(std::string_view utf8,
                                                 const std::optional<std::string>& referer);

// Whether two lists stand for the same hand-off: the same number of entries, and each entry
// of `a` has the same "url" and the same "referer" as the entry of `b` at its position. An
// entry without a referer is never equal (typed URLs are never taken for repeats); two
// empty lists are.
bool URLListsAreEqual(const values::Array& a, const values::Array& b);

// Copies of the entries with "referer" set on each when a referer is given.
values::Array URLListCopyWithReferer(const values::Array& list, const std::optional<std::string>& referer);

// Every entry's URL has the scheme http, https, ftp, ftps or afp (any case).
bool URLListSchemesAreSupported(const values::Array& list);

// Appends the host name of every entry's URL (entries without one are skipped).
void URLListCopyHostNames(const values::Array& list, values::Array& out);

// The stored form of a list and back. Entries keep their URL as text in both forms, so
// these are copies; entries whose "url" does not parse lose it on the way in.
values::Array URLListCopyWithURLStrings(const values::Array& list);
values::Array URLListCopyWithURLObjects(const values::Array& list);

// Removes `key` from every entry.
void URLListRemoveKey(values::Array& list, std::string_view key);

// The first entry's URL is an FTP or FTPS folder (its path ends with "/").
bool URLListIsFTPFolder(const values::Array& list);

}  // namespace engine
