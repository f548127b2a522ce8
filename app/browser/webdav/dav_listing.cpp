#include "app/browser/webdav/dav_listing.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cstdlib>

#include "app/util/text/http_dates.h"
#include "platform/values/url_escape.h"

namespace browser {

namespace {

std::string_view PrefixOf(std::string_view qualified) {
  const auto colon = qualified.find(':');
  return colon == std::string_view::npos ? std::string_view() : qualified.substr(0, colon);
}

std::string_view LocalNameOf(std::string_view qualified) {
  const auto colon = qualified.find(':');
  return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

// The namespace a prefix stands for at `node`: the nearest declaration on it or above.
std::string NamespaceOf(const pugi::xml_node& node, std::string_view prefix) {
  const std::string attribute = prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
  for (pugi::xml_node n = node; n; n = n.parent()) {
    if (n.type() != pugi::node_element) continue;
    if (pugi::xml_attribute a = n.attribute(attribute.c_str())) return a.value();
  }
  return {};
}

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

// A number text as the program reads one: an optional sign and the digits at its start;
// 0 when there are none or it does not fit.
std::int64_t SignedNumberOf(const std::string& text) {
  errno = 0;
  const long long value = std::strtoll(Trimmed(text).c_str(), nullptr, 10);
  return errno == ERANGE ? 0 : value;
}

// The href's path relative to the root, or nothing when it lies outside the root or
// cannot be unescaped.
std::optional<std::string> RelativePath(std::string href, std::string_view rootPath) {
  if (href.starts_with("http://") || href.starts_with("https://")) {
    const auto slash = href.find('/', 8);
    href = slash == std::string::npos ? std::string("/") : href.substr(slash);
  }
  auto unescaped = values::PercentUnescape(href);
  if (!unescaped) return std::nullopt;
  std::string path = std::move(*unescaped);
  if (!rootPath.empty() && rootPath != "/") {
    if (!path.starts_with(rootPath)) return std::nullopt;
    if (path.size() > rootPath.size() && path[rootPath.size()] != '/') return std::nullopt;
    path.erase(0, rootPath.size());
    if (path.empty()) path = "/";
  }
  if (path.ends_with('/')) path.pop_back();
  return path;
}

}  // namespace

bool TRXMLUtils::compareElement(const pugi::xml_node& node, std::string_view localName,
                                std::string_view uri) {
  if (node.type() != pugi::node_element) return false;
  const std::string_view name = node.name();
  return LocalNameOf(name) == localName && NamespaceOf(node, PrefixOf(name)) == uri;
}

pugi::xml_node TRXMLUtils::firstElementForName(const pugi::xml_node& element, std::string_view name) {
  for (pugi::xml_node child : element.children()) {
    if (child.type() == pugi::node_element && std::string_view(child.name()) == name) return child;
  }
  return {};
}

pugi::xml_node TRXMLUtils::firstElementForName(const pugi::xml_node& element, std::string_view localName,
                                               std::string_view uri) {
  for (pugi::xml_node child : element.children()) {
    if (compareElement(child, localName, uri)) return child;
  }
  return {};
}

std::string TRXMLUtils::stringValue(const pugi::xml_node& node) {
  std::string text;
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      text += child.value();
    }
  }
  return text;
}

std::optional<std::string> TRXMLUtils::responseHref(const pugi::xml_node& response) {
  pugi::xml_node href = firstElementForName(response, "href", kDAVNamespaceURI);
  if (!href) return std::nullopt;
  return stringValue(href);
}

int TRXMLUtils::propstatStatus(const pugi::xml_node& propstat) {
  pugi::xml_node status = firstElementForName(propstat, "status", kDAVNamespaceURI);
  if (!status) return 0;
  const std::string text = stringValue(status);
  if (text.size() < 11) return 0;
  return static_cast<int>(std::strtol(text.c_str() + 9, nullptr, 10));
}

PropFindParse ParsePropFindListing(std::string_view body, std::string_view rootPath,
                                   std::string_view listedPath) {
  PropFindParse out;
  if (body.size() > kMaxMultistatusSize) {
    out.errorCode = pugi::status_out_of_memory;
    return out;
  }
  pugi::xml_document doc;
  // The declaration is kept as a node so that it can be refused; pugixml expands no
  // entity and loads nothing, but no server sends one in a multistatus reply.
  const pugi::xml_parse_result parsed =
      doc.load_buffer(body.data(), body.size(), pugi::parse_default | pugi::parse_doctype);
  if (!parsed) {
    out.errorCode = parsed.status;
    return out;
  }
  for (pugi::xml_node child : doc.children()) {
    if (child.type() == pugi::node_doctype) {
      out.errorCode = pugi::status_bad_doctype;
      return out;
    }
  }
  const pugi::xml_node root = doc.document_element();
  if (!root) {
    out.errorCode = pugi::status_no_document_element;
    return out;
  }
  out.ok = true;
  std::string_view listedWithout = listedPath;
  if (listedWithout.ends_with('/')) listedWithout.remove_suffix(1);
  for (pugi::xml_node response : root.children()) {
    if (!TRXMLUtils::compareElement(response, "response", kDAVNamespaceURI)) continue;
    auto href = TRXMLUtils::responseHref(response);
    if (!href) continue;
    auto path = RelativePath(Trimmed(*href), rootPath);
    if (!path) continue;
    if (*path == listedPath || *path == listedWithout) continue;
    for (pugi::xml_node propstat : response.children()) {
      if (!TRXMLUtils::compareElement(propstat, "propstat", kDAVNamespaceURI)) continue;
      if (TRXMLUtils::propstatStatus(propstat) != 200) continue;
      const pugi::xml_node prop = TRXMLUtils::firstElementForName(propstat, "prop", kDAVNamespaceURI);
      if (!prop) continue;
      DMListingEntry entry;
      entry.uri = *path;
      for (pugi::xml_node value : prop.children()) {
        if (TRXMLUtils::compareElement(value, "getlastmodified", kDAVNamespaceURI) ||
            TRXMLUtils::compareElement(value, "getLastModified", kDAVNamespaceURI)) {
          if (auto time = util::ParseHTTPDate(Trimmed(TRXMLUtils::stringValue(value))))
            entry.lastModified = *time;
        } else if (TRXMLUtils::compareElement(value, "resourcetype", kDAVNamespaceURI)) {
          if (TRXMLUtils::firstElementForName(value, "collection", kDAVNamespaceURI))
            entry.isCollection = true;
        } else if (TRXMLUtils::compareElement(value, "getcontentlength", kDAVNamespaceURI)) {
          entry.contentLength = SignedNumberOf(TRXMLUtils::stringValue(value));
        }
      }
      out.entries.push_back(std::move(entry));
    }
  }
  return out;
}

}  // namespace browser
