#pragma once
// An XML property list read piece by piece, for files too large to hold twice in memory
// (a queue of a hundred thousand downloads): the text is fed in chunks, and the items of
// the arrays held directly by the root dictionary are handed out one by one as each is
// complete instead of being kept. Memory then grows with one item, not with the file.
//
// It reads what ReadXmlPropertyList reads (UTF-8 text; the same tags, the same strictness
// about unknown tags, text between elements, keys without values, DOCTYPEs with an
// internal subset, entities other than the predefined ones and character references,
// nesting deeper than kMaxPlistDepth), and gives the same values: "\r" in a string stays
// "\r". Other encodings are for ReadXmlPropertyList. One construct (a string, a tag) longer
// than kMaxStreamToken fails the read rather than fill memory.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/plist.h"
#include "platform/values/value.h"

namespace values {

class XmlPlistStreamReader {
 public:
  static constexpr std::size_t kMaxStreamToken = std::size_t{64} << 20;

  // Gets each item of a streamed array (`arrayKey` names the array in the root
  // dictionary); false stops the read, which then fails with `reason`.
  using ItemHandler = std::function<bool(const std::string& arrayKey, Value&& item, std::string& reason)>;

  // Without a handler nothing is streamed: Finish returns the whole list.
  explicit XmlPlistStreamReader(ItemHandler onItem = nullptr);
  ~XmlPlistStreamReader();
  XmlPlistStreamReader(const XmlPlistStreamReader&) = delete;
  XmlPlistStreamReader& operator=(const XmlPlistStreamReader&) = delete;

  // False once the text is known to be bad (see error()); feeding more is then pointless.
  bool Feed(std::string_view chunk);
  // The end of the text: the root value, with the streamed arrays left empty.
  PlistResult<Value> Finish();
  const std::string& error() const { return error_; }

 private:
  struct Frame;
  bool Consume(bool atEnd);
  bool StartElement(std::string_view name);
  bool EndElement(std::string_view name);
  bool Text(std::string_view raw, bool cdata);
  bool Deliver(Value&& value);
  bool Fail(std::string message);

  ItemHandler onItem_;
  std::string buffer_;
  std::size_t pos_ = 0;
  std::size_t line_ = 1;  // of the buffer's start
  std::vector<Frame> stack_;
  Value result_;
  bool bomChecked_ = false;  // a UTF-8 byte-order mark at the start is skipped
  bool rootStarted_ = false;
  bool rootDone_ = false;
  bool failed_ = false;
  std::string error_;
};

}  // namespace values
