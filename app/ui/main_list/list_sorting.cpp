#include "app/ui/main_list/list_sorting.h"

#include <cmath>
#include <string>

#include "app/browser/services/remote_rows.h"
#include "app/queue/folders/tr_folder.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/services/history_filter_rows.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_list/list_item_data.h"
#include "app/upload/services/upload_rows.h"
#include "platform/values/string_compare.h"

namespace ui {
namespace {

using queue::DownloadQueueElement;
constexpr float kSpeedThreshold = 0.2f;
constexpr std::int64_t kNoEstimate = 1000000000;

bool TextLess(const std::string& a, const std::string& b,
              values::CompareOptions options = values::kCaseInsensitive) {
  return values::CompareStrings(a, b, options) == values::ComparisonResult::kLessThan;
}
bool NaturalLess(const std::string& a, const std::string& b) {
  return TextLess(a, b, values::kCaseInsensitive | values::kNumeric);
}

int StatusRank(std::int32_t status) {
  switch (status) {
    case queue::kStatusDownloading:
      return 0;
    case queue::kStatusStarting:
      return 1;
    case queue::kStatusScheduled:
      return 2;
    case queue::kStatusQueued:
      return 3;
    case queue::kStatusStopped:
      return 4;
    case queue::kStatusCompleted:
      return 5;
    case queue::kStatusOnHold:
      return 6;
    case queue::kStatusFailed:
      return 7;
    default:
      return -1;
  }
}

// Percentage done in single precision, nothing for an unknown size.
bool Percent(const DownloadQueueElement& e, float& out) {
  if (e.fileSize <= 0) return false;
  out = static_cast<float>(e.progress) * 100.0f / static_cast<float>(e.fileSize);
  return true;
}

bool StatusBefore(const DownloadQueueElement& a, const DownloadQueueElement& b) {
  if (a.status != b.status) {
    const int ra = StatusRank(a.status), rb = StatusRank(b.status);
    if (ra < 0 && rb < 0) return false;
    if (ra < 0) return false;
    if (rb < 0) return true;
    return ra < rb;
  }
  switch (a.status) {
    case queue::kStatusQueued:
      return a.queuePosition < b.queuePosition;
    case queue::kStatusDownloading: {
      float pa = 0, pb = 0;
      const bool ka = Percent(a, pa), kb = Percent(b, pb);
      if (ka && kb) return pa > pb;
      return ka && !kb;
    }
    case queue::kStatusScheduled:
      return a.scheduleTime < b.scheduleTime;
    case queue::kStatusCompleted:
      return a.endDate > b.endDate;
    default:
      return a.startDate > b.startDate;
  }
}

std::int64_t SizeKey(const DownloadQueueElement& e) {
  if ((e.fileSize == 0 || e.fileSize == -1) && e.progress >= 0) return e.progress;
  return e.fileSize;
}

float SpeedKey(const DownloadQueueElement& e) {
  if (e.status == queue::kStatusDownloading) return e.rate;
  if (e.status == queue::kStatusCompleted) return AverageSpeed(e);
  return 0.0f;
}

// 0: completed; 1: with an estimate; 2: the others.
int EstimateBand(const DownloadQueueElement& e, std::int64_t& remaining) {
  if (e.status == queue::kStatusCompleted) return 0;
  if (e.status == queue::kStatusDownloading && RemainingSeconds(e, remaining)) return 1;
  return 2;
}

// 0: neither downloading nor completed nor verifying; 1: downloading; 2: completed or verifying.
int PercentBand(const DownloadQueueElement& e) {
  if (e.status == queue::kStatusDownloading) return 1;
  if (e.status == queue::kStatusCompleted || e.status == queue::kStatusVerifying) return 2;
  return 0;
}

int PriorityRank(std::int32_t priority) {
  if (priority == 0) return 1;
  if (priority == 2) return 2;
  return 0;
}

std::string FirstURL(const queue::DownloadQueueWrapper& w) {
  return w.url().value_or(std::string());
}

bool DownloadsBefore(const queue::DownloadQueueWrapper& wa, const queue::DownloadQueueWrapper& wb,
                     std::uint32_t property) {
  const DownloadQueueElement& a = wa.element();
  const DownloadQueueElement& b = wb.element();
  switch (property) {
    case kColName:
      return NaturalLess(a.filename, b.filename);
    case kColStatus:
    case kColQueueCheck:
    case kColQueuePosition:
      return StatusBefore(a, b);
    case kColSize:
      return SizeKey(a) < SizeKey(b);
    case kColSpeed:
      return SpeedKey(a) < SpeedKey(b);
    case kColEstimatedTime: {
      std::int64_t ra = 0, rb = 0;
      const int ba = EstimateBand(a, ra), bb = EstimateBand(b, rb);
      if (ba != bb) return ba < bb;
      return ba == 1 && ra < rb;
    }
    case kColConnections:
      return a.connections < b.connections;
    case kColElapsedTime:
      return a.duration < b.duration;
    case kColPercent: {
      const int ba = PercentBand(a), bb = PercentBand(b);
      if (ba != bb) return ba < bb;
      float pa = 0, pb = 0;
      return ba == 1 && Percent(a, pa) && Percent(b, pb) && pa < pb;
    }
    case kColStartDate:
      return a.startDate < b.startDate;
    case kColEndDate:
    case kColReceivedDate:
    case kColDateModified:
      return a.endDate < b.endDate;
    case kColDownloadCount:
      return a.downloadCount < b.downloadCount;
    case kColURL:
      return TextLess(FirstURL(wa), FirstURL(wb));
    case kColPriority:
      return PriorityRank(a.priority) < PriorityRank(b.priority);
    default:
      return false;
  }
}

int HostTypeRank(std::int32_t type) {
  switch (type) {
    case 3:
      return 0;
    case 2:
      return 1;
    case 1:
    case 4:
      return 2;
    case 5:
      return 3;
    case 6:
    case 7:
      return 4;
    default:
      return 0;
  }
}

bool FavouritesBefore(const browser::FavouriteRow& a, const browser::FavouriteRow& b,
                      std::uint32_t property) {
  switch (property) {
    case kColAddress:
      return TextLess(a.address(), b.address());
    case kColServerStatus:
      return !a.connected() && b.connected();
    case kColHostIcon:
      return HostTypeRank(a.hostType()) < HostTypeRank(b.hostType());
    case kColServerName:
      return TextLess(a.name(), b.name());
    case kColUserName: {
      const auto ua = a.user(), ub = b.user();
      return ua && ub && TextLess(*ua, *ub);
    }
    default:
      return false;
  }
}

bool ReceivedBefore(const sharing::ReceivedFileRow& a, const sharing::ReceivedFileRow& b,
                    std::uint32_t property) {
  switch (property) {
    case kColName:
      return TextLess(a.name().value_or(std::string()), b.name().value_or(std::string()));
    case kColStatus: {
      if (a.status() != b.status() || a.status() == sharing::kReceivedFileReceived)
        return a.status() < b.status();
      auto fraction = [](const sharing::ReceivedFileRow& r) {
        return static_cast<float>(r.bytesTransferred()) / static_cast<float>(r.fileSize());
      };
      return fraction(a) < fraction(b);
    }
    case kColSize:
      return a.fileSize() < b.fileSize();
    case kColSpeed:
      return a.speed() < b.speed();
    case kColEndDate:
    case kColReceivedDate: {
      const bool ra = a.status() == sharing::kReceivedFileReceived,
                 rb = b.status() == sharing::kReceivedFileReceived;
      if (!(ra && rb)) return ra && !rb;
      return a.dateReceived() < b.dateReceived();
    }
    case kColRemoteHost:
      return TextLess(a.userAtHost(), b.userAtHost());
    default:
      return false;
  }
}

std::int64_t UploadRemaining(const upload::UploadRow& u) {
  if (u.state() == upload::kUploadFinished) return 0;
  if (u.state() != upload::kUploadUploading || !(u.speed() > kSpeedThreshold)) return kNoEstimate;
  return static_cast<std::int64_t>(static_cast<double>(u.fileSize() - u.bytesTransferred()) /
                                   (static_cast<double>(u.speed()) * 1024.0));
}

bool UploadsBefore(const upload::UploadRow& a, const upload::UploadRow& b, std::uint32_t property) {
  switch (property) {
    case kColName:
      return TextLess(a.fileName(), b.fileName());
    case kColStatus:
      if (a.state() != b.state()) return a.state() < b.state();
      if (a.state() == upload::kUploadWaiting) return a.waitingIndex() < b.waitingIndex();
      if (a.state() == upload::kUploadUploading) {
        auto fraction = [](const upload::UploadRow& u) {
          return static_cast<float>(u.bytesTransferred()) / static_cast<float>(u.fileSize());
        };
        return fraction(a) < fraction(b);
      }
      return false;
    case kColSize:
      return a.fileSize() < b.fileSize();
    case kColSpeed:
      return a.speed() < b.speed();
    case kColEstimatedTime:
      return UploadRemaining(a) < UploadRemaining(b);
    case kColElapsedTime:
      return a.totalElapsed() < b.totalElapsed();
    case kColStartDate:
      return a.startTime() < b.startTime();
    case kColEndDate:
    case kColReceivedDate: {
      const bool na = std::isnan(a.endTime()), nb = std::isnan(b.endTime());
      if (na || nb) return na && !nb;
      return a.endTime() < b.endTime();
    }
    case kColPath:
      return TextLess(a.localPath().value_or(std::string()), b.localPath().value_or(std::string()));
    case kColUploadCount:
      return a.completionCount() < b.completionCount();
    case kColRemoteHost:
      return TextLess(a.host().value_or(std::string()), b.host().value_or(std::string()));
    default:
      return false;
  }
}

bool FTPNodesBefore(const browser::FTPNodeRow& a, const browser::FTPNodeRow& b, std::uint32_t property) {
  if (property == kColName) return TextLess(a.name(), b.name());
  // A missing date counts as the reference date, 0.
  if (property == kColDateModified)
    return a.modificationDate().value_or(0.0) < b.modificationDate().value_or(0.0);
  return false;
}

bool DotMacNodesBefore(const browser::DotMacNodeRow& a, const browser::DotMacNodeRow& b,
                       std::uint32_t property) {
  switch (property) {
    case kColName:
      return TextLess(a.name(), b.name());
    case kColSize:
      if (!a.isDirectory() && !b.isDirectory()) return a.contentLength() < b.contentLength();
      return TextLess(a.name(), b.name());
    case kColKind:
      return TextLess(a.kind().value_or(std::string()), b.kind().value_or(std::string()));
    case kColDateModified:
      return a.lastModified().value_or(0.0) < b.lastModified().value_or(0.0);
    default:
      return false;
  }
}

std::string FolderName(const MainListItem& i) {
  return i.as<queue::TRFolder>().name();
}

bool IsFolder(RowKind k) {
  return k == RowKind::kFolder;
}

// Mixed kinds: peer host, then Bonjour peer, then FTP folder, then WebDAV item.
int RemoteRank(RowKind k) {
  switch (k) {
    case RowKind::kPeerHost:
      return 0;
    case RowKind::kBonjourPeer:
      return 1;
    case RowKind::kFTPNode:
      return 2;
    case RowKind::kDotMacNode:
      return 3;
    default:
      return -1;
  }
}

}  // namespace

bool ListItemCompareCallback(const MainListItem& first, const MainListItem& second, std::uint32_t property) {
  if (!first.record || !second.record) return false;
  const RowKind a = first.kind, b = second.kind;
  if (a == RowKind::kDownload && b == RowKind::kFTPNode) {
    if (property == kColName)
      return TextLess(first.as<queue::DownloadQueueWrapper>().filename(),
                      second.as<browser::FTPNodeRow>().name());
    return true;
  }
  if (a == RowKind::kFTPNode && b == RowKind::kDownload) {
    if (property == kColName)
      return TextLess(first.as<browser::FTPNodeRow>().name(),
                      second.as<queue::DownloadQueueWrapper>().filename());
    return false;
  }
  if (a == RowKind::kDownload && b == RowKind::kDownload)
    return DownloadsBefore(first.as<queue::DownloadQueueWrapper>(), second.as<queue::DownloadQueueWrapper>(),
                           property);
  if (a == RowKind::kHistoryDay && b == RowKind::kHistoryDay)
    return first.as<queue::HistoryDayRow>().day() < second.as<queue::HistoryDayRow>().day();
  if (IsFolder(a) && IsFolder(b)) return TextLess(FolderName(first), FolderName(second));
  if (a == RowKind::kFilter && b == RowKind::kFilter)
    return TextLess(first.as<queue::FilterRow>().name(), second.as<queue::FilterRow>().name());
  if (a == RowKind::kBonjourPeer && b == RowKind::kBonjourPeer)
    return TextLess(first.as<sharing::BonjourPeerRow>().serviceName(),
                    second.as<sharing::BonjourPeerRow>().serviceName());
  if (a == RowKind::kPeerHost && b == RowKind::kPeerHost) {
    const auto& pa = first.as<sharing::PeerHostRow>();
    const auto& pb = second.as<sharing::PeerHostRow>();
    return TextLess(PeerHostText(pa.address(), pa.bonjourServiceName()),
                    PeerHostText(pb.address(), pb.bonjourServiceName()));
  }
  if (a == b) {
    switch (a) {
      case RowKind::kFavourite:
        return FavouritesBefore(first.as<browser::FavouriteRow>(), second.as<browser::FavouriteRow>(),
                                property);
      case RowKind::kReceivedFile:
        return ReceivedBefore(first.as<sharing::ReceivedFileRow>(), second.as<sharing::ReceivedFileRow>(),
                              property);
      case RowKind::kUpload:
        return UploadsBefore(first.as<upload::UploadRow>(), second.as<upload::UploadRow>(), property);
      case RowKind::kFTPNode:
        return FTPNodesBefore(first.as<browser::FTPNodeRow>(), second.as<browser::FTPNodeRow>(), property);
      case RowKind::kDotMacNode:
        return DotMacNodesBefore(first.as<browser::DotMacNodeRow>(), second.as<browser::DotMacNodeRow>(),
                                 property);
      default:
        return false;
    }
  }
  const int ra = RemoteRank(a), rb = RemoteRank(b);
  return ra >= 0 && rb >= 0 && ra < rb;
}

}  // namespace ui
