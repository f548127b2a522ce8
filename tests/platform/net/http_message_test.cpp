#include "platform/net/http_message.h"

#include <gtest/gtest.h>

#include "platform/net/http_body_decoder.h"

namespace net {
namespace {

values::Url U(const char* s) {
  return *values::Url::Create(s);
}

TEST(HttpRequestTest, SerialisesOriginAndAbsoluteFormsWithHost) {
  HttpRequest req("GET", U("http://user:pw@files.example:8080/a/b%20c;type=i?x=1#frag"));
  req.SetHeader("Range", "bytes=5000-");
  req.SetHeader("user-agent", "Truvane");
  req.SetHeader("User-Agent", "Truvane/2");  // replaces, keeps the first spelling's place
  EXPECT_EQ(req.SerializeHead(),
            "GET /a/b%20c;type=i?x=1 HTTP/1.1\r\nHost: files.example:8080\r\nRange: bytes=5000-\r\n"
            "user-agent: Truvane/2\r\n\r\n");
  EXPECT_EQ(req.TargetText(RequestTarget::kAbsolute), "http://files.example:8080/a/b%20c;type=i?x=1");

  HttpRequest plain("HEAD", U("https://[::1]:443"));
  EXPECT_EQ(plain.SerializeHead(), "HEAD / HTTP/1.1\r\nHost: [::1]\r\n\r\n");
}

TEST(HttpRequestTest, HeadForLogHidesCredentialsAndCookies) {
  HttpRequest req("GET", U("http://h/f"));
  req.SetHeader("Authorization", "Basic dXNlcjpwYXNz");
  req.SetHeader("Proxy-Authorization", "Basic eDp5");
  req.SetHeader("Cookie", "sid=secret");
  req.SetHeader("Accept", "*/*");
  const std::string log = req.HeadForLog();
  EXPECT_EQ(log.find("dXNlcjpwYXNz"), std::string::npos);
  EXPECT_EQ(log.find("eDp5"), std::string::npos);
  EXPECT_EQ(log.find("secret"), std::string::npos);
  EXPECT_NE(log.find("Accept: */*"), std::string::npos);
  EXPECT_NE(log.find("Authorization: <hidden>"), std::string::npos);
}

TEST(HttpHeadParserTest, ParsesAHeadFedByteByByteAndLeavesTheBody) {
  const std::string text =
      "HTTP/1.1 100 Continue\r\n\r\n"
      "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-3/10\r\nset-cookie: a=1, b\r\n"
      "Set-Cookie: c=2\r\nX-Folded: one\r\n two\r\nVia: p1\r\nvia: p2\r\n\r\nBODY";
  HttpHeadParser parser;
  std::size_t used = 0;
  for (std::size_t i = 0; i < text.size() && parser.state() == HttpHeadParser::State::kNeedMore; ++i)
    used += parser.Feed(std::string_view(text).substr(i, 1));
  ASSERT_EQ(parser.state(), HttpHeadParser::State::kDone);
  EXPECT_EQ(text.substr(used), "BODY");
  const HttpResponseHead& head = parser.Head();
  EXPECT_EQ(head.StatusCode(), 206);
  EXPECT_EQ(head.StatusLine(), "HTTP/1.1 206 Partial Content");
  EXPECT_EQ(head.Header("CONTENT-RANGE"), "bytes 0-3/10");
  EXPECT_EQ(head.Headers().Values("Set-Cookie"), (std::vector<std::string>{"a=1, b", "c=2"}));
  EXPECT_EQ(head.Header("Set-Cookie"), "a=1, b");
  EXPECT_EQ(head.Header("Via"), "p1, p2");
  EXPECT_EQ(head.Header("X-Folded"), "one two");
  EXPECT_EQ(head.Serialized().substr(0, 28), "HTTP/1.1 206 Partial Content");
}

TEST(HttpHeadParserTest, AcceptsOldAndBareForms) {
  HttpHeadParser parser;
  parser.Feed("HTTP/1.0 200\nContent-Length: 3\n\nabc");
  ASSERT_EQ(parser.state(), HttpHeadParser::State::kDone);
  EXPECT_EQ(parser.Head().Version(), 10);
  EXPECT_EQ(parser.Head().StatusCode(), 200);
}

TEST(HttpHeadParserTest, RefusesWhatIsNotAResponse) {
  for (const char* text : {"ICY 200 OK\r\n\r\n", "HTTP/1.1 2x0 OK\r\n\r\n",
                           "HTTP/1.1 200 OK\r\nno colon\r\n\r\n", "HTTP/2.0 200 OK\r\n\r\n"}) {
    HttpHeadParser parser;
    parser.Feed(text);
    EXPECT_EQ(parser.state(), HttpHeadParser::State::kError) << text;
  }
}

// Decodes `wire` fed in pieces of `piece` bytes, reading at most `grant` body bytes a time.
std::string Decode(HttpBodyDecoder& d, const std::string& wire, std::size_t piece, std::size_t grant) {
  std::string body, pending;
  for (std::size_t at = 0; at < wire.size() || !pending.empty();) {
    if (at < wire.size()) {
      pending += wire.substr(at, piece);
      at += piece;
    }
    while (!pending.empty() && d.state() == HttpBodyDecoder::State::kBody) {
      auto step = d.Advance(pending, grant);
      body.append(pending, step.body_offset, step.body_size);
      pending.erase(0, step.consumed);
      if (step.consumed == 0) break;
    }
    if (d.state() != HttpBodyDecoder::State::kBody) break;
    if (at >= wire.size()) break;
  }
  return body;
}

struct FramingCase {
  const char* name;
  const char* head;
  const char* method;
  std::string wire;
  std::string body;
  HttpBodyDecoder::State after_end;  // after the connection ends
};

class BodyFramingTable : public ::testing::TestWithParam<FramingCase> {};

TEST_P(BodyFramingTable, DecodesInAnyPieces) {
  const FramingCase& c = GetParam();
  for (std::size_t piece : {1u, 3u, 1000u}) {
    for (std::size_t grant : {1u, 2u, 4096u}) {
      HttpHeadParser parser;
      parser.Feed(c.head);
      ASSERT_EQ(parser.state(), HttpHeadParser::State::kDone);
      HttpBodyDecoder d = HttpBodyDecoder::ForResponse(parser.Head(), c.method);
      EXPECT_EQ(Decode(d, c.wire, piece, grant), c.body) << "piece " << piece << " grant " << grant;
      d.InputEnded();
      EXPECT_EQ(d.state(), c.after_end) << "piece " << piece << " grant " << grant;
    }
  }
}

using S = HttpBodyDecoder::State;
INSTANTIATE_TEST_SUITE_P(
    Cases, BodyFramingTable,
    ::testing::Values(
        FramingCase{"Length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", "GET", "hello", "hello",
                    S::kDone},
        FramingCase{"LengthIgnoresExtraBytes", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n", "GET", "hello",
                    "he", S::kDone},
        FramingCase{"LengthCutShort", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n", "GET", "hello", "hello",
                    S::kError},
        FramingCase{"Chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "GET",
                    "5;ext=1\r\nhello\r\nA\r\n, chunked!\r\n0\r\nTrailer: x\r\n\r\n", "hello, chunked!",
                    S::kDone},
        FramingCase{"ChunkedWinsOverLength",
                    "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nTransfer-Encoding: chunked\r\n\r\n", "GET",
                    "3\r\nabc\r\n0\r\n\r\n", "abc", S::kDone},
        FramingCase{"ChunkedWithoutLastChunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "GET",
                    "3\r\nabc\r\n", "abc", S::kError},
        FramingCase{"ChunkedGarbageSize", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "GET",
                    "zz\r\nabc\r\n", "", S::kError},
        FramingCase{"UntilClose", "HTTP/1.0 200 OK\r\n\r\n", "GET", "all of it", "all of it", S::kDone},
        FramingCase{"HeadHasNoBody", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", "HEAD", "", "",
                    S::kDone},
        FramingCase{"NotModifiedHasNoBody", "HTTP/1.1 304 Not Modified\r\n\r\n", "GET", "", "", S::kDone},
        FramingCase{"EmptyPartial", "HTTP/1.1 206 Partial Content\r\nContent-Length: 0\r\n\r\n", "GET", "",
                    "", S::kDone},
        FramingCase{"RepeatedEqualLengths", "HTTP/1.1 200 OK\r\nContent-Length: 5, 5\r\n\r\n", "GET",
                    "hello!", "hello", S::kDone},
        // A length that cannot be read is a protocol error, never "until close".
        FramingCase{"NegativeLength", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", "GET", "hello", "",
                    S::kError},
        FramingCase{"LengthBeyond63Bits", "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775808\r\n\r\n",
                    "GET", "hello", "", S::kError},
        FramingCase{"LengthWithTrailingLetters", "HTTP/1.1 200 OK\r\nContent-Length: 5abc\r\n\r\n", "GET",
                    "hello", "", S::kError},
        FramingCase{"EmptyLength", "HTTP/1.1 200 OK\r\nContent-Length:\r\n\r\n", "GET", "hello", "",
                    S::kError},
        FramingCase{"SignedLength", "HTTP/1.1 200 OK\r\nContent-Length: +5\r\n\r\n", "GET", "hello", "",
                    S::kError},
        FramingCase{"DifferingLengths", "HTTP/1.1 200 OK\r\nContent-Length: 5, 6\r\n\r\n", "GET", "hello", "",
                    S::kError}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpBodyDecoderTest, LengthDelimitedBodyPointsIntoTheInput) {
  HttpBodyDecoder d(HttpBodyDecoder::Framing::kLength, 4);
  auto step = d.Advance("abcdef", 3);
  EXPECT_EQ(step.body_offset, 0u);
  EXPECT_EQ(step.body_size, 3u);
  EXPECT_EQ(d.Remaining(), 1);
  step = d.Advance("def", 100);
  EXPECT_EQ(step.body_size, 1u);
  EXPECT_EQ(d.state(), S::kDone);
  EXPECT_TRUE(d.ConnectionReusable());
}

}  // namespace
}  // namespace net
