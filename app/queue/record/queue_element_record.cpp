#include "app/queue/record/queue_element_record.h"

#include <algorithm>
#include <array>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "app/engine/http/http_response_names.h"
#include "app/engine/urls/url_list.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/record/url_passwords.h"
#include "app/ui/services/main_list_services.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"

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

// Without a cipher, or with its key lost, nothing enciphered can be read.
bool KeyFailed() {
  auto& hooks = QueueHooksSlot::Get();
  return !hooks.decipherCredential || (hooks.storedPasswordKeyFailed && hooks.storedPasswordKeyFailed());
}

}  // namespace

namespace {

// "EauthUser" and "EauthPassword" as stored, by download, when this run could not decipher
// them (their key out of reach): written back as they were while the download has no other
// user name or password, so that a run without the key never loses them. Saves may run
// off the main thread.
struct KeptCredentials {
  std::optional<values::Bytes> user;
  std::optional<values::Bytes> password;
};
std::mutex gKeptMutex;
std::map<DownloadUID, KeptCredentials>& Kept() {
  static std::map<DownloadUID, KeptCredentials> kept;
  return kept;
}
KeptCredentials KeptFor(DownloadUID uid) {
  std::lock_guard lock(gKeptMutex);
  auto it = Kept().find(uid);
  return it == Kept().end() ? KeptCredentials{} : it->second;
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
  // Credentials kept as stored (this run cannot decipher them) keep their use with them.
  const KeptCredentials kept = KeptFor(e.uid);
  d.Put("useAuth", e.useAuth || (e.authUser.empty() && kept.user.has_value()));
  const auto putKept = [&](const char* key, const std::string& value,
                           const std::optional<values::Bytes>& bytes) {
    if (value.empty() && bytes) d.Put(key, values::Data{*bytes});
  };
  putKept("EauthUser", e.authUser, kept.user);
  putKept("EauthPassword", e.authPassword, kept.password);
  if (!util::ReadSetting(util::kEncryptQueueKey)) {
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

namespace {

// The keys a record is read from. A load looks each key of each record up once, among the
// keys of its length, rather than search the record's dictionary for every field.
enum Field : std::uint8_t {
  kRelativeLocation,
  kCompleteURL,
  kDomains,
  kFinished,
  kURLData,
  kPriority,
  kCompletion,
  kFilename,
  kUID,
  kStatus,
  kConnections,
  kDownloadCount,
  kFileSize,
  kDuration,
  kCompletionType,
  kFileAlias,
  kDestination,
  kCompleteFile,
  kHistoryPosition,
  kQueuePosition,
  kScheduleTime,
  kStartDate,
  kEndDate,
  kFlags,
  kProgress,
  kBatchID,
  kUseAuth,
  kAuthUser,
  kAuthPassword,
  kEnciphered,  // "EauthUser": the user name, enciphered
  kEncipheredPassword,
  kChecksum,
  kVerificationFailed,
  kFieldCount
};

constexpr std::string_view kFieldKeys[kFieldCount] = {
    "relativeLocation", "completeURL",    "domains",
    "finished",         "url data",       "priority",
    "Completion",       "Filename",       "UID",
    "status",           "Connections",    "download count",
    "file size",        "duration",       "completion type",
    "file alias",       "destination",    "complete file",
    "history position", "queue position", "scheduleTime",
    "start date",       "end date",       "flags",
    "progress",         "batchID",        "useAuth",
    "authUser",         "authPassword",   "EauthUser",
    "EauthPassword",    "checksum",       "verificationFailed"};

// The record's values by field; null where the record has none.
struct RecordFields {
  std::array<Value*, kFieldCount> at{};

  explicit RecordFields(values::Dictionary& dict) {
    static constexpr std::size_t kLongest = 18;
    // Fields by key length, then in table order.
    static const auto byLength = [] {
      std::array<std::vector<Field>, kLongest + 1> table;
      for (std::size_t f = 0; f < kFieldCount; ++f)
        table[kFieldKeys[f].size()].push_back(static_cast<Field>(f));
      return table;
    }();
    for (auto& [key, value] : dict) {
      if (key.size() > kLongest) continue;
      for (const Field f : byLength[key.size()]) {
        if (kFieldKeys[f] == key) {
          at[f] = &value;
          break;
        }
      }
    }
  }

  const Number* AsNumber(Field f) const { return at[f] ? at[f]->AsNumber() : nullptr; }
  std::int64_t IntOr(Field f, std::int64_t fallback) const {
    const Number* n = AsNumber(f);
    return n ? n->AsInt64() : fallback;
  }
  double RealOr(Field f, double fallback) const {
    const Number* n = AsNumber(f);
    return n ? n->AsDouble() : fallback;
  }
  bool BoolOr(Field f) const { return at[f] != nullptr && at[f]->BoolOr(false); }
  // The string, moved out of the record (which is the load's own, and dropped after).
  std::optional<std::string> TakeString(Field f) const {
    const std::string* s = at[f] ? at[f]->AsString() : nullptr;
    if (s == nullptr) return std::nullopt;
    return std::move(*const_cast<std::string*>(s));  // `at` points into a dictionary we own
  }
  std::optional<values::Bytes> TakeData(Field f) const {
    values::Data* d = at[f] ? at[f]->AsData() : nullptr;
    if (d == nullptr) return std::nullopt;
    return std::move(d->bytes);
  }
};

// One credential: the enciphered field when present, else the plain one. An enciphered
// value this run cannot decipher goes to `kept` as stored, to be written back so.
std::string TakeCredential(const RecordFields& fields, Field enciphered, Field plain, RecordLoadState& state,
                           std::optional<values::Bytes>& kept) {
  if (const Value* stored = fields.at[enciphered]) {
    const values::Data* data = stored->AsData();
    if (data == nullptr) return {};
    auto& decipher = QueueHooksSlot::Get().decipherCredential;
    std::optional<std::string> text;
    if (!decipher) {
      state.cipherFailed = true;
    } else if (!state.cipherFailed) {
      text = decipher(data->bytes);
      if (!text && KeyFailed()) state.cipherFailed = true;
    }
    if (text) return *text;
    kept = data->bytes;
    return {};
  }
  return fields.TakeString(plain).value_or(std::string());
}

}  // namespace

WrapperRef DownloadQueueElementCreateFromDictionary(const Value& d, RecordLoadState& state) {
  return DownloadQueueElementCreateFromDictionary(Value(d), state);
}

WrapperRef DownloadQueueElementCreateFromDictionary(Value&& record, RecordLoadState& state) {
  values::Dictionary none;
  values::Dictionary* dict = record.AsDictionary();
  const RecordFields fields(dict ? *dict : none);
  auto e = std::make_unique<DownloadQueueElement>();
  e->scheduleTime = fields.RealOr(kScheduleTime, -1.0);
  if (values::Array* stored = fields.at[kURLData] ? fields.at[kURLData]->AsArray() : nullptr) {
    // Once the key has failed in this load, no password is read: each is kept as stored.
    bool undecipherable = false;
    values::Array entries = URLListFromStored(std::move(*stored), &undecipherable, !state.cipherFailed);
    // Keep only entries that are dictionaries: everything else reads entries by key.
    std::erase_if(entries, [](const Value& entry) { return !entry.IsDictionary(); });
    e->urlData = std::move(entries);
    if (undecipherable && KeyFailed()) state.cipherFailed = true;
  }
  e->batchID = fields.TakeString(kBatchID);
  e->completion = fields.TakeString(kCompletion);
  // The name becomes a path inside the download folder: checked as a server's name is.
  if (auto stored = fields.TakeString(kFilename))
    e->filename = engine::StoredFileName(*stored).value_or("temp1");
  if (e->filename.empty()) e->filename = "temp1";
  e->finished = fields.BoolOr(kFinished);
  const std::int64_t priority = fields.IntOr(kPriority, 0);
  e->priority = priority >= 0 && priority <= 2 ? static_cast<std::int32_t>(priority) : 0;
  const std::int64_t connections = fields.IntOr(kConnections, util::CurrentSettings()->defaultPorts);
  e->connections = static_cast<std::int32_t>(std::clamp<std::int64_t>(connections, 1, 32));
  e->downloadCount = static_cast<std::int32_t>(fields.IntOr(kDownloadCount, 0));
  const Number* uid = fields.AsNumber(kUID);
  e->uid = uid ? static_cast<DownloadUID>(uid->AsInt64()) : NewDownloadUID();
  e->hostID = 0;
  e->status = static_cast<DownloadStatus>(fields.IntOr(kStatus, kStatusOnHold));
  e->fileSize = fields.IntOr(kFileSize, 0);
  e->duration = fields.RealOr(kDuration, 0);
  e->completionType = static_cast<std::int32_t>(fields.IntOr(kCompletionType, 0));
  e->progress = fields.IntOr(kProgress, 0);
  e->startDate = fields.RealOr(kStartDate, 0);
  e->endDate = fields.RealOr(kEndDate, 0);
  e->historyPosition = static_cast<std::int32_t>(fields.IntOr(kHistoryPosition, 0));
  e->queuePosition = static_cast<std::int32_t>(fields.IntOr(kQueuePosition, 0));
  e->flags = static_cast<std::int16_t>(fields.IntOr(kFlags, 0));
  e->fileAlias = fields.TakeData(kFileAlias);
  e->destination = fields.TakeData(kDestination);
  e->completeFile = fields.TakeData(kCompleteFile);

  if (const values::Array* domains = fields.at[kDomains] ? fields.at[kDomains]->AsArray() : nullptr) {
    e->domains.reserve(domains->size());
    for (const Value& host : *domains) {
      if (const std::string* name = host.AsString()) e->domains.push_back(*name);
    }
  } else {
    values::Array hostNames;
    engine::URLListCopyHostNames(e->urlData, hostNames);
    for (const Value& host : hostNames) {
      if (const std::string* name = host.AsString()) e->domains.push_back(*name);
    }
  }

  if (auto path = fields.TakeString(kCompleteURL)) e->completeURL = values::FileUrlFromPath(*path, false);
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

  e->useAuth = fields.BoolOr(kUseAuth);
  KeptCredentials kept;
  e->authUser = TakeCredential(fields, kEnciphered, kAuthUser, state, kept.user);
  e->authPassword = TakeCredential(fields, kEncipheredPassword, kAuthPassword, state, kept.password);
  {
    std::lock_guard lock(gKeptMutex);
    if (kept.user || kept.password) {
      Kept()[e->uid] = std::move(kept);
    } else {
      Kept().erase(e->uid);
    }
  }
  // Not used without a user name in this run; saved again as it was (see the writer).
  if (e->authUser.empty()) e->useAuth = false;

  e->relativeLocation = fields.TakeString(kRelativeLocation);
  e->checksum = fields.TakeString(kChecksum);
  e->verificationFailed = fields.BoolOr(kVerificationFailed);
  return DownloadQueueWrapper::Create(std::move(e));
}

}  // namespace queue
