#include "app/upload/events/upload_event_handler.h"

#include "app/engine/network/accepted_certificates.h"
#include "app/upload/engine/upload_engine.h"
#include "app/upload/events/upload_event_codes.h"
#include "app/upload/queue/upload_queue.h"
#include "app/upload/queue/uploads_file.h"
#include "app/upload/upload_hooks.h"
#include "app/util/desktop/ui_helpers.h"
#include "app/util/helpers/session_helpers.h"
#include "platform/net/certificate.h"
#include "platform/net/stream_error.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace upload {

namespace {

UploadItemRef ItemOf(const runtime::Event& event) {
  auto uid = event.Get<std::string>(runtime::kParamDirectObject);
  return uid ? FindUploadItemByUUID(*uid) : nullptr;
}

void HandleEnded(runtime::Event& event) {
  auto report = event.GetObject<UploadEndReport>(runtime::kParamDirectObject);
  std::int32_t code = 0;
  if (report) {
    code = report->endCode;
    if (UploadItemRef item = FindUploadItemByUUID(report->uid)) {
      ReleaseController(*item);
      FreezeElapsedTime(*item);
      const double elapsed = item->totalTimeElapsed();
      item->speedValue =
          elapsed > 0 ? static_cast<float>(static_cast<double>(item->bytes) / 1024.0 / elapsed) : 0;
      if (code != kUploadEndFinished) item->interruptedBefore = true;
      switch (code) {
        case kUploadEndFinished: {
          item->SetState(kUploadFinished);
          ++item->count;
          item->bytes = 0;
          RenewUID(item);
          CallHook(UploadHooksSlot::Get().refreshBrowsersAfterUpload, item);
          values::Dictionary notice{
              {"ApplicationName", values::Value("Truvane")},
              {"NotificationName", values::Value("Upload is complete")},
              {"NotificationTitle", values::Value(values::Localized("Upload Complete"))},
              {"NotificationDescription",
               values::Value(values::Format("%@ finished at %.1f KB/s",
                                            {item->name, static_cast<double>(item->speedValue)}))}};
          if (!item->batchID.empty()) notice["GrowlNotificationIdentifier"] = values::Value(item->batchID);
          CallHook(UploadHooksSlot::Get().postNotice, notice);
          break;
        }
        case kUploadEndCancelled:
          item->SetState(kUploadCancelled);
          break;
        case kUploadEndAuthRefused:
          item->SetState(kUploadCredentialsRefused);
          break;
        case kUploadEndAbortedByPeer:
          item->SetState(kUploadAbortedByPeer);
          break;
        case kUploadEndPermissionDenied:
          CallHook(UploadHooksSlot::Get().showMessage,
                   values::Format(values::Localized("The upload of \r%@\rfailed because an error of type 553 "
                                                    "occurred: permission denied."),
                                  {report->fileName}));
          item->SetState(kUploadFailed);
          break;
        case kUploadEndFailed:
        default:
          item->SetState(kUploadFailed);
          break;
      }
    }
  }
  // The outcome is kept at once, as the start was.
  if (report && gUploadQueueDirty) SaveUploadQueue();
  CallHook(UploadHooksSlot::Get().armWhenDoneCheck);
  if (code == kUploadEndCancelled || !Uploads().activeUploads.empty()) return;
  if (Uploads().queueOrder.empty() || !AskHook<bool>(UploadHooksSlot::Get().uploadQueueRunning, false)) {
    CallHook(UploadHooksSlot::Get().notifyAllUploadsComplete);
  }
}

void HandleProgress(runtime::Event& event) {
  UploadItemRef item = ItemOf(event);
  if (!item) return;
  if (auto state = event.GetInteger(upload_params::kNewState))
    item->SetState(static_cast<std::int32_t>(*state));
  if (auto bytes = event.Get<std::int64_t>(upload_params::kBytes)) {
    item->bytes = *bytes;
    gUploadQueueDirty = true;
  }
  if (auto speed = event.Get<float>(upload_params::kSpeed)) item->speedValue = *speed;
  if (auto size = event.Get<std::int64_t>(upload_params::kFileSize)) item->size = *size;
  if (const values::Value* attributes = event.Find<values::Value>(upload_params::kCustomAttributes)) {
    if (const values::Dictionary* d = attributes->AsDictionary()) item->customAttributes = *d;
    gUploadQueueDirty = true;
  }
  CallHook(UploadHooksSlot::Get().uploadRowChanged, item);
}

void HandleLog(runtime::Event& event) {
  UploadItemRef item = ItemOf(event);
  const values::Value* message = event.Find<values::Value>(upload_params::kMessage);
  if (!item || !message) return;
  LogRun run;
  message->GetString("text", run.text);
  std::int64_t style = 0;
  message->GetInt64("style", style);
  run.style = style == 1 ? LogStyle::kBold : style == 2 ? LogStyle::kFixedPitch : LogStyle::kPlain;
  AppendLog(*item, {run});
}

void HandleFolderMissing(runtime::Event& event) {
  UploadItemRef item = ItemOf(event);
  if (!item) return;
  std::string message;
  std::string explanation;
  if (item->type == kHostTypeIDisk) {
    message = values::Format(values::Localized("The file \"%@\" could not be uploaded to %@'s iDisk."),
                             {item->name, item->userName});
    const std::string& path = item->uploadPath;
    const auto second = path.find('/', path.empty() ? 0 : 1);
    explanation = values::Format(values::Localized("The folder %@ could not be found on the server."),
                                 {second == std::string::npos ? std::string("/") : path.substr(second)});
  } else {
    message = values::Format(values::Localized("The file \"%@\" could not be uploaded to %@."),
                             {item->name, item->hostName});
    explanation = values::Format(values::Localized("The folder %@ could not be found on the server."),
                                 {item->uploadPath});
  }
  util::RunStandardAlertText(ui::AlertType::kNote, message, explanation);
  CallHook(UploadHooksSlot::Get().showEditUpload, item);
}

// The certificate question of an upload, in the trust panel: the upload's host as a URL
// (its own scheme when it has one, else https for secure WebDAV and ftps for the others);
// an accepted certificate is kept for that host.
bool AskUploadCertificateTrust(const UploadItem& item, const values::Value& certificates, bool changed,
                               std::int32_t errorDomain, std::int32_t errorCode) {
  net::CertificateChain chain;
  if (const values::Array* list = certificates.AsArray()) {
    for (const values::Value& value : *list)
      if (const values::Data* der = value.AsData())
        if (auto certificate = net::Certificate::FromDer(der->bytes))
          chain.push_back(std::move(*certificate));
  }
  std::string url = item.hostName;
  const auto startsWith = [&url](const char* scheme) { return url.rfind(scheme, 0) == 0; };
  if (!startsWith("ftp://") && !startsWith("ftps://") && !startsWith("https://"))
    url = (item.type == kHostTypeSecureWebDAV ? "https://" : "ftps://") + url;
  const int tlsError = errorDomain == static_cast<std::int32_t>(net::ErrorDomain::kSsl) ? errorCode : 0;
  return engine::AskUserToTrustCertificate(chain, url, tlsError, changed) == 1;
}

void HandleCertificate(runtime::Event& event) {
  UploadItemRef item = ItemOf(event);
  if (!item) return;
  const values::Value* certificates = event.Find<values::Value>(upload_params::kCertificates);
  std::int32_t domain = 0;
  std::int32_t code = 0;
  if (const values::Value* error = event.Find<values::Value>(upload_params::kStreamError)) {
    if (const values::Array* pair = error->AsArray(); pair && pair->size() == 2) {
      domain = static_cast<std::int32_t>((*pair)[0].Int64Or(0));
      code = static_cast<std::int32_t>((*pair)[1].Int64Or(0));
    }
  }
  if (AskUploadCertificateTrust(*item, certificates ? *certificates : values::Value(values::Array{}),
                                event.kind() == kUploadEventCertificateChanged, domain, code))
    StartUpload(item);
}

// Without a person to ask (headless runs) the question is answered here: resume when the remote
// file is a shorter one this upload itself began (it had sent bytes before), otherwise
// the answer assumed when none is given, skip.
std::int32_t UnattendedConflictAnswer(const UploadItem& item, const UploadConflictQuestion& q) {
  if ((item.bytes > 0 || item.interruptedBefore) && q.remoteSize > 0 && q.localSize > 0 &&
      q.remoteSize < q.localSize)
    return kConflictResume;
  return kConflictSkip;
}

void HandleFileExists(runtime::Event& event) {
  UploadItemRef item = ItemOf(event);
  if (!item) return;
  UploadConflictQuestion q;
  q.uid = item->uidString();
  q.fileName = event.Get<std::string>(upload_params::kFileName);
  q.uploadIsFolder = event.Get<bool>(upload_params::kIsFolder).value_or(false);
  q.localPath = event.Get<std::string>(upload_params::kLocalPath);
  q.localSize = event.Get<std::int64_t>(upload_params::kFileSize).value_or(-1);
  if (const values::Value* d = event.Find<values::Value>(upload_params::kLocalDate); d && d->AsDate())
    q.localMod = *d->AsDate();
  q.remotePath = event.Get<std::string>(upload_params::kRemotePath);
  q.remoteSize = event.Get<std::int64_t>(upload_params::kRemoteSize).value_or(-1);
  if (const values::Value* d = event.Find<values::Value>(upload_params::kRemoteDate); d && d->AsDate())
    q.remoteMod = *d->AsDate();
  if (!q.uploadIsFolder) {
    if (auto remembered = util::LookupBatchAction(item->batchID)) {
      PostUploadConflictAnswer(static_cast<std::int32_t>(*remembered), q.uid, false);
      return;
    }
  }
  if (UploadHooksSlot::Get().queueConflictSheet) {
    UploadHooksSlot::Get().queueConflictSheet(q);
  } else {
    PostUploadConflictAnswer(UnattendedConflictAnswer(*item, q), q.uid, false);
  }
}

}  // namespace

