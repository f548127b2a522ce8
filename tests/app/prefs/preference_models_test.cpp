#include "app/prefs/models/preference_models.h"

#include <gtest/gtest.h>

#include "app/util/settings/sharing_password_scramble.h"

namespace {

using prefs_window::DomainRow;
using prefs_window::ExtensionMapping;
using prefs_window::FilterItem;
using prefs_window::Folder;
using prefs_window::SharingUserRow;
using prefs_window::ValidationError;

// The kept value of a validation, or the message of its refusal prefixed with "!".
template <typename T>
std::string Outcome(const prefs_window::Validated<T>& v) {
  if (const ValidationError* e = std::get_if<ValidationError>(&v)) {
    EXPECT_EQ(e->domain, "com.orbenix");
    EXPECT_EQ(e->code, 0);
    return "!" + e->message;
  }
  return std::get<T>(v);
}

TEST(PasswordModels, TypesAndPaths) {
  ASSERT_EQ(prefs_window::allPasswordTypes().size(), 3u);
  const std::pair<int, const char*> types[] = {{0, "http"}, {1, "ftp"}, {2, "https"}};
  for (const auto& [type, title] : types) {
    ASSERT_NE(prefs_window::passwordTypeForType(type), nullptr);
    EXPECT_EQ(prefs_window::passwordTypeForType(type)->title, title);
  }
  EXPECT_EQ(prefs_window::passwordTypeForType(3), nullptr);
  EXPECT_EQ(prefs_window::NewPasswordItem().type->title, "http");
  EXPECT_EQ(prefs_window::NewPasswordItem().path, "/");

  const std::pair<std::optional<std::string>, std::optional<std::string>> paths[] = {
      {std::nullopt, std::nullopt},
      {"", "/"},
      {"/", "/"},
      {"pub", "/pub/"},
      {"/pub", "/pub/"},
      {"pub/", "/pub/"},
  };
  for (const auto& [in, out] : paths) EXPECT_EQ(prefs_window::ValidatePath(in), out) << in.value_or("(none)");
}

TEST(FilterItem, SetExtensionsCleansTypedText) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {" zip; .gz ; ; .", {".zip", ".gz"}},
      {"mp3;\n m4a;wav", {".mp3", ".m4a", ".wav"}},
      {"", {}},
      {"t a r", {".tar"}},
      {".a;b", {".a", ".b"}},
  };
  for (const auto& [text, expected] : cases) {
    FilterItem filter;
    filter.setExtensions(text);
    EXPECT_EQ(filter.extensionsArray, expected) << text;
  }
  FilterItem filter("Music", {".mp3", ".wav"}, true);
  EXPECT_EQ(filter.extensions(), ".mp3; .wav");
  EXPECT_EQ(filter.description(), "FilterItem name:Music, extensions:.mp3; .wav");
  EXPECT_TRUE(FilterItem().nameIsRelativeToDownloadFolder);
}

TEST(FilterItem, FolderNameValidation) {
  const std::vector<FilterItem> others{FilterItem("Music", {".mp3"}, true),
                                       FilterItem("~/Films", {".avi"}, false)};
  struct Case {
    const char* name;
    bool relative;
    const char* outcome;
  };
  const Case cases[] = {
      {" Images \n", true, "Images"},
      {".hidden", true, "hidden"},
      {".", true, "!A filter may not have an empty name."},
      {"  ", true, "!A filter may not have an empty name."},
      {"Films", false, "~/Films"},  // then equal to the other filter's name
      {"Work", false, "~/Work"},
      {"/tmp/Work", false, "/tmp/Work"},
      {"~/Work", false, "~/Work"},
      {"Music", true, "!There is already a filter with that name."},
      {"music", true, "music"},  // exact comparison
  };
  for (const Case& c : cases) {
    std::string expected = c.outcome;
    if (std::string(c.name) == "Films") expected = "!There is already a filter with that name.";
    EXPECT_EQ(Outcome(prefs_window::ValidateFolderName(c.name, c.relative, others)), expected) << c.name;
  }
  // A filter is not a duplicate of itself while its own name is edited.
  EXPECT_EQ(Outcome(prefs_window::ValidateFolderName("Music", true, others, &others[0])), "Music");
}

