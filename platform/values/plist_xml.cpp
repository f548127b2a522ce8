#include "platform/values/plist_xml.h"

#include "platform/values/utf16.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/values/ascii.h"
#include "platform/values/base64.h"
#include "platform/values/plist_text.h"
#include "platform/values/text_encoding.h"

namespace values {

namespace {

constexpr std::string_view kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";
constexpr std::string_view kFooter = "</plist>\n";

// ---- Calendar arithmetic (proleptic Gregorian, UTC) ----

// Days since 1970-01-01 of a civil date.
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

bool IsLeap(std::int64_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(std::int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Dates are written with whole seconds and four-digit years.
constexpr double kFirstWritableDate = DaysFromCivil(0, 1, 1) * 86400.0;  // Unix time
constexpr double kLastWritableDate = DaysFromCivil(10000, 1, 1) * 86400.0;

// ---- Writer ----

// A character XML 1.0 cannot carry, not even as a character reference: the C0 controls
// other than tab, line feed and carriage return, and U+FFFE and U+FFFF. A reader refuses
// the whole document for one of them, so one is never written.
std::optional<char32_t> FirstCharacterOutsideXml(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return c;
    // U+FFFE and U+FFFF are EF BF BE and EF BF BF in UTF-8.
    if (c == 0xEF && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
        (static_cast<unsigned char>(s[i + 2]) & 0xFE) == 0xBE) {
      return static_cast<char32_t>(0xFFFE + (static_cast<unsigned char>(s[i + 2]) & 1));
    }
  }
  return std::nullopt;
}

std::string CodePointName(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

// Printable ASCII, tab, line feed and carriage return: what nearly every string is, and
// writable without a closer look.
bool PlainAsciiText(std::string_view s) {
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80 || (c < 0x20 && c != '\t' && c != '\n' && c != '\r')) return false;
  }
  return true;
}

// Why a string cannot be written as XML text; empty when it can.
std::string UnwritableTextReason(std::string_view s) {
  if (PlainAsciiText(s)) return {};
  if (!plist_text::IsValidUtf8(s)) return "is not valid UTF-8";
  if (auto c = FirstCharacterOutsideXml(s)) return "holds " + CodePointName(*c) + ", which XML cannot carry";
  return {};
}

// A key path for messages: keys joined by "/", array items by their index.
std::string JoinPath(const std::vector<std::string>& path) {
  std::string joined;
  for (const auto& part : path) {
    if (!joined.empty()) joined += '/';
    // A key that cannot be written cannot be shown as it is either.
    joined += UnwritableTextReason(part).empty() ? part : "?";
  }
  return joined;
}

// What writing a text byte takes: nothing, an escape, or a full check of the text (a byte
// that is not printable ASCII).
enum class TextKind : std::uint8_t { kPlain, kEscape, kCheck };

constexpr std::array<TextKind, 256> kTextKinds = [] {
  std::array<TextKind, 256> kinds{};
  for (int c = 0; c < 256; ++c) {
    if (c >= 0x80 || (c < 0x20 && c != '\t' && c != '\n' && c != '\r')) {
      kinds[static_cast<std::size_t>(c)] = TextKind::kCheck;
    } else if (c == '&' || c == '<' || c == '>') {
      kinds[static_cast<std::size_t>(c)] = TextKind::kEscape;
    }
  }
  return kinds;
}();

class XmlWriter {
 public:
  std::string out;
  std::string error;

  bool Write(const Value& v, int indent) {
    if (indent + 1 > kMaxPlistDepth)
      return Fail("nesting deeper than " + std::to_string(kMaxPlistDepth) + " levels");
    switch (v.type()) {
      case Type::kNull:
        return Fail("null cannot be stored in a property list");
      case Type::kBool:
        Indent(indent);
        out += *v.AsBool() ? "<true/>\n" : "<false/>\n";
        return true;
      case Type::kNumber:
        return WriteNumber(*v.AsNumber(), indent);
      case Type::kString:
        return WriteText("string", *v.AsString(), indent);
      case Type::kDate:
        return WriteDate(*v.AsDate(), indent);
      case Type::kData:
        WriteData(v.AsData()->bytes, indent);
        return true;
      case Type::kArray:
        return WriteArray(*v.AsArray(), indent);
      case Type::kSet:
        return WriteArray(v.AsSet()->members, indent);
      case Type::kDictionary:
        return WriteDictionary(*v.AsDictionary(), indent);
    }
    return Fail("unknown value type");
  }

