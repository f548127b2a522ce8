#include "app/queue/adding/remote_files.h"

#include "app/queue/adding/add_download.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/queue/undo/undoable_action.h"
#include "app/util/settings/settings_store.h"

namespace queue {
namespace {

values::Array URLEntries(const std::string& url) {
  values::Dictionary entry;
  entry.insert_or_assign("url", values::Value(url));
  return values::Array{values::Value(std::move(entry))};
}

}  // namespace

RemoteHandle QueueRemoteFiles::MakeRemoteFileRecord(const RemoteFileFacts& facts) {
  auto e = std::make_unique<DownloadQueueElement>();
  e->tag = kRemoteFileElementTag;
  e->hostID = facts.hostID;
  e->filename = facts.name;
  e->urlData = URLEntries(facts.url);
  e->fileSize = facts.size > 0 ? facts.size : -1;
  e->connections = util::CurrentSettings()->defaultPorts;
  e->status = kStatusOnHold;
  if (facts.modified) e->startDate = e->endDate = *facts.modified;
  e->flags = kRemoteFileFlags;
  e->useAuth = facts.useAuth;
  e->authUser = facts.user;
  e->authPassword = facts.password;
  WrapperRef w = DownloadQueueWrapper::Create(std::move(e));
  w->setOwner(facts.owner);
  w->setGroup(facts.group);
  w->setMode(facts.mode);
  return w;
}

void QueueRemoteFiles::SetRemoteFileName(const RemoteHandle& record, const std::string& name,
                                         const std::string& url) {
  if (!record) return;
  auto& w = *static_cast<DownloadQueueWrapper*>(record.get());
  w.element().filename = name;
  w.element().urlData = URLEntries(url);
}

RemoteHandle QueueRemoteFiles::BeginDownloadGroup(const std::string& title) {
  return std::make_shared<DownloadUndoGrouping>(title);
}

std::uint32_t QueueRemoteFiles::AddRemoteDownload(const RemoteDownloadRequest& request,
                                                  const RemoteHandle& group) {
  AddDownloadRequest r;
  r.urlEntries = URLEntries(request.url);
  r.connections = request.connections;
  if (!request.destinationFolder.empty())
    r.destination = MakeAliasBytes(files::FileRef(request.destinationFolder));
  r.useAuth = request.useAuth;
  r.user = request.user;
  r.password = request.password;
  r.select = true;
  auto* grouping = static_cast<DownloadUndoGrouping*>(group.get());
  if (grouping) r.batchID = grouping->uuid();
  // The group registers one undo step for all of its downloads when it ends.
  TruvaneUndoDisableRegistration();
  const DownloadUID uid = AddDownload(r);
  TruvaneUndoEnableRegistration();
  if (uid == 0) return 0;
  if (WrapperRef w = LookUpDownloadWrapper(uid)) {
    if (grouping) grouping->addDownload(w);
    if (request.relativeLocation) w->setRelativeLocation(request.relativeLocation);
  }
  return uid;
}

}  // namespace queue
