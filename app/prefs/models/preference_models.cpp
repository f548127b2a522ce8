#include "app/prefs/models/preference_models.h"

#include "app/util/settings/sharing_password_scramble.h"
#include "platform/values/char_set.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/string_compare.h"
#include "platform/values/utf16.h"

namespace prefs_window {
namespace {

using values::CharacterSet;

std::string Trimmed(std::string_view text) {
  return values::TrimCharacters(text, CharacterSet::WhitespaceAndNewlines());
}

ValidationError Refusal(std::string message) {
  return ValidationError{"com.orbenix", 0, std::move(message)};
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return values::EqualStrings(a, b, values::kCaseInsensitive);
}

}  // namespace

const std::vector<PasswordType>& allPasswordTypes() {
  static const std::vector<PasswordType> types{{"http", 0}, {"ftp", 1}, {"https", 2}};
  return types;
}

const PasswordType* passwordTypeForType(int type) {
  for (const PasswordType& entry : allPasswordTypes()) {
    if (entry.type == type) return &entry;
  }
  return nullptr;
}

std::optional<std::string> ValidatePath(const std::optional<std::string>& path) {
  if (!path) return std::nullopt;
  std::string out = *path;
  if (out.empty() || out.front() != '/') out.insert(out.begin(), '/');
  if (out.back() != '/') out.push_back('/');
  return out;
}

PasswordItem NewPasswordItem() {
  PasswordItem item;
  item.type = passwordTypeForType(0);
  return item;
}

FilterItem::FilterItem(std::string name, std::vector<std::string> extensions, bool relative)
    : folderName(std::move(name)),
      extensionsArray(std::move(extensions)),
      nameIsRelativeToDownloadFolder(relative) {}

std::string FilterItem::extensions() const {
  std::string joined;
  for (std::size_t i = 0; i < extensionsArray.size(); ++i) {
    if (i) joined += "; ";
    joined += extensionsArray[i];
  }
  return joined;
}

void FilterItem::setExtensions(std::string_view text) {
  std::string compact = values::DeleteCharacters(text, CharacterSet::WhitespaceAndNewlines());
  std::vector<std::string> out;
  for (std::string& entry : values::SplitAtCharacters(compact, CharacterSet::FromCharacters(";"))) {
    if (entry.empty() || entry.front() != '.') entry.insert(entry.begin(), '.');
    if (values::Utf16Length(entry) < 2) continue;
    out.push_back(std::move(entry));
  }
  extensionsArray = std::move(out);
}

std::string FilterItem::description() const {
  return values::Format("FilterItem name:%@, extensions:%@", {folderName, extensions()});
}

values::Dictionary FilterItem::ToDictionary() const {
  values::Array extensions;
  for (const std::string& e : extensionsArray) extensions.emplace_back(e);
  return {{"name", values::Value(folderName)},
          {"extensions", values::Value(std::move(extensions))},
          {"relative", values::Value(nameIsRelativeToDownloadFolder)}};
}

Validated<std::string> ValidateFolderName(std::string_view name, bool relative,
                                          const std::vector<FilterItem>& others, const FilterItem* self) {
  std::string out = Trimmed(name);
  if (out.size() > 1 && out.front() == '.') out.erase(out.begin());
  if (out.empty() || out == ".") return Refusal(values::Localized("A filter may not have an empty name."));
  if (!relative && out.front() != '~' && out.front() != '/') out.insert(0, "~/");
  for (const FilterItem& other : others) {
    if (&other == self) continue;
    if (other.folderName == out)
      return Refusal(values::Localized("There is already a filter with that name."));
  }
  return out;
}

bool filterArrayIsEqualToArray(const std::vector<FilterItem>& a, const std::vector<FilterItem>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].folderName != b[i].folderName || a[i].extensions() != b[i].extensions()) return false;
  }
  return true;
}

std::vector<FilterItem> FiltersFromArray(const values::Value* stored) {
  std::vector<FilterItem> out;
  const values::Array* array = stored ? stored->AsArray() : nullptr;
  if (!array) return out;
  for (const values::Value& entry : *array) {
    if (!entry.IsDictionary()) continue;
    const values::Value* name = entry.Find("name");
    const values::Value* extensions = entry.Find("extensions");
    bool hasName = name && name->IsString();
    bool hasExtensions = extensions && extensions->IsArray();
    if (!hasName && !hasExtensions) continue;
    FilterItem filter;
    if (hasName) filter.folderName = *name->AsString();
    if (hasExtensions) {
      for (const values::Value& e : *extensions->AsArray()) {
        if (const std::string* s = e.AsString()) filter.extensionsArray.push_back(*s);
      }
    }
    if (const values::Value* relative = entry.Find("relative"))
      filter.nameIsRelativeToDownloadFolder = relative->BoolOr(true);
    out.push_back(std::move(filter));
  }
  return out;
}

ExtensionMapping ExtensionMapping::mappingWithDescription(std::string description, std::string extension,
                                                          std::string mimetypes, bool enabled) {
  return ExtensionMapping{std::move(description), std::move(extension), std::move(mimetypes), enabled};
}

