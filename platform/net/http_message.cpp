#include "platform/net/http_message.h"

#include <algorithm>
#include <charconv>

#include "platform/net/http_authentication.h"
#include "platform/values/ascii.h"

namespace net {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

int DefaultPort(std::string_view scheme) {
  if (HeaderNameEquals(scheme, "https")) return 443;
  if (HeaderNameEquals(scheme, "http")) return 80;
  return -1;
}

}  // namespace

bool HeaderNameEquals(std::string_view a, std::string_view b) {
  return values::AsciiEqualsIgnoringCase(a, b);
}

void HttpHeaders::Set(std::string_view name, std::string_view value) {
  auto it = std::find_if(fields_.begin(), fields_.end(),
                         [&](const Field& f) { return HeaderNameEquals(f.first, name); });
  if (it == fields_.end()) {
    fields_.emplace_back(std::string(name), std::string(value));
    return;
  }
  it->second = std::string(value);
  fields_.erase(
      std::remove_if(it + 1, fields_.end(), [&](const Field& f) { return HeaderNameEquals(f.first, name); }),
      fields_.end());
}

void HttpHeaders::Add(std::string_view name, std::string_view value) {
  fields_.emplace_back(std::string(name), std::string(value));
}

void HttpHeaders::Remove(std::string_view name) {
  fields_.erase(std::remove_if(fields_.begin(), fields_.end(),
                               [&](const Field& f) { return HeaderNameEquals(f.first, name); }),
                fields_.end());
}

bool HttpHeaders::Has(std::string_view name) const {
  return std::any_of(fields_.begin(), fields_.end(),
                     [&](const Field& f) { return HeaderNameEquals(f.first, name); });
}

std::optional<std::string> HttpHeaders::Get(std::string_view name) const {
  std::optional<std::string> out;
  for (const Field& f : fields_) {
    if (!HeaderNameEquals(f.first, name)) continue;
    if (!out) {
      out = f.second;
    } else if (HeaderNameEquals(name, "Set-Cookie")) {
      break;  // values with commas of their own: joining would make them unreadable
    } else {
      *out += ", " + f.second;
    }
  }
  return out;
}

std::vector<std::string> HttpHeaders::Values(std::string_view name) const {
  std::vector<std::string> out;
  for (const Field& f : fields_)
    if (HeaderNameEquals(f.first, name)) out.push_back(f.second);
  return out;
}

// ---- HttpRequest

HttpRequest::HttpRequest(std::string method, values::Url url)
    : method_(std::move(method)), url_(std::move(url)) {}

std::string HttpRequest::HostHeaderValue() const {
  const values::Url abs = url_.Absolute();
  auto host = abs.Host();
  if (!host) return {};
  std::string out = host->find(':') != std::string::npos ? "[" + *host + "]" : *host;
  const int port = abs.Port();
  if (port >= 0 && port != DefaultPort(abs.Scheme())) out += ":" + std::to_string(port);
  return out;
}

std::string HttpRequest::TargetText(RequestTarget target) const {
  const values::Url abs = url_.Absolute();
  std::string path = abs.Path();
  if (auto params = abs.ParameterString()) path += ";" + *params;
  if (path.empty()) path = "/";
  if (auto query = abs.Query()) path += "?" + *query;
  if (target == RequestTarget::kOrigin) return path;
  // Absolute form never carries user info or the fragment.
  return values::AsciiLower(abs.Scheme()) + "://" + HostHeaderValue() + path;
}

std::string HttpRequest::SerializeHead(RequestTarget target) const {
  std::string out = method_ + " " + TargetText(target) + " HTTP/1.1\r\n";
  if (!headers_.Has("Host")) out += "Host: " + HostHeaderValue() + "\r\n";
  for (const auto& [name, value] : headers_.Fields()) out += name + ": " + value + "\r\n";
  out += "\r\n";
  return out;
}

