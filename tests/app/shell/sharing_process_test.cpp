// Two copies of the real program, each with its own home, sharing over loopback: one shares
// a finished download in a user folder; the other logs in through the scripting suite
// (wrong password, then the right one), lists the peer's folders and items, queues the
// peer's item as a download through its own queue and fetches it, byte-exact, from the
// peer's file server. Then hostile and partial requests straight to that file server, each
// answered with its canned reply.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "app/sharing/crypto/rsa_key.h"
#include "app/sharing/crypto/session_key.h"
#include "app/sharing/fileserver/transfer_reception.h"
#include "app/util/settings/sharing_password_scramble.h"
#include "platform/values/digest.h"
#include "platform/values/plist.h"
#include "tests/app/shell/program_process.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace {

using namespace programtest;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kSharedFolder = 0x100000;

// Two consecutive free ports of 127.0.0.1 (the share port and the file server's above it),
// from `low` up.
int FreePortPair(int low = 20000) {
  std::srand(static_cast<unsigned>(::getpid()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int port = low + std::rand() % 12000;
    bool free = true;
    for (int p : {port, port + 1}) {
      const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in addr{};
      addr.sin_family = AF_INET;
      addr.sin_addr.s_addr = htonl(INADDR_ANY);
      addr.sin_port = htons(static_cast<std::uint16_t>(p));
      if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) free = false;
      ::close(fd);
    }
    if (free) return port;
  }
  return 0;
}

