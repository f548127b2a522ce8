#pragma once
// What the settings store asks of the server favourites: fill the favourites table from
// the stored entries at start-up, and give the table back in its stored form when an
// entry of the older form was converted.
//
// The remote browser registers its implementation at start-up with
// FavouritesServiceSlot::Set. The default keeps the entries as given and converts none, so the
// stored favourites stay as they are.

#include <memory>
#include <string>
#include <utility>

#include "platform/runtime/service_slot.h"
#include "platform/values/value.h"

namespace browser {

class FavouritesService {
 public:
  virtual ~FavouritesService() = default;
  // Makes a favourite of one stored entry (as FavouriteCreateWithDictionary) and puts it
  // into the favourites table; answers true when the entry was of the older form and was
  // converted.
  virtual bool AddFavouriteFromPreference(const std::string& name, const values::Value& entry) = 0;
  // The whole table in its stored form ("Favouritesv2").
  virtual values::Dictionary CopyFavouritesPreferenceDictionary() = 0;
};

class DefaultFavouritesService : public FavouritesService {
 public:
  bool AddFavouriteFromPreference(const std::string& name, const values::Value& entry) override {
    entries_.insert_or_assign(name, entry);
    return false;
  }
  values::Dictionary CopyFavouritesPreferenceDictionary() override { return entries_; }

 private:
  values::Dictionary entries_;
};

using FavouritesServiceSlot = runtime::ServiceSlot<FavouritesService, DefaultFavouritesService>;

}  // namespace browser
