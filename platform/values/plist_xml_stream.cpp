#include "platform/values/plist_xml_stream.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/values/base64.h"
#include "platform/values/plist_xml.h"

namespace values {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// What the reader asks of a character, looked up rather than compared: the bytes between
// and inside tags are most of a file.
enum CharClass : std::uint8_t { kSpace = 1, kNameBreak = 2 };

constexpr std::array<std::uint8_t, 256> kCharClasses = [] {
  std::array<std::uint8_t, 256> table{};
  for (const unsigned char c : {' ', '\t', '\n', '\r'}) table[c] = kSpace | kNameBreak;
  for (const unsigned char c : {'/', '<', '>', '&', '=', '"', '\''}) table[c] = kNameBreak;
  return table;
}();

bool IsXmlSpace(char c) {
  return kCharClasses[static_cast<unsigned char>(c)] & kSpace;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsXmlSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsXmlSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Characters that cannot be part of an element's name.
bool IsNameBreak(char c) {
  return kCharClasses[static_cast<unsigned char>(c)] & kNameBreak;
}

// Line ends in `s`, eight bytes at a time: only an error needs them, but the text they are
// counted in is dropped as the read goes on.
std::size_t CountLineEnds(std::string_view s) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  constexpr std::uint64_t kNewlines = 0x0A0A0A0A0A0A0A0AULL;
  std::size_t count = 0, i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, s.data() + i, 8);
    word ^= kNewlines;  // a zero byte where a '\n' was
    // The top bit of each byte that is zero, then those bits summed by one multiplication.
    const std::uint64_t zero = ~(((word & kLow7) + kLow7) | word | kLow7);
    count += static_cast<std::size_t>(((zero >> 7) * 0x0101010101010101ULL) >> 56);
  }
  for (; i < s.size(); ++i) count += s[i] == '\n';
  return count;
}

// Where the markup that starts at `from` ends: the first '>' outside quotes; npos when the
// text does not hold it yet. `bracket` is set when a '[' comes first (outside quotes).
std::size_t MarkupEnd(std::string_view text, std::size_t from, bool* bracket = nullptr) {
  char quote = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[' && bracket) {
      *bracket = true;
      return i;
    } else if (c == '>') {
      return i;
    }
  }
  return npos;
}

// An <integer> written as the writer writes it: optional '-', then at most 18 digits (so
// no overflow). Anything else goes through the full parser, which also words the errors.
std::optional<Value> PlainInteger(std::string_view text) {
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t magnitude = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
  }
  return negative ? Value(Number::Int64(-magnitude))
                  : Value(Number::UInt64(static_cast<std::uint64_t>(magnitude)));
}

// A <real> that starts as a plain number reads as std::from_chars reads it, which is what
// the full parser does once it has set aside "+inf" and a leading '+'.
std::optional<Value> PlainReal(std::string_view text) {
  if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '-' || text[0] == '.'))
    return std::nullopt;
  double d = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), d);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
  return Value(Number::Float64(d));
}

}  // namespace

XmlPlistStreamReader::Tag XmlPlistStreamReader::TagNamed(std::string_view name) {
  switch (name.size()) {
    case 3:
      if (name == "key") return Tag::kKey;
      break;
    case 4:
      if (name == "dict") return Tag::kDict;
      if (name == "real") return Tag::kReal;
      if (name == "date") return Tag::kDate;
      if (name == "data") return Tag::kData;
      if (name == "true") return Tag::kTrue;
      break;
    case 5:
      if (name == "plist") return Tag::kPlist;
      if (name == "array") return Tag::kArray;
      if (name == "false") return Tag::kFalse;
      break;
    case 6:
      if (name == "string") return Tag::kString;
      break;
    case 7:
      if (name == "integer") return Tag::kInteger;
      break;
    default:
      break;
  }
  return Tag::kNone;
}

