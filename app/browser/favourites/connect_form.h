#pragma once
// The connect dialog's form without its window: what a pre-filled location puts in the
// boxes, what a chosen favourite puts there, whether the boxes still hold that favourite,
// what "Add to My Servers" stores and what Connect connects to.
//
// Protocol tags: 1 copy reached by address, 2 FTP, 3 FTPS, 4 iDisk, 5 public iDisk,
// 6 WebDAV, 7 secure WebDAV. Host types: see remote_rows.h.
//
// A favourite's address holds server and path in one string ("server/pub" for FTP, the
// scheme kept for WebDAV, "member[-Public][/path]" for the online disk); the form splits
// it into the host box and the path box.

#include <cstdint>
#include <optional>
#include <string>

#include "app/browser/services/connect_dialog_hooks.h"

namespace browser {

class TRFavourite;

// What the boxes of the main form hold.
struct ConnectForm {
  int tag = 1;
  std::string host;
  std::string path;
  std::string user;
  std::string password;
  std::string localPath;
  bool operator==(const ConnectForm&) const = default;
};

// A favourite as the dialog's pop-up keeps it ("host", "hostType", "password", "user",
// "name", "localPath").
struct ConnectFavourite {
  std::string name;
  std::string host;
  std::int32_t hostType = 0;
  std::string user;
  std::string password;
  std::string localPath;
  bool operator==(const ConnectFavourite&) const = default;
};
ConnectFavourite ConnectFavouriteFor(const TRFavourite& favourite);

// The tag, host box and path box for a location handed to the dialog: "ftp://",
// "ftps://", "http://", "https://" (tags 2, 3, 6, 7), "idisk://member[-Public][/path]"
// (4, or 5 without the suffix and without a path), anything else the host of tag 1.
ConnectForm ParseConnectPreFill(const std::string& preFill);

// The main form for a chosen favourite (user, password and local folder included; no user
// for the online disk).
ConnectForm ConnectFormForFavourite(const ConnectFavourite& favourite);

// True when the main form still holds the favourite: local folder, host, user (except for
// the online disk), password and path as the favourite has them; an empty path box stands
// for the favourite's "/". Host, user and path boxes are compared trimmed.
bool MatchesFavourite(const ConnectForm& form, const ConnectFavourite& favourite);

// What saving the main form stores: the favourite's address, user and host type.
struct StoredFavouriteAddress {
  std::string address;
  std::string user;
  std::int32_t hostType = 0;
  bool operator==(const StoredFavouriteAddress&) const = default;
};
StoredFavouriteAddress StoredAddressForConnectForm(const ConnectForm& form);

// What Connect connects to. `host` is, by tag: 1 the peer's address with its port (":2550"
// when it had none); 2 and 3 "ftp://" or "ftps://" + server + path; 4 the member name;
// 5 the member name + "-Public"; 6 and 7 the server. `path` starts with "/". Nothing when
// the host box holds only blanks.
struct ConnectRequest {
  int tag = 1;
  std::string host;
  std::string user;
  std::string password;
  std::string path;
  bool operator==(const ConnectRequest&) const = default;
};
std::optional<ConnectRequest> ConnectRequestForForm(const ConnectForm& form);

// The dialog on an upload's destination (host type, host, remote folder, login): a location
// with the type's scheme (the host's own scheme kept), the online disk by its remote folder
// with the password only, a copy of the program by its address without the file server's
// ":2551".
ConnectDialogRequest ConnectDialogRequestForUpload(std::int32_t hostType, const std::string& host,
                                                   const std::string& uploadPath, const std::string& user,
                                                   const std::string& password);

// The text without blanks and line ends at either end.
std::string TrimConnectField(const std::string& text);
// True when the text holds a character that is not a blank or a line end.
bool HasConnectText(const std::string& text);

}  // namespace browser
