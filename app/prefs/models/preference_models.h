#pragma once
// The rows of the preferences window's tables and the rules that keep them sound.
//
// The window shows lists of small records - stored passwords, download filters, the
// browser plug-in's file types, the folders a sharing user may see, the blocked domains
// and the per-domain connection limits, the sharing users - and lets the user add, edit
// and remove rows. What a row accepts is decided here, without a window, so the same
// rules hold for a typed value, a pasted one and a test:
//
//  - A validation takes the edited value and the rows it must not collide with, and
//    answers the value to keep (cleaned: trimmed, a dot added or dropped) or an error
//    whose message is the text the user sees.
//  - A list keeps its sort order after every add; the add answers the index of the new
//    row so that the window can put the focus there for typing.
//  - The user "Guest" always exists: it cannot be removed, and a user name must be a
//    safe single folder name, since received files go into a folder named after the user.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/values/value.h"

namespace prefs_window {

// A refused value: the domain, code and message the user is shown.
struct ValidationError {
  std::string domain = "com.orbenix";
  int code = 0;
  std::string message;  // localised
  bool operator==(const ValidationError&) const = default;
};

// The value to keep, or why it was refused.
template <typename T>
using Validated = std::variant<T, ValidationError>;

// Stored passwords --------------------------------------------------------------------

struct PasswordType {
  std::string title;
  int type = 0;
};

// {"http", 0}, {"ftp", 1}, {"https", 2}, in that order, built once.
const std::vector<PasswordType>& allPasswordTypes();
// The entry of that type; nullptr when none.
const PasswordType* passwordTypeForType(int type);

struct PasswordItem {
  std::string server;
  std::string username;
  std::string password;
  std::optional<std::string> path = std::string("/");
  bool neveruse = false;
  const PasswordType* type = nullptr;
  bool operator==(const PasswordItem&) const = default;
};

// Accepts every value: nothing stays nothing; otherwise a missing leading and a missing
// trailing "/" are added.
std::optional<std::string> ValidatePath(const std::optional<std::string>& path);

// A new row of the Passwords pane: type "http".
PasswordItem NewPasswordItem();

// Download filters --------------------------------------------------------------------

struct FilterItem {
  std::string folderName;
  std::vector<std::string> extensionsArray;  // each beginning with "."
  bool nameIsRelativeToDownloadFolder = true;

  FilterItem() = default;
  FilterItem(std::string name, std::vector<std::string> extensions, bool relative);

  // The extensions joined with "; ".
  std::string extensions() const;
  // From typed text: white space and newlines removed, split at ";", a "." put in front of
  // every entry lacking one, entries shorter than two characters dropped.
  void setExtensions(std::string_view text);
  // "FilterItem name:%@, extensions:%@".
  std::string description() const;
  // The stored form {"name", "extensions", "relative"}.
  values::Dictionary ToDictionary() const;
  bool operator==(const FilterItem&) const = default;
};

// The folder name to keep for a filter (relative or not), refusing an empty name and the
// name of another filter (exact comparison) among `others`.
Validated<std::string> ValidateFolderName(std::string_view name, bool relative,
                                          const std::vector<FilterItem>& others,
                                          const FilterItem* self = nullptr);

// Same count and, pairwise in order, equal folder names and equal joined extensions.
bool filterArrayIsEqualToArray(const std::vector<FilterItem>& a, const std::vector<FilterItem>& b);

// The stored "Filters" array read back: a filter with neither name nor extensions is
// dropped, a missing one of the two becomes empty.
std::vector<FilterItem> FiltersFromArray(const values::Value* stored);

// The browser plug-in's file types ---------------------------------------------------

struct ExtensionMapping {
  std::string typeDescription;
  std::string extension;
  std::string mimetypes;  // comma-separated
  bool enabled = true;

