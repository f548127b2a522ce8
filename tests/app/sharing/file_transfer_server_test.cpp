// The file server in this process, with a queue of its own making: what a sending
// connection counts and announces, the limit of peers fetched from at once, and a finished
// file replaced by a link.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/sharing/fileserver/transfer_digest.h"
#include "app/sharing/services/shared_listing_service.h"
#include "app/util/desktop/notification_bridges.h"
#include "app/util/settings/settings_store.h"
#include "app/util/settings/sharing_password_scramble.h"
#include "app/util/settings/sharing_users.h"
#include "platform/values/digest.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace {

class OneItem : public sharing::SharedListingService {
 public:
  explicit OneItem(std::string path) : path_(std::move(path)) {}
  std::vector<sharing::ListedFolder> CopyFolders() override { return {}; }
  std::vector<sharing::ListedItem> CopyFolderItems(std::uint32_t) override { return {}; }
  sharing::SharedItemAccess FindSharedItemFile(std::uint32_t uid, const std::vector<std::uint32_t>&,
                                               sharing::SharedItemFile& file) override {
    if (uid != 7) return sharing::SharedItemAccess::kNotFound;
    file = {path_, "big.bin"};
    return sharing::SharedItemAccess::kGranted;
  }

 private:
  std::string path_;
};

int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  timeval tv{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  return fd;
}

std::string Request(const std::string& uri) {
  sharing::DigestFields f{"bob", sharing::MakeTransferNonce(sharing::UpTimeNanoseconds()), uri, "trdl_realm",
                          ""};
  f.response = sharing::ExpectedDigestResponse(f, "GET", "pw");
  return "GET " + uri +
         " HTTP/1.1\r\nAuthorization: Digest username=\"bob\", realm=\"trdl_realm\", nonce=\"" + f.nonce +
         "\", uri=\"" + uri + "\", response=\"" + f.response + "\"\r\n\r\n";
}

std::string ReadAll(int fd, std::size_t limit = SIZE_MAX) {
  std::string out;
  char buf[65536];
  ssize_t n;
  while (out.size() < limit && (n = ::recv(fd, buf, sizeof buf, 0)) > 0)
    out.append(buf, static_cast<std::size_t>(n));
  return out;
}

