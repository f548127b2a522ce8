// The events about sharing peers, server favourites, local folders and the transfer rate.

#include "app/browser/services/favourite_connections_service.h"
#include "app/queue/adding/add_download.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/folders/view_ids.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/record/queue_tables.h"
#include "app/sharing/services/peer_hosts_service.h"
#include "app/shell/scripting_suite_internal.h"
#include "app/ui/services/application_windows_service.h"
#include "app/util/text/url_utilities.h"
#include "platform/values/format.h"
#include "platform/values/url.h"

namespace shell::scripting {
namespace {

using appleevents::AppleEvent;
using appleevents::Descriptor;
using appleevents::Status;
using values::FourCC;

// The longest "host:port" a connection is started for.
constexpr std::size_t kMaxPeerAddressLength = 300;
// Bit 1 of a download's flags, handed to its task: the download fetches a peer's item.
constexpr std::int16_t kPeerItemFlag = 2;
constexpr std::uint32_t kFirstListedFolderUID = 0x100000;

constexpr const char kNoHostForUID[] = "No host found for the UID supplied";
constexpr const char kNoHostForHostID[] = "No host found for the hostID supplied";
constexpr const char kNoFolderForUID[] = "No folder found for the UID supplied";

sharing::PeerHostsService& Peers() {
  return sharing::PeerHostsServiceSlot::Get();
}
browser::FavouriteConnectionsService& Favourites() {
  return browser::FavouriteConnectionsServiceSlot::Get();
}

std::string ItemLine(std::uint32_t hostID, std::uint32_t uid, const std::string& urls) {
  return values::Format("Host: %lu\t%lu\t%@\n",
                        {static_cast<unsigned long>(hostID), static_cast<unsigned long>(uid), urls});
}

std::string FolderLine(std::uint32_t hostID, std::uint32_t uid, const std::string& name) {
  return values::Format("Host: %lu\tid:%lu\t%@\n",
                        {static_cast<unsigned long>(hostID), static_cast<unsigned long>(uid), name});
}

std::string URLsOf(const values::Array& urlData) {
  queue::DownloadQueueElement e;
  e.urlData = urlData;
  return queue::CopyElementURLList(e);
}

std::string ItemLines(const sharing::SharedFolder& folder) {
  std::string text;
  for (const sharing::SharedItem& item : folder.items)
    text += ItemLine(item.hostID, item.uid, URLsOf(item.urlData));
  return text;
}

std::int32_t ResultCode(bool ok) {
  return ok ? 0 : -1;
}

// A peer's file-server URL for one of its items, with the peer's credentials escaped so
// that neither can end the user information or the host early.
std::optional<std::string> PeerItemURL(const sharing::PeerHost& host, std::uint32_t itemUID) {
  const std::string address =
      host.address.find(':') != std::string::npos ? "[" + host.address + "]" : host.address;
  const std::string plain =
      values::Format("http://%@:%d/%lu?dig", {address, host.port + 1, static_cast<unsigned long>(itemUID)});
  return util::CopyURLStringWithCredentials(plain, host.user, host.password);
}

}  // namespace

void InstallSharingHandlers(appleevents::HandlerTable& t) {
  auto on = [&t](values::FourCharCode id, appleevents::EventHandler h) {
    t.Install(kSuiteClass, id, std::move(h));
  };

  on(FourCC("LHos"), [](const AppleEvent&, AppleEvent& reply) -> Status {
    std::string text;
    for (const sharing::PeerHost& h : Peers().CopyPeerHosts()) {
      text += "hostID = " + std::to_string(h.hostID) + ", ";
      if (!h.displayName.empty()) text += h.displayName + " @ ";
      text += h.address + ":" + std::to_string(h.port) + ", logged in as: " + h.user + "\r";
    }
    Reply(reply, Descriptor::Text(text));
    return appleevents::kNoErr;
  });
  on(FourCC("CHos"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto address = TextParam(event, kDirect);
    if (!address || address->empty() || address->size() > kMaxPeerAddressLength) {
      Reply(reply, Descriptor::SInt32(-1));
      return appleevents::kNoErr;
    }
    Peers().ConnectToSharingPeerSilently(*address, TextParam(event, FourCC("User")).value_or(""),
                                         TextParam(event, FourCC("Pass")).value_or(""));
    Reply(reply, Descriptor::SInt32(0));
    return appleevents::kNoErr;
  });
  on(FourCC("CFav"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto name = TextParam(event, kDirect);
    Reply(reply, Descriptor::SInt32(ResultCode(name && Favourites().ConnectFavourite(*name, true))));
    return appleevents::kNoErr;
  });
  on(FourCC("DFav"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto id = UInt32Param(event, kDirect);
    Reply(reply, Descriptor::SInt32(ResultCode(id && Peers().DisconnectPeer(*id))));
    return appleevents::kNoErr;
  });
  on(FourCC("AdFv"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto id = UInt32Param(event, kDirect);
    std::optional<sharing::PeerHost> host = id ? Peers().CopyPeerHost(*id) : std::nullopt;
    if (host && !host->favouriteName) {
      browser::FavouriteInfo f;
      f.address = host->bonjourName ? *host->bonjourName : host->address + ":" + std::to_string(host->port);
      f.name =
          Favourites().CopyUniqueFavouriteName(host->displayName.empty() ? f.address : host->displayName);
      f.user = host->user;
      f.password = host->password;
      f.hostType = host->bonjourName ? 2 : 3;
      f.connected = true;
      f.peerHostID = host->hostID;
      Favourites().AddFavourite(f);
      Peers().SetFavouriteName(host->hostID, f.name);
    }
    Reply(reply, Descriptor::SInt32(ResultCode(host.has_value())));
    return appleevents::kNoErr;
  });
  on(FourCC("ReFv"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto name = TextParam(event, kDirect);
    std::int32_t result = -2;
    if (name) {
      result = -1;
      if (Favourites().FindFavourite(*name)) {
        if (queue::IsViewDisplayed(queue::kMyServersViewID)) {
          ui::ApplicationWindowsServiceSlot::Get().RemoveFavouriteRow(*name);
        }
        Favourites().RemoveFavourite(*name);
        result = 0;
      }
    }
    Reply(reply, Descriptor::SInt32(result));
    return appleevents::kNoErr;
  });
  on(FourCC("LiFv"), [](const AppleEvent&, AppleEvent& reply) -> Status {
    std::string text;
    for (const browser::FavouriteInfo& f : Favourites().CopySortedFavourites()) {
      text += values::Format(f.connected ? "Name: %-20@\tHost:%-20@\tUser:%-20@\tConnected:Yes\n"
                                         : "Name: %-20@\tHost:%-20@\tUser:%-20@\tConnected:No\n",
                             {f.name, f.address, f.user});
    }
    Reply(reply, Descriptor::Text(text));
    return appleevents::kNoErr;
  });
  on(FourCC("LCRL"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto itemUID = UInt32Param(event, kDirect);
    auto hostID = UInt32Param(event, FourCC("Host"));
    queue::DownloadUID added = 0;
    std::optional<sharing::PeerHost> host = hostID ? Peers().CopyPeerHost(*hostID) : std::nullopt;
    if (host && itemUID) {
      for (const sharing::SharedFolder& folder : host->folders) {
        for (const sharing::SharedItem& item : folder.items) {
          if (item.uid != *itemUID || added != 0) continue;
          queue::AddDownloadRequest r;
          r.urlEntries = item.urlData;
          r.connections = item.connections;
          r.useAuth = item.useAuth;
          r.user = item.authUser;
          r.password = item.authPassword;
          added = queue::AddDownload(r);
        }
      }
    }
    Reply(reply, Descriptor::Text(std::to_string(added)));
    return appleevents::kNoErr;
  });
  on(FourCC("LRQ "), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto id = UInt32Param(event, kDirect);
    std::optional<sharing::PeerHost> host = id ? Peers().CopyPeerHost(*id) : std::nullopt;
    std::string text = kNoHostForUID;
    if (host) {
      text.clear();
      for (const sharing::SharedFolder& folder : host->folders) {
        if (folder.hasItems) text += ItemLines(folder);
      }
    }
    Reply(reply, Descriptor::Text(text));
    return appleevents::kNoErr;
  });
  on(FourCC("LRFC"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto hostID = UInt32Param(event, FourCC("Host"));
    auto folderUID = UInt32Param(event, kDirect);
    std::optional<sharing::PeerHost> host = hostID ? Peers().CopyPeerHost(*hostID) : std::nullopt;
    std::string text = kNoHostForUID;
    if (host) {
      text = kNoFolderForUID;
      for (const sharing::SharedFolder& folder : host->folders) {
        if (folderUID && folder.uid == *folderUID) text = ItemLines(folder);
      }
    }
    Reply(reply, Descriptor::Text(text));
    return appleevents::kNoErr;
  });
  on(FourCC("LRem"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto id = UInt32Param(event, kDirect);
    std::optional<sharing::PeerHost> host = id ? Peers().CopyPeerHost(*id) : std::nullopt;
    std::string text = kNoHostForHostID;
    if (host) {
      text = "Shared folders on host:\n";
      for (const sharing::SharedFolder& folder : host->folders) {
        if (folder.uid >= kFirstListedFolderUID) text += FolderLine(folder.hostID, folder.uid, folder.name);
      }
    }
    Reply(reply, Descriptor::Text(text));
    return appleevents::kNoErr;
  });
  on(FourCC("LFoc"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto uid = UInt32Param(event, kDirect);
    std::string text;
    if (uid) {
      queue::FolderRef folder;
      {
        std::lock_guard lock(queue::gFoldersLock);
        auto it = queue::gFolders.find(*uid);
        if (it != queue::gFolders.end()) folder = it->second;
      }
      if (folder && folder->HasItems()) {
        for (const auto& [itemUID, w] : folder->Items()) {
          text += values::Format(
              "%lu\t%@\n", {static_cast<unsigned long>(itemUID), queue::CopyElementURLList(w->element())});
        }
      }
    }
    Reply(reply, Descriptor::Text(text));
    return appleevents::kNoErr;
  });
  on(FourCC("DDL "), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto hostID = UInt32Param(event, kDirect);
    auto itemUID = UInt32Param(event, FourCC("UID "));
    queue::DownloadUID added = 0;
    std::optional<sharing::PeerHost> host = hostID ? Peers().CopyPeerHost(*hostID) : std::nullopt;
    if (host && itemUID) {
      if (auto url = PeerItemURL(*host, *itemUID); url && values::Url::Create(*url)) {
        queue::AddDownloadRequest r;
        r.urlEntries = {values::Value(values::Dictionary{{"url", *url}})};
        r.connections = 1;
        added = queue::AddDownload(r);
        if (auto w = queue::LookUpDownloadWrapper(added)) w->element().flags |= kPeerItemFlag;
      }
    }
    Reply(reply, Descriptor::UInt32(added));
    return appleevents::kNoErr;
  });
  on(FourCC("LFol"), [](const AppleEvent&, AppleEvent& reply) -> Status {
    std::string text;
    {
      std::lock_guard lock(queue::gFoldersLock);
      for (const auto& [uid, folder] : queue::gFolders) {
        if (uid >= kFirstListedFolderUID) text += FolderLine(folder->hostID(), uid, folder->name());
      }
    }
    Reply(reply, Descriptor::Text(text));
    return appleevents::kNoErr;
  });
  on(FourCC("RrfH"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto id = UInt32Param(event, kDirect);
    Reply(reply, Descriptor::SInt32(ResultCode(id && Peers().RefreshSharingHost(*id))));
    return appleevents::kNoErr;
  });
  on(FourCC("BWSt"), [](const AppleEvent&, AppleEvent& reply) -> Status {
    auto rates = ui::ApplicationWindowsServiceSlot::Get().CopyRateHistory();
    std::string text = "No monitoring data available\n";
    if (rates) {
      text = values::Format(
          "1 second average: %.1f, 5 minute average: %.1lf, 15 minute average: %.1lf",
          {rates->oneSecond / 1024.0, rates->fiveMinutes / 1024.0, rates->fifteenMinutes / 1024.0});
    }
    Reply(reply, Descriptor::Text(text));
    return appleevents::kNoErr;
  });
}

}  // namespace shell::scripting