 private:
  // The keys (and array indices) from the root to the value being written; made into
  // text only for an error, so that writing allocates nothing per key.
  struct PathPart {
    const std::string* key = nullptr;  // else an array index
    std::size_t index = 0;
  };
  std::vector<PathPart> path_;

  bool Fail(std::string message) {
    if (error.empty()) {
      error = std::move(message);
      if (!path_.empty()) {
        std::vector<std::string> parts;
        for (const PathPart& part : path_) parts.push_back(part.key ? *part.key : std::to_string(part.index));
        error += " (at \"" + JoinPath(parts) + "\")";
      }
    }
    return false;
  }

  void Indent(int indent) { out.append(static_cast<std::size_t>(indent), '\t'); }

  bool WriteText(std::string_view tag, const std::string& s, int indent) {
    // Nearly every text is printable ASCII with nothing to escape: one pass over it tells,
    // and only other texts get the full check.
    TextKind kind = TextKind::kPlain;
    for (const char c : s) {
      const TextKind k = kTextKinds[static_cast<unsigned char>(c)];
      if (k > kind) kind = k;
      if (kind == TextKind::kCheck) break;
    }
    if (kind == TextKind::kCheck) {
      if (std::string reason = UnwritableTextReason(s); !reason.empty())
        return Fail((tag == "key" ? "dictionary key " : "string ") + reason);
    }
    Indent(indent);
    out += '<';
    out += tag;
    out += '>';
    if (kind == TextKind::kPlain) {
      out += s;
      out += "</";
      out += tag;
      out += ">\n";
      return true;
    }
    // Runs without a character to escape go out whole.
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      std::string_view escaped;
      switch (s[i]) {
        case '&':
          escaped = "&amp;";
          break;
        case '<':
          escaped = "&lt;";
          break;
        case '>':
          escaped = "&gt;";
          break;
        default:
          continue;
      }
      out.append(s, run, i - run);
      out += escaped;
      run = i + 1;
    }
    out.append(s, run, std::string::npos);
    out += "</";
    out += tag;
    out += ">\n";
    return true;
  }

  bool WriteNumber(const Number& n, int indent) {
    char buf[64];
    Indent(indent);
    if (n.IsReal()) {
      // Seventeen significant digits, as the platform prints reals: always exact on
      // reading back, though not the shortest text (0.1 is "0.10000000000000001").
      // to_chars rather than printf: the application may run under a locale whose
      // decimal separator is a comma.
      const double d = n.d;
      out += "<real>";
      if (std::isnan(d)) {
        out += "nan";
      } else if (std::isinf(d)) {
        out += d > 0 ? "+infinity" : "-infinity";
      } else if (d == 0) {
        out += "0.0";
      } else {
        auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 17);
        out.append(buf, r.ptr);
      }
      out += "</real>\n";
      return true;
    }
    out += "<integer>";
    auto r = n.kind == Number::Kind::kUInt64 ? std::to_chars(buf, buf + sizeof buf, n.u)
                                             : std::to_chars(buf, buf + sizeof buf, n.i);
    out.append(buf, r.ptr);
    out += "</integer>\n";
    return true;
  }