TEST(FileTransferServer, CountsSendersRefusesOneTooManyAndFollowsNoLink) {
  const std::string dir = testsupport::MakeTempDir("file-server");
  const std::string body = testsupport::RandomBytes(16 * 1024 * 1024, 5);
  testsupport::WriteFile(dir + "/big.bin", body);
  auto oldListing = sharing::SharedListingServiceSlot::Set(std::make_unique<OneItem>(dir + "/big.bin"));
  {
    runtime::RegionGuard inside(util::SharingUsersRegion());
    util::SharingUserRecord bob;
    bob.passwordData = util::EncodeSharingPassword("pw", "bob");
    bob.downloadUIDs = {0x100000};
    util::SharingUsers()["bob"] = bob;
  }
  util::ChangeSettings([](util::Settings& s) { s.maxDownloads = 1; });
  std::atomic<int> changes{0};
  auto subscription = util::GetLocalNotificationCenter().AddObserver(
      std::string(util::kDownloadServersChanged), {}, [&](const runtime::Notification&) { changes += 1; });

  sharing::FileTransferServerOptions options;
  options.port = 0;
  options.loopbackOnly = true;
  auto server = sharing::FileTransferServer::Start(options);
  ASSERT_TRUE(server);

  // A peer that stops reading keeps its place; the next one is refused while it does.
  const int slow = Connect(server->port());
  const std::string first = Request("/7?dig");
  ASSERT_EQ(::send(slow, first.data(), first.size(), 0), static_cast<ssize_t>(first.size()));
  EXPECT_EQ(ReadAll(slow, 1).rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(server->runningDownloads(), 1);
  const int next = Connect(server->port());
  const std::string second = Request("/7");
  ::send(next, second.data(), second.size(), 0);
  EXPECT_EQ(ReadAll(next),
            "HTTP/1.1 421 Server Busy\r\n\r\n<html><body><h1>421 Server Busy</h1>Please try again "
            "later</body></html>");
  ::close(next);
  const std::string rest = ReadAll(slow);
  ::close(slow);
  EXPECT_GT(rest.size(), body.size() / 2);
  for (int i = 0; i < 100 && server->runningDownloads() != 0; ++i) ::usleep(20000);
  EXPECT_EQ(server->runningDownloads(), 0);
  EXPECT_EQ(changes.load(), 2);

  // A link where the finished file was is not followed.
  std::filesystem::remove(dir + "/big.bin");
  std::filesystem::create_symlink("/etc/passwd", dir + "/big.bin");
  const int linked = Connect(server->port());
  const std::string third = Request("/7");
  ::send(linked, third.data(), third.size(), 0);
  EXPECT_EQ(ReadAll(linked).rfind("HTTP/1.1 404 File Not Found\r\n", 0), 0u);
  ::close(linked);

  server->Stop();
  sharing::SharedListingServiceSlot::Set(std::move(oldListing));
  util::ChangeSettings([](util::Settings& s) { s.maxDownloads = 4; });
  runtime::RegionGuard inside(util::SharingUsersRegion());
  util::SharingUsers().erase("bob");
}

// Connections that never finish a request head cannot lock peers out: at the limit the
// oldest of them makes room for a new connection, and a head dribbled a byte at a time is
// cut when its time is up however often a byte comes.
TEST(FileTransferServer, SlowHeadsNeverLockOutRealRequests) {
  const std::string dir = testsupport::MakeTempDir("file-server");
  const std::string body = testsupport::RandomBytes(1000, 6);
  testsupport::WriteFile(dir + "/big.bin", body);
  auto oldListing = sharing::SharedListingServiceSlot::Set(std::make_unique<OneItem>(dir + "/big.bin"));
  {
    runtime::RegionGuard inside(util::SharingUsersRegion());
    util::SharingUserRecord bob;
    bob.passwordData = util::EncodeSharingPassword("pw", "bob");
    bob.downloadUIDs = {0x100000};
    util::SharingUsers()["bob"] = bob;
  }
  sharing::FileTransferServerOptions options;
  options.port = 0;
  options.loopbackOnly = true;
  // Time enough that the slow connections would still hold their places.
  options.idleTimeout = std::chrono::seconds(60);
  auto server = sharing::FileTransferServer::Start(options);
  ASSERT_TRUE(server);

  // Every place taken by a connection that sent one byte of a head.
  std::vector<int> slow;
  for (std::size_t i = 0; i < options.maxConnections; ++i) {
    slow.push_back(Connect(server->port()));
    ASSERT_EQ(::send(slow.back(), "G", 1, MSG_NOSIGNAL), 1);
  }
  for (int i = 0; i < 10; ++i) {
    const int fd = Connect(server->port());
    const std::string request = Request("/7");
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    const std::string reply = ReadAll(fd);
    ::close(fd);
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << i << ": " << reply.substr(0, 80);
    EXPECT_EQ(reply.substr(reply.size() - std::min(reply.size(), body.size())), body) << i;
  }
  for (int fd : slow) ::close(fd);
  server->Stop();

  // A byte every 100 ms: the connection is closed once the head's time is up.
  options.idleTimeout = std::chrono::seconds(1);
  server = sharing::FileTransferServer::Start(options);
  ASSERT_TRUE(server);
  const int dribbler = Connect(server->port());
  const auto started = std::chrono::steady_clock::now();
  bool closed = false;
  const std::string start = "GET /7 HTTP/1.1\r\nX-Padding: ";
  ASSERT_EQ(::send(dribbler, start.data(), start.size(), MSG_NOSIGNAL), static_cast<ssize_t>(start.size()));
  while (!closed && std::chrono::steady_clock::now() - started < std::chrono::seconds(30)) {
    if (::send(dribbler, "a", 1, MSG_NOSIGNAL) != 1) closed = true;
    char c;
    const ssize_t n = ::recv(dribbler, &c, 1, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN)) closed = true;
    if (!closed) ::usleep(100000);
  }
  ::close(dribbler);
  EXPECT_TRUE(closed) << "a dribbled head held its connection for 30 s";

  server->Stop();
  sharing::SharedListingServiceSlot::Set(std::move(oldListing));
  runtime::RegionGuard inside(util::SharingUsersRegion());
  util::SharingUsers().erase("bob");
}

}  // namespace
