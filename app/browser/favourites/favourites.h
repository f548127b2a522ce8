#pragma once
// Server favourites: a saved server (name, host type, address, user, password, local
// folder, connect-at-start mark), the store of all of them by name, their stored form and
// connecting one.
//
// Stored form: the preference "Favouritesv2", a dictionary name -> entry with "address",
// "user", "localPath", "hostType" (32-bit), "rendezvous" (type 2), "autoconnect", and
// "edata": the password enciphered by the stored-password cipher, whose key lives in the
// keychain. The password never stands in the preference in clear; without a key it is not
// written at all (and says so once on standard error). Read only: the legacy scrambled
// "data" (at most 127 bytes) and the older preference "Favourites".
//
// Main thread only.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/browser/services/remote_rows.h"
#include "platform/values/value.h"

namespace browser {

class TRFavourite : public FavouriteRow {
 public:
  // The designated initialiser: schemes cut from FTP addresses, ":2550" added to a peer's
  // address without a port, the anonymous login with the default password kept as none.
  TRFavourite(const std::optional<std::string>& name, const std::string& address, const std::string& user,
              const std::optional<std::string>& password, std::int32_t hostType,
              const std::string& localPath);
  // From a stored entry; `legacy` is set when the entry held the older "data".
  static std::shared_ptr<TRFavourite> FromDictionary(const std::string& name, const values::Value& entry,
                                                     bool* legacy = nullptr);

  // FavouriteRow
  std::string name() const override { return name_; }
  std::string address() const override { return address_; }
  bool connected() const override { return connected_; }
  std::int32_t hostType() const override { return hostType_; }
  bool publicIDisk() const override;
  std::optional<std::string> user() const override { return user_; }
  std::optional<std::string> iDiskMemberName() const override;
  bool autoConnect() const override { return autoconnect_; }

  const std::string& password() const { return password_; }
  const std::string& localPath() const { return localPath_; }
  std::optional<std::uint32_t> connectionID() const { return connectionID_; }
  // <0, 0, >0 by host-type rank (3, 2, 1/4, 5, 6/7), then name ignoring case.
  int compare(const TRFavourite& other) const;
  // The stored entry.
  values::Dictionary StoredEntry() const;

  void setName(std::string v) { name_ = std::move(v); }
  void setAddress(std::string v) { address_ = std::move(v); }
  void setUser(std::string v) { user_ = std::move(v); }
  void setPassword(std::string v) {
    password_ = std::move(v);
    keptEdata_.reset();
  }
  void setLocalPath(std::string v) { localPath_ = std::move(v); }
  void setAutoconnect(bool v) { autoconnect_ = v; }
  void setHostType(std::int32_t v) { hostType_ = v; }
  void setConnected(bool v) { connected_ = v; }
  void setConnectionID(std::optional<std::uint32_t> id) { connectionID_ = id; }

 private:
  TRFavourite() = default;
  std::int32_t hostType_ = 0;
  std::string address_, name_, user_, password_, localPath_;
  // "edata" as stored when this run cannot decipher it (its key out of reach): written
  // back as it was until a password is given again.
  std::optional<values::Bytes> keptEdata_;
  bool autoconnect_ = false;
  bool connected_ = false;
  std::optional<std::uint32_t> connectionID_;
};
using FavouriteRef = std::shared_ptr<TRFavourite>;

FavouriteRef FavouriteFindByName(const std::string& name);
void SetFavouriteForName(const FavouriteRef& favourite, const std::string& name);
// Unlinks a connected favourite's connection first; does not save.
void RemoveFavouriteForName(const std::string& name);
std::vector<FavouriteRef> CopySortedFavourites();
std::vector<FavouriteRef> CopyFavouritesInStore();
std::string CopyUniqueFavouriteName(const std::string& base);
// Stores a new favourite and writes "Favouritesv2".
FavouriteRef AddFavourite(const std::string& name, const std::string& address, const std::string& user,
                          const std::string& password, std::int32_t hostType, const std::string& localPath);
// Gives the favourite a new name in the store and on its open connection.
bool RenameFavourite(const FavouriteRef& favourite, const std::string& name);

// Loading: one stored entry into the store; true when it was of the legacy form.
bool AddFavouriteFromPreference(const std::string& name, const values::Value& entry);
// The stored form of the whole store; clears the changed flag.
values::Dictionary CopyFavouritesPreferenceDictionary();
// Writes "Favouritesv2" now.
void SaveFavourites();
void MarkFavouritesChanged();
bool FavouritesChanged();

// A copy under the next free name: "N copy", then "N copy 1", ...; a name that already
// ends in " copy" goes on with " 1", " 2", ... (duplicate).
FavouriteRef FavouriteDuplicate(const FavouriteRef& favourite);
// The name of a favourite whose address, user and password all match (a favourite without
// password never does); a user "" or "guest" is looked for as "Guest".
std::optional<std::string> FindFavouriteNameForLogin(const std::string& address, const std::string& user,
                                                     const std::string& password);
// The name of a favourite of that host type and address whose user matches and whose
// password, when it has one, matches.
std::optional<std::string> FindFavouriteNameForHost(const std::string& address, const std::string& user,
                                                    const std::string& password, std::int32_t hostType);

// Connects it (connectWithSilence:); false when it cannot be connected here.
bool FavouriteConnect(const FavouriteRef& favourite, bool silent);
// Every favourite marked to connect at start, silently.
void ConnectAutoconnectFavourites();
void FavouriteMarkConnected(const std::string& name, std::uint32_t connectionID);
void FavouriteMarkDisconnected(const std::string& name);

// The legacy password scrambling (byte i XOR (23 + 17 i) mod 127), both ways.
std::string UnscrambleLegacyPassword(const values::Bytes& data);

// Tests: empties the store.
void ClearFavourites();

}  // namespace browser
