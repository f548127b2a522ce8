#include "platform/values/format.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/values/date_time.h"
#include "platform/values/text_encoding.h"
#include "platform/values/utf16.h"

namespace values {

namespace {

// Widths and precisions beyond this are cut to it: a format string read from a file must
// not be able to ask for gigabytes of padding.
constexpr int kMaxWidth = 65535;

enum class Length { kNone, kChar, kShort, kLong, kLongLong, kLongDouble, kWide };

struct Conversion {
  std::string flags;
  int width = -1;
  int precision = -1;
  Length length = Length::kNone;
  char conversion = 0;
  bool LeftAligned() const { return flags.find('-') != std::string::npos; }
};

struct Context {
  std::span<const FormatArg> args;
  std::size_t next = 0;

  const FormatArg* Take(std::size_t position) const {  // 1-based position; 0 = none
    if (position == 0 || position > args.size()) return nullptr;
    return &args[position - 1];
  }
  const FormatArg* TakeNext() {
    const std::size_t position = ++next;
    return Take(position);
  }
};

std::int64_t SaturatingTruncate(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
  if (d <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(d);
}

// The argument seen as a number, when it is one. Text yields nullopt.
struct Numeric {
  bool is_real = false;
  bool is_unsigned = false;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double d = 0;
};

std::optional<Numeric> AsNumeric(const FormatArg* arg) {
  if (arg == nullptr) return Numeric{};
  Numeric n;
  const auto& s = arg->storage();
  if (auto* v = std::get_if<std::int64_t>(&s)) {
    n.i = *v;
  } else if (auto* v = std::get_if<std::uint64_t>(&s)) {
    n.is_unsigned = true;
    n.u = *v;
  } else if (auto* v = std::get_if<double>(&s)) {
    n.is_real = true;
    n.d = *v;
  } else if (auto* v = std::get_if<FormatArg::Boolean>(&s)) {
    n.i = v->value ? 1 : 0;
  } else if (auto* v = std::get_if<FormatArg::Pointer>(&s)) {
    n.is_unsigned = true;
    n.u = reinterpret_cast<std::uintptr_t>(v->p);
  } else if (auto* v = std::get_if<const Value*>(&s)) {
    const Value& value = **v;
    if (const Number* num = value.AsNumber()) {
      if (num->IsReal()) {
        n.is_real = true;
        n.d = num->d;
      } else if (num->kind == Number::Kind::kUInt64) {
        n.is_unsigned = true;
        n.u = num->u;
      } else {
        n.i = num->i;
      }
    } else if (const bool* b = value.AsBool()) {
      n.i = *b ? 1 : 0;
    } else if (const Date* date = value.AsDate()) {
      n.is_real = true;
      n.d = date->seconds;
    } else if (value.IsNull()) {
      // null counts as 0
    } else {
      return std::nullopt;
    }
  } else {
    return std::nullopt;  // text
  }
  return n;
}

std::int64_t SignedOf(const Numeric& n) {
  if (n.is_real) return SaturatingTruncate(n.d);
  if (n.is_unsigned) return static_cast<std::int64_t>(n.u);
  return n.i;
}

std::uint64_t UnsignedOf(const Numeric& n) {
  if (n.is_unsigned) return n.u;
  return static_cast<std::uint64_t>(SignedOf(n));
}

double RealOf(const Numeric& n) {
  if (n.is_real) return n.d;
  if (n.is_unsigned) return static_cast<double>(n.u);
  return static_cast<double>(n.i);
}

std::string Printf(const std::string& cs, auto value) {
  char buf[128];
  const int n = std::snprintf(buf, sizeof buf, cs.c_str(), value);
  if (n < 0) return {};
  if (static_cast<std::size_t>(n) < sizeof buf) return std::string(buf, static_cast<std::size_t>(n));
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), cs.c_str(), value);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// The C conversion cs for snprintf, with our own length modifier.
std::string CSpec(const Conversion& cs, const char* length, char conversion) {
  std::string out = "%";
  for (char f : cs.flags) {
    if (f == '-' || f == '+' || f == ' ' || f == '#' || f == '0') out += f;
  }
  if (cs.width >= 0) out += std::to_string(cs.width);
  if (cs.precision >= 0) {
    out += '.';
    out += std::to_string(cs.precision);
  }
  out += length;
  out += conversion;
  return out;
}

// Pads or cuts text; widths and precisions count UTF-16 units.
void AppendText(std::string& out, std::string_view text, const Conversion& cs, bool apply_precision) {
  std::string cut;
  if (apply_precision && cs.precision >= 0 && Utf16Length(text) > static_cast<std::size_t>(cs.precision)) {
    cut = Utf16Substring(text, 0, static_cast<std::size_t>(cs.precision));
    text = cut;
  }
  const std::size_t units = Utf16Length(text);
  const std::size_t pad = cs.width > 0 && units < static_cast<std::size_t>(cs.width)
                              ? static_cast<std::size_t>(cs.width) - units
                              : 0;
  if (!cs.LeftAligned()) out.append(pad, ' ');
  if (IsValidUtf8(text)) {
    out.append(text);
  } else {
    out.append(SanitizeUtf8(text));
  }
  if (cs.LeftAligned()) out.append(pad, ' ');
}

std::string DescribeData(const Bytes& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "<";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i && i % 4 == 0) out += ' ';
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 15];
  }
  out += '>';
  return out;
}

