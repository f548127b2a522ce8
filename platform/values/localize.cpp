#include "platform/values/localize.h"

#include <pugixml.hpp>

#include <fstream>
#include <mutex>
#include <shared_mutex>
#include <sstream>

#include "platform/values/text_encoding.h"
#include "platform/values/utf16.h"

namespace values {

namespace {

std::shared_mutex gTableLock;
std::map<std::string, std::string, std::less<>>& Table() {
  static std::map<std::string, std::string, std::less<>> table;
  return table;
}

// Reads the classic text form: a sequence of  key = value ;  where key and value are
// quoted strings or bare words.
class StringsParser {
 public:
  explicit StringsParser(std::string_view text) : text_(text) {}

  StringsLoadResult Parse(std::map<std::string, std::string>& out) {
    for (;;) {
      if (!SkipSpaceAndComments()) return Fail("unterminated comment");
      if (AtEnd()) return {true, {}};
      std::string key;
      std::size_t token_start = pos_;
      if (!ReadToken(key)) return Fail("expected a key", token_start);
      if (!SkipSpaceAndComments()) return Fail("unterminated comment");
      std::string value = key;  // "key";  alone maps the key to itself
      if (Peek() == '=') {
        ++pos_;
        if (!SkipSpaceAndComments()) return Fail("unterminated comment");
        token_start = pos_;
        if (!ReadToken(value)) return Fail("expected a value", token_start);
        if (!SkipSpaceAndComments()) return Fail("unterminated comment");
      }
      if (Peek() != ';') return Fail("expected ';'");
      ++pos_;
      out[std::move(key)] = std::move(value);
    }
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  // Reports the line of `at` (by default the current place).
  StringsLoadResult Fail(const char* what, std::size_t at = SIZE_MAX) const {
    if (at == SIZE_MAX) at = pos_;
    std::size_t line = 1;
    for (std::size_t i = 0; i < at && i < text_.size(); ++i) line += text_[i] == '\n';
    return {false, std::string(what) + " at line " + std::to_string(line)};
  }

  bool SkipSpaceAndComments() {
    while (!AtEnd()) {
      const char c = text_[pos_];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        ++pos_;
      } else if (text_.substr(pos_, 2) == "//") {
        const std::size_t end = text_.find('\n', pos_);
        pos_ = end == std::string_view::npos ? text_.size() : end + 1;
      } else if (text_.substr(pos_, 2) == "/*") {
        const std::size_t end = text_.find("*/", pos_ + 2);
        if (end == std::string_view::npos) return false;
        pos_ = end + 2;
      } else {
        break;
      }
    }
    return true;
  }

  static bool IsBareChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '/' || c == ':' || c == '.' || c == '-';
  }

  static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  bool ReadToken(std::string& out) {
    out.clear();
    if (Peek() != '"') {
      while (!AtEnd() && IsBareChar(text_[pos_])) out += text_[pos_++];
      return !out.empty();
    }
    ++pos_;
    char16_t pending_high = 0;  // a \U high surrogate waiting for its low half
    while (!AtEnd()) {
      const char c = text_[pos_++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (AtEnd()) return false;
      const char e = text_[pos_++];
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'a':
          out += '\a';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'v':
          out += '\v';
          break;
        case 'U':
        case 'u': {
          char32_t cp = 0;
          int digits = 0;
          while (digits < 4 && !AtEnd() && HexValue(text_[pos_]) >= 0) {
            cp = cp * 16 + static_cast<char32_t>(HexValue(text_[pos_++]));
            ++digits;
          }
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            pending_high = static_cast<char16_t>(cp);
            continue;
          }
          if (cp >= 0xDC00 && cp <= 0xDFFF && pending_high) {
            cp = 0x10000 + ((pending_high - 0xD800) << 10) + (cp - 0xDC00);
          }
          AppendCodePoint(out, cp);
          break;
        }
        default:
          if (e >= '0' && e <= '7') {  // octal byte, read as Latin 1
            int v = e - '0';
            for (int k = 0; k < 2 && !AtEnd() && text_[pos_] >= '0' && text_[pos_] <= '7'; ++k) {
              v = v * 8 + (text_[pos_++] - '0');
            }
            AppendCodePoint(out, static_cast<char32_t>(v & 0xFF));
          } else {
            out += e;  // \" \\ \' and any other character stand for themselves
          }
          break;
      }
      pending_high = 0;
    }
    return false;  // no closing quote
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

StringsLoadResult ParsePlist(std::string_view xml, std::map<std::string, std::string>& out) {
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size());
  if (!parsed) return {false, std::string("malformed XML: ") + parsed.description()};
  const pugi::xml_node dict = doc.child("plist").child("dict");
  if (!dict) return {false, "the property list holds no dictionary"};
  std::map<std::string, std::string> entries;
  for (pugi::xml_node key = dict.child("key"); key; key = key.next_sibling("key")) {
    const pugi::xml_node value = key.next_sibling();
    if (std::string_view(value.name()) != "string") continue;  // only texts belong in a strings table
    entries[key.child_value()] = value.child_value();
  }
  out.insert(entries.begin(), entries.end());
  return {true, {}};
}

// The file's bytes as UTF-8: a UTF-16 byte-order mark selects UTF-16, a UTF-8 one is dropped.
std::optional<std::string> DecodeFile(std::string_view bytes) {
  if (bytes.size() >= 2 &&
      ((bytes[0] == '\xFE' && bytes[1] == '\xFF') || (bytes[0] == '\xFF' && bytes[1] == '\xFE'))) {
    const bool big = bytes[0] == '\xFE';
    return DecodeText(bytes.substr(2),
                      big ? TextEncoding::Utf16BigEndian() : TextEncoding::Utf16LittleEndian());
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return DecodeText(bytes, TextEncoding::Utf8());
}

}  // namespace

std::string Localized(std::string_view key) {
  std::shared_lock lock(gTableLock);
  const auto& table = Table();
  if (auto it = table.find(key); it != table.end()) return it->second;
  return std::string(key);
}

StringsLoadResult ParseStringsTable(std::string_view contents, std::map<std::string, std::string>& out) {
  const std::optional<std::string> text = DecodeFile(contents);
  if (!text) return {false, "the file is neither UTF-8 nor UTF-16 with a byte-order mark"};
  std::size_t first = text->find_first_not_of(" \t\r\n");
  if (first != std::string::npos && text->compare(first, 5, "<?xml") == 0) return ParsePlist(*text, out);
  if (first != std::string::npos && text->compare(first, 6, "<plist") == 0) return ParsePlist(*text, out);
  return StringsParser(*text).Parse(out);
}

StringsLoadResult LoadLocalizedStringsFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {false, "cannot open " + path};
  std::ostringstream contents;
  contents << in.rdbuf();
  std::map<std::string, std::string> entries;
  StringsLoadResult result = ParseStringsTable(contents.str(), entries);
  if (!result) {
    result.message = path + ": " + result.message;
    return result;
  }
  std::unique_lock lock(gTableLock);
  for (auto& [k, v] : entries) Table()[k] = std::move(v);
  return result;
}

void RegisterLocalizedString(std::string key, std::string text) {
  std::unique_lock lock(gTableLock);
  Table()[std::move(key)] = std::move(text);
}

void RegisterLocalizedStrings(std::initializer_list<std::pair<std::string_view, std::string_view>> entries) {
  std::unique_lock lock(gTableLock);
  for (const auto& [k, v] : entries) Table()[std::string(k)] = std::string(v);
}

void ClearLocalizedStrings() {
  std::unique_lock lock(gTableLock);
  Table().clear();
}

}  // namespace values
