#include "app/engine/ftp/ftp_resource_listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace engine {
namespace {

constexpr std::int64_t kNow = 1718452800;  // 2024-06-15 12:00 UTC

// Feeds `listing` in pieces of `chunk` bytes the way a data connection delivers it, and
// collects the entries.
std::vector<FTPResource> ReadListing(const std::string& listing, std::size_t chunk) {
  std::vector<FTPResource> out;
  std::string pending;
  std::size_t offered = 0;
  while (true) {
    const bool at_end = offered >= listing.size();
    if (!at_end) {
      pending += listing.substr(offered, chunk);
      offered += chunk;
    }
    while (!pending.empty()) {
      std::optional<FTPResource> resource;
      const std::int64_t used = ParseFTPResourceListing(pending, offered >= listing.size(), resource, kNow);
      if (used <= 0) {
        EXPECT_EQ(used, 0);
        break;
      }
      if (resource) out.push_back(*resource);
      pending.erase(0, static_cast<std::size_t>(used));
    }
    if (at_end) break;
  }
  EXPECT_TRUE(pending.empty()) << pending;
  return out;
}

const std::string kVsftpdListing =
    "total 12\r\n"
    "drwxr-xr-x    2 1000     1000         4096 Nov 03 14:07 pub\r\n"
    "-rw-r--r--    1 1000     1000      1048576 Jun 20 08:00 big file.bin\r\n"
    "lrwxrwxrwx    1 0        0              3 Mar 18  2009 up -> pub\r\n"
    "-rw-------    1 1000     1000            0 Mar 18  2009 empty";  // no line end at all

TEST(ResourceListingTest, SameEntriesWhateverTheChunking) {
  const std::vector<FTPResource> whole = ReadListing(kVsftpdListing, kVsftpdListing.size());
  ASSERT_EQ(whole.size(), 4u);
  for (std::size_t chunk : {1u, 2u, 7u, 64u}) {
    EXPECT_EQ(ReadListing(kVsftpdListing, chunk), whole) << "chunk " << chunk;
  }

  EXPECT_EQ(whole[0].name, "pub");
  EXPECT_EQ(whole[0].type, kFTPResourceFolder);
  EXPECT_EQ(whole[0].mode, 0755);
  EXPECT_EQ(whole[0].owner, "1000");
  EXPECT_EQ(whole[0].group, "1000");
  ASSERT_TRUE(whole[0].modified.has_value());
  EXPECT_DOUBLE_EQ(whole[0].modified->seconds, 1699020420.0 - 978307200.0);

  EXPECT_EQ(whole[1].name, "big file.bin");
  EXPECT_EQ(whole[1].type, kFTPResourceFile);
  EXPECT_EQ(whole[1].size, 1048576);

  EXPECT_EQ(whole[2].name, "up");
  EXPECT_EQ(whole[2].type, kFTPResourceLink);
  EXPECT_EQ(whole[2].link, "pub");

  EXPECT_EQ(whole[3].name, "empty");
  EXPECT_EQ(whole[3].size, 0);
  EXPECT_EQ(whole[3].mode, 0600);
}

TEST(ResourceListingTest, LineEndsAndNonEntries) {
  std::optional<FTPResource> resource;
  // Only part of a line: wait.
  EXPECT_EQ(ParseFTPResourceListing("-rw-r--r-- 1 u g 1 Mar 18 2009 na", false, resource, kNow), 0);
  // A CR at the very end may be followed by its LF: wait, unless the data ended.
  EXPECT_EQ(ParseFTPResourceListing("-rw-r--r-- 1 u g 1 Mar 18 2009 name\r", false, resource, kNow), 0);
  EXPECT_EQ(ParseFTPResourceListing("-rw-r--r-- 1 u g 1 Mar 18 2009 name\r", true, resource, kNow), 36);
  ASSERT_TRUE(resource);
  EXPECT_EQ(resource->name, "name");
  // Bare LF and bare CR (old Mac servers) end lines too.
  EXPECT_EQ(ParseFTPResourceListing("-rw-r--r-- 1 u g 1 Mar 18 2009 a\nrest", false, resource, kNow), 33);
  EXPECT_EQ(resource->name, "a");
  EXPECT_EQ(ParseFTPResourceListing("-rw-r--r-- 1 u g 1 Mar 18 2009 a\rrest", false, resource, kNow), 33);
  EXPECT_EQ(resource->name, "a");
  // A line that is no entry is used up without a resource.
  EXPECT_EQ(ParseFTPResourceListing("total 8\r\nmore", false, resource, kNow), 9);
  EXPECT_FALSE(resource);
  EXPECT_EQ(ParseFTPResourceListing("\r\n", false, resource, kNow), 2);
  EXPECT_FALSE(resource);
  EXPECT_EQ(ParseFTPResourceListing("", true, resource, kNow), 0);
}

TEST(ResourceListingTest, EndlessLineIsAnError) {
  std::optional<FTPResource> resource;
  const std::string endless(kFTPListingMaxLine + 1, 'x');
  EXPECT_LT(ParseFTPResourceListing(endless, false, resource, kNow), 0);
  EXPECT_LT(ParseFTPResourceListing(endless + "\n", false, resource, kNow), 0);
}

TEST(ResourceListingTest, NamesDecodeAndNulIsLineFeed) {
  std::optional<FTPResource> resource;
  const std::string utf8 = "-rw-r--r-- 1 u g 1 Mar 18 2009 caf\xC3\xA9\n";
  ParseFTPResourceListing(utf8, false, resource, kNow);
  ASSERT_TRUE(resource);
  EXPECT_EQ(resource->name, "caf\xC3\xA9");

  const std::string latin1 = "-rw-r--r-- 1 u g 1 Mar 18 2009 caf\xE9\n";
  ParseFTPResourceListing(latin1, false, resource, kNow);
  ASSERT_TRUE(resource);
  EXPECT_EQ(resource->name, "caf\xC3\xA9");

  const std::string with_nul("-rw-r--r-- 1 u g 1 Mar 18 2009 two\0lines\n", 41);
  ParseFTPResourceListing(with_nul, false, resource, kNow);
  ASSERT_TRUE(resource);
  EXPECT_EQ(resource->name, "two\nlines");
}

TEST(ResourceListingTest, OtherStylesGiveTypeFromFlags) {
  std::optional<FTPResource> resource;
  ParseFTPResourceListing("01-16-02  11:14AM       <DIR>          epsgroup\r\n", false, resource, kNow);
  ASSERT_TRUE(resource);
  EXPECT_EQ(resource->type, kFTPResourceFolder);
  EXPECT_FALSE(resource->size);
  EXPECT_FALSE(resource->mode);

  ParseFTPResourceListing("+i8388621.48594,m825718503,r,s280,\tdjb.html\r\n", false, resource, kNow);
  ASSERT_TRUE(resource);
  EXPECT_EQ(resource->type, kFTPResourceFile);
  EXPECT_EQ(resource->size, 280);
  EXPECT_DOUBLE_EQ(resource->modified->seconds, 825718503.0 - 978307200.0);
}

}  // namespace
}  // namespace engine