  bool WriteDate(const Date& date, int indent) {
    const double s = std::floor(date.seconds);
    if (!std::isfinite(s) || s + kSecondsFrom1970To2001 < kFirstWritableDate ||
        s + kSecondsFrom1970To2001 >= kLastWritableDate) {
      return Fail("date out of the years 0000 to 9999");
    }
    const auto unix = static_cast<std::int64_t>(s) + static_cast<std::int64_t>(kSecondsFrom1970To2001);
    const std::int64_t days = unix >= 0 ? unix / 86400 : (unix - 86399) / 86400;
    const std::int64_t rest = unix - days * 86400;
    std::int64_t year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    char buf[64];
    std::snprintf(buf, sizeof buf, "<date>%04d-%02u-%02uT%02d:%02d:%02dZ</date>\n", static_cast<int>(year),
                  month, day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    Indent(indent);
    out += buf;
    return true;
  }

  // The platform's layout: "<data>" alone on its line, then base64 in lines indented like
  // the tag, each at most 76 columns counting a tab as 8 columns (so 68 characters at one
  // level, 60 at two, ...), with at most 8 tabs of indentation; then "</data>" at the
  // tag's own indentation. Empty data writes no line between the tags.
  void WriteData(const Bytes& bytes, int indent) {
    Indent(indent);
    out += "<data>\n";
    const int lineIndent = std::min(indent, 8);
    const std::size_t lineLength = static_cast<std::size_t>(76 - 8 * lineIndent);  // a multiple of 4
    const std::string text = EncodeBase64(bytes);
    for (std::size_t at = 0; at < text.size(); at += lineLength) {
      Indent(lineIndent);
      out.append(text, at, lineLength);
      out += '\n';
    }
    Indent(indent);
    out += "</data>\n";
  }

  bool WriteArray(const Array& items, int indent) {
    Indent(indent);
    if (items.empty()) {
      out += "<array/>\n";
      return true;
    }
    out += "<array>\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
      path_.push_back({nullptr, i});
      if (!Write(items[i], indent + 1)) return false;
      path_.pop_back();
    }
    Indent(indent);
    out += "</array>\n";
    return true;
  }

  bool WriteDictionary(const Dictionary& dict, int indent) {
    Indent(indent);
    if (dict.empty()) {
      out += "<dict/>\n";
      return true;
    }
    std::vector<const Dictionary::value_type*> entries;
    entries.reserve(dict.size());
    // The map's byte order is UTF-16 order too unless a key holds a character from U+E000
    // up (lead bytes 0xEE and above), where UTF-16's surrogates sort differently.
    bool reorder = false;
    for (const auto& entry : dict) {
      if (std::string reason = UnwritableTextReason(entry.first); !reason.empty()) {
        path_.push_back({&entry.first});
        return Fail("dictionary key " + reason);
      }
      for (const char c : entry.first) reorder = reorder || static_cast<unsigned char>(c) >= 0xEE;
      entries.push_back(&entry);
    }
    if (reorder) {
      std::sort(entries.begin(), entries.end(),
                [](auto* a, auto* b) { return plist_text::Utf16Less(a->first, b->first); });
    }
    out += "<dict>\n";
    for (const auto* entry : entries) {
      path_.push_back({&entry->first});
      WriteText("key", entry->first, indent + 1);
      if (!Write(entry->second, indent + 1)) return false;
      path_.pop_back();
    }
    Indent(indent);
    out += "</dict>\n";
    return true;
  }
};

// ---- Reader ----

bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsBlank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), IsXmlSpace);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsXmlSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsXmlSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Character data with its references resolved. Only the predefined entities and
// character references exist here: a DOCTYPE may not declare others.
}  // namespace

bool DecodeXmlReferences(std::string_view raw, std::string& out, std::string& error) {
  std::size_t i = 0;
  while (i < raw.size()) {
    const std::size_t amp = raw.find('&', i);
    out.append(raw.substr(i, amp == std::string_view::npos ? std::string_view::npos : amp - i));
    if (amp == std::string_view::npos) break;
    const std::size_t semi = raw.find(';', amp);
    if (semi == std::string_view::npos || semi - amp > 12) {
      error = "'&' without a complete reference";
      return false;
    }
    const std::string_view name = raw.substr(amp + 1, semi - amp - 1);
    i = semi + 1;
    if (name == "amp") {
      out += '&';
    } else if (name == "lt") {
      out += '<';
    } else if (name == "gt") {
      out += '>';
    } else if (name == "quot") {
      out += '"';
    } else if (name == "apos") {
      out += '\'';
    } else if (name.size() >= 2 && name[0] == '#') {
      const bool hex = name[1] == 'x';
      const std::string_view digits = name.substr(hex ? 2 : 1);
      std::uint32_t c = 0;
      auto r = std::from_chars(digits.data(), digits.data() + digits.size(), c, hex ? 16 : 10);
      if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size() || c == 0 ||
          c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        error = "bad character reference &" + std::string(name) + ";";
        return false;
      }
      AppendCodePoint(out, static_cast<char32_t>(c));
    } else {
      error = "unknown entity &" + std::string(name) + ";";
      return false;
    }
  }
  return true;
}

