#include "platform/values/url.h"

#include <unistd.h>

#include <cctype>
#include <climits>
#include <string>

#include "platform/values/ascii.h"
#include "platform/values/url_escape.h"

namespace values {
namespace {

constexpr auto npos = std::string::npos;

bool IsHexDigit(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

bool IsLegalUrlText(std::string_view text) {
  bool sawHash = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size() || !IsHexDigit(text[i + 1]) || !IsHexDigit(text[i + 2])) return false;
      i += 2;
    } else if (c == '#') {
      if (sawHash) return false;
      sawHash = true;
    } else if (c != '[' && c != ']' && !IsUrlLegalCharacter(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

bool IsSchemeChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
}

std::string UnescapedOrAsIs(std::string_view s) {
  auto unescaped = PercentUnescape(s);
  return unescaped ? std::move(*unescaped) : std::string(s);
}

// A URL path as a POSIX path: "%2F" stays escaped so that it cannot turn into a separator.
std::optional<std::string> PosixPathOf(std::string_view urlPath) {
  if (urlPath.empty()) return std::nullopt;
  auto path = PercentUnescape(urlPath, "/");
  if (!path) return std::nullopt;
  if (path->size() > 1 && path->back() == '/') path->pop_back();
  return path;
}

// RFC 3986 section 5.2.4.
std::string RemoveDotSegments(std::string_view path) {
  std::string in(path);
  std::string out;
  auto dropLastSegment = [&out] {
    const auto slash = out.rfind('/');
    out.erase(slash == npos ? 0 : slash);
  };
  while (!in.empty()) {
    if (in.starts_with("../")) {
      in.erase(0, 3);
    } else if (in.starts_with("./")) {
      in.erase(0, 2);
    } else if (in.starts_with("/./")) {
      in.erase(0, 2);
    } else if (in == "/.") {
      in = "/";
    } else if (in.starts_with("/../")) {
      in.erase(0, 3);
      dropLastSegment();
    } else if (in == "/..") {
      in = "/";
      dropLastSegment();
    } else if (in == "." || in == "..") {
      in.clear();
    } else {
      const auto next = in.find('/', 1);
      const auto take = next == npos ? in.size() : next;
      out.append(in, 0, take);
      in.erase(0, take);
    }
  }
  return out;
}

}  // namespace

Url Url::Parsed(std::string text, std::shared_ptr<const Url> base) {
  Url url;
  url.text_ = std::move(text);
  url.Parse();
  if (!url.scheme_.present()) url.base_ = std::move(base);
  return url;
}

std::optional<Url> Url::Create(std::string_view text) {
  if (!IsLegalUrlText(text)) return std::nullopt;
  return Parsed(std::string(text), nullptr);
}

std::optional<Url> Url::Create(std::string_view text, const Url& base) {
  if (!IsLegalUrlText(text)) return std::nullopt;
  return Parsed(std::string(text), std::make_shared<const Url>(base.Absolute()));
}

std::optional<Url> Url::CreateAbsolute(std::string_view text, const Url& base) {
  auto url = Create(text, base);
  if (!url) return std::nullopt;
  return url->Absolute();
}

void Url::Parse() {
  const std::string& s = text_;
  const std::size_t n = s.size();
  std::size_t pos = 0;
  if (n > 0 && std::isalpha(static_cast<unsigned char>(s[0])) != 0) {
    std::size_t i = 1;
    while (i < n && IsSchemeChar(s[i])) ++i;
    if (i < n && s[i] == ':') {
      scheme_ = {0, i};
      pos = i + 1;
    }
  }
  if (scheme_.present() && (pos == n || s[pos] != '/')) {
    // "mailto:a@b": opaque, only the scheme and what follows it.
    decomposable_ = false;
    path_ = {};
    resourceSpecifier_ = {pos, n};
    return;
  }
  std::size_t end = s.find('#', pos);
  if (end != npos) {
    fragment_ = {end + 1, n};
  } else {
    end = n;
  }
  if (end - pos >= 2 && s[pos] == '/' && s[pos + 1] == '/') {
    std::size_t stop = pos + 2;
    while (stop < end && s[stop] != '/' && s[stop] != '?') ++stop;
    ParseNetLocation(pos + 2, stop);
    pos = stop;
  }
  if (const auto q = s.find('?', pos); q < end) {
    query_ = {q + 1, end};
    end = q;
  }
  if (const auto p = s.find(';', pos); p < end) {
    parameters_ = {p + 1, end};
    end = p;
  }
  path_ = {pos, end};
  if (end < n) resourceSpecifier_ = {end, n};
}

void Url::ParseNetLocation(std::size_t begin, std::size_t end) {
  const std::string& s = text_;
  netLocation_ = {begin, end};
  std::size_t hostBegin = begin;
  // The last "@": an unescaped "@" in a password should not move the host into it.
  for (std::size_t i = end; i > begin; --i) {
    if (s[i - 1] == '@') {
      userInfo_ = {begin, i - 1};
      hostBegin = i;
      break;
    }
  }
  if (userInfo_.present()) {
    const auto colon = s.find(':', begin);
    if (colon < userInfo_.end) {
      user_ = {begin, colon};
      password_ = {colon + 1, userInfo_.end};
    } else {
      user_ = userInfo_;
    }
  }
  if (hostBegin < end && s[hostBegin] == '[') {
    const auto close = s.find(']', hostBegin);
    if (close < end) {
      host_ = {hostBegin, close + 1};
      if (close + 1 < end && s[close + 1] == ':') port_ = {close + 2, end};
      return;
    }
  }
  for (std::size_t i = end; i > hostBegin; --i) {
    if (s[i - 1] == ':') {
      host_ = {hostBegin, i - 1};
      port_ = {i, end};
      return;
    }
  }
  host_ = {hostBegin, end};
}

std::string_view Url::View(Piece p) const {
  if (!p.present()) return {};
  return std::string_view(text_).substr(p.begin, p.size());
}

std::optional<std::string> Url::OptionalPiece(Piece p) const {
  if (!p.present()) return std::nullopt;
  return std::string(View(p));
}

std::string_view Url::PathAndParameters() const {
  if (!decomposable_) return {};
  const std::size_t end = parameters_.present() ? parameters_.end : path_.end;
  return std::string_view(text_).substr(path_.begin, end - path_.begin);
}

std::string Url::Resolve(const Url& base, const Url& reference) {
  if (reference.scheme_.present() || !base.decomposable_) return reference.text_;
  std::string out;
  if (base.scheme_.present()) {
    out.append(base.View(base.scheme_));
    out += ':';
  }
  const std::string_view refPath = reference.PathAndParameters();
  std::string path;
  std::optional<std::string_view> query;
  if (reference.query_.present()) query = reference.View(reference.query_);
  const Url* authority = &base;
  if (reference.netLocation_.present()) {
    authority = &reference;
    path = RemoveDotSegments(refPath);
  } else if (refPath.empty()) {
    path = base.PathAndParameters();
    if (!query && base.query_.present()) query = base.View(base.query_);
  } else if (refPath.front() == '/') {
    path = RemoveDotSegments(refPath);
  } else {
    const std::string_view basePath = base.PathAndParameters();
    std::string merged;
    if (base.netLocation_.present() && basePath.empty()) {
      merged = "/";
    } else if (const auto slash = basePath.rfind('/'); slash != npos) {
      merged = basePath.substr(0, slash + 1);
    }
    merged += refPath;
    path = RemoveDotSegments(merged);
  }
  if (authority->netLocation_.present()) {
    out += "//";
    out.append(authority->View(authority->netLocation_));
  }
  out += path;
  if (query) {
    out += '?';
    out.append(*query);
  }
  if (reference.fragment_.present()) {
    out += '#';
    out.append(reference.View(reference.fragment_));
  }
  return out;
}

Url Url::Absolute() const {
  if (!base_) return *this;
  return Parsed(Resolve(*base_, *this), nullptr);
}

std::string Url::Scheme() const {
  if (scheme_.present()) return std::string(View(scheme_));
  return base_ ? base_->Scheme() : std::string();
}

std::optional<std::string> Url::NetLocation() const {
  if (InheritsNetLocation()) return base_->NetLocation();
  return OptionalPiece(netLocation_);
}

std::optional<std::string> Url::Host() const {
  if (InheritsNetLocation()) return base_->Host();
  std::string_view host = View(host_);
  if (host.empty()) return std::nullopt;
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  return UnescapedOrAsIs(host);
}

int Url::Port() const {
  if (InheritsNetLocation()) return base_->Port();
  const std::string_view port = View(port_);
  if (port.empty() || port.size() > 9) return -1;
  int value = 0;
  for (const char c : port) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::optional<std::string> Url::User() const {
  if (InheritsNetLocation()) return base_->User();
  if (!user_.present()) return std::nullopt;
  return UnescapedOrAsIs(View(user_));
}

std::optional<std::string> Url::Password() const {
  if (InheritsNetLocation()) return base_->Password();
  if (!password_.present()) return std::nullopt;
  return UnescapedOrAsIs(View(password_));
}

std::string Url::Path() const {
  return std::string(View(path_));
}

std::string Url::StrictPath() const {
  std::string_view path = View(path_);
  if (!path.empty() && path.front() == '/') path.remove_prefix(1);
  return std::string(path);
}

std::optional<std::string> Url::ParameterString() const {
  return OptionalPiece(parameters_);
}
std::optional<std::string> Url::Query() const {
  return OptionalPiece(query_);
}
std::optional<std::string> Url::Fragment() const {
  return OptionalPiece(fragment_);
}
std::optional<std::string> Url::ResourceSpecifier() const {
  return OptionalPiece(resourceSpecifier_);
}

std::optional<std::string> Url::FileSystemPath() const {
  const Url absolute = Absolute();
  return PosixPathOf(absolute.View(absolute.path_));
}

std::optional<std::string> Url::LastPathComponent() const {
  auto path = PosixPathOf(View(path_));
  if (!path || *path == "/") return path;
  const auto slash = path->rfind('/');
  if (slash == npos) return path;
  return path->substr(slash + 1);
}

std::optional<std::string> Url::PathExtension() const {
  const auto last = LastPathComponent();
  if (!last) return std::nullopt;
  const auto dot = last->rfind('.');
  if (dot == npos) return std::nullopt;
  return last->substr(dot + 1);
}

bool Url::HasDirectoryPath() const {
  const std::string_view path = View(path_);
  if (path.empty()) return base_ && base_->HasDirectoryPath();
  return path.back() == '/';
}

Url Url::WithPath(std::string_view newPath) const {
  std::string text = text_.substr(0, path_.begin);
  // Without a scheme or net location, a first segment holding ":" would read as a scheme.
  if (!scheme_.present() && !netLocation_.present()) {
    const auto colon = newPath.find(':');
    if (colon != npos && colon < newPath.find('/')) text += "./";
  }
  text.append(newPath);
  text.append(text_, path_.end);
  return Parsed(std::move(text), base_);
}

std::optional<Url> Url::DeletingLastPathComponent() const {
  if (!decomposable_) return std::nullopt;
  if (path_.size() == 0 && base_) return Absolute().DeletingLastPathComponent();
  const std::string_view path = View(path_);
  if (path.empty()) return WithPath(netLocation_.present() || scheme_.present() ? "/../" : "../");
  std::string_view trimmed = path;
  if (trimmed.back() == '/') trimmed.remove_suffix(1);
  if (trimmed.empty()) return WithPath("/../");
  const auto slash = trimmed.rfind('/');
  const std::string_view last = slash == npos ? trimmed : trimmed.substr(slash + 1);
  const std::string_view head = slash == npos ? std::string_view() : trimmed.substr(0, slash + 1);
  if (last == "..") {
    std::string climbed(path);
    if (climbed.back() != '/') climbed += '/';
    return WithPath(climbed + "../");
  }
  if (last == ".") return WithPath(std::string(head) + "../");
  if (head.empty()) return WithPath("./");
  return WithPath(head);
}

std::optional<Url> Url::AppendingPathComponent(std::string_view component, bool isDirectory) const {
  if (!decomposable_) return std::nullopt;
  const auto escaped = PercentEscape(component, {}, ";?/");
  if (!escaped) return std::nullopt;
  std::string path(View(path_));
  if (path.empty() ? (netLocation_.present() || scheme_.present()) : path.back() != '/') path += '/';
  path += *escaped;
  if (isDirectory) path += '/';
  return WithPath(path);
}

UrlComponentRange Url::ComponentRange(UrlComponent component) const {
  UrlComponentRange r;
  auto found = [&r](Piece p, std::size_t outerBegin, std::size_t outerEnd) {
    r.present = true;
    r.offset = p.begin;
    r.length = p.size();
    r.outerOffset = outerBegin;
    r.outerLength = outerEnd - outerBegin;
    return r;
  };
  auto absent = [&r](std::size_t at) {
    r.offset = at;
    r.outerOffset = at;
    return r;
  };
  const std::size_t nowhere = UrlComponentRange::kNowhere;
  const std::size_t netLocationStart = netLocation_.present() ? netLocation_.begin : nowhere;
  switch (component) {
    case UrlComponent::kScheme:
      return scheme_.present() ? found(scheme_, 0, scheme_.end + 1) : absent(0);
    case UrlComponent::kNetLocation:
      if (netLocation_.present()) return found(netLocation_, netLocation_.begin - 2, netLocation_.end);
      return absent(decomposable_ ? path_.begin : nowhere);
    case UrlComponent::kUserInfo:
      return userInfo_.present() ? found(userInfo_, userInfo_.begin, userInfo_.end + 1)
                                 : absent(netLocationStart);
    case UrlComponent::kUser:
      return user_.present() ? found(user_, user_.begin, user_.end) : absent(netLocationStart);
    case UrlComponent::kPassword:
      if (password_.present()) return found(password_, password_.begin - 1, password_.end);
      return absent(user_.present() ? user_.end : nowhere);
    case UrlComponent::kHost:
      return host_.present() ? found(host_, host_.begin, host_.end) : absent(nowhere);
    case UrlComponent::kPort:
      if (port_.present()) return found(port_, port_.begin - 1, port_.end);
      return absent(host_.present() ? host_.end : nowhere);
    case UrlComponent::kPath:
      return decomposable_ ? found(path_, path_.begin, path_.end) : absent(nowhere);
    case UrlComponent::kParameterString:
      if (parameters_.present()) return found(parameters_, parameters_.begin - 1, parameters_.end);
      return absent(decomposable_ ? path_.end : nowhere);
    case UrlComponent::kQuery:
      if (query_.present()) return found(query_, query_.begin - 1, query_.end);
      return absent(!decomposable_ ? nowhere : parameters_.present() ? parameters_.end : path_.end);
    case UrlComponent::kFragment:
      if (fragment_.present()) return found(fragment_, fragment_.begin - 1, fragment_.end);
      return absent(decomposable_ ? text_.size() : nowhere);
    case UrlComponent::kResourceSpecifier:
      if (resourceSpecifier_.present()) {
        return found(resourceSpecifier_, resourceSpecifier_.begin, resourceSpecifier_.end);
      }
      return absent(decomposable_ ? text_.size() : nowhere);
  }
  return r;
}

bool Url::operator==(const Url& other) const {
  if (text_ != other.text_) return false;
  if (base_ == other.base_) return true;
  return base_ && other.base_ && *base_ == *other.base_;
}

std::optional<Url> FileUrlFromPath(std::string_view path, bool isDirectory) {
  if (path.empty()) return std::nullopt;
  std::string absolute;
  if (path.front() != '/') {
    std::string cwd(PATH_MAX, '\0');
    if (getcwd(cwd.data(), cwd.size()) == nullptr) return std::nullopt;
    cwd.resize(cwd.find('\0'));
    absolute = cwd;
    if (absolute.back() != '/') absolute += '/';
  }
  absolute.append(path);
  if (isDirectory) {
    if (absolute.back() != '/') absolute += '/';
  } else {
    while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
  }
  // ";" and "?" are legal URL characters but would start parameters or a query.
  const auto escaped = PercentEscape(absolute, {}, ";?");
  if (!escaped) return std::nullopt;
  return Url::Create("file://" + *escaped);
}

std::optional<std::string> PathFromFileUrl(const Url& url) {
  const Url absolute = url.Absolute();
  if (!AsciiEqualsIgnoringCase(absolute.Scheme(), "file")) return std::nullopt;
  const auto host = absolute.Host();
  if (host && !AsciiEqualsIgnoringCase(*host, "localhost")) return std::nullopt;
  return absolute.FileSystemPath();
}

}  // namespace values
