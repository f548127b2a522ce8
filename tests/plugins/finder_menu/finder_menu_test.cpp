// The file manager's menu plug-in driven as the file manager drives it: the factory, the
// interface query, the command for a selection (or none), choosing it, the settings that
// hide it and the notification after which they are read again, and the end of the
// instance.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "app/util/text/english_texts.h"
#include "platform/prefs/preference_store.h"
#include "platform/runtime/distributed_notification_center.h"
#include "plugins/finder_menu/cm_interface.h"
#include "plugins/finder_menu/menu_command.h"
#include "tests/plugins/support/recording_app.h"
#include "tests/support/temp_home.h"

namespace {

using appleevents::Descriptor;

struct Plugin {
  Plugin() {
    handle = ::dlopen(TRUVANE_FINDER_MENU_PATH, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << ::dlerror();
    factory = reinterpret_cast<TruvaneCMFactoryProc>(::dlsym(handle, kTruvaneCMFactorySymbol));
    count = reinterpret_cast<int (*)()>(::dlsym(handle, "TruvaneCMPlugin_InstanceCount"));
  }
  void* handle = nullptr;
  TruvaneCMFactoryProc factory = nullptr;
  int (*count)() = nullptr;
};

Plugin& Lib() {
  static Plugin plugin;
  return plugin;
}

const ContextualMenuInterfaceStruct* Table(void* instance) {
  return *static_cast<ContextualMenuInterfaceStruct**>(instance);
}

void SetPreference(const char* key, std::optional<bool> value) {
  prefs::PreferenceStore store(prefs::DefaultPreferencesFolder());
  if (value) {
    store.Set(key, values::Value(*value));
  } else {
    store.Remove(key);
  }
  ASSERT_TRUE(store.Synchronize().ok());
}

class FinderMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Lib().factory);
    SetPreference("contextshowuploadmenu", std::nullopt);
    SetPreference("advanced_mode", std::nullopt);
    dir_ = testsupport::MakeTempDir("selection");
    testsupport::WriteFile(dir_ + "/report.pdf", "pdf");
    std::filesystem::create_directories(dir_ + "/Folder");
    ::mkfifo((dir_ + "/pipe").c_str(), 0600);
    instance_ = Lib().factory(nullptr, &kContextualMenuTypeID);
    ASSERT_NE(instance_, nullptr);
    void* menu = nullptr;
    ASSERT_EQ(Table(instance_)->QueryInterface(instance_, kContextualMenuInterfaceID, &menu), S_OK);
    ASSERT_EQ(menu, instance_);
    Table(instance_)->Release(instance_);  // the reference the query added
  }
  void TearDown() override {
    if (instance_) {
      EXPECT_EQ(Table(instance_)->Release(instance_), 0u);
    }
    EXPECT_EQ(Lib().count(), 0);
  }
  Descriptor Selection(const std::vector<std::string>& names) {
    Descriptor list = Descriptor::List();
    for (const auto& n : names) list.Append(Descriptor::FileRef(dir_ + "/" + n));
    return list;
  }
  // The titles of the commands the plug-in adds for the selection.
  std::vector<std::string> Titles(const Descriptor& selection) {
    Descriptor commands = Descriptor::List();
    EXPECT_EQ(Table(instance_)->ExamineContext(instance_, &selection, &commands), noErr);
    std::vector<std::string> titles;
    for (const Descriptor& c : commands.Items()) {
      EXPECT_EQ(c.Find(findermenu::kCommandIDKey)->IntegerValue(),
                static_cast<std::int32_t>(findermenu::kUploadCommandID));
      titles.push_back(c.Find(findermenu::kCommandNameKey)->data());
    }
    return titles;
  }
  std::string dir_;
  void* instance_ = nullptr;
};