// What %@ and %s write for an argument.
std::string Describe(const FormatArg* arg) {
  if (arg == nullptr) return "(null)";
  const auto& s = arg->storage();
  if (auto* v = std::get_if<FormatArg::Text>(&s))
    return v->text ? std::string(*v->text) : std::string("(null)");
  if (auto* v = std::get_if<const Value*>(&s)) return DescribeForFormat(**v);
  if (auto* v = std::get_if<std::int64_t>(&s)) return std::to_string(*v);
  if (auto* v = std::get_if<std::uint64_t>(&s)) return std::to_string(*v);
  if (auto* v = std::get_if<double>(&s)) return DescribeReal(*v);
  if (auto* v = std::get_if<FormatArg::Boolean>(&s)) return v->value ? "true" : "false";
  if (auto* v = std::get_if<FormatArg::Pointer>(&s)) return Printf("%p", v->p);
  return {};
}

bool IsText(const FormatArg* arg) {
  return arg != nullptr && !AsNumeric(arg).has_value();
}

// Reads a decimal number; returns -1 when there are no digits.
int ReadNumber(std::string_view fmt, std::size_t& i) {
  if (i >= fmt.size() || fmt[i] < '0' || fmt[i] > '9') return -1;
  long long n = 0;
  while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
    n = n * 10 + (fmt[i] - '0');
    if (n > kMaxWidth) n = kMaxWidth;
    ++i;
  }
  return static_cast<int>(n);
}

// A `*` or `*N$` field: the value of an integer argument.
int ReadStarArgument(std::string_view fmt, std::size_t& i, Context& ctx) {
  ++i;  // '*'
  std::size_t j = i;
  const int position = ReadNumber(fmt, j);
  const FormatArg* arg;
  if (position > 0 && j < fmt.size() && fmt[j] == '$') {
    arg = ctx.Take(static_cast<std::size_t>(position));
    i = j + 1;
  } else {
    arg = ctx.TakeNext();
  }
  const auto n = AsNumeric(arg);
  const std::int64_t v = n ? SignedOf(*n) : 0;
  if (v > kMaxWidth) return kMaxWidth;
  if (v < -kMaxWidth) return -kMaxWidth;
  return static_cast<int>(v);
}

void AppendSigned(std::string& out, const Conversion& cs, std::int64_t v) {
  switch (cs.length) {
    case Length::kChar:
      v = static_cast<signed char>(v);
      break;
    case Length::kShort:
      v = static_cast<short>(v);
      break;
    case Length::kNone:
    case Length::kWide:
    case Length::kLongDouble:
      v = static_cast<std::int32_t>(v);
      break;
    default:
      break;
  }
  out += Printf(CSpec(cs, "ll", 'd'), static_cast<long long>(v));
}

void AppendUnsigned(std::string& out, const Conversion& cs, std::uint64_t v, char conversion) {
  switch (cs.length) {
    case Length::kChar:
      v = static_cast<unsigned char>(v);
      break;
    case Length::kShort:
      v = static_cast<unsigned short>(v);
      break;
    case Length::kNone:
    case Length::kWide:
    case Length::kLongDouble:
      v = static_cast<std::uint32_t>(v);
      break;
    default:
      break;
  }
  out += Printf(CSpec(cs, "ll", conversion), static_cast<unsigned long long>(v));
}

// %c of a byte: the platform reads 8-bit characters in its system encoding, Mac OS Roman.
void AppendCharacter(std::string& out, const Conversion& cs, std::uint64_t code, bool wide) {
  std::string ch;
  if (wide) {
    AppendCodePoint(ch, static_cast<char32_t>(code & 0x1FFFFF));
  } else {
    const char byte = static_cast<char>(code & 0xFF);
    if ((code & 0xFF) < 0x80) {
      ch.assign(1, byte);
    } else {
      ch = DecodeText(std::string_view(&byte, 1), TextEncoding::MacRoman()).value_or("\xEF\xBF\xBD");
    }
  }
  Conversion padded = cs;
  padded.precision = -1;
  AppendText(out, ch, padded, false);
}

void AppendConversion(std::string& out, const Conversion& cs, const FormatArg* arg) {
  const char conv = cs.conversion;
  if (conv == '@' || conv == 's' || conv == 'S') {
    AppendText(out, Describe(arg), cs, true);
    return;
  }
  if (IsText(arg)) {  // text given to a numeric conversion
    Conversion padded = cs;
    padded.precision = -1;
    AppendText(out, Describe(arg), padded, false);
    return;
  }
  const Numeric n = *AsNumeric(arg);
  switch (conv) {
    case 'd':
    case 'i':
      AppendSigned(out, cs, SignedOf(n));
      return;
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      AppendUnsigned(out, cs, UnsignedOf(n), conv);
      return;
    case 'c':
    case 'C':
      AppendCharacter(out, cs, UnsignedOf(n),
                      conv == 'C' || cs.length == Length::kLong || cs.length == Length::kWide);
      return;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
      out += Printf(CSpec(cs, "", conv), RealOf(n));
      return;
    case 'p': {
      const std::uint64_t address = UnsignedOf(n);
      Conversion plain = cs;
      plain.precision = -1;
      out +=
          Printf(CSpec(plain, "", 'p'), reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address)));
      return;
    }
    default:
      return;
  }
}

}  // namespace

