#include "app/engine/http/http_response_names.h"

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

std::string UnescapeOrKeep(std::string_view text) {
  if (auto unescaped = values::PercentUnescape(text)) return values::DecodeUtf8OrLatin1(*unescaped);
  if (auto latin = values::PercentUnescape(text, {}, values::EscapeEncoding::kIsoLatin1)) return *latin;
  return std::string(text);
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
      const std::string_view text = rest.substr(second + 1);
      const auto encoding =
          charset == "iso-8859-1" ? values::EscapeEncoding::kIsoLatin1 : values::EscapeEncoding::kUtf8;
      if (auto decoded = values::PercentUnescape(text, {}, encoding); decoded && !decoded->empty())
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
  text = util::StringByDeletingCharactersInSet(text, util::GetFileNameCharacterSet());
  // Backslashes are path separators to the other systems a file may travel to.
  std::erase(text, '\\');
  const auto firstKept = text.find_first_not_of('.');
  if (firstKept == std::string::npos) return std::nullopt;
  text.erase(0, firstKept);
  text = std::string(TrimBlanks(text));
  if (text.empty()) return std::nullopt;
  text = util::TruncateAtClusterBreak(text, util::kMaxFileNameLength + 1);
  while (text.size() > util::kMaxFileNameBytes) {
    text = util::TruncateAtClusterBreak(text, values::Utf16Length(text));
  }
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
