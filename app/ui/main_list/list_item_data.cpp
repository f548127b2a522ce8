#include "app/ui/main_list/list_item_data.h"

#include <cmath>
#include <limits>
#include <map>
#include <optional>

#include "app/browser/services/remote_rows.h"
#include "app/engine/urls/sensitive_servers.h"
#include "app/queue/folders/tr_folder.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/services/history_filter_rows.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/services/main_list_services.h"
#include "app/ui/services/ui_services.h"
#include "app/upload/services/upload_rows.h"
#include "app/util/text/byte_count.h"
#include "platform/runtime/main_thread.h"
#include "platform/toolbox/theme/icons.h"
#include "platform/values/clock.h"
#include "platform/values/date_format.h"
#include "platform/values/date_time.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/url.h"
#include "platform/values/url_escape.h"

namespace ui {

bool gRenameRequested = false;

namespace {

using toolbox::ListItemData;
using toolbox::Status;
constexpr Status kListOk = toolbox::kListNoErr;
constexpr Status kListNotSupported = toolbox::kListPropertyNotSupported;

constexpr values::FourCharCode kCreator = values::FourCC("Truv");
constexpr values::FourCharCode kFolderIcon = values::FourCCFromBytes('\xC4', 'o', 'l', 'D');
constexpr values::FourCharCode kSmartFolderIcon = values::FourCCFromBytes('S', 'm', '\xC4', 'o');
constexpr values::FourCharCode kRemoteRootIcon = values::FourCC("RmRo");
constexpr std::uint32_t kSecondsFrom1904To2001 = 3061152000u;
constexpr std::uint32_t kFirstFTPConnectionID = 0x80000000u;
constexpr std::uint32_t kLastFTPConnectionID = 0xBFFFFFFEu;
constexpr float kSpeedThreshold = 0.2f;  // KB/s; at or below it no estimate is made

std::string Str(const char* key) {
  return values::Localized(key);
}

std::string Extension(const std::string& name) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return {};
  return name.substr(dot + 1);
}

// File icons by extension, made once per extension: the list asks for them at every draw.
toolbox::Image FileIcon(const std::string& name) {
  static std::map<std::string, toolbox::Image> cache;
  const std::string ext = Extension(name);
  auto it = cache.find(ext);
  if (it == cache.end()) it = cache.emplace(ext, toolbox::IconForFileExtension(ext, 16)).first;
  return it->second;
}

toolbox::Image AppIcon(values::FourCharCode type) {
  if (auto icon = toolbox::FindIcon(kCreator, type)) return *icon;
  static const toolbox::Image folder = toolbox::IconForFolder(16);
  return folder;
}

bool IsFTPConnectionID(std::uint32_t hostID) {
  return hostID >= kFirstFTPConnectionID && hostID <= kLastFTPConnectionID;
}
bool IsRemoteFile(std::uint32_t hostID) {
  return static_cast<std::int32_t>(hostID) < 0;
}

// A one-shot editable answer: true once when the rename was asked for.
bool TakeRename() {
  const bool requested = gRenameRequested;
  gRenameRequested = false;
  return requested;
}

std::string PercentText(const queue::DownloadQueueElement& e) {
  if (e.fileSize <= 0) return {};
  if (e.progress == e.fileSize) return "100%";
  return values::Format("%.2f%%",
                        {static_cast<double>(e.progress) * 100.0 / static_cast<double>(e.fileSize)});
}

// The queue check box's deferred work: the list must not change from inside its callback.
void ToggleQueuedLater(const queue::WrapperRef& wrapper) {
  runtime::PerformOnMainThread([wrapper] {
    const auto status = wrapper->status();
    if (status & (queue::kRunningMask | queue::kStatusVerifying)) return;
    if (status == queue::kStatusQueued)
      queue::PutElementOnHold(wrapper);
    else
      queue::EnqueueElement(wrapper);
    queue::MarkQueueDirty();
    auto& list = MainListServicesSlot::Get();
    list.RefreshCommandState();
    list.UpdateDownloadColumn(kColQueuePosition, {wrapper->uid()});
  });
}

Status DownloadData(const MainListItem& item, std::uint32_t property, ListItemData& data, bool set) {
  auto& w = item.as<queue::DownloadQueueWrapper>();
  queue::DownloadQueueElement& e = w.element();
  const bool running = (e.status & queue::kRunningMask) != 0;
  switch (property) {
    case kColName:
      if (set) {
        if (IsRemoteFile(e.hostID) && data.text())
          browser::RemoteRowsServiceSlot::Get().FTPFileItemRename(item.record, *data.text());
        return kListOk;
      }
      data.SetText(e.filename);
      data.SetIcon(FileIcon(e.filename),
                   IsFTPConnectionID(e.hostID) && !e.filename.empty() && e.filename[0] == '.'
                       ? toolbox::kIconTransformDisabled
                       : toolbox::kIconTransformNone);
      return kListOk;
    case toolbox::kListPropertyEditable:
      data.SetBoolean(IsRemoteFile(e.hostID) && TakeRename());
      return kListOk;
    case kColSize: {
      const std::int64_t size = DownloadDisplaySize(e);
      data.SetText(size == 0 ? Str("Unknown") : DownloadSizeText(size));
      return kListOk;
    }
    case kColSpeed:
      if (e.status == queue::kStatusDownloading)
        data.SetText(values::Format("%.1f", {e.rate}));
      else if (e.status == queue::kStatusCompleted)
        data.SetText(values::Format("%.1f", {AverageSpeed(e)}));
      else
        data.SetText({});
      return kListOk;
    case kColEstimatedTime: {
      if (e.status != queue::kStatusDownloading) {
        data.SetText({});
        return kListOk;
      }
      std::int64_t t = 0;
      data.SetText(RemainingSeconds(e, t) ? DurationText(t) : Str("Unknown"));
      return kListOk;
    }
    case kColConnections:
      if (running)
        data.SetText(values::Format("%d", {e.openConnections}));
      else if (engine::URLListHasSensitiveServer(e.urlData))
        data.SetText("1");
      else
        data.SetText(values::Format("%d", {e.connections}));
      return kListOk;
    case kColElapsedTime: {
      double t = std::trunc(e.duration);
      if (running) t = std::trunc(t + e.elapsed);
      data.SetText(DurationText(static_cast<std::int64_t>(t)));
      return kListOk;
    }
    case kColPercent:
      data.SetText(e.status == queue::kStatusCompleted ? std::string("100%") : PercentText(e));
      return kListOk;
    case kColStartDate:
      if (e.startDate > 0.1) data.SetDate(e.startDate);
      return kListOk;
    case kColEndDate:
    case kColReceivedDate:
    case kColDateModified:
      if (e.endDate > 0.1) data.SetDate(e.endDate);
      return kListOk;
    case kColDownloadCount:
      data.SetText(values::Format("%d", {e.downloadCount}));
      return kListOk;
    case kColURL:
      if (auto url = w.url()) data.SetText(*url);
      return kListOk;
    case kColPriority: {
      const values::FourCharCode icon = e.priority == 1   ? values::FourCC("PriL")
                                        : e.priority == 2 ? values::FourCC("PriH")
                                                          : values::FourCC("PriN");
      if (auto image = toolbox::FindIcon(kCreator, icon)) data.SetIcon(*image);
      return kListOk;
    }
    case kColOwner:
      if (w.owner()) data.SetText(*w.owner());
      return kListOk;
    case kColGroup:
      if (w.group()) data.SetText(*w.group());
      return kListOk;
    case kColKind:
      if (w.kind()) data.SetText(*w.kind());
      return kListOk;
    case kColPermissions:
      data.SetText(CopyPermissionsString(w.mode()));
      return kListOk;
    case kColPath:
      if (e.completeURL)
        data.SetText(values::PercentUnescape(e.completeURL->Path()).value_or(e.completeURL->Path()));
      return kListOk;
    case kColConnectedAs:
      if (IsFTPConnectionID(e.hostID))
        if (auto user = browser::RemoteRowsServiceSlot::Get().FTPConnectionUser(e.hostID))
          data.SetText(*user);
      return kListOk;
    case kColQueueCheck:
      if (set) {
        if (running)
          e.returnToQueue = !e.returnToQueue;
        else
          ToggleQueuedLater(w.shared_from_this());
        return kListOk;
      }
      data.SetCheckBox(e.status == queue::kStatusQueued || (running && e.returnToQueue));
      return kListOk;
    case kColQueuePosition:
      if (e.status == queue::kStatusQueued) data.SetText(values::Format("%d", {e.queuePosition}));
      return kListOk;
    default:
      return kListNotSupported;
  }
}

std::string EstimateText(std::int64_t fileSize, std::int64_t transferred, float speed) {
  if (!(speed > kSpeedThreshold)) return Str("Unknown");
  const double t = static_cast<double>(fileSize - transferred) / (static_cast<double>(speed) * 1024.0);
  return DurationText(static_cast<std::int64_t>(t));
}

Status UploadData(const MainListItem& item, std::uint32_t property, ListItemData& data) {
  const auto& u = item.as<upload::UploadRow>();
  switch (property) {
    case toolbox::kListPropertySelectable:
      data.SetBoolean(true);
      return kListOk;
    case kColName:
      data.SetText(u.fileName());
      data.SetIcon(FileIcon(u.fileName()));
      return kListOk;
    case kColSize:
      data.SetText(util::CopyByteCountString(u.fileSize()));
      return kListOk;
    case kColSpeed:
      data.SetText(u.speed() < 0 ? std::string() : values::Format("%.1f", {u.speed()}));
      return kListOk;
    case kColEstimatedTime:
      if (u.state() == upload::kUploadUploading)
        data.SetText(EstimateText(u.fileSize(), u.bytesTransferred(), u.speed()));
      return kListOk;
    case kColElapsedTime:
      data.SetText(DurationText(static_cast<std::int64_t>(std::trunc(u.totalElapsed()))));
      return kListOk;
    case kColStartDate:
      if (!std::isnan(u.startTime())) data.SetDate(u.startTime());
      return kListOk;
    case kColEndDate:
    case kColReceivedDate:
      if (!std::isnan(u.endTime())) data.SetDate(u.endTime());
      return kListOk;
    case kColPath:
      if (auto p = u.localPath()) data.SetText(*p);
      return kListOk;
    case kColUploadCount:
      data.SetText(values::Format("%d", {u.completionCount()}));
      return kListOk;
    case kColConnectedAs:
      if (auto user = u.user()) data.SetText(*user);
      return kListOk;
    case kColRemoteHost:
      if (u.hostType() != browser::kHostIDisk) {
        if (auto h = u.host()) data.SetText(*h);
      } else if (auto dest = u.destinationPath()) {
        // "/member/..." splits into "", "member", ...: the member is the second part.
        std::vector<std::string> parts;
        std::size_t start = 0;
        for (;;) {
          const auto slash = dest->find('/', start);
          parts.push_back(
              dest->substr(start, slash == std::string::npos ? std::string::npos : slash - start));
          if (slash == std::string::npos) break;
          start = slash + 1;
        }
        if (parts.size() > 1) data.SetText(values::Format(Str("%@'s iDisk"), {parts[1]}));
      }
      return kListOk;
    default:
      return kListNotSupported;
  }
}

Status ReceivedData(const MainListItem& item, std::uint32_t property, ListItemData& data) {
  const auto& r = item.as<sharing::ReceivedFileRow>();
  switch (property) {
    case kColName:
      if (auto n = r.name()) {
        data.SetText(*n);
        data.SetIcon(FileIcon(*n));
      }
      return kListOk;
    case kColSize:
      data.SetText(util::CopyByteCountString(r.fileSize()));
      return kListOk;
    case kColSpeed:
      data.SetText(r.speed() < 0 ? std::string() : values::Format("%.1f", {r.speed()}));
      return kListOk;
    case kColEstimatedTime:
      if (r.status() == sharing::kReceivedFileReceiving)
        data.SetText(EstimateText(r.fileSize(), r.bytesTransferred(), r.speed()));
      return kListOk;
    case kColEndDate:
    case kColReceivedDate:
      if (r.status() == sharing::kReceivedFileReceived && !std::isnan(r.dateReceived()))
        data.SetDate(r.dateReceived());
      return kListOk;
    case kColRemoteHost:
      data.SetText(r.userAtHost());
      return kListOk;
    default:
      return kListNotSupported;
  }
}

Status ContainerAnswer(std::uint32_t property, ListItemData& data) {
  data.SetBoolean(true);
  return kListOk;
}

// The two rename refusals; the favourite keeps its name.
void FavouriteAlert(const char* key) {
  UiServicesSlot::Get().RunStandardAlert(AlertType::kNote, values::Localized(key), std::nullopt);
}

std::string UserOrGuest(const std::string& user) {
  return user.empty() ? Str("Guest") : user;
}

Status FavouriteData(const MainListItem& item, std::uint32_t property, ListItemData& data, bool set) {
  auto favourite = std::static_pointer_cast<browser::FavouriteRow>(item.record);
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  switch (property) {
    case toolbox::kListPropertyEditable:
      data.SetBoolean(true);
      return kListOk;
    case kColAddress:
      data.SetText(favourite->address());
      return kListOk;
    case kColServerStatus:
      data.SetText(Str(favourite->connected() ? "Connected" : "Not Connected"));
      return kListOk;
    case kColHostIcon:
      if (auto type = remote.GetIconTypeForHostType(favourite->hostType(), favourite->publicIDisk()))
        if (auto icon = toolbox::FindIcon(kCreator, *type)) data.SetIcon(*icon);
      return kListOk;
    case kColServerName: {
      if (!set) {
        data.SetText(favourite->name());
        return kListOk;
      }
      const std::string name = data.text().value_or(std::string());
      if (name == favourite->name()) return kListOk;
      if (remote.HasFavouriteNamed(name)) {
        FavouriteAlert("There is already a favourite with that name.");
        return kListOk;
      }
      if (name.empty()) {
        FavouriteAlert("You cannot save a favourite with an empty name.");
        return kListOk;
      }
      remote.RenameFavourite(favourite, name);
      return kListOk;
    }
    case kColUserName: {
      const std::int32_t type = favourite->hostType();
      if (type == browser::kHostIDisk) {
        data.SetText(favourite->iDiskMemberName().value_or(Str("Guest")));
      } else if (auto user = favourite->user()) {
        if (!user->empty())
          data.SetText(*user);
        else
          data.SetText(type == browser::kHostFTP || type == browser::kHostFTPS ? std::string("anonymous")
                                                                               : Str("Guest"));
      }
      return kListOk;
    }
    case kColAutoConnect:
      if (set) {
        remote.SetFavouriteAutoConnect(favourite, data.check_box().value_or(false));
        return kListOk;
      }
      data.SetCheckBox(favourite->autoConnect());
      return kListOk;
    default:
      return kListNotSupported;
  }
}

Status FTPNodeData(const MainListItem& item, std::uint32_t property, ListItemData& data, bool set) {
  auto& n = item.as<browser::FTPNodeRow>();
  switch (property) {
    case toolbox::kListPropertyContainer:
      return ContainerAnswer(property, data);
    case toolbox::kListPropertyEditable:
      data.SetBoolean(TakeRename());
      return kListOk;
    case kColName: {
      if (set) {
        if (data.text()) n.Rename(*data.text());
        return kListOk;
      }
      std::string text;
      toolbox::Image icon;
      if (n.hasParent()) {
        text = n.name();
        icon = toolbox::IconForFolder(16);
      } else {
        text = FTPRootText(n.host(), n.path());
        icon = AppIcon(n.secure() ? values::FourCC("FTPS") : values::FourCC("FTP_"));
      }
      data.SetIcon(icon, !text.empty() && text[0] == '.' ? toolbox::kIconTransformDisabled
                                                         : toolbox::kIconTransformNone);
      data.SetText(std::move(text));
      return kListOk;
    }
    case kColOwner:
      if (auto o = n.owner()) data.SetText(*o);
      return kListOk;
    case kColGroup:
      if (auto g = n.group()) data.SetText(*g);
      return kListOk;
    case kColPermissions:
      data.SetText(CopyPermissionsString(n.mode()));
      return kListOk;
    case kColConnectedAs:
      data.SetText(n.user());
      return kListOk;
    case kColDateModified:
      if (auto d = n.modificationDate()) data.SetDate(*d);
      return kListOk;
    default:
      return kListNotSupported;
  }
}

Status DotMacNodeData(const MainListItem& item, std::uint32_t property, ListItemData& data, bool set) {
  auto& n = item.as<browser::DotMacNodeRow>();
  switch (property) {
    case toolbox::kListPropertyContainer:
      if (n.isDirectory()) data.SetBoolean(true);
      return kListOk;
    case toolbox::kListPropertyEditable:
      data.SetBoolean(TakeRename());
      return kListOk;
    case kColName:
      if (set) {
        if (data.text()) n.Rename(*data.text());
        return kListOk;
      }
      data.SetText(n.hasParent() ? n.name() : values::Format("%@%@", {n.iDiskMemberName(), n.path()}));
      if (auto ext = n.iconExtension())
        data.SetIcon(n.isDirectory() ? toolbox::IconForFolder(16) : toolbox::IconForFileExtension(*ext, 16),
                     !n.name().empty() && n.name()[0] == '.' ? toolbox::kIconTransformDisabled
                                                             : toolbox::kIconTransformNone);
      return kListOk;
    case kColSize:
      if (!n.isDirectory()) data.SetText(util::CopyByteCountString(n.contentLength()));
      return kListOk;
    case kColKind:
      if (auto k = n.kind()) data.SetText(*k);
      return kListOk;
    case kColConnectedAs:
      data.SetText(n.user());
      return kListOk;
    case kColDateModified:
      if (auto d = n.lastModified()) data.SetDate(*d);
      return kListOk;
    default:
      return kListNotSupported;
  }
}

}  // namespace

