#include "platform/values/value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace values {

Number Number::UInt64(std::uint64_t v) {
  if (v <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return Int64(static_cast<std::int64_t>(v));
  }
  return {Kind::kUInt64, 0, v, 0};
}

std::int64_t Number::AsInt64() const {
  switch (kind) {
    case Kind::kUInt64:
      return static_cast<std::int64_t>(u);
    case Kind::kFloat32:
    case Kind::kFloat64: {
      if (std::isnan(d)) return 0;
      if (d >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
      if (d <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
      return static_cast<std::int64_t>(d);
    }
    default:
      return i;
  }
}

std::uint64_t Number::AsUInt64() const {
  if (kind == Kind::kUInt64) return u;
  if (IsReal()) {
    if (std::isnan(d) || d <= 0) return d <= -1 ? static_cast<std::uint64_t>(AsInt64()) : 0;
    if (d >= 18446744073709551615.0) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(d);
  }
  return static_cast<std::uint64_t>(i);
}

double Number::AsDouble() const {
  if (kind == Kind::kUInt64) return static_cast<double>(u);
  if (IsReal()) return d;
  return static_cast<double>(i);
}

bool Number::operator==(const Number& other) const {
  if (IsReal() || other.IsReal()) return AsDouble() == other.AsDouble();
  const bool big = kind == Kind::kUInt64, otherBig = other.kind == Kind::kUInt64;
  if (big || otherBig) return big && otherBig && u == other.u;
  return i == other.i;
}

bool Set::Contains(const Value& v) const {
  return std::find(members.begin(), members.end(), v) != members.end();
}

bool Set::Add(Value v) {
  if (Contains(v)) return false;
  members.push_back(std::move(v));
  return true;
}

bool Set::Remove(const Value& v) {
  auto it = std::find(members.begin(), members.end(), v);
  if (it == members.end()) return false;
  members.erase(it);
  return true;
}

bool Set::operator==(const Set& other) const {
  if (members.size() != other.members.size()) return false;
  return std::all_of(members.begin(), members.end(), [&](const Value& v) { return other.Contains(v); });
}

const char* TypeName(Type t) {
  switch (t) {
    case Type::kNull:
      return "null";
    case Type::kBool:
      return "boolean";
    case Type::kNumber:
      return "number";
    case Type::kString:
      return "string";
    case Type::kDate:
      return "date";
    case Type::kData:
      return "data";
    case Type::kArray:
      return "array";
    case Type::kDictionary:
      return "dictionary";
    case Type::kSet:
      return "set";
  }
  return "?";
}

namespace {
const Value kNullValue;
}

bool Value::BoolOr(bool fallback) const {
  if (auto b = AsBool()) return *b;
  if (auto n = AsNumber())
    return n->IsReal() ? n->d != 0 : (n->kind == Number::Kind::kUInt64 ? n->u != 0 : n->i != 0);
  return fallback;
}

std::int64_t Value::Int64Or(std::int64_t fallback) const {
  if (auto n = AsNumber()) return n->AsInt64();
  if (auto b = AsBool()) return *b ? 1 : 0;
  return fallback;
}

double Value::DoubleOr(double fallback) const {
  if (auto n = AsNumber()) return n->AsDouble();
  return fallback;
}

std::string Value::StringOr(std::string_view fallback) const {
  if (auto s = AsString()) return *s;
  return std::string(fallback);
}

const Value* Value::Find(std::string_view key) const {
  auto d = AsDictionary();
  if (!d) return nullptr;
  auto it = d->find(key);
  return it == d->end() ? nullptr : &it->second;
}

Value* Value::Find(std::string_view key) {
  auto d = AsDictionary();
  if (!d) return nullptr;
  auto it = d->find(key);
  return it == d->end() ? nullptr : &it->second;
}

Value& Value::Put(std::string key, Value v) {
  if (IsNull()) v_ = Dictionary{};
  auto d = AsDictionary();
  auto& slot = (*d)[std::move(key)];
  slot = std::move(v);
  return slot;
}

bool Value::Erase(std::string_view key) {
  auto d = AsDictionary();
  if (!d) return false;
  auto it = d->find(key);
  if (it == d->end()) return false;
  d->erase(it);
  return true;
}

Lookup Value::GetBool(std::string_view key, bool& out) const {
  auto v = Find(key);
  if (!v) return Lookup::kMissing;
  if (auto b = v->AsBool()) {
    out = *b;
    return Lookup::kOk;
  }
  if (v->IsNumber()) {
    out = v->BoolOr(false);
    return Lookup::kOk;
  }
  return Lookup::kWrongType;
}

Lookup Value::GetInt64(std::string_view key, std::int64_t& out) const {
  auto v = Find(key);
  if (!v) return Lookup::kMissing;
  auto n = v->AsNumber();
  if (!n) return Lookup::kWrongType;
  out = n->AsInt64();
  return Lookup::kOk;
}

Lookup Value::GetDouble(std::string_view key, double& out) const {
  auto v = Find(key);
  if (!v) return Lookup::kMissing;
  auto n = v->AsNumber();
  if (!n) return Lookup::kWrongType;
  out = n->AsDouble();
  return Lookup::kOk;
}

Lookup Value::GetString(std::string_view key, std::string& out) const {
  auto v = Find(key);
  if (!v) return Lookup::kMissing;
  auto s = v->AsString();
  if (!s) return Lookup::kWrongType;
  out = *s;
  return Lookup::kOk;
}

Lookup Value::GetDate(std::string_view key, Date& out) const {
  auto v = Find(key);
  if (!v) return Lookup::kMissing;
  auto d = v->AsDate();
  if (!d) return Lookup::kWrongType;
  out = *d;
  return Lookup::kOk;
}

Lookup Value::GetData(std::string_view key, Bytes& out) const {
  auto v = Find(key);
  if (!v) return Lookup::kMissing;
  auto d = v->AsData();
  if (!d) return Lookup::kWrongType;
  out = d->bytes;
  return Lookup::kOk;
}

Lookup Value::GetArray(std::string_view key, const Array*& out) const {
  auto v = Find(key);
  if (!v) return Lookup::kMissing;
  out = v->AsArray();
  return out ? Lookup::kOk : Lookup::kWrongType;
}

Lookup Value::GetDictionary(std::string_view key, const Value*& out) const {
  auto v = Find(key);
  if (!v) return Lookup::kMissing;
  if (!v->IsDictionary()) return Lookup::kWrongType;
  out = v;
  return Lookup::kOk;
}

std::size_t Value::Count() const {
  if (auto a = AsArray()) return a->size();
  if (auto d = AsDictionary()) return d->size();
  if (auto s = AsSet()) return s->members.size();
  return 0;
}

const Value& Value::operator[](std::size_t index) const {
  auto a = AsArray();
  if (!a || index >= a->size()) return kNullValue;
  return (*a)[index];
}

void Value::Append(Value v) {
  if (IsNull()) v_ = Array{};
  if (auto a = AsArray()) a->push_back(std::move(v));
}

bool Value::operator==(const Value& other) const {
  return v_ == other.v_;
}

namespace {

void AppendQuoted(std::string& out, const std::string& s) {
  out += '"';
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    if (c == '\r') {
      out += "\\r";
      continue;
    }
    out += c;
  }
  out += '"';
}

void DescribeInto(std::string& out, const Value& v) {
  char buf[64];
  switch (v.type()) {
    case Type::kNull:
      out += "null";
      break;
    case Type::kBool:
      out += *v.AsBool() ? "true" : "false";
      break;
    case Type::kNumber: {
      const Number& n = *v.AsNumber();
      if (n.IsReal()) {
        std::snprintf(buf, sizeof buf, "%.17g", n.d);
      } else if (n.kind == Number::Kind::kUInt64) {
        std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(n.u));
      } else {
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(n.i));
      }
      out += buf;
      break;
    }
    case Type::kString:
      AppendQuoted(out, *v.AsString());
      break;
    case Type::kDate:
      std::snprintf(buf, sizeof buf, "date(%.3f)", v.AsDate()->seconds);
      out += buf;
      break;
    case Type::kData: {
      out += "<";
      for (auto b : v.AsData()->bytes) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        out += buf;
      }
      out += ">";
      break;
    }
    case Type::kArray:
    case Type::kSet: {
      const Array& a = v.IsArray() ? *v.AsArray() : v.AsSet()->members;
      out += v.IsArray() ? "(" : "set(";
      for (std::size_t i = 0; i < a.size(); ++i) {
        if (i) out += ", ";
        DescribeInto(out, a[i]);
      }
      out += ")";
      break;
    }
    case Type::kDictionary: {
      out += "{";
      bool first = true;
      for (const auto& [k, val] : *v.AsDictionary()) {
        if (!first) out += "; ";
        first = false;
        AppendQuoted(out, k);
        out += " = ";
        DescribeInto(out, val);
      }
      out += "}";
      break;
    }
  }
}

}  // namespace

std::string Value::Describe() const {
  std::string out;
  DescribeInto(out, *this);
  return out;
}

}  // namespace values
