#include "platform/prefs/preference_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <dirent.h>

#include <algorithm>
#include <thread>

#include "platform/prefs/preference_file.h"
#include "platform/prefs/user_defaults.h"
#include "platform/values/plist.h"
#include "platform/values/plist_xml.h"
#include "tests/support/fifo_in_place.h"
#include "tests/support/temp_home.h"

using namespace prefs;
using values::Array;
using values::Bytes;
using values::Data;
using values::Dictionary;
using values::Number;
using values::Value;

namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (auto* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

class PreferenceStoreTest : public ::testing::Test {
 protected:
  std::string folder = testsupport::MakeTempDir("prefs") + "/Truvane";
  std::vector<std::string> log;

  std::unique_ptr<PreferenceStore> Open() {
    auto store = std::make_unique<PreferenceStore>(folder, "testhost");
    store->SetLogHook([this](const std::string& line) { log.push_back(line); });
    return store;
  }
  std::string AppFile() const { return folder + "/com.orbenix.Truvane.plist"; }
};

TEST_F(PreferenceStoreTest, AFifoInTheDomainFilesPlaceIsRefusedNotWaitedOn) {
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  ASSERT_TRUE(testsupport::MakeFifo(AppFile()));
  EXPECT_TRUE(testsupport::ReturnsWithoutWaiting(AppFile(), [&] {
    const DomainFile read = ReadDomainFile(AppFile());
    EXPECT_EQ(read.state, DomainFile::State::kFailed);
    EXPECT_NE(read.error.find("not a regular file"), std::string::npos) << read.error;
  }));
}

TEST_F(PreferenceStoreTest, ValuesPersistAcrossAReopen) {
  const Value dict{{"limit", 65536}, {"status", false}};
  {
    auto store = Open();
    store->Set("Queue Length", Number::Int16(6));
    store->Set("autoStartQueue", true);
    store->Set("floaterAlpha", 0.5f);
    store->Set("User agent", "Mozilla/5.0");
    store->Set("Default folder alias", Data{Bytes{0, 1, 2, 255}});
    store->Set("blackList", Array{"a.example", "b.example"});
    store->Set("Bandwidth settings", dict);
    store->Set("Bytes transfered", Number::Int64(-9223372036854775807 - 1));
    // Not written before synchronise.
    EXPECT_FALSE(Exists(AppFile()));
    ASSERT_TRUE(store->Synchronize().ok());
  }
  struct stat st {};
  ASSERT_EQ(::stat(AppFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // may hold keys and passwords

  auto store = Open();
  // Widths are not recorded in the file: integers come back 64-bit.
  auto queueLength = store->CopyValue("Queue Length");
  ASSERT_TRUE(queueLength);
  EXPECT_EQ(queueLength->AsNumber()->kind, Number::Kind::kInt64);
  EXPECT_EQ(store->GetInteger("Queue Length"), 6);
  EXPECT_EQ(store->GetBool("autoStartQueue"), true);
  EXPECT_EQ(store->GetDouble("floaterAlpha"), 0.5);
  EXPECT_EQ(store->GetString("User agent"), "Mozilla/5.0");
  EXPECT_EQ(store->GetData("Default folder alias"), (Bytes{0, 1, 2, 255}));
  EXPECT_EQ(store->GetArray("blackList"), (Array{"a.example", "b.example"}));
  EXPECT_EQ(Value(*store->GetDictionary("Bandwidth settings")), dict);
  EXPECT_EQ(store->GetInteger("Bytes transfered"), -9223372036854775807 - 1);
  EXPECT_EQ(store->CopyAll().Count(), 8u);
  EXPECT_TRUE(log.empty());
}

TEST_F(PreferenceStoreTest, ReadsSeeSetsAtOnceAndKeepTheWidthInMemory) {
  auto store = Open();
  store->Set("Share port", Number::Int16(2550));
  EXPECT_EQ(store->CopyValue("Share port")->AsNumber()->kind, Number::Kind::kInt16);
  store->Set("Share port", Value());  // null removes
  EXPECT_FALSE(store->CopyValue("Share port"));
  EXPECT_FALSE(store->CopyValue("never set"));
}

TEST_F(PreferenceStoreTest, TypedReadsConvertWhatTheyCan) {
  auto store = Open();
  store->SetMultiple(
      {{"b", true}, {"n", 3}, {"r", 2.75}, {"s", "YES"}, {"t", "17"}, {"z", "zzz"}, {"d", Data{}}});
  const struct {
    const char* key;
    std::optional<bool> asBool;
    std::optional<std::int64_t> asInteger;
    std::optional<double> asDouble;
    std::optional<std::string> asString;
  } cases[] = {
      {"b", true, 1, 1.0, std::nullopt},
      {"n", true, 3, 3.0, std::nullopt},
      {"r", true, 2, 2.75, std::nullopt},
      {"s", true, std::nullopt, std::nullopt, "YES"},
      {"t", true, 17, 17.0, "17"},
      {"z", std::nullopt, std::nullopt, std::nullopt, "zzz"},
      {"d", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
      {"missing", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(store->GetBool(c.key), c.asBool);
    EXPECT_EQ(store->GetInteger(c.key), c.asInteger);
    EXPECT_EQ(store->GetDouble(c.key), c.asDouble);
    EXPECT_EQ(store->GetString(c.key), c.asString);
  }
  EXPECT_FALSE(store->GetArray("s"));
  EXPECT_FALSE(store->GetDictionary("s"));
  EXPECT_EQ(store->GetData("d"), Bytes{});
}

TEST_F(PreferenceStoreTest, SetMultipleAndRemoveReachTheFile) {
  {
    auto store = Open();
    store->SetMultiple({{"a", 1}, {"b", 2}, {"c", 3}});
    ASSERT_TRUE(store->Synchronize().ok());
    store->SetMultiple({{"d", 4}, {"a", 10}}, {"b", "never there"});
    store->Remove("c");
    EXPECT_EQ(store->CopyAll(), (Value{{"a", 10}, {"d", 4}}));
    ASSERT_TRUE(store->Synchronize().ok());
  }
  auto read = values::ReadPropertyListFile(AppFile());
  ASSERT_TRUE(read) << read.error();
  EXPECT_EQ(*read, (Value{{"a", 10}, {"d", 4}}));
}

TEST_F(PreferenceStoreTest, RegisteredDefaultsExistOnlyInTheUserDefaultsView) {
  auto store = Open();
  UserDefaults defaults(*store);
  defaults.RegisterDefaults({{"confirm removals", true}, {"BounceCount", 3}, {"downloadMode", 1}});
  defaults.RegisterDefaults({{"downloadMode", 2}});  // later registrations win

  EXPECT_FALSE(store->CopyValue("confirm removals"));
  EXPECT_TRUE(store->CopyAll().AsDictionary()->empty());
  EXPECT_TRUE(defaults.BoolForKey("confirm removals"));
  EXPECT_EQ(defaults.IntegerForKey("BounceCount"), 3);
  EXPECT_EQ(defaults.IntegerForKey("downloadMode"), 2);
  EXPECT_FALSE(defaults.BoolForKey("unknown"));
  EXPECT_EQ(defaults.IntegerForKey("unknown"), 0);

  store->Set("confirm removals", false);
  EXPECT_FALSE(defaults.BoolForKey("confirm removals"));
  EXPECT_EQ(defaults.DictionaryRepresentation().size(), 3u);
  defaults.RemoveObject("confirm removals");
  EXPECT_TRUE(defaults.BoolForKey("confirm removals"));

  // Registered values are never written.
  defaults.SetObject("hideHiddenFiles", true);
  ASSERT_TRUE(defaults.Synchronize().ok());
  EXPECT_EQ(*values::ReadPropertyListFile(AppFile()), (Value{{"hideHiddenFiles", true}}));
}

TEST_F(PreferenceStoreTest, AnUnreadableFileIsMovedAsideAndKept) {
  const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>a</key></plist>";
  testsupport::WriteFile(AppFile(), garbage);
  auto store = Open();
  EXPECT_TRUE(store->CopyAll().AsDictionary()->empty());
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("moved aside"), std::string::npos) << log[0];

  auto files = FilesIn(folder);
  std::string aside;
  for (const auto& f : files) {
    if (f.starts_with("com.orbenix.Truvane.plist.unreadable-")) aside = folder + "/" + f;
  }
  ASSERT_FALSE(aside.empty());
  EXPECT_EQ(testsupport::ReadFile(aside), garbage);

  store->Set("k", "v");
  ASSERT_TRUE(store->Synchronize().ok());
  EXPECT_EQ(testsupport::ReadFile(aside), garbage);
  EXPECT_EQ(*values::ReadPropertyListFile(AppFile()), (Value{{"k", "v"}}));
}

TEST_F(PreferenceStoreTest, AFileThatIsNotADictionaryIsUnreadableToo) {
  testsupport::WriteFile(AppFile(), std::string(values::WriteXmlPropertyList(Array{1}).value()));
  auto store = Open();
  EXPECT_TRUE(store->CopyAll().AsDictionary()->empty());
  ASSERT_EQ(log.size(), 1u);
  EXPECT_FALSE(Exists(AppFile()));
}

TEST_F(PreferenceStoreTest, AFileDamagedWhileOpenIsMovedAsideAndOurValuesWritten) {
  auto store = Open();
  store->Set("kept", 1);
  ASSERT_TRUE(store->Synchronize().ok());
  testsupport::WriteFile(AppFile(), "garbage");
  store->Set("new", 2);
  ASSERT_TRUE(store->Synchronize().ok());
  EXPECT_EQ(*values::ReadPropertyListFile(AppFile()), (Value{{"kept", 1}, {"new", 2}}));
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(PreferenceStoreTest, AFileThatCannotBeReadIsNeverReplaced) {
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(AppFile().c_str(), 0700), 0);  // a folder where the file should be
  auto store = Open();
  store->Set("k", 1);
  EXPECT_EQ(store->GetInteger("k"), 1);
  EXPECT_FALSE(store->Synchronize().ok());
  struct stat st {};
  ASSERT_EQ(::stat(AppFile().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_FALSE(log.empty());
}

TEST_F(PreferenceStoreTest, SynchronizeMergesChangesFromAnotherWriter) {
  auto ours = Open();
  auto theirs = Open();  // another process sharing the domain
  ours->SetMultiple({{"shared", "ours"}, {"onlyOurs", 1}, {"removedByThem", 1}});
  ASSERT_TRUE(ours->Synchronize().ok());

  EXPECT_EQ(theirs->GetString("shared"), "ours");
  theirs->Set("shared", "theirs");
  theirs->Set("onlyTheirs", 2);
  theirs->Remove("removedByThem");
  ours->Set("pendingOurs", 3);
  ASSERT_TRUE(theirs->Synchronize().ok());

  // Until we synchronise, we read our own view.
  EXPECT_EQ(ours->GetString("shared"), "ours");
  ASSERT_TRUE(ours->Synchronize().ok());
  const Value expected{{"shared", "theirs"}, {"onlyOurs", 1}, {"onlyTheirs", 2}, {"pendingOurs", 3}};
  EXPECT_EQ(ours->CopyAll(), expected);
  EXPECT_EQ(*values::ReadPropertyListFile(AppFile()), expected);
  ASSERT_TRUE(theirs->Synchronize().ok());
  EXPECT_EQ(theirs->CopyAll(), expected);
}

TEST_F(PreferenceStoreTest, ConcurrentSetsLoseNothing) {
  constexpr int kThreads = 8, kKeys = 200;
  {
    auto store = Open();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (int k = 0; k < kKeys; ++k) {
          store->Set("t" + std::to_string(t) + "k" + std::to_string(k), t * 1000 + k);
          EXPECT_EQ(store->GetInteger("t" + std::to_string(t) + "k" + std::to_string(k)), t * 1000 + k);
          if (k % 50 == 0) {
            EXPECT_TRUE(store->Synchronize().ok());
          }
        }
      });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(store->Synchronize().ok());
  }
  auto store = Open();
  const Value all = store->CopyAll();
  ASSERT_EQ(all.Count(), static_cast<std::size_t>(kThreads * kKeys));
  for (int t = 0; t < kThreads; ++t) {
    for (int k = 0; k < kKeys; ++k) {
      ASSERT_EQ(all.Find("t" + std::to_string(t) + "k" + std::to_string(k))->Int64Or(-1), t * 1000 + k);
    }
  }
}

TEST_F(PreferenceStoreTest, DomainsAndScopesAreSeparateFiles) {
  auto store = Open();
  store->Set("systemplug", true, kApplicationDomain, Scope::kCurrentHost);
  store->Set("plugin back", true, "com.example.Plugin");
  EXPECT_FALSE(store->CopyValue("systemplug"));
  EXPECT_FALSE(store->CopyValue("plugin back"));
  ASSERT_TRUE(store->SynchronizeAll().ok());
  EXPECT_EQ(store->PathFor(kApplicationDomain, Scope::kCurrentHost),
            folder + "/ByHost/com.orbenix.Truvane.testhost.plist");
  EXPECT_EQ(*values::ReadPropertyListFile(folder + "/ByHost/com.orbenix.Truvane.testhost.plist"),
            (Value{{"systemplug", true}}));
  EXPECT_EQ(*values::ReadPropertyListFile(folder + "/com.example.Plugin.plist"),
            (Value{{"plugin back", true}}));
  EXPECT_FALSE(Exists(AppFile()));  // nothing was stored there

  auto reopened = Open();
  EXPECT_EQ(reopened->GetBool("systemplug", kApplicationDomain, Scope::kCurrentHost), true);
}

TEST_F(PreferenceStoreTest, ANameThatCannotBeAFileStaysInMemory) {
  auto store = Open();
  store->Set("k", 1, "../escape");
  EXPECT_EQ(store->GetInteger("k", "../escape"), 1);
  EXPECT_FALSE(store->Synchronize("../escape").ok());
  EXPECT_FALSE(Exists(folder + "/../escape.plist"));
}

TEST(PreferenceFolder, FollowsXdgConfigHome) {
  EXPECT_EQ(DefaultPreferencesFolder(), std::string(std::getenv("XDG_CONFIG_HOME")) + "/Truvane");
}

}  // namespace
