// The pure parts of the file-transfer server: the request-head reader's bounds, the digest
// check and the start offset of a Range header.
#include <gtest/gtest.h>

#include <string>

#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/sharing/fileserver/transfer_digest.h"
#include "app/sharing/fileserver/transfer_request_head.h"

namespace {

using sharing::TransferRequestHead;
using Status = TransferRequestHead::Status;

TEST(TransferRequestHead, BoundsAndShapes) {
  struct Case {
    std::string bytes;
    Status status;
    std::string target;
  };
  const std::string many(sharing::kMaxTransferHeaderCount + 1, 'x');
  std::string manyHeaders = "GET /1 HTTP/1.1\r\n";
  for (std::size_t i = 0; i <= sharing::kMaxTransferHeaderCount; ++i) manyHeaders += "X: y\r\n";
  const std::string longHead = "GET /1 HTTP/1.1\r\nX: " + std::string(sharing::kMaxTransferHeadBytes, 'a');
  const std::string justFits =
      "GET /1 HTTP/1.1\r\nX: " + std::string(sharing::kMaxTransferHeadBytes - 4 - 20, 'a') + "\r\n\r\n";
  const Case cases[] = {
      {"GET /42?dig HTTP/1.1\r\nRange: bytes=5-\r\n\r\nbody", Status::kComplete, "/42?dig"},
      {"GET /42 HTTP/1.1\n\n", Status::kComplete, "/42"},
      {"GET /42 HTTP/1.1\r\n", Status::kIncomplete, ""},
      {"GET\r\n\r\n", Status::kMalformed, ""},
      {"GET /a b HTTP/1.1\r\n\r\n", Status::kMalformed, ""},
      {"GET / HTTP/1.1\r\nno colon\r\n\r\n", Status::kMalformed, ""},
      {manyHeaders + "\r\n", Status::kMalformed, ""},
      {longHead, Status::kTooLarge, ""},
      {justFits, Status::kComplete, "/1"},
      {justFits.substr(0, justFits.size() - 2) + "a\r\n\r\n", Status::kTooLarge, ""},
  };
  for (const auto& c : cases) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{4096}, c.bytes.size() + 1}) {
      TransferRequestHead head;
      for (std::size_t at = 0; at < c.bytes.size(); at += piece)
        head.Append(std::string_view(c.bytes).substr(at, piece));
      EXPECT_EQ(head.status(), c.status) << c.bytes.substr(0, 40) << " piece " << piece;
      if (c.status == Status::kComplete) {
        EXPECT_EQ(head.target(), c.target);
      }
    }
  }
  TransferRequestHead head;
  EXPECT_EQ(head.Append("GET /1 HTTP/1.1\r\nrAnGe: bytes=7-\r\n\r\nrest"), 36u);
  EXPECT_EQ(head.Header("Range"), "bytes=7-");
  EXPECT_FALSE(head.Header("XValidator"));
}

TEST(TransferDigest, KnownAnswerAndNonceAge) {
  const auto fields = sharing::ParseDigestFields(
      "Digest username=\"bob\", realm=\"trdl_realm\", nonce=\"MTIzfDQ1Nnw3ODk=\", uri=\"/42?dig\", "
      "response=\"x\"");
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->uri, "/42?dig");
  EXPECT_EQ(sharing::ExpectedDigestResponse(*fields, "GET", "pw"), "c0365391a25e6d61c0d4f5d2b13e402c");
  EXPECT_FALSE(sharing::ParseDigestFields("Digest username=\"bob\", realm=\"r\", nonce=\"n\", uri=\"/1\""));

  const std::uint64_t now = 100ULL * 1000000000ULL;
  EXPECT_FALSE(sharing::TransferNonceStale(sharing::MakeTransferNonce(now), now));
  EXPECT_FALSE(sharing::TransferNonceStale(sharing::MakeTransferNonce(now - 45ULL * 1000000000ULL), now));
  EXPECT_TRUE(sharing::TransferNonceStale(sharing::MakeTransferNonce(now - 46ULL * 1000000000ULL), now));
  EXPECT_TRUE(sharing::TransferNonceStale(sharing::MakeTransferNonce(now + 1), now));
  EXPECT_TRUE(sharing::TransferNonceStale("not base64 at all", now));
}

TEST(TransferReplies, RangeStartAndCannedTexts) {
  const std::pair<std::string, std::int64_t> ranges[] = {
      {"bytes=0-", 0}, {"bytes=100-199", 100}, {"bytes=-500", 0},
      {"items=5-", 0}, {"bytes=x", 0},         {std::string(60, ' ') + "bytes=9-", 0}};
  for (const auto& [text, start] : ranges) EXPECT_EQ(sharing::TransferRangeStart(text), start) << text;
  EXPECT_EQ(sharing::TransferStatusReply(404),
            "HTTP/1.1 404 File Not Found\r\n\r\n<html><body><h1>404 File Not Found</h1></body></html>");
  EXPECT_EQ(sharing::TransferStatusReply(123).rfind("HTTP/1.1 500 internal error\r\n", 0), 0u);
  EXPECT_EQ(sharing::TransferAuthChallengeReply(true, ""), sharing::TransferStatusReply(500));
  const std::string challenge = sharing::TransferAuthChallengeReply(true, "KEY");
  EXPECT_NE(challenge.find("\", stale=\"true\"\r\nX-Server-Public-Key: KEY\r\n\r\n"), std::string::npos);
}

}  // namespace
