#include "app/sharing/client/sharing_client_session.h"

#include <cstdlib>
#include <utility>

#include "app/sharing/crypto/rsa_key.h"
#include "app/sharing/protocol/line_protocol.h"
#include "app/sharing/trust/host_policy_manager.h"
#include "platform/values/format.h"

namespace sharing {
namespace {

// The longest a reply may grow while the client waits for what it needs.
constexpr std::size_t kMaxShortReply = 400;  // login, key, session-key replies
constexpr std::size_t kMaxNameReply = 4000;
constexpr std::size_t kMaxFolderLine = 384;
constexpr std::size_t kMaxItemLine = 4000;
constexpr std::int32_t kItemConnections = 4;
constexpr std::int32_t kReceivedFileConnections = 6;
constexpr std::uint32_t kReceivedFilesUID = 22;
constexpr std::uint32_t kFolderDownloadable = 4;

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

std::int64_t ToInt64(std::string_view v) {
  return std::strtoll(std::string(v).c_str(), nullptr, 10);
}

std::uint64_t ToUInt64(std::string_view v) {
  return std::strtoull(std::string(v).c_str(), nullptr, 10);
}

// A peer's item name becomes a local file name: one path component, never "." or "..",
// no control characters.
std::string SafeFileName(std::string_view name) {
  std::string s(name);
  for (char& c : s) {
    if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  }
  if (s == "." || s == "..") s = "_";
  return s;
}

// The last path component of a URL text, for an item without a name.
std::string NameFromURL(std::string_view url) {
  auto end = url.find_first_of("?#");
  std::string_view path = url.substr(0, end);
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  const auto slash = path.rfind('/');
  std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return SafeFileName(last.empty() ? std::string_view("download") : last);
}

}  // namespace

void SplitPeerAddress(const std::string& address, std::string& host, std::int32_t& port) {
  const auto colon = address.find(':');
  host = address.substr(0, colon);
  port = kDefaultSharePort;
  if (colon != std::string::npos) {
    char* end = nullptr;
    const long p = std::strtol(address.c_str() + colon + 1, &end, 10);
    if (end && *end == '\0' && p > 0 && p < 65536) port = static_cast<std::int32_t>(p);
  }
}

SharingClientPolicy SharingClientPolicy::Default() {
  SharingClientPolicy p;
  p.checkKey = [](const std::string& fingerprint, const std::string& address) {
    return HostPolicyCheckKey(fingerprint, address);
  };
  p.allowUnsecured = [](const std::string& address, bool& asked) {
    return HostPolicyAllowUnsecuredConnection(address, &asked);
  };
  return p;
}

SharingClientSession::SharingClientSession(SharingClientRequest request, SharingClientPolicy policy)
    : request_(std::move(request)), policy_(std::move(policy)) {
  SplitPeerAddress(request_.address, host_, port_);
}

SharingClientSession::~SharingClientSession() = default;

void SharingClientSession::Send(std::string text, std::string& out) {
  if (cipher_) SessionCipherApply(*cipher_, reinterpret_cast<std::uint8_t*>(text.data()), text.size());
  out += text;
}

std::optional<int> SharingClientSession::Fail(int code) {
  state_ = 10;
  return request_.silent ? kSharingFailed : code;
}

std::optional<int> SharingClientSession::Receive(std::span<const std::uint8_t> bytes, std::string& out) {
  if (state_ == 10) return kSharingFailed;
  std::string clear(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (cipher_) SessionCipherApply(*cipher_, reinterpret_cast<std::uint8_t*>(clear.data()), clear.size());
  buffer_ += clear;
  return Step(out);
}

std::optional<int> SharingClientSession::Step(std::string& out) {
  switch (state_) {
    case 1: {  // greeting
      if (buffer_.size() < 40) return std::nullopt;
      if (onProgress) onProgress(2);
      const std::string challenge = buffer_.substr(7, kChallengeLength);
      Send(LoginLine(request_.user, challenge, request_.password), out);
      buffer_.clear();
      state_ = 2;
      return std::nullopt;
    }
    case 2: {  // login reply
      const auto end = buffer_.find("\r\n");
      if (end == std::string::npos) {
        if (buffer_.size() > kMaxShortReply) return Fail(kSharingProtocolError);
        return std::nullopt;
      }
      if (!StartsWith(buffer_, "+OK")) return Fail(kSharingLoginRefused);
      const std::uint32_t number =
          StartsWith(buffer_, "+OK ") ? static_cast<std::uint32_t>(ToUInt64(buffer_.substr(4, end - 4))) : 0;
      if (request_.hostID == 0) {
        record_ = std::make_shared<PeerHostRecord>();
        record_->host = host_;
        record_->port = port_;
        record_->user = request_.user;
        record_->password = request_.password;
        record_->bonjourKey = request_.bonjourKey;
        record_->favouriteName = request_.favouriteName;
        record_->hostID = NextPeerHostID();
        request_.hostID = record_->hostID;
      } else {
        record_ = FindPeerHost(request_.hostID);
        if (!record_) return Fail(kSharingFailed);
      }
      record_->busy = true;
      record_->flags = number & ~kPeerSessionEnciphered;
      buffer_.clear();
      state_ = 5;
      Send("PUBKEY\r\n", out);
      return std::nullopt;
    }
    case 5: {  // key reply
      std::optional<std::string> keyText;
      const bool ok = StartsWith(buffer_, "+OK");
      const auto first = buffer_.find("\r\n");
      if (ok && first != std::string::npos) {
        const auto second = buffer_.find("\r\n", first + 2);
        if (second == std::string::npos) {
          if (buffer_.size() < kMaxShortReply) return std::nullopt;
        } else {
          keyText = buffer_.substr(first + 2, second - first - 2);
        }
      } else if (ok && buffer_.size() < kMaxShortReply) {
        return std::nullopt;
      } else if (!ok && buffer_.find("\r\n") == std::string::npos && buffer_.size() < kMaxShortReply) {
        return std::nullopt;
      }
      buffer_.clear();
      if (keyText) {
        auto key = RSAKey::FromPublicKeyString(*keyText, kPeerKeyExponent);
        if (key) {
          // A key that is offered but not trusted may be an impostor's: never go on in
          // the clear with it.
          if (!policy_.checkKey(key->Fingerprint(), request_.address)) return Fail(kSharingCancelled);
          std::string sessionKeyText;
          SessionCipherPtr cipher = CreateSessionKey(*key, sessionKeyText);
          if (cipher && !sessionKeyText.empty()) {
            Send("SETSESSIONKEY " + sessionKeyText + "\r\n", out);
            cipher_ = std::move(cipher);
            record_->flags |= kPeerSessionEnciphered;
            state_ = 4;
            return std::nullopt;
          }
        }
      }
      bool asked = false;
      if (!policy_.allowUnsecured(request_.address, asked)) {
        return Fail(asked ? kSharingCancelled : kSharingUnsecuredRefused);
      }
      Send("NAME\r\n", out);
      state_ = 3;
      return std::nullopt;
    }
    case 4: {  // session-key reply
      const auto end = buffer_.find("\r\n");
      if (end == std::string::npos) {
        if (buffer_.size() > kMaxShortReply) return Fail(kSharingProtocolError);
        return std::nullopt;
      }
      if (!StartsWith(buffer_, "+OK")) return Fail(kSharingProtocolError);
      buffer_.clear();
      Send("NAME\r\n", out);
      state_ = 3;
      return std::nullopt;
    }
    case 3: {  // name reply
      if (StartsWith(buffer_, "+OK")) {
        const auto first = buffer_.find("\r\n");
        const auto second = first == std::string::npos ? first : buffer_.find("\r\n", first + 2);
        if (second == std::string::npos) {
          if (buffer_.size() > kMaxNameReply) return Fail(kSharingProtocolError);
          return std::nullopt;
        }
        record_->name = buffer_.substr(first + 2, second - first - 2);
      } else if (buffer_.find("\r\n") == std::string::npos) {
        if (buffer_.size() > kMaxNameReply) return Fail(kSharingProtocolError);
        return std::nullopt;
      }
      if (record_->name.empty()) record_->name = host_;
      buffer_.clear();
      state_ = 7;
      firstLineSeen_ = false;
      folder_ = {};
      Send("FOLDERS\r\n", out);
      if (onProgress) onProgress(3);
      return std::nullopt;
    }
    case 7:
    case 8:
    case 9:
      return Listing(out);
    default:
      return kSharingFailed;
  }
}

std::optional<int> SharingClientSession::Listing(std::string& out) {
  std::size_t at = 0;
  if (!firstLineSeen_) {
    if (buffer_.size() < 3) return std::nullopt;
    // A listing that does not begin with "+OK" is a failure, not an empty success.
    if (!StartsWith(buffer_, "+OK")) return Fail(kSharingProtocolError);
    const auto end = buffer_.find("\r\n");
    if (end == std::string::npos) {
      if (buffer_.size() > kMaxShortReply) return Fail(kSharingProtocolError);
      return std::nullopt;
    }
    at = end + 2;
    firstLineSeen_ = true;
  }
  const std::size_t maxLine = state_ == 7 ? kMaxFolderLine : kMaxItemLine;
  for (;;) {
    std::string_view name, value;
    std::size_t consumed = 0;
    const int r = SplitHeaderLine(std::string_view(buffer_).substr(at), name, value, consumed);
    if (r == -1) {
      if (buffer_.size() - at > maxLine) return Fail(kSharingProtocolError);
      buffer_.erase(0, at);
      return std::nullopt;
    }
    if (r == -2) return Fail(kSharingProtocolError);
    at += consumed;
    if (StartsWith(name, "CommandEnd")) {
      buffer_.clear();
      firstLineSeen_ = false;
      if (state_ == 7) {
        if (onProgress) onProgress(4);
        state_ = 8;
        item_ = {};
        itemHasURL_ = itemHasFolder_ = false;
        Send("ITEMS\r\n", out);
      } else if (state_ == 8) {
        if (onProgress) onProgress(4);
        state_ = 9;
        item_ = {};
        itemHasURL_ = itemHasFolder_ = false;
        Send("RECV\r\n", out);
      } else {
        state_ = 10;
        if (record_) record_->busy = false;
        return kSharingSuccess;
      }
      return std::nullopt;
    }
    SetField(name, value);
  }
}

void SharingClientSession::SetField(std::string_view name, std::string_view value) {
  if (state_ == 7) {
    if (StartsWith(name, "UID")) {
      folder_.uid = static_cast<std::uint32_t>(ToUInt64(value));
    } else if (StartsWith(name, "Flags")) {
      folder_.flags = static_cast<std::uint32_t>(ToUInt64(value));
    } else if (StartsWith(name, "Name")) {
      folder_.name = std::string(value);
    } else if (StartsWith(name, "ItemEnd")) {
      EndFolder();
    }
    return;
  }
  const bool items = state_ == 8;
  if (StartsWith(name, "DLCount")) {
    item_.downloadCount = static_cast<std::int32_t>(ToInt64(value));
  } else if (StartsWith(name, "Size")) {
    item_.fileSize = ToInt64(value);
  } else if (items && StartsWith(name, "Folder")) {
    item_.folderUID = static_cast<std::uint32_t>(ToUInt64(value));
    itemHasFolder_ = true;
  } else if (StartsWith(name, "Start")) {
    item_.startDate = AbsoluteTimeFrom1904(ToUInt64(value));
  } else if (StartsWith(name, "End")) {
    item_.endDate = AbsoluteTimeFrom1904(ToUInt64(value));
  } else if (StartsWith(name, "UID")) {
    item_.uid = static_cast<std::uint32_t>(ToUInt64(value));
  } else if (StartsWith(name, "Fla")) {
    item_.flags = static_cast<std::int16_t>(ToInt64(value));
  } else if (StartsWith(name, "URL")) {
    if (itemHasURL_) return;  // only the first URL line counts
    itemHasURL_ = true;
    if (items) {
      std::string_view rest = value;
      while (!rest.empty()) {
        const auto cr = rest.find('\r');
        const std::string_view one = rest.substr(0, cr);
        if (!one.empty())
          item_.urlData.push_back(values::Value(values::Dictionary{{"url", std::string(one)}}));
        if (cr == std::string_view::npos) break;
        rest.remove_prefix(cr + 1);
      }
    } else {
      const std::string url = values::Format("http://%@:%d/%@", {host_, port_ + 1, std::string(value)});
      item_.urlData.push_back(values::Value(values::Dictionary{{"url", url}}));
    }
  } else if (StartsWith(name, "Name")) {
    item_.filename = SafeFileName(value);
  } else if (StartsWith(name, "Referer")) {
    for (auto& entry : item_.urlData) {
      if (auto* d = entry.AsDictionary()) (*d)["referer"] = values::Value(std::string(value));
    }
  } else if (StartsWith(name, "ItemEnd")) {
    EndItem();
  }
}

void SharingClientSession::EndFolder() {
  PeerFolder f = std::exchange(folder_, {});
  if (f.uid == 0 || !record_) return;
  if (f.uid == kReceivedFilesUID) f.name = "Received Files";
  std::lock_guard lock(record_->region);
  record_->folders[f.uid] = std::move(f);
}

void SharingClientSession::EndItem() {
  PeerItem item = std::exchange(item_, {});
  const bool hadURL = std::exchange(itemHasURL_, false);
  const bool hadFolder = std::exchange(itemHasFolder_, false);
  if (!record_) return;
  if (state_ == 9) {
    item.uid = nextReceivedUID_++;
    item.folderUID = kReceivedFilesUID;
    item.flags = static_cast<std::int16_t>(item.flags | kItemFlagNameFixed | kItemFlagFileAtPeer |
                                           kItemFlagReceivedFile);
    item.connections = kReceivedFileConnections;
    item.useAuth = true;
    item.authUser = record_->user;
    item.authPassword = record_->password;
  } else {
    if (item.uid == 0 || !hadFolder) return;
    item.connections = kItemConnections;
  }
  if (!hadURL || item.urlData.empty()) return;
  if (item.filename.empty()) {
    const auto* d = item.urlData.front().AsDictionary();
    std::string url;
    if (d) {
      if (auto it = d->find("url"); it != d->end() && it->second.AsString()) url = *it->second.AsString();
    }
    item.filename = NameFromURL(url);
  }
  item.hostID = record_->hostID;
  item.status = kPeerItemStatusOnHold;
  std::lock_guard lock(record_->region);
  const auto folder = record_->folders.find(item.folderUID);
  if (folder == record_->folders.end()) return;
  if ((item.flags & kItemFlagFileAtPeer) && (folder->second.flags & kFolderDownloadable)) {
    item.flags = static_cast<std::int16_t>(item.flags | kItemFlagSharingClient);
  }
  folder->second.items[item.uid] = std::move(item);
}

}  // namespace sharing