namespace {

std::optional<Value> ParseInteger(std::string_view text, std::string& error) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  std::uint64_t magnitude = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (text.empty() || r.ptr != text.data() + text.size()) return error = "bad <integer>", std::nullopt;
  if (r.ec == std::errc::result_out_of_range) return error = "<integer> out of range", std::nullopt;
  if (!negative) return Value(Number::UInt64(magnitude));
  constexpr auto kMinMagnitude = std::uint64_t{1} << 63;
  if (magnitude > kMinMagnitude) return error = "<integer> out of range", std::nullopt;
  return Value(Number::Int64(static_cast<std::int64_t>(0 - magnitude)));
}

std::optional<Value> ParseReal(std::string_view text, std::string& error) {
  const std::string lower = AsciiLower(text);
  constexpr double kInf = std::numeric_limits<double>::infinity();
  if (lower == "+infinity" || lower == "+inf") return Value(Number::Float64(kInf));
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  double d = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), d);
  if (text.empty() || r.ptr != text.data() + text.size()) return error = "bad <real>", std::nullopt;
  if (r.ec == std::errc::result_out_of_range) return error = "<real> out of range", std::nullopt;
  return Value(Number::Float64(d));
}

// "YYYY-MM-DDTHH:MM:SSZ", always UTC.
std::optional<Value> ParseDate(std::string_view text, std::string& error) {
  unsigned fields[6] = {};
  constexpr int kWidths[6] = {4, 2, 2, 2, 2, 2};
  constexpr char kAfter[6] = {'-', '-', 'T', ':', ':', 'Z'};
  std::size_t at = 0;
  for (int f = 0; f < 6; ++f) {
    if (at + kWidths[f] + 1 > text.size()) return error = "bad <date>", std::nullopt;
    auto r = std::from_chars(text.data() + at, text.data() + at + kWidths[f], fields[f]);
    if (r.ec != std::errc() || r.ptr != text.data() + at + kWidths[f] || text[at + kWidths[f]] != kAfter[f]) {
      return error = "bad <date>", std::nullopt;
    }
    at += kWidths[f] + 1;
  }
  if (at != text.size()) return error = "bad <date>", std::nullopt;
  const auto [year, month, day, hour, minute, second] = fields;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
      second > 59) {
    return error = "bad <date>", std::nullopt;
  }
  const std::int64_t unix = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return Value(Date{static_cast<double>(unix) - kSecondsFrom1970To2001});
}

}  // namespace

std::string XmlPlistText(std::string text) {
  if (plist_text::IsValidUtf8(text)) return text;
  return DecodeUtf8OrLatin1(text);
}

std::optional<Value> ParseXmlScalar(std::string_view tag, std::string text, std::string& error) {
  if (tag == "true" || tag == "false") {
    if (!IsBlank(text)) return error = "text inside <" + std::string(tag) + ">", std::nullopt;
    return Value(tag == "true");
  }
  // A key outside a dictionary reads as a string, as the platform allows. Bytes that are
  // not UTF-8 are read as Latin-1, so that what is read can be written again.
  if (tag == "string" || tag == "key") return Value(XmlPlistText(std::move(text)));
  if (tag == "integer") return ParseInteger(Trim(text), error);
  if (tag == "real") return ParseReal(Trim(text), error);
  if (tag == "date") return ParseDate(Trim(text), error);
  if (tag == "data") {
    auto bytes = DecodeBase64(text);
    if (!bytes) return error = "bad base64 in <data>", std::nullopt;
    return Value(Data{std::move(*bytes)});
  }
  return error = "unknown tag <" + std::string(tag) + ">", std::nullopt;
}

namespace {

class XmlReader {
 public:
  explicit XmlReader(std::string_view source) : source_(source) {}

  std::string error;

  std::optional<Value> Parse(const pugi::xml_node& node, int depth) {
    if (depth > kMaxPlistDepth)
      return Fail(node, "nesting deeper than " + std::to_string(kMaxPlistDepth) + " levels");
    const std::string_view tag = node.name();
    if (tag == "dict") return ParseDictionary(node, depth);
    if (tag == "array") return ParseArray(node, depth);
    std::string text;
    if (!CollectText(node, text)) return std::nullopt;
    std::string message;
    auto value = ParseXmlScalar(tag, std::move(text), message);
    if (!value) return Fail(node, message);
    return value;
  }