std::string DescribeReal(double d) {
  if (std::isnan(d)) return "nan";
  if (std::isinf(d)) return d > 0 ? "+infinity" : "-infinity";
  if (d == 0.0) return "0.0";
  return Printf("%.17g", d);
}

std::string DescribeForFormat(const Value& value) {
  switch (value.type()) {
    case Type::kNull:
      return "(null)";
    case Type::kBool:
      return *value.AsBool() ? "true" : "false";
    case Type::kNumber: {
      const Number& n = *value.AsNumber();
      if (n.IsReal()) return DescribeReal(n.d);
      if (n.kind == Number::Kind::kUInt64) return std::to_string(n.u);
      return std::to_string(n.i);
    }
    case Type::kString:
      return *value.AsString();
    case Type::kDate:
      return DescribeDate(value.AsDate()->seconds);
    case Type::kData:
      return DescribeData(value.AsData()->bytes);
    default:
      return value.Describe();
  }
}

std::string Format(std::string_view fmt, std::span<const FormatArg> args) {
  std::string out;
  out.reserve(fmt.size() + 16 * args.size());
  Context ctx{args};
  std::size_t i = 0;
  while (i < fmt.size()) {
    const std::size_t percent = fmt.find('%', i);
    if (percent == std::string_view::npos) {
      out.append(fmt.substr(i));
      break;
    }
    out.append(fmt.substr(i, percent - i));
    const std::size_t start = percent;
    i = percent + 1;
    if (i >= fmt.size()) {  // a lone '%' at the end stays as written
      out += '%';
      break;
    }
    if (fmt[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    Conversion cs;
    std::size_t position = 0;
    {
      std::size_t j = i;
      const int n = ReadNumber(fmt, j);
      if (n > 0 && j < fmt.size() && fmt[j] == '$') {
        position = static_cast<std::size_t>(n);
        i = j + 1;
      }
    }
    while (i < fmt.size() && std::string_view("-+ #0'").find(fmt[i]) != std::string_view::npos)
      cs.flags += fmt[i++];
    if (i < fmt.size() && fmt[i] == '*') {
      const int w = ReadStarArgument(fmt, i, ctx);
      if (w < 0) cs.flags += '-';
      cs.width = w < 0 ? -w : w;
    } else {
      cs.width = ReadNumber(fmt, i);
    }
    if (i < fmt.size() && fmt[i] == '.') {
      ++i;
      if (i < fmt.size() && fmt[i] == '*') {
        const int p = ReadStarArgument(fmt, i, ctx);
        cs.precision = p < 0 ? -1 : p;  // a negative precision counts as none
      } else {
        const int p = ReadNumber(fmt, i);
        cs.precision = p < 0 ? 0 : p;
      }
    }
    // Length modifiers.
    if (i < fmt.size()) {
      switch (fmt[i]) {
        case 'h':
          ++i;
          cs.length = Length::kShort;
          if (i < fmt.size() && fmt[i] == 'h') {
            ++i;
            cs.length = Length::kChar;
          }
          break;
        case 'l':
          ++i;
          cs.length = Length::kLong;
          if (i < fmt.size() && fmt[i] == 'l') {
            ++i;
            cs.length = Length::kLongLong;
          }
          break;
        case 'q':
        case 'j':
        case 'z':
        case 't':
          ++i;
          cs.length = Length::kLongLong;
          break;
        case 'L':
          ++i;
          cs.length = Length::kLongDouble;
          break;
        default:
          break;
      }
    }
    if (i >= fmt.size()) {  // an unfinished cs stays as written
      out.append(fmt.substr(start));
      break;
    }
    char conv = fmt[i++];
    if (conv == '%') {  // "%5%" and the like write one percent sign, as printf does
      out += '%';
      continue;
    }
    // The old capital forms mean the long versions.
    if (conv == 'D' || conv == 'U' || conv == 'O') {
      conv = static_cast<char>(conv - 'A' + 'a');
      cs.length = Length::kLong;
    }
    static constexpr std::string_view kKnown = "@dioOuxXcCsSfFeEgGaApn";
    if (kKnown.find(conv) == std::string_view::npos) {
      out.append(fmt.substr(start, i - start));
      continue;
    }
    cs.conversion = conv;
    const FormatArg* arg = position ? ctx.Take(position) : ctx.TakeNext();
    if (conv == 'n') continue;
    AppendConversion(out, cs, arg);
  }
  return out;
}

}  // namespace values