std::string_view XmlPlistStreamReader::NameOf(Tag tag) {
  switch (tag) {
    case Tag::kPlist:
      return "plist";
    case Tag::kDict:
      return "dict";
    case Tag::kArray:
      return "array";
    case Tag::kKey:
      return "key";
    case Tag::kString:
      return "string";
    case Tag::kInteger:
      return "integer";
    case Tag::kReal:
      return "real";
    case Tag::kDate:
      return "date";
    case Tag::kData:
      return "data";
    case Tag::kTrue:
      return "true";
    case Tag::kFalse:
      return "false";
    case Tag::kNone:
      break;
  }
  return {};
}

XmlPlistStreamReader::XmlPlistStreamReader(ItemHandler onItem) : onItem_(std::move(onItem)) {
  frames_.reserve(16);
}

XmlPlistStreamReader::~XmlPlistStreamReader() = default;

bool XmlPlistStreamReader::Fail(std::string message) {
  if (!failed_) {
    failed_ = true;
    const std::size_t line = line_ + CountLineEnds(reading_.substr(0, std::min(at_, reading_.size())));
    error_ = std::move(message) + " (line " + std::to_string(line) + ")";
  }
  return false;
}

bool XmlPlistStreamReader::Feed(std::string_view chunk) {
  if (failed_) return false;
  if (buffer_.empty()) {
    // Read straight from the chunk; only a construct it cuts is copied, to be completed.
    const std::size_t used = Consume(chunk, false);
    if (used == npos) return false;
    line_ += CountLineEnds(chunk.substr(0, used));
    buffer_.assign(chunk.substr(used));
    reading_ = {};  // the chunk is the caller's
    return true;
  }
  buffer_.append(chunk);
  const std::size_t used = Consume(buffer_, false);
  if (used == npos) return false;
  line_ += CountLineEnds(std::string_view(buffer_).substr(0, used));
  buffer_.erase(0, used);
  return true;
}

PlistResult<Value> XmlPlistStreamReader::Finish() {
  using Result = PlistResult<Value>;
  if (!failed_) {
    const std::size_t used = Consume(buffer_, true);
    at_ = used;  // what is found missing now is missing at the end
  }
  if (!failed_ && (scalar_ != Tag::kNone || open_ > 0)) {
    const Tag inner = scalar_ != Tag::kNone ? scalar_ : frames_[open_ - 1].tag;
    Fail("malformed XML: the document ends inside <" + std::string(NameOf(inner)) + ">");
  }
  if (!failed_ && !rootDone_) Fail("no property list in the document");
  buffer_.clear();
  reading_ = {};
  if (failed_) return Result::Failure(error_);
  return std::move(result_);
}

