#pragma once
// The edit sheet of a favourite, without its window: the form it shows for a favourite, how
// the form looks for each protocol, and what OK does with the form. The window (in the main
// window's code) shows a FavouriteEditForm, calls AdjustForProtocolTag when the protocol
// pop-up changes and ApplyFavouriteEdit on OK.
//
// Protocol tags: 1 copy reached by address, 2 FTP, 3 FTPS, 4 iDisk, 5 public iDisk,
// 6 WebDAV, 7 secure WebDAV.

#include <cstdint>
#include <optional>
#include <string>

#include "app/browser/favourites/favourites.h"

namespace browser {

struct FavouriteEditForm {
  int tag = 1;
  std::string name;
  std::string host;
  std::string path;
  std::string user;
  std::string password;
  std::string localPath;
  bool operator==(const FavouriteEditForm&) const = default;
};

// How the sheet looks for a protocol tag; nothing for tags outside 1-7.
struct ProtocolLayout {
  std::string serverLabel;  // "Server:" or "iDisk Name:"
  bool userEnabled = true;
  bool userEmptied = false;
  bool passwordEnabled = true;
  bool passwordEmptied = false;
  bool pathEnabled = true;
  bool pathEmptied = false;
  bool userLabelDimmed = false;
  bool pathLabelDimmed = false;
  std::string image;
  bool operator==(const ProtocolLayout&) const = default;
};
std::optional<ProtocolLayout> AdjustForProtocolTag(int tag);

// The form for a favourite (awakeFromNib).
FavouriteEditForm FavouriteEditFormFor(const TRFavourite& favourite);

// OK: false (and nothing changes) when the new name belongs to another favourite.
// Otherwise renames (the open connection follows), sets address, host type, user,
// password and local path from the form, and writes the favourites.
bool ApplyFavouriteEdit(const FavouriteRef& favourite, FavouriteEditForm form);

}  // namespace browser
