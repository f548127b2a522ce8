#include "app/browser/webdav/webdav_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/engine/network/accepted_certificates.h"
#include "platform/values/value.h"
#include "tests/platform/net/net_test_support.h"
#include "tests/servers/dav_test_servers.h"
#include "tests/support/temp_home.h"

namespace browser {
namespace {

using net::testing::RunUntil;

// Tells the test how an operation ended, as a browser node would be told.
class RecordingInfo : public TRDMTransactionInfo {
 public:
  RecordingInfo(TRDotMacTransactionRef t, std::string* outcome)
      : TRDMTransactionInfo(std::move(t)), outcome_(outcome) {}
  void succeeded() override { *outcome_ += "success"; }
  void failed() override { *outcome_ += "failure"; }
  void aborted() override { *outcome_ += "aborted"; }

 private:
  std::string* outcome_;
};

struct Ended {
  std::string outcome;
  TRDotMacTransactionRef transaction;
};

// Registers the operation and runs the loop until its outcome came.
Ended Await(TRDotMacNodeConnection& connection, TRDotMacTransactionRef transaction) {
  Ended e;
  e.transaction = transaction;
  if (!transaction) return e;
  connection.addTransactionInfo(std::make_shared<RecordingInfo>(transaction, &e.outcome));
  EXPECT_TRUE(RunUntil([&] { return !e.outcome.empty(); }, std::chrono::seconds(30)));
  return e;
}

std::vector<std::string> Methods(const std::vector<testservers::ScriptedDavServer::Request>& requests) {
  std::vector<std::string> out;
  for (const auto& r : requests) out.push_back(r.method);
  return out;
}

std::vector<std::string> Uris(const TRDotMacTransactionRef& t) {
  std::vector<std::string> out;
  if (t && t->result()) {
    for (const auto& e : *t->result()) out.push_back(e.uri);
  }
  return out;
}

TEST(WebDAVConnection, HostAndRootPathAreStoredBare) {
  struct Case {
    std::string host, root, wantHost, wantRoot;
  };
  const std::vector<Case> cases = {
      {"http://dav.example.org/", "/", "dav.example.org", ""},
      {"https://dav.example.org:8443/", "files/", "dav.example.org:8443", "/files"},
      {"dav.example.org", "/a/b", "dav.example.org", "/a/b"},
      {"dav.example.org", "", "dav.example.org", ""},
  };
  for (const auto& c : cases) {
    TRWebDAVConnection connection(c.host, c.root, "u", "p", false);
    EXPECT_EQ(connection.host(), c.wantHost) << c.host;
    EXPECT_EQ(connection.rootPath(), c.wantRoot) << c.root;
    EXPECT_EQ(connection.iDiskName(), c.wantHost);
    EXPECT_EQ(connection.type(), "webdav");
  }
}

TEST(WebDAVConnection, UrlsEscapeThePathAndNameTheSchemeBySecure) {
  TRWebDAVConnection plain("h.example:81", "/r oot", "", "", false);
  TRWebDAVConnection secure("h.example", "/", "", "", true);
  EXPECT_EQ(plain.urlForPath("/a b/c.txt"), "http://h.example:81/r%20oot/a%20b/c.txt");
  EXPECT_EQ(secure.urlForPath("/x"), "https://h.example/x");
  EXPECT_EQ(secure.urlForPath("/50% #1?.txt"), "https://h.example/50%25%20%231%3F.txt");
  EXPECT_EQ(secure.urlForPath("/\xC3\xA9"), "https://h.example/%C3%A9");
}

TEST(WebDAVConnection, ConnectionsCountTheirHostIDsUp) {
  TRDotMacNodeConnection::ResetHostIDsForTesting();
  TRWebDAVConnection first("a", "/", "", "", false);
  TRWebDAVConnection second("b", "/", "", "", false);
  EXPECT_EQ(first.hostID(), 0xC0000000u);
  EXPECT_EQ(second.hostID(), 0xC0000001u);
}

class WebDAVScriptedTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.ok()); }
  testservers::ScriptedDavServer server_;
};