std::size_t XmlPlistStreamReader::Consume(std::string_view text, bool atEnd) {
  reading_ = text;
  const char* const d = text.data();
  const std::size_t n = text.size();
  std::size_t pos = 0;
  at_ = 0;
  // A construct not complete yet: wait for more (keeping it from `pos`), unless there is no
  // more or it is too long.
  auto incomplete = [&](const char* what) -> std::size_t {
    if (atEnd) return Fail(std::string("malformed XML: unterminated ") + what), npos;
    if (n - pos > kMaxStreamToken) return Fail(std::string("malformed XML: ") + what + " too long"), npos;
    return pos;
  };
  if (!bomChecked_) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (n < kBom.size() && kBom.starts_with(text) && !atEnd) return 0;
    if (text.starts_with(kBom)) pos = kBom.size();
    bomChecked_ = true;
  }
  while (pos < n) {
    at_ = pos;
    if (d[pos] != '<') {
      if (scalar_ != Tag::kNone) {
        // A scalar's text cut by markup (a comment, CDATA) or by the chunk's end: gathered.
        const void* lt = std::memchr(d + pos, '<', n - pos);
        std::size_t end = lt ? static_cast<std::size_t>(static_cast<const char*>(lt) - d) : n;
        if (!lt && !atEnd) {
          // A reference the chunk cuts waits for the rest of it.
          const std::string_view tail = text.substr(pos);
          const std::size_t amp = tail.rfind('&');
          if (amp != npos && tail.find(';', amp) == npos && tail.size() - amp <= 12) end = pos + amp;
        }
        if (!ScalarText(text.substr(pos, end - pos), false)) return npos;
        pos = end;
        if (scalarText_.size() > kMaxStreamToken) return Fail("malformed XML: text too long"), npos;
        if (!lt) return pos;
        continue;
      }
      // White space between elements; anything else is refused.
      while (pos < n && IsXmlSpace(d[pos])) ++pos;
      if (pos < n && d[pos] != '<') {
        at_ = pos;
        if (open_ == 0) return Fail("text outside the root element"), npos;
        return Fail("text inside <" + std::string(NameOf(frames_[open_ - 1].tag)) + ">"), npos;
      }
      continue;
    }
    if (n - pos < 2) return incomplete("markup");
    const char second = d[pos + 1];
    if (second == '/') {
      const void* gt = std::memchr(d + pos + 2, '>', n - pos - 2);
      if (!gt) return incomplete("end tag");
      const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(gt) - d);
      std::string_view name = text.substr(pos + 2, end - pos - 2);
      while (!name.empty() && IsXmlSpace(name.back())) name.remove_suffix(1);
      if (scalar_ != Tag::kNone) {
        if (name != NameOf(scalar_))
          return Fail("malformed XML: unexpected </" + std::string(name) + ">"), npos;
        if (!EndScalar(scalarText_)) return npos;
      } else if (!EndElement(name)) {
        return npos;
      }
      pos = end + 1;
      continue;
    }
    if (second == '?') {
      const std::size_t end = text.find("?>", pos + 2);
      if (end == npos) return incomplete("processing instruction");
      pos = end + 2;
      continue;
    }
    if (second == '!') {
      const std::string_view rest = text.substr(pos);
      if (rest.starts_with("<!--")) {
        const std::size_t end = text.find("-->", pos + 4);
        if (end == npos) return incomplete("comment");
        pos = end + 3;
      } else if (rest.starts_with("<![CDATA[")) {
        const std::size_t end = text.find("]]>", pos + 9);
        if (end == npos) return incomplete("CDATA section");
        if (!ScalarText(text.substr(pos + 9, end - pos - 9), true)) return npos;
        pos = end + 3;
      } else if (rest.size() < 9 && (std::string_view("<!--").starts_with(rest) ||
                                     std::string_view("<![CDATA[").starts_with(rest))) {
        return incomplete("markup");
      } else if (rest.starts_with("<!DOCTYPE")) {
        if (rootStarted_) return Fail("malformed XML: DOCTYPE inside the document"), npos;
        bool bracket = false;
        const std::size_t end = MarkupEnd(text, pos + 2, &bracket);
        // An internal subset could declare entities; property lists never carry one.
        if (bracket) return Fail("DOCTYPE with an internal subset"), npos;
        if (end == npos) return incomplete("DOCTYPE");
        pos = end + 1;
      } else {
        if (rest.size() < 9 && !atEnd && std::string_view("<!DOCTYPE").starts_with(rest)) return pos;
        return Fail("malformed XML: unknown declaration"), npos;
      }
      continue;
    }
    // A start tag. The plain form (a name, then '>' or "/>") is the one files hold; a tag
    // with attributes (<plist version="1.0">) is looked through with quotes in mind.
    std::size_t nameEnd = pos + 1;
    while (nameEnd < n && !IsNameBreak(d[nameEnd])) ++nameEnd;
    std::size_t end = npos;
    bool empty = false;
    if (nameEnd < n && d[nameEnd] == '>') {
      end = nameEnd;
    } else if (nameEnd + 1 < n && d[nameEnd] == '/' && d[nameEnd + 1] == '>') {
      end = nameEnd + 1;
      empty = true;
    } else {
      end = MarkupEnd(text, pos + 1);
      if (end == npos) return incomplete("tag");
      empty = d[end - 1] == '/' && end - 1 > pos;
      const std::size_t innerEnd = empty ? end - 1 : end;
      if (nameEnd > innerEnd) nameEnd = innerEnd;
      if (nameEnd == pos + 1 || (nameEnd < innerEnd && !IsXmlSpace(d[nameEnd])))
        return Fail("malformed XML: bad start tag"), npos;
    }
    if (nameEnd == pos + 1) return Fail("malformed XML: bad start tag"), npos;
    const std::string_view name = text.substr(pos + 1, nameEnd - pos - 1);
    const Tag tag = TagNamed(name);
    if (!StartElement(tag, name)) return npos;
    pos = end + 1;
    if (scalar_ == Tag::kNone) {
      if (empty && !EndElement(name)) return npos;
      continue;
    }
    if (empty) {
      if (!EndScalar({})) return npos;
      continue;
    }
    // The usual scalar: plain text, then its end tag at once, all in this text. Its value
    // is made straight from the text, without gathering it first.
    const void* lt = std::memchr(d + pos, '<', n - pos);
    if (!lt) continue;
    const std::size_t textEnd = static_cast<std::size_t>(static_cast<const char*>(lt) - d);
    const std::size_t after = textEnd + 2 + name.size();
    if (after < n && d[textEnd + 1] == '/' && d[after] == '>' &&
        std::memcmp(d + textEnd + 2, name.data(), name.size()) == 0 &&
        !std::memchr(d + pos, '&', textEnd - pos)) {
      at_ = textEnd;
      if (!EndScalar(text.substr(pos, textEnd - pos))) return npos;
      pos = after + 1;
    }
  }
  return pos;
}

