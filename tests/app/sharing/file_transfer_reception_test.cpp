// Files sent to this copy's file server over loopback: a reception cut midway and resumed
// from "uploadStatus", byte-exact (the second half enciphered with a session key); hostile
// requests answered with the canned replies and nothing written outside the folder.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "app/sharing/crypto/rsa_key.h"
#include "app/sharing/crypto/server_key.h"
#include "app/sharing/crypto/session_key.h"
#include "app/sharing/fileserver/file_server_events.h"
#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/sharing/received/partial_received_file.h"
#include "app/util/settings/settings_store.h"
#include "platform/runtime/event_target.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/digest.h"
#include "tests/app/sharing/sharing_test_support.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace {

namespace fs = std::filesystem;
using namespace sharing;
using namespace sharing::testing;
using Clock = std::chrono::steady_clock;

constexpr char kUUID[] = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";

int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  timeval tv{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string ReadAll(int fd) {
  std::string out;
  char buf[65536];
  ssize_t n;
  while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) out.append(buf, static_cast<std::size_t>(n));
  return out;
}

// One request and everything answered before the server closed.
std::string Exchange(int port, const std::string& request) {
  const int fd = Connect(port);
  if (fd < 0) return "";
  [[maybe_unused]] const ssize_t sent = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string out = ReadAll(fd);
  ::close(fd);
  return out;
}

std::string NonceOf(const std::string& reply) {
  const auto at = reply.find("nonce=\"");
  if (at == std::string::npos) return "";
  return reply.substr(at + 7, reply.find('"', at + 7) - at - 7);
}

std::string Request(const std::string& method, const std::string& uri, const std::string& user,
                    const std::string& password, const std::string& nonce, const std::string& extra = "") {
  const std::string ha1 = values::Md5Hex(user + ":trdl_realm:" + password);
  const std::string ha2 = values::Md5Hex((method == "GET" ? "GET:" : "POST:") + uri);
  const std::string response = values::Md5Hex(ha1 + ":" + nonce + ":" + ha2);
  return method + " " + uri + " HTTP/1.1\r\nAuthorization: Digest username=\"" + user +
         "\", realm=\"trdl_realm\", nonce=\"" + nonce + "\", uri=\"" + uri + "\", response=\"" + response +
         "\"\r\n" + extra + "\r\n";
}

class FileTransferReception : public SharingFixture {
 protected:
  void SetUp() override {
    SharingFixture::SetUp();
    ASSERT_TRUE(CopyOrCreateServerKey());
    SetUsers({{"bob", User("bob", "pw", {kSharedFolder}, {kSharedFolder}, true)},
              {"carol", User("carol", "pw", {kSharedFolder}, {kSharedFolder}, false)}});
    root_ = testsupport::MakeTempDir("reception");
    folder_ = fs::path(root_) / "Received Files";
    fs::create_directories(folder_);
    ReceivedFilesServiceSlot::Set(std::make_unique<FixedReceivedFolder>(folder_.string()));
    FileTransferServerOptions options;
    options.port = 0;
    options.loopbackOnly = true;
    options.idleTimeout = std::chrono::seconds(1);
    server_ = FileTransferServer::Start(options);
    ASSERT_TRUE(server_);
    port_ = server_->port();
    nonce_ = NonceOf(Exchange(port_, "GET /uploadStatus HTTP/1.1\r\n\r\n"));
    ASSERT_FALSE(nonce_.empty());
  }
  void TearDown() override {
    server_.reset();
    util::ChangeSettings([](util::Settings& s) { s.requireSecureTransfer = false; });
    SharingFixture::TearDown();
  }
  std::string Status(const std::string& uuid, const std::string& headers, const std::string& user = "bob") {
    return Exchange(port_, Request("GET", "/uploadStatus?" + uuid, user, "pw", nonce_, headers));
  }
  // Everything under the temporary root that is not inside the received-files folder.
  std::vector<std::string> Outside() const {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root_)) {
      const auto rel = e.path().lexically_relative(folder_);
      if (rel.empty() || *rel.begin() == "..") {
        if (e.path() != folder_) out.push_back(e.path().string());
      }
    }
    return out;
  }

  std::string root_;
  fs::path folder_;
  std::unique_ptr<FileTransferServer> server_;
  int port_ = 0;
  std::string nonce_;
};

