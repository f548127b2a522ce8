#include "app/upload/contexts/propfind_readers.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cstdlib>

#include "app/util/text/http_dates.h"
#include "platform/values/url_escape.h"

namespace upload {

namespace {

constexpr const char kDAVNamespace[] = "DAV:";

// The namespace a prefix stands for at `node`: the nearest declaration on the node or
// its ancestors.
std::string NamespaceOf(const pugi::xml_node& node, const std::string& prefix) {
  const std::string attribute = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
  for (pugi::xml_node n = node; n; n = n.parent()) {
    if (n.type() != pugi::node_element) continue;
    if (pugi::xml_attribute a = n.attribute(attribute.c_str())) return a.value();
  }
  return {};
}

// True for an element named `local` in the "DAV:" namespace, whatever its prefix.
bool IsDAV(const pugi::xml_node& node, const char* local) {
  if (node.type() != pugi::node_element) return false;
  const std::string name = node.name();
  const auto colon = name.find(':');
  const std::string prefix = colon == std::string::npos ? std::string() : name.substr(0, colon);
  const std::string localName = colon == std::string::npos ? name : name.substr(colon + 1);
  return localName == local && NamespaceOf(node, prefix) == kDAVNamespace;
}

std::vector<pugi::xml_node> Children(const pugi::xml_node& parent, const char* local) {
  std::vector<pugi::xml_node> out;
  for (pugi::xml_node child : parent.children()) {
    if (IsDAV(child, local)) out.push_back(child);
  }
  return out;
}

std::string Text(const pugi::xml_node& node) {
  std::string text;
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) text += child.value();
  }
  return text;
}

std::string Trimmed(std::string text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// The multistatus root, or nothing when the reply is not one.
std::optional<pugi::xml_node> Root(std::span<const std::uint8_t> reply, pugi::xml_document& doc) {
  if (reply.size() > kMaxPropfindReplySize) return std::nullopt;
  // The declaration is kept as a node so that it can be refused: pugixml would not expand
  // entities anyway, but a reply that declares them is no reply a server sends.
  const auto result = doc.load_buffer(reply.data(), reply.size(), pugi::parse_default | pugi::parse_doctype);
  if (!result) return std::nullopt;
  for (pugi::xml_node child : doc.children()) {
    if (child.type() == pugi::node_doctype) return std::nullopt;
  }
  pugi::xml_node root = doc.document_element();
  if (!root) return std::nullopt;
  return root;
}

// The first text of response/propstat/prop/<local>.
std::optional<std::string> FirstPropText(const pugi::xml_node& root, const char* local) {
  for (const auto& response : Children(root, "response")) {
    for (const auto& propstat : Children(response, "propstat")) {
      for (const auto& prop : Children(propstat, "prop")) {
        for (const auto& value : Children(prop, local)) {
          for (pugi::xml_node child : value.children()) {
            if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
              return std::string(child.value());
          }
        }
      }
    }
  }
  return std::nullopt;
}

// A decimal number the way a number text reads: the digits at its start; 0 for none.
std::int64_t NumberOf(const std::string& text) {
  errno = 0;
  const long long value = std::strtoll(Trimmed(text).c_str(), nullptr, 10);
  return errno == ERANGE ? 0 : value;
}

}  // namespace

DAVFileInfo ParseDAVFileInfo(std::span<const std::uint8_t> reply) {
  DAVFileInfo info;
  pugi::xml_document doc;
  auto root = Root(reply, doc);
  if (!root) return info;
  if (auto date = FirstPropText(*root, "getlastmodified")) {
    if (auto time = util::ParseHTTPDate(Trimmed(*date))) info.lastModified = values::Date{*time};
  }
  if (auto length = FirstPropText(*root, "getcontentlength")) info.contentLength = NumberOf(*length);
  return info;
}

std::vector<std::string> ParseDAVHrefs(std::span<const std::uint8_t> reply) {
  std::vector<std::string> hrefs;
  pugi::xml_document doc;
  auto root = Root(reply, doc);
  if (!root) return hrefs;
  for (const auto& response : Children(*root, "response")) {
    bool isFile = false;
    for (const auto& propstat : Children(response, "propstat")) {
      bool ok = false;
      for (const auto& status : Children(propstat, "status")) ok |= Text(status) == "HTTP/1.1 200 OK";
      if (!ok) continue;
      for (const auto& prop : Children(propstat, "prop")) {
        for (const auto& length : Children(prop, "getcontentlength")) isFile |= NumberOf(Text(length)) > 0;
      }
    }
    if (!isFile) continue;
    for (const auto& href : Children(response, "href")) {
      const std::string text = Text(href);
      hrefs.push_back(values::PercentUnescape(text).value_or(text));
    }
  }
  return hrefs;
}

}  // namespace upload
