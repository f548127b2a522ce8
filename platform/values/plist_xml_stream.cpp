#include "platform/values/plist_xml_stream.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/values/plist_xml.h"

namespace values {

namespace {

bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsBlank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), IsXmlSpace);
}

bool IsScalarTag(std::string_view tag) {
  return tag == "string" || tag == "key" || tag == "integer" || tag == "real" || tag == "date" ||
         tag == "data" || tag == "true" || tag == "false";
}

// Characters that cannot be part of an element's name.
bool IsNameBreak(char c) {
  return IsXmlSpace(c) || c == '/' || c == '<' || c == '>' || c == '&' || c == '=' || c == '"' || c == '\'';
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
  return std::string_view::npos;
}

}  // namespace

struct XmlPlistStreamReader::Frame {
  enum class Kind { kPlist, kDict, kArray, kScalar };
  Kind kind = Kind::kScalar;
  std::string tag;
  int depth = 0;  // of the value, counted as ReadXmlPropertyList does (the root value is 1)
  Dictionary dict;
  Array array;
  std::string text;
  std::optional<std::string> key;  // a dictionary's key still waiting for its value
  bool hasValue = false;           // <plist>
  bool streamed = false;           // an array whose items go to the handler
  std::string arrayKey;
};

XmlPlistStreamReader::XmlPlistStreamReader(ItemHandler onItem) : onItem_(std::move(onItem)) {}

XmlPlistStreamReader::~XmlPlistStreamReader() = default;

bool XmlPlistStreamReader::Fail(std::string message) {
  if (!failed_) {
    failed_ = true;
    const std::size_t line =
        line_ + static_cast<std::size_t>(std::count(
                    buffer_.begin(),
                    buffer_.begin() + static_cast<std::ptrdiff_t>(std::min(pos_, buffer_.size())), '\n'));
    error_ = std::move(message) + " (line " + std::to_string(line) + ")";
  }
  return false;
}

bool XmlPlistStreamReader::Feed(std::string_view chunk) {
  if (failed_) return false;
  if (pos_ > 0 && pos_ >= buffer_.size() / 2) {
    line_ += static_cast<std::size_t>(
        std::count(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos_), '\n'));
    buffer_.erase(0, pos_);
    pos_ = 0;
  }
  buffer_.append(chunk);
  return Consume(false);
}

PlistResult<Value> XmlPlistStreamReader::Finish() {
  using Result = PlistResult<Value>;
  if (!failed_) Consume(true);
  if (!failed_ && !stack_.empty())
    Fail("malformed XML: the document ends inside <" + stack_.back().tag + ">");
  if (!failed_ && !rootDone_) Fail("no property list in the document");
  if (failed_) return Result::Failure(error_);
  return std::move(result_);
}