TEST_F(WebDAVScriptedTest, TheFirstRequestProbesAndLaterOnesCarryCredentialsAtOnce) {
  TRWebDAVConnection connection(server_.HostPort(), "/auth", testservers::ScriptedDavServer::kUser,
                                testservers::ScriptedDavServer::kPassword, false);
  Ended first = Await(connection, connection.listCollectionAtPath("/dir/"));
  EXPECT_EQ(first.outcome, "success");
  EXPECT_EQ(Uris(first.transaction), (std::vector<std::string>{"/dir/file one.txt", "/dir/sub"}));
  Ended second = Await(connection, connection.makeCollectionAtPath("/dir/new"));
  EXPECT_EQ(second.outcome, "success");
  const auto requests = server_.Requests();
  EXPECT_EQ(Methods(requests), (std::vector<std::string>{"OPTIONS", "PROPFIND", "MKCOL"}));
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].authorization, "");
  // The server offers Basic and Digest over plain http: the password does not go in clear.
  EXPECT_TRUE(requests[1].authorization.starts_with("Digest ")) << requests[1].authorization;
  EXPECT_EQ(requests[1].depth, "1");
  EXPECT_EQ(requests[1].path, "/auth/dir/");
  EXPECT_TRUE(requests[2].authorization.starts_with("Digest "));
  EXPECT_TRUE(connection.transactions().empty());
  EXPECT_TRUE(connection.privateTransactions().empty());
}

TEST_F(WebDAVScriptedTest, OnlyBasicOfferedIsAnsweredWithBasic) {
  TRWebDAVConnection connection(server_.HostPort(), "/basic", testservers::ScriptedDavServer::kUser,
                                testservers::ScriptedDavServer::kPassword, false);
  EXPECT_EQ(Await(connection, connection.deleteResourceAtPath("/gone.txt")).outcome, "success");
  const auto requests = server_.Requests();
  EXPECT_EQ(Methods(requests), (std::vector<std::string>{"OPTIONS", "DELETE"}));
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[1].authorization.starts_with("Basic "));
}

TEST_F(WebDAVScriptedTest, ARefusedProbeDoesNotStopTheRequest) {
  TRWebDAVConnection connection(server_.HostPort(), "/noopts", "", "", false);
  Ended e = Await(connection, connection.listCollectionAtPath("/"));
  EXPECT_EQ(e.outcome, "success");
  EXPECT_EQ(Methods(server_.Requests()), (std::vector<std::string>{"OPTIONS", "PROPFIND"}));
  EXPECT_EQ(e.transaction->errorType(), kDMErrorNone);
}

TEST_F(WebDAVScriptedTest, RefusedCredentialsFailWithTheLoginError) {
  TRWebDAVConnection connection(server_.HostPort(), "/auth", "user", "wrong", false);
  Ended e = Await(connection, connection.listCollectionAtPath("/dir/"));
  EXPECT_EQ(e.outcome, "failure");
  EXPECT_EQ(e.transaction->errorType(), kDMErrorLoginRefused);
  EXPECT_EQ(e.transaction->httpStatusCode(), 401);
  EXPECT_EQ(Methods(server_.Requests()), (std::vector<std::string>{"OPTIONS", "PROPFIND"}));
}

TEST_F(WebDAVScriptedTest, AServerThatChallengesForEverIsGivenUpOn) {
  TRWebDAVConnection connection(server_.HostPort(), "/stale", "user", "secret", false);
  Ended e = Await(connection, connection.listCollectionAtPath("/"));
  EXPECT_EQ(e.outcome, "failure");
  EXPECT_EQ(e.transaction->errorType(), kDMErrorLoginRefused);
}

TEST_F(WebDAVScriptedTest, AResetEndsAReplyOnlyWhenItsBodyIsComplete) {
  TRWebDAVConnection connection(server_.HostPort(), "", "", "", false);
  Ended whole = Await(connection, connection.listCollectionAtPath("/reset/dir/"));
  EXPECT_EQ(whole.outcome, "success");
  EXPECT_EQ(Uris(whole.transaction), (std::vector<std::string>{"/reset/dir/file one.txt", "/reset/dir/sub"}));
  Ended cut = Await(connection, connection.listCollectionAtPath("/resetcut/dir/"));
  EXPECT_EQ(cut.outcome, "failure");
  EXPECT_FALSE(cut.transaction->result());
}

TEST_F(WebDAVScriptedTest, StatusesGiveTheirErrorTypes) {
  struct Case {
    int status;
    const char* outcome;
    int errorType;
  };
  const std::vector<Case> cases = {
      {201, "success", kDMErrorNone},         {204, "success", kDMErrorNone},
      {403, "failure", kDMErrorLoginRefused}, {503, "failure", kDMErrorLoginRefused},
      {404, "failure", kDMErrorNotFound},     {507, "failure", kDMErrorOutOfSpace},
      {500, "failure", kDMErrorOther},        {302, "failure", kDMErrorOther},
  };
  TRWebDAVConnection connection(server_.HostPort(), "/status", "", "", false);
  for (const auto& c : cases) {
    Ended e = Await(connection, connection.makeCollectionAtPath("/" + std::to_string(c.status) + "/x"));
    EXPECT_EQ(e.outcome, c.outcome) << c.status;
    EXPECT_EQ(e.transaction->errorType(), c.errorType) << c.status;
    EXPECT_EQ(e.transaction->httpStatusCode(), c.status);
  }
}

