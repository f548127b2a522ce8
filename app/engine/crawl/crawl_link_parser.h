#pragma once
// The links of one HTML, XHTML, Atom or RSS document, read the forgiving way a scanner
// must read pages written by hand: no tree, no validation, only the tags that carry links.
//
// A frameset document yields only its frames' sources. Any other document is read from
// its "<html", "<feed" or "<rss" tag (or from the start when it has none) to "</html>":
// "a" and "link" give page links (href), "enclosure" gives files only (url), "img" gives
// files only when asked (src), "frame" gives frame links (src). Comments are skipped. A
// tag runs to the next ">". The link texts are the raw bytes of the attribute values, in
// the page's encoding; the caller decodes and resolves them.
//
// The page is hostile input: the parse is linear in its length, and stops after
// kCrawlMaxLinksPerPage links.

#include <string>
#include <string_view>
#include <vector>

namespace engine {

enum class CrawlLinkKind {
  kPage,      // a file, or a page of the next level
  kFileOnly,  // a file, never followed
  kFrame,     // a file, or a page of the same level
};

struct CrawlLink {
  std::string text;
  CrawlLinkKind kind = CrawlLinkKind::kPage;
  bool operator==(const CrawlLink&) const = default;
};

std::vector<CrawlLink> ParseCrawlLinks(std::string_view document, bool followImages);

}  // namespace engine
