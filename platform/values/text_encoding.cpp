#include "platform/values/text_encoding.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <memory>

#include "platform/values/utf16.h"

namespace values {

namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter Open(const std::string& name) {
  UErrorCode status = U_ZERO_ERROR;
  Converter c(ucnv_open(name.c_str(), &status));
  if (U_FAILURE(status)) return nullptr;
  return c;
}

bool IsAsciiOnly(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

namespace {

// The name of the ICU converter for an IANA name or an ICU alias; empty when unknown.
std::string CanonicalName(const std::string& wanted) {
  if (wanted.empty()) return {};
  UErrorCode status = U_ZERO_ERROR;
  // Prefer the IANA reading of a name, then ICU's own aliases.
  const char* canonical = ucnv_getCanonicalName(wanted.c_str(), "IANA", &status);
  if (U_FAILURE(status) || canonical == nullptr || *canonical == '\0') {
    status = U_ZERO_ERROR;
    canonical = ucnv_getAlias(wanted.c_str(), 0, &status);
  }
  if (U_FAILURE(status) || canonical == nullptr || *canonical == '\0') return {};
  return canonical;
}

}  // namespace

TextEncoding TextEncoding::Utf8() {
  return TextEncoding(CanonicalName("UTF-8"));
}
TextEncoding TextEncoding::Ascii() {
  return TextEncoding(CanonicalName("US-ASCII"));
}
TextEncoding TextEncoding::IsoLatin1() {
  return TextEncoding(CanonicalName("ISO-8859-1"));
}
TextEncoding TextEncoding::WindowsLatin1() {
  return TextEncoding(CanonicalName("windows-1252"));
}
TextEncoding TextEncoding::MacRoman() {
  return TextEncoding(CanonicalName("macintosh"));
}
TextEncoding TextEncoding::Utf16() {
  return TextEncoding(CanonicalName("UTF-16"));
}
TextEncoding TextEncoding::Utf16BigEndian() {
  return TextEncoding(CanonicalName("UTF-16BE"));
}
TextEncoding TextEncoding::Utf16LittleEndian() {
  return TextEncoding(CanonicalName("UTF-16LE"));
}

std::optional<TextEncoding> TextEncoding::FromName(std::string_view name) {
  std::string canonical = CanonicalName(std::string(name));
  if (canonical.empty() || !Open(canonical)) return std::nullopt;
  return TextEncoding(std::move(canonical));
}

std::optional<std::string> DecodeText(std::string_view bytes, const TextEncoding& encoding) {
  if (encoding == TextEncoding::Utf8()) {
    if (!IsValidUtf8(bytes)) return std::nullopt;
    return std::string(bytes);
  }
  if (encoding == TextEncoding::IsoLatin1()) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) AppendCodePoint(out, static_cast<unsigned char>(c));
    return out;
  }
  Converter conv = Open(encoding.Name());
  if (!conv) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(conv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;
  std::u16string units(bytes.size() * 2 + 2, u'\0');
  const char* src = bytes.data();
  const char* src_end = bytes.data() + bytes.size();
  auto* dst = reinterpret_cast<UChar*>(units.data());
  auto* dst_end = dst + units.size();
  ucnv_toUnicode(conv.get(), &dst, dst_end, &src, src_end, nullptr, true, &status);
  if (U_FAILURE(status)) return std::nullopt;
  units.resize(static_cast<std::size_t>(dst - reinterpret_cast<UChar*>(units.data())));
  return FromUtf16(units);
}

std::optional<std::string> EncodeText(std::string_view utf8, const TextEncoding& encoding,
                                      std::optional<char> substitute) {
  const std::string text = SanitizeUtf8(utf8);
  if (encoding == TextEncoding::Utf8()) return text;
  if ((encoding == TextEncoding::IsoLatin1() || encoding == TextEncoding::WindowsLatin1() ||
       encoding == TextEncoding::Ascii()) &&
      IsAsciiOnly(text)) {
    return text;
  }
  Converter conv = Open(encoding.Name());
  if (!conv) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  if (substitute) {
    // Encodings that hold every character (UTF-16) refuse a one-byte substitute; they
    // never need it.
    UErrorCode ignored = U_ZERO_ERROR;
    ucnv_setSubstChars(conv.get(), &*substitute, 1, &ignored);
    ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
  } else {
    ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  }
  if (U_FAILURE(status)) return std::nullopt;
  const std::u16string units = ToUtf16(text);
  std::string out(units.size() * 4 + 8, '\0');
  const auto* src = reinterpret_cast<const UChar*>(units.data());
  const auto* src_end = src + units.size();
  char* dst = out.data();
  char* dst_end = out.data() + out.size();
  ucnv_fromUnicode(conv.get(), &dst, dst_end, &src, src_end, nullptr, true, &status);
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<std::size_t>(dst - out.data()));
  return out;
}

std::string DecodeUtf8OrLatin1(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return *DecodeText(bytes, TextEncoding::IsoLatin1());
}

}  // namespace values
