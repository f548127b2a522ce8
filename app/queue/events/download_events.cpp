#include "app/queue/events/download_events.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/engine/log/transfer_log.h"
#include "app/engine/services/download_engine_services.h"
#include "app/engine/task/download_task.h"
#include "app/engine/urls/url_list.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/events/completion.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/ui/services/download_event_views.h"
#include "app/ui/services/main_list_services.h"
#include "app/util/files/file_names.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/url_display_name.h"
#include "platform/files/tree_ops.h"
#include "platform/net/stream_error_reason.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/url.h"

namespace queue {
namespace {

namespace p = download_params;

// A download that failed before a byte arrived leaves an empty package that would only
// litter the download folder (the next start makes a new one). Only a package holding
// nothing but what a start put there, all of it empty, goes; anything else stays.
void RemoveEmptyPartialPackage(DownloadQueueElement& e) {
  if (e.progress > 0) return;
  const std::optional<files::FileRef> package = CopyPartialPackageURL(e);
  if (!package) return;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(package->Path(), ec)) {
    const std::string name = entry.path().filename().string();
    if (name == kPartialPropertiesFileName) continue;
    if (!entry.is_regular_file(ec) || entry.file_size(ec) != 0 || ec) return;
  }
  if (ec) return;
  if (files::DeleteTree(*package).ok()) e.fileAlias.reset();
}

ui::DownloadEventViews& Views() {
  return ui::DownloadEventViewsSlot::Get();
}
ui::MainListServices& List() {
  return ui::MainListServicesSlot::Get();
}

std::optional<std::string> StringParam(const runtime::Event& event, values::FourCharCode code) {
  if (const std::string* s = event.Find<std::string>(code)) return *s;
  return std::nullopt;
}

std::optional<values::Array> ArrayParam(const runtime::Event& event, values::FourCharCode code) {
  const values::Value* v = event.Find<values::Value>(code);
  if (v == nullptr || !v->IsArray()) return std::nullopt;
  return *v->AsArray();
}

void HandleProgress(const runtime::Event& event, const WrapperRef& wrapper) {
  DownloadQueueElement& e = wrapper->element();
  if (auto rate = event.Get<float>(p::kRate)) e.rate = *rate;
  if (auto total = event.Get<std::int64_t>(p::kTotal)) e.progress = *total;
  if (auto time = event.Get<double>(p::kTime)) e.elapsed = *time;
  if (auto ports = event.Get<std::int32_t>(p::kPorts)) e.openConnections = *ports;
  if (auto ranges = ArrayParam(event, p::kRanges)) {
    DownloadReceivedRanges()[e.uid] = std::move(*ranges);
    Views().UpdateDownloadInspector(e.uid);
    Views().NotifyMiniWindowDownloadChanged(e.uid);
  }
  Views().NoteRowChanged(e.uid);
}

void PostCompletionNotice(const std::string& filename, double speed, const std::string& clickContext,
                          const std::optional<std::string>& batchID) {
  values::Dictionary notice{
      {"ApplicationName", "Truvane"},
      {"NotificationName", "Download is complete"},
      {"NotificationTitle", values::Localized("Download Complete")},
      {"NotificationDescription",
       values::Format(values::Localized("%@, average speed %.1fk/s"), {filename, speed})},
      {"NotificationClickContext", clickContext},
  };
  if (batchID) notice.emplace("GrowlNotificationIdentifier", *batchID);
  PostQueueNotice(notice);
}

void PostFailureNotice(const DownloadQueueElement& e, std::int32_t code) {
  const values::Value* url = e.urlData.empty() ? nullptr : e.urlData.front().Find(engine::kEntryURL);
  const std::string what = url != nullptr && url->IsString() ? *url->AsString() : e.filename;
  values::Dictionary notice{
      {"ApplicationName", "Truvane"},
      {"NotificationName", "Download failed"},
      {"NotificationTitle", values::Localized("Download failed")},
      {"NotificationDescription", values::Format(values::Localized("%@, error code %d"), {what, code})},
  };
  if (e.batchID) notice.emplace("GrowlNotificationIdentifier", *e.batchID);
  PostQueueNotice(notice);
}

void RequeueAtHead(const WrapperRef& wrapper) {
  wrapper->setStatus(kStatusQueued);
  {
    std::lock_guard lock(gQueueItemsLock);
    gQueueOrder.insert(gQueueOrder.begin(), wrapper->uid());
  }
  RenumberQueue(0, gQueueOrder.size());
  List().UpdateDownloadColumn(kStatusColumn, {});
  List().UpdateDownloadColumn(kQueuePositionColumn, {});
}

void HandleFinished(const runtime::Event& event) {
  const std::optional<std::uint32_t> uid = event.Get<std::uint32_t>(p::kUID);
  bool stopped = false;
  if (uid) {
    auto active = std::find(gActiveDownloads.begin(), gActiveDownloads.end(), *uid);
    if (active != gActiveDownloads.end()) gActiveDownloads.erase(active);
    List().PostActiveDownloadsChange();
  }
  WrapperRef wrapper = uid ? LookUpDownloadWrapper(*uid) : nullptr;
  if (uid && !wrapper) MarkQueueDirty();
  if (wrapper) {
    DownloadQueueElement& e = wrapper->element();
    e.controller.reset();
    if (auto urls = ArrayParam(event, p::kURLData)) wrapper->setURLData(std::move(*urls));
    if (auto time = event.Get<double>(p::kTime)) e.elapsed = *time;
    e.duration += e.elapsed;
    e.stopSource.reset();
    DownloadReceivedRanges().erase(e.uid);

    const std::optional<std::int32_t> reason = event.Get<std::int32_t>(p::kReason);
    if (reason == kFinishStopped) {
      if (e.requeueOnStop) {
        e.requeueOnStop = false;
        RequeueAtHead(wrapper);
      } else {
        wrapper->setStatus(kStatusStopped);
      }
      stopped = true;
    } else if (reason == kFinishDone) {
      if (auto failed = event.Get<bool>(p::kVerificationFailed)) e.verificationFailed = *failed;
      wrapper->setStatus(kStatusCompleted);
      // Completion may take the download out of the queue; the notice uses these.
      const std::int64_t fileSize = e.fileSize;
      const std::string filename = e.filename;
      const std::optional<std::string> batchID = e.batchID;
      const std::int64_t progress = e.progress;
      const double duration = e.duration;
      std::string clickContext = "/";
      const runtime::FileRef* file = event.Find<runtime::FileRef>(p::kFile);
      if (!engine::URLListIsFTPFolder(e.urlData) && file != nullptr && !file->path.empty()) {
        files::FileRef finished(file->path);
        CompleteDownload(wrapper, finished);
        clickContext = finished.Path();
      }
      PostCompletionNotice(filename, AverageSpeedKBps(fileSize, progress, duration), clickContext, batchID);
      TruvaneUndoRemoveActionsForTarget(wrapper.get());
    } else if (reason == kFinishFailed) {
      wrapper->setStatus(kStatusFailed);
      TruvaneUndoRemoveActionsForTarget(wrapper.get());
      const std::optional<StreamErrorParam> error = DecodeStreamError(event, p::kErrorCode);
      // The reason stays with the download (its status line says it) and goes to the log
      // whatever the message settings: a failure nobody saw must still be explainable.
      e.failureReason = StringParam(event, p::kFailureText)
                            .value_or(error ? StreamErrorWords(*error) : std::string("unknown error"));
      RemoveEmptyPartialPackage(e);
      {
        const values::Value* url = e.urlData.empty() ? nullptr : e.urlData.front().Find(engine::kEntryURL);
        const std::string what = url != nullptr && url->IsString() ? *url->AsString() : e.filename;
        engine::LogErrorForURLToGlobalLog(what.c_str(), "%@", {e.failureReason});
      }
      if (error && !util::CurrentSettings()->useErrorLog && QueueHooksSlot::Get().showMessage) {
        QueueHooksSlot::Get().showMessage(
            DownloadFailureMessage(CopyElementURLList(e), *error, StringParam(event, p::kErrorMessage)));
      }
      PostFailureNotice(e, error ? error->code : 0);
    }
    List().UpdateDownloadRow(e.uid);
    Views().NotifyMiniWindowDownloadChanged(e.uid);
    MarkQueueDirty();
  }
  List().MarkDockTileChanged();
  List().RefreshCommandState();
  ArmWhenDoneCheck(stopped);
}

void HandleFileInfo(const runtime::Event& event, const WrapperRef& wrapper) {
  DownloadQueueElement& e = wrapper->element();
  if (auto size = event.Get<std::int64_t>(p::kSize)) wrapper->setFileSize(*size);
  // The name comes from the server: only a name that is safe as one path component is taken.
  if (auto name = StringParam(event, p::kName); name && util::ValidateFileName(*name, false)) {
    wrapper->setFilename(*name);
  }
  if (event.Get<bool>(p::kNameFromServer).value_or(false)) e.flags |= kFlagFilenameFixed;
  if (const values::Data* alias = event.Find<values::Data>(p::kAlias)) {
    e.fileAlias = alias->bytes;
  } else if (const runtime::FileRef* file = event.Find<runtime::FileRef>(p::kAlias)) {
    if (auto bytes = MakeAliasBytes(files::FileRef(file->path))) e.fileAlias = std::move(*bytes);
  }
  Views().NoteRowChanged(e.uid);
  MarkQueueDirty();
  Views().UpdateDownloadInspector(e.uid);
  Views().NotifyMiniWindowDownloadChanged(e.uid);
}

void AnswerCertificateQuestion(DownloadUID uid, const ui::CertificateAnswer& answer) {
  WrapperRef wrapper = LookUpDownloadWrapper(uid);
  if (!wrapper) return;
  DownloadQueueElement& e = wrapper->element();
  if (!e.controller) return;
  if (answer.trust) {
    e.controller->ContinueAfterCertificate(answer.alwaysTrust);
  } else {
    e.controller->RefuseCertificate();
  }
}

void AnswerAuthRequired(DownloadUID uid, const std::string& urlText, const ui::CredentialsAnswer& answer) {
  WrapperRef wrapper = LookUpDownloadWrapper(uid);
  if (!wrapper) return;
  DownloadQueueElement& e = wrapper->element();
  if (!answer.ok) {
    if (e.stopSource) e.stopSource->Signal();
    return;
  }
  // Only a task still running can take the answer.
  if (e.status != kStatusDownloading || !e.controller) return;
  if (answer.remember && QueueHooksSlot::Get().storeCredentials) {
    auto url = values::Url::Create(urlText);
    if (url && url->Host()) QueueHooksSlot::Get().storeCredentials(*url, answer.user, answer.password);
  }
  e.controller->SupplyCredentials(answer.user, answer.password);
  e.useAuth = true;
  e.authUser = answer.user;
  e.authPassword = answer.password;
  MarkQueueDirty();
}

}  // namespace

