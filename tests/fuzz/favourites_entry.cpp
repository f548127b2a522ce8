// Stored favourites as the preferences file gives them: any property list, its entries
// loaded into the favourites and written back. Nothing may crash, and an entry written
// back loads as the same favourite.

#include "app/browser/favourites/favourites.h"
#include "platform/values/plist.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto value = values::ReadPropertyList(values::Bytes(data, data + size));
  if (!value.ok() || !value->AsDictionary()) return 0;
  browser::ClearFavourites();
  for (const auto& [name, entry] : *value->AsDictionary()) browser::AddFavouriteFromPreference(name, entry);
  const values::Dictionary stored = browser::CopyFavouritesPreferenceDictionary();
  browser::ClearFavourites();
  for (const auto& [name, entry] : stored) browser::AddFavouriteFromPreference(name, entry);
  TRUVANE_FUZZ_CHECK(browser::CopyFavouritesPreferenceDictionary() == stored);
  browser::ClearFavourites();
  return 0;
}
