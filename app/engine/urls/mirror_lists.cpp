#include "app/engine/urls/mirror_lists.h"

#include <algorithm>

#include "app/engine/urls/url_entries.h"
#include "app/engine/urls/url_list.h"

namespace engine {
namespace {

bool EntryHasURL(const values::Value& entry, const values::Url& url) {
  const values::Value* text = entry.Find(kEntryURL);
  return text != nullptr && text->IsString() && *text->AsString() == url.String();
}

template <class Pred>
std::size_t CountEntries(const values::Array& list, Pred pred) {
  return static_cast<std::size_t>(std::count_if(list.begin(), list.end(), pred));
}

}  // namespace

values::Value* URLListFindEntry(values::Array& list, const values::Url& url) {
  for (values::Value& entry : list) {
    if (EntryHasURL(entry, url)) return &entry;
  }
  return nullptr;
}

const values::Value* URLListFindEntry(const values::Array& list, const values::Url& url) {
  return URLListFindEntry(const_cast<values::Array&>(list), url);
}

void DictionaryAddMissingValues(values::Value& destination, const values::Value& source) {
  const values::Dictionary* from = source.AsDictionary();
  values::Dictionary* to = destination.AsDictionary();
  if (from == nullptr || to == nullptr) return;
  for (const auto& [key, value] : *from) to->try_emplace(key, value);
}

void URLListMergeValuesFrom(values::Array& list, const values::Array& other) {
  for (values::Value& entry : list) {
    const std::optional<values::Url> url = EntryURL(entry);
    if (!url) continue;
    if (const values::Value* match = URLListFindEntry(other, *url)) DictionaryAddMissingValues(entry, *match);
  }
}

std::size_t CountRestartableEntries(const values::Array& list) {
  return CountEntries(list, EntryIsRestartable);
}

std::size_t CountEntriesWithoutFatalError(const values::Array& list) {
  return CountEntries(list, [](const values::Value& e) { return !EntryFlag(e, kEntryFatalError); });
}

std::size_t CountUsableEntries(const values::Array& list) {
  return CountEntries(list, EntryIsUsable);
}

}  // namespace engine
