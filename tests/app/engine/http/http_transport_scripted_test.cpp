// The HTTP transport against the scripted server's faults, one download at a time on the
// test thread's loop (tests/app/engine/http/http_transport_harness.h plays the engine).
#include <gtest/gtest.h>

#include "app/engine/http/cookies_and_proxy_credentials.h"
#include "app/engine/urls/url_entries.h"
#include "app/util/files/file_names.h"
#include "platform/values/base64.h"
#include "tests/app/engine/http/http_transport_harness.h"
#include "tests/servers/test_servers.h"

namespace engine {
namespace {

using testing::FakeDownload;
using testservers::ScriptedHttpServer;

class HttpTransportScriptedTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { (void)util::GetFileNameCharacterSet(); }
  void SetUp() override {
    ASSERT_TRUE(server_.ok());
    SharedCookieJar().Clear();
  }
  ScriptedHttpServer server_;
};

TEST_F(HttpTransportScriptedTest, AWholeFileIsWrittenAndItsSizeAndNameLearned) {
  for (const char* path : {"/ok", "/chunked", "/until-close"}) {
    FakeDownload d(server_.Url(path));
    ASSERT_TRUE(d.Run()) << path;
    EXPECT_EQ(d.file, ScriptedHttpServer::Body()) << path;
    ASSERT_EQ(d.ends.size(), 1u) << path;
    EXPECT_EQ(d.ends[0], kStreamDone) << path;
    EXPECT_TRUE(d.facts.sizeKnown) << path;
    EXPECT_EQ(d.facts.totalSize, static_cast<std::int64_t>(ScriptedHttpServer::kBodySize)) << path;
    EXPECT_TRUE(d.EntryFlag(kEntryValidated)) << path;
    ASSERT_EQ(d.names.size(), 1u) << path;
    EXPECT_EQ(d.names[0], std::string(path + 1)) << path;
  }
}

// The scripted server ignores Range: first a retry with If-Range, then this connection
// takes the whole file from 0 and the mirror can no longer be split.
TEST_F(HttpTransportScriptedTest, AServerIgnoringTheRangeIsAskedOnceMoreThenFetchedWhole) {
  FakeDownload d(server_.Url("/ok"));
  ASSERT_TRUE(d.Run({5000, kOpenEndLength}));
  ASSERT_EQ(d.ends.size(), 3u);
  EXPECT_EQ(d.ends[0], kStreamReplaced);
  EXPECT_EQ(d.ends[1], kStreamError | kStreamWholeFile | kStreamKeepAsWhole);
  EXPECT_EQ(d.ends[2], kStreamDone);
  EXPECT_TRUE(d.EntryFlag(kEntryUseIfRange));
  EXPECT_TRUE(d.EntryFlag(kEntryNoRestarts));
  EXPECT_EQ(d.file, ScriptedHttpServer::Body());
}

TEST_F(HttpTransportScriptedTest, AWrongContentRangeNeverWritesAtTheWrongPlace) {
  FakeDownload d(server_.Url("/wrong-range"));
  ASSERT_TRUE(d.Run({5000, kOpenEndLength}));
  ASSERT_EQ(d.ends.size(), 2u);
  EXPECT_EQ(d.ends[0], kStreamReplaced);
  EXPECT_EQ(d.ends[1], kStreamError | kStreamWholeFile);
  EXPECT_TRUE(d.file.empty());
}

TEST_F(HttpTransportScriptedTest, GzipIsDecodedWithTheDecodedSize) {
  FakeDownload d(server_.Url("/gzip"));
  ASSERT_TRUE(d.Run());
  EXPECT_EQ(d.file, ScriptedHttpServer::Body());
  EXPECT_EQ(d.facts.totalSize, static_cast<std::int64_t>(ScriptedHttpServer::kBodySize));
  EXPECT_TRUE(d.EntryFlag(kEntryNoRestarts));
  EXPECT_EQ(d.ends.back(), kStreamDone);
}

TEST_F(HttpTransportScriptedTest, FailuresEndWithTheirFlagsAndWriteNothing) {
  const struct {
    const char* path;
    std::uint32_t flags;
    net::StreamError error;
  } cases[] = {
      {"/cut", kStreamError, {net::ErrorDomain::kHttp, net::http_code::kBodyCutShort}},
      {"/cut-chunked", kStreamError, {net::ErrorDomain::kHttp, net::http_code::kBodyCutShort}},
      {"/503", kStreamError | kStreamRetryLate, {net::ErrorDomain::kHttp, 503}},
      {"/503-dns", kStreamError | kStreamFatal, {net::ErrorDomain::kNetDb, 7}},
      {"/no-such-route", kStreamError | kStreamFatal, {net::ErrorDomain::kHttp, 404}},
      {"/multipart", kStreamError | kStreamFatal, {net::ErrorDomain::kHttp, 206}},
  };
  for (const auto& c : cases) {
    FakeDownload d(server_.Url(c.path));
    d.facts.wantedConnections = 3;
    ASSERT_TRUE(d.Run()) << c.path;
    ASSERT_EQ(d.ends.size(), 1u) << c.path;
    EXPECT_EQ(d.ends[0], c.flags) << c.path;
    EXPECT_EQ(d.error, c.error) << c.path;
    if (std::string(c.path).starts_with("/503")) {
      EXPECT_EQ(d.facts.wantedConnections, 2) << c.path;
    }
    if (!std::string(c.path).starts_with("/cut")) {
      EXPECT_TRUE(d.file.empty()) << c.path;
    }
  }
}

TEST_F(HttpTransportScriptedTest, ChallengesAreAnsweredByANewConnectionAndSecretsStayOutOfTheLog) {
  for (const char* path : {"/basic", "/digest", "/digest-stale"}) {
    FakeDownload d(server_.Url(path));
    d.facts.user = ScriptedHttpServer::kUser;
    d.facts.password = ScriptedHttpServer::kPassword;
    ASSERT_TRUE(d.Run()) << path;
    EXPECT_EQ(d.file, ScriptedHttpServer::Body()) << path;
    EXPECT_EQ(d.ends.back(), kStreamDone) << path;
    EXPECT_EQ(d.LogText().find(ScriptedHttpServer::kPassword), std::string::npos) << path;
    EXPECT_EQ(d.LogText().find(values::EncodeBase64(std::string("user:secret"))), std::string::npos) << path;
  }
}

TEST_F(HttpTransportScriptedTest, ChallengesWithoutOrWithWrongCredentialsAskTheUser) {
  FakeDownload none(server_.Url("/basic"));
  ASSERT_TRUE(none.Run());
  EXPECT_EQ(none.ends.back(), kStreamError | kStreamNeedsAuth);

  FakeDownload wrong(server_.Url("/digest"));
  wrong.facts.user = "user";
  wrong.facts.password = "wrong";
  ASSERT_TRUE(wrong.Run());
  EXPECT_EQ(wrong.ends.back(), kStreamError | kStreamNeedsAuth);
  EXPECT_LE(wrong.ends.size(), static_cast<std::size_t>(kMaxAuthAttempts + 1));
  EXPECT_TRUE(wrong.file.empty());
}

TEST_F(HttpTransportScriptedTest, ARelativeRedirectMovesTheMirrorAndKeepsItsCookies) {
  const std::string start = server_.Url("/dir/redirect-relative");
  FakeDownload d(start);
  ASSERT_TRUE(d.Run());
  EXPECT_EQ(d.file, ScriptedHttpServer::Body());
  EXPECT_EQ(d.EntryString("url"), server_.Url("/ok?from=redirect"));
  EXPECT_EQ(d.EntryString("referer"), start);
  const values::Value* cookies = d.entry.Find(kEntryCookie);
  ASSERT_TRUE(cookies && cookies->IsDictionary());
  EXPECT_EQ(*cookies->AsDictionary()->at("seen").AsString(), "1");
  EXPECT_EQ(d.ends.front(), kStreamReplaced);
  EXPECT_EQ(d.ends.back(), kStreamDone);
}

}  // namespace
}  // namespace engine
