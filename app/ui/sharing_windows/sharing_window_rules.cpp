#include "app/ui/sharing_windows/sharing_window_rules.h"

#include <algorithm>
#include <cstdio>

#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

void SetMember(std::vector<std::uint32_t>& list, std::uint32_t uid, bool on) {
  auto at = std::lower_bound(list.begin(), list.end(), uid);
  const bool present = at != list.end() && *at == uid;
  if (on && !present) list.insert(at, uid);
  if (!on && present) list.erase(at);
}

bool Contains(const std::vector<std::uint32_t>& list, std::uint32_t uid) {
  return std::find(list.begin(), list.end(), uid) != list.end();
}

}  // namespace

std::string PeerAddressFromTyped(const std::string& typed) {
  if (typed.find(':') != std::string::npos) return typed;
  return typed + ":2550";
}

std::string PeerUserFromTyped(const std::string& typed) {
  if (typed.empty() || typed == "guest") return std::string(util::kGuestUserName);
  return typed;
}

std::optional<std::string> RequestFavouriteName(const std::optional<PeerFavouriteFields>& favourite,
                                                const PeerConnectEntry& entry) {
  if (!favourite) return std::nullopt;
  const PeerFavouriteFields& f = *favourite;
  if (f.hostType != 2 && f.hostType != 3) return f.name;
  const bool samePlace = f.hostType == 3 ? entry.address == f.address : entry.bonjourKey == f.address;
  if (samePlace && entry.user == f.user && entry.password == f.password) return f.name;
  return std::nullopt;
}

std::optional<std::string> ConnectionStepText(std::int64_t step) {
  switch (step) {
    case 1:
      return values::Localized("Connecting...");
    case 2:
      return values::Localized("Authenticating...");
    case 3:
      return values::Localized("Receiving Folder list...");
    case 4:
      return values::Localized("Receiving Item list...");
    default:
      return std::nullopt;
  }
}

ConnectionOutcome ConnectionOutcomeForResult(std::int64_t result, bool silent, const std::string& peerName) {
  ConnectionOutcome o;
  switch (result) {
    case -5:
      o.success = true;
      return o;
    case -4:
      o.removeRecord = true;
      o.markFavouriteDisconnected = true;
      o.closeBonjourContainer = true;
      return o;
    case -3:
      o.reopenLogin = true;
      o.releaseRequest = false;
      return o;
    default:
      break;
  }
  // Every failure tidies up the same way; -2 says nothing.
  o.removeRecord = true;
  o.markFavouriteDisconnected = true;
  o.closeBonjourContainer = true;
  if (silent || result == -2) return o;
  if (result == -6) {
    o.alert = values::Format(values::Localized("Truvane is unable to establish a secure connection to %@. "
                                               "Check that it is running Truvane 4 or higher"),
                             {peerName});
  } else {
    o.alert =
        values::Format(values::Localized("Truvane is unable to connect to %@. The remote machine may be "
                                         "offline, or Truvane may not be currently running on it.\r"
                                         "Error : %@"),
                       {peerName, result});
  }
  return o;
}

FolderSharingRows::FolderSharingRows(std::uint32_t folderUID, const util::SharingUsersTable& users)
    : uid_(folderUID) {
  for (const auto& [name, user] : users)
    rows_.push_back({name, Contains(user.viewUIDs, uid_), Contains(user.downloadUIDs, uid_)});
}

void FolderSharingRows::SetView(std::size_t row, bool on) {
  if (row >= rows_.size()) return;
  rows_[row].view = on;
  if (!on) rows_[row].download = false;
}

void FolderSharingRows::SetDownload(std::size_t row, bool on) {
  if (row >= rows_.size()) return;
  rows_[row].download = on;
  if (on) rows_[row].view = true;
}

void FolderSharingRows::SelectAll() {
  for (auto& r : rows_) r.view = r.download = true;
}

void FolderSharingRows::SelectNone() {
  for (auto& r : rows_) r.view = r.download = false;
}

bool FolderSharingRows::CanConfirm() const {
  return std::any_of(rows_.begin(), rows_.end(),
                     [](const FolderSharingRow& r) { return r.view || r.download; });
}

void FolderSharingRows::ApplyTo(util::SharingUsersTable& users) const {
  for (const auto& row : rows_) {
    auto it = users.find(row.user);
    if (it == users.end()) continue;
    util::SharingUserRecord& user = it->second;
    std::sort(user.viewUIDs.begin(), user.viewUIDs.end());
    std::sort(user.downloadUIDs.begin(), user.downloadUIDs.end());
    SetMember(user.viewUIDs, uid_, row.view);
    SetMember(user.downloadUIDs, uid_, row.download);
  }
}

std::string ActivityRate::Add(std::int32_t bytes) {
  std::rotate(counts_.begin(), counts_.begin() + 1, counts_.end());
  counts_.back() = bytes;
  double sum = 0;
  for (std::int32_t c : counts_) sum += c;
  char text[64];
  std::snprintf(text, sizeof text, "%.1f KB/s", sum / 5 / 1024);
  return text;
}

}  // namespace ui