bool XmlPlistStreamReader::Consume(bool atEnd) {
  const std::string_view text(buffer_);
  // Lines are counted only as the buffer drops what was read, and for an error.
  auto advance = [&](std::size_t to) { pos_ = to; };
  // A construct not complete yet: wait for more, unless there is no more or it is too long.
  auto incomplete = [&](const char* what) {
    if (atEnd) return Fail(std::string("malformed XML: unterminated ") + what);
    if (text.size() - pos_ > kMaxStreamToken)
      return Fail(std::string("malformed XML: ") + what + " too long");
    return false;
  };
  if (!bomChecked_) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    const std::string_view start = text.substr(pos_);
    if (start.size() < kBom.size() && kBom.starts_with(start) && !atEnd) return true;
    if (start.starts_with(kBom)) pos_ += kBom.size();
    bomChecked_ = true;
  }
  while (pos_ < text.size() && !failed_) {
    if (text[pos_] != '<') {
      std::size_t end = text.find('<', pos_);
      if (end == std::string_view::npos) {
        if (!atEnd) return incomplete("text"), !failed_;
        end = text.size();
      }
      if (!Text(text.substr(pos_, end - pos_), false)) return false;
      advance(end);
      continue;
    }
    const std::string_view rest = text.substr(pos_);
    if (rest.starts_with("<?")) {
      const std::size_t end = text.find("?>", pos_ + 2);
      if (end == std::string_view::npos) return incomplete("processing instruction"), !failed_;
      advance(end + 2);
    } else if (rest.starts_with("<!--")) {
      const std::size_t end = text.find("-->", pos_ + 4);
      if (end == std::string_view::npos) return incomplete("comment"), !failed_;
      advance(end + 3);
    } else if (rest.starts_with("<![CDATA[")) {
      const std::size_t end = text.find("]]>", pos_ + 9);
      if (end == std::string_view::npos) return incomplete("CDATA section"), !failed_;
      if (!Text(text.substr(pos_ + 9, end - pos_ - 9), true)) return false;
      advance(end + 3);
    } else if (rest.size() < 9 && (std::string_view("<!--").starts_with(rest) ||
                                   std::string_view("<![CDATA[").starts_with(rest))) {
      return incomplete("markup"), !failed_;
    } else if (rest.starts_with("<!")) {
      if (!rest.starts_with("<!DOCTYPE")) {
        if (rest.size() < 9 && !atEnd) return true;
        return Fail("malformed XML: unknown declaration");
      }
      if (rootStarted_) return Fail("malformed XML: DOCTYPE inside the document");
      bool bracket = false;
      const std::size_t end = MarkupEnd(text, pos_ + 2, &bracket);
      // An internal subset could declare entities; property lists never carry one.
      if (bracket) return Fail("DOCTYPE with an internal subset");
      if (end == std::string_view::npos) return incomplete("DOCTYPE"), !failed_;
      advance(end + 1);
    } else if (rest.starts_with("</")) {
      const std::size_t end = text.find('>', pos_ + 2);
      if (end == std::string_view::npos) return incomplete("end tag"), !failed_;
      std::string_view name = text.substr(pos_ + 2, end - pos_ - 2);
      while (!name.empty() && IsXmlSpace(name.back())) name.remove_suffix(1);
      if (!EndElement(name)) return false;
      advance(end + 1);
    } else {
      const std::size_t end = MarkupEnd(text, pos_ + 1);
      if (end == std::string_view::npos) return incomplete("tag"), !failed_;
      std::string_view inner = text.substr(pos_ + 1, end - pos_ - 1);
      const bool empty = !inner.empty() && inner.back() == '/';
      if (empty) inner.remove_suffix(1);
      std::size_t nameEnd = 0;
      while (nameEnd < inner.size() && !IsNameBreak(inner[nameEnd])) ++nameEnd;
      const std::string_view name = inner.substr(0, nameEnd);
      if (name.empty() || (nameEnd < inner.size() && !IsXmlSpace(inner[nameEnd])))
        return Fail("malformed XML: bad start tag");
      if (!StartElement(name)) return false;
      if (empty && !EndElement(name)) return false;
      advance(end + 1);
    }
  }
  return !failed_;
}

