// Folder listings read as their bytes arrive, and the FTP browser's URL rule.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/browser/ftp/ftp_listing_reader.h"
#include "app/browser/ftp/ftp_urls.h"

namespace browser {
namespace {

// 2024-06-01, so that "Jan 01 2024" lines keep their year.
constexpr std::int64_t kNow = 1717200000;

struct Got {
  std::string name;
  int type;
  bool operator==(const Got&) const = default;
};

std::vector<Got> ReadInPieces(const std::string& bytes, std::size_t piece, bool finish = true) {
  FTPListingReader reader(kNow);
  std::vector<Got> out;
  auto add = [&](engine::FTPResource&& r) { out.push_back({r.name, r.type}); };
  for (std::size_t at = 0; at < bytes.size(); at += piece) reader.Feed(bytes.substr(at, piece), add);
  if (finish) reader.Finish(add);
  return out;
}

const std::string kListing =
    "total 12\r\n"
    "drwxr-xr-x 2 u g 4096 Jan 01 2024 .\r\n"
    "drwxr-xr-x 9 u g 4096 Jan 01 2024 ..\r\n"
    "drwxr-xr-x 2 u g 4096 Jan 01 2024 folder one\r\n"
    "-rw-r--r-- 1 u g 10240 Jan 01 2024 alpha.bin\r\n"
    "lrwxrwxrwx 1 u g 3 Jan 01 2024 up -> ..\r\n"
    "-rw-r--r-- 1 u g 5 Jan 01 2024 caf\xe9.txt\r\n";

const std::vector<Got> kExpected = {
    {"folder one", engine::kFTPResourceFolder},
    {"alpha.bin", engine::kFTPResourceFile},
    {"up", engine::kFTPResourceLink},
    {"caf\xc3\xa9.txt", engine::kFTPResourceFile},  // not UTF-8: read as ISO Latin 1
};

TEST(FTPListingReaderTest, EveryPieceSizeGivesTheSameEntriesOnce) {
  for (std::size_t piece : {1u, 2u, 7u, 40u, 41u, 4096u}) {
    EXPECT_EQ(ReadInPieces(kListing, piece), kExpected) << "pieces of " << piece;
  }
}

TEST(FTPListingReaderTest, LineEndsOfEveryKindAndNoneAtTheEnd) {
  const std::string lines[] = {"-rw-r--r-- 1 u g 5 Jan 01 2024 a", "-rw-r--r-- 1 u g 5 Jan 01 2024 b",
                               "-rw-r--r-- 1 u g 5 Jan 01 2024 c"};
  const std::vector<Got> want = {{"a", 8}, {"b", 8}, {"c", 8}};
  EXPECT_EQ(ReadInPieces(lines[0] + "\n" + lines[1] + "\r" + lines[2], 5), want);
  EXPECT_EQ(ReadInPieces(lines[0] + "\r\n" + lines[1] + "\n\n" + lines[2] + "\r\n", 3), want);
  // Before the end, a last line without its break is kept, not guessed at.
  EXPECT_EQ(ReadInPieces(lines[0] + "\n" + lines[1], 100, false), (std::vector<Got>{{"a", 8}}));
}

TEST(FTPListingReaderTest, NamesThatWouldLeaveTheFolderAreDropped) {
  // A link "." or "..", and names a server could use to walk out of the listed folder.
  const std::string listing =
      "lrwxrwxrwx 1 u g 3 Jan 01 2024 .. -> /etc\r\n"
      "+i1,r,s5,\t../escape\r\n"
      "+i2,r,s5,\tdir/inside\r\n"
      "+i3,r,s5,\tplain\r\n";
  EXPECT_EQ(ReadInPieces(listing, 9), (std::vector<Got>{{"plain", 8}}));
}

TEST(FTPListingReaderTest, ABreaklessFloodIsNotKeptWithoutBound) {
  FTPListingReader reader(kNow);
  std::vector<Got> out;
  auto add = [&](engine::FTPResource&& r) { out.push_back({r.name, r.type}); };
  const std::string flood(8192, 'x');
  for (int i = 0; i < 64; ++i) reader.Feed(flood, add);
  EXPECT_LE(reader.Pending(), engine::kFTPListingMaxLine + flood.size());
  reader.Feed("\r\n-rw-r--r-- 1 u g 5 Jan 01 2024 after\r\n", add);
  EXPECT_EQ(out, (std::vector<Got>{{"after", 8}}));
}

TEST(FTPUrlsTest, FolderAndFileURLs) {
  struct Case {
    const char* host;
    const char* path;
    bool secure;
    bool absolute;
    const char* url;
  } cases[] = {
      {"h", "pub", false, false, "ftp://h/pub/"},
      {"h", "pub", false, true, "ftp://h/%2Fpub/"},
      {"h", "", false, false, "ftp://h"},
      {"h", "", false, true, "ftp://h/%2F"},
      {"h:2121", "a b/c", true, true, "ftps://h:2121/%2Fa%20b/c/"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FTPFolderURL(c.host, c.path, c.secure, c.absolute), std::optional<std::string>(c.url)) << c.url;
  EXPECT_EQ(FTPFileURL("ftp://h/%2F", "f.txt"), std::optional<std::string>("ftp://h/%2Ff.txt"));
  EXPECT_EQ(FTPFileURL("ftp://h/%2Fpub/", "a#b?.txt"),
            std::optional<std::string>("ftp://h/%2Fpub/a%23b%3F.txt"));
}

}  // namespace
}  // namespace browser
