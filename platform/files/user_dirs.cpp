#include "platform/files/user_dirs.h"

#include <optional>

namespace files {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::optional<std::string> Unquote(std::string_view raw) {
  if (raw.empty() || raw.front() != '"') {
    if (raw.find_first_of("\"'\\ ") != std::string_view::npos) return std::nullopt;
    return std::string(raw);
  }
  std::string out;
  for (std::size_t i = 1; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '\\' && i + 1 < raw.size()) {
      out += raw[++i];
    } else if (c == '"') {
      // Only white space may follow the closing quote.
      if (!Trim(raw.substr(i + 1)).empty()) return std::nullopt;
      return out;
    } else {
      out += c;
    }
  }
  return std::nullopt;  // no closing quote
}

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::map<std::string, std::string, std::less<>> ParseUserDirs(std::string_view text, std::string_view home) {
  std::map<std::string, std::string, std::less<>> dirs;
  while (!text.empty()) {
    const auto newline = text.find('\n');
    std::string_view line = Trim(text.substr(0, newline));
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    if (line.empty() || line.front() == '#') continue;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, eq));
    if (key.empty() || key.find_first_of(" \t") != std::string_view::npos) continue;
    const auto value = Unquote(Trim(line.substr(eq + 1)));
    if (!value) continue;
    std::string path;
    if (*value == "$HOME" || value->rfind("$HOME/", 0) == 0) {
      path = std::string(home) + value->substr(5);
    } else if (value->rfind("${HOME}", 0) == 0 && (value->size() == 7 || (*value)[7] == '/')) {
      path = std::string(home) + value->substr(7);
    } else if (!value->empty() && value->front() == '/') {
      path = *value;
    } else {
      continue;
    }
    dirs[std::string(key)] = StripTrailingSlashes(std::move(path));
  }
  return dirs;
}

}  // namespace files
