#include "platform/runtime/value_wire.h"

#include <cstdint>
#include <cstring>

namespace runtime::wire {

namespace {

enum Tag : std::uint8_t { kNull, kFalse, kTrue, kNumber, kString, kDate, kData, kArray, kDictionary, kSet };
constexpr int kMaxDepth = 64;

void AppendU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void AppendU64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void AppendDouble(std::string& out, double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  AppendU64(out, bits);
}

bool ReadU8(std::string_view in, std::size_t& pos, std::uint8_t& v) {
  if (pos + 1 > in.size()) return false;
  v = static_cast<std::uint8_t>(in[pos++]);
  return true;
}

bool ReadU32(std::string_view in, std::size_t& pos, std::uint32_t& v) {
  if (pos + 4 > in.size()) return false;
  v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t{static_cast<std::uint8_t>(in[pos + i])} << (8 * i);
  pos += 4;
  return true;
}

bool ReadU64(std::string_view in, std::size_t& pos, std::uint64_t& v) {
  if (pos + 8 > in.size()) return false;
  v = 0;
  for (int i = 0; i < 8; ++i) v |= std::uint64_t{static_cast<std::uint8_t>(in[pos + i])} << (8 * i);
  pos += 8;
  return true;
}

bool ReadDouble(std::string_view in, std::size_t& pos, double& d) {
  std::uint64_t bits;
  if (!ReadU64(in, pos, bits)) return false;
  std::memcpy(&d, &bits, sizeof d);
  return true;
}

std::optional<values::Value> Read(std::string_view in, std::size_t& pos, int depth) {
  if (depth > kMaxDepth) return std::nullopt;
  std::uint8_t tag;
  if (!ReadU8(in, pos, tag)) return std::nullopt;
  switch (tag) {
    case kNull:
      return values::Value();
    case kFalse:
      return values::Value(false);
    case kTrue:
      return values::Value(true);
    case kNumber: {
      std::uint8_t kind;
      std::uint64_t bits;
      if (!ReadU8(in, pos, kind) || !ReadU64(in, pos, bits)) return std::nullopt;
      values::Number n;
      if (kind > static_cast<std::uint8_t>(values::Number::Kind::kFloat64)) return std::nullopt;
      n.kind = static_cast<values::Number::Kind>(kind);
      if (n.kind == values::Number::Kind::kUInt64) {
        n.u = bits;
      } else if (n.IsReal()) {
        std::memcpy(&n.d, &bits, sizeof n.d);
      } else {
        n.i = static_cast<std::int64_t>(bits);
      }
      return values::Value(n);
    }
    case kString: {
      auto s = ReadString(in, pos);
      if (!s) return std::nullopt;
      return values::Value(std::move(*s));
    }
    case kDate: {
      double d;
      if (!ReadDouble(in, pos, d)) return std::nullopt;
      return values::Value(values::Date{d});
    }
    case kData: {
      auto s = ReadString(in, pos);
      if (!s) return std::nullopt;
      return values::Value(values::Data{values::Bytes(s->begin(), s->end())});
    }
    case kArray:
    case kSet: {
      std::uint32_t count;
      if (!ReadU32(in, pos, count) || count > in.size() - pos) return std::nullopt;
      values::Array items;
      for (std::uint32_t i = 0; i < count; ++i) {
        auto v = Read(in, pos, depth + 1);
        if (!v) return std::nullopt;
        items.push_back(std::move(*v));
      }
      if (tag == kArray) return values::Value(std::move(items));
      values::Set set;
      for (auto& v : items) set.Add(std::move(v));
      return values::Value(std::move(set));
    }
    case kDictionary: {
      std::uint32_t count;
      if (!ReadU32(in, pos, count) || count > in.size() - pos) return std::nullopt;
      values::Dictionary dict;
      for (std::uint32_t i = 0; i < count; ++i) {
        auto key = ReadString(in, pos);
        if (!key) return std::nullopt;
        auto v = Read(in, pos, depth + 1);
        if (!v) return std::nullopt;
        dict.insert_or_assign(std::move(*key), std::move(*v));
      }
      return values::Value(std::move(dict));
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

void AppendString(std::string& out, std::string_view s) {
  AppendU32(out, static_cast<std::uint32_t>(s.size()));
  out.append(s);
}

void AppendValue(std::string& out, const values::Value& value) {
  switch (value.type()) {
    case values::Type::kNull:
      out.push_back(static_cast<char>(kNull));
      break;
    case values::Type::kBool:
      out.push_back(static_cast<char>(*value.AsBool() ? kTrue : kFalse));
      break;
    case values::Type::kNumber: {
      const values::Number& n = *value.AsNumber();
      out.push_back(static_cast<char>(kNumber));
      out.push_back(static_cast<char>(n.kind));
      if (n.kind == values::Number::Kind::kUInt64) {
        AppendU64(out, n.u);
      } else if (n.IsReal()) {
        AppendDouble(out, n.d);
      } else {
        AppendU64(out, static_cast<std::uint64_t>(n.i));
      }
      break;
    }
    case values::Type::kString:
      out.push_back(static_cast<char>(kString));
      AppendString(out, *value.AsString());
      break;
    case values::Type::kDate:
      out.push_back(static_cast<char>(kDate));
      AppendDouble(out, value.AsDate()->seconds);
      break;
    case values::Type::kData: {
      const auto& bytes = value.AsData()->bytes;
      out.push_back(static_cast<char>(kData));
      AppendString(out, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      break;
    }
    case values::Type::kArray:
    case values::Type::kSet: {
      const values::Array& items = value.IsArray() ? *value.AsArray() : value.AsSet()->members;
      out.push_back(static_cast<char>(value.IsArray() ? kArray : kSet));
      AppendU32(out, static_cast<std::uint32_t>(items.size()));
      for (auto& v : items) AppendValue(out, v);
      break;
    }
    case values::Type::kDictionary: {
      const values::Dictionary& dict = *value.AsDictionary();
      out.push_back(static_cast<char>(kDictionary));
      AppendU32(out, static_cast<std::uint32_t>(dict.size()));
      for (auto& [k, v] : dict) {
        AppendString(out, k);
        AppendValue(out, v);
      }
      break;
    }
  }
}

std::optional<values::Value> ReadValue(std::string_view in, std::size_t& pos) {
  return Read(in, pos, 0);
}

std::optional<std::string> ReadString(std::string_view in, std::size_t& pos) {
  std::uint32_t len;
  if (!ReadU32(in, pos, len) || len > in.size() - pos) return std::nullopt;
  std::string s(in.substr(pos, len));
  pos += len;
  return s;
}

}  // namespace runtime::wire