TEST(FilterItem, ArraysCompareByNameAndJoinedExtensions) {
  const std::vector<FilterItem> a{FilterItem("A", {".x", ".y"}, true), FilterItem("B", {}, true)};
  std::vector<FilterItem> b = a;
  EXPECT_TRUE(prefs_window::filterArrayIsEqualToArray(a, b));
  b[1].nameIsRelativeToDownloadFolder = false;  // not compared
  EXPECT_TRUE(prefs_window::filterArrayIsEqualToArray(a, b));
  b[0].extensionsArray = {".y", ".x"};
  EXPECT_FALSE(prefs_window::filterArrayIsEqualToArray(a, b));
  EXPECT_FALSE(prefs_window::filterArrayIsEqualToArray(a, {a[0]}));
  EXPECT_FALSE(prefs_window::filterArrayIsEqualToArray(a, {a[1], a[0]}));
}

TEST(FilterItem, StoredFiltersReadBack) {
  values::Value stored(values::Array{
      values::Dictionary{{"name", "Music"}, {"extensions", values::Array{".mp3"}}, {"relative", false}},
      values::Dictionary{{"name", "Only a name"}},
      values::Dictionary{{"extensions", values::Array{".x"}}},
      values::Dictionary{{"relative", true}},
      "not a filter",
  });
  std::vector<FilterItem> filters = prefs_window::FiltersFromArray(&stored);
  ASSERT_EQ(filters.size(), 3u);
  EXPECT_EQ(filters[0], FilterItem("Music", {".mp3"}, false));
  EXPECT_EQ(filters[1], FilterItem("Only a name", {}, true));
  EXPECT_EQ(filters[2], FilterItem("", {".x"}, true));
  EXPECT_EQ(values::Value(filters[0].ToDictionary()), stored[0]);
}

TEST(ExtensionMapping, ConversionsAndEnabledText) {
  std::vector<ExtensionMapping> mappings{
      ExtensionMapping::mappingWithDescription("Zip archive", "zip", "application/zip", true),
      ExtensionMapping::mappingWithDescription("", "gz", "application/gzip", false),
      ExtensionMapping::mappingWithDescription("Tar", "tar", "", true),
  };
  values::Value stored(prefs_window::arrayOfDictionariesWithArrayOfExtensionMappings(mappings));
  ASSERT_EQ(stored.Count(), 1u);  // the two lacking a description or MIME types are not stored
  EXPECT_EQ(stored[0], values::Value(values::Dictionary{{"description", "Zip archive"},
                                                        {"extension", "zip"},
                                                        {"mimetypes", "application/zip"},
                                                        {"enabled", true}}));
  EXPECT_EQ(prefs_window::arrayOfExtensionMappingsWithArrayOfDictionaries(&stored),
            std::vector<ExtensionMapping>{mappings[0]});
  EXPECT_EQ(mappings[0].stringIfEnabled(), "zip; ");
  EXPECT_EQ(mappings[1].stringIfEnabled(), "");
  EXPECT_TRUE(ExtensionMapping().enabled);
  EXPECT_EQ(ExtensionMapping().typeDescription, "");
}

TEST(ExtensionMapping, ExtensionValidation) {
  const std::vector<ExtensionMapping> all{
      ExtensionMapping::mappingWithDescription("Zip", "zip", "a/b", true),
      ExtensionMapping::mappingWithDescription("Disk", "dmg", "a/c", true)};
  const std::tuple<const char*, const ExtensionMapping*, const char*> cases[] = {
      {".sit", nullptr, "sit"},
      {" hqx ", nullptr, "hqx"},
      {".ZIP", nullptr, "!There is already an entry with the extension ZIP"},
      {"zip", &all[0], "zip"},  // its own extension
      {"Zip", &all[1], "!There is already an entry with the extension Zip"},
  };
  for (const auto& [text, self, outcome] : cases) {
    EXPECT_EQ(Outcome(prefs_window::ValidateExtension(text, all, self)), outcome) << text;
  }
}

TEST(DomainRows, EachListChecksOnlyItself) {
  const std::vector<DomainRow> blocked{{{{"domain", "ads.example.com"}}}};
  const std::vector<DomainRow> limits{{{{"domain", "files.example.org"}, {"limit", 2}}}};
  // The same name in the other list does not matter.
  EXPECT_EQ(Outcome(prefs_window::ValidateDomain(" files.example.org ", blocked)), "files.example.org");
  EXPECT_EQ(Outcome(prefs_window::ValidateDomain("ADS.example.com", blocked)),
            "!There is already an entry for the domain ADS.example.com");
  EXPECT_EQ(Outcome(prefs_window::ValidateDomain("ads.example.com", limits)), "ads.example.com");
  EXPECT_EQ(Outcome(prefs_window::ValidateDomain("Files.Example.org", limits)),
            "!There is already an entry for the domain Files.Example.org");
  EXPECT_EQ(Outcome(prefs_window::ValidateDomain("files.example.org", limits, &limits[0])),
            "files.example.org");
}