bool XmlPlistStreamReader::StartElement(Tag tag, std::string_view name) {
  if (rootDone_) return Fail("more than one root element");
  int depth = 0;
  Frame* parent = Top();
  if (scalar_ != Tag::kNone)
    return Fail("unexpected <" + std::string(name) + "> inside <" + std::string(NameOf(scalar_)) + ">");
  if (parent == nullptr) {
    rootStarted_ = true;
    if (tag == Tag::kPlist) {
      if (frames_.empty()) frames_.emplace_back();
      Frame& frame = frames_[open_++];
      frame.tag = Tag::kPlist;
      frame.depth = 0;
      frame.hasValue = false;
      return true;
    }
    depth = 1;  // a bare value without <plist> is accepted too
  } else {
    switch (parent->tag) {
      case Tag::kPlist:
        if (parent->hasValue) return Fail("more than one value in <plist>");
        break;
      case Tag::kDict:
        if (!parent->hasKey && tag != Tag::kKey)
          return Fail("<" + std::string(name) + "> without a <key> in <dict>");
        if (parent->hasKey && tag == Tag::kKey) return Fail("key \"" + parent->key + "\" has no value");
        break;
      default:
        break;
    }
    depth = parent->depth + 1;
  }
  if (depth > kMaxPlistDepth)
    return Fail("nesting deeper than " + std::to_string(kMaxPlistDepth) + " levels");
  if (tag == Tag::kNone || tag == Tag::kPlist) return Fail("unknown tag <" + std::string(name) + ">");
  if (tag != Tag::kDict && tag != Tag::kArray) {
    scalar_ = tag;
    scalarText_.clear();
    return true;
  }
  const bool streamed = tag == Tag::kArray && onItem_ && parent != nullptr && parent->tag == Tag::kDict &&
                        parent->depth == 1 && parent->hasKey;
  if (open_ == frames_.size()) {
    frames_.emplace_back();
    parent = Top();  // the frames may have moved
  }
  Frame& frame = frames_[open_++];
  frame.tag = tag;
  frame.depth = depth;
  frame.hasKey = false;
  frame.streamed = streamed;
  frame.dict.clear();
  frame.array.clear();
  if (streamed) frame.arrayKey = parent->key;
  return true;
}

