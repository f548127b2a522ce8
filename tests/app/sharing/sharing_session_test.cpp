// One server connection without a socket: logins, commands, listings, what a peer may see.
#include "app/sharing/server/sharing_session.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/sharing/crypto/rsa_key.h"
#include "app/sharing/crypto/server_key.h"
#include "app/sharing/crypto/session_cipher.h"
#include "tests/app/sharing/sharing_test_support.h"
#include "tests/support/temp_home.h"

namespace sharing {
namespace {

using namespace sharing::testing;

class SharingSessionTest : public SharingFixture {
 protected:
  // Greets and logs in; the login reply.
  std::string LogIn(SharingSession& s, const std::string& user, const std::string& password) {
    const std::string greeting = s.Greeting();
    return Send(s, LoginLine(user, greeting.substr(7, kChallengeLength), password));
  }
  static std::string Send(SharingSession& s, const std::string& bytes, bool* goesOn = nullptr) {
    std::string out;
    const bool more =
        s.Receive(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), out);
    if (goesOn) *goesOn = more;
    return out;
  }
};

TEST_F(SharingSessionTest, Logins) {
  SetUsers({{"bob", User("bob", "pw", {kSharedFolder})},
            {"carol", User("carol", "pw", {kSharedFolder}, {}, true)},
            {"Guest", User("Guest", "", {kSharedFolder})}});
  struct Case {
    std::string user, password;
    std::string reply;
  } cases[] = {
      {"bob", "pw", "+OK 0 Authentication accepted.\r\n"},
      {"carol", "pw", "+OK 1 Authentication accepted.\r\n"},
      {"bob", "wrong", "-ERR Bad Authentication.\r\n"},
      {"BOB", "pw", "-ERR Bad Authentication.\r\n"},
      {"mallory", "", "-ERR Bad Authentication.\r\n"},
      {"", "", "+OK 0 Authentication accepted.\r\n"},
      {"guest", "", "+OK 0 Authentication accepted.\r\n"},
      {"Guest", "x", "-ERR Bad Authentication.\r\n"},
  };
  for (const auto& c : cases) {
    SharingSession s("127.0.0.1");
    EXPECT_EQ(LogIn(s, c.user, c.password), c.reply) << c.user << "/" << c.password;
    EXPECT_EQ(s.loginState(), c.reply[0] == '+' ? LoginState::kLoggedIn : LoginState::kRefused);
  }
}

TEST_F(SharingSessionTest, GuestWithoutAnyRightIsRefused) {
  SetUsers({{"Guest", User("Guest", "", {})}});
  SharingSession s("127.0.0.1");
  EXPECT_EQ(LogIn(s, "Guest", ""), "-ERR Bad Authentication.\r\n");
}

TEST_F(SharingSessionTest, NothingIsServedBeforeTheLogin) {
  for (const std::string first : {"FOLDERS\r\n", "ITEMS\r\n", "PUBKEY\r\n", "QUIT\r\n"}) {
    SharingSession s("127.0.0.1");
    s.Greeting();
    bool goesOn = true;
    EXPECT_EQ(Send(s, first + "NAME\r\n", &goesOn), "-ERR Bad Authentication.\r\n") << first;
    EXPECT_FALSE(goesOn);
    // A refused connection takes nothing more.
    EXPECT_EQ(Send(s, "NAME\r\n", &goesOn), "");
    EXPECT_FALSE(goesOn);
  }
}

TEST_F(SharingSessionTest, CommandsArriveWholeOrInPiecesAndAreAnsweredInOrder) {
  SharingSession s("127.0.0.1");
  LogIn(s, "bob", "pw");
  const std::string name = "+OK\r\n" + SharingComputerName() + "\r\n";
  EXPECT_EQ(Send(s, "NAME\r\nNAME\r\n"), name + name);
  EXPECT_EQ(Send(s, "NA"), "");
  EXPECT_EQ(Send(s, "ME\r\n"), name);
  EXPECT_EQ(Send(s, "name\r\n"), "-ERR unknown command\r\n");
  EXPECT_EQ(Send(s, "NAME \r\n"), "-ERR unknown command\r\n");
  bool goesOn = true;
  EXPECT_EQ(Send(s, "QUIT\r\n", &goesOn), "");
  EXPECT_FALSE(goesOn);
}

TEST_F(SharingSessionTest, AnOverlongLineEndsTheConnection) {
  SharingSession s("127.0.0.1");
  LogIn(s, "bob", "pw");
  bool goesOn = true;
  EXPECT_EQ(Send(s, std::string(kMaxSharingLineLength + 1, 'A'), &goesOn), "");
  EXPECT_FALSE(goesOn);
}

TEST_F(SharingSessionTest, FoldersListsWhatTheUserMaySee) {
  SharingSession s("127.0.0.1");
  LogIn(s, "bob", "pw");
  listing_->folders.push_back({kReceivedFolder + 1, "Not listed", 0});
  EXPECT_EQ(Send(s, "FOLDERS\r\n"),
            "+OK\r\n"
            "UID:1048576\r\nName:Shared\r\nFlags:5\r\nItemEnd:\r\n"
            "UID:4194304\r\nName:Smart\r\nFlags:9\r\nItemEnd:\r\n"
            "UID:22\r\nName:Received Files\r\nFlags:0\r\nItemEnd:\r\n"
            "CommandEnd:\r\n");
}

TEST_F(SharingSessionTest, ItemsOfVisibleFoldersButNeverOfSmartFolders) {
  SharingSession s("127.0.0.1");
  LogIn(s, "bob", "pw");
  listing_->items[kSharedFolder][1].name = "evil\r\nItemEnd:";
  const std::string start1904 = std::to_string(3061152000u);
  EXPECT_EQ(
      Send(s, "ITEMS\r\n"),
      "+OK\r\n"
      "UID:7\r\nFolder:1048576\r\nName:a.bin\r\nURL:http://example.test/a.bin\rhttp://mirror.test/a.bin\r\n"
      "Referer:http://example.test/\r\nDLCount:2\r\nSize:1234\r\nFlags:4\r\nStart:" +
          start1904 + "\r\nEnd:" + start1904 +
          "\r\nItemEnd:\r\n"
          "UID:8\r\nFolder:1048576\r\nName:evil  ItemEnd:\r\nURL:http://example.test/b.txt\r\n"
          "DLCount:0\r\nSize:-1\r\nFlags:0\r\nStart:" +
          start1904 + "\r\nEnd:" + start1904 +
          "\r\nItemEnd:\r\n"
          "CommandEnd:\r\n");
}

TEST_F(SharingSessionTest, ReceivedFilesStayInsideTheSharedFolders) {
  namespace fs = std::filesystem;
  const std::string root = testsupport::MakeTempDir("recv");
  const std::string folder = root + "/Received";
  const std::string outside = root + "/outside.txt";
  for (const char* f : {"/Received/top.txt", "/Received/Guest/g.txt", "/Received/bob/b.txt",
                        "/Received/carol/c.txt", "/outside.txt", "/Received/bob/deep/d.txt"}) {
    testsupport::WriteFile(root + f, "x");
  }
  fs::create_symlink(outside, folder + "/link.txt");
  fs::create_symlink(root, folder + "/bob/up");
  ReceivedFilesServiceSlot::Set(std::make_unique<FixedReceivedFolder>(folder));
  struct Case {
    std::string path;
    bool listed;
  } cases[] = {
      {folder + "/top.txt", true},
      {folder + "/Guest/g.txt", true},
      {folder + "/bob/b.txt", true},
      {folder + "/bob/deep/d.txt", true},
      {folder + "/carol/c.txt", false},
      {folder + "/../outside.txt", false},
      {outside, false},
      {folder + "/link.txt", false},
      {folder + "/bob/up/outside.txt", false},
      {folder + "/bob/../carol/c.txt", false},
      {folder + "/missing.txt", false},
  };
  int n = 0;
  for (const auto& c : cases) {
    received_->files.push_back({"f" + std::to_string(n), 1, "UID" + std::to_string(n), 1, c.path});
    ++n;
  }
  received_->files.push_back({"incomplete", 1, "UIDX", 2, folder + "/top.txt"});
  SharingSession s("127.0.0.1");
  LogIn(s, "bob", "pw");
  const std::string reply = Send(s, "RECV\r\n");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string record = "Name:f" + std::to_string(i) + "\r\nSize:1\r\nURL:receivedFile?UID" +
                               std::to_string(i) + "\r\nItemEnd:\r\n";
    EXPECT_EQ(reply.find(record) != std::string::npos, cases[i].listed) << cases[i].path;
  }
  EXPECT_EQ(reply.find("UIDX"), std::string::npos);

