#pragma once
// Stand-ins for what the scripting suite and the when-done check ask of the other
// subsystems: peers (a table the test fills), uploads (recorded hand-offs and a settable
// count of running uploads) and the application's windows (recorded; the save dialog and
// the modifier key play the user).

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/sharing/services/peer_hosts_service.h"
#include "app/ui/services/application_windows_service.h"
#include "app/upload/services/upload_handoff_service.h"

class FakePeerHosts : public sharing::PeerHostsService {
 public:
  std::vector<sharing::PeerHost> hosts;
  std::vector<std::string> connects;  // "address user password"
  std::vector<std::uint32_t> refreshed, disconnected;
  std::int32_t runningUploadServers = 0;

  std::vector<sharing::PeerHost> CopyPeerHosts() override { return hosts; }
  std::optional<sharing::PeerHost> CopyPeerHost(std::uint32_t id) override {
    for (const auto& h : hosts) {
      if (h.hostID == id) return h;
    }
    return std::nullopt;
  }
  std::int32_t ConnectToSharingPeerSilently(const std::string& address, const std::string& user,
                                            const std::string& password) override {
    connects.push_back(address + " " + user + " " + password);
    return -1;  // whatever the outcome, the reply says the connection was started
  }
  bool RefreshSharingHost(std::uint32_t id) override {
    refreshed.push_back(id);
    return CopyPeerHost(id).has_value();
  }
  bool DisconnectPeer(std::uint32_t id) override {
    disconnected.push_back(id);
    return CopyPeerHost(id).has_value();
  }
  void SetFavouriteName(std::uint32_t id, const std::string& name) override {
    for (auto& h : hosts) {
      if (h.hostID == id) h.favouriteName = name;
    }
  }
  std::int32_t RunningUploadServers() override { return runningUploadServers; }
};

class FakeUploadHandoff : public upload::UploadHandoffService {
 public:
  std::vector<std::string> enqueued;
  std::int32_t activeUploads = 0;
  bool EnqueueRapidShareFile(const std::string& path) override {
    enqueued.push_back(path);
    return true;
  }
  std::int32_t CountActiveUploads() override { return activeUploads; }
};

class FakeApplicationWindows : public ui::ApplicationWindowsService {
 public:
  int reopens = 0, broughtToFront = 0;
  bool optionKey = false;
  std::vector<values::Array> addURLWindows;
  std::vector<std::string> saveDialogs;           // the suggested names
  std::vector<ui::SaveDialogAnswer> saveAnswers;  // played in order; none left: cancel
  std::optional<ui::RateHistoryFigures> rates;
  std::vector<std::string> removedFavouriteRows;

  void ReopenApplication() override { ++reopens; }
  void BringApplicationToFront() override { ++broughtToFront; }
  bool IsOptionKeyDown() override { return optionKey; }
  void ShowAddURLWindow(const values::Array& entries) override { addURLWindows.push_back(entries); }
  ui::SaveDialogAnswer RunSaveDialog(const std::string& suggested) override {
    saveDialogs.push_back(suggested);
    if (saveAnswers.empty()) return {ui::SaveDialogAnswer::Kind::kCancelled, {}, {}};
    auto answer = saveAnswers.front();
    saveAnswers.erase(saveAnswers.begin());
    return answer;
  }
  std::optional<ui::RateHistoryFigures> CopyRateHistory() override { return rates; }
  void RemoveFavouriteRow(const std::string& name) override { removedFavouriteRows.push_back(name); }
};
