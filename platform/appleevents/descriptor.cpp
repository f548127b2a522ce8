#include "platform/appleevents/descriptor.h"

#include <algorithm>
#include <cstring>

namespace appleevents {
namespace {

template <typename T>
std::string BytesOf(T v) {
  std::string s(sizeof(T), '\0');
  std::memcpy(s.data(), &v, sizeof(T));
  return s;
}

template <typename T>
T ValueOf(const std::string& s) {
  T v;
  std::memcpy(&v, s.data(), sizeof(T));
  return v;
}

}  // namespace

Descriptor Descriptor::FromData(DescType type, std::string bytes) {
  Descriptor d;
  d.type_ = type;
  d.data_ = std::move(bytes);
  return d;
}

Descriptor Descriptor::Text(std::string_view text) {
  return FromData(types::kText, std::string(text));
}
Descriptor Descriptor::Utf8(std::string_view text) {
  return FromData(types::kUtf8, std::string(text));
}
Descriptor Descriptor::UInt32(std::uint32_t v) {
  return FromData(types::kUInt32, BytesOf(v));
}
Descriptor Descriptor::SInt32(std::int32_t v) {
  return FromData(types::kSInt32, BytesOf(v));
}
Descriptor Descriptor::SInt16(std::int16_t v) {
  return FromData(types::kSInt16, BytesOf(v));
}
Descriptor Descriptor::SInt64(std::int64_t v) {
  return FromData(types::kSInt64, BytesOf(v));
}
Descriptor Descriptor::Float64(double v) {
  return FromData(types::kFloat64, BytesOf(v));
}
Descriptor Descriptor::Boolean(bool v) {
  return FromData(types::kBoolean, std::string(1, v ? '\1' : '\0'));
}
Descriptor Descriptor::FileRef(std::string_view path) {
  return FromData(types::kFSRef, std::string(path));
}

Descriptor Descriptor::TypeCode(values::FourCharCode code, DescType type) {
  // Big-endian, so the data reads as the four characters.
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
  return FromData(type, std::move(s));
}

Descriptor Descriptor::List(std::vector<Descriptor> items) {
  Descriptor d;
  d.type_ = types::kList;
  d.shape_ = Shape::kList;
  d.items_ = std::move(items);
  return d;
}

Descriptor Descriptor::Record(DescType type) {
  Descriptor d;
  d.type_ = type;
  d.shape_ = Shape::kRecord;
  return d;
}

const Descriptor* Descriptor::Find(AEKeyword key) const {
  for (const auto& [k, v] : fields_) {
    if (k == key) return &v;
  }
  return nullptr;
}

void Descriptor::Put(AEKeyword key, Descriptor value) {
  for (auto& [k, v] : fields_) {
    if (k == key) {
      v = std::move(value);
      return;
    }
  }
  fields_.emplace_back(key, std::move(value));
}

bool Descriptor::Remove(AEKeyword key) {
  auto it = std::find_if(fields_.begin(), fields_.end(), [key](const Field& f) { return f.first == key; });
  if (it == fields_.end()) return false;
  fields_.erase(it);
  return true;
}

std::optional<std::int64_t> Descriptor::IntegerValue() const {
  if (shape_ != Shape::kScalar) return std::nullopt;
  switch (type_) {
    case types::kSInt16:
      if (data_.size() == 2) return ValueOf<std::int16_t>(data_);
      break;
    case types::kSInt32:
      if (data_.size() == 4) return ValueOf<std::int32_t>(data_);
      break;
    case types::kUInt32:
      if (data_.size() == 4) return ValueOf<std::uint32_t>(data_);
      break;
    case types::kSInt64:
      if (data_.size() == 8) return ValueOf<std::int64_t>(data_);
      break;
    default:
      break;
  }
  return std::nullopt;
}

std::optional<double> Descriptor::FloatValue() const {
  if (shape_ == Shape::kScalar && type_ == types::kFloat64 && data_.size() == 8)
    return ValueOf<double>(data_);
  return std::nullopt;
}

std::optional<bool> Descriptor::BoolValue() const {
  if (shape_ != Shape::kScalar) return std::nullopt;
  if (type_ == types::kTrue) return true;
  if (type_ == types::kFalse) return false;
  if (type_ == types::kBoolean && data_.size() == 1) return data_[0] != 0;
  return std::nullopt;
}

std::optional<values::FourCharCode> Descriptor::CodeValue() const {
  if (shape_ != Shape::kScalar || data_.size() != 4) return std::nullopt;
  if (type_ != types::kType && type_ != types::kEnumerated && type_ != types::kKeyword) return std::nullopt;
  const auto* b = reinterpret_cast<const unsigned char*>(data_.data());
  return values::FourCCFromBytes(b[0], b[1], b[2], b[3]);
}

bool operator==(const Descriptor& a, const Descriptor& b) {
  return a.type_ == b.type_ && a.shape_ == b.shape_ && a.data_ == b.data_ && a.items_ == b.items_ &&
         a.fields_ == b.fields_;
}

std::string DescribeDescriptor(const Descriptor& desc) {
  std::string out = "'" + values::FourCCString(desc.type()) + "'";
  if (desc.IsList()) {
    out += "[";
    for (std::size_t i = 0; i < desc.Items().size(); ++i) {
      if (i) out += ", ";
      out += DescribeDescriptor(desc.Items()[i]);
    }
    return out + "]";
  }
  if (desc.IsRecord()) {
    out += "{";
    bool first = true;
    for (const auto& [k, v] : desc.Fields()) {
      if (!first) out += ", ";
      first = false;
      out += "'" + values::FourCCString(k) + "':" + DescribeDescriptor(v);
    }
    return out + "}";
  }
  if (auto i = desc.IntegerValue()) return out + "(" + std::to_string(*i) + ")";
  if (auto f = desc.FloatValue()) return out + "(" + std::to_string(*f) + ")";
  if (auto b = desc.BoolValue()) return out + (*b ? "(true)" : "(false)");
  if (auto c = desc.CodeValue()) return out + "('" + values::FourCCString(*c) + "')";
  if (desc.IsNull()) return out;
  return out + "(\"" + desc.data() + "\")";
}

}  // namespace appleevents
