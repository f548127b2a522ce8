#pragma once
// What the undo manager asks of the server favourites to take back adding or removing
// one. A favourite is handed around as an opaque shared handle that the remote browser
// made; the undo manager only keeps it alive and passes it back.
//
// The remote browser registers its implementation at start-up with
// FavouriteUndoServiceSlot::Set(). Until then the default knows no favourite and does nothing.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "platform/runtime/service_slot.h"

namespace browser {

using FavouriteHandle = std::shared_ptr<void>;

class FavouriteUndoService {
 public:
  virtual ~FavouriteUndoService() = default;
  // The id of the connection the favourite is attached to (the FTP host id for types 1
  // and 4, the peer host's id for 2 and 3, the connection's host id for 5 to 7); nothing
  // when it is not connected or its host type is 8 or more.
  virtual std::optional<std::uint64_t> ConnectionIdentifier(const FavouriteHandle& favourite) = 0;
  // Removes the favourite by its name.
  virtual void RemoveFavourite(const FavouriteHandle& favourite) = 0;
  // Stores the favourite under its name again, its connection cleared and then attached
  // again to the connection of that id when it still exists and has no favourite;
  // otherwise it is marked not connected.
  virtual void RestoreFavourite(const FavouriteHandle& favourite,
                                std::optional<std::uint64_t> connection) = 0;
  // The favourite's row in My Servers.
  virtual void AddFavouriteRow(const FavouriteHandle& favourite, bool select) = 0;
  virtual void RemoveFavouriteRow(const FavouriteHandle& favourite) = 0;
  virtual void MarkFavouritesChanged() = 0;
};

class NoFavouriteUndoService : public FavouriteUndoService {
 public:
  std::optional<std::uint64_t> ConnectionIdentifier(const FavouriteHandle&) override { return std::nullopt; }
  void RemoveFavourite(const FavouriteHandle&) override {}
  void RestoreFavourite(const FavouriteHandle&, std::optional<std::uint64_t>) override {}
  void AddFavouriteRow(const FavouriteHandle&, bool) override {}
  void RemoveFavouriteRow(const FavouriteHandle&) override {}
  void MarkFavouritesChanged() override {}
};

using FavouriteUndoServiceSlot = runtime::ServiceSlot<FavouriteUndoService, NoFavouriteUndoService>;

}  // namespace browser