void PostUploadConflictAnswer(std::int32_t answer, const std::string& uid, bool applyToAll) {
  UploadItemRef item = FindUploadItemByUUID(uid);
  if (!item) return;
  if (applyToAll) util::SetBatchAction(item->batchID, answer);
  if (item->controller) item->controller->PostAnswer(answer, applyToAll);
}

runtime::Status HandleUploadEvent(runtime::Event& event) {
  if (event.event_class() != kUploadEventClass) return runtime::kEventNotHandledErr;
  switch (event.kind()) {
    case kUploadEventEnded:
      HandleEnded(event);
      break;
    case kUploadEventProgress:
      HandleProgress(event);
      break;
    case kUploadEventAuthUserRefused:
    case kUploadEventAuthPasswordRefused:
      if (UploadItemRef item = ItemOf(event))
        CallHook(UploadHooksSlot::Get().showAuthFailure, item,
                 event.kind() == kUploadEventAuthPasswordRefused);
      break;
    case kUploadEventLog:
      HandleLog(event);
      break;
    case kUploadEventFolderMissing:
      HandleFolderMissing(event);
      break;
    case kUploadEventCertificateChanged:
    case kUploadEventCertificateUntrusted:
      HandleCertificate(event);
      break;
    case kUploadEventFileExists:
      HandleFileExists(event);
      break;
    default:
      return runtime::kEventNotHandledErr;
  }
  return runtime::kNoErr;
}

runtime::HandlerRef InstallUploadEventHandler(runtime::EventTarget& target) {
  std::vector<runtime::EventTypeSpec> kinds;
  for (std::uint32_t kind = kUploadEventEnded; kind <= kUploadEventFileExists; ++kind)
    kinds.push_back({kUploadEventClass, kind});
  return target.InstallHandler(std::move(kinds), [](runtime::HandlerCall&, runtime::Event& event) {
    return HandleUploadEvent(event);
  });
}

}  // namespace upload
