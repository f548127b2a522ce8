#pragma once
// A FavouritesService that records the entries it is given and treats every entry that
// lacks "version" as one of the older form, converting it by adding "version" 2.

#include <string>
#include <utility>
#include <vector>

#include "app/browser/services/favourites_service.h"

namespace browser {

class FakeFavouritesService : public FavouritesService {
 public:
  std::vector<std::pair<std::string, values::Value>> added;
  values::Dictionary table;

  bool AddFavouriteFromPreference(const std::string& name, const values::Value& entry) override {
    added.emplace_back(name, entry);
    values::Value converted = entry;
    const bool older = entry.Find("version") == nullptr;
    if (older) converted.Put("version", 2);
    table.insert_or_assign(name, converted);
    return older;
  }
  values::Dictionary CopyFavouritesPreferenceDictionary() override { return table; }
};

}  // namespace browser
