// The server on a loopback socket: a whole client session against it, and hostile clients
// that must neither crash it, nor get past the login, nor keep others out.
#include "app/sharing/server/sharing_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "app/sharing/client/sharing_client.h"
#include "app/sharing/server/sharing_session.h"
#include "platform/runtime/unique_fd.h"
#include "tests/app/sharing/sharing_test_support.h"

namespace sharing {
namespace {

using namespace sharing::testing;
using Clock = std::chrono::steady_clock;

int Connect(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Reads until `until` is in what came, the peer closes, or 5 s pass.
std::string ReadUntil(int fd, const std::string& until) {
  std::string got;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < deadline && got.find(until) == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

// True when the peer closed the connection within 5 s.
bool ClosedByPeer(int fd) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return true;
  }
  return false;
}

void SendText(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

SharingClientPolicy TrustingPolicy() {
  SharingClientPolicy p;
  p.checkKey = [](const std::string&, const std::string&) { return true; };
  p.allowUnsecured = [](const std::string&, bool& asked) {
    asked = false;
    return false;
  };
  return p;
}

class SharingServerTest : public SharingFixture {
 protected:
  void SetUp() override {
    SharingFixture::SetUp();
    // This process holds both ends of every connection.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 4096) {
      files.rlim_cur = std::min<rlim_t>(files.rlim_max, 4096);
      ::setrlimit(RLIMIT_NOFILE, &files);
    }
    SharingServerOptions options;
    options.port = 0;
    options.loopbackOnly = true;
    options.maxConnections = 16;
    options.loginTimeout = std::chrono::seconds(3);
    options.idleTimeout = std::chrono::seconds(3);
    server_ = SharingServer::Start(options);
    ASSERT_TRUE(server_);
  }
  void TearDown() override {
    server_.reset();
    SharingFixture::TearDown();
  }
  std::string Address() const { return "127.0.0.1:" + std::to_string(server_->port()); }

  // A whole session as the program's client runs it; its result.
  int RunClient(const std::string& user, const std::string& password, PeerHostRef* record = nullptr) {
    SharingClientRequest r;
    r.address = Address();
    r.user = user;
    r.password = password;
    SharingClientSession session(r, TrustingPolicy());
    const int result = RunSharingClientSession(session);
    if (record) *record = session.record();
    return result;
  }

  std::unique_ptr<SharingServer> server_;
};

TEST_F(SharingServerTest, ClientLogsInEnciphersAndFillsThePeerRecord) {
  PeerHostRef record;
  EXPECT_EQ(RunClient("bob", "pw", &record), kSharingSuccess);
  ASSERT_TRUE(record);
  EXPECT_TRUE(record->flags & kPeerSessionEnciphered);
  EXPECT_EQ(record->name, SharingComputerName());
  EXPECT_EQ(record->port, server_->port());
  ASSERT_TRUE(record->folders.contains(kSharedFolder));
  ASSERT_TRUE(record->folders.contains(kSmartFolder));
  const auto& items = record->folders.at(kSharedFolder).items;
  ASSERT_EQ(items.size(), 2u);
  const PeerItem& a = items.at(7);
  EXPECT_EQ(a.filename, "a.bin");
  EXPECT_EQ(a.fileSize, 1234);
  EXPECT_EQ(a.downloadCount, 2);
  EXPECT_EQ(a.flags, kItemFlagFileAtPeer | kItemFlagSharingClient);
  EXPECT_EQ(a.connections, 4);
  ASSERT_EQ(a.urlData.size(), 2u);
  std::string url, referer;
  a.urlData[1].GetString("url", url);
  a.urlData[1].GetString("referer", referer);
  EXPECT_EQ(url, "http://mirror.test/a.bin");
  EXPECT_EQ(referer, "http://example.test/");
  EXPECT_TRUE(record->folders.at(kSmartFolder).items.empty());
  EXPECT_EQ(FindPeerHost(record->hostID), record);
  RemovePeerHost(record->hostID);
}

TEST_F(SharingServerTest, WrongPasswordIsRefusedAndNoPeerIsKept) {
  PeerHostRef record;
  EXPECT_EQ(RunClient("bob", "nope", &record), kSharingLoginRefused);
  EXPECT_FALSE(record);
}

TEST_F(SharingServerTest, HostileClientsNeitherCrashNorLeakNorBlockOthers) {
  // Each hostile client calls `others` at its worst moment: a real client must be served
  // then, and again once the hostile one is done.
  using Others = std::function<void()>;
  struct Hostile {
    const char* what;
    std::function<void(std::uint16_t port, const Others& others)> run;
  } table[] = {
      {"a 10 MB line",
       [](std::uint16_t port, const Others& others) {
         runtime::UniqueFd fd(Connect(port));
         ReadUntil(fd.get(), ">\r\n");
         const std::string chunk(1 << 20, 'A');
         SendText(fd.get(), chunk.substr(0, 1000));
         others();
         for (int i = 0; i < 10; ++i) SendText(fd.get(), chunk);
         EXPECT_TRUE(ClosedByPeer(fd.get()));
       }},
      {"commands before the login",
       [](std::uint16_t port, const Others& others) {
         runtime::UniqueFd fd(Connect(port));
         ReadUntil(fd.get(), ">\r\n");
         SendText(fd.get(), "ITEMS\r\nRECV\r\nFOLDERS\r\n");
         EXPECT_EQ(ReadUntil(fd.get(), "\r\n"), "-ERR Bad Authentication.\r\n");
         EXPECT_TRUE(ClosedByPeer(fd.get()));
         others();
       }},
      {"paths in place of a login",
       [](std::uint16_t port, const Others& others) {
         for (const char* line :
              {"../../../etc/passwd*/*/0\r\n", "/etc/passwd\r\n", "Guest/../bob*/*/0\r\n"}) {
           runtime::UniqueFd fd(Connect(port));
           ReadUntil(fd.get(), ">\r\n");
           SendText(fd.get(), line);
           EXPECT_EQ(ReadUntil(fd.get(), "\r\n"), "-ERR Bad Authentication.\r\n") << line;
         }
         others();
       }},
      {"a thousand idle connections",
       [](std::uint16_t port, const Others& others) {
         std::vector<runtime::UniqueFd> idle;
         for (int i = 0; i < 1000; ++i) {
           idle.emplace_back(Connect(port));
           ASSERT_GE(idle.back().get(), 0) << i;
         }
         others();
       }},
      {"clients that vanish mid-reply",
       [](std::uint16_t port, const Others& others) {
         for (int i = 0; i < 20; ++i) {
           runtime::UniqueFd fd(Connect(port));
           const std::string greeting = ReadUntil(fd.get(), ">\r\n");
           // Turned away while every place is taken by a logged-in peer.
           if (greeting.size() < kGreetingLength) continue;
           SendText(fd.get(), LoginLine("bob", greeting.substr(7, kChallengeLength), "pw"));
           ReadUntil(fd.get(), "accepted.\r\n");
           std::string many;
           for (int j = 0; j < 200; ++j) many += "ITEMS\r\n";
           SendText(fd.get(), many);
           if (i == 10) others();
         }
       }},
  };
  // Enough items that a reply does not fit the socket buffers.
  for (std::uint32_t uid = 100; uid < 400; ++uid) {
    ListedItem item;
    item.uid = uid;
    item.folderUID = kSharedFolder;
    item.name = std::string(200, 'n');
    item.urls = "http://example.test/" + std::string(300, 'u');
    listing_->items[kSharedFolder].push_back(item);
  }
  for (const auto& h : table) {
    SCOPED_TRACE(h.what);
    bool served = false;
    h.run(server_->port(), [&] {
      PeerHostRef record;
      served = RunClient("bob", "pw", &record) == kSharingSuccess;
      if (record) RemovePeerHost(record->hostID);
    });
    EXPECT_TRUE(served) << "while " << h.what;
    // Done means its connections are gone: a loaded machine may take a moment to see the
    // last of them close, and until then they hold every place.
    for (const auto until = Clock::now() + std::chrono::seconds(10);
         server_->connectionCount() > 0 && Clock::now() < until;)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(RunClient("Guest", ""), kSharingSuccess) << "after " << h.what;
  }
  // Every connection ends by itself: the vanished and the idle ones by their time-outs.
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (server_->connectionCount() > 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(server_->connectionCount(), 0u);
}

// After refused logins the next login from the same address waits, longer each time; the
// wait does not count against the login time-out.
TEST_F(SharingServerTest, RefusedLoginsHoldBackTheNextFromTheSameAddress) {
  const auto refuse = [&](std::chrono::seconds bound) {
    runtime::UniqueFd fd(Connect(server_->port()));
    const std::string greeting = ReadUntil(fd.get(), ">\r\n");
    if (greeting.size() < kGreetingLength) return false;
    SendText(fd.get(), LoginLine("bob", greeting.substr(7, kChallengeLength), "guess"));
    std::string got;
    for (const auto deadline = Clock::now() + bound;
         Clock::now() < deadline && got.find("\r\n") == std::string::npos;) {
      got += ReadUntil(fd.get(), "\r\n");
    }
    return got == "-ERR Bad Authentication.\r\n";
  };
  // Waits of 0, 0.5, 1 and 2 s before these.
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(refuse(std::chrono::seconds(30))) << i;
  // The next waits 4 s after the last refusal: well over 2 s after it reached the client.
  const auto lastRefused = Clock::now();
  ASSERT_TRUE(refuse(std::chrono::seconds(30)));
  EXPECT_GE(Clock::now() - lastRefused, std::chrono::seconds(2));
}

TEST_F(SharingServerTest, IdleConnectionsAreClosedAfterTheirTimeOut) {
  runtime::UniqueFd fd(Connect(server_->port()));
  EXPECT_EQ(ReadUntil(fd.get(), ">\r\n").size(), kGreetingLength);
  const auto start = Clock::now();
  EXPECT_TRUE(ClosedByPeer(fd.get()));
  EXPECT_GE(Clock::now() - start, std::chrono::seconds(2));
}

TEST_F(SharingServerTest, StopEndsEveryConnection) {
  runtime::UniqueFd fd(Connect(server_->port()));
  ReadUntil(fd.get(), ">\r\n");
  server_->Stop();
  EXPECT_TRUE(ClosedByPeer(fd.get()));
  EXPECT_EQ(server_->connectionCount(), 0u);
  EXPECT_LT(Connect(server_->port()), 0);
}

}  // namespace
}  // namespace sharing