  std::nullopt_t Fail(const pugi::xml_node& node, const std::string& message) {
    if (error.empty()) {
      error = message;
      const std::ptrdiff_t offset = node.offset_debug();
      if (offset >= 0 && static_cast<std::size_t>(offset) <= source_.size()) {
        const auto line = 1 + std::count(source_.begin(), source_.begin() + offset, '\n');
        error += " (line " + std::to_string(line) + ")";
      }
    }
    return std::nullopt;
  }

 private:
  std::string_view source_;

  // The text of a scalar element: its character data and CDATA sections, in order.
  bool CollectText(const pugi::xml_node& node, std::string& out) {
    for (const auto& child : node.children()) {
      switch (child.type()) {
        case pugi::node_pcdata: {
          std::string message;
          if (!DecodeXmlReferences(child.value(), out, message)) return Fail(node, message), false;
          break;
        }
        case pugi::node_cdata:
          out += child.value();
          break;
        case pugi::node_element:
          return Fail(child, "unexpected <" + std::string(child.name()) + "> inside <" + node.name() + ">"),
                 false;
        default:
          break;
      }
    }
    return true;
  }

  // The element children of a container; text between them must be white space.
  bool ContainerChildren(const pugi::xml_node& node, std::vector<pugi::xml_node>& out) {
    for (const auto& child : node.children()) {
      switch (child.type()) {
        case pugi::node_element:
          out.push_back(child);
          break;
        case pugi::node_pcdata:
          if (!IsBlank(child.value()))
            return Fail(node, "text inside <" + std::string(node.name()) + ">"), false;
          break;
        case pugi::node_cdata:
          return Fail(node, "CDATA inside <" + std::string(node.name()) + ">"), false;
        default:
          break;
      }
    }
    return true;
  }

  std::optional<Value> ParseArray(const pugi::xml_node& node, int depth) {
    std::vector<pugi::xml_node> children;
    if (!ContainerChildren(node, children)) return std::nullopt;
    Array items;
    items.reserve(children.size());
    for (const auto& child : children) {
      auto item = Parse(child, depth + 1);
      if (!item) return std::nullopt;
      items.push_back(std::move(*item));
    }
    return Value(std::move(items));
  }

  std::optional<Value> ParseDictionary(const pugi::xml_node& node, int depth) {
    std::vector<pugi::xml_node> children;
    if (!ContainerChildren(node, children)) return std::nullopt;
    Dictionary dict;
    for (std::size_t i = 0; i < children.size(); i += 2) {
      if (std::string_view(children[i].name()) != "key") {
        return Fail(children[i], "<" + std::string(children[i].name()) + "> without a <key> in <dict>");
      }
      std::string key;
      if (!CollectText(children[i], key)) return std::nullopt;
      if (i + 1 == children.size()) return Fail(children[i], "key \"" + key + "\" has no value");
      if (std::string_view(children[i + 1].name()) == "key") {
        return Fail(children[i + 1], "key \"" + key + "\" has no value");
      }
      auto value = Parse(children[i + 1], depth + 1);
      if (!value) return std::nullopt;
      dict.insert_or_assign(XmlPlistText(std::move(key)), std::move(*value));
    }
    return Value(std::move(dict));
  }
};

// Whether the writer takes `v` itself (not looking inside containers).
bool ScalarWritable(const Value& v) {
  switch (v.type()) {
    case Type::kNull:
      return false;
    case Type::kString:
      return UnwritableTextReason(*v.AsString()).empty();
    case Type::kDate: {
      const double seconds = std::floor(v.AsDate()->seconds) + kSecondsFrom1970To2001;
      return std::isfinite(seconds) && seconds >= kFirstWritableDate && seconds < kLastWritableDate;
    }
    default:
      return true;
  }
}

// Removes what cannot be written below `v` (at nesting `depth`, counted as the writer
// does); records each removal's path.
void RemoveUnwritable(Value& v, int depth, std::vector<std::string>& path,
                      std::vector<std::string>& removed) {
  auto keep = [&](Value& item) {
    if (depth + 1 > kMaxPlistDepth || !ScalarWritable(item)) {
      removed.push_back(JoinPath(path));
      return false;
    }
    RemoveUnwritable(item, depth + 1, path, removed);
    return true;
  };
  auto filterItems = [&](Array& items) {
    Array kept;
    kept.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
      path.push_back(std::to_string(i));
      if (keep(items[i])) kept.push_back(std::move(items[i]));
      path.pop_back();
    }
    items = std::move(kept);
  };
  if (Array* items = v.AsArray()) {
    filterItems(*items);
  } else if (Set* set = v.AsSet()) {
    filterItems(set->members);
  } else if (Dictionary* dict = v.AsDictionary()) {
    for (auto it = dict->begin(); it != dict->end();) {
      path.push_back(it->first);
      bool ok = UnwritableTextReason(it->first).empty();
      if (!ok) {
        removed.push_back(JoinPath(path));
      } else {
        ok = keep(it->second);
      }
      it = ok ? std::next(it) : dict->erase(it);
      path.pop_back();
    }
  }
}

}  // namespace

