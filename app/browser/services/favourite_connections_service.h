#pragma once
// What scripts ask of the server favourites: list them, connect one, make one of a
// connected peer, remove one, and import another FTP program's shortcuts.
//
// The remote browser registers its implementation at start-up with
// FavouriteConnectionsServiceSlot::Set(). Until then a table in memory stands in: favourites
// made or removed by scripts are kept for the run, connecting one does nothing, and
// importing finds nothing.
//
// Main thread only.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/service_slot.h"

namespace browser {

struct FavouriteInfo {
  std::string name;
  std::string address;
  std::string user;
  std::string password;
  std::int32_t hostType = 0;  // 1 FTP, 2 Bonjour peer, 3 peer by address, 4 FTPS ...
  bool connected = false;
  std::optional<std::uint32_t> peerHostID;  // the connection of a peer favourite
  bool operator==(const FavouriteInfo&) const = default;
};

class FavouriteConnectionsService {
 public:
  virtual ~FavouriteConnectionsService() = default;
  // Every favourite, sorted by name.
  virtual std::vector<FavouriteInfo> CopySortedFavourites() = 0;
  virtual std::optional<FavouriteInfo> FindFavourite(const std::string& name) = 0;
  // Connects the favourite (silently: no alerts); false when none has that name.
  virtual bool ConnectFavourite(const std::string& name, bool silent) = 0;
  // Stores a new favourite and saves the favourites.
  virtual void AddFavourite(const FavouriteInfo& favourite) = 0;
  // False when none has that name.
  virtual bool RemoveFavourite(const std::string& name) = 0;
  // The number of favourites made from the shortcuts file; with showResult an alert says it.
  virtual int ImportFetchShortcuts(const std::string& path, bool showResult) = 0;

  // The base when free, else the base followed by " 1", " 2", ... the first free.
  std::string CopyUniqueFavouriteName(const std::string& base) {
    if (!FindFavourite(base)) return base;
    for (unsigned n = 1;; ++n) {
      std::string name = base + " " + std::to_string(n);
      if (!FindFavourite(name)) return name;
    }
  }
};

class InMemoryFavouriteConnections : public FavouriteConnectionsService {
 public:
  std::vector<FavouriteInfo> CopySortedFavourites() override {
    std::vector<FavouriteInfo> out;
    for (const auto& [name, f] : favourites_) out.push_back(f);
    return out;
  }
  std::optional<FavouriteInfo> FindFavourite(const std::string& name) override {
    auto it = favourites_.find(name);
    if (it == favourites_.end()) return std::nullopt;
    return it->second;
  }
  bool ConnectFavourite(const std::string& name, bool) override { return favourites_.contains(name); }
  void AddFavourite(const FavouriteInfo& favourite) override { favourites_[favourite.name] = favourite; }
  bool RemoveFavourite(const std::string& name) override { return favourites_.erase(name) > 0; }
  int ImportFetchShortcuts(const std::string&, bool) override { return 0; }

 private:
  std::map<std::string, FavouriteInfo> favourites_;
};

using FavouriteConnectionsServiceSlot =
    runtime::ServiceSlot<FavouriteConnectionsService, InMemoryFavouriteConnections>;

}  // namespace browser
