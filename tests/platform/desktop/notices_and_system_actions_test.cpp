#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/desktop/notifier.h"
#include "platform/desktop/system_actions.h"

namespace {

using Argv = std::vector<std::string>;

TEST(CommandNotifierTest, PassesTitleAndDescriptionAsArgumentsAfterTheOptions) {
  Argv seen;
  desktop::CommandNotifier notifier([&](const Argv& argv) {
    seen = argv;
    return true;
  });
  desktop::Notice notice{"Truvane", "Download is complete", "-rf title", "a \"b\" $HOME", "/tmp/x", "batch"};
  ASSERT_TRUE(notifier.Post(notice));
  ASSERT_GE(seen.size(), 4u);
  EXPECT_EQ(seen.front(), "notify-send");
  EXPECT_EQ(seen[seen.size() - 3], "--");
  EXPECT_EQ(seen[seen.size() - 2], "-rf title");
  EXPECT_EQ(seen.back(), "a \"b\" $HOME");
}

TEST(LogindSystemActionsTest, CommandsByAction) {
  struct Case {
    desktop::SystemAction action;
    std::string session;
    Argv expected;
  };
  const std::vector<Case> cases = {
      {desktop::SystemAction::kShutDown, "", {"systemctl", "poweroff"}},
      {desktop::SystemAction::kSleep, "", {"systemctl", "suspend"}},
      {desktop::SystemAction::kLogOut, "c2", {"loginctl", "terminate-session", "--", "c2"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(desktop::LogindSystemActions::CommandFor(c.action, c.session), c.expected);
  }
  // Without a session id only the user's own sessions end, never root's.
  Argv own = desktop::LogindSystemActions::CommandFor(desktop::SystemAction::kLogOut, "");
  ASSERT_EQ(own.size(), 4u);
  EXPECT_EQ(own[1], "terminate-user");
}

TEST(LogindSystemActionsTest, PerformRunsTheCommandThroughTheRunner) {
  std::vector<Argv> runs;
  desktop::LogindSystemActions actions([&](const Argv& argv) {
    runs.push_back(argv);
    return false;
  });
  EXPECT_FALSE(actions.Perform(desktop::SystemAction::kSleep));
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0], (Argv{"systemctl", "suspend"}));
}

}  // namespace
