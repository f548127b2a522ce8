#include "app/browser/webdav/dav_listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace browser {
namespace {

std::string Response(const std::string& href, const std::string& props,
                     const std::string& status = "HTTP/1.1 200 OK") {
  return "<D:response><D:href>" + href + "</D:href><D:propstat><D:prop>" + props + "</D:prop><D:status>" +
         status + "</D:status></D:propstat></D:response>";
}

std::string Multistatus(const std::string& responses) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><D:multistatus xmlns:D=\"DAV:\">" + responses +
         "</D:multistatus>";
}

const std::string kFolder = "<D:resourcetype><D:collection/></D:resourcetype>";
const std::string kFile = "<D:resourcetype/><D:getcontentlength>42</D:getcontentlength>";

struct ListingCase {
  const char* name;
  std::string body;
  std::string root;
  std::string listed;
  std::vector<std::string> uris;  // in reply order
};

TEST(DAVListing, HrefsBecomePathsBelowTheRootAndTheFolderItselfIsLeftOut) {
  const std::vector<ListingCase> cases = {
      {"absolute href",
       Multistatus(Response("http://example.org/dir/a.txt", kFile)),
       "",
       "/dir/",
       {"/dir/a.txt"}},
      {"absolute href without a path",
       Multistatus(Response("https://example.org", kFolder)),
       "",
       "/x/",
       {""}},
      {"escapes undone",
       Multistatus(Response("/dir/file%20one%C3%A9.txt", kFile)),
       "",
       "/dir/",
       {"/dir/file one\xC3\xA9.txt"}},
      {"a root that only begins the name", Multistatus(Response("/root/folder/", kFolder)), "/roo", "/", {}},
      {"root plus folder", Multistatus(Response("/webd/folder/", kFolder)), "/webd", "/", {"/folder"}},
      {"root itself is the listed folder", Multistatus(Response("/webd/", kFolder)), "/webd", "/", {}},
      {"listed folder with and without slash",
       Multistatus(Response("/dir/", kFolder) + Response("/dir", kFolder) + Response("/dir/b", kFile)),
       "",
       "/dir/",
       {"/dir/b"}},
      {"outside the root skipped",
       Multistatus(Response("/other/x", kFile) + Response("/webdavx/y", kFile) +
                   Response("/webdav/z", kFile)),
       "/webdav",
       "/",
       {"/z"}},
      {"404 propstat gives nothing",
       Multistatus(Response("/d/a", kFile, "HTTP/1.1 404 Not Found")),
       "",
       "/d/",
       {}},
      {"short status gives nothing", Multistatus(Response("/d/a", kFile, "HTTP/1.1")), "", "/d/", {}},
      {"response without href skipped",
       Multistatus(
           "<D:response><D:propstat><D:prop/><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>"),
       "",
       "/",
       {}},
      {"two 200 propstats give two entries",
       Multistatus(
           "<D:response><D:href>/d/a</D:href><D:propstat><D:prop>" + kFile +
           "</D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat><D:propstat><D:prop><D:displayname>a"
           "</D:displayname></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>"),
       "",
       "/d/",
       {"/d/a", "/d/a"}},
      {"other prefix and default namespace",
       "<m:multistatus "
       "xmlns:m=\"DAV:\"><m:response><m:href>/d/p</m:href><m:propstat><m:prop/><m:status>HTTP/1.1 "
       "200 OK</m:status></m:propstat></m:response><response "
       "xmlns=\"DAV:\"><href>/d/q</href><propstat><prop/>"
       "<status>HTTP/1.1 200 OK</status></propstat></response></m:multistatus>",
       "",
       "/d/",
       {"/d/p", "/d/q"}},
      {"elements of another namespace ignored",
       "<D:multistatus xmlns:D=\"DAV:\" xmlns:X=\"urn:x\"><X:response><X:href>/d/n</X:href></X:response>"
       "</D:multistatus>",
       "",
       "/d/",
       {}},
  };
  for (const auto& c : cases) {
    const PropFindParse parsed = ParsePropFindListing(c.body, c.root, c.listed);
    ASSERT_TRUE(parsed.ok) << c.name;
    std::vector<std::string> uris;
    for (const auto& e : parsed.entries) uris.push_back(e.uri);
    EXPECT_EQ(uris, c.uris) << c.name;
  }
}

TEST(DAVListing, PropertiesAreReadFromThePropOfEachPropstat) {
  const std::string body = Multistatus(
      Response("/d/file",
               "<D:getcontentlength> 5000 </D:getcontentlength><D:getlastmodified>Sun, 06 Nov 1994 "
               "08:49:37 GMT</D:getlastmodified><D:resourcetype/>") +
      Response("/d/sub/", "<D:getLastModified>Sunday, 06-Nov-94 08:49:37 GMT</D:getLastModified>" + kFolder) +
      Response("/d/odd",
               "<D:getlastmodified>yesterday</D:getlastmodified><D:getcontentlength>big"
               "</D:getcontentlength>") +
      Response("/d/negative", "<D:getcontentlength>-3</D:getcontentlength>"));
  const PropFindParse parsed = ParsePropFindListing(body, "", "/d/");
  ASSERT_TRUE(parsed.ok);
  ASSERT_EQ(parsed.entries.size(), 4u);
  const auto& file = parsed.entries[0];
  EXPECT_FALSE(file.isCollection);
  EXPECT_EQ(file.contentLength, 5000);
  // 1994-11-06 08:49:37 GMT, in seconds after 2001-01-01.
  const double expected = 784111777.0 - 978307200.0;
  ASSERT_TRUE(file.lastModified);
  EXPECT_DOUBLE_EQ(*file.lastModified, expected);
  const auto& sub = parsed.entries[1];
  EXPECT_EQ(sub.uri, "/d/sub");
  EXPECT_TRUE(sub.isCollection);
  ASSERT_TRUE(sub.lastModified);
  EXPECT_DOUBLE_EQ(*sub.lastModified, expected);
  EXPECT_FALSE(sub.contentLength);
  const auto& odd = parsed.entries[2];
  EXPECT_FALSE(odd.lastModified) << "an unparsable date leaves the key out";
  EXPECT_EQ(odd.contentLength, 0) << "a length that is no number reads as 0";
  EXPECT_EQ(parsed.entries[3].contentLength, -3);
}

TEST(DAVListing, WhatIsNoListingFailsToParse) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"not XML", "this is no listing"},
      {"cut off", Multistatus(Response("/d/a", kFile)).substr(0, 80)},
      {"empty", ""},
      {"document type declared",
       "<?xml version=\"1.0\"?><!DOCTYPE m [<!ENTITY e \"x\">]><D:multistatus xmlns:D=\"DAV:\"/>"},
      {"too large", std::string(kMaxMultistatusSize + 1, ' ')},
  };
  for (const auto& [name, body] : cases) {
    const PropFindParse parsed = ParsePropFindListing(body, "", "/");
    EXPECT_FALSE(parsed.ok) << name;
    EXPECT_NE(parsed.errorCode, 0) << name;
    EXPECT_TRUE(parsed.entries.empty()) << name;
  }
}

}  // namespace
}  // namespace browser
