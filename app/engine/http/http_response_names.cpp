#include "app/engine/http/http_response_names.h"

#include <algorithm>

#include "app/engine/http/http_header_values.h"
#include "app/util/files/file_names.h"
#include "app/util/text/string_utilities.h"
#include "platform/values/text_encoding.h"
#include "platform/values/url_escape.h"
#include "platform/values/utf16.h"

namespace engine {

namespace {

// The value of parameter `name` (lower case, with its "="), or nothing.
std::optional<std::string_view> ParameterValue(std::string_view value, std::string_view name) {
  const std::string lower = AsciiLower(value);
  std::size_t at = 0;
  while ((at = lower.find(name, at)) != std::string::npos) {
    // Only a whole parameter name: "xfilename=" is not "filename=".
    const bool whole = at == 0 || lower[at - 1] == ';' || lower[at - 1] == ' ' || lower[at - 1] == '\t';
    if (whole) return value.substr(at + name.size());
    at += name.size();
  }
  return std::nullopt;
}

// Always valid UTF-8: bytes that are not are read as Latin-1, escaped or not.
std::string UnescapeOrKeep(std::string_view text) {
  if (auto unescaped = values::PercentUnescape(text)) return values::DecodeUtf8OrLatin1(*unescaped);
  if (auto latin = values::PercentUnescape(text, {}, values::EscapeEncoding::kIsoLatin1))
    return values::DecodeUtf8OrLatin1(*latin);
  return values::DecodeUtf8OrLatin1(text);
}

// RFC 5987 attr-char, and "%" for the escapes: everything else (blanks, quotes, raw
// bytes above 0x7F) makes the extended value invalid.
bool IsExtendedValueChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$&+-.^_`|~%").find(c) != std::string_view::npos;
}

// The decoded `filename*` text; nothing when the value breaks RFC 5987 or its bytes are
// not valid in the charset it names, so that the plain `filename=` or the URL's name is
// used instead of a guess.
std::optional<std::string> DecodeExtendedValue(std::string_view charset, std::string_view text) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), IsExtendedValueChar)) return std::nullopt;
  if (charset == "iso-8859-1") return values::PercentUnescape(text, {}, values::EscapeEncoding::kIsoLatin1);
  if (charset != "utf-8") return std::nullopt;
  auto bytes = values::PercentUnescape(text, {}, values::EscapeEncoding::kUtf8);
  if (!bytes || !values::IsValidUtf8(*bytes)) return std::nullopt;
  return bytes;
}

// The blanks and dots a name may not start with, removed together: taking one kind away
// can uncover the other (" .." or ". x"), so both go until neither leads.
std::string_view StripLeadingDotsAndBlanks(std::string_view text) {
  for (;;) {
    const std::size_t before = text.size();
    text = TrimBlanks(text);
    while (!text.empty() && text.front() == '.') text.remove_prefix(1);
    if (text.size() == before) return text;
  }
}

}  // namespace

std::optional<std::string> FileNameFromContentDisposition(std::string_view value) {
  if (auto extended = ParameterValue(value, "filename*=")) {
    std::string_view rest = *extended;
    rest = rest.substr(0, rest.find(';'));
    rest = TrimBlanks(rest);
    // charset'language'escaped-text
    const auto first = rest.find('\'');
    const auto second = first == std::string_view::npos ? first : rest.find('\'', first + 1);
    if (second != std::string_view::npos) {
      const std::string charset = AsciiLower(rest.substr(0, first));
      if (auto decoded = DecodeExtendedValue(charset, rest.substr(second + 1)); decoded && !decoded->empty())
        return decoded;
    }
  }
  auto plain = ParameterValue(value, "filename=");
  if (!plain) return std::nullopt;
  std::string_view rest = *plain;
  if (!rest.empty() && rest.front() == '"') {
    rest.remove_prefix(1);
    const auto close = rest.find('"');
    rest = rest.substr(0, close);
  } else {
    rest = TrimBlanks(rest.substr(0, rest.find(';')));
  }
  if (rest.empty()) return std::nullopt;
  return values::DecodeUtf8OrLatin1(rest);
}

std::optional<std::string> SanitizeDownloadFileName(std::string_view name) {
  std::string text = UnescapeOrKeep(name);
  if (const auto q = text.find('?'); q != std::string::npos) text.resize(q);
  return MakeFileNameSafe(text);
}

std::optional<std::string> StoredFileName(std::string_view name) {
  if (values::IsValidUtf8(name) && util::ValidateFileName(name, false)) return std::string(name);
  return MakeFileNameSafe(name);
}

std::optional<std::string> MakeFileNameSafe(std::string_view name) {
  std::string text = values::DecodeUtf8OrLatin1(name);
  text = util::StringByDeletingCharactersInSet(text, util::GetFileNameCharacterSet());
  // Backslashes are path separators to the other systems a file may travel to.
  std::erase(text, '\\');
  text = std::string(StripLeadingDotsAndBlanks(text));
  if (text.empty()) return std::nullopt;
  text = util::TruncateAtClusterBreak(text, util::kMaxFileNameLength + 1);
  while (text.size() > util::kMaxFileNameBytes) {
    text = util::TruncateAtClusterBreak(text, values::Utf16Length(text));
  }
  // A cut can leave a blank at the end; the start is as checked above.
  text = std::string(TrimBlanks(text));
  if (text.empty()) return std::nullopt;
  return text;
}

std::string FileNameForResponse(const std::optional<std::string>& contentDisposition,
                                const values::Url& finalUrl) {
  if (contentDisposition) {
    if (auto raw = FileNameFromContentDisposition(*contentDisposition)) {
      if (auto safe = SanitizeDownloadFileName(*raw)) return *safe;
    }
  }
  return util::CopyFileNameForURL(finalUrl);
}

}  // namespace engine