std::map<DownloadUID, values::Array>& DownloadReceivedRanges() {
  static std::map<DownloadUID, values::Array> ranges;
  return ranges;
}

values::Value EncodeStreamError(StreamErrorParam error) {
  return values::Value(
      values::Data{engine::StreamErrorBytes({static_cast<net::ErrorDomain>(error.domain), error.code})});
}

std::optional<StreamErrorParam> DecodeStreamError(const runtime::Event& event, values::FourCharCode code) {
  const values::Data* data = event.Find<values::Data>(code);
  if (data == nullptr) {
    if (const values::Value* v = event.Find<values::Value>(code)) data = v->AsData();
  }
  if (data == nullptr) return std::nullopt;
  const auto error = engine::StreamErrorFromBytes(data->bytes);
  if (!error) return std::nullopt;
  return StreamErrorParam{static_cast<std::int32_t>(error->domain), error->code};
}

std::string StreamErrorWords(StreamErrorParam error) {
  if (error.domain == kOwnErrorDomain) return "Error " + std::to_string(error.code);
  return net::StreamErrorReason({static_cast<net::ErrorDomain>(error.domain), error.code});
}

std::string DownloadFailureMessage(const std::string& urlList, StreamErrorParam error,
                                   const std::optional<std::string>& serverMessage) {
  const char* text = nullptr;
  if (error.domain == kHTTPErrorDomain) {
    switch (error.code) {
      case 404:
        text =
            "The download of \r%@\rfailed because an error of type 404 occurred: the file could not be "
            "found.";
        break;
      case 403:
        text = "The download of \r%@\rfailed because an error of type 403 occurred: access forbidden.";
        break;
      case 401:
      case 407:
        text =
            "The download of \r%@\rfailed because an error of type 401 occurred: a password is need to "
            "access "
            "this URL.";
        break;
      case 503:
        text = "The download of \r%@\rfailed because an error of type 503 occurred: service unavailable.";
        break;
      default:
        break;
    }
  } else if (error.domain == kFTPErrorDomain) {
    switch (error.code) {
      case 550:
        text =
            "The download of \r%@\rfailed because an error of type 550 occurred: the file could not be "
            "found.";
        break;
      case 530:
        text = "The download of \r%@\rfailed because an error of type 530 occurred: authentication failed";
        break;
      case 553:
        text = "The download of \r%@\rfailed because an error of type 553 occurred: permission denied.";
        break;
      default:
        break;
    }
  } else if (error.domain == kOwnErrorDomain && error.code == 1) {
    text = "You appear to be over your RapidShare download limit for %@. Try again later.";
  } else if (error.domain == kNetDBErrorDomain) {
    text = "The download of \r%@\rfailed because the server could not be found.";
  }
  if (text != nullptr) return values::Format(values::Localized(text), {urlList});
  // The reason in words: the stored number is another system's errno and tells nobody here
  // anything ("61" is "Connection refused").
  const std::string code = StreamErrorWords(error);
  if (serverMessage) {
    return values::Format(values::Localized("The download of \r%@\rfailed because no urls were valid. Last "
                                            "error:%@\nThe last message from the server was: %@."),
                          {urlList, code, *serverMessage});
  }
  return values::Format(
      values::Localized("The download of \r%@\r failed because no urls were valid. Last error:%@."),
      {urlList, code});
}

