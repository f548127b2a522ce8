#include "platform/desktop/process_launcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "tests/support/temp_home.h"

namespace {

TEST(ProcessLauncher, PassesArgumentsVerbatimAndReportsTheExitCode) {
  const std::string dir = testsupport::MakeTempDir("launch");
  const std::string out = dir + "/out";
  // The awkward argument must reach the program untouched: no shell reads it.
  const std::string awkward = "a \"quoted\" $HOME name;rm";
  std::promise<int> done;
  ASSERT_TRUE(desktop::LaunchDetached({"sh", "-c", "printf '%s' \"$1\" > \"$2\"; exit 3", "sh", awkward, out},
                                      [&](int code) { done.set_value(code); }));
  auto result = done.get_future();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(result.get(), 3);
  EXPECT_EQ(testsupport::ReadFile(out), awkward);
}

TEST(ProcessLauncher, MissingProgramsAreReported) {
  EXPECT_FALSE(desktop::LaunchDetached({"truvane-no-such-program"}));
  EXPECT_FALSE(desktop::LaunchDetached({}));
  EXPECT_TRUE(desktop::IsProgramOnPath("sh"));
  EXPECT_FALSE(desktop::IsProgramOnPath("truvane-no-such-program"));
}

}  // namespace
