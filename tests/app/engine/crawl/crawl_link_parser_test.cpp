#include "app/engine/crawl/crawl_link_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace engine {
namespace {

using K = CrawlLinkKind;

struct ParseCase {
  const char* name;
  const char* document;
  bool followImages;
  std::vector<CrawlLink> links;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << c.name;
}

class CrawlLinkParserTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CrawlLinkParserTest, FindsTheLinksOfTheDocument) {
  const ParseCase& c = GetParam();
  EXPECT_EQ(ParseCrawlLinks(c.document, c.followImages), c.links) << c.name;
}

const ParseCase kCases[] = {
    {"Anchors",
     "<html><body><a href=\"a.zip\">a</a> <A HREF='b.zip'>b</A></body></html>",
     false,
     {{"a.zip", K::kPage}, {"b.zip", K::kPage}}},
    {"UnquotedValueRunsToWhiteSpace",
     "<html><a href=c.zip title=x>c</a></html>",
     false,
     {{"c.zip", K::kPage}}},
    {"QuotedValueOfAnotherAttributeIsNotALink",
     "<html><a title=\"href=x.zip\" href=\"y.zip\">y</a></html>",
     false,
     {{"y.zip", K::kPage}}},
    {"UnquotedHrefBeforeAQuotedTitle",
     "<html><a href=d.zip title=\"t\">d</a></html>",
     false,
     {{"d.zip", K::kPage}}},
    {"HreflangIsNotHref",
     "<html><link hreflang=\"en\" href=\"feed.xml\"></html>",
     false,
     {{"feed.xml", K::kPage}}},
    {"ValueWithSpacesInsideDoubleQuotes",
     "<html><a href=\"my file.zip\">x</a></html>",
     false,
     {{"my file.zip", K::kPage}}},
    {"UnclosedQuoteEndsTheTag",
     "<html><a href=\"open.zip>x</a><a href=\"ok.zip\">y</a></html>",
     false,
     {{"ok.zip", K::kPage}}},
    {"AnchorWithoutWhiteSpaceIsNoAnchor",
     "<html><abbr href=\"no.zip\"></abbr><a\thref=yes.zip></html>",
     false,
     {{"yes.zip", K::kPage}}},
    {"CommentsAreSkipped",
     "<html><!-- <a href=\"hidden.zip\"> --><a href=\"shown.zip\"></html>",
     false,
     {{"shown.zip", K::kPage}}},
    {"UnclosedCommentEndsTheParse",
     "<html><a href=\"1.zip\"><!-- <a href=\"2.zip\"></html>",
     false,
     {{"1.zip", K::kPage}}},
    {"NothingAfterTheEndOfTheDocument",
     "<html><a href=\"in.zip\"></html><a href=\"out.zip\">",
     false,
     {{"in.zip", K::kPage}}},
    {"TagWithoutItsEndIsDropped",
     "<html><a href=\"in.zip\"><a href=\"cut.zip\"",
     false,
     {{"in.zip", K::kPage}}},
    {"NoRootTagReadsFromTheStart", "<a href=\"bare.zip\">", false, {{"bare.zip", K::kPage}}},
    {"RootTagMustEndItsName", "<htmlx><a href=\"x.zip\"></htmlx>", false, {}},
    {"ImagesOnlyWhenAsked",
     "<html><img src=\"p.jpg\"><a href=\"a.zip\"></html>",
     false,
     {{"a.zip", K::kPage}}},
    {"ImagesAreFilesOnly", "<html><img src=\"p.jpg\"></html>", true, {{"p.jpg", K::kFileOnly}}},
    {"RssEnclosures",
     "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><item><enclosure url=\"http://h/e.mp3\" "
     "length=\"1\" type=\"audio/mpeg\"/><link>http://h/p</link></item></channel></rss>",
     false,
     {{"http://h/e.mp3", K::kFileOnly}}},
    {"AtomLinks",
     "<feed xmlns=\"http://www.w3.org/2005/Atom\"><link href=\"http://h/entry\"/></feed>",
     false,
     {{"http://h/entry", K::kPage}}},
    {"FramesOfAFrameset",
     "<html><frameset cols=\"50%,50%\"><frame src=\"left.html\"><!-- <frame src=\"no.html\"> -->"
     "<FRAME SRC='right.html'></frameset><frame src=\"after.html\"><a href=\"x.zip\"></html>",
     false,
     {{"left.html", K::kFrame}, {"right.html", K::kFrame}}},
    {"FramesOutsideAFrameset", "<html><frame src=\"f.html\"></html>", false, {{"f.html", K::kFrame}}},
    {"FramesetNameMustEnd", "<html><framesetx><a href=\"a.html\"></html>", false, {{"a.html", K::kPage}}},
    {"SingleQuotesAroundAnUnquotedValue", "<html><a href='q.zip'></html>", false, {{"q.zip", K::kPage}}},
    {"EmptyValuesAreNoLinks", "<html><a href=\"\"><a href=></html>", false, {}},
    {"EveryHrefOfATag",
     "<html><a href=\"1.zip\" href=\"2.zip\"></html>",
     false,
     {{"1.zip", K::kPage}, {"2.zip", K::kPage}}},
};

INSTANTIATE_TEST_SUITE_P(Documents, CrawlLinkParserTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CrawlLinkParserBoundsTest, StopsAtTheLinkBound) {
  std::string doc = "<html>";
  for (int i = 0; i < 20000; ++i) doc += "<a href=\"f" + std::to_string(i) + ".zip\">";
  const auto links = ParseCrawlLinks(doc, false);
  EXPECT_EQ(links.size(), 10000u);
  EXPECT_EQ(links.back().text, "f9999.zip");
}

}  // namespace
}  // namespace engine