  // A user name that is not one plain folder name never opens a folder of its own.
  EXPECT_FALSE(ReceivedFileVisibleToUser(root + "/x.txt", folder + "/..", ".."));
  EXPECT_FALSE(ReceivedFileVisibleToUser(folder + "/../x/y.txt", folder, ".."));
  // Without the received-files folder among the visible ones, nothing is listed.
  SharingSession guest("127.0.0.1");
  LogIn(guest, "Guest", "");
  EXPECT_EQ(Send(guest, "RECV\r\n"), "+OK\r\nCommandEnd:\r\n");
}

TEST_F(SharingSessionTest, SessionKeyEnciphersEverythingFromItsOwnReplyOn) {
  const auto serverKey = CopyOrCreateServerKey();
  ASSERT_TRUE(serverKey);
  SharingSession s("127.0.0.1");
  LogIn(s, "bob", "pw");
  EXPECT_EQ(Send(s, "SETSESSIONKEY !!!!\r\n"), "-ERR\r\n");
  EXPECT_EQ(Send(s, "SETSESSIONKEY\r\n"), "-ERR\r\n");
  EXPECT_FALSE(s.enciphered());

  const std::string pub = Send(s, "PUBKEY\r\n");
  EXPECT_EQ(pub, "+OK\r\n" + serverKey->PublicKeyString() + "\r\n");
  auto peerKey = RSAKey::FromPublicKeyString(serverKey->PublicKeyString(), kPeerKeyExponent);
  ASSERT_TRUE(peerKey);
  std::string keyText;
  SessionCipherPtr client = CreateSessionKey(*peerKey, keyText);
  ASSERT_TRUE(client);
  std::string ok = Send(s, "SETSESSIONKEY " + keyText + "\r\n");
  SessionCipherApply(*client, reinterpret_cast<std::uint8_t*>(ok.data()), ok.size());
  EXPECT_EQ(ok, "+OK\r\n");
  EXPECT_TRUE(s.enciphered());

  std::string command = "NAME\r\n";
  SessionCipherApply(*client, reinterpret_cast<std::uint8_t*>(command.data()), command.size());
  std::string reply = Send(s, command);
  SessionCipherApply(*client, reinterpret_cast<std::uint8_t*>(reply.data()), reply.size());
  EXPECT_EQ(reply, "+OK\r\n" + SharingComputerName() + "\r\n");

  // A command in the clear now reads as garbage.
  std::string garbage = Send(s, "NAME\r\n");
  EXPECT_NE(garbage.substr(0, 5), "+OK\r\n");
}

}  // namespace
}  // namespace sharing
