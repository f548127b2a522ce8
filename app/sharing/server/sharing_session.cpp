#include "app/sharing/server/sharing_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <utility>

#include "app/sharing/crypto/server_key.h"
#include "app/sharing/services/received_files_service.h"
#include "app/sharing/services/shared_listing_service.h"
#include "app/util/helpers/task_helpers.h"
#include "app/util/settings/settings_store.h"
#include "app/util/settings/sharing_password_scramble.h"
#include "app/util/settings/sharing_users.h"
#include "platform/values/format.h"

namespace sharing {
namespace {

constexpr const char kOK[] = "+OK\r\n";
constexpr const char kErr[] = "-ERR\r\n";
constexpr const char kCommandEnd[] = "CommandEnd:\r\n";
constexpr const char kSetSessionKey[] = "SETSESSIONKEY";

bool Contains(const std::vector<std::uint32_t>& uids, std::uint32_t uid) {
  return std::find(uids.begin(), uids.end(), uid) != uids.end();
}

// A path component that names exactly one folder entry below another.
bool IsPlainComponent(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

std::optional<std::string> RealPath(const std::string& path) {
  char buf[PATH_MAX];
  if (::realpath(path.c_str(), buf) == nullptr) return std::nullopt;
  return std::string(buf);
}

}  // namespace

std::string SharingComputerName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "Unknown";
  return name;
}

bool ReceivedFileVisibleToUser(const std::string& file, const std::string& folder, const std::string& user) {
  const std::string prefix = folder.empty() || folder.back() != '/' ? folder + "/" : folder;
  if (file.size() <= prefix.size() || file.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string_view rest = std::string_view(file).substr(prefix.size());
  const auto slash = rest.find('/');
  if (slash == std::string_view::npos) return true;  // directly in the folder
  const std::string_view first = rest.substr(0, slash);
  if (first == kGuestUser) return true;
  return IsPlainComponent(user) && first == user;
}

SharingSession::SharingSession(std::string remoteHost) : remoteHost_(std::move(remoteHost)) {}

SharingSession::~SharingSession() = default;

std::string SharingSession::Greeting() {
  challenge_ = MakeChallenge();
  return GreetingLine(challenge_);
}

void SharingSession::Write(std::string text, std::string& out) {
  if (cipher_) SessionCipherApply(*cipher_, reinterpret_cast<std::uint8_t*>(text.data()), text.size());
  out += text;
}

bool SharingSession::Receive(std::span<const std::uint8_t> bytes, std::string& out) {
  return Take(bytes) && HandleLines(out);
}

bool SharingSession::Take(std::span<const std::uint8_t> bytes) {
  if (state_ == LoginState::kRefused) return false;
  std::string clear(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (cipher_) SessionCipherApply(*cipher_, reinterpret_cast<std::uint8_t*>(clear.data()), clear.size());
  return lines_.Append(clear);
}

bool SharingSession::HandleLines(std::string& out) {
  if (state_ == LoginState::kRefused) return false;
  while (out.size() < kMaxPendingReply) {
    auto line = lines_.NextLine();
    if (!line) break;
    const bool goOn =
        state_ == LoginState::kAwaitingLogin ? HandleLogin(*line, out) : HandleCommand(*line, out);
    if (!goOn) return false;
  }
  return true;
}

bool SharingSession::HandleLogin(const std::string& line, std::string& out) {
  const auto login = ParseLoginLine(line);
  bool accepted = false;
  bool mayUpload = false;
  std::string user = login ? login->user : std::string();
  if (login) {
    runtime::RegionGuard inside(util::SharingUsersRegion());
    const util::SharingUsersTable& users = util::SharingUsers();
    const auto it = users.find(login->user);
    const bool guestWithoutRights = it != users.end() && it->first == kGuestUser &&
                                    it->second.viewUIDs.empty() && it->second.downloadUIDs.empty() &&
                                    !it->second.canUpload;
    if (it != users.end() && !guestWithoutRights) {
      const std::string password = util::DecodeSharingPassword(it->second.passwordData, it->first);
      const std::string expected = LoginResponse(challenge_, password);
      if (login->response.size() >= kChallengeLength &&
          login->response.compare(0, kChallengeLength, expected) == 0) {
        accepted = true;
        visibleFolders_ = it->second.viewUIDs;
        downloadFolders_ = it->second.downloadUIDs;
        mayUpload = it->second.canUpload && util::CurrentSettings()->maxUploads > 0;
      }
    }
  }
  if (!accepted) {
    util::PostLogMessageEvent(values::Format("Failed login from %@", {remoteHost_}));
    state_ = LoginState::kRefused;
    Write("-ERR Bad Authentication.\r\n", out);
    return false;
  }
  user_ = user;
  std::string names;
  const auto folders = SharedListingServiceSlot::Get().CopyFolders();
  for (std::uint32_t uid : visibleFolders_) {
    const auto f =
        std::find_if(folders.begin(), folders.end(), [uid](const ListedFolder& x) { return x.uid == uid; });
    if (f != folders.end()) names += values::Format("%@, ", {f->name});
  }
  util::PostLogMessageEvent(
      values::Format("Sucessful login from %@\rLogged in as %@, can access the following folder(s): ",
                     {remoteHost_, user_}) +
      names);
  state_ = LoginState::kLoggedIn;
  Write(
      values::Format("+OK %lu Authentication accepted.\r\n", {static_cast<unsigned long>(mayUpload ? 1 : 0)}),
      out);
  return true;
}

bool SharingSession::HandleCommand(const std::string& line, std::string& out) {
  if (line == "QUIT") return false;
  if (line == "PUBKEY") {
    const auto key = CopyOrCreateServerKey();
    Write(key ? std::string(kOK) + key->PublicKeyString() + "\r\n" : std::string(kErr), out);
  } else if (line.compare(0, sizeof kSetSessionKey - 1, kSetSessionKey) == 0) {
    SessionCipherPtr next;
    const auto blank = line.find(' ');
    if (blank != std::string::npos) {
      if (const auto key = CopyOrCreateServerKey()) next = AcceptSessionKey(*key, line.substr(blank + 1));
    }
    // The new key enciphers its own "+OK": the client installs it as soon as it has sent
    // the command.
    if (next) cipher_ = std::move(next);
    Write(cipher_ ? kOK : kErr, out);
  } else if (line == "NAME") {
    Write(std::string(kOK) + FieldValue(SharingComputerName()) + "\r\n", out);
  } else if (line == "FOLDERS") {
    Write(FolderListing(), out);
  } else if (line == "ITEMS") {
    Write(ItemListing(), out);
  } else if (line == "RECV") {
    Write(ReceivedFileListing(), out);
  } else {
    Write("-ERR unknown command\r\n", out);
  }
  return true;
}

bool SharingSession::Visible(std::uint32_t uid) const {
  return Contains(visibleFolders_, uid);
}

bool SharingSession::Downloadable(std::uint32_t uid) const {
  return Contains(downloadFolders_, uid);
}

std::string SharingSession::FolderListing() const {
  const bool peersMayFetch = util::CurrentSettings()->maxDownloads > 0;
  std::string text = kOK;
  for (const ListedFolder& f : SharedListingServiceSlot::Get().CopyFolders()) {
    const bool listed = f.uid >= kFirstUserFolderUID ||
                        (f.uid == kReceivedFilesFolderUID && (f.flags & kFolderFlagSmart) == 0);
    if (!listed || !Visible(f.uid)) continue;
    std::uint32_t flags = f.flags;
    if (peersMayFetch && Downloadable(f.uid)) flags |= kFolderFlagDownloadable;
    text +=
        values::Format("UID:%lu\r\nName:%@\r\nFlags:%lu\r\nItemEnd:\r\n",
                       {static_cast<unsigned long>(f.uid), FieldValue(CutUtf8(f.name, kMaxListedFolderName)),
                        static_cast<unsigned long>(flags)});
  }
  return text + kCommandEnd;
}

std::string SharingSession::ItemListing() const {
  std::string text = kOK;
  auto& listing = SharedListingServiceSlot::Get();
  for (const ListedFolder& f : listing.CopyFolders()) {
    if (f.uid < kFirstUserFolderUID || (f.flags & kFolderFlagSmart) != 0 || !Visible(f.uid)) continue;
    for (const ListedItem& item : listing.CopyFolderItems(f.uid)) {
      std::int16_t flags = item.flags;
      if (item.finishedFileKnown) flags = static_cast<std::int16_t>(flags | kFolderFlagDownloadable);
      text += values::Format("UID:%lu\r\nFolder:%lu\r\nName:%@\r\nURL:%@\r\n",
                             {static_cast<unsigned long>(item.uid), static_cast<unsigned long>(f.uid),
                              FieldValue(item.name), FieldValue(item.urls, true)});
      if (item.referer) text += "Referer:" + FieldValue(*item.referer) + "\r\n";
      text += values::Format("DLCount:%d\r\nSize:%lld\r\nFlags:%d\r\nStart:%llu\r\nEnd:%llu\r\nItemEnd:\r\n",
                             {item.downloadCount, static_cast<long long>(item.size), static_cast<int>(flags),
                              static_cast<unsigned long long>(SecondsSince1904(item.startDate)),
                              static_cast<unsigned long long>(SecondsSince1904(item.endDate))});
    }
  }
  return text + kCommandEnd;
}

std::string SharingSession::ReceivedFileListing() const {
  std::string text = kOK;
  std::optional<std::string> folder;
  if (Visible(kReceivedFilesFolderUID)) {
    if (auto f = ReceivedFilesServiceSlot::Get().GetReceivedFilesFolder(false))
      folder = RealPath(f->string());
  }
  if (folder) {
    for (const ListedReceivedFile& r : SharedReceivedFilesSlot::Get().CopyReceivedFiles()) {
      if (r.status != 1 || !r.path) continue;
      // Only a regular file counts, found through its real path: a link in the folder
      // must not hand out what it points to.
      struct stat st {};
      if (::lstat(r.path->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
      const auto real = RealPath(*r.path);
      if (!real || !ReceivedFileVisibleToUser(*real, *folder, user_)) continue;
      text += values::Format("Name:%@\r\nSize:%lld\r\nURL:receivedFile?%@\r\nItemEnd:\r\n",
                             {FieldValue(r.name), static_cast<long long>(r.size), FieldValue(r.uidString)});
    }
  }
  return text + kCommandEnd;
}

}  // namespace sharing
