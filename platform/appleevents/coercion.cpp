#include "platform/appleevents/coercion.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/values/url.h"

namespace appleevents {
namespace {

bool IsInteger(DescType t) {
  return t == types::kSInt16 || t == types::kSInt32 || t == types::kUInt32 || t == types::kSInt64;
}
bool IsNumber(DescType t) {
  return IsInteger(t) || t == types::kFloat64;
}
bool IsText(DescType t) {
  return t == types::kText || t == types::kUtf8;
}
bool IsCode(DescType t) {
  return t == types::kType || t == types::kEnumerated || t == types::kKeyword;
}
bool IsFile(DescType t) {
  return t == types::kFSRef || t == types::kFileURL;
}
bool IsBool(DescType t) {
  return t == types::kBoolean || t == types::kTrue || t == types::kFalse;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// An integer target from a whole value.
Status MakeInteger(std::int64_t v, DescType to, Descriptor& out) {
  switch (to) {
    case types::kSInt16:
      if (v < std::numeric_limits<std::int16_t>::min() || v > std::numeric_limits<std::int16_t>::max()) break;
      out = Descriptor::SInt16(static_cast<std::int16_t>(v));
      return kNoErr;
    case types::kSInt32:
      if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) break;
      out = Descriptor::SInt32(static_cast<std::int32_t>(v));
      return kNoErr;
    case types::kUInt32:
      if (v < 0 || v > std::numeric_limits<std::uint32_t>::max()) break;
      out = Descriptor::UInt32(static_cast<std::uint32_t>(v));
      return kNoErr;
    case types::kSInt64:
      out = Descriptor::SInt64(v);
      return kNoErr;
    case types::kFloat64:
      out = Descriptor::Float64(static_cast<double>(v));
      return kNoErr;
    default:
      break;
  }
  return kCoercionFail;
}

Status MakeFromDouble(double v, DescType to, Descriptor& out) {
  if (to == types::kFloat64) {
    out = Descriptor::Float64(v);
    return kNoErr;
  }
  // Only whole values within comp's range become integers; 2^63 itself does not fit.
  if (!std::isfinite(v) || v != std::trunc(v) || v < -9223372036854775808.0 || v >= 9223372036854775808.0) {
    return kCoercionFail;
  }
  return MakeInteger(static_cast<std::int64_t>(v), to, out);
}

std::string NumberText(const Descriptor& d) {
  if (auto i = d.IntegerValue()) return std::to_string(*i);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", *d.FloatValue());
  // The shortest form that reads back the same, so 0.5 prints as "0.5".
  for (int precision = 1; precision <= 17; ++precision) {
    char shorter[32];
    std::snprintf(shorter, sizeof shorter, "%.*g", precision, *d.FloatValue());
    if (std::strtod(shorter, nullptr) == *d.FloatValue()) return shorter;
  }
  return buf;
}

Status NumberFromText(std::string_view text, DescType to, Descriptor& out) {
  text = Trim(text);
  if (text.empty()) return kCoercionFail;
  std::int64_t i = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), i);
  if (ec == std::errc() && end == text.data() + text.size()) return MakeInteger(i, to, out);
  double d = 0;
  auto [dend, dec] = std::from_chars(text.data(), text.data() + text.size(), d);
  if (dec == std::errc() && dend == text.data() + text.size()) return MakeFromDouble(d, to, out);
  return kCoercionFail;
}

Status PathOf(const Descriptor& d, std::string& path) {
  if (d.type() == types::kFileURL) {
    auto url = values::Url::Create(d.data());
    if (!url) return kCoercionFail;
    auto p = values::PathFromFileUrl(*url);
    if (!p) return kCoercionFail;
    path = *p;
    return kNoErr;
  }
  path = d.data();
  return kNoErr;
}

Status MakeFile(const std::string& path, DescType to, Descriptor& out) {
  if (path.empty() || path.front() != '/') return kCoercionFail;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return kFileNotFoundErr;
  if (to == types::kFSRef) {
    out = Descriptor::FileRef(path);
    return kNoErr;
  }
  auto url = values::FileUrlFromPath(path, S_ISDIR(st.st_mode));
  if (!url) return kCoercionFail;
  out = Descriptor::FromData(types::kFileURL, url->AbsoluteString());
  return kNoErr;
}

