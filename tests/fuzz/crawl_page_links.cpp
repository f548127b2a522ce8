// A hostile web page read by the scanner: its links, and what each link becomes.

#include "app/engine/crawl/crawl_link_parser.h"
#include "app/engine/crawl/crawl_request.h"
#include "app/engine/crawl/page_crawl_links.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view page = fuzz::AsText(data, size);
  const bool images = size > 0 && (data[0] & 1) != 0;
  const auto links = engine::ParseCrawlLinks(page, images);
  TRUVANE_FUZZ_CHECK(links.size() <= engine::kCrawlMaxLinksPerPage);
  for (const auto& link : links) TRUVANE_FUZZ_CHECK(!link.text.empty() && link.text.size() <= size);

  engine::CrawlPageContext context;
  context.startURL = values::Url::Create("http://fuzz.test/dir/index.html");
  context.startFolder = engine::CopyBaseDirectoryURL(*context.startURL);
  context.base = context.startFolder;
  context.referer = context.startURL->String();
  engine::CrawlLinkRules rules;
  rules.extensionList = std::vector<std::string>{"zip", "*"};
  rules.user = "u";
  rules.password = "p";
  engine::CrawlTables tables;
  const auto files = engine::CrawlParsePage(page, images, context, rules, tables);
  TRUVANE_FUZZ_CHECK(files.size() <= links.size());
  TRUVANE_FUZZ_CHECK(tables.nextLevel.size() + tables.frontier.size() <= links.size());
  return 0;
}
