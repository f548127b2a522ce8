// The command client's state machine, driven by scripted replies through a recording
// stand-in for the network.

#include "app/engine/ftp/ftp_connection.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/engine/ftp/ftp_request_queue.h"

namespace engine {
namespace {

struct FakeNetwork {
  bool control_open = false;
  bool usable = true;
  bool tls_started = false;
  bool control_closed = false;
  std::string written;  // everything the client wrote on the control connection
  std::vector<std::pair<std::uint16_t, bool>> data_connects;  // (port, protect)
  int listens = 0;
  bool listen_protect = false;
  net::StreamError listen_error;
  int data_closes = 0;
  bool data_open = false;
};

class FakeIO : public FTPConnectionIO {
 public:
  explicit FakeIO(std::shared_ptr<FakeNetwork> net) : net_(std::move(net)) {}
  void OpenControl() override { net_->control_open = true; }
  bool WriteControl(std::string_view bytes) override {
    if (!net_->usable) return false;
    net_->written.append(bytes);
    return true;
  }
  bool IsControlUsable() const override { return net_->usable && !net_->control_closed; }
  void StartControlTls() override { net_->tls_started = true; }
  void CloseControl() override { net_->control_closed = true; }
  void ConnectData(std::uint16_t port, bool protect) override {
    net_->data_connects.emplace_back(port, protect);
  }
  net::StreamError ListenForData(bool protect, FTPEndpoint& local) override {
    if (net_->listen_error) return net_->listen_error;
    ++net_->listens;
    net_->listen_protect = protect;
    local.address[0] = 127;
    local.address[3] = 1;
    local.port = 40000;
    return {};
  }
  void CloseData() override {
    ++net_->data_closes;
    net_->data_open = false;
  }
  bool IsDataOpen() const override { return net_->data_open; }
  FTPDataResult ReadData(void*, std::size_t, std::size_t& got, net::StreamError&) override {
    got = 0;
    return FTPDataResult::kWouldBlock;
  }
  FTPDataResult WriteData(const void*, std::size_t size, std::size_t& written, net::StreamError&) override {
    written = size;
    return FTPDataResult::kOk;
  }
  void FinishDataWrites() override {}

 private:
  std::shared_ptr<FakeNetwork> net_;
};

struct Message {
  FTPMessage message;
  std::optional<std::string> text;
};

// One connection with its fake network and the messages it gave (logging ones apart).
class Client {
 public:
  explicit Client(const std::string& url, bool passive = true) : net(std::make_shared<FakeNetwork>()) {
    connection = FTPConnectionCreate(*values::Url::Create(url), "bob", "secret",
                                     std::make_unique<FakeIO>(net), passive);
    connection->callback = [this](FTPConnectionParam&, FTPMessage m, const std::optional<std::string>& text,
                                  bool& stop) {
      if (m == FTPMessage::kCommandSent) {
        logged_commands.push_back(text.value_or(""));
      } else if (m != FTPMessage::kReplyReceived) {
        messages.push_back({m, text});
      }
      if (on_message) on_message(m, stop);
    };
  }

  void Open() { FTPConnectionOpen(*connection); }
  void Reply(const std::string& text) { FTPConnectionControlReceived(*connection, text); }
  // The commands written since the last call.
  std::string Sent() {
    std::string out = net->written.substr(taken_);
    taken_ = net->written.size();
    return out;
  }
  std::vector<FTPMessage> MessageKinds() const {
    std::vector<FTPMessage> out;
    for (const auto& m : messages) out.push_back(m.message);
    return out;
  }
  // Welcome to PWD, for the given PWD reply.
  void LogIn(const std::string& pwd_reply = "257 \"/home/bob\" is current\r\n") {
    Open();
    Reply("220 ready\r\n");
    EXPECT_EQ(Sent(), "USER bob\r\n");
    Reply("331 password\r\n");
    EXPECT_EQ(Sent(), "PASS secret\r\n");
    Reply("230 in\r\n");
    EXPECT_EQ(Sent(), "TYPE I\r\n");
    Reply("200 binary\r\n");
    EXPECT_EQ(Sent(), "PWD\r\n");
    Reply(pwd_reply);
  }