// One copy: its home, its environment, its sender.
class Copy {
 public:
  explicit Copy(const std::string& name) : home_(testsupport::MakeTempDir(name)) {
    for (const char* sub : {"/.config", "/.local/share", "/.local/state", "/.cache", "/run"}) {
      std::filesystem::create_directories(home_ + sub);
    }
    std::filesystem::permissions(home_ + "/run", std::filesystem::perms::owner_all);
  }
  std::vector<std::pair<std::string, std::string>> Env() const {
    return {{"HOME", home_},
            {"XDG_CONFIG_HOME", home_ + "/.config"},
            {"XDG_DATA_HOME", home_ + "/.local/share"},
            {"XDG_STATE_HOME", home_ + "/.local/state"},
            {"XDG_CACHE_HOME", home_ + "/.cache"},
            {"XDG_RUNTIME_DIR", home_ + "/run"}};
  }
  void Start() { program_ = std::make_unique<Program>(Env()); }
  // The sender in this copy's environment; what it printed.
  std::string Send(std::vector<std::string> words) {
    std::vector<std::string> all = {"env"};
    for (const auto& [k, v] : Env()) all.push_back(k + "=" + v);
    all.push_back(TRUVANE_SEND_PATH);
    all.insert(all.end(), words.begin(), words.end());
    // SendWords runs TRUVANE_SEND_PATH itself: run env through a shell instead.
    std::string command = "timeout 20";
    for (const auto& w : all) {
      std::string q = "'";
      for (char c : w) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
      command += " " + q + "'";
    }
    command += " 2>/dev/null";
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[512];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    ::pclose(pipe);
    return out;
  }
  bool WaitUntilAnswering() {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
      if (!Send({"--timeout", "2", "TrES", "GQSt"}).empty()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  // Quits through the quit event sent to this copy; true when it ended cleanly.
  bool Quit() {
    Send({"--timeout", "10", "aevt", "quit"});
    int status = 0;
    const bool ok = program_->WaitForExit(std::chrono::seconds(30), status) && WIFEXITED(status) &&
                    WEXITSTATUS(status) == 0;
    program_.reset();
    return ok;
  }
  // Polls a question until the answer holds `text`; the last answer.
  std::string WaitFor(const std::vector<std::string>& words, const std::string& text) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    std::string out;
    while (Clock::now() < deadline) {
      out = Send(words);
      if (out.find(text) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return out;
  }
  std::string LogText() const { return ReadIfExists(home_ + "/.local/state/Truvane/Truvane Log.txt"); }
  std::string QueueFile() const { return home_ + "/.local/share/Truvane/Truvane Queue.plist"; }
  std::string PrefsFile() const { return home_ + "/.config/Truvane/com.orbenix.Truvane.plist"; }
  std::string Downloads() const { return home_ + "/Downloads"; }

  void MergePreferences(const values::Dictionary& extra) {
    values::Dictionary prefs;
    if (auto read = values::ReadPropertyListFile(PrefsFile()); read.ok() && read->AsDictionary()) {
      prefs = *read->AsDictionary();
    }
    for (const auto& [k, v] : extra) prefs[k] = v;
    auto bytes = values::WritePropertyList(values::Value(prefs), values::PlistFormat::kXml);
    ASSERT_TRUE(bytes.ok());
    testsupport::WriteFile(PrefsFile(), std::string(bytes->begin(), bytes->end()));
  }

 private:
  std::string home_;
  std::unique_ptr<Program> program_;
};

values::Value Int(std::int64_t n) {
  return values::Value(values::Number::Int64(n));
}

values::Value SharingUser(const std::string& name, const std::string& password,
                          std::vector<std::int64_t> view, std::vector<std::int64_t> download,
                          bool canUpload = false) {
  values::Array access, dlAccess;
  for (auto uid : view) access.push_back(Int(uid));
  for (auto uid : download) dlAccess.push_back(Int(uid));
  return values::Value(values::Dictionary{{"auth", values::Data{util::EncodeSharingPassword(password, name)}},
                                          {"access", values::Value(access)},
                                          {"dlAccess", values::Value(dlAccess)},
                                          {"quota", Int(-1)},
                                          {"canUpload", values::Value(canUpload)}});
}

// Puts the download into a user folder "Shared" of the saved queue.
void FileIntoSharedFolder(const std::string& queueFile, std::int64_t uid) {
  auto queue = values::ReadPropertyListFile(queueFile);
  ASSERT_TRUE(queue.ok());
  values::Dictionary root = *queue->AsDictionary();
  values::Array folders = *root["Folders"].AsArray();
  folders.push_back(values::Value(values::Dictionary{{"UID", Int(kSharedFolder)},
                                                     {"Name", values::Value(std::string("Shared"))},
                                                     {"Flags", Int(1)},
                                                     {"items", values::Value(values::Array{Int(uid)})}}));
  root["Folders"] = values::Value(folders);
  auto bytes = values::WritePropertyList(values::Value(root), values::PlistFormat::kXml);
  ASSERT_TRUE(bytes.ok());
  testsupport::WriteFile(queueFile, std::string(bytes->begin(), bytes->end()));
}

// The copy downloads `url` (whose content is `body`) and files it into the folder "Shared"
// of its saved queue; the copy is stopped afterwards.
void DownloadIntoSharedFolder(Copy& a, testservers::NginxServer& nginx, const std::string& body,
                              std::string& uid) {
  testsupport::WriteFile(nginx.WwwDir() + "/shared.bin", body);
  const std::string url = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/shared.bin";
  a.Start();
  ASSERT_TRUE(a.WaitUntilAnswering());
  uid = LastLine(a.Send({"--timeout", "10", "TrES", "AUrl", "----:TEXT=" + url, "Stqu:bool=true"}));
  ASSERT_FALSE(uid.empty());
  a.Send({"--timeout", "10", "TrES", "StaQ"});
  a.WaitFor({"--timeout", "5", "TrES", "JSta", "----:magn=" + uid}, "256");
  ASSERT_TRUE(a.Quit());
  bool found = false;
  for (const auto& e : std::filesystem::recursive_directory_iterator(a.Downloads())) {
    if (e.path().filename() == "shared.bin") found = testsupport::ReadFile(e.path()) == body;
  }
  EXPECT_TRUE(found);
  FileIntoSharedFolder(a.QueueFile(), std::stoll(uid));
}

// One request to a file server on 127.0.0.1 and everything it answered before closing.
std::string Exchange(int port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  timeval tv{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  std::string out;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    [[maybe_unused]] const ssize_t sent = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buf[65536];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return out;
}

// The nonce of a 401 challenge.
std::string NonceOf(const std::string& reply) {
  const auto at = reply.find("nonce=\"");
  if (at == std::string::npos) return "";
  const auto end = reply.find('"', at + 7);
  return reply.substr(at + 7, end - at - 7);
}

// A request with a digest for `user`/`password` over `uri` (signed as `signedURI`).
std::string DigestRequest(const std::string& method, const std::string& uri, const std::string& user,
                          const std::string& password, const std::string& nonce,
                          const std::string& extra = "", const std::string& signedURI = "") {
  const std::string u = signedURI.empty() ? uri : signedURI;
  const std::string ha1 = values::Md5Hex(user + ":trdl_realm:" + password);
  // The server signs every method but GET as a POST.
  const std::string ha2 = values::Md5Hex((method == "GET" ? "GET:" : "POST:") + u);
  const std::string response = values::Md5Hex(ha1 + ":" + nonce + ":" + ha2);
  return method + " " + uri + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Digest username=\"" + user +
         "\", realm=\"trdl_realm\", nonce=\"" + nonce + "\", uri=\"" + u + "\", response=\"" + response +
         "\"\r\n" + extra + "\r\n";
}

TEST(SharingProcess, TwoCopiesLogInListAndQueueAPeersDownload) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  const std::string body = testsupport::RandomBytes(256 * 1024 + 3, 77);
  const int port = FreePortPair();
  ASSERT_GT(port, 0);

  // The sharing copy downloads the file it will share, byte-exact.
  Copy a("copy-a");
  const std::string url = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/shared.bin";
  std::string uid;
  ASSERT_NO_FATAL_FAILURE(DownloadIntoSharedFolder(a, nginx, body, uid));

  // It shares a folder holding that download with "bob"; Guest sees nothing.
  a.MergePreferences(
      {{"Share Folders", values::Value(true)},
       {"Share port", Int(port)},
       {"advertise rendezvous", values::Value(false)},
       // What it sends to peers goes through its send limiter.
       {"Bandwidth settings2",
        values::Value(values::Dictionary{{"limit", Int(2 * 1024 * 1024)}, {"status", values::Value(true)}})},
       {"Users", values::Value(values::Dictionary{
                     {"bob", SharingUser("bob", "pw", {kSharedFolder, 22}, {kSharedFolder})},
                     {"Guest", SharingUser("Guest", "", {}, {})}})}});
  a.Start();
  ASSERT_TRUE(a.WaitUntilAnswering());

  // The other copy accepts new hosts' keys without asking.
  Copy b("copy-b");
  b.MergePreferences({{"unknownHostPolicy", Int(2)}});
  b.Start();
  ASSERT_TRUE(b.WaitUntilAnswering());
  const std::string address = "----:TEXT=127.0.0.1:" + std::to_string(port);

  b.Send({"--timeout", "10", "TrES", "CHos", address, "User:TEXT=bob", "Pass:TEXT=wrong"});
  b.Send({"--timeout", "10", "TrES", "CHos", address, "User:TEXT=Guest", "Pass:TEXT="});
  b.Send({"--timeout", "10", "TrES", "CHos", address, "User:TEXT=bob", "Pass:TEXT=pw"});
  const std::string hosts = b.WaitFor({"--timeout", "5", "TrES", "LHos"}, "logged in as: bob");
  EXPECT_NE(hosts.find("hostID = 1, "), std::string::npos) << hosts;
  EXPECT_NE(hosts.find("127.0.0.1:" + std::to_string(port) + ", logged in as: bob\r"), std::string::npos)
      << hosts;
  EXPECT_EQ(hosts.find("Guest"), std::string::npos) << hosts;

  EXPECT_EQ(b.Send({"--timeout", "5", "TrES", "LRem", "----:magn=1"}),
            "Shared folders on host:\nHost: 1\tid:1048576\tShared\n\n");  // the sender adds a line end
  EXPECT_EQ(b.Send({"--timeout", "5", "TrES", "LRQ ", "----:magn=1"}),
            "Host: 1\t" + uid + "\t" + url + "\n\n");

  const std::string added =
      LastLine(b.Send({"--timeout", "10", "TrES", "DDL ", "----:magn=1", "UID :magn=" + uid}));
  ASSERT_FALSE(added.empty());
  ASSERT_NE(added, "0");
  const std::string peerURL = "http://bob:pw@127.0.0.1:" + std::to_string(port + 1) + "/" + uid + "?dig";
  EXPECT_NE(b.Send({"--timeout", "5", "TrES", "LQue"}).find("\t" + added + "\t" + peerURL + "\n"),
            std::string::npos);

  // The other copy fetches it from the peer's file server.
  b.Send({"--timeout", "10", "TrES", "StaQ"});
  EXPECT_NE(b.WaitFor({"--timeout", "5", "TrES", "JSta", "----:magn=" + added}, "256").find("256"),
            std::string::npos);
  bool fetched = false;
  for (const auto& e : std::filesystem::recursive_directory_iterator(b.Downloads())) {
    if (e.path().filename() == "shared.bin") fetched = testsupport::ReadFile(e.path()) == body;
  }
  EXPECT_TRUE(fetched);

  // Requests straight to the file server.
  const int filePort = port + 1;
  const std::string nonce = NonceOf(Exchange(filePort, "GET /" + uid + " HTTP/1.1\r\n\r\n"));
  ASSERT_FALSE(nonce.empty());
  const std::string item = "/" + uid + "?dig";
  const std::string partial =
      Exchange(filePort, DigestRequest("GET", item, "bob", "pw", nonce, "Range: bytes=100-199\r\n"));
  const std::string size = std::to_string(body.size());
  EXPECT_EQ(partial.rfind("HTTP/1.1 206 OK\r\n", 0), 0u) << partial.substr(0, 200);
  EXPECT_NE(partial.find("Content-Range: bytes 100-" + std::to_string(body.size() - 1) + "/" + size + "\r\n"),
            std::string::npos);
  const auto bodyAt = partial.find("\r\n\r\n");
  ASSERT_NE(bodyAt, std::string::npos);
  EXPECT_TRUE(partial.substr(bodyAt + 4) == body.substr(100));
  const std::string head =
      Exchange(filePort, DigestRequest("GET", item, "bob", "pw", nonce, "XValidator: On\r\n"));
  EXPECT_EQ(head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_TRUE(head.ends_with("\r\n\r\n")) << head.size();
  EXPECT_NE(head.find("Content-Disposition: attachment; filename=\"shared.bin\"\r\n"), std::string::npos);

  const std::string e401 = "HTTP/1.1 401 Unauthorised\r\n";
  const std::string e400 =
      "HTTP/1.1 400 Invalid request\r\n\r\n<html><body><h1>400 Invalid Request</h1></body></html>";
  const std::string e404 =
      "HTTP/1.1 404 File Not Found\r\n\r\n<html><body><h1>404 File Not Found</h1></body></html>";
  std::string manyHeaders;
  for (int i = 0; i < 200; ++i) manyHeaders += "X-Filler: " + std::to_string(i) + "\r\n";
  const struct {
    const char* what;
    std::string request;
    std::string reply;  // the whole reply, or its beginning for a 401
    bool prefix;
  } hostile[] = {
      {"a head that never ends", "GET " + item + " HTTP/1.1\r\nX: " + std::string(13000, 'a'), "", false},
      {"no credentials", "GET " + item + " HTTP/1.1\r\n\r\n", e401, true},
      {"wrong password", DigestRequest("GET", item, "bob", "nope", nonce), e401, true},
      {"unknown user", DigestRequest("GET", item, "eve", "pw", nonce), e401, true},
      {"Guest without rights", DigestRequest("GET", item, "guest", "", nonce), e401, true},
      {"signed for another item", DigestRequest("GET", "/1?dig", "bob", "pw", nonce, "", item), e401, true},
      {"an old nonce", DigestRequest("GET", item, "bob", "pw", "MXwxfDE="), e401, true},
      {"traversal", DigestRequest("GET", "/../../../etc/passwd", "bob", "pw", nonce), e404, false},
      {"traversal after the item", DigestRequest("GET", "/" + uid + "/../shared.bin", "bob", "pw", nonce),
       e404, false},
      {"a name instead of a UID", DigestRequest("GET", "/shared.bin", "bob", "pw", nonce), e404, false},
      {"an item not in the queue", DigestRequest("GET", "/4000000000", "bob", "pw", nonce), e404, false},
      {"a UID too large", DigestRequest("GET", "/99999999999999999999", "bob", "pw", nonce), e404, false},
      // bob may not fetch received files at all; a name is never looked up as a path.
      {"a received file by name", DigestRequest("GET", "/receivedFile?../../etc/passwd", "bob", "pw", nonce),
       "HTTP/1.1 403 Forbidden\r\n\r\n<html><body><h1>403 Forbidden</h1></body></html>", false},
      {"another method", DigestRequest("DELETE", item, "bob", "pw", nonce), e400, false},
      {"too many headers", DigestRequest("GET", item, "bob", "pw", nonce, manyHeaders), e400, false},
      {"no request line", "\r\n\r\n", e400, false},
  };
  for (const auto& h : hostile) {
    const std::string reply = Exchange(filePort, h.request);
    if (h.prefix) {
      EXPECT_EQ(reply.rfind(h.reply, 0), 0u) << h.what << ": " << reply.substr(0, 120);
    } else {
      EXPECT_EQ(reply, h.reply) << h.what;
    }
  }
  const std::string stale = Exchange(filePort, DigestRequest("GET", item, "bob", "pw", "MXwxfDE="));
  EXPECT_NE(stale.find(", stale=\"true\"\r\n"), std::string::npos) << stale.substr(0, 200);
  const std::string wrong = Exchange(filePort, DigestRequest("GET", item, "bob", "nope", nonce));
  EXPECT_EQ(wrong.find("stale"), std::string::npos);

  ASSERT_TRUE(b.Quit());
  ASSERT_TRUE(a.Quit());
  const std::string log = a.LogText();
  EXPECT_NE(log.find("Failed login from 127.0.0.1"), std::string::npos) << log;
  // The log file ends each line of an entry with a line feed.
  EXPECT_NE(
      log.find(
          "Sucessful login from 127.0.0.1\nLogged in as bob, can access the following folder(s): Shared, "),
      std::string::npos)
      << log;
}

// The text after "X-Server-Public-Key: " in a reply, to the end of its line.
std::string PublicKeyOf(const std::string& reply) {
  const auto at = reply.find("X-Server-Public-Key: ");
  if (at == std::string::npos) return "";
  return reply.substr(at + 21, reply.find('\r', at) - at - 21);
}

// A new session key for the server whose key text is `publicKey`: its header, and the cipher.
sharing::SessionCipherPtr SessionFor(const std::string& publicKey, std::string& header) {
  const auto key = sharing::RSAKey::FromPublicKeyString(publicKey, "65537");
  if (!key) return nullptr;
  std::string text;
  auto cipher = sharing::CreateSessionKey(*key, text);
  header = "X-Session-Key: " + text + "\r\n";
  return cipher;
}

std::string Deciphered(std::string bytes, sharing::SessionCipherPtr& cipher) {
  sharing::SessionCipherApply(*cipher, reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
  return bytes;
}

TEST(SharingProcess, EncipheredOnlyBothWaysBetweenTwoCopies) {
  Copy a("copy-a");
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  const std::string body = testsupport::RandomBytes(300 * 1024 + 5, 78);
  std::string uid;
  ASSERT_NO_FATAL_FAILURE(DownloadIntoSharedFolder(a, nginx, body, uid));
  const int port = FreePortPair();
  ASSERT_GT(port, 0);
  // Nothing goes in clear: every transfer needs a session key.
  a.MergePreferences(
      {{"Share Folders", values::Value(true)},
       {"Share port", Int(port)},
       {"advertise rendezvous", values::Value(false)},
       {"requireSecureTransfer", values::Value(true)},
       {"Users", values::Value(values::Dictionary{
                     {"bob", SharingUser("bob", "pw", {kSharedFolder, 22}, {kSharedFolder, 22}, true)}})}});
  a.Start();
  ASSERT_TRUE(a.WaitUntilAnswering());

  // The other copy's engine fetches the item enciphered, byte-exact.
  Copy b("copy-b");
  b.MergePreferences({{"unknownHostPolicy", Int(2)}});
  b.Start();
  ASSERT_TRUE(b.WaitUntilAnswering());
  b.Send({"--timeout", "10", "TrES", "CHos", "----:TEXT=127.0.0.1:" + std::to_string(port), "User:TEXT=bob",
          "Pass:TEXT=pw"});
  b.WaitFor({"--timeout", "5", "TrES", "LHos"}, "logged in as: bob");
  const std::string added =
      LastLine(b.Send({"--timeout", "10", "TrES", "DDL ", "----:magn=1", "UID :magn=" + uid}));
  ASSERT_FALSE(added.empty());
  b.Send({"--timeout", "10", "TrES", "StaQ"});
  EXPECT_NE(b.WaitFor({"--timeout", "5", "TrES", "JSta", "----:magn=" + added}, "256").find("256"),
            std::string::npos);
  bool fetched = false;
  for (const auto& e : std::filesystem::recursive_directory_iterator(b.Downloads())) {
    if (e.path().filename() == "shared.bin") fetched = testsupport::ReadFile(e.path()) == body;
  }
  EXPECT_TRUE(fetched);
  ASSERT_TRUE(b.Quit());

  // A range after a stop: without a key refused, with one enciphered from the offset.
  const int filePort = port + 1;
  const std::string challenge = Exchange(filePort, "GET /" + uid + " HTTP/1.1\r\n\r\n");
  const std::string nonce = NonceOf(challenge);
  const std::string key = PublicKeyOf(challenge);
  ASSERT_FALSE(key.empty());
  const std::string item = "/" + uid + "?dig";
  const std::string clear =
      Exchange(filePort, DigestRequest("GET", item, "bob", "pw", nonce, "Range: bytes=1000-\r\n"));
  EXPECT_EQ(clear.rfind("HTTP/1.1 499 Bad session\r\n", 0), 0u) << clear.substr(0, 100);
  std::string header;
  auto cipher = SessionFor(key, header);
  ASSERT_TRUE(cipher);
  const std::string range =
      Exchange(filePort, DigestRequest("GET", item, "bob", "pw", nonce, "Range: bytes=1000-\r\n" + header));
  const auto rangeBody = range.find("\r\n\r\n");
  ASSERT_NE(rangeBody, std::string::npos);
  EXPECT_EQ(range.rfind("HTTP/1.1 206 OK\r\n", 0), 0u);
  EXPECT_TRUE(Deciphered(range.substr(rangeBody + 4), cipher) == body.substr(1000));

  // A file sent to the copy, cut midway and resumed from "uploadStatus".
  const std::string sent = testsupport::RandomBytes(200000, 79);
  const std::string transfer = "6B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0";
  const std::string meta =
      "X-Tr-Filename: sent.bin\r\nX-Tr-Filesize: " + std::to_string(sent.size()) + "\r\n";
  const std::string status =
      Exchange(filePort, DigestRequest("GET", "/uploadStatus?" + transfer, "bob", "pw", nonce, meta));
  EXPECT_NE(status.find("X-Content-Range: 0-0/200000\r\n"), std::string::npos) << status;
  const std::size_t cut = 70000;
  auto first = SessionFor(key, header);
  std::string part = sent.substr(0, cut);
  sharing::SessionCipherApply(*first, reinterpret_cast<std::uint8_t*>(part.data()), part.size());
  // The sender goes away without waiting for anything.
  Exchange(
      filePort,
      DigestRequest("POST", "/" + transfer, "bob", "pw", nonce, "Content-Range: 0-\r\n" + header) + part);
  std::string resumed;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    resumed = Exchange(filePort, DigestRequest("GET", "/uploadStatus?" + transfer, "bob", "pw", nonce, meta));
    if (resumed.find("X-Content-Range: 0-70000/") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(resumed.find("X-Content-Range: 0-70000/200000\r\n"), std::string::npos) << resumed;
  auto second = SessionFor(key, header);
  std::string rest = sent.substr(cut);
  sharing::SessionCipherApply(*second, reinterpret_cast<std::uint8_t*>(rest.data()), rest.size());
  EXPECT_EQ(Exchange(filePort, DigestRequest("POST", "/" + transfer, "bob", "pw", nonce,
                                             "Content-Range: 70000-\r\n" + header) +
                                   rest),
            "HTTP/1.1 200 OK\r\nServer: Truvane v5070\r\nConnection: close\r\n\r\n");

  // It lands in bob's folder of the received files, and is served from the list.
  const std::string landed = a.Downloads() + "/Received Files/bob/sent.bin";
  std::string served;
  const auto until = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < until) {
    auto fetch = SessionFor(key, header);
    served =
        Exchange(filePort, DigestRequest("GET", "/receivedFile?" + transfer, "bob", "pw", nonce, header));
    if (served.rfind("HTTP/1.1 200 OK\r\n", 0) == 0) {
      served = Deciphered(served.substr(served.find("\r\n\r\n") + 4), fetch);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(served == sent) << served.substr(0, 80);
  EXPECT_TRUE(testsupport::ReadFile(landed) == sent);

  ASSERT_TRUE(a.Quit());
  const std::string log = a.LogText();
  EXPECT_NE(log.find("Transfer of sent.bin from user bob@127.0.0.1 aborted, 70000 bytes"), std::string::npos)
      << log;
  EXPECT_NE(log.find("Transfer of sent.bin from user bob@127.0.0.1 finished, 200000 bytes"),
            std::string::npos);
}

// A peer sending a file when the copy quits: the quit stops the reception, tells the peer
// (the abort marker) and waits for it before it saves and ends; the bytes that arrived stay
// in the package, from which the peer resumes after a restart.
TEST(SharingProcess, AQuitDuringAReceptionStopsItAndKeepsWhatArrived) {
  Copy a("copy-quit");
  const int port = FreePortPair();
  ASSERT_GT(port, 0);
  a.MergePreferences(
      {{"Share Folders", values::Value(true)},
       {"Share port", Int(port)},
       {"advertise rendezvous", values::Value(false)},
       {"Users", values::Value(values::Dictionary{{"bob", SharingUser("bob", "pw", {22}, {22}, true)}})}});
  a.Start();
  ASSERT_TRUE(a.WaitUntilAnswering());
  const int filePort = port + 1;
  std::string nonce;
  for (auto deadline = Clock::now() + std::chrono::seconds(20); nonce.empty() && Clock::now() < deadline;) {
    nonce = NonceOf(Exchange(filePort, "GET /x HTTP/1.1\r\n\r\n"));
    if (nonce.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_FALSE(nonce.empty());

  const std::string transfer = "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9";
  const std::string meta = "X-Tr-Filename: cut.bin\r\nX-Tr-Filesize: 200000\r\n";
  ASSERT_NE(Exchange(filePort, DigestRequest("GET", "/uploadStatus?" + transfer, "bob", "pw", nonce, meta))
                .find("X-Content-Range: 0-0/200000\r\n"),
            std::string::npos);

  // The sender holds its connection open after part of the file.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  timeval tv{30, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(filePort));
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const std::string part = testsupport::RandomBytes(70000, 80);
  const std::string request =
      DigestRequest("POST", "/" + transfer, "bob", "pw", nonce, "Content-Range: 0-\r\n") + part;
  ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
  // The reception has started once the server says so.
  std::string answer;
  char buf[4096];
  while (answer.find("\r\n\r\n") == std::string::npos) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    answer.append(buf, static_cast<std::size_t>(n));
  }
  ASSERT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;

  ASSERT_TRUE(a.Quit());
  // Told, then closed: the quit did not leave the peer waiting on a dead connection.
  ssize_t n;
  while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) answer.append(buf, static_cast<std::size_t>(n));
  ::close(fd);
  EXPECT_NE(answer.find(sharing::kTransferAbortMarker), std::string::npos) << answer;
  EXPECT_EQ(a.LogText().find("Quitting while a transfer had not stopped yet"), std::string::npos)
      << a.LogText();
  // The cut reception has its line in the log, though the main loop had ended.
  EXPECT_NE(a.LogText().find("Transfer of cut.bin from user bob@127.0.0.1 aborted, "), std::string::npos)
      << a.LogText();

  // What arrived is kept: after a restart the peer is told where to resume.
  a.Start();
  ASSERT_TRUE(a.WaitUntilAnswering());
  std::string status;
  for (auto deadline = Clock::now() + std::chrono::seconds(20); Clock::now() < deadline;) {
    nonce = NonceOf(Exchange(filePort, "GET /x HTTP/1.1\r\n\r\n"));
    if (!nonce.empty()) {
      status =
          Exchange(filePort, DigestRequest("GET", "/uploadStatus?" + transfer, "bob", "pw", nonce, meta));
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const auto range = status.find("X-Content-Range: 0-");
  ASSERT_NE(range, std::string::npos) << status;
  const long resumeAt = std::strtol(status.c_str() + range + 19, nullptr, 10);
  EXPECT_GE(resumeAt, 0);
  EXPECT_LE(resumeAt, 70000);
  EXPECT_NE(status.find("/200000\r\n", range), std::string::npos) << status;
  ASSERT_TRUE(a.Quit());
}

// True when something accepts connections on 127.0.0.1:`port` within a bounded wait.
bool Accepts(int port) {
  for (auto deadline = Clock::now() + std::chrono::seconds(20); Clock::now() < deadline;) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    if (connected) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

// A share port above 32767 is where both servers listen, and the setting keeps its stored
// form across the quit's save; ports that cannot be used are refused with a log line.
TEST(SharingProcess, ASharePortAbove32767IsUsedAndUnusablePortsAreRefused) {
  Copy a("copy-port");
  const int port = FreePortPair(40000);
  ASSERT_GT(port, 32767);
  // Written as the port itself, as a person or another program writes it.
  a.MergePreferences({{"Share Folders", values::Value(true)},
                      {"Share port", Int(port)},
                      {"advertise rendezvous", values::Value(false)}});
  a.Start();
  ASSERT_TRUE(a.WaitUntilAnswering());
  EXPECT_TRUE(Accepts(port));
  EXPECT_TRUE(Accepts(port + 1));
  ASSERT_TRUE(a.Quit());
  auto prefs = values::ReadPropertyListFile(a.PrefsFile());
  ASSERT_TRUE(prefs.ok() && prefs->Find("Share port"));
  // Saved in the setting's signed 16-bit form.
  EXPECT_EQ(prefs->Find("Share port")->AsNumber()->AsInt64(), port - 65536);

  for (const int unusable : {0, 65535}) {
    a.MergePreferences({{"Share port", Int(unusable)}});
    a.Start();
    ASSERT_TRUE(a.WaitUntilAnswering());
    // The log reaches its file at the latest when the program quits.
    ASSERT_TRUE(a.Quit());
    const std::string line = "The share port " + std::to_string(unusable) + " cannot be used: ";
    EXPECT_NE(a.LogText().find(line), std::string::npos) << a.LogText();
  }
}

}  // namespace