bool XmlPlistStreamReader::StartElement(std::string_view name) {
  if (rootDone_) return Fail("more than one root element");
  // Frames are made in place on the stack: this runs for every element of the file.
  int depth = 0;
  if (stack_.empty()) {
    rootStarted_ = true;
    if (name == "plist") {
      Frame& frame = stack_.emplace_back();
      frame.tag = name;
      frame.kind = Frame::Kind::kPlist;
      return true;
    }
    depth = 1;  // a bare value without <plist> is accepted too
  } else {
    const Frame& parent = stack_.back();
    switch (parent.kind) {
      case Frame::Kind::kScalar:
        return Fail("unexpected <" + std::string(name) + "> inside <" + parent.tag + ">");
      case Frame::Kind::kPlist:
        if (parent.hasValue) return Fail("more than one value in <plist>");
        break;
      case Frame::Kind::kDict:
        if (!parent.key && name != "key")
          return Fail("<" + std::string(name) + "> without a <key> in <dict>");
        if (parent.key && name == "key") return Fail("key \"" + *parent.key + "\" has no value");
        break;
      case Frame::Kind::kArray:
        break;
    }
    depth = parent.depth + 1;
  }
  if (depth > kMaxPlistDepth)
    return Fail("nesting deeper than " + std::to_string(kMaxPlistDepth) + " levels");
  Frame::Kind kind = Frame::Kind::kScalar;
  bool streamed = false;
  if (name == "dict") {
    kind = Frame::Kind::kDict;
  } else if (name == "array") {
    kind = Frame::Kind::kArray;
    if (onItem_ && !stack_.empty()) {
      const Frame& parent = stack_.back();
      streamed = parent.kind == Frame::Kind::kDict && parent.depth == 1 && parent.key;
    }
  } else if (!IsScalarTag(name)) {
    return Fail("unknown tag <" + std::string(name) + ">");
  }
  std::string arrayKey = streamed ? *stack_.back().key : std::string();
  Frame& frame = stack_.emplace_back();
  frame.kind = kind;
  frame.tag = name;
  frame.depth = depth;
  frame.streamed = streamed;
  frame.arrayKey = std::move(arrayKey);
  return true;
}

bool XmlPlistStreamReader::EndElement(std::string_view name) {
  if (stack_.empty() || stack_.back().tag != name)
    return Fail("malformed XML: unexpected </" + std::string(name) + ">");
  // The frame's value is taken out where it is, not the whole frame moved: this runs for
  // every element of the file.
  Frame& frame = stack_.back();
  std::optional<Value> value;
  switch (frame.kind) {
    case Frame::Kind::kPlist:
      if (!frame.hasValue) return Fail("<plist> holds no value");
      stack_.pop_back();
      rootDone_ = true;
      return true;
    case Frame::Kind::kScalar: {
      std::string message;
      value = ParseXmlScalar(frame.tag, std::move(frame.text), message);
      if (!value) return Fail(message);
      break;
    }
    case Frame::Kind::kDict:
      if (frame.key) return Fail("key \"" + *frame.key + "\" has no value");
      value.emplace(std::move(frame.dict));
      break;
    case Frame::Kind::kArray:
      value.emplace(std::move(frame.array));
      break;
  }
  if (!value) return Fail("unknown element");
  stack_.pop_back();
  return Deliver(std::move(*value));
}

bool XmlPlistStreamReader::Deliver(Value&& value) {
  if (stack_.empty()) {
    result_ = std::move(value);
    rootDone_ = true;
    return true;
  }
  Frame& parent = stack_.back();
  switch (parent.kind) {
    case Frame::Kind::kPlist:
      result_ = std::move(value);
      parent.hasValue = true;
      return true;
    case Frame::Kind::kDict:
      if (!parent.key) {
        parent.key = std::move(*value.AsString());
      } else {
        parent.dict.insert_or_assign(std::move(*parent.key), std::move(value));
        parent.key.reset();
      }
      return true;
    case Frame::Kind::kArray:
      if (parent.streamed) {
        std::string reason;
        if (!onItem_(parent.arrayKey, std::move(value), reason)) return Fail(reason);
      } else {
        parent.array.push_back(std::move(value));
      }
      return true;
    case Frame::Kind::kScalar:
      break;
  }
  return Fail("unexpected value");
}

bool XmlPlistStreamReader::Text(std::string_view raw, bool cdata) {
  if (stack_.empty()) {
    if (cdata || !IsBlank(raw)) return Fail("text outside the root element");
    return true;
  }
  Frame& top = stack_.back();
  if (top.kind == Frame::Kind::kScalar) {
    if (cdata) {
      top.text.append(raw);
      return true;
    }
    std::string message;
    if (!DecodeXmlReferences(raw, top.text, message)) return Fail(message);
    return true;
  }
  if (cdata) return Fail("CDATA inside <" + top.tag + ">");
  if (!IsBlank(raw)) return Fail("text inside <" + top.tag + ">");
  return true;
}

}  // namespace values
