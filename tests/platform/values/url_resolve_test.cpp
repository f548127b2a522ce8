#include <gtest/gtest.h>

#include <string>

#include "platform/values/url.h"

using values::Url;

namespace {

struct ResolveCase {
  const char* reference;
  const char* expected;
};

// RFC 3986 section 5.4, normal and abnormal examples, against "http://a/b/c/d;p?q".
const ResolveCase kRfc3986Cases[] = {
    {"g:h", "g:h"},
    {"g", "http://a/b/c/g"},
    {"./g", "http://a/b/c/g"},
    {"g/", "http://a/b/c/g/"},
    {"/g", "http://a/g"},
    {"//g", "http://g"},
    {"?y", "http://a/b/c/d;p?y"},
    {"g?y", "http://a/b/c/g?y"},
    {"#s", "http://a/b/c/d;p?q#s"},
    {"g#s", "http://a/b/c/g#s"},
    {"g?y#s", "http://a/b/c/g?y#s"},
    {";x", "http://a/b/c/;x"},
    {"g;x", "http://a/b/c/g;x"},
    {"g;x?y#s", "http://a/b/c/g;x?y#s"},
    {"", "http://a/b/c/d;p?q"},
    {".", "http://a/b/c/"},
    {"./", "http://a/b/c/"},
    {"..", "http://a/b/"},
    {"../", "http://a/b/"},
    {"../g", "http://a/b/g"},
    {"../..", "http://a/"},
    {"../../", "http://a/"},
    {"../../g", "http://a/g"},
    {"../../../g", "http://a/g"},
    {"../../../../g", "http://a/g"},
    {"/./g", "http://a/g"},
    {"/../g", "http://a/g"},
    {"g.", "http://a/b/c/g."},
    {".g", "http://a/b/c/.g"},
    {"g..", "http://a/b/c/g.."},
    {"..g", "http://a/b/c/..g"},
    {"./../g", "http://a/b/g"},
    {"./g/.", "http://a/b/c/g/"},
    {"g/./h", "http://a/b/c/g/h"},
    {"g/../h", "http://a/b/c/h"},
    {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
    {"g;x=1/../y", "http://a/b/c/y"},
    {"g?y/./x", "http://a/b/c/g?y/./x"},
    {"g?y/../x", "http://a/b/c/g?y/../x"},
    {"g#s/./x", "http://a/b/c/g#s/./x"},
    {"g#s/../x", "http://a/b/c/g#s/../x"},
    {"http:g", "http:g"},
};

TEST(UrlResolve, Rfc3986Examples) {
  const auto base = Url::Create("http://a/b/c/d;p?q");
  ASSERT_TRUE(base);
  for (const auto& c : kRfc3986Cases) {
    SCOPED_TRACE(c.reference);
    const auto url = Url::Create(c.reference, *base);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->AbsoluteString(), c.expected);
    const auto absolute = Url::CreateAbsolute(c.reference, *base);
    ASSERT_TRUE(absolute);
    EXPECT_EQ(absolute->String(), c.expected);
    EXPECT_EQ(absolute->Base(), nullptr);
  }
}

TEST(UrlResolve, OtherBases) {
  const struct {
    const char* base;
    const char* reference;
    const char* expected;
  } cases[] = {
      {"http://a", "g", "http://a/g"},  // base without a path
      {"http://a", "?x", "http://a?x"},
      {"http://u:p@a:81/d/", "../x#f", "http://u:p@a:81/x#f"},  // user info and port are kept
      {"ftp://h/pub/", "//other/x", "ftp://other/x"},
      {"mailto:a@b", "c", "c"},                           // an opaque base resolves nothing
      {"http://a/b/", "http://c/../d", "http://c/../d"},  // a scheme of its own: taken as it is
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.base) + " + " + c.reference);
    const auto base = Url::Create(c.base);
    ASSERT_TRUE(base);
    const auto url = Url::CreateAbsolute(c.reference, *base);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->String(), c.expected);
  }
}

TEST(UrlResolve, RelativeUrlKeepsItsTextAndAnswersNetComponentsFromBase) {
  const auto base = Url::Create("https://user:pw@host:8443/dir/index.html?x");
  ASSERT_TRUE(base);
  const auto url = Url::Create("sub/f%20ile.txt?y", *base);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->String(), "sub/f%20ile.txt?y");
  ASSERT_NE(url->Base(), nullptr);
  EXPECT_EQ(url->Base()->String(), base->String());
  EXPECT_EQ(url->Scheme(), "https");
  EXPECT_EQ(url->Host(), "host");
  EXPECT_EQ(url->Port(), 8443);
  EXPECT_EQ(url->User(), "user");
  EXPECT_EQ(url->Password(), "pw");
  EXPECT_EQ(url->Path(), "sub/f%20ile.txt");  // own path, not resolved
  EXPECT_EQ(url->Query(), "y");
  EXPECT_EQ(url->LastPathComponent(), "f ile.txt");
  EXPECT_EQ(url->FileSystemPath(), "/dir/sub/f ile.txt");  // resolved
  EXPECT_EQ(url->AbsoluteString(), "https://user:pw@host:8443/dir/sub/f%20ile.txt?y");
}

TEST(UrlResolve, ReferenceWithItsOwnNetLocationDoesNotInheritCredentials) {
  const auto base = Url::Create("http://user:pw@host/");
  ASSERT_TRUE(base);
  const auto url = Url::Create("//other/x", *base);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->Scheme(), "http");
  EXPECT_EQ(url->Host(), "other");
  EXPECT_EQ(url->User(), std::nullopt);
}

TEST(UrlResolve, AbsoluteTextDropsTheBase) {
  const auto base = Url::Create("http://a/b/");
  ASSERT_TRUE(base);
  const auto url = Url::Create("ftp://x/y", *base);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->Base(), nullptr);
  EXPECT_EQ(url, Url::Create("ftp://x/y"));
}

TEST(UrlResolve, EmptyReferenceTakesDirectoryFlagFromBase) {
  const auto base = Url::Create("http://a/b/");
  ASSERT_TRUE(base);
  EXPECT_TRUE(Url::Create("?q", *base)->HasDirectoryPath());
  EXPECT_FALSE(Url::Create("c", *base)->HasDirectoryPath());
}

TEST(UrlResolve, BaseThatIsItselfRelativeIsResolvedFirst) {
  const auto root = Url::Create("http://a/b/c");
  ASSERT_TRUE(root);
  const auto middle = Url::Create("d/e", *root);
  ASSERT_TRUE(middle);
  const auto url = Url::Create("../f", *middle);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->Base()->String(), "http://a/b/d/e");
  EXPECT_EQ(url->AbsoluteString(), "http://a/b/f");
}

TEST(UrlResolve, IllegalReferenceIsRefusedWhateverTheBase) {
  const auto base = Url::Create("http://a/");
  ASSERT_TRUE(base);
  EXPECT_FALSE(Url::Create("a b", *base));
  EXPECT_FALSE(Url::CreateAbsolute("%zz", *base));
}

}  // namespace
