// The PROPFIND readers on replies as servers write them (any prefix for "DAV:").

#include <gtest/gtest.h>

#include <string>

#include "app/upload/contexts/propfind_readers.h"

namespace upload {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

const std::string kListing = R"(<?xml version="1.0" encoding="utf-8"?>
<multistatus xmlns="DAV:" xmlns:x="urn:other">
 <response><href>/dav/</href>
  <propstat><prop><getcontentlength>0</getcontentlength><resourcetype><collection/></resourcetype></prop>
   <status>HTTP/1.1 200 OK</status></propstat></response>
 <response><href>/dav/a%20file.bin</href>
  <propstat><prop><getcontentlength>1000</getcontentlength>
   <getlastmodified>Sun, 06 Nov 1994 08:49:37 GMT</getlastmodified></prop>
   <status>HTTP/1.1 200 OK</status></propstat></response>
 <response><href>/dav/gone.bin</href>
  <propstat><prop><getcontentlength>5</getcontentlength></prop>
   <status>HTTP/1.1 404 Not Found</status></propstat></response>
 <response><x:href>/dav/other-namespace.bin</x:href>
  <propstat><prop><getcontentlength>5</getcontentlength></prop>
   <status>HTTP/1.1 200 OK</status></propstat></response>
</multistatus>)";

TEST(PropfindReadersTest, HrefsOfFilesOnly) {
  EXPECT_EQ(ParseDAVHrefs(Bytes(kListing)), (std::vector<std::string>{"/dav/a file.bin"}));
  // Only collections: nothing.
  const std::string collections = R"(<D:multistatus xmlns:D="DAV:"><D:response><D:href>/c/</D:href>
    <D:propstat><D:prop><D:getcontentlength>0</D:getcontentlength></D:prop>
    <D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response></D:multistatus>)";
  EXPECT_TRUE(ParseDAVHrefs(Bytes(collections)).empty());
}

TEST(PropfindReadersTest, FileInfoOfOneResource) {
  const std::string one = R"(<?xml version="1.0"?><lp1:multistatus xmlns:lp1="DAV:"><lp1:response>
    <lp1:href>/f</lp1:href><lp1:propstat><lp1:prop>
    <lp1:getlastmodified>Sun, 06 Nov 1994 08:49:37 GMT</lp1:getlastmodified>
    <lp1:getcontentlength> 4096 </lp1:getcontentlength></lp1:prop>
    <lp1:status>HTTP/1.1 200 OK</lp1:status></lp1:propstat></lp1:response></lp1:multistatus>)";
  const DAVFileInfo info = ParseDAVFileInfo(Bytes(one));
  EXPECT_EQ(info.contentLength, 4096);
  ASSERT_TRUE(info.lastModified);
  EXPECT_DOUBLE_EQ(info.lastModified->seconds, 784111777.0 - 978307200.0);

  for (const std::string& bad : {std::string("not xml"), std::string("<!DOCTYPE x [<!ENTITY a 'b'>]><x/>"),
                                 std::string(kMaxPropfindReplySize + 1, ' ')}) {
    const DAVFileInfo none = ParseDAVFileInfo(Bytes(bad));
    EXPECT_EQ(none.contentLength, 0);
    EXPECT_FALSE(none.lastModified);
  }
}

}  // namespace
}  // namespace upload