  std::shared_ptr<FakeNetwork> net;
  std::unique_ptr<FTPConnectionParam> connection;
  std::vector<Message> messages;
  std::vector<std::string> logged_commands;
  std::function<void(FTPMessage, bool&)> on_message;

 private:
  std::size_t taken_ = 0;
};

TEST(FTPConnectionTest, DownloadsThroughPassiveConnectionToControlPeer) {
  Client client("ftp://example.test/pub/file.bin");
  client.LogIn();
  EXPECT_EQ(client.Sent(), "CWD /home/bob/pub/\r\n");
  client.Reply("250 ok\r\n");
  EXPECT_EQ(client.connection->current_directory, "/home/bob/pub/");
  EXPECT_EQ(client.Sent(), "PASV\r\n");
  // The server names another host: only its port is taken.
  client.Reply("227 Entering Passive Mode (10,9,8,7,4,1)\r\n");
  ASSERT_EQ(client.net->data_connects.size(), 1u);
  EXPECT_EQ(client.net->data_connects[0].first, 1025);
  EXPECT_FALSE(client.net->data_connects[0].second);
  EXPECT_EQ(client.Sent(), "");

  client.net->data_open = true;
  FTPConnectionDataOpened(*client.connection);
  EXPECT_EQ(client.Sent(), "RETR file.bin\r\n");
  // The 226 races ahead of the data: it waits until the data connection closes.
  client.Reply("150 here it comes\r\n226 done\r\n");
  EXPECT_EQ(client.MessageKinds(), (std::vector{FTPMessage::kDataOpened, FTPMessage::kTransferAnswered}));
  EXPECT_EQ(client.connection->state, kFTPStateTransferRunning);
  FTPConnectionCloseDataConnection(*client.connection);
  EXPECT_EQ(client.MessageKinds().back(), FTPMessage::kTransferComplete);
  EXPECT_EQ(client.messages.back().text, "226 done");
  EXPECT_EQ(client.connection->state, kFTPStateSingleTransferDone);

  EXPECT_EQ(client.logged_commands[1], "PASS *******\r\n");
  FTPConnectionClose(*client.connection);
  EXPECT_EQ(client.Sent(), "QUIT\r\n");
  EXPECT_TRUE(client.net->control_closed);
}

struct RestartCase {
  const char* what;
  std::string rest_reply;
  std::int64_t offset_after;
};

void PrintTo(const RestartCase& c, std::ostream* os) {
  *os << c.what;
}

class RestartTest : public ::testing::TestWithParam<RestartCase> {};

TEST_P(RestartTest, RestKeptOnlyWhenAccepted) {
  Client client("ftp://example.test/file.bin");
  client.connection->restart_offset = 5000;
  client.LogIn();
  EXPECT_EQ(client.Sent(), "CWD /home/bob/\r\n");
  client.Reply("250 ok\r\n");
  client.Sent();
  client.Reply("227 (127,0,0,1,4,1)\r\n");
  FTPConnectionDataOpened(*client.connection);
  EXPECT_EQ(client.Sent(), "REST 5000\r\n");
  client.Reply(GetParam().rest_reply);
  EXPECT_EQ(client.Sent(), "RETR file.bin\r\n");
  EXPECT_EQ(client.connection->restart_offset, GetParam().offset_after);
}

INSTANTIATE_TEST_SUITE_P(Replies, RestartTest,
                         ::testing::Values(RestartCase{"accepted_350", "350 restarting\r\n", 5000},
                                           RestartCase{"accepted_213", "213 ok\r\n", 5000},
                                           RestartCase{"refused_502", "502 no REST\r\n", 0},
                                           RestartCase{"refused_500", "500 what\r\n", 0}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(FTPConnectionTest, SizeAskedWhenWantedAndNeverAgainAfter500) {
  Client client("ftp://example.test/pub/file.bin");
  client.connection->size_wanted = true;
  client.LogIn();
  client.Sent();
  client.Reply("250 ok\r\n");
  EXPECT_EQ(client.Sent(), "SIZE file.bin\r\n");
  client.Reply("213 5000000000\r\n");
  EXPECT_EQ(client.connection->remote_size, 5000000000);
  EXPECT_EQ(client.MessageKinds().back(), FTPMessage::kSizeHandled);
  EXPECT_EQ(client.Sent(), "PASV\r\n");

  Client refused("ftp://example.test/pub/file.bin");
  refused.connection->size_wanted = true;
  refused.LogIn();
  refused.Sent();
  refused.Reply("250 ok\r\n");
  refused.Sent();
  refused.Reply("500 unknown command\r\n");
  EXPECT_TRUE(refused.connection->flags & kFTPFlagNoSize);
  EXPECT_EQ(refused.Sent(), "PASV\r\n");
}

TEST(FTPConnectionTest, StatDuringSizeGivesFileDate) {
  Client client("ftp://example.test/pub/file.bin");
  client.connection->size_wanted = true;
  client.on_message = [&](FTPMessage m, bool&) {
    if (m == FTPMessage::kSizeHandled) client.connection->state = kFTPStateStat;
    if (m == FTPMessage::kStatHandled) {
      ASSERT_TRUE(client.connection->file_date);
      // 2009-03-18 00:00 UTC
      EXPECT_DOUBLE_EQ(client.connection->file_date->seconds, 1237334400.0 - 978307200.0);
      client.connection->state = kFTPStateHeldAfterStat;
    }
  };
  client.LogIn();
  client.Sent();
  client.Reply("250 ok\r\n");
  client.Sent();
  client.Reply("213 312\r\n");
  EXPECT_EQ(client.Sent(), "STAT file.bin\r\n");
  client.Reply(
      "213-Status follows:\r\n-rw-r--r--    1 0 0 312 Mar 18  2009 file.bin\r\n213 End of status\r\n");
  EXPECT_EQ(client.MessageKinds().back(), FTPMessage::kStatHandled);
  EXPECT_EQ(client.Sent(), "");  // held by the client
  EXPECT_FALSE(client.connection->file_date);
}

struct CwdCase {
  const char* what;
  std::string url;
  std::string pwd_reply;
  std::string cwd;
  std::string retr;  // after the CWD succeeded
};

void PrintTo(const CwdCase& c, std::ostream* os) {
  *os << c.what;
}

class ChangeDirectoryTest : public ::testing::TestWithParam<CwdCase> {};

TEST_P(ChangeDirectoryTest, IntoFileDirectory) {
  const CwdCase& c = GetParam();
  Client client(c.url);
  client.LogIn(c.pwd_reply);
  EXPECT_EQ(client.Sent(), c.cwd);
  client.Reply("250 ok\r\n");
  client.Sent();
  client.Reply("227 (127,0,0,1,4,1)\r\n");
  FTPConnectionDataOpened(*client.connection);
  EXPECT_EQ(client.Sent(), c.retr);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ChangeDirectoryTest,
    ::testing::Values(CwdCase{"relative_to_login", "ftp://h/pub/a%20b/f%20g.txt", "257 \"/home/bob\"\r\n",
                              "CWD /home/bob/pub/a b/\r\n", "RETR f g.txt\r\n"},
                      CwdCase{"absolute_by_escaped_slash", "ftp://h/%2Fsrv/pub/f", "257 \"/home/bob\"\r\n",
                              "CWD /srv/pub/\r\n", "RETR f\r\n"},
                      CwdCase{"doubled_quote_in_pwd", "ftp://h/f", "257 \"/a \"\"q\"\"\" is current\r\n",
                              "CWD /a \"q\"/\r\n", "RETR f\r\n"},
                      CwdCase{"pwd_not_257", "ftp://h/pub/f", "550 no\r\n", "CWD pub/\r\n", "RETR f\r\n"},
                      CwdCase{"pwd_relative_path", "ftp://h/pub/f", "257 \"C:\\\\x\"\r\n", "CWD pub/\r\n",
                              "RETR f\r\n"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(FTPConnectionTest, FileInLoginDirectoryAfterFailedPwdNeedsNoCwd) {
  Client client("ftp://h/file");
  client.LogIn("500 no PWD\r\n");
  EXPECT_EQ(client.connection->base_path, "/");
  EXPECT_EQ(client.connection->current_directory, "/");
  EXPECT_EQ(client.Sent(), "PASV\r\n");
}

TEST(FTPConnectionTest, LineBreakInNameIsNeverSent) {
  Client client("ftp://h/pub/a%0D%0ADELE%20x");
  client.LogIn();
  client.Sent();
  client.Reply("250 ok\r\n");
  client.Sent();
  client.Reply("227 (127,0,0,1,4,1)\r\n");
  FTPConnectionDataOpened(*client.connection);
  EXPECT_EQ(client.Sent(), "");
  EXPECT_EQ(client.MessageKinds().back(), FTPMessage::kFailed);
  EXPECT_EQ(client.connection->error, (net::StreamError{net::ErrorDomain::kMacOsStatus, -50}));
}

TEST(FTPConnectionTest, ActiveModeFallsFromEprtToPort) {
  Client client("ftp://h/f", /*passive=*/false);
  client.LogIn();
  client.Sent();
  client.Reply("250 ok\r\n");
  EXPECT_EQ(client.Sent(), "EPRT |1|127.0.0.1|40000|\r\n");
  client.Reply("500 EPRT what\r\n");
  EXPECT_EQ(client.Sent(), "PORT 127,0,0,1,156,64\r\n");
  EXPECT_GE(client.net->data_closes, 1);
  client.Reply("200 ok\r\n");
  EXPECT_EQ(client.Sent(), "RETR f\r\n");
  // The server connects after RETR: nothing more to send.
  FTPConnectionDataOpened(*client.connection);
  EXPECT_EQ(client.Sent(), "");
  EXPECT_EQ(client.MessageKinds().back(), FTPMessage::kDataOpened);

  Client refused("ftp://h/f", false);
  refused.LogIn();
  refused.Sent();
  refused.Reply("250 ok\r\n");
  refused.Sent();
  refused.Reply("500 no\r\n");
  refused.Sent();
  refused.Reply("500 no\r\n");
  EXPECT_EQ(refused.MessageKinds().back(), FTPMessage::kFailed);
  EXPECT_EQ(refused.connection->error, (net::StreamError{net::ErrorDomain::kFtp, 500}));
}

TEST(FTPConnectionTest, RefusedPassiveConnectionSwitchesToActive) {
  Client client("ftp://h/f");
  client.LogIn();
  client.Sent();
  client.Reply("250 ok\r\n");
  client.Sent();
  client.Reply("227 (127,0,0,1,4,1)\r\n");
  FTPConnectionDataFailed(*client.connection,
                          {net::ErrorDomain::kPosix, net::posix_code::kConnectionRefused});
  EXPECT_EQ(client.Sent(), "EPRT |1|127.0.0.1|40000|\r\n");

  // Anything but a refusal is a failure.
  Client reset("ftp://h/f");
  reset.LogIn();
  reset.Sent();
  reset.Reply("250 ok\r\n");
  reset.Sent();
  reset.Reply("227 (127,0,0,1,4,1)\r\n");
  FTPConnectionDataFailed(*reset.connection, {net::ErrorDomain::kPosix, net::posix_code::kConnectionReset});
  EXPECT_EQ(reset.Sent(), "");
  EXPECT_EQ(reset.MessageKinds().back(), FTPMessage::kFailed);
}

TEST(FTPConnectionTest, ExplicitTlsLogin) {
  Client client("ftps://h/f");
  client.connection->tls_level = kFTPTlsRequired;
  client.Open();
  client.Reply("220 ready\r\n");
  EXPECT_EQ(client.Sent(), "AUTH TLS\r\n");
  client.Reply("234 go\r\n");
  EXPECT_TRUE(client.net->tls_started);
  EXPECT_EQ(client.connection->state, kFTPStateControlHandshake);
  FTPConnectionControlTlsDone(*client.connection, {});
  EXPECT_EQ(client.Sent(), "PBSZ 0\r\n");
  client.Reply("200 PBSZ=0\r\n");
  EXPECT_EQ(client.Sent(), "PROT P\r\n");
  client.Reply("200 protected\r\n");
  EXPECT_EQ(client.Sent(), "user bob\r\n");
  client.Reply("331 pass\r\n");
  EXPECT_EQ(client.Sent(), "PASS secret\r\n");
  client.Reply("230 in\r\n");
  client.Reply("200 binary\r\n");
  client.Reply("257 \"/\"\r\n");
  client.Reply("250 ok\r\n");
  client.Reply("227 (127,0,0,1,4,1)\r\n");
  ASSERT_EQ(client.net->data_connects.size(), 1u);
  EXPECT_TRUE(client.net->data_connects[0].second);  // protected
}

TEST(FTPConnectionTest, TlsRefusedOrFailedStopsBeforeCredentials) {
  Client refused("ftps://h/f");
  refused.connection->tls_level = kFTPTlsRequired;
  refused.Open();
  refused.Reply("220 ready\r\n");
  refused.Sent();
  refused.Reply("500 AUTH not understood\r\n");
  EXPECT_EQ(refused.Sent(), "");
  EXPECT_EQ(refused.MessageKinds(), std::vector{FTPMessage::kFailed});

  Client failed("ftps://h/f");
  failed.connection->tls_level = kFTPTlsRequired;
  failed.Open();
  failed.Reply("220 ready\r\n");
  failed.Reply("234 go\r\n");
  failed.Sent();
  FTPConnectionControlTlsDone(*failed.connection, {net::ErrorDomain::kSsl, net::tls_code::kUnknownRoot});
  EXPECT_EQ(failed.Sent(), "");
  EXPECT_EQ(failed.connection->error,
            (net::StreamError{net::ErrorDomain::kSsl, net::tls_code::kUnknownRoot}));

  // PBSZ refused: no PROT, data unprotected, login goes on in lower case.
  Client no_pbsz("ftps://h/f");
  no_pbsz.connection->tls_level = kFTPTlsRequired;
  no_pbsz.Open();
  no_pbsz.Reply("220 ready\r\n");
  no_pbsz.Reply("234 go\r\n");
  FTPConnectionControlTlsDone(*no_pbsz.connection, {});
  no_pbsz.Sent();
  no_pbsz.Reply("502 no\r\n");
  EXPECT_EQ(no_pbsz.Sent(), "user bob\r\n");
  EXPECT_FALSE(no_pbsz.connection->data_protected);
}

TEST(FTPConnectionTest, RefusedAndMalformedRepliesFail) {
  Client client("ftp://h/f");
  client.Open();
  client.Reply("220 ready\r\n");
  client.Sent();
  client.Reply("331 pass\r\n");
  client.Reply("530 Login incorrect.\r\n");
  EXPECT_EQ(client.MessageKinds(), std::vector{FTPMessage::kFailed});
  EXPECT_EQ(client.messages[0].text, "530 Login incorrect.\r\n");
  EXPECT_EQ(client.connection->error, (net::StreamError{net::ErrorDomain::kFtp, 530}));

  Client garbage("ftp://h/f");
  garbage.Open();
  garbage.Reply("SSH-2.0-OpenSSH\r\n");
  EXPECT_EQ(garbage.MessageKinds(), std::vector{FTPMessage::kFailed});
  EXPECT_EQ(garbage.connection->error, (net::StreamError{net::ErrorDomain::kMacOsStatus, -50}));

  Client ended("ftp://h/f");
  ended.Open();
  FTPConnectionControlEnded(*ended.connection);
  EXPECT_EQ(ended.connection->error, (net::StreamError{net::ErrorDomain::kPosix, 54}));
}

TEST(FTPConnectionTest, MultiLineAndSplitRepliesHandledOnce) {
  Client client("ftp://h/f");
  client.Open();
  for (char c : std::string("220-Welcome\r\n220-to the\r\n220 server\r\n331 pass\r"))
    client.Reply(std::string(1, c));
  EXPECT_EQ(client.Sent(), "USER bob\r\n");
  client.Reply("\n");
  EXPECT_EQ(client.Sent(), "PASS secret\r\n");
  EXPECT_TRUE(client.messages.empty());
}

TEST(FTPConnectionTest, TransferFailureClosesDataAndReports) {
  Client client("ftp://h/f");
  client.LogIn();
  client.Reply("250 ok\r\n");
  client.Reply("227 (127,0,0,1,4,1)\r\n");
  FTPConnectionDataOpened(*client.connection);
  client.Reply("150 go\r\n451 local error\r\n");
  EXPECT_EQ(client.MessageKinds().back(), FTPMessage::kTransferFailed);
  EXPECT_EQ(client.net->data_closes, 1);
}

TEST(FTPConnectionTest, ClientThatStopsAndDropsConnectionIsLeftAlone) {
  Client client("ftp://h/f");
  client.LogIn();
  client.Reply("250 ok\r\n");
  client.Reply("227 (127,0,0,1,4,1)\r\n");
  FTPConnectionDataOpened(*client.connection);
  client.on_message = [&](FTPMessage m, bool& stop) {
    if (m == FTPMessage::kTransferAnswered) {
      client.connection.reset();
      stop = true;
    }
  };
  client.Reply("150 go\r\n226 done\r\n");  // the 226 must not be touched
  EXPECT_FALSE(client.connection);
  EXPECT_EQ(client.MessageKinds().back(), FTPMessage::kTransferAnswered);
}

TEST(FTPConnectionTest, UploadAppendsToShorterRemoteFile) {
  Client client("ftp://h/up/f.bin");
  client.connection->upload_mode = true;
  client.LogIn();
  client.Reply("250 ok\r\n");
  client.Sent();
  client.Reply("213 100\r\n");
  EXPECT_EQ(client.Sent(), "PASV\r\n");
  client.Reply("227 (127,0,0,1,4,1)\r\n");
  FTPConnectionDataOpened(*client.connection);
  EXPECT_EQ(client.Sent(), "APPE f.bin\r\n");
  EXPECT_EQ(client.connection->restart_offset, 100);

  Client missing("ftp://h/up/f.bin");
  missing.connection->upload_mode = true;
  missing.LogIn();
  missing.Sent();
  missing.Reply("550 no such directory\r\n");
  EXPECT_EQ(missing.MessageKinds().back(), FTPMessage::kFailed);
}

// Queue mode.

class QueueTest : public ::testing::Test {
 protected:
  QueueTest() : client("ftp://h/") { client.connection->queue_mode = true; }
  void LogIn() {
    client.LogIn("257 \"/\"\r\n");
    client.messages.clear();
  }
  Client client;
};

TEST_F(QueueTest, ListingQueuedBeforeLoginStartsAfterPwd) {
  FTPConnectionOpen(*client.connection);
  FTPConnectionQueueListFolder(*client.connection, "/pub/");
  client.Reply("220 ready\r\n");
  client.Reply("331 pass\r\n");
  client.Reply("230 in\r\n");
  client.Reply("200 binary\r\n");
  client.Sent();
  client.Reply("257 \"/\"\r\n");
  EXPECT_EQ(client.MessageKinds(), (std::vector{FTPMessage::kIdle, FTPMessage::kRequestStarting}));
  EXPECT_EQ(client.Sent(), "CWD /pub/\r\n");
  client.Reply("250 ok\r\n");
  EXPECT_EQ(client.Sent(), "PASV\r\n");
  client.Reply("227 (127,0,0,1,4,1)\r\n");
  client.net->data_open = true;
  FTPConnectionDataOpened(*client.connection);
  EXPECT_EQ(client.Sent(), "LIST -a\r\n");
  client.Reply("150 listing\r\n");
  FTPConnectionQueueDeleteFile(*client.connection, "/pub/old.txt");  // waits: a request runs
  EXPECT_EQ(client.Sent(), "");
  client.on_message = [&](FTPMessage m, bool&) {
    if (m == FTPMessage::kTransferComplete) FTPConnectionFinishRequest(*client.connection);
  };
  client.Reply("226 done\r\n");
  FTPConnectionCloseDataConnection(*client.connection);
  // Already in /pub: the delete goes by name.
  EXPECT_EQ(client.Sent(), "DELE old.txt\r\n");
  client.Reply("250 deleted\r\n");
  EXPECT_EQ(client.MessageKinds().back(), FTPMessage::kQueueEmpty);
  EXPECT_TRUE(client.connection->request_queue.empty());
}

TEST_F(QueueTest, OneCommandRequests) {
  LogIn();
  FTPConnectionQueueRemoveFolder(*client.connection, "/pub/linked", /*is_link=*/true);
  EXPECT_EQ(client.Sent(), "CWD /pub\r\n");
  client.Reply("250 ok\r\n");
  EXPECT_EQ(client.Sent(), "DELE linked\r\n");  // a link to a folder is no folder to RMD
  client.Reply("250 ok\r\n");

  FTPConnectionQueueRemoveFolder(*client.connection, "/pub/dir", false);
  EXPECT_EQ(client.Sent(), "RMD dir\r\n");
  client.Reply("550 not empty\r\n");
  EXPECT_EQ(client.messages[client.messages.size() - 2].message, FTPMessage::kFailed);

  FTPConnectionQueueChangePermissions(*client.connection, "/pub/f", 0644);
  EXPECT_EQ(client.Sent(), "SITE CHMOD 0644 f\r\n");
  client.Reply("200 ok\r\n");

  FTPConnectionQueueCreateFolder(*client.connection, "/elsewhere/", "new");
  EXPECT_EQ(client.Sent(), "CWD /elsewhere/\r\n");
  client.Reply("550 no such folder\r\n");
  EXPECT_EQ(client.Sent(), "MKD /elsewhere/new\r\n");
  client.Reply("257 \"/elsewhere/new\" created\r\n");

  FTPConnectionQueueRename(*client.connection, std::nullopt, "a", "b");
  EXPECT_EQ(client.Sent(), "RNFR /a\r\n");
  client.Reply("350 ready\r\n");
  EXPECT_EQ(client.Sent(), "RNTO /b\r\n");
  client.Reply("250 renamed\r\n");

  std::vector<FTPMessage> results;
  for (const auto& m : client.messages) {
    if (m.message == FTPMessage::kTransferAnswered || m.message == FTPMessage::kFailed)
      results.push_back(m.message);
  }
  EXPECT_EQ(results,
            (std::vector{FTPMessage::kTransferAnswered, FTPMessage::kFailed, FTPMessage::kTransferAnswered,
                         FTPMessage::kTransferAnswered, FTPMessage::kTransferAnswered}));
  EXPECT_TRUE(client.connection->request_queue.empty());
}

TEST_F(QueueTest, MoveQueuedBeforeLoginGetsBasePath) {
  FTPConnectionQueueMove(*client.connection, "docs/a.txt", "/abs/b.txt", std::nullopt);
  EXPECT_TRUE(client.connection->request_queue.front().old_path_base_needed);
  client.LogIn("257 \"/\"\r\n");
  EXPECT_EQ(client.Sent(), "RNFR /docs/a.txt\r\n");
  client.Reply("350 ok\r\n");
  EXPECT_EQ(client.Sent(), "RNTO /abs/b.txt\r\n");
}

TEST_F(QueueTest, UploadSkipsEqualFilesAndMakesMissingFolder) {
  LogIn();
  std::vector<std::pair<std::string, std::int64_t>> files = {{"same.bin", 100}, {"new.bin", 50}};
  client.on_message = [&](FTPMessage m, bool& stop) {
    if (m != FTPMessage::kBeginFile) return;
    if (files.empty()) {
      FTPConnectionFinishRequest(*client.connection);
      stop = true;
      return;
    }
    client.connection->current_file_name = files.front().first;
    client.connection->local_file_size = files.front().second;
    files.erase(files.begin());
  };
  FTPConnectionQueueUpload(*client.connection, "/up", "fresh");
  EXPECT_EQ(client.Sent(), "CWD /up\r\n");
  client.Reply("250 ok\r\n");
  EXPECT_EQ(client.Sent(), "CWD /up/fresh\r\n");
  client.Reply("550 no such folder\r\n");
  EXPECT_EQ(client.Sent(), "MKD fresh\r\n");
  client.Reply("257 \"/up/fresh\" created\r\n");
  EXPECT_EQ(client.Sent(), "CWD /up/fresh\r\n");
  client.Reply("250 ok\r\n");
  // A new folder holds none of the files: no SIZE.
  EXPECT_EQ(client.Sent(), "PASV\r\n");
  EXPECT_TRUE(client.connection->request_queue.front().no_size_check);

  // An existing folder: SIZE decides; the equal file is skipped.
  Client other("ftp://h/");
  other.connection->queue_mode = true;
  other.LogIn("257 \"/\"\r\n");
  files = {{"same.bin", 100}, {"new.bin", 50}};
  other.on_message = [&](FTPMessage m, bool& stop) {
    if (m != FTPMessage::kBeginFile) return;
    if (files.empty()) {
      FTPConnectionFinishRequest(*other.connection);
      stop = true;
      return;
    }
    other.connection->current_file_name = files.front().first;
    other.connection->local_file_size = files.front().second;
    files.erase(files.begin());
  };
  FTPConnectionQueueUpload(*other.connection, "/up", std::nullopt);
  other.Sent();
  other.Reply("250 ok\r\n");
  EXPECT_EQ(other.Sent(), "SIZE same.bin\r\n");
  other.Reply("213 100\r\n");
  EXPECT_EQ(other.Sent(), "SIZE new.bin\r\n");
  other.Reply("550 no such file\r\n");
  EXPECT_EQ(other.Sent(), "PASV\r\n");
  other.Reply("227 (127,0,0,1,4,1)\r\n");
  FTPConnectionDataOpened(*other.connection);
  EXPECT_EQ(other.Sent(), "STOR new.bin\r\n");
  other.Reply("150 go\r\n226 stored\r\n");
  EXPECT_TRUE(other.connection->request_queue.empty());
  EXPECT_EQ(other.connection->state, kFTPStateIdle);
}

TEST_F(QueueTest, AbortedTransferDropsRequestSilently) {
  LogIn();
  FTPConnectionQueueListFolder(*client.connection, "/a");
  FTPConnectionQueueListFolder(*client.connection, "/b");
  client.Reply("250 ok\r\n");
  client.Reply("227 (127,0,0,1,4,1)\r\n");
  FTPConnectionDataOpened(*client.connection);
  client.Sent();
  client.Reply("150 go\r\n426 aborted\r\n");
  EXPECT_EQ(client.Sent(), "CWD /b\r\n");
  EXPECT_EQ(client.connection->request_queue.size(), 1u);
  for (const auto& m : client.messages) {
    EXPECT_NE(m.message, FTPMessage::kTransferFailed);
    EXPECT_NE(m.message, FTPMessage::kFailed);
  }
}

TEST_F(QueueTest, FinishingTwiceRemovesOneRequest) {
  LogIn();
  FTPConnectionQueueListFolder(*client.connection, "/a");
  FTPConnectionQueueListFolder(*client.connection, "/b");
  client.Reply("250 ok\r\n");
  client.Reply("227 (127,0,0,1,4,1)\r\n");
  FTPConnectionDataOpened(*client.connection);
  client.Reply("150 go\r\n451 failed\r\n");  // message 3: the state stays 16
  ASSERT_EQ(client.connection->state, kFTPStateSingleTransferDone);
  FTPConnectionFinishRequest(*client.connection);
  FTPConnectionFinishRequest(*client.connection);
  EXPECT_EQ(client.connection->request_queue.size(), 1u);
}

TEST_F(QueueTest, UnsendableCommandDropsRequestAndGoesOn) {
  LogIn();
  FTPConnectionQueueDeleteFile(*client.connection, "/a/bad\r\nname");
  FTPConnectionQueueDeleteFile(*client.connection, "/b/good");
  EXPECT_EQ(client.Sent(), "CWD /a\r\n");
  client.Reply("250 ok\r\n");
  EXPECT_EQ(client.Sent(), "CWD /b\r\n");
  EXPECT_EQ(client.connection->request_queue.size(), 1u);
  EXPECT_EQ(client.MessageKinds()[1], FTPMessage::kFailed);
}

}  // namespace
}  // namespace engine
