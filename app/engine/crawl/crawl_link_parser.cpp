#include "app/engine/crawl/crawl_link_parser.h"

#include <algorithm>
#include <cstddef>

#include "app/engine/crawl/crawl_request.h"

namespace engine {
namespace {

constexpr std::size_t npos = std::string_view::npos;

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// `lower` is the document lower-cased byte for byte, so positions match.
std::size_t FindCaseless(std::string_view lower, std::string_view needle, std::size_t from = 0) {
  return lower.find(needle, from);
}

bool StartsCaseless(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != prefix[i]) return false;
  return true;
}

// The tag text (after "<", before ">") names `name` followed by white space.
bool TagIs(std::string_view tag, std::string_view name) {
  return tag.size() > name.size() && StartsCaseless(tag, name) && IsSpace(tag[name.size()]);
}

class LinkCollector {
 public:
  explicit LinkCollector(std::vector<CrawlLink>& out) : out_(out) {}

  bool Full() const { return out_.size() >= kCrawlMaxLinksPerPage; }

  // Every value of the attribute `name` in the attributes text of one tag. Attributes are
  // read as tokens (name, "=", value quoted or not), so that a quoted value of another
  // attribute never passes for this one, and "hreflang" is not "href".
  void Attributes(std::string_view attrs, std::string_view name, CrawlLinkKind kind) {
    std::size_t i = 0;
    const std::size_t n = attrs.size();
    while (i < n && !Full()) {
      while (i < n && IsSpace(attrs[i])) ++i;
      if (i >= n) break;
      const std::size_t name_begin = i;
      while (i < n && !IsSpace(attrs[i]) && attrs[i] != '=') ++i;
      const std::string_view attr_name = attrs.substr(name_begin, i - name_begin);
      std::size_t j = i;
      while (j < n && IsSpace(attrs[j])) ++j;
      if (j >= n || attrs[j] != '=') {
        if (attr_name.empty()) ++i;  // a stray character; step over it
        continue;
      }
      i = j + 1;
      while (i < n && IsSpace(attrs[i])) ++i;
      std::string_view value;
      if (i < n && (attrs[i] == '"' || attrs[i] == '\'')) {
        const char quote = attrs[i];
        const std::size_t close = attrs.find(quote, i + 1);
        // An unclosed quote ends the tag's attributes.
        if (close == npos) return;
        value = attrs.substr(i + 1, close - i - 1);
        i = close + 1;
      } else {
        const std::size_t begin = i;
        while (i < n && !IsSpace(attrs[i])) ++i;
        value = attrs.substr(begin, i - begin);
      }
      if (attr_name.size() != name.size() || !StartsCaseless(attr_name, name)) continue;
      if (!value.empty() && value.front() == '\'') value.remove_prefix(1);
      if (!value.empty() && value.back() == '\'') value.remove_suffix(1);
      if (!value.empty()) out_.push_back({std::string(value), kind});
    }
  }

 private:
  std::vector<CrawlLink>& out_;
};

// Walks the tags from `pos`: comments skipped, each tag handed to `on_tag` (the text
// between "<" and ">"), until `end_mark` (matched exactly) or the end of the text, or
// until `on_tag` answers false.
template <class OnTag>
void WalkTags(std::string_view doc, std::size_t pos, std::string_view end_mark, OnTag on_tag) {
  while (true) {
    const std::size_t lt = doc.find('<', pos);
    if (lt == npos) return;
    const std::string_view rest = doc.substr(lt);
    if (rest.starts_with(end_mark)) return;
    if (rest.starts_with("<!--")) {
      const std::size_t close = doc.find("-->", lt + 4);
      if (close == npos) return;
      pos = close + 3;
      continue;
    }
    const std::size_t gt = doc.find('>', lt + 1);
    if (gt == npos) return;
    if (!on_tag(doc.substr(lt + 1, gt - lt - 1))) return;
    pos = gt + 1;
  }
}

}  // namespace

std::vector<CrawlLink> ParseCrawlLinks(std::string_view doc, bool followImages) {
  std::vector<CrawlLink> links;
  LinkCollector collect(links);
  std::string lower_copy(doc);
  std::transform(lower_copy.begin(), lower_copy.end(), lower_copy.begin(), Lower);
  const std::string_view lower(lower_copy);

  const std::size_t frameset = FindCaseless(lower, "<frameset");
  if (frameset != npos && frameset + 9 < doc.size() &&
      (doc[frameset + 9] == '>' || IsSpace(doc[frameset + 9]))) {
    WalkTags(doc, frameset, "</frameset>", [&](std::string_view tag) {
      if (TagIs(tag, "frame")) collect.Attributes(tag.substr(5), "src", CrawlLinkKind::kFrame);
      return !collect.Full();
    });
    return links;
  }

  std::size_t start = 0;
  for (std::string_view root : {"<html", "<feed", "<rss"}) {
    const std::size_t at = FindCaseless(lower, root);
    if (at == npos) continue;
    const std::size_t after = at + root.size();
    if (after >= doc.size() || !(doc[after] == '>' || IsSpace(doc[after]))) return links;
    start = at;
    break;
  }
  WalkTags(doc, start, "</html>", [&](std::string_view tag) {
    if (TagIs(tag, "a")) {
      collect.Attributes(tag.substr(1), "href", CrawlLinkKind::kPage);
    } else if (TagIs(tag, "link")) {
      collect.Attributes(tag.substr(4), "href", CrawlLinkKind::kPage);
    } else if (TagIs(tag, "enclosure")) {
      collect.Attributes(tag.substr(9), "url", CrawlLinkKind::kFileOnly);
    } else if (followImages && TagIs(tag, "img")) {
      collect.Attributes(tag.substr(3), "src", CrawlLinkKind::kFileOnly);
    } else if (TagIs(tag, "frame")) {
      collect.Attributes(tag.substr(5), "src", CrawlLinkKind::kFrame);
    }
    return !collect.Full();
  });
  return links;
}

}  // namespace engine