  static ExtensionMapping mappingWithDescription(std::string description, std::string extension,
                                                 std::string mimetypes, bool enabled);
  // "%@; " with the extension when enabled, else "".
  std::string stringIfEnabled() const;
  bool operator==(const ExtensionMapping&) const = default;
};

// The stored dictionaries {"description", "extension", "mimetypes", "enabled"} and back;
// a mapping lacking its description, its extension or its MIME types is not stored.
std::vector<ExtensionMapping> arrayOfExtensionMappingsWithArrayOfDictionaries(const values::Value* stored);
values::Array arrayOfDictionariesWithArrayOfExtensionMappings(const std::vector<ExtensionMapping>& mappings);

// The extension to keep: one leading "." removed, trimmed; refused when another mapping of
// `all` (not `self`) has the same extension, ignoring case.
Validated<std::string> ValidateExtension(std::string_view extension, const std::vector<ExtensionMapping>& all,
                                         const ExtensionMapping* self);

// Folders of a sharing user ----------------------------------------------------------

struct Folder {
  std::uint32_t uid = 0;
  std::string name;
  bool view = false;          // the user may see it
  bool downloadFrom = false;  // the user may download from it

  // A copy for another user starts with nothing allowed.
  Folder copy() const { return Folder{uid, name, false, false}; }
  bool operator==(const Folder&) const = default;
};

// Domain lists -------------------------------------------------------------------------

// One row of the blocked-domain list ({"domain"}) or of the domain limits ({"domain",
// "limit"}), kept as the dictionary the window edits.
struct DomainRow {
  values::Dictionary dict;
  std::string domain() const;
  bool operator==(const DomainRow&) const = default;
};

// The domain to keep: trimmed; refused when it already stands in `sameList` (the row's own
// list only: the blocked list and the limit list are independent), ignoring case.
Validated<std::string> ValidateDomain(std::string_view domain, const std::vector<DomainRow>& sameList,
                                      const DomainRow* self = nullptr);

// Sorted lists -------------------------------------------------------------------------

// Inserts `row` where `before` keeps the list sorted (after its equals) and answers its
// index, for the window to focus.
template <typename Row, typename Less>
std::size_t AddSorted(std::vector<Row>& rows, Row row, Less before) {
  auto at = std::upper_bound(rows.begin(), rows.end(), row, before);
  std::size_t index = static_cast<std::size_t>(at - rows.begin());
  rows.insert(at, std::move(row));
  return index;
}

// Sharing users ------------------------------------------------------------------------

// A user row of the window.
struct SharingUserRow {
  std::string name;
  values::Bytes password;  // scrambled
  std::string clearpass;
  std::int64_t quota = -1;
  bool canUpload = true;
  std::vector<Folder> folders;
  // Whether clearpass was decoded from stored bytes that are not valid UTF-8: then the
  // stored bytes are written back unchanged until the user sets a new password.
  bool passwordUnreadable = false;
  bool operator==(const SharingUserRow&) const = default;
};

// A selected user may be removed unless it is "Guest".
bool UsersCanRemove(std::string_view firstSelectedName);

// The add-user sheet's OK is enabled exactly when the name has a character that is not
// white space.
bool AddUserOKEnabled(std::string_view name);

// A user name becomes a folder name of received files: refused when it holds "/", NUL or
// a control character, is "." or "..", or begins with "." (a hidden folder). Trimmed.
Validated<std::string> ValidateUserName(std::string_view name);

// The add-user sheet's OK: an existing user (exact name) gets only its password
// replaced; otherwise a new user is added (sorted by name) with upload allowed, no quota
// and the folders of `folders` copied, of which only Received Files (UID 22) is seen and
// downloadable. Answers the row's index.
inline constexpr std::uint32_t kReceivedFilesFolderUID = 22;
std::size_t AddOrUpdateUser(std::vector<SharingUserRow>& users, const std::string& name,
                            const std::string& password, const std::vector<Folder>& folders);

// The password sheet's OK on a user.
void SetUserPassword(SharingUserRow& user, const std::string& password);

}  // namespace prefs_window