std::string ExtensionMapping::stringIfEnabled() const {
  return enabled ? values::Format("%@; ", {extension}) : std::string();
}

std::vector<ExtensionMapping> arrayOfExtensionMappingsWithArrayOfDictionaries(const values::Value* stored) {
  std::vector<ExtensionMapping> out;
  const values::Array* array = stored ? stored->AsArray() : nullptr;
  if (!array) return out;
  for (const values::Value& entry : *array) {
    if (!entry.IsDictionary()) continue;
    ExtensionMapping mapping;
    mapping.typeDescription = entry.Find("description") ? entry.Find("description")->StringOr("") : "";
    mapping.extension = entry.Find("extension") ? entry.Find("extension")->StringOr("") : "";
    mapping.mimetypes = entry.Find("mimetypes") ? entry.Find("mimetypes")->StringOr("") : "";
    mapping.enabled = entry.Find("enabled") ? entry.Find("enabled")->BoolOr(false) : false;
    out.push_back(std::move(mapping));
  }
  return out;
}

values::Array arrayOfDictionariesWithArrayOfExtensionMappings(const std::vector<ExtensionMapping>& mappings) {
  values::Array out;
  for (const ExtensionMapping& m : mappings) {
    if (m.typeDescription.empty() || m.extension.empty() || m.mimetypes.empty()) continue;
    out.emplace_back(values::Dictionary{{"description", values::Value(m.typeDescription)},
                                        {"extension", values::Value(m.extension)},
                                        {"mimetypes", values::Value(m.mimetypes)},
                                        {"enabled", values::Value(m.enabled)}});
  }
  return out;
}

Validated<std::string> ValidateExtension(std::string_view extension, const std::vector<ExtensionMapping>& all,
                                         const ExtensionMapping* self) {
  std::string_view rest = extension;
  if (!rest.empty() && rest.front() == '.') rest.remove_prefix(1);
  std::string out = Trimmed(rest);
  for (const ExtensionMapping& other : all) {
    if (&other == self) continue;
    if (SameIgnoringCase(other.extension, out)) {
      return Refusal(
          values::Format(values::Localized("There is already an entry with the extension %@"), {out}));
    }
  }
  return out;
}

std::string DomainRow::domain() const {
  auto it = dict.find("domain");
  return it == dict.end() ? std::string() : it->second.StringOr("");
}

Validated<std::string> ValidateDomain(std::string_view domain, const std::vector<DomainRow>& sameList,
                                      const DomainRow* self) {
  std::string out = Trimmed(domain);
  for (const DomainRow& row : sameList) {
    if (&row == self) continue;
    if (SameIgnoringCase(row.domain(), out)) {
      return Refusal(values::Format(values::Localized("There is already an entry for the domain %@"), {out}));
    }
  }
  return out;
}

bool UsersCanRemove(std::string_view firstSelectedName) {
  return firstSelectedName != "Guest";
}

bool AddUserOKEnabled(std::string_view name) {
  return !Trimmed(name).empty();
}

Validated<std::string> ValidateUserName(std::string_view name) {
  std::string out = Trimmed(name);
  if (out.empty()) return Refusal(values::Localized("A user must have a name."));
  bool unsafe =
      out.front() == '.' || out.find('/') != std::string::npos || out.find('\0') != std::string::npos;
  // Bytes that are not UTF-8 would make a folder name no other program can show.
  if (!values::IsValidUtf8(out) || values::ContainsAnyOf(out, CharacterSet::Controls())) unsafe = true;
  if (unsafe) {
    return Refusal(
        values::Localized("A user name may not begin with a period or hold a slash or control characters, "
                          "since files the user sends "
                          "go into a folder of that name."));
  }
  return out;
}

std::size_t AddOrUpdateUser(std::vector<SharingUserRow>& users, const std::string& name,
                            const std::string& password, const std::vector<Folder>& folders) {
  for (std::size_t i = 0; i < users.size(); ++i) {
    if (users[i].name == name) {
      SetUserPassword(users[i], password);
      return i;
    }
  }
  SharingUserRow user;
  user.name = name;
  SetUserPassword(user, password);
  user.quota = -1;
  user.canUpload = true;
  for (const Folder& folder : folders) {
    Folder row = folder.copy();
    if (row.uid == kReceivedFilesFolderUID) row.view = row.downloadFrom = true;
    user.folders.push_back(std::move(row));
  }
  return AddSorted(users, std::move(user), [](const SharingUserRow& a, const SharingUserRow& b) {
    return values::CompareStrings(a.name, b.name, values::kCaseInsensitive) ==
           values::ComparisonResult::kLessThan;
  });
}

void SetUserPassword(SharingUserRow& user, const std::string& password) {
  user.clearpass = password;
  user.password = util::EncodeSharingPassword(password, user.name);
  user.passwordUnreadable = false;
}

}  // namespace prefs_window
