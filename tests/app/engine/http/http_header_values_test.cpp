// Response fields the HTTP transport decides on, and the status table.
#include <gtest/gtest.h>

#include "app/engine/http/http_content_decoding.h"
#include "app/engine/http/http_header_values.h"
#include "app/engine/http/http_status_table.h"
#include "app/util/text/http_dates.h"

namespace engine {
namespace {

TEST(HttpHeaderValues, ContentLengthTreatsSaturatedAndBrokenValuesAsUnknown) {
  const struct {
    std::optional<std::string> text;
    std::int64_t size;
  } cases[] = {{std::nullopt, -1},           {"0", 0},   {" 1234 ", 1234}, {"2147483647", -1},
               {"2147483648", 2147483648LL}, {"-5", -1}, {"12abc", -1},    {"", -1}};
  for (const auto& c : cases) EXPECT_EQ(ContentLengthSize(c.text), c.size) << c.text.value_or("<none>");
}

TEST(HttpHeaderValues, ContentRangeReadsTheFormsServersSend) {
  const struct {
    const char* text;
    std::int64_t start, end, total;
  } cases[] = {{"bytes 100-199/1000", 100, 199, 1000},
               {"bytes=5000-9999/10000", 5000, 9999, 10000},
               {"bytes: 7-8/*", 7, 8, -1},
               {"BYTES 0-0/1", 0, 0, 1},
               {"bytes 42-", 42, -1, -1}};
  for (const auto& c : cases) {
    auto r = ParseContentRange(c.text);
    ASSERT_TRUE(r) << c.text;
    EXPECT_EQ(r->start, c.start) << c.text;
    EXPECT_EQ(r->end, c.end) << c.text;
    EXPECT_EQ(r->total, c.total) << c.text;
  }
  EXPECT_FALSE(ParseContentRange("bytes */1000"));
  EXPECT_FALSE(ParseContentRange("bytes 200-100/1000"));
  EXPECT_FALSE(ParseContentRange(""));
}

TEST(HttpHeaderValues, MultipartBoundaryOnlyForByteranges) {
  EXPECT_EQ(MultipartByterangesBoundary("multipart/byteranges; boundary=SEP"), "SEP");
  EXPECT_EQ(MultipartByterangesBoundary("multipart/x-byteranges; boundary=\"a b\""), "a b");
  EXPECT_EQ(MultipartByterangesBoundary("multipart/byteranges; boundary=ab cd"), "ab");
  EXPECT_EQ(MultipartByterangesBoundary("multipart/byteranges; boundary=" + std::string(500, 'x'))->size(),
            380u);
  EXPECT_FALSE(MultipartByterangesBoundary("text/html; boundary=SEP"));
  EXPECT_FALSE(MultipartByterangesBoundary("multipart/byteranges"));
}

TEST(HttpHeaderValues, AcceptRangesETagsAndDateAge) {
  EXPECT_TRUE(AcceptRangesNone(std::string("None")));
  EXPECT_FALSE(AcceptRangesNone(std::string("bytes")));
  EXPECT_FALSE(AcceptRangesNone(std::nullopt));
  EXPECT_FALSE(ETagsDiffer("\"ABC\"", " \"abc\""));
  EXPECT_TRUE(ETagsDiffer("\"abc\"", "\"abd\""));

  const auto now = *util::ParseHTTPDate("Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(ResponseDateAge(std::nullopt, now), DateAge::kMissing);
  EXPECT_EQ(ResponseDateAge(std::string("yesterday"), now), DateAge::kUnreadable);
  EXPECT_EQ(ResponseDateAge(std::string("Sat, 05 Nov 1994 08:49:37 GMT"), now), DateAge::kRecent);
  EXPECT_EQ(ResponseDateAge(std::string("Thu, 06 Oct 1994 08:49:36 GMT"), now), DateAge::kOld);
}

TEST(HttpStatusTable, OnlyTwoHundredsCarryTheFile) {
  const struct {
    int status;
    HttpStatusAction action;
  } cases[] = {{200, HttpStatusAction::kBody},        {203, HttpStatusAction::kBody},
               {206, HttpStatusAction::kPartialBody}, {301, HttpStatusAction::kRedirect},
               {302, HttpStatusAction::kRedirect},    {307, HttpStatusAction::kRedirect},
               {350, HttpStatusAction::kRedirect},    {304, HttpStatusAction::kFail},
               {400, HttpStatusAction::kFail},        {401, HttpStatusAction::kAuthenticate},
               {404, HttpStatusAction::kFail},        {407, HttpStatusAction::kProxyAuthenticate},
               {421, HttpStatusAction::kBusy},        {503, HttpStatusAction::kBusy},
               {499, HttpStatusAction::kRetryNow},    {500, HttpStatusAction::kFail},
               {100, HttpStatusAction::kFail}};
  for (const auto& c : cases) EXPECT_EQ(ActionForStatus(c.status), c.action) << c.status;
}

TEST(HttpContentDecoding, GzipEncodingNames) {
  EXPECT_TRUE(ContentEncodingIsGzip("gzip"));
  EXPECT_TRUE(ContentEncodingIsGzip(" X-GZIP "));
  EXPECT_FALSE(ContentEncodingIsGzip("deflate"));
  EXPECT_FALSE(ContentEncodingIsGzip("identity"));
}

}  // namespace
}  // namespace engine
