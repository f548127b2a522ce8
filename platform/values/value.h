#pragma once
// The value type every layer passes around: what property lists, preferences, event
// parameters and the queue file are made of.
//
// A `Value` is one of: null, boolean, number, string (UTF-8), date, data, array,
// dictionary (string keys, kept sorted by key) or set. Values have value semantics:
// copying a value copies the whole tree, so two owners never see each other's edits.
// Numbers remember their width and kind (a 16-bit count stays 16-bit when written back,
// a 64-bit UID stays exact), because stored files and peers rely on the exact type.
// Dates are seconds since 2001-01-01 00:00:00 GMT (the property-list epoch).
//
// Reading a typed value out of a dictionary says why it failed: the key is missing, or
// the value is of another type. Callers that substitute a default can tell the two apart
// and report the second.

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace values {

class Value;

using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value, std::less<>>;
using Bytes = std::vector<std::uint8_t>;

// A number with its width. Integers are held as signed 64-bit; `kUInt64` holds values
// above INT64_MAX (read from files that carry them) in `u`.
struct Number {
  enum class Kind : std::uint8_t { kInt8, kInt16, kInt32, kInt64, kUInt64, kFloat32, kFloat64 };

  Kind kind = Kind::kInt32;
  std::int64_t i = 0;   // every integer kind but kUInt64
  std::uint64_t u = 0;  // kUInt64 only
  double d = 0;         // kFloat32, kFloat64

  static Number Int8(std::int8_t v) { return {Kind::kInt8, v, 0, 0}; }
  static Number Int16(std::int16_t v) { return {Kind::kInt16, v, 0, 0}; }
  static Number Int32(std::int32_t v) { return {Kind::kInt32, v, 0, 0}; }
  static Number Int64(std::int64_t v) { return {Kind::kInt64, v, 0, 0}; }
  static Number UInt64(std::uint64_t v);  // kInt64 when it fits
  static Number Float32(float v) {
    return {Kind::kFloat32, 0, 0, static_cast<double>(static_cast<float>(v))};
  }
  static Number Float64(double v) { return {Kind::kFloat64, 0, 0, v}; }

  bool IsReal() const { return kind == Kind::kFloat32 || kind == Kind::kFloat64; }
  // Conversions as the platform does them: reals truncate toward zero, integers that do
  // not fit wrap to the lower bits (as a C cast would).
  std::int64_t AsInt64() const;
  std::uint64_t AsUInt64() const;
  std::int32_t AsInt32() const { return static_cast<std::int32_t>(AsInt64()); }
  std::int16_t AsInt16() const { return static_cast<std::int16_t>(AsInt64()); }
  double AsDouble() const;

  // Numeric equality across kinds (1 == 1.0), as the platform compares numbers.
  bool operator==(const Number& other) const;
};

struct Date {
  double seconds = 0;  // since 2001-01-01 00:00:00 GMT
  bool operator==(const Date& other) const = default;
};

// Seconds between the Unix epoch and the property-list epoch.
inline constexpr double kSecondsFrom1970To2001 = 978307200.0;

struct Data {
  Bytes bytes;
  bool operator==(const Data& other) const = default;
};

// An unordered collection of distinct values; kept as a vector in insertion order.
struct Set {
  Array members;
  bool Contains(const Value& v) const;
  bool Add(Value v);  // false when already present
  bool Remove(const Value& v);
  bool operator==(const Set& other) const;  // same members, any order
};

enum class Type : std::uint8_t { kNull, kBool, kNumber, kString, kDate, kData, kArray, kDictionary, kSet };

const char* TypeName(Type t);

// Outcome of a typed read.
enum class Lookup : std::uint8_t { kOk, kMissing, kWrongType };

class Value {
 public:
  Value() = default;  // null
  Value(std::nullptr_t) {}
  Value(bool b) : v_(b) {}
  Value(Number n) : v_(n) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(Date d) : v_(d) {}
  Value(Data d) : v_(std::move(d)) {}
  Value(Array a) : v_(std::move(a)) {}
  Value(Dictionary d) : v_(std::move(d)) {}
  Value(values::Set s) : v_(std::move(s)) {}
  // Integers pick their width from the C++ type, as the platform's number constructors do.
  Value(int v) : v_(Number::Int32(v)) {}
  Value(std::int16_t v) : v_(Number::Int16(v)) {}
  Value(long v) : v_(Number::Int64(v)) {}
  Value(long long v) : v_(Number::Int64(v)) {}
  Value(unsigned v) : v_(Number::Int64(v)) {}
  Value(unsigned long v) : v_(Number::UInt64(v)) {}
  Value(unsigned long long v) : v_(Number::UInt64(v)) {}
  Value(double v) : v_(Number::Float64(v)) {}
  Value(float v) : v_(Number::Float32(v)) {}
  Value(std::initializer_list<std::pair<const std::string, Value>> dict) : v_(Dictionary(dict)) {}

  Type type() const { return static_cast<Type>(v_.index()); }
  bool IsNull() const { return type() == Type::kNull; }
  bool IsBool() const { return type() == Type::kBool; }
  bool IsNumber() const { return type() == Type::kNumber; }
  bool IsString() const { return type() == Type::kString; }
  bool IsDate() const { return type() == Type::kDate; }
  bool IsData() const { return type() == Type::kData; }
  bool IsArray() const { return type() == Type::kArray; }
  bool IsDictionary() const { return type() == Type::kDictionary; }
  bool IsSet() const { return type() == Type::kSet; }

  // Pointers to the payload, or nullptr when the value is of another type.
  const bool* AsBool() const { return std::get_if<bool>(&v_); }
  const Number* AsNumber() const { return std::get_if<Number>(&v_); }
  const std::string* AsString() const { return std::get_if<std::string>(&v_); }
  const Date* AsDate() const { return std::get_if<Date>(&v_); }
  const Data* AsData() const { return std::get_if<Data>(&v_); }
  const Array* AsArray() const { return std::get_if<Array>(&v_); }
  const Dictionary* AsDictionary() const { return std::get_if<Dictionary>(&v_); }
  const values::Set* AsSet() const { return std::get_if<values::Set>(&v_); }
  Array* AsArray() { return std::get_if<Array>(&v_); }
  Dictionary* AsDictionary() { return std::get_if<Dictionary>(&v_); }
  values::Set* AsSet() { return std::get_if<values::Set>(&v_); }
  Data* AsData() { return std::get_if<Data>(&v_); }

  // Scalars with a fallback for null or another type.
  bool BoolOr(bool fallback) const;  // numbers count as booleans (non-zero), as the platform does
  std::int64_t Int64Or(std::int64_t fallback) const;
  double DoubleOr(double fallback) const;
  std::string StringOr(std::string_view fallback) const;

  // Dictionary access. `Find` is nullptr when this is not a dictionary or the key is absent.
  const Value* Find(std::string_view key) const;
  Value* Find(std::string_view key);
  // Sets a key, turning a null value into an empty dictionary first.
  Value& Put(std::string key, Value v);
  bool Erase(std::string_view key);

  // Typed dictionary reads that say what went wrong.
  Lookup GetBool(std::string_view key, bool& out) const;
  Lookup GetInt64(std::string_view key, std::int64_t& out) const;
  Lookup GetDouble(std::string_view key, double& out) const;
  Lookup GetString(std::string_view key, std::string& out) const;
  Lookup GetDate(std::string_view key, Date& out) const;
  Lookup GetData(std::string_view key, Bytes& out) const;
  Lookup GetArray(std::string_view key, const Array*& out) const;
  Lookup GetDictionary(std::string_view key, const Value*& out) const;  // out is the dictionary value

  // Array access.
  std::size_t Count() const;                         // elements of an array, set or dictionary; 0 otherwise
  const Value& operator[](std::size_t index) const;  // null value when out of range
  void Append(Value v);                              // turning a null value into an empty array first

  bool operator==(const Value& other) const;
  bool operator!=(const Value& other) const { return !(*this == other); }

  // A readable one-line rendering for logs and test failures (not a storage format).
  std::string Describe() const;

 private:
  std::variant<std::monostate, bool, Number, std::string, Date, Data, Array, Dictionary, values::Set> v_;
};

}  // namespace values
