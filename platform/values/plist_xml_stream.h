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
#include <cstdint>
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
  // The elements a property list is made of; anything else is refused.
  enum class Tag : std::uint8_t {
    kNone,
    kPlist,
    kDict,
    kArray,
    kKey,
    kString,
    kInteger,
    kReal,
    kDate,
    kData,
    kTrue,
    kFalse
  };
  // An open <plist>, <dict> or <array>. Frames are kept for reuse as the reader goes in and
  // out (a queue file opens and closes them a few times per download), and the value is
  // built in the frame's own container.
  struct Frame {
    Tag tag = Tag::kNone;
    int depth = 0;          // of the value, counted as ReadXmlPropertyList does (the root value is 1)
    bool hasKey = false;    // a dictionary's key waits for its value
    bool hasValue = false;  // <plist>
    bool streamed = false;  // an array whose items go to the handler
    std::string key;
    Dictionary dict;
    Array array;
    std::string arrayKey;  // of a streamed array
  };

  static Tag TagNamed(std::string_view name);
  static std::string_view NameOf(Tag tag);

  // Reads what `text` holds complete; what is left over (a construct cut by the chunk's
  // end) is where the returned offset points. npos on failure.
  std::size_t Consume(std::string_view text, bool atEnd);
  bool StartElement(Tag tag, std::string_view name);
  bool EndElement(std::string_view name);
  bool EndScalar(std::string_view text);
  bool Deliver(Value&& value);
  bool ScalarText(std::string_view raw, bool cdata);
  bool Fail(std::string message);
  Frame* Top() { return open_ == 0 ? nullptr : &frames_[open_ - 1]; }

  ItemHandler onItem_;
  std::string buffer_;        // a construct cut by the end of the last chunk, to be completed
  std::size_t line_ = 1;      // of the start of the text being read now
  std::string_view reading_;  // the text being read now, and where in it, to name the line of an error
  std::size_t at_ = 0;
  std::vector<Frame> frames_;
  std::size_t open_ = 0;     // frames in use
  Tag scalar_ = Tag::kNone;  // a scalar element whose text is being gathered in `scalarText_`
  std::string scalarText_;
  Value result_;
  bool bomChecked_ = false;  // a UTF-8 byte-order mark at the start is skipped
  bool rootStarted_ = false;
  bool rootDone_ = false;
  bool failed_ = false;
  std::string error_;
};

}  // namespace values