TEST_F(WebDAVScriptedTest, MoveAndCopyNeverReplaceAnExistingItem) {
  TRWebDAVConnection connection(server_.HostPort(), "", "", "", false);
  Ended moved = Await(connection, connection.moveResourceAtPath("/plain/a b", "/plain/c"));
  EXPECT_EQ(moved.outcome, "success");
  Ended onto = Await(connection, connection.copyResourceAtPath("/plain/a", "/plain/exists"));
  EXPECT_EQ(onto.outcome, "failure");
  EXPECT_EQ(onto.transaction->httpStatusCode(), 412);
  const auto requests = server_.Requests();
  ASSERT_EQ(Methods(requests), (std::vector<std::string>{"OPTIONS", "MOVE", "OPTIONS", "COPY"}));
  EXPECT_EQ(requests[1].path, "/plain/a%20b");
  EXPECT_EQ(requests[1].destination, "http://" + server_.HostPort() + "/plain/c");
  EXPECT_EQ(requests[1].overwrite, "F");
  EXPECT_EQ(requests[3].overwrite, "F");
}

TEST_F(WebDAVScriptedTest, AListingThatIsNoXMLFails) {
  TRWebDAVConnection connection(server_.HostPort(), "", "", "", false);
  Ended e = Await(connection, connection.listCollectionAtPath("/notxml/"));
  EXPECT_EQ(e.outcome, "failure");
  EXPECT_EQ(e.transaction->errorType(), kDMErrorOther);
  EXPECT_EQ(std::dynamic_pointer_cast<TRWebDAVTransaction>(e.transaction)->error().domain,
            net::ErrorDomain::kCustom);
}

TEST_F(WebDAVScriptedTest, AnAbortedOperationEndsAsAbortedAndNothingFollows) {
  TRWebDAVConnection connection(server_.HostPort(), "", "", "", false);
  std::string outcome;
  auto t = connection.listCollectionAtPath("/plain/");
  connection.addTransactionInfo(std::make_shared<RecordingInfo>(t, &outcome));
  connection.cancelAllTransactions();
  EXPECT_EQ(outcome, "aborted");
  RunUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_EQ(outcome, "aborted");
  EXPECT_TRUE(connection.transactions().empty());
  EXPECT_TRUE(connection.privateTransactions().empty());
}

TEST(WebDAVConnectionFailures, NothingListeningIsANoConnectionError) {
  testservers::RefusingPort refusing;
  ASSERT_NE(refusing.port(), 0);
  TRWebDAVConnection connection("127.0.0.1:" + std::to_string(refusing.port()), "", "", "", false);
  Ended e = Await(connection, connection.listCollectionAtPath("/"));
  EXPECT_EQ(e.outcome, "failure");
  EXPECT_EQ(e.transaction->errorType(), kDMErrorNoConnection);
}

// ---- lighttpd

