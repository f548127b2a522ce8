#include "app/util/helpers/session_helpers.h"
#include "app/util/desktop/user_privileges.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <regex>

#include "tests/fakes/fake_view_notifications.h"

namespace {

TEST(Session, OneIdentifierPerPassOfTheMainLoop) {
  util::ResetSessionState();
  const std::string first = util::GetSessionUUIDString();
  EXPECT_TRUE(std::regex_match(first, std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")));
  EXPECT_EQ(util::GetSessionUUIDString(), first);  // the same within the pass
  util::gSessionDownloadFolderAsked = true;
  util::ResetSessionState();
  EXPECT_FALSE(util::gSessionDownloadFolderAsked);
  EXPECT_NE(util::GetSessionUUIDString(), first);
  EXPECT_NE(util::CreateUUIDString(), util::CreateUUIDString());
}

TEST(BatchRegistry, RemembersAnswersPerBatchAndTellsTheViews) {
  fakes::ScopedFakeViewNotifications views;
  EXPECT_EQ(util::LookupBatchAction("batch-never-set"), std::nullopt);
  util::SetBatchAction("", 5);
  EXPECT_EQ(util::LookupBatchAction(""), std::nullopt);
  EXPECT_TRUE(views->batch_action_changes.empty());

  util::SetBatchAction("batch-1", 2);
  util::SetBatchAction("batch-1", 3);
  util::SetBatchAction("batch-2", 0);  // a zero answer is still an answer
  EXPECT_EQ(util::LookupBatchAction("batch-1"), 3);
  EXPECT_EQ(util::LookupBatchAction("batch-2"), 0);
  EXPECT_EQ(views->batch_action_changes, (std::vector<std::string>{"batch-1", "batch-1", "batch-2"}));
}

TEST(IsUserAdmin, RootIsAnAdministrator) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to know the answer";
  EXPECT_TRUE(util::IsUserAdmin());
}

}  // namespace