std::string DurationText(std::int64_t t) {
  if (t < 60) return values::Format("%llds", {t});
  if (t < 3600) return values::Format("%lld:%.2lld", {t / 60, t % 60});
  return values::Format("%lld:%.2lld:%.2lld", {t / 3600, (t % 3600) / 60, t % 60});
}

std::string DownloadSizeText(std::int64_t s) {
  if (s < 1024) return values::Format(values::Localized("%ld bytes"), {s});
  if (s < 1048576) return values::Format(values::Localized("%ld KB"), {s / 1024});
  return values::Format(values::Localized("%.1f MB"), {static_cast<float>(s) / 1048576.0f});
}

std::int64_t DownloadDisplaySize(const queue::DownloadQueueElement& e) {
  if (e.fileSize == 0 || e.fileSize == -1) return e.progress;
  return e.fileSize;
}

float AverageSpeed(const queue::DownloadQueueElement& e) {
  const std::int64_t bytes = e.fileSize > 0 ? e.fileSize : e.progress;
  // A download that took no measurable time has no average (not an infinite one).
  if (!(e.duration > 0)) return 0.0f;
  return static_cast<float>(bytes) / 1024.0f / static_cast<float>(e.duration);
}

bool RemainingSeconds(const queue::DownloadQueueElement& e, std::int64_t& seconds) {
  if (!(e.rate > kSpeedThreshold) || e.fileSize <= 0) return false;
  const double t = static_cast<double>(e.fileSize - e.progress) / (static_cast<double>(e.rate) * 1024.0);
  seconds = static_cast<std::int64_t>(t);
  return true;
}