double AverageSpeedKBps(std::int64_t fileSize, std::int64_t progress, double duration) {
  const double bytes =
      static_cast<double>(fileSize) > 0.1 ? static_cast<double>(fileSize) : static_cast<double>(progress);
  // A download that finished within the clock's resolution has no meaningful rate.
  if (!(duration > 0)) return 0;
  return bytes * 0.0009765625 / duration;
}

runtime::Status ShowAuthRequiredWindow(DownloadUID uid, const std::string& url) {
  ui::CredentialsRequest request;
  request.uid = uid;
  request.url = url;
  if (auto parsed = values::Url::Create(url)) {
    request.host = parsed->Host().value_or("");
    request.displayName = util::CopyURLDisplayName(*parsed);
  }
  Views().AskCredentials(
      request, [uid, url](const ui::CredentialsAnswer& answer) { AnswerAuthRequired(uid, url, answer); });
  return runtime::kNoErr;
}

runtime::Status HandleDownloadThreadEvent(runtime::Event& event) {
  if (event.event_class() != kDownloadEventClass || event.kind() > kDownloadEventVerifying) {
    return runtime::kEventNotHandledErr;
  }
  if (event.kind() == kDownloadEventFinished) {
    HandleFinished(event);
    return runtime::kNoErr;
  }
  const std::optional<std::uint32_t> uid = event.Get<std::uint32_t>(p::kUID);
  if (!uid) return runtime::kNoErr;
  if (event.kind() == kDownloadEventMessage) {
    if (auto message = StringParam(event, p::kMessage)) engine::AppendTransferLog(*message, *uid, nullptr);
    return runtime::kNoErr;
  }
  WrapperRef wrapper = LookUpDownloadWrapper(*uid);
  if (!wrapper) return runtime::kNoErr;
  switch (event.kind()) {
    case kDownloadEventProgress:
      HandleProgress(event, wrapper);
      break;
    case kDownloadEventStarted:
      wrapper->setStatus(kStatusDownloading);
      List().UpdateDownloadRow(*uid);
      break;
    case kDownloadEventFileInfo:
      HandleFileInfo(event, wrapper);
      break;
    case kDownloadEventUnknownRoot:
    case kDownloadEventCertificateQuestion: {
      auto url = StringParam(event, p::kURL);
      if (!url) break;
      ui::CertificateQuestion question;
      question.uid = *uid;
      question.url = *url;
      if (auto chain = ArrayParam(event, p::kTrust)) {
        for (const auto& c : *chain) {
          if (const values::Data* der = c.AsData()) question.chain.push_back(der->bytes);
        }
      }
      auto answer = [uid = *uid](const ui::CertificateAnswer& a) { AnswerCertificateQuestion(uid, a); };
      if (event.kind() == kDownloadEventUnknownRoot) {
        const StreamErrorParam error = DecodeStreamError(event, p::kStreamError).value_or(StreamErrorParam{});
        question.errorDomain = error.domain;
        question.errorCode = error.code;
        Views().ShowUnknownCertificateWindow(question, std::move(answer));
      } else {
        Views().AskDownloadCertificateTrust(question, std::move(answer));
      }
      break;
    }
    case kDownloadEventAuthRequired:
      if (auto url = StringParam(event, p::kURL)) ShowAuthRequiredWindow(*uid, *url);
      break;
    case kDownloadEventVerifying:
      wrapper->setStatus(kStatusVerifying);
      List().UpdateDownloadRow(*uid);
      break;
    default:
      break;
  }
  return runtime::kNoErr;
}

runtime::HandlerRef InstallDownloadEventHandler(runtime::EventTarget& target) {
  std::vector<runtime::EventTypeSpec> kinds;
  for (std::uint32_t kind = kDownloadEventProgress; kind <= kDownloadEventVerifying; ++kind) {
    kinds.push_back({kDownloadEventClass, kind});
  }
  return target.InstallHandler(std::move(kinds), [](runtime::HandlerCall&, runtime::Event& event) {
    return HandleDownloadThreadEvent(event);
  });
}

}  // namespace queue
