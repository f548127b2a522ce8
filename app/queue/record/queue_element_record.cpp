#include "app/queue/record/queue_element_record.h"

#include "app/engine/http/http_response_names.h"
#include "app/engine/urls/url_list.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_settings.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/record/url_passwords.h"
#include "app/ui/services/main_list_services.h"

namespace queue {

bool gCredentialsNotSavedLogged = false;

namespace {

using values::Lookup;
using values::Number;
using values::Value;

void PutString(Value& d, const char* key, const std::optional<std::string>& s) {
  if (s) d.Put(key, *s);
}

void PutAlias(Value& d, const char* key, const std::optional<values::Bytes>& alias) {
  if (alias) d.Put(key, values::Data{*alias});
}

std::int64_t IntOr(const Value& d, const char* key, std::int64_t fallback) {
  std::int64_t v = fallback;
  return d.GetInt64(key, v) == Lookup::kOk ? v : fallback;
}

double RealOr(const Value& d, const char* key, double fallback) {
  double v = fallback;
  return d.GetDouble(key, v) == Lookup::kOk ? v : fallback;
}

bool BoolOr(const Value& d, const char* key) {
  const Value* v = d.Find(key);
  return v != nullptr && v->BoolOr(false);
}

std::optional<std::string> OptionalString(const Value& d, const char* key) {
  std::string s;
  if (d.GetString(key, s) != Lookup::kOk) return std::nullopt;
  return s;
}

std::optional<values::Bytes> OptionalData(const Value& d, const char* key) {
  values::Bytes b;
  if (d.GetData(key, b) != Lookup::kOk) return std::nullopt;
  return b;
}

// Without a cipher, or with its key lost, nothing enciphered can be read.
bool KeyFailed() {
  auto& hooks = QueueHooksSlot::Get();
  return !hooks.decipherCredential || (hooks.storedPasswordKeyFailed && hooks.storedPasswordKeyFailed());
}

// One credential: the enciphered key when present (left out when it does not decipher),
// else the plain one.
std::string ReadCredential(const Value& d, const char* encipheredKey, const char* plainKey,
                           RecordLoadState& state) {
  if (const Value* enciphered = d.Find(encipheredKey)) {
    const values::Data* data = enciphered->AsData();
    auto& decipher = QueueHooksSlot::Get().decipherCredential;
    if (!decipher) {
      state.cipherFailed = true;
      return {};
    }
    if (data == nullptr) return {};
    auto plain = decipher(data->bytes);
    if (!plain) {
      if (KeyFailed()) state.cipherFailed = true;
      return {};
    }
    return *plain;
  }
  return OptionalString(d, plainKey).value_or(std::string());
}

}  // namespace

Value DownloadQueueElementCopyDictionary(const DownloadQueueElement& e, bool* withheldOut) {
  Value d(values::Dictionary{});
  PutString(d, "relativeLocation", e.relativeLocation);
  if (e.completeURL) {
    if (auto path = values::PathFromFileUrl(*e.completeURL)) d.Put("completeURL", *path);
  }
  values::Array domains(e.domains.begin(), e.domains.end());
  d.Put("domains", std::move(domains));
  d.Put("finished", e.finished);
  // Credentials left out for want of a cipher (or of its key): kept in memory only.
  bool withheld = false;
  d.Put("url data", URLListForStoring(e.urlData, &withheld));
  d.Put("priority", Number::Int32(e.priority));
  PutString(d, "Completion", e.completion);
  d.Put("Filename", e.filename);
  d.Put("UID", Number::Int64(e.uid));
  d.Put("hostID", Number::Int64(e.hostID));
  d.Put("status", Number::Int64(static_cast<std::uint32_t>(e.status)));
  d.Put("Connections", Number::Int32(e.connections));
  d.Put("download count", Number::Int32(e.downloadCount));
  d.Put("file size", Number::Int64(e.fileSize));
  d.Put("duration", Number::Float64(e.duration));
  d.Put("completion type", Number::Int32(e.completionType));
  PutAlias(d, "file alias", e.fileAlias);
  PutAlias(d, "destination", e.destination);
  PutAlias(d, "complete file", e.completeFile);
  d.Put("history position", Number::Int32(e.historyPosition));
  d.Put("queue position", Number::Int32(e.queuePosition));
  d.Put("scheduleTime", Number::Float64(e.scheduleTime));
  d.Put("start date", Number::Float64(e.startDate));
  d.Put("end date", Number::Float64(e.endDate));
  d.Put("flags", Number::Int16(e.flags));
  d.Put("progress", Number::Int64(e.progress));
  PutString(d, "batchID", e.batchID);
  d.Put("useAuth", e.useAuth);
  if (!CurrentQueueSettings().encryptQueue) {
    if (!e.authUser.empty()) d.Put("authUser", e.authUser);
    if (!e.authPassword.empty()) d.Put("authPassword", e.authPassword);
  } else {
    const auto& encipher = QueueHooksSlot::Get().encipherCredential;
    const auto put = [&](const char* key, const std::string& value) {
      if (value.empty()) return;
      std::optional<values::Bytes> bytes;
      if (encipher) bytes = encipher(value);
      if (bytes) {
        d.Put(key, values::Data{*bytes});
      } else {
        withheld = true;
      }
    };
    put("EauthUser", e.authUser);
    put("EauthPassword", e.authPassword);
  }
  if (withheldOut) *withheldOut = withheld;
  if (withheld && !gCredentialsNotSavedLogged) {
    gCredentialsNotSavedLogged = true;
    ui::MainListServicesSlot::Get().LogMessageToGlobalLog(false, kCredentialsNotSavedMessage);
  }
  PutString(d, "checksum", e.checksum);
  d.Put("verificationFailed", e.verificationFailed);
  return d;
}

WrapperRef DownloadQueueElementCreateFromDictionary(const Value& d, RecordLoadState& state) {
  auto e = std::make_unique<DownloadQueueElement>();
  e->scheduleTime = RealOr(d, "scheduleTime", -1.0);
  const values::Array* urls = nullptr;
  if (d.GetArray("url data", urls) == Lookup::kOk) {
    // Keep only entries that are dictionaries: everything else reads entries by key.
    values::Array stored = *urls;
    // Once the key has failed in this load, no password is read.
    if (state.cipherFailed) engine::URLListRemoveKey(stored, kEntryEncipheredURLPassword);
    bool undecipherable = false;
    values::Array entries;
    for (const Value& entry : URLListFromStored(stored, &undecipherable)) {
      if (entry.IsDictionary()) entries.push_back(entry);
    }
    e->urlData = std::move(entries);
    if (undecipherable && KeyFailed()) state.cipherFailed = true;
  }
  e->batchID = OptionalString(d, "batchID");
  e->completion = OptionalString(d, "Completion");
  // The name becomes a path inside the download folder: checked as a server's name is.
  if (auto stored = OptionalString(d, "Filename"))
    e->filename = engine::StoredFileName(*stored).value_or("temp1");
  if (e->filename.empty()) e->filename = "temp1";
  e->finished = BoolOr(d, "finished");
  const std::int64_t priority = IntOr(d, "priority", 0);
  e->priority = priority >= 0 && priority <= 2 ? static_cast<std::int32_t>(priority) : 0;
  std::int64_t connections = IntOr(d, "Connections", CurrentQueueSettings().defaultPorts);
  e->connections = static_cast<std::int32_t>(std::clamp<std::int64_t>(connections, 1, 32));
  e->downloadCount = static_cast<std::int32_t>(IntOr(d, "download count", 0));
  std::int64_t uid = 0;
  e->uid = d.GetInt64("UID", uid) == Lookup::kOk ? static_cast<DownloadUID>(uid) : NewDownloadUID();
  e->hostID = 0;
  e->status = static_cast<DownloadStatus>(IntOr(d, "status", kStatusOnHold));
  e->fileSize = IntOr(d, "file size", 0);
  e->duration = RealOr(d, "duration", 0);
  e->completionType = static_cast<std::int32_t>(IntOr(d, "completion type", 0));
  e->progress = IntOr(d, "progress", 0);
  e->startDate = RealOr(d, "start date", 0);
  e->endDate = RealOr(d, "end date", 0);
  e->historyPosition = static_cast<std::int32_t>(IntOr(d, "history position", 0));
  e->queuePosition = static_cast<std::int32_t>(IntOr(d, "queue position", 0));
  e->flags = static_cast<std::int16_t>(IntOr(d, "flags", 0));
  e->fileAlias = OptionalData(d, "file alias");
  e->destination = OptionalData(d, "destination");
  e->completeFile = OptionalData(d, "complete file");

  const values::Array* domains = nullptr;
  values::Array hostNames;
  if (d.GetArray("domains", domains) != Lookup::kOk) {
    engine::URLListCopyHostNames(e->urlData, hostNames);
    domains = &hostNames;
  }
  for (const Value& host : *domains) {
    if (host.IsString()) e->domains.push_back(*host.AsString());
  }

  if (auto path = OptionalString(d, "completeURL")) e->completeURL = values::FileUrlFromPath(*path, false);
  if (e->completeFile) {
    if (!e->completeURL) {
      if (auto found = ResolveAliasField(e->completeFile)) {
        e->completeURL = values::FileUrlFromPath(found->Path(), false);
      } else {
        e->completeFile.reset();
      }
    } else {
      DownloadQueueElementGetCompleteURL(*e);
    }
  }

  e->useAuth = BoolOr(d, "useAuth");
  if (!state.cipherFailed) {
    e->authUser = ReadCredential(d, "EauthUser", "authUser", state);
    if (!state.cipherFailed) e->authPassword = ReadCredential(d, "EauthPassword", "authPassword", state);
  }
  if (e->authUser.empty()) e->useAuth = false;

  e->relativeLocation = OptionalString(d, "relativeLocation");
  e->checksum = OptionalString(d, "checksum");
  e->verificationFailed = BoolOr(d, "verificationFailed");
  return DownloadQueueWrapper::Create(std::move(e));
}

}  // namespace queue