TEST_F(FinderMenuTest, OtherTypesAndInterfacesAreRefused) {
  const TruvaneUUIDBytes other = {{1}};
  EXPECT_EQ(Lib().factory(nullptr, &other), nullptr);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(Table(instance_)->QueryInterface(instance_, other, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  void* unknown = nullptr;
  EXPECT_EQ(Table(instance_)->QueryInterface(instance_, kIUnknownInterfaceID, &unknown), S_OK);
  EXPECT_EQ(Table(instance_)->Release(instance_), 1u);
  EXPECT_EQ(Lib().count(), 1);
}

TEST_F(FinderMenuTest, CommandTitleNamesOneItemOrCountsThemAll) {
  const struct {
    std::vector<std::string> names;
    std::vector<std::string> titles;
  } cases[] = {
      {{"report.pdf"}, {"Upload \xE2\x80\x9Creport.pdf\xE2\x80\x9D to RapidShare"}},
      {{"Folder"},
       {"Upload \xE2\x80\x9C"
        "Folder\xE2\x80\x9D to RapidShare"}},
      {{"pipe"}, {}},
      {{"pipe", "report.pdf"}, {"Upload 2 Items to RapidShare"}},
      {{"pipe", "pipe", "Folder"}, {"Upload 3 Items to RapidShare"}},
      {{"missing"}, {}},
      {{}, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Titles(Selection(c.names)), c.titles) << (c.names.empty() ? "" : c.names[0]);
  }
  Descriptor notAList = Descriptor::FileRef(dir_ + "/report.pdf");
  EXPECT_TRUE(Titles(notAList).empty());
}

TEST_F(FinderMenuTest, ChoosingTheCommandSendsTheWholeSelection) {
  plugintest::RecordingApp app;
  ASSERT_TRUE(app.ok());
  Descriptor selection = Selection({"pipe", "report.pdf"});
  // Another command is not ours.
  EXPECT_EQ(Table(instance_)->HandleSelection(instance_, &selection, 7), noErr);
  EXPECT_EQ(Table(instance_)->HandleSelection(instance_, &selection,
                                              static_cast<std::int32_t>(findermenu::kUploadCommandID)),
            noErr);
  ASSERT_TRUE(app.WaitForEvents(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(app.Events().size(), 1u);
  const appleevents::AppleEvent event = app.Events()[0];
  EXPECT_EQ(event.event_class(), values::FourCC("TrES"));
  EXPECT_EQ(event.event_id(), values::FourCC("STRa"));
  ASSERT_NE(event.Parameters().Find(values::FourCC("----")), nullptr);
  EXPECT_EQ(*event.Parameters().Find(values::FourCC("----")), selection);
}

TEST_F(FinderMenuTest, NotRunningAndNotFoundNothingHappens) {
  Descriptor selection = Selection({"report.pdf"});
  EXPECT_EQ(Table(instance_)->HandleSelection(instance_, &selection,
                                              static_cast<std::int32_t>(findermenu::kUploadCommandID)),
            noErr);
}

TEST_F(FinderMenuTest, SettingsHideTheCommandAndTheNotificationRefreshesThem) {
  const Descriptor selection = Selection({"report.pdf"});
  for (const char* key : {"contextshowuploadmenu", "advanced_mode"}) {
    SCOPED_TRACE(key);
    Table(instance_)->Release(instance_);
    SetPreference(key, false);
    instance_ = Lib().factory(nullptr, &kContextualMenuTypeID);
    EXPECT_TRUE(Titles(selection).empty());
    SetPreference(key, true);
    // Read again only after the application says the settings changed.
    EXPECT_TRUE(Titles(selection).empty());
    ASSERT_EQ(runtime::DistributedNotificationCenter::Post(runtime::kContextPrefsChangeNotification), 0);
    ASSERT_TRUE(plugintest::Eventually([&] { return !Titles(selection).empty(); }));
    SetPreference(key, std::nullopt);
  }
}

}  // namespace

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

int RunShell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The plug-in cannot read the application's text table; its own copy must say the same.
TEST(FinderMenuTexts, TitlesAreTheApplicationsEnglishTexts) {
  std::map<std::string_view, std::string_view> table;
  for (const auto& [key, text] : util::EnglishTextsOfSymbolicKeys()) table[key] = text;
  EXPECT_EQ(findermenu::UploadTitleForName("%@"), table["kUploadNamedToRapidShare"]);
  EXPECT_EQ(findermenu::UploadTitleForCount(0),
            std::string(table["kUploadMultipleToRapidShare"]).replace(7, 2, "0"));
}

// The file manager's action as installed: the service menu and the script run the host
// with the selection, and the host chooses the plug-in's command.
TEST(FinderMenuInstall, InstalledActionsRunTheHostWhichSendsTheSelection) {
  const std::string data = testsupport::TempHome() + "/.local/share";
  ASSERT_EQ(RunShell(Quote(TRUVANE_FINDER_INSTALL_SCRIPT) + " --plugin " + Quote(TRUVANE_FINDER_MENU_PATH) +
                     " --host " + Quote(TRUVANE_FINDER_HOST_PATH) + " >/dev/null"),
            0);
  const std::string host =
      data + "/Truvane/Contextual Menu Items/Truvane CMM.plugin/Contents/Linux/truvane-finder-host";
  const std::string desktop = testsupport::ReadFile(data + "/kio/servicemenus/truvane-upload.desktop");
  EXPECT_NE(desktop.find("Exec=\"" + host + "\" %F"), std::string::npos) << desktop;
  const std::string script = data + "/nautilus/scripts/Upload to RapidShare with Truvane";
  ASSERT_EQ(::access(script.c_str(), X_OK), 0);

  const std::string dir = testsupport::MakeTempDir("picked");
  testsupport::WriteFile(dir + "/a file.txt", "a");
  std::filesystem::create_directories(dir + "/sub");
  plugintest::RecordingApp app;
  ASSERT_TRUE(app.ok());
  // Nautilus runs the script in the folder with the names as arguments.
  ASSERT_EQ(RunShell("cd " + Quote(dir) + " && " + Quote(script) + " 'a file.txt' sub >/dev/null"), 0);
  ASSERT_TRUE(app.WaitForEvents(1));
  const appleevents::AppleEvent event = app.Events()[0];
  const auto* items = event.Parameters().Find(values::FourCC("----"));
  ASSERT_NE(items, nullptr);
  ASSERT_EQ(items->Count(), 2u);
  EXPECT_EQ(items->Items()[0].data(), dir + "/a file.txt");
  EXPECT_EQ(items->Items()[1].data(), dir + "/sub");

  // A selection the plug-in offers nothing for: the host says so and sends nothing.
  ::mkfifo((dir + "/pipe").c_str(), 0600);
  EXPECT_EQ(RunShell(Quote(host) + " " + Quote(dir + "/pipe") + " 2>/dev/null"), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(app.Events().size(), 1u);
}

}  // namespace