Status CoerceScalar(const Descriptor& from, DescType to, Descriptor& out) {
  const DescType t = from.type();
  if (IsNumber(t) && (IsNumber(to) || IsText(to) || to == types::kBoolean)) {
    if (!from.IntegerValue() && !from.FloatValue()) return kCoercionFail;  // wrong data size
    if (IsText(to)) {
      out = Descriptor::FromData(to, NumberText(from));
      return kNoErr;
    }
    if (to == types::kBoolean) {
      auto i = from.IntegerValue();
      if (!i || (*i != 0 && *i != 1)) return kCoercionFail;
      out = Descriptor::Boolean(*i == 1);
      return kNoErr;
    }
    if (auto i = from.IntegerValue()) return MakeInteger(*i, to, out);
    return MakeFromDouble(*from.FloatValue(), to, out);
  }
  if (IsBool(t)) {
    auto b = from.BoolValue();
    if (!b) return kCoercionFail;
    if (to == types::kBoolean) {
      out = Descriptor::Boolean(*b);
      return kNoErr;
    }
    if (to == types::kTrue || to == types::kFalse) {
      if (*b != (to == types::kTrue)) return kCoercionFail;
      out = Descriptor::FromData(to, {});
      return kNoErr;
    }
    if (IsInteger(to)) return MakeInteger(*b ? 1 : 0, to, out);
    if (IsText(to)) {
      out = Descriptor::FromData(to, *b ? "true" : "false");
      return kNoErr;
    }
    return kCoercionFail;
  }
  if (IsText(t)) {
    if (IsText(to)) {
      out = Descriptor::FromData(to, from.data());
      return kNoErr;
    }
    if (IsNumber(to)) return NumberFromText(from.data(), to, out);
    if (to == types::kBoolean) {
      std::string_view s = Trim(from.data());
      if (s == "true")
        out = Descriptor::Boolean(true);
      else if (s == "false")
        out = Descriptor::Boolean(false);
      else
        return kCoercionFail;
      return kNoErr;
    }
    if (IsFile(to)) return MakeFile(from.data(), to, out);
    if (IsCode(to)) {
      if (from.data().size() != 4) return kCoercionFail;
      out = Descriptor::FromData(to, from.data());
      return kNoErr;
    }
    return kCoercionFail;
  }
  if (IsFile(t)) {
    std::string path;
    if (Status s = PathOf(from, path); s != kNoErr) return s;
    if (IsText(to)) {
      out = Descriptor::FromData(to, path);
      return kNoErr;
    }
    if (IsFile(to)) return MakeFile(path, to, out);
    return kCoercionFail;
  }
  if (IsCode(t) && from.data().size() == 4 && (IsCode(to) || IsText(to))) {
    out = Descriptor::FromData(to, from.data());
    return kNoErr;
  }
  return kCoercionFail;
}

}  // namespace

Status Coerce(const Descriptor& from, DescType to, Descriptor& out) {
  if (to == types::kWildCard || to == from.type()) {
    out = from;
    return kNoErr;
  }
  if (to == types::kList) {
    if (from.IsRecord()) return kCoercionFail;
    out = Descriptor::List({from});
    return kNoErr;
  }
  if (from.IsList()) {
    if (from.Items().size() != 1) return kCoercionFail;
    return Coerce(from.Items().front(), to, out);
  }
  if (from.IsRecord() || to == types::kRecord) return kCoercionFail;
  return CoerceScalar(from, to, out);
}

Status GetInt64(const Descriptor& desc, std::int64_t& out) {
  Descriptor d;
  if (Status s = Coerce(desc, types::kSInt64, d); s != kNoErr) return s;
  out = *d.IntegerValue();
  return kNoErr;
}

Status GetInt32(const Descriptor& desc, std::int32_t& out) {
  Descriptor d;
  if (Status s = Coerce(desc, types::kSInt32, d); s != kNoErr) return s;
  out = static_cast<std::int32_t>(*d.IntegerValue());
  return kNoErr;
}

Status GetInt16(const Descriptor& desc, std::int16_t& out) {
  Descriptor d;
  if (Status s = Coerce(desc, types::kSInt16, d); s != kNoErr) return s;
  out = static_cast<std::int16_t>(*d.IntegerValue());
  return kNoErr;
}

Status GetUInt32(const Descriptor& desc, std::uint32_t& out) {
  Descriptor d;
  if (Status s = Coerce(desc, types::kUInt32, d); s != kNoErr) return s;
  out = static_cast<std::uint32_t>(*d.IntegerValue());
  return kNoErr;
}

Status GetBool(const Descriptor& desc, bool& out) {
  Descriptor d;
  if (Status s = Coerce(desc, types::kBoolean, d); s != kNoErr) return s;
  out = *d.BoolValue();
  return kNoErr;
}

Status GetText(const Descriptor& desc, std::string& out) {
  Descriptor d;
  if (Status s = Coerce(desc, types::kUtf8, d); s != kNoErr) return s;
  out = d.data();
  return kNoErr;
}

Status GetPath(const Descriptor& desc, std::string& out) {
  Descriptor d;
  if (Status s = Coerce(desc, types::kFSRef, d); s != kNoErr) return s;
  out = d.data();
  return kNoErr;
}

}  // namespace appleevents