void Write(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

TEST(WebDAVLighttpd, EveryOperationChangesTheServerAsAsked) {
  using Auth = testservers::LighttpdDavServer::Auth;
  for (Auth auth : {Auth::kBasic, Auth::kDigest}) {
    testservers::LighttpdDavServer server(auth);
    ASSERT_TRUE(server.ok());
    const std::string& dav = server.DavDir();
    Write(dav + "/docs/a file.txt", "alpha");
    Write(dav + "/docs/keep.txt", "keep");
    std::filesystem::create_directories(dav + "/docs/old folder");
    TRWebDAVConnection connection(server.HostPort(), "/docs", testservers::LighttpdDavServer::kUser,
                                  testservers::LighttpdDavServer::kPassword, false);
    Ended list = Await(connection, connection.listCollectionAtPath("/"));
    ASSERT_EQ(list.outcome, "success");
    auto uris = Uris(list.transaction);
    std::sort(uris.begin(), uris.end());
    EXPECT_EQ(uris, (std::vector<std::string>{"/a file.txt", "/keep.txt", "/old folder"}));
    for (const auto& entry : *list.transaction->result()) {
      EXPECT_EQ(entry.isCollection, entry.uri == "/old folder") << entry.uri;
      if (entry.uri == "/a file.txt") {
        EXPECT_EQ(entry.contentLength, 5);
      }
      EXPECT_TRUE(entry.lastModified) << entry.uri;
    }
    EXPECT_EQ(Await(connection, connection.makeCollectionAtPath("/new folder")).outcome, "success");
    EXPECT_TRUE(std::filesystem::is_directory(dav + "/docs/new folder"));
    EXPECT_EQ(Await(connection, connection.moveResourceAtPath("/a file.txt", "/renamed.txt")).outcome,
              "success");
    EXPECT_TRUE(std::filesystem::exists(dav + "/docs/renamed.txt"));
    EXPECT_FALSE(std::filesystem::exists(dav + "/docs/a file.txt"));
    EXPECT_EQ(
        Await(connection, connection.copyResourceAtPath("/renamed.txt", "/new folder/copy.txt")).outcome,
        "success");
    EXPECT_EQ(testsupport::ReadFile(dav + "/docs/new folder/copy.txt"), "alpha");
    // Onto an existing item: refused, and the item there is kept.
    Ended onto = Await(connection, connection.moveResourceAtPath("/renamed.txt", "/keep.txt"));
    EXPECT_EQ(onto.outcome, "failure");
    EXPECT_EQ(onto.transaction->httpStatusCode(), 412);
    EXPECT_EQ(testsupport::ReadFile(dav + "/docs/keep.txt"), "keep");
    EXPECT_EQ(Await(connection, connection.deleteResourceAtPath("/old folder/")).outcome, "success");
    EXPECT_FALSE(std::filesystem::exists(dav + "/docs/old folder"));
    Ended missing = Await(connection, connection.listCollectionAtPath("/nowhere/"));
    EXPECT_EQ(missing.outcome, "failure");
    EXPECT_EQ(missing.transaction->errorType(), kDMErrorNotFound);
    TRWebDAVConnection refused(server.HostPort(), "/docs", testservers::LighttpdDavServer::kUser, "wrong",
                               false);
    Ended login = Await(refused, refused.listCollectionAtPath("/"));
    EXPECT_EQ(login.outcome, "failure");
    EXPECT_EQ(login.transaction->errorType(), kDMErrorLoginRefused);
  }
}

class ScriptedTrustPanel : public engine::TrustPanel {
 public:
  explicit ScriptedTrustPanel(std::vector<bool> answers) : answers_(std::move(answers)) {}
  Answer RunModal(const net::CertificateChain& chain, const std::string& message) override {
    asked.push_back(message);
    chains.push_back(chain.size());
    Answer a;
    a.accepted = asked.size() <= answers_.size() && answers_[asked.size() - 1];
    return a;
  }
  std::vector<std::string> asked;
  std::vector<std::size_t> chains;

 private:
  std::vector<bool> answers_;
};

// A self-signed server is asked about once; accepted, it is listed. Another server on the
// same host with another certificate is asked about again, and declined, fails.
TEST(WebDAVLighttpd, CertificatesAreAskedAboutAndComparedWithTheAcceptedOne) {
  engine::LoadAcceptedCertificates(values::Value(), values::Value());
  const auto first = testservers::MakeSelfSigned({});
  const auto second = testservers::MakeSelfSigned({});
  testservers::LighttpdDavServer one(testservers::LighttpdDavServer::Auth::kDigest, &first);
  testservers::LighttpdDavServer two(testservers::LighttpdDavServer::Auth::kNone, &second);
  ASSERT_TRUE(one.ok() && two.ok());
  Write(one.DavDir() + "/f.txt", "f");
  auto panel = std::make_unique<ScriptedTrustPanel>(std::vector<bool>{true, false});
  ScriptedTrustPanel* trust = panel.get();
  engine::TrustPanelSlot::Set(std::move(panel));

  TRWebDAVConnection secure(one.HostPort(true), "/", testservers::LighttpdDavServer::kUser,
                            testservers::LighttpdDavServer::kPassword, true);
  Ended listed = Await(secure, secure.listCollectionAtPath("/"));
  EXPECT_EQ(listed.outcome, "success");
  EXPECT_EQ(Uris(listed.transaction), (std::vector<std::string>{"/f.txt"}));
  ASSERT_EQ(trust->asked.size(), 1u);
  EXPECT_NE(trust->asked[0].find("127.0.0.1"), std::string::npos) << trust->asked[0];
  EXPECT_EQ(Await(secure, secure.makeCollectionAtPath("/more")).outcome, "success");
  EXPECT_EQ(trust->asked.size(), 1u) << "an accepted certificate is not asked about again";

  TRWebDAVConnection other(two.HostPort(true), "/", "", "", true);
  Ended changed = Await(other, other.listCollectionAtPath("/"));
  EXPECT_EQ(changed.outcome, "failure");
  EXPECT_EQ(changed.transaction->errorType(), kDMErrorNoConnection);
  ASSERT_EQ(trust->asked.size(), 2u);
  EXPECT_EQ(trust->asked[1], "The certificate for 127.0.0.1 is not valid. Do you still want to connect?");
  engine::TrustPanelSlot::Set(nullptr);
  engine::LoadAcceptedCertificates(values::Value(), values::Value());
}

}  // namespace
}  // namespace browser
