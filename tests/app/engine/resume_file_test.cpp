#include "app/engine/task/resume_file.h"

#include <gtest/gtest.h>

#include "tests/support/temp_home.h"

using engine::LongRange;
using engine::RangeList;

TEST(ResumeFile, FormatsOneLinePerRange) {
  EXPECT_EQ(engine::FormatRangesFile({{0, 1048576}, {5000000, 100000}}), "0,1048576\n5000000,100000\n");
  EXPECT_EQ(engine::FormatRangesFile({}), "");
  EXPECT_EQ(engine::FormatRangesFile({{9223372036854775000LL, 807}}), "9223372036854775000,807\n");
}

TEST(ResumeFile, ReadTable) {
  struct Case {
    const char* name;
    std::string_view text;
    std::int64_t size;
    RangeList ranges;
  } cases[] = {
      {"TwoLines", "0,1048576\n5000000,100000\n", -1, {{0, 1048576}, {5000000, 100000}}},
      {"StopsAtBadLine", "0,1048576\nnot numbers\n5,5\n", -1, {{0, 1048576}}},
      {"LastLineWithoutLineFeed", "0,10\n20,5", -1, {{0, 10}, {20, 5}}},
      {"BrowserImportLine", "0,4096", -1, {{0, 4096}}},
      {"Empty", "", -1, {}},
      {"TrailingGarbageEndsLine", "0,10\n20,5xyz\n40,5\n", -1, {{0, 10}}},
      {"OneNumberEnds", "0,10\n20\n40,5\n", -1, {{0, 10}}},
      {"OverflowingNumberEnds", "0,10\n99999999999999999999,5\n40,5\n", -1, {{0, 10}}},
      {"CarriageReturnsTolerated", "0,10\r\n20,5\r\n", -1, {{0, 10}, {20, 5}}},
      {"UnsortedAreSorted", "500,10\n0,10\n", -1, {{0, 10}, {500, 10}}},
      {"OverlapsAreMerged", "0,100\n50,100\n150,10\n", -1, {{0, 160}}},
      {"NegativeLocationSkipped", "-5,10\n20,5\n", -1, {{20, 5}}},
      {"NonPositiveLengthSkipped", "0,0\n10,-1\n20,5\n", -1, {{20, 5}}},
      {"EndOverflowSkipped", "9223372036854775000,9223372036854775000\n0,5\n", -1, {{0, 5}}},
      {"ClippedToSize", "0,100\n900,500\n2000,10\n", 1000, {{0, 100}, {900, 100}}},
      {"ClippedCannotFakeCompletion", "0,5000\n", 1000, {{0, 1000}}},
      {"NulBytesEnd", std::string_view("0,10\n\0\0\0\n", 9), -1, {{0, 10}}},
  };
  for (const auto& c : cases) {
    RangeList list;
    engine::ParseRangesFile(c.text, c.size, list);
    EXPECT_EQ(list, c.ranges) << c.name;
  }
}

TEST(ResumeFile, DamagedBytesNeverBreakTheDoneList) {
  // Every prefix and every single-byte corruption of a valid file reads as a valid done
  // list within the file's size.
  const std::string good = "0,1048576\n2000000,65536\n3000000,1000\n";
  for (std::size_t cut = 0; cut <= good.size(); ++cut) {
    for (std::size_t at = 0; at < good.size(); ++at) {
      for (char c : {'\0', '-', ',', '9', '\n', 'x'}) {
        std::string text = good.substr(0, cut);
        if (at < text.size()) text[at] = c;
        RangeList list;
        engine::ParseRangesFile(text, 3000500, list);
        for (std::size_t i = 0; i < list.size(); ++i) {
          ASSERT_GT(list[i].length, 0) << text;
          ASSERT_GE(list[i].location, 0) << text;
          ASSERT_LE(list[i].End(), 3000500) << text;
          if (i > 0) {
            ASSERT_LT(list[i - 1].End(), list[i].location) << text;
          }
        }
      }
    }
  }
}

TEST(ResumeFile, WriteReplacesLongerContentAndReadsBack) {
  const files::FileRef file(testsupport::MakeTempDir() + "/" + engine::kRangesFileName);
  testsupport::WriteFile(file.Path(), "0,1\n2,3\n4,5\n6,7\n8,9\n10,11\n12,13\n");
  auto handle = files::FileHandle::Open(file, files::kOpenReadWrite);
  ASSERT_TRUE(handle.ok());
  const RangeList done{{0, 1048576}, {5000000, 100000}};
  ASSERT_TRUE(engine::WriteRangesFile(*handle, done).ok());
  EXPECT_EQ(testsupport::ReadFile(file.Path()), "0,1048576\n5000000,100000\n");

  RangeList read;
  ASSERT_TRUE(engine::ReadRangesFile(file, -1, read).ok());
  EXPECT_EQ(read, done);

  ASSERT_TRUE(engine::WriteRangesFile(*handle, {}).ok());
  EXPECT_EQ(testsupport::ReadFile(file.Path()), "");
}

// The longest file the reader takes, in the worst order for a list kept sorted line by
// line: every line goes in front of all the others. Read in one sort, this is quick; merged
// line by line, it would run for about an hour and hit the test's time limit.
TEST(ResumeFile, TheLongestFileInReverseOrderIsReadWhole) {
  std::string text;
  std::int64_t location = 1'000'000'000'000;
  std::size_t lines = 0;
  while (text.size() < 16 * 1024 * 1024 - 64) {
    text += std::to_string(location) + ",7\n";
    location -= 10;
    ++lines;
  }
  const files::FileRef file(testsupport::MakeTempDir() + "/" + engine::kRangesFileName);
  testsupport::WriteFile(file.Path(), text);
  RangeList list;
  ASSERT_TRUE(engine::ReadRangesFile(file, -1, list).ok());
  ASSERT_EQ(list.size(), lines);
  EXPECT_EQ(list.front(), (LongRange{location + 10, 7}));
  for (std::size_t i = 1; i < list.size(); ++i) ASSERT_EQ(list[i].location, list[i - 1].location + 10);
}

TEST(ResumeFile, MissingFileLeavesListEmpty) {
  RangeList list;
  const files::Status s =
      engine::ReadRangesFile(files::FileRef(testsupport::MakeTempDir() + "/none"), -1, list);
  EXPECT_EQ(s.code(), files::fnfErr);
  EXPECT_TRUE(list.empty());
}