bool XmlPlistStreamReader::EndElement(std::string_view name) {
  Frame* frame = Top();
  if (frame == nullptr || name != NameOf(frame->tag))
    return Fail("malformed XML: unexpected </" + std::string(name) + ">");
  switch (frame->tag) {
    case Tag::kPlist:
      if (!frame->hasValue) return Fail("<plist> holds no value");
      --open_;
      rootDone_ = true;
      return true;
    case Tag::kDict: {
      if (frame->hasKey) return Fail("key \"" + frame->key + "\" has no value");
      Value value(std::move(frame->dict));
      --open_;
      return Deliver(std::move(value));
    }
    default: {
      Value value(std::move(frame->array));
      --open_;
      return Deliver(std::move(value));
    }
  }
}

bool XmlPlistStreamReader::EndScalar(std::string_view text) {
  const Tag tag = std::exchange(scalar_, Tag::kNone);
  Frame* parent = Top();
  // A dictionary's key is kept as it is, never made a value.
  if (tag == Tag::kKey && parent != nullptr && parent->tag == Tag::kDict) {
    parent->key = XmlPlistText(std::string(text));
    parent->hasKey = true;
    return true;
  }
  std::optional<Value> value;
  switch (tag) {
    case Tag::kString:
    case Tag::kKey:  // outside a dictionary a key reads as a string, as the platform allows
      value.emplace(XmlPlistText(std::string(text)));
      break;
    case Tag::kData: {
      auto bytes = DecodeBase64(text);
      if (!bytes) return Fail("bad base64 in <data>");
      value.emplace(Data{std::move(*bytes)});
      break;
    }
    case Tag::kInteger:
      value = PlainInteger(Trim(text));
      break;
    case Tag::kReal:
      value = PlainReal(Trim(text));
      break;
    default:
      break;
  }
  if (!value) {
    std::string message;
    value = ParseXmlScalar(NameOf(tag), std::string(text), message);
    if (!value) return Fail(message);
  }
  return Deliver(std::move(*value));
}

bool XmlPlistStreamReader::Deliver(Value&& value) {
  Frame* parent = Top();
  if (parent == nullptr) {
    result_ = std::move(value);
    rootDone_ = true;
    return true;
  }
  switch (parent->tag) {
    case Tag::kPlist:
      result_ = std::move(value);
      parent->hasValue = true;
      return true;
    case Tag::kDict: {
      // Keys come sorted from our writer: each then goes at the end at once. A later
      // value of a key seen before replaces it.
      Dictionary& dict = parent->dict;
      if (dict.empty() || dict.rbegin()->first < parent->key) {
        dict.emplace_hint(dict.end(), parent->key, std::move(value));
      } else {
        dict.insert_or_assign(parent->key, std::move(value));
      }
      parent->hasKey = false;
      return true;
    }
    default:
      if (parent->streamed) {
        std::string reason;
        if (!onItem_(parent->arrayKey, std::move(value), reason)) return Fail(reason);
      } else {
        parent->array.push_back(std::move(value));
      }
      return true;
  }
}

bool XmlPlistStreamReader::ScalarText(std::string_view raw, bool cdata) {
  if (scalar_ != Tag::kNone) {
    if (cdata) {
      scalarText_.append(raw);
      return true;
    }
    std::string message;
    if (!DecodeXmlReferences(raw, scalarText_, message)) return Fail(message);
    return true;
  }
  // Only CDATA comes here outside a scalar.
  if (open_ == 0) return Fail("text outside the root element");
  return Fail("CDATA inside <" + std::string(NameOf(frames_[open_ - 1].tag)) + ">");
}

}  // namespace values
