#include "app/engine/ftp/ftp_reply.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace engine {
namespace {

struct SplitCase {
  const char* what;
  std::string bytes;
  FTPSplitResult result;
  int code;
  std::string last_line;
  std::string text;
  std::string left;  // what stays in the buffer
};

void PrintTo(const SplitCase& c, std::ostream* os) {
  *os << c.what;
}

class SplitRepliesTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitRepliesTest, CutsFirstReply) {
  const SplitCase& c = GetParam();
  std::string buffer = c.bytes;
  FTPReply reply;
  ASSERT_EQ(FTPConnectionSplitReplies(buffer, reply), c.result);
  if (c.result != FTPSplitResult::kComplete) return;
  EXPECT_EQ(reply.code, c.code);
  EXPECT_EQ(reply.last_line, c.last_line);
  EXPECT_EQ(reply.text, c.text);
  EXPECT_EQ(buffer, c.left);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SplitRepliesTest,
    ::testing::Values(
        SplitCase{"single", "220 ready\r\n", FTPSplitResult::kComplete, 220, "220 ready", "220 ready\r\n",
                  ""},
        SplitCase{"rest_kept", "331 pass\r\n230 in\r\n", FTPSplitResult::kComplete, 331, "331 pass",
                  "331 pass\r\n", "230 in\r\n"},
        SplitCase{"multi_line", "211-Features:\r\n MDTM\r\n SIZE\r\n211 End\r\n226 x",
                  FTPSplitResult::kComplete, 211, "211 End", "211-Features:\r\n MDTM\r\n SIZE\r\n211 End\r\n",
                  "226 x"},
        // "220 " in the middle of a line, or another code at a line's start, ends nothing.
        SplitCase{"code_inside_text", "220-Welcome, 220 users\r\n230 not it\r\n220 go\r\n",
                  FTPSplitResult::kComplete, 220, "220 go",
                  "220-Welcome, 220 users\r\n230 not it\r\n220 go\r\n", ""},
        SplitCase{"multi_line_waits_for_last", "211-Features:\r\n MDTM\r\n211 En",
                  FTPSplitResult::kIncomplete, 0, "", "", ""},
        SplitCase{"line_without_end_waits", "220 rea", FTPSplitResult::kIncomplete, 0, "", "", ""},
        SplitCase{"partial_code_waits", "22", FTPSplitResult::kIncomplete, 0, "", "", ""},
        SplitCase{"bare_line_feed", "200 ok\n", FTPSplitResult::kComplete, 200, "200 ok", "200 ok\n", ""},
        SplitCase{"code_only", "200\r\n", FTPSplitResult::kComplete, 200, "200", "200\r\n", ""},
        SplitCase{"doubled_ff_is_one", "257 \"/\xFF\xFF\"\r\n", FTPSplitResult::kComplete, 257,
                  "257 \"/\xC3\xBF\"", "257 \"/\xC3\xBF\"\r\n", ""},
        SplitCase{"latin1_when_not_utf8", "550 caf\xE9\r\n", FTPSplitResult::kComplete, 550,
                  "550 caf\xC3\xA9", "550 caf\xC3\xA9\r\n", ""},
        SplitCase{"not_a_number", "hello\r\n", FTPSplitResult::kMalformed, 0, "", "", ""},
        SplitCase{"bad_separator", "220_x\r\n", FTPSplitResult::kMalformed, 0, "", "", ""},
        SplitCase{"endless_line", "220 " + std::string(kFTPMaxReplyLine + 1, 'x'), FTPSplitResult::kMalformed,
                  0, "", "", ""}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(SplitRepliesTest, CharacterSplitBetweenReadsStaysWhole) {
  std::string buffer = "550 caf\xC3";
  FTPReply reply;
  EXPECT_EQ(FTPConnectionSplitReplies(buffer, reply), FTPSplitResult::kIncomplete);
  buffer += "\xA9\r\n";
  ASSERT_EQ(FTPConnectionSplitReplies(buffer, reply), FTPSplitResult::kComplete);
  EXPECT_EQ(reply.last_line, "550 caf\xC3\xA9");
}

TEST(CommandEncodingTest, DoublesFfAndRefusesLineBreaksInside) {
  EXPECT_EQ(EncodeFTPCommand("RETR a\xFF"
                             "b\r\n"),
            "RETR a\xFF\xFF"
            "b\r\n");
  EXPECT_EQ(EncodeFTPCommand("USER x\r\n"), "USER x\r\n");
  EXPECT_FALSE(EncodeFTPCommand("RETR a\r\nDELE b\r\n"));
  EXPECT_FALSE(EncodeFTPCommand("RETR a\nb\r\n"));
  EXPECT_FALSE(EncodeFTPCommand("RETR a\rb\r\n"));
  EXPECT_FALSE(EncodeFTPCommand("RETR a"));
}

TEST(CommandEncodingTest, PasswordNeverShown) {
  EXPECT_EQ(FTPCommandForLog("PASS hunter2\r\n"), "PASS *******\r\n");
  EXPECT_EQ(FTPCommandForLog("USER bob\r\n"), "USER bob\r\n");
}

TEST(ReplyTextTest, QuotedPath) {
  EXPECT_EQ(ParseFTPQuotedPath("257 \"/home/bob\" is the current directory"), "/home/bob");
  EXPECT_EQ(ParseFTPQuotedPath("257 \"/a \"\"b\"\" c\" created"), "/a \"b\" c");
  EXPECT_EQ(ParseFTPQuotedPath("257 \"\"\"\"\"\""), "\"\"");
  EXPECT_FALSE(ParseFTPQuotedPath("257 /home/bob"));
  EXPECT_FALSE(ParseFTPQuotedPath("257 \"/never closed"));
}

TEST(ReplyTextTest, PassiveNumbers) {
  auto a = ParseFTPPassiveReply("227 Entering Passive Mode (10,0,0,9,195,80).");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->address[0], 10);
  EXPECT_EQ(a->address[3], 9);
  EXPECT_EQ(a->port, 195 * 256 + 80);
  a = ParseFTPPassiveReply("227 Entering Passive Mode 127,0,0,1,4,1");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->port, 1025);
  EXPECT_FALSE(ParseFTPPassiveReply("227 Entering Passive Mode (127,0,0,1,4)"));
  EXPECT_FALSE(ParseFTPPassiveReply("227 Entering Passive Mode (127,0,0,1,4,256)"));
  EXPECT_FALSE(ParseFTPPassiveReply("227 ok"));
}

TEST(ReplyTextTest, SizeNumber) {
  EXPECT_EQ(ParseFTPSizeReply("213 5000000000"), 5000000000);
  EXPECT_EQ(ParseFTPSizeReply("213 99999999999999999999999"), INT64_MAX);
  EXPECT_EQ(ParseFTPSizeReply("213"), 0);
}

}  // namespace
}  // namespace engine
