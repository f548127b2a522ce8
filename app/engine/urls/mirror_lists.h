#pragma once
// Operations on a download's list of mirrors (URL entries, url_list.h and url_entries.h)
// that the task, the scheduler and the add functions share: finding an entry by URL,
// merging what two copies of a list know, and counting the mirrors still worth trying.

#include <cstddef>
#include <string_view>

#include "platform/values/url.h"
#include "platform/values/value.h"

namespace engine {

// The first entry whose URL equals `url` (same text), or nullptr.
values::Value* URLListFindEntry(values::Array& list, const values::Url& url);
const values::Value* URLListFindEntry(const values::Array& list, const values::Url& url);

// Adds every pair of `source` whose key `destination` lacks; both are dictionaries.
void DictionaryAddMissingValues(values::Value& destination, const values::Value& source);

// Each entry gains the keys it lacks from the entry of `other` with the same URL.
void URLListMergeValuesFrom(values::Array& list, const values::Array& other);

// Entries that may be resumed and split; entries without "fatalError"; entries that may
// still be tried (url_entries.h).
std::size_t CountRestartableEntries(const values::Array& list);
std::size_t CountEntriesWithoutFatalError(const values::Array& list);
std::size_t CountUsableEntries(const values::Array& list);

}  // namespace engine