std::vector<std::string> RemoveValuesXmlCannotHold(Value& value) {
  std::vector<std::string> removed;
  if (!ScalarWritable(value)) return {""};
  std::vector<std::string> path;
  RemoveUnwritable(value, 1, path, removed);
  return removed;
}

PlistResult<std::string> WriteXmlPropertyList(const Value& value) {
  XmlWriter writer;
  writer.out = kHeader;
  if (!writer.Write(value, 0)) return PlistResult<std::string>::Failure(std::move(writer.error));
  writer.out += kFooter;
  return std::move(writer.out);
}

std::string_view XmlPropertyListHeader() {
  return kHeader;
}

std::string_view XmlPropertyListFooter() {
  return kFooter;
}

bool AppendXmlPropertyListValue(const Value& value, int indent, std::string& out, std::string& error) {
  XmlWriter writer;
  writer.out = std::move(out);
  const bool ok = writer.Write(value, indent);
  out = std::move(writer.out);
  if (!ok) error = std::move(writer.error);
  return ok;
}

PlistResult<Value> ReadXmlPropertyList(std::string_view text) {
  using Result = PlistResult<Value>;
  pugi::xml_document doc;
  // No escapes: pugixml would leave unknown entities in place, we refuse them instead.
  // No end-of-line normalisation: a "\r" written inside a string must read back as "\r".
  // Fragment mode keeps text after the root element, which we must refuse.
  const unsigned options =
      pugi::parse_cdata | pugi::parse_ws_pcdata | pugi::parse_doctype | pugi::parse_fragment;
  const pugi::xml_parse_result parsed =
      doc.load_buffer(text.data(), text.size(), options, pugi::encoding_auto);
  if (!parsed) {
    const std::size_t offset =
        std::min(static_cast<std::size_t>(std::max<std::ptrdiff_t>(parsed.offset, 0)), text.size());
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n');
    return Result::Failure("malformed XML: " + std::string(parsed.description()) + " (line " +
                           std::to_string(line) + ")");
  }

  XmlReader reader(text);
  pugi::xml_node root;
  for (const auto& child : doc.children()) {
    switch (child.type()) {
      case pugi::node_element:
        if (root) return Result::Failure("more than one root element");
        root = child;
        break;
      case pugi::node_pcdata:
        if (!IsBlank(child.value())) return Result::Failure("text outside the root element");
        break;
      case pugi::node_cdata:
        return Result::Failure("text outside the root element");
      case pugi::node_doctype:
        // An internal subset could declare entities; property lists never carry one.
        if (std::strchr(child.value(), '[')) return Result::Failure("DOCTYPE with an internal subset");
        break;
      default:
        break;
    }
  }
  if (!root) return Result::Failure("no property list in the document");

  pugi::xml_node top = root;
  if (std::string_view(root.name()) == "plist") {
    // A bare value without <plist> is accepted too.
    top = pugi::xml_node();
    for (const auto& child : root.children()) {
      if (child.type() == pugi::node_element) {
        if (top) return Result::Failure("more than one value in <plist>");
        top = child;
      } else if ((child.type() == pugi::node_pcdata && !IsBlank(child.value())) ||
                 child.type() == pugi::node_cdata) {
        return Result::Failure("text inside <plist>");
      }
    }
    if (!top) return Result::Failure("<plist> holds no value");
  }
  auto value = reader.Parse(top, 1);
  if (!value) return Result::Failure(std::move(reader.error));
  return std::move(*value);
}

}  // namespace values