std::string CopyPermissionsString(std::uint32_t mode) {
  std::string s(9, '-');
  const char* letters = "rwxrwxrwx";
  for (int i = 0; i < 9; ++i)
    if (mode & (1u << (8 - i))) s[static_cast<std::size_t>(i)] = letters[i];
  auto special = [&](std::size_t at, std::uint32_t bit, char lower, char upper) {
    if (mode & bit) s[at] = s[at] == 'x' ? lower : upper;
  };
  special(2, 0x800, 's', 'S');
  special(5, 0x400, 's', 'S');
  special(8, 0x200, 't', 'T');
  return s;
}

std::string HistoryDayLabel(std::uint32_t day1904) {
  const values::TimeZone zone = values::DefaultTimeZone();
  const double midnight = values::DayStart(values::Now(), zone);
  const double day = static_cast<double>(day1904) - static_cast<double>(kSecondsFrom1904To2001);
  if (day >= midnight - 1) return values::Localized("Today");
  if (day >= midnight - 86400 - 1) return values::Localized("Yesterday");
  static std::optional<values::DateFormatter> formatter =
      values::DateFormatter::WithStyles(values::DateStyle::kMedium, values::DateStyle::kNone);
  return formatter ? formatter->Format(day) : std::string();
}

std::string FTPRootText(const std::string& host, const std::string& path) {
  const bool joined = (!host.empty() && host.back() == '/') || (!path.empty() && path.front() == '/');
  return values::Format(joined ? "%@%@" : "%@/%@", {host, path});
}

