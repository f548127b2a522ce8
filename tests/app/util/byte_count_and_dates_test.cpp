#include "app/util/text/byte_count.h"
#include "app/util/text/http_dates.h"

#include <gtest/gtest.h>

namespace {

TEST(CopyByteCountString, BoundariesOfEachUnit) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {-1, "--"},
      {0, "0 bytes"},
      {1023, "1023 bytes"},
      {1024, "1 KB"},
      {1048575, "1023 KB"},
      {1048576, "1.0 MB"},
      {1572864, "1.5 MB"},
      {1073741823, "1024.0 MB"},  // single precision rounds up just below 1 GB
      {1073741824, "1.00 GB"},
      {5LL * 1073741824, "5.00 GB"},  // beyond 4 GB too
  };
  for (auto [count, text] : cases) EXPECT_EQ(util::CopyByteCountString(count), text) << count;
}

TEST(HTTPDates, ThreeFormsParseToTheSameInstant) {
  // Sun, 06 Nov 1994 08:49:37 GMT
  const values::AbsoluteTime expected = 784111777.0 - values::kAbsoluteTimeIntervalSince1970;
  for (const char* text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                           "Sun Nov  6 08:49:37 1994", "Sun, 06 Nov 1994 08:49:37"}) {
    std::optional<values::AbsoluteTime> t = util::ParseHTTPDate(text);
    ASSERT_TRUE(t) << text;
    EXPECT_EQ(*t, expected) << text;
  }
  EXPECT_FALSE(util::ParseHTTPDate("yesterday"));
  EXPECT_FALSE(util::ParseHTTPDate(""));
}

TEST(HTTPDates, WritesRfc1123CuttingFractions) {
  const values::AbsoluteTime t = 784111777.0 - values::kAbsoluteTimeIntervalSince1970;
  EXPECT_EQ(util::CopyHTTPDateString(t), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(util::CopyHTTPDateString(t + 22.9), "Sun, 06 Nov 1994 08:49:59 GMT");  // 59.9 s writes 59
  EXPECT_EQ(util::CopyHTTPDateString(0), "Mon, 01 Jan 2001 00:00:00 GMT");
  EXPECT_EQ(util::CopyHTTPDateString(-0.5), "Sun, 31 Dec 2000 23:59:59 GMT");
  EXPECT_EQ(util::ParseHTTPDate(util::CopyHTTPDateString(t)), t);
}

}  // namespace

namespace {

TEST(HTTPDates, LenientReadingForWhatNoFormFitsExactly) {
  const values::AbsoluteTime expected = 784111777.0 - values::kAbsoluteTimeIntervalSince1970;
  EXPECT_EQ(util::ParseHTTPDate("Sunday, 6 Nov 1994 08:49:37 GMT"), expected);
  EXPECT_EQ(util::ParseHTTPDate("Sun Nov 16 08:49:37 1994"), expected + 10 * 86400);
}

}  // namespace
