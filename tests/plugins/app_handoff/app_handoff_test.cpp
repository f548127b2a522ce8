// Finding and starting Truvane from a plug-in: a running program gets the event on its
// socket and nothing is started; otherwise the first program found in the plug-in's
// locations, then at "last location", is started with the event as its first event.
#include "plugins/app_handoff/app_handoff.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/prefs/preference_store.h"
#include "tests/plugins/support/recording_app.h"
#include "tests/support/temp_home.h"

namespace {

using appleevents::AppleEvent;
using appleevents::Descriptor;
using plugins::HandoffResult;
using plugintest::FakeProgram;

AppleEvent TestEvent(bool forLaunch) {
  AppleEvent event(values::FourCC("TrES"), values::FourCC("AUrl"));
  event.PutParam(appleevents::keys::kDirectObject, Descriptor::List({Descriptor::Text("http://h/f.zip")}));
  event.PutParam(values::FourCC("Refe"), Descriptor::Text(forLaunch ? "launch" : "running"));
  return event;
}

void SetLastLocation(const std::string& path) {
  prefs::PreferenceStore store(prefs::DefaultPreferencesFolder());
  if (path.empty()) {
    store.Remove(plugins::kLastLocationKey);
  } else {
    store.Set(plugins::kLastLocationKey, values::Value(path));
  }
  ASSERT_TRUE(store.Synchronize().ok());
}

class AppHandoffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir("handoff");
    folder_ = dir_ + "/events";
    SetLastLocation("");
  }
  plugins::HandoffOptions Options(std::vector<std::string> programs) {
    plugins::HandoffOptions options;
    options.locations.programs = std::move(programs);
    options.eventFolder = folder_;
    options.timeout = std::chrono::seconds(5);
    return options;
  }
  std::string dir_, folder_;
};

TEST_F(AppHandoffTest, RunningProgramGetsExactlyOneEventAndNothingIsStarted) {
  plugintest::RecordingApp app(folder_);
  ASSERT_TRUE(app.ok());
  FakeProgram installed(dir_ + "/prefix/bin/truvane");
  EXPECT_EQ(plugins::SendOrLaunch(TestEvent, Options({installed.path()})), HandoffResult::kSent);
  ASSERT_TRUE(app.WaitForEvents(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(app.Events().size(), 1u);
  EXPECT_EQ(app.Events()[0], TestEvent(false));
  EXPECT_FALSE(installed.Started());
}

TEST_F(AppHandoffTest, NotRunningStartsTheFirstLocationThatHoldsAProgram) {
  // A folder and a file that cannot run are not programs: they are passed over.
  std::filesystem::create_directories(dir_ + "/folder/truvane");
  testsupport::WriteFile(dir_ + "/plain/truvane", "not a program");
  FakeProgram second(dir_ + "/second/truvane");
  FakeProgram third(dir_ + "/third/truvane");
  FakeProgram last(dir_ + "/last/truvane");
  SetLastLocation(last.path());
  const auto options = Options({dir_ + "/missing/truvane", dir_ + "/folder/truvane", dir_ + "/plain/truvane",
                                second.path(), third.path()});
  EXPECT_EQ(plugins::SendOrLaunch(TestEvent, options), HandoffResult::kLaunched);
  const auto event = second.InitialEvent();
  ASSERT_TRUE(event.has_value());
  EXPECT_EQ(*event, TestEvent(true));
  EXPECT_FALSE(third.Started());
  EXPECT_FALSE(last.Started());
}

TEST_F(AppHandoffTest, LastLocationIsTheFallbackAndReadAtEveryHandOff) {
  const auto options = Options({dir_ + "/prefix/bin/truvane"});
  EXPECT_EQ(plugins::SendOrLaunch(TestEvent, options), HandoffResult::kNotFound);
  // Written by the program after the plug-in was loaded: the next hand-off sees it.
  FakeProgram moved(dir_ + "/moved/truvane");
  SetLastLocation(moved.path());
  EXPECT_EQ(plugins::SendOrLaunch(TestEvent, options), HandoffResult::kLaunched);
  EXPECT_TRUE(moved.InitialEvent().has_value());
}

TEST_F(AppHandoffTest, LastLocationNamingNothingFindsNothing) {
  SetLastLocation(dir_ + "/gone/truvane");
  EXPECT_EQ(plugins::SendOrLaunch(TestEvent, Options({})), HandoffResult::kNotFound);
  EXPECT_FALSE(plugins::LocateApplicationBundle({}).has_value());
}

TEST(AppHandoffLocations, BothPluginsLookInTheInstallPrefixThenTheUsersBin) {
  const std::vector<std::string> expected{plugins::InstalledProgramPath(),
                                          std::string(std::getenv("HOME")) + "/.local/bin/truvane"};
  EXPECT_EQ(plugins::BrowserPluginLocations().programs, expected);
  EXPECT_EQ(plugins::FinderPluginLocations().programs, expected);
  EXPECT_EQ(std::filesystem::path(plugins::InstalledProgramPath()).filename(), "truvane");
}

}  // namespace