std::string PeerHostText(const std::string& address, const std::optional<std::string>& serviceName) {
  if (serviceName) return values::Format("%@ @ %@", {*serviceName, address});
  return values::Format("%@", {address});
}

toolbox::Status ListItemDataCallback(const MainListItem& item, std::uint32_t property,
                                     toolbox::ListItemData& data, bool set) {
  if (!item.record) return kListOk;
  switch (item.kind) {
    case RowKind::kDownload:
      return DownloadData(item, property, data, set);
    case RowKind::kUpload:
      return set ? kListOk : UploadData(item, property, data);
    case RowKind::kReceivedFile:
      return set ? kListOk : ReceivedData(item, property, data);
    case RowKind::kFolder: {
      auto& f = item.as<queue::TRFolder>();
      if (property == toolbox::kListPropertySelectable || property == toolbox::kListPropertyContainer)
        return ContainerAnswer(property, data);
      if (property != kColName) return kListNotSupported;
      const std::string name = f.name();
      if (!name.empty()) data.SetText(name);
      data.SetIcon(AppIcon((f.flags() & queue::kFolderFlagSmart) ? kSmartFolderIcon : kFolderIcon));
      return kListOk;
    }
    case RowKind::kFilter: {
      if (property == toolbox::kListPropertySelectable || property == toolbox::kListPropertyContainer)
        return ContainerAnswer(property, data);
      if (property != kColName) return kListNotSupported;
      data.SetText(item.as<queue::FilterRow>().name());
      data.SetIcon(AppIcon(kFolderIcon));
      return kListOk;
    }
    case RowKind::kHistoryDay: {
      if (property == toolbox::kListPropertySelectable || property == toolbox::kListPropertyContainer)
        return ContainerAnswer(property, data);
      if (property != kColName) return kListNotSupported;
      const auto& day = item.as<queue::HistoryDayRow>();
      data.SetText(values::Format("%@ (%d)", {HistoryDayLabel(day.day()), day.itemCount()}));
      data.SetIcon(AppIcon(kFolderIcon));
      return kListOk;
    }
    case RowKind::kBonjourPeer: {
      if (property == toolbox::kListPropertySelectable || property == toolbox::kListPropertyContainer)
        return ContainerAnswer(property, data);
      const auto& peer = item.as<sharing::BonjourPeerRow>();
      const auto connection = peer.connection();
      if (property == kColName) {
        data.SetText(connection ? values::Format("%@ @ %@", {peer.serviceName(), connection->address()})
                                : peer.serviceName());
        data.SetIcon(AppIcon(kRemoteRootIcon));
        return kListOk;
      }
      if (property == kColConnectedAs) {
        if (connection) data.SetText(UserOrGuest(connection->user()));
        return kListOk;
      }
      return kListNotSupported;
    }
    case RowKind::kPeerHost: {
      if (property == toolbox::kListPropertySelectable || property == toolbox::kListPropertyContainer)
        return ContainerAnswer(property, data);
      const auto& peer = item.as<sharing::PeerHostRow>();
      if (property == kColName) {
        data.SetText(PeerHostText(peer.address(), peer.bonjourServiceName()));
        data.SetIcon(AppIcon(kRemoteRootIcon));
        return kListOk;
      }
      if (property == kColConnectedAs) {
        data.SetText(UserOrGuest(peer.user()));
        return kListOk;
      }
      return kListNotSupported;
    }
    case RowKind::kFavourite:
      return FavouriteData(item, property, data, set);
    case RowKind::kFTPNode:
      return FTPNodeData(item, property, data, set);
    case RowKind::kDotMacNode:
      return DotMacNodeData(item, property, data, set);
  }
  return kListNotSupported;
}

}  // namespace ui
