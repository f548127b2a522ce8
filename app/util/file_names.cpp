#include "app/util/file_names.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <array>

#include "app/util/string_utilities.h"
#include "app/util/ui_helpers.h"
#include "app/util/url_utilities.h"
#include "platform/values/url_escape.h"

namespace util {
namespace {

constexpr std::size_t kFileSystemNameLimit = 255;

std::string DeleteForbiddenCharacters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::int32_t length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    const std::int32_t begin = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c >= 0 && IsFileNameForbiddenCharacter(static_cast<char32_t>(c))) continue;
    out.append(text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(i - begin)));
  }
  return out;
}

bool ContainsForbiddenCharacter(std::string_view text) { return DeleteForbiddenCharacters(text).size() != text.size(); }

bool IsDirectoryReference(std::string_view name) { return name == "." || name == ".."; }

// The last component of the path as it stands in the URL, escapes and all, so that the
// name is unescaped exactly once ("%2541" names "%41", not "A").
std::string EscapedLastPathComponent(const values::Url& url) {
  std::string path = url.Path();
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return path;
  if (path == "/") return path;
  return path.substr(slash + 1);
}

bool IsScriptExtension(const std::string& extension) {
  static constexpr std::array<std::string_view, 5> kScripts = {"php", "asp", "aspx", "cfm", "cgi"};
  for (std::string_view script : kScripts) {
    if (extension == script) return true;  // already lower-cased
  }
  return false;
}

std::string Unescaped(const std::string& name) {
  if (auto utf8 = values::PercentUnescape(name, "", values::EscapeEncoding::kUtf8)) return *utf8;
  if (auto latin1 = values::PercentUnescape(name, "", values::EscapeEncoding::kIsoLatin1)) return *latin1;
  return name;  // a malformed escape: keep the text as it is
}

}  // namespace

bool IsFileNameForbiddenCharacter(char32_t c) {
  if (c == ':' || c == '/' || c == '\r' || c == '\n') return true;
  const std::int8_t type = u_charType(static_cast<UChar32>(c));
  return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR;
}

std::string CopyFileNameForURL(const values::Url& url) {
  std::string name = EscapedLastPathComponent(url);

  const URLExtensions extensions = CopyURLExtensions(url);
  if (extensions.tail && (!extensions.path_extension || IsScriptExtension(*extensions.path_extension))) {
    const std::string& text = url.String();
    const std::size_t equals = text.rfind('=');
    if (equals != std::string::npos) {
      std::string candidate = text.substr(equals + 1);
      const std::size_t slash = candidate.find('/');
      if (slash != std::string::npos) candidate = candidate.substr(slash + 1);
      if (UTF16Length(candidate) >= 6) name = std::move(candidate);
    }
  }

  name = DeleteForbiddenCharacters(Unescaped(name));
  if (!name.empty() && name.front() == '.') name.erase(0, 1);
  // "..." loses one dot and would otherwise become a reference to the parent folder.
  if (name.empty() || IsDirectoryReference(name)) name = "index.html";

  const std::string scheme = LowercaseText(url.Scheme());
  if ((scheme == "ftp" || scheme == "ftps") && url.HasDirectoryPath()) name += " (Folder)";

  if (UTF16Length(name) > kMaxFileNameLength) name = TruncateAtClusterBreak(name, kMaxFileNameLength + 1);
  if (name.size() > kMaxFileNameBytes) name = TruncateUTF8AtClusterBreak(name, kMaxFileNameBytes);
  // A single cluster longer than the limit leaves nothing.
  if (name.empty()) name = "index.html";
  return name;
}

bool ValidateFileName(std::string_view name, bool show_alert) {
  if (name.empty()) return false;
  if (!ContainsForbiddenCharacter(name) && !IsDirectoryReference(name) && name.size() <= kFileSystemNameLimit) {
    return true;
  }
  if (show_alert) {
    RunStandardAlertText(ui::AlertType::kNote, "The name \"" + std::string(name) + "\" cannot be used",
                         std::string("Try using a name with fewer punctuation or '/' characters."));
  }
  return false;
}

}  // namespace util