TEST(SortedLists, AddAnswersTheNewRowsPlace) {
  std::vector<std::string> rows{"b", "d"};
  auto less = [](const std::string& x, const std::string& y) { return x < y; };
  EXPECT_EQ(prefs_window::AddSorted(rows, std::string("c"), less), 1u);
  EXPECT_EQ(prefs_window::AddSorted(rows, std::string("a"), less), 0u);
  EXPECT_EQ(prefs_window::AddSorted(rows, std::string("e"), less), 4u);
  EXPECT_EQ(rows, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
}

TEST(SharingUsers, GuestStaysAndOKNeedsAName) {
  EXPECT_FALSE(prefs_window::UsersCanRemove("Guest"));
  EXPECT_TRUE(prefs_window::UsersCanRemove("guest"));
  EXPECT_TRUE(prefs_window::UsersCanRemove("anna"));
  const std::pair<const char*, bool> names[] = {
      {"", false}, {"  \n\t", false}, {" a ", true}, {"anna", true}};
  for (const auto& [name, ok] : names) EXPECT_EQ(prefs_window::AddUserOKEnabled(name), ok) << name;
}

TEST(SharingUsers, NamesThatWouldBeUnsafeFolderNamesAreRefused) {
  const std::string refused =
      "!A user name may not begin with a period or hold a slash or control characters, since "
      "files the user sends go into a folder of that name.";
  const std::pair<std::string, std::string> cases[] = {
      {"anna", "anna"},
      {" Bob Smith ", "Bob Smith"},
      {"Zoë", "Zoë"},
      {"a.b", "a.b"},
      {"", "!A user must have a name."},
      {".", refused},
      {"..", refused},
      {".hidden", refused},
      {"a/b", refused},
      {"../etc", refused},
      {std::string("a\0b", 3), refused},
      {"a\x01z", refused},
      {"tab\there", refused},
      {"del\x7f", refused},
      {"x\xC2\x85y", refused},  // a control character outside ASCII
      {"\xff\xfe", refused},    // not UTF-8
  };
  for (const auto& [name, outcome] : cases)
    EXPECT_EQ(Outcome(prefs_window::ValidateUserName(name)), outcome) << name;
}

TEST(SharingUsers, AddingAUserOrReplacingAPassword) {
  const std::vector<Folder> folders{{0x100000, "Work", true, true}, {22, "Received Files", false, false}};
  std::vector<SharingUserRow> users;
  SharingUserRow guest;
  guest.name = "Guest";
  guest.quota = 5;
  guest.canUpload = false;
  users.push_back(guest);

  EXPECT_EQ(prefs_window::AddOrUpdateUser(users, "anna", "pw", folders), 0u);  // sorted ignoring case
  const SharingUserRow& anna = users[0];
  EXPECT_EQ(anna.clearpass, "pw");
  EXPECT_EQ(anna.password, util::EncodeSharingPassword("pw", "anna"));
  EXPECT_EQ(anna.quota, -1);
  EXPECT_TRUE(anna.canUpload);
  EXPECT_EQ(anna.folders,
            (std::vector<Folder>{{0x100000, "Work", false, false}, {22, "Received Files", true, true}}));

  // An existing name: only the password changes.
  EXPECT_EQ(prefs_window::AddOrUpdateUser(users, "Guest", "secret", folders), 1u);
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[1].quota, 5);
  EXPECT_FALSE(users[1].canUpload);
  EXPECT_TRUE(users[1].folders.empty());
  EXPECT_EQ(users[1].clearpass, "secret");
  EXPECT_EQ(util::DecodeSharingPassword(users[1].password, "Guest"), "secret");
}

TEST(FolderRow, CopyAllowsNothing) {
  Folder f{0x100001, "Docs", true, true};
  EXPECT_EQ(f.copy(), (Folder{0x100001, "Docs", false, false}));
}

}  // namespace
