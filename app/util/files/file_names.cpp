#include "app/util/files/file_names.h"

#include <array>

#include "app/util/desktop/ui_helpers.h"
#include "app/util/text/string_utilities.h"
#include "app/util/text/url_utilities.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/string_edit.h"
#include "platform/values/text_break.h"
#include "platform/values/url_escape.h"
#include "platform/values/utf16.h"

namespace util {
namespace {

constexpr std::size_t kFileSystemNameLimit = 255;

bool IsDirectoryReference(std::string_view name) {
  return name == "." || name == "..";
}

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

const values::CharacterSet& GetFileNameCharacterSet() {
  static const values::CharacterSet set = values::CharacterSet::Controls().Adding(":/\r\n");
  return set;
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
      if (values::Utf16Length(candidate) >= 6) name = std::move(candidate);
    }
  }

  name = values::DeleteCharacters(Unescaped(name), GetFileNameCharacterSet());
  if (!name.empty() && name.front() == '.') name.erase(0, 1);
  // "..." loses one dot and would otherwise become a reference to the parent folder.
  if (name.empty() || IsDirectoryReference(name)) name = "index.html";

  const std::string scheme = values::Lowercase(url.Scheme());
  if ((scheme == "ftp" || scheme == "ftps") && url.HasDirectoryPath()) name += values::Localized(" (Folder)");

  if (values::Utf16Length(name) > kMaxFileNameLength)
    name = TruncateAtClusterBreak(name, kMaxFileNameLength + 1);
  if (name.size() > kMaxFileNameBytes)
    name = values::TruncateUtf8BytesAtClusterBoundary(name, kMaxFileNameBytes);
  // A single cluster longer than the limit leaves nothing.
  if (name.empty()) name = "index.html";
  return name;
}

bool ValidateFileName(std::string_view name, bool show_alert) {
  if (name.empty()) return false;
  if (!values::ContainsAnyOf(name, GetFileNameCharacterSet()) && !IsDirectoryReference(name) &&
      name.size() <= kFileSystemNameLimit) {
    return true;
  }
  if (show_alert) {
    RunStandardAlertText(ui::AlertType::kNote,
                         values::Format(values::Localized("The name \"%@\" cannot be used"), {name}),
                         values::Localized("Try using a name with fewer punctuation or '/' characters."));
  }
  return false;
}

}  // namespace util
