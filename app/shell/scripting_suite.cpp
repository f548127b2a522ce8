#include "app/shell/scripting_suite.h"

#include <algorithm>

#include "app/engine/services/download_engine_services.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/events/completion.h"
#include "app/queue/events/post_download_actions.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/operations/queue_commands.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/record/queue_locks.h"
#include "app/queue/record/queue_tables.h"
#include "app/shell/scripting_suite_internal.h"
#include "app/ui/services/application_windows_service.h"
#include "app/ui/services/main_list_services.h"
#include "app/util/settings/settings_store.h"
#include "platform/values/format.h"

namespace shell {
namespace scripting {

using appleevents::AppleEvent;
using appleevents::Descriptor;
using appleevents::Status;
using values::FourCC;

std::optional<std::uint32_t> UInt32Param(const AppleEvent& event, appleevents::AEKeyword key) {
  Descriptor d;
  if (event.GetParam(key, appleevents::types::kWildCard, d) != appleevents::kNoErr) return std::nullopt;
  std::uint32_t v = 0;
  if (appleevents::GetUInt32(d, v) != appleevents::kNoErr) return std::nullopt;
  return v;
}

std::optional<std::string> TextOf(const Descriptor& desc) {
  std::string v;
  if (appleevents::GetText(desc, v) != appleevents::kNoErr) return std::nullopt;
  // The browser plug-in sends its texts as C strings, with their terminating zero byte;
  // the text ends there.
  while (!v.empty() && v.back() == '\0') v.pop_back();
  const bool control = std::any_of(v.begin(), v.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
  });
  if (control) return std::nullopt;
  return v;
}

std::optional<std::string> TextParam(const AppleEvent& event, appleevents::AEKeyword key) {
  Descriptor d;
  if (event.GetParam(key, appleevents::types::kWildCard, d) != appleevents::kNoErr) return std::nullopt;
  return TextOf(d);
}

std::optional<bool> BoolParam(const AppleEvent& event, appleevents::AEKeyword key) {
  Descriptor d;
  if (event.GetParam(key, appleevents::types::kWildCard, d) != appleevents::kNoErr) return std::nullopt;
  bool v = false;
  if (appleevents::GetBool(d, v) != appleevents::kNoErr) return std::nullopt;
  return v;
}

namespace {

// The download named by the direct parameter, or null.
queue::WrapperRef DownloadParam(const AppleEvent& event) {
  auto uid = UInt32Param(event, kDirect);
  return uid ? queue::LookUpDownloadWrapper(*uid) : nullptr;
}

std::string StatusLine(const queue::DownloadQueueElement& e) {
  using values::Format;
  const std::int64_t total = e.fileSize;
  const std::int64_t got = e.progress;
  switch (e.status) {
    case 2:
      return "Joining";
    case queue::kStatusStarting:
      return "Starting...";
    case queue::kStatusDownloading:
      if (total <= 0) return Format("Downloading, %lld bytes transferred", {got});
      return Format("Downloading, %lld bytes of %lld transferred", {got, total});
    case queue::kStatusQueued:
      return Format("queued(%ld), %lld bytes of %lld transferred", {e.queuePosition, got, total});
    case queue::kStatusOnHold:
      return Format("held, %lld bytes of %lld transferred", {got, total});
    case queue::kStatusStopped:
      return Format("Cancelled, %lld bytes of %lld transferred", {got, total});
    case queue::kStatusFailed:
      if (!e.failureReason.empty()) {
        return Format("Failed, %lld bytes of %lld transferred: %@", {got, total, e.failureReason});
      }
      return Format("Failed, %lld bytes of %lld transferred", {got, total});
    case queue::kStatusScheduled:
      return Format("scheduled, %lld bytes of %lld transferred", {got, total});
    case queue::kStatusCompleted:
      return Format("Finished, %lld bytes in %ld seconds", {total, static_cast<long>(e.duration)});
    case queue::kStatusVerifying:
      return Format("Verifying, %lld bytes of %lld transferred", {got, total});
    default:
      return Format("Status %d, %lld bytes of %lld transferred", {e.status, got, total});
  }
}

// Requeue: an On Hold, Stopped, Failed, Completed or Scheduled download goes to the end
// of the queue.
void RequeueDownload(const queue::WrapperRef& w) {
  queue::DownloadQueueElement& e = w->element();
  if ((e.status & 0x5E0) == 0) return;
  if (e.status == queue::kStatusScheduled) {
    // Put on hold first, which takes it off the scheduled list, so the scheduler never
    // starts it a second time.
    queue::PutElementOnHold(w);
  }
  {
    queue::QueueTablesGuard guard;
    queue::gQueueOrder.push_back(e.uid);
    queue::gQueuedCount = static_cast<std::int32_t>(queue::gQueueOrder.size());
    e.queuePosition = queue::gQueuedCount;
    w->setStatus(queue::kStatusQueued);
  }
  auto& list = ui::MainListServicesSlot::Get();
  list.AddElementToDownloadsView(w);
  list.RefreshCommandState();
  list.UpdateDownloadRow(e.uid);
  queue::MarkQueueDirty();
}

// Hold: a Queued, Stopped, Failed, Completed or Scheduled download goes on hold.
void HoldDownload(const queue::WrapperRef& w) {
  if ((w->status() & 0x5D0) == 0) return;
  queue::PutElementOnHold(w);
  ui::MainListServicesSlot::Get().RefreshCommandState();
}

std::string ItemLine(std::uint32_t hostID, std::uint32_t uid, const std::string& urls) {
  return values::Format("Host: %lu\t%lu\t%@\n",
                        {static_cast<unsigned long>(hostID), static_cast<unsigned long>(uid), urls});
}

}  // namespace

void InstallQueueHandlers(appleevents::HandlerTable& t) {
  auto on = [&t](values::FourCharCode id, appleevents::EventHandler h) {
    t.Install(kSuiteClass, id, std::move(h));
  };

  on(FourCC("GSta"), [](const AppleEvent&, AppleEvent& reply) -> Status {
    Reply(reply, Descriptor::SInt16(static_cast<std::int16_t>(queue::gActiveDownloads.size())));
    return appleevents::kNoErr;
  });
  on(FourCC("SPor"), [](const AppleEvent& event, AppleEvent&) -> Status {
    Descriptor d;
    std::int16_t ports = 0;
    if (event.GetParam(kDirect, appleevents::types::kWildCard, d) == appleevents::kNoErr &&
        appleevents::GetInt16(d, ports) == appleevents::kNoErr) {
      util::ChangeSettings([ports](util::Settings& s) { s.defaultPorts = ports; });
    }
    return appleevents::kNoErr;
  });
  on(FourCC("JSta"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto w = DownloadParam(event);
    Reply(reply,
          Descriptor::SInt64(w ? static_cast<std::int64_t>(static_cast<std::uint32_t>(w->status())) : 0));
    return appleevents::kNoErr;
  });
  on(FourCC("Canc"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto w = DownloadParam(event);
    std::int32_t result = -4;
    if (w && (w->status() & queue::kRunningMask) != 0) {
      if (auto& stop = w->element().stopSource) stop->Signal();
      result = 0;
    }
    Reply(reply, Descriptor::SInt32(result));
    return appleevents::kNoErr;
  });
  on(FourCC("GSiz"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto w = DownloadParam(event);
    Reply(reply, Descriptor::SInt64(w ? w->fileSize() : -4));
    return appleevents::kNoErr;
  });
  on(FourCC("StoQ"), [](const AppleEvent&, AppleEvent&) -> Status {
    queue::StopQueue(util::CurrentSettings()->downloadsStopWithQueue);
    return appleevents::kNoErr;
  });
  on(FourCC("StaQ"), [](const AppleEvent&, AppleEvent&) -> Status {
    queue::StartQueue();
    return appleevents::kNoErr;
  });
  on(FourCC("GQSt"), [](const AppleEvent&, AppleEvent& reply) -> Status {
    Reply(reply, Descriptor::Boolean(queue::gQueueRunning));
    return appleevents::kNoErr;
  });
  on(FourCC("QCnt"), [](const AppleEvent&, AppleEvent& reply) -> Status {
    Reply(reply, Descriptor::SInt16(static_cast<std::int16_t>(queue::gQueuedCount)));
    return appleevents::kNoErr;
  });
  on(FourCC("GAct"), [](const AppleEvent&, AppleEvent& reply) -> Status {
    Descriptor list = Descriptor::List();
    for (queue::DownloadUID uid : queue::gActiveDownloads) list.Append(Descriptor::UInt32(uid));
    Reply(reply, std::move(list));
    return appleevents::kNoErr;
  });
  on(FourCC("GDUl"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto w = DownloadParam(event);
    Reply(reply, w ? Descriptor::Text(queue::CopyElementURLList(w->element())) : Descriptor());
    return appleevents::kNoErr;
  });
  // The download's own transfer log, as its transfer-information window shows it (secrets
  // hidden): where a script finds why a download waits or failed. Null for an unknown UID.
  on(FourCC("TLog"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto w = DownloadParam(event);
    Reply(reply, w ? Descriptor::Text(w->element().transferLog.log.value_or(std::string())) : Descriptor());
    return appleevents::kNoErr;
  });
  on(FourCC("GetQ"), [](const AppleEvent&, AppleEvent& reply) -> Status {
    std::vector<queue::DownloadUID> uids;
    {
      std::lock_guard lock(queue::gQueueItemsLock);
      for (const auto& [uid, w] : queue::gQueueItems) uids.push_back(uid);
    }
    Descriptor list = Descriptor::List();
    for (queue::DownloadUID uid : uids) list.Append(Descriptor::UInt32(uid));
    Reply(reply, std::move(list));
    return appleevents::kNoErr;
  });
  on(FourCC("StQd"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto w = DownloadParam(event);
    std::int32_t result = 0;
    if (w) result = (w->status() & 0x5F0) != 0 ? queue::StartDownload(w) : -4;
    Reply(reply, Descriptor::SInt32(result));
    return appleevents::kNoErr;
  });
  on(FourCC("AEq "), [](const AppleEvent& event, AppleEvent&) -> Status {
    if (auto w = DownloadParam(event)) RequeueDownload(w);
    return appleevents::kNoErr;
  });
  on(FourCC("Info"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto w = DownloadParam(event);
    Reply(reply, Descriptor::Text(w ? StatusLine(w->element()) : "Invalid UID"));
    return appleevents::kNoErr;
  });
  on(FourCC("AEh "), [](const AppleEvent& event, AppleEvent&) -> Status {
    if (auto w = DownloadParam(event)) HoldDownload(w);
    return appleevents::kNoErr;
  });
  on(FourCC("LQue"), [](const AppleEvent&, AppleEvent& reply) -> Status {
    std::string text;
    {
      std::lock_guard lock(queue::gQueueItemsLock);
      for (const auto& [uid, w] : queue::gQueueItems) {
        text += ItemLine(w->hostUID(), uid, queue::CopyElementURLList(w->element()));
      }
    }
    Reply(reply, Descriptor::Text(text));
    return appleevents::kNoErr;
  });
  on(FourCC("AClr"), [](const AppleEvent&, AppleEvent& reply) -> Status {
    queue::ClearQueue();
    bool empty = false;
    {
      std::lock_guard lock(queue::gQueueItemsLock);
      empty = queue::gQueueItems.empty();
    }
    Reply(reply, Descriptor::SInt32(empty ? 0 : -1));
    return appleevents::kNoErr;
  });
  on(FourCC("ARem"), [](const AppleEvent& event, AppleEvent& reply) -> Status {
    auto uid = UInt32Param(event, kDirect);
    std::int32_t result = -2;
    if (uid && queue::LookUpDownloadWrapper(*uid)) {
      queue::RemoveDownloads({*uid}, {}, true, false);
      result = queue::LookUpDownloadWrapper(*uid) ? -1 : 0;
    }
    Reply(reply, Descriptor::SInt32(result));
    return appleevents::kNoErr;
  });

  t.Install(appleevents::kCoreEventClass, FourCC("quit"), [](const AppleEvent&, AppleEvent&) -> Status {
    queue::QuitApplication();
    return appleevents::kNoErr;
  });
  t.Install(appleevents::kCoreEventClass, FourCC("rapp"), [](const AppleEvent&, AppleEvent&) -> Status {
    ui::ApplicationWindowsServiceSlot::Get().ReopenApplication();
    return appleevents::kNoErr;
  });
}

}  // namespace scripting

void InstallScriptingSuite(appleevents::HandlerTable& table) {
  scripting::InstallQueueHandlers(table);
  scripting::InstallHandOffHandlers(table);
  scripting::InstallSharingHandlers(table);
}

}  // namespace shell