TEST_F(FileTransferReception, CutMidwayAndResumedFromUploadStatusByteExact) {
  const std::string body = testsupport::RandomBytes(300000, 9);
  const std::string size = std::to_string(body.size());
  const std::string meta = "X-Tr-Filename: notes\r\nX-Tr-Filesize: " + size +
                           "\r\nX-Tr-Resource-Filesize: 0\r\nX-Tr-Mode: 420\r\n";
  const std::string first = Status(kUUID, meta);
  EXPECT_EQ(
      first.rfind("HTTP/1.1 200 OK\r\nX-Content-Range: 0-0/" + size + "\r\nServer: Truvane v5070\r\n", 0), 0u)
      << first;
  EXPECT_NE(first.find("X-Server-Public-Key: "), std::string::npos);

  // The first connection sends part of the body and goes away.
  const std::size_t cut = 120000;
  {
    const int fd = Connect(port_);
    ASSERT_GE(fd, 0);
    const std::string head = Request(
        "POST", std::string("/") + kUUID, "bob", "pw", nonce_,
        "Content-Range: 0-\r\nContent-Length: " + size + "\r\nContent-Type: application/octet-stream\r\n");
    const std::string sent = head + body.substr(0, cut);
    ASSERT_EQ(::send(fd, sent.data(), sent.size(), MSG_NOSIGNAL), static_cast<ssize_t>(sent.size()));
    char buf[256];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(n)),
              "HTTP/1.1 200 OK\r\nServer: Truvane v5070\r\nConnection: close\r\n\r\n");
    ::close(fd);
  }
  // "uploadStatus" tells what arrived; another file's headers do not change it.
  std::string status;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    status = Status(kUUID, "X-Tr-Filesize: 5\r\n");
    if (status.find("X-Content-Range: 0-" + std::to_string(cut) + "/") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(status.find("X-Content-Range: 0-" + std::to_string(cut) + "/" + size + "\r\n"), std::string::npos)
      << status;

  // The rest, enciphered with a session key made under the server's public key.
  const std::string keyHex = status.substr(status.find("X-Server-Public-Key: ") + 21);
  const auto key = RSAKey::FromPublicKeyString(keyHex.substr(0, keyHex.find('\r')), "65537");
  ASSERT_TRUE(key);
  std::string keyText;
  auto cipher = CreateSessionKey(*key, keyText);
  ASSERT_TRUE(cipher);
  std::string rest = body.substr(cut);
  SessionCipherApply(*cipher, reinterpret_cast<std::uint8_t*>(rest.data()), rest.size());
  const std::string reply = Exchange(
      port_, Request("POST", std::string("/") + kUUID, "bob", "pw", nonce_,
                     "Content-Range: " + std::to_string(cut) + "-\r\nX-Session-Key: " + keyText + "\r\n") +
                 rest);
  EXPECT_EQ(reply, "HTTP/1.1 200 OK\r\nServer: Truvane v5070\r\nConnection: close\r\n\r\n");
  const fs::path received = folder_ / "bob" / "notes";
  const auto until = Clock::now() + std::chrono::seconds(10);
  while (!fs::exists(received) && Clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(fs::exists(received));
  EXPECT_TRUE(testsupport::ReadFile(received.string()) == body);
  EXPECT_FALSE(fs::exists(folder_ / "bob" / (std::string(kUUID) + ".partial")));
  EXPECT_EQ(fs::status(received).permissions(), fs::perms(0644));
  EXPECT_TRUE(Outside().empty());
}

TEST_F(FileTransferReception, HostileRequestsGetTheCannedRepliesAndWriteNothingOutside) {
  const std::string e400 =
      "HTTP/1.1 400 Invalid request\r\n\r\n<html><body><h1>400 Invalid Request</h1></body></html>";
  const std::string e403 = "HTTP/1.1 403 Forbidden\r\n\r\n<html><body><h1>403 Forbidden</h1></body></html>";
  const std::string e404 =
      "HTTP/1.1 404 File Not Found\r\n\r\n<html><body><h1>404 File Not Found</h1></body></html>";
  const std::string e500 =
      "HTTP/1.1 500 internal error\r\n\r\n<html><body><h1>500 Internal Error</h1></body></html>";
  // A package far larger than the disk, made behind the server's back.
  constexpr char kHuge[] = "11111111-2222-3333-4444-555555555555";
  ASSERT_TRUE(CreatePartialReceivedFile(folder_, "bob", kHuge, "huge", std::int64_t{1} << 49, 0, {}));
  constexpr char kSmall[] = "AAAAAAAA-2222-3333-4444-555555555555";
  ASSERT_EQ(
      Status(kSmall, "X-Tr-Filename: ../../../escaped\r\nX-Tr-Filesize: 4\r\n").rfind("HTTP/1.1 200 OK", 0),
      0u);

  const std::string post = std::string("/") + kSmall;
  const struct {
    const char* what;
    std::string request;
    std::string reply;
  } hostile[] = {
      {"uploadStatus without a query", Request("GET", "/uploadStatus", "bob", "pw", nonce_), e400},
      {"uploadStatus of a path", Request("GET", "/uploadStatus?../../etc", "bob", "pw", nonce_), e400},
      {"a user that may not send",
       Request("GET", std::string("/uploadStatus?") + kUUID, "carol", "pw", nonce_), e403},
      {"a user that may not POST", Request("POST", post, "carol", "pw", nonce_, "Content-Range: 0-\r\n"),
       e403},
      {"a file larger than the disk",
       Request("GET", std::string("/uploadStatus?") + kUUID, "bob", "pw", nonce_,
               "X-Tr-Filesize: 562949953421312\r\nX-Tr-Filename: big\r\n"),
       e500},
      {"a body larger than the disk",
       Request("POST", std::string("/") + kHuge, "bob", "pw", nonce_,
               "Content-Range: 0-\r\nContent-Length: 562949953421312\r\n"),
       e500},
      {"traversal instead of a UUID", Request("POST", "/../../../etc/passwd", "bob", "pw", nonce_), e404},
      {"a UUID with no package", Request("POST", std::string("/") + kUUID, "bob", "pw", nonce_), e404},
      {"a start past the bytes held", Request("POST", post, "bob", "pw", nonce_, "Content-Range: 2-\r\n"),
       e500},
      {"a negative start", Request("POST", post, "bob", "pw", nonce_, "Content-Range: -5-\r\n"), e500},
      {"a head that never ends", Request("POST", post, "bob", "pw", nonce_, "X: " + std::string(13000, 'a')),
       ""},
      {"a client that stops mid-head", "POST " + post + " HTTP/1.1\r\nAuthorization: Dig", ""},
  };
  for (const auto& h : hostile) EXPECT_EQ(Exchange(port_, h.request), h.reply) << h.what;
  const std::string wrong = Exchange(port_, Request("POST", post, "bob", "nope", nonce_));
  EXPECT_EQ(wrong.rfind("HTTP/1.1 401 Unauthorised\r\n", 0), 0u) << wrong;

  // Clear transfers refused: a POST without a session key gets 499, not the file.
  util::ChangeSettings([](util::Settings& s) { s.requireSecureTransfer = true; });
  const std::string clear =
      Exchange(port_, Request("POST", post, "bob", "pw", nonce_, "Content-Range: 0-\r\n") + "abcd");
  EXPECT_EQ(clear.rfind("HTTP/1.1 499 Bad session\r\n", 0), 0u) << clear;
  util::ChangeSettings([](util::Settings& s) { s.requireSecureTransfer = false; });

  // The name that tried to climb out lands inside the sender's folder.
  EXPECT_EQ(Exchange(port_, Request("POST", post, "bob", "pw", nonce_, "Content-Range: 0-\r\n") + "abcd"),
            "HTTP/1.1 200 OK\r\nServer: Truvane v5070\r\nConnection: close\r\n\r\n");
  const fs::path landed = folder_ / "bob" / "..:..:..:escaped";
  const auto until = Clock::now() + std::chrono::seconds(10);
  while (!fs::exists(landed) && Clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(testsupport::ReadFile(landed.string()), "abcd");
  EXPECT_TRUE(Outside().empty());
}

}  // namespace

namespace {

// A free port of 127.0.0.1 above 1024.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

TEST(FileTransferServerSettings, TheServerFollowsTheAppliedPreferences) {
  const util::Settings before = *util::CurrentSettings();
  const int port = FreePort();
  ASSERT_GT(port, 1024);
  const struct {
    const char* what;
    bool share;
    std::int32_t maxDownloads, maxUploads;
    bool running;
  } steps[] = {
      {"sharing on, peers may fetch", true, 2, 0, true},
      {"peers may send too", true, 2, 2, true},
      {"no direction allowed", true, 0, 0, false},
      {"a direction again", true, 0, 1, true},
      {"sharing off", false, 2, 2, false},
  };
  for (const auto& s : steps) {
    util::ChangeSettings([&](util::Settings& set) {
      set.shareFolders = s.share;
      set.sharePort = port - 1;
      set.maxDownloads = s.maxDownloads;
      set.maxUploads = s.maxUploads;
    });
    sharing::ApplyFileTransferServerSettings();
    EXPECT_EQ(sharing::FileTransferServerRunning(), s.running) << s.what;
    // Running means answering on the share port + 1.
    if (s.running) {
      EXPECT_EQ(Exchange(port, "BREW / HTTP/1.1\r\n\r\n").rfind("HTTP/1.1 401", 0), 0u) << s.what;
    }
  }
  sharing::StopFileTransferServer();
  util::ChangeSettings([&](util::Settings& set) { set = before; });
}

// The once-a-second read-out of what was sent goes to the main thread only while the
// server activity window is shown.
TEST_F(FileTransferReception, SpeedReadOutOnlyWhileTheActivityWindowIsShown) {
  int readOuts = 0;
  auto handler = runtime::EventTarget::Application()->InstallHandler(
      {{sharing::kFileServerSpeedEventClass, 1}}, [&](runtime::HandlerCall&, runtime::Event& event) {
        EXPECT_EQ(event.GetInteger(runtime::kParamDirectObject), 0);
        readOuts += 1;
        return runtime::kNoErr;
      });
  const auto runUntil = [](const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done() && Clock::now() < deadline)
      runtime::RunLoop::Main()->RunFor(std::chrono::milliseconds(20), true);
  };
  sharing::SetServerActivityWindowShown(true);
  runUntil([&] { return readOuts > 0; }, std::chrono::seconds(5));
  EXPECT_GT(readOuts, 0);
  sharing::SetServerActivityWindowShown(false);
  runUntil([] { return false; }, std::chrono::milliseconds(100));
  readOuts = 0;
  runUntil([] { return false; }, std::chrono::milliseconds(1500));
  EXPECT_EQ(readOuts, 0);
  handler->Remove();
}

}  // namespace
