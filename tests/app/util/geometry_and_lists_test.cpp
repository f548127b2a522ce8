#include "app/util/desktop/rect_helpers.h"
#include "app/util/text/string_list.h"

#include <gtest/gtest.h>

namespace {

TEST(StringList, AppendsLengthPrefixedStringsAndCounts) {
  values::Bytes list;
  util::AppendStringToSTRListHandle(list, "ab");
  util::AppendStringToSTRListHandle(list, "");
  util::AppendStringToSTRListHandle(list, std::string(300, 'x'));
  ASSERT_EQ(list.size(), 2u + 3u + 1u + 256u);
  EXPECT_EQ(list[0], 0);
  EXPECT_EQ(list[1], 3);  // big-endian count
  EXPECT_EQ(list[2], 2);
  EXPECT_EQ(list[3], 'a');
  EXPECT_EQ(list[5], 0);
  EXPECT_EQ(list[6], 255);  // a string is cut to what one length byte can say
}

TEST(StringList, CountCarriesIntoTheHighByte) {
  values::Bytes list{0x00, 0xFF};
  util::AppendStringToSTRListHandle(list, "z");
  EXPECT_EQ(list[0], 0x01);
  EXPECT_EQ(list[1], 0x00);
}

TEST(Rects, ConvertBothWays) {
  util::Rect r;
  util::SetRectLTRB(r, 10, 20, 110, 70);
  util::CGRect cg;
  util::RectToCGRect(r, cg);
  EXPECT_EQ(cg, (util::CGRect{10, 20, 100, 50}));
  util::Rect back;
  util::CGRectToRect(util::CGRect{10.9, -20.7, 100.6, 50.2}, back);
  EXPECT_EQ(back.left, 10);
  EXPECT_EQ(back.top, -20);    // toward zero, not down
  EXPECT_EQ(back.right, 110);  // 10 + 100.6 truncated
  EXPECT_EQ(back.bottom, 30);  // -20 + 50.2 truncated
}

}  // namespace
