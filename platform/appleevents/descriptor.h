#pragma once
// Descriptors: the typed values that Apple events carry.
//
// A descriptor is a four-character type and one of three shapes:
//   - scalar: the value's bytes (numbers in this machine's byte order, as the
//     platform keeps them; texts as their bytes; a file reference as its POSIX path);
//   - list ('list'): descriptors in order;
//   - record ('reco', or any other type made a record, such as an event): descriptors
//     by four-character keyword, in the order they were put, one per keyword.
// A default descriptor is 'null' with no data.
//
// Descriptors are plain values: copying one copies its items. Reading a descriptor as
// a wanted type goes through the coercions of coercion.h.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/values/fourcc.h"

namespace appleevents {

using DescType = values::FourCharCode;
using AEKeyword = values::FourCharCode;

namespace types {
inline constexpr DescType kNull = values::FourCC("null");
inline constexpr DescType kWildCard = values::FourCC("****");
inline constexpr DescType kText = values::FourCC("TEXT");  // system encoding (UTF-8 here)
inline constexpr DescType kUtf8 = values::FourCC("utf8");
inline constexpr DescType kUInt32 = values::FourCC("magn");
inline constexpr DescType kSInt32 = values::FourCC("long");
inline constexpr DescType kSInt16 = values::FourCC("shor");
inline constexpr DescType kSInt64 = values::FourCC("comp");
inline constexpr DescType kFloat64 = values::FourCC("doub");
inline constexpr DescType kBoolean = values::FourCC("bool");  // one byte, 0 or 1
inline constexpr DescType kTrue = values::FourCC("true");     // no data
inline constexpr DescType kFalse = values::FourCC("fals");    // no data
inline constexpr DescType kFSRef = values::FourCC("fsrf");    // data: the item's POSIX path
inline constexpr DescType kFileURL = values::FourCC("furl");  // data: a "file://" URL
inline constexpr DescType kType = values::FourCC("type");     // data: four bytes, big-endian code
inline constexpr DescType kEnumerated = values::FourCC("enum");
inline constexpr DescType kKeyword = values::FourCC("keyw");
inline constexpr DescType kList = values::FourCC("list");
inline constexpr DescType kRecord = values::FourCC("reco");
inline constexpr DescType kAppleEvent = values::FourCC("aevt");
}  // namespace types

class Descriptor {
 public:
  enum class Shape : std::uint8_t { kScalar, kList, kRecord };
  using Field = std::pair<AEKeyword, Descriptor>;

  Descriptor() = default;  // 'null'

  static Descriptor FromData(DescType type, std::string bytes);
  static Descriptor Text(std::string_view text);     // 'TEXT'
  static Descriptor Utf8(std::string_view text);     // 'utf8'
  static Descriptor UInt32(std::uint32_t v);         // 'magn'
  static Descriptor SInt32(std::int32_t v);          // 'long'
  static Descriptor SInt16(std::int16_t v);          // 'shor'
  static Descriptor SInt64(std::int64_t v);          // 'comp'
  static Descriptor Float64(double v);               // 'doub'
  static Descriptor Boolean(bool v);                 // 'bool'
  static Descriptor FileRef(std::string_view path);  // 'fsrf'
  static Descriptor TypeCode(values::FourCharCode code,
                             DescType type = types::kType);  // 'type', 'enum', 'keyw'
  static Descriptor List(std::vector<Descriptor> items = {});
  static Descriptor Record(DescType type = types::kRecord);

  DescType type() const { return type_; }
  Shape shape() const { return shape_; }
  bool IsNull() const { return type_ == types::kNull && shape_ == Shape::kScalar; }
  bool IsList() const { return shape_ == Shape::kList; }
  bool IsRecord() const { return shape_ == Shape::kRecord; }
  // A scalar's bytes; empty for lists and records.
  const std::string& data() const { return data_; }

  // Lists. Items are counted from 0 here (the platform counts from 1 in its calls).
  std::size_t Count() const { return IsList() ? items_.size() : fields_.size(); }
  const std::vector<Descriptor>& Items() const { return items_; }
  void Append(Descriptor item) { items_.push_back(std::move(item)); }

  // Records. Put replaces the value of a keyword already there, keeping its place.
  const std::vector<Field>& Fields() const { return fields_; }
  const Descriptor* Find(AEKeyword key) const;
  void Put(AEKeyword key, Descriptor value);
  bool Remove(AEKeyword key);

  // Scalar readers of the exact type, no coercion: no value when the type differs or
  // the data has the wrong size.
  std::optional<std::int64_t> IntegerValue() const;       // shor, long, magn, comp
  std::optional<double> FloatValue() const;               // doub
  std::optional<bool> BoolValue() const;                  // bool, true, fals
  std::optional<values::FourCharCode> CodeValue() const;  // type, enum, keyw

  friend bool operator==(const Descriptor& a, const Descriptor& b);

 private:
  DescType type_ = types::kNull;
  Shape shape_ = Shape::kScalar;
  std::string data_;
  std::vector<Descriptor> items_;
  std::vector<Field> fields_;
};

// A readable rendering for test messages and logs: 'long'(5), 'TEXT'("a"), ['magn'(1)],
// {'----':...}.
std::string DescribeDescriptor(const Descriptor& desc);

}  // namespace appleevents
