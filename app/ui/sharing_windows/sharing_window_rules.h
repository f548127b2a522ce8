#pragma once
// What the sharing windows decide, without a window: the address and user a person typed
// for a connection to another copy, whether the connection keeps the favourite picked in
// the pop-up, what each result of a connection does, the check rules of the folder-sharing
// sheet and the mean rate of the server activity window.
//
// The windows (peer_connect_window.h, folder_sharing_sheet.h, the activity window) only
// read controls into these and show what they answer, so every rule is tested headless.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/util/settings/sharing_users.h"

namespace ui {

// The address typed into the connect window: ":2550" (the default share port) appended when
// it names no port.
std::string PeerAddressFromTyped(const std::string& typed);
// The user typed: "" and "guest" log in as "Guest".
std::string PeerUserFromTyped(const std::string& typed);

// The entered connection and the favourite chosen in the pop-up.
struct PeerConnectEntry {
  std::string address;
  std::string user;
  std::string password;
  std::optional<std::string> bonjourKey;
};
struct PeerFavouriteFields {
  std::string name;
  std::string address;
  std::string user;
  std::string password;
  std::int32_t hostType = 0;
};
// The favourite the connection belongs to: a favourite of a copy (types 2 and 3) only when
// the entry still says what it stores (type 3 the address, type 2 the Bonjour key; both the
// user and the password); any other favourite always.
std::optional<std::string> RequestFavouriteName(const std::optional<PeerFavouriteFields>& favourite,
                                                const PeerConnectEntry& entry);

// The progress sheet's text for a step (1 to 4); nothing for another value.
std::optional<std::string> ConnectionStepText(std::int64_t step);

// What the main thread does with the last event of a connection.
struct ConnectionOutcome {
  bool success = false;       // -5: the lock icon when enciphered, the request freed
  bool reopenLogin = false;   // -3: the login window again, the request lives on
  bool removeRecord = false;  // the peer's record and its rows go
  bool markFavouriteDisconnected = false;
  bool closeBonjourContainer = false;
  bool releaseRequest = true;
  std::optional<std::string> alert;  // shown unless the connection is silent
};
// `peerName`: the Bonjour name of the peer, else its address.
ConnectionOutcome ConnectionOutcomeForResult(std::int64_t result, bool silent, const std::string& peerName);

// One sharing user's row in the folder-sharing sheet.
struct FolderSharingRow {
  std::string user;
  bool view = false;
  bool download = false;
};

// The folder-sharing sheet's rows and rules: download implies view, clearing view clears
// download, and the sheet can be confirmed only while some row has a check.
class FolderSharingRows {
 public:
  FolderSharingRows(std::uint32_t folderUID, const util::SharingUsersTable& users);

  const std::vector<FolderSharingRow>& rows() const { return rows_; }
  std::uint32_t folderUID() const { return uid_; }
  void SetView(std::size_t row, bool on);
  void SetDownload(std::size_t row, bool on);
  void SelectAll();
  void SelectNone();
  bool CanConfirm() const;
  // Puts the rows into the users' lists (each kept ascending, without duplicates); users
  // not in the sheet are left as they are.
  void ApplyTo(util::SharingUsersTable& users) const;

 private:
  std::uint32_t uid_;
  std::vector<FolderSharingRow> rows_;
};

// The last five one-second byte counts of the file server and their mean.
class ActivityRate {
 public:
  // Shifts the counts by one and adds the new one; the mean as "%.1f KB/s".
  std::string Add(std::int32_t bytes);
  const std::array<std::int32_t, 5>& counts() const { return counts_; }
  void set_counts(const std::array<std::int32_t, 5>& counts) { counts_ = counts; }

 private:
  std::array<std::int32_t, 5> counts_{};
};

}  // namespace ui