std::string HttpRequest::HeadForLog() const {
  std::string out = method_ + " " + TargetText(RequestTarget::kOrigin) + " HTTP/1.1\r\n";
  if (!headers_.Has("Host")) out += "Host: " + HostHeaderValue() + "\r\n";
  for (const auto& [name, value] : headers_.Fields()) {
    const bool secret = HeaderNameEquals(name, "Authorization") ||
                        HeaderNameEquals(name, "Proxy-Authorization") || HeaderNameEquals(name, "Cookie");
    out += name + ": " + (secret ? std::string("<hidden>") : value) + "\r\n";
  }
  out += "\r\n";
  return out;
}

void HttpRequest::NoteAppliedAuthentication(std::shared_ptr<HttpAuthentication> auth) {
  if (std::find(applied_.begin(), applied_.end(), auth) == applied_.end())
    applied_.push_back(std::move(auth));
}

// ---- HttpHeadParser

std::size_t HttpHeadParser::Feed(std::string_view data) {
  if (state_ != State::kNeedMore) return 0;
  std::size_t taken = 0;
  while (taken < data.size() && state_ == State::kNeedMore) {
    // Look for the blank line across the old and the new bytes without copying the body.
    const std::size_t old_size = buffer_.size();
    const std::size_t scan_from = old_size >= 3 ? old_size - 3 : 0;
    const std::size_t chunk = std::min(data.size() - taken, kMaxHeadSize + 4 - old_size);
    buffer_.append(data.substr(taken, chunk));
    std::size_t end = std::string::npos;
    for (std::size_t i = scan_from; i < buffer_.size(); ++i) {
      if (buffer_[i] != '\n') continue;
      if (i + 1 < buffer_.size() && buffer_[i + 1] == '\n') {
        end = i + 2;
        break;
      }
      if (i + 2 < buffer_.size() && buffer_[i + 1] == '\r' && buffer_[i + 2] == '\n') {
        end = i + 3;
        break;
      }
    }
    if (end == std::string::npos) {
      taken += chunk;
      if (buffer_.size() > kMaxHeadSize) state_ = State::kError;
      return taken;
    }
    const std::size_t used_here = end - old_size;
    taken += used_here;
    buffer_.resize(end);
    // Leading blank lines before a status line are tolerated (some servers send them
    // after a body).
    std::string_view text = buffer_;
    while (!text.empty() && (text.front() == '\r' || text.front() == '\n')) text.remove_prefix(1);
    if (text.empty()) {
      buffer_.clear();
      continue;
    }
    if (!ParseHead(text)) {
      state_ = State::kError;
      return taken;
    }
    const int code = head_.StatusCode();
    if (code >= 100 && code < 200 && code != 101) {
      // Interim response: the real one follows.
      head_ = HttpResponseHead();
      buffer_.clear();
      continue;
    }
    state_ = State::kDone;
  }
  return taken;
}

bool HttpHeadParser::ParseHead(std::string_view text) {
  std::size_t line_end = text.find('\n');
  std::string_view status = Trim(text.substr(0, line_end));
  // "HTTP/1.1 200 OK"; the reason may be missing.
  if (status.size() < 12 || status.substr(0, 5) != "HTTP/" || status[6] != '.') return false;
  const int major = status[5] - '0';
  const int minor = status[7] - '0';
  if (major != 1 || minor < 0 || minor > 9 || status[8] != ' ') return false;
  int code = 0;
  auto res = std::from_chars(status.data() + 9, status.data() + 12, code);
  if (res.ec != std::errc() || res.ptr != status.data() + 12 || code < 100) return false;
  if (status.size() > 12 && status[12] != ' ') return false;
  head_.SetStatus(major * 10 + minor, code, std::string(status));

  HttpHeaders& headers = head_.MutableHeaders();
  std::size_t pos = line_end + 1;
  while (pos < text.size()) {
    std::size_t next = text.find('\n', pos);
    if (next == std::string_view::npos) next = text.size();
    std::string_view line = text.substr(pos, next - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = next + 1;
    if (line.empty()) break;
    if ((line.front() == ' ' || line.front() == '\t') && !headers.empty()) {
      // Obsolete line folding: the line continues the previous field's value.
      headers.AppendToLastValue(" " + std::string(Trim(line)));
      continue;
    }
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    headers.Add(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
  }
  head_.SetSerialized(std::string(text));
  return true;
}

}  // namespace net
