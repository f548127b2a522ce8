// The real presenter, answered by pressing its buttons.
#include <gtest/gtest.h>

#include "platform/toolbox/app/application.h"
#include "platform/toolbox/app/modal_automation.h"
#include "platform/toolbox/app/presenter.h"

namespace toolbox {
namespace {

TEST(QtPresenter, AnswersTheIndexOfThePressedButton) {
  Application::Shared();
  auto presenter = MakeQtPresenter();
  AlertRequest alert;
  alert.message = "Remove?";
  alert.buttons = {{"Keep Files", true, false}, {"Move To Trash", false, false}, {"Cancel", false, true}};
  PressButtonInNextModal("Move To Trash");
  EXPECT_EQ(presenter->RunAlert(alert), 1);
  PressButtonInNextModal("Keep Files");
  EXPECT_EQ(presenter->RunAlert(alert), 0);
  PressButtonInNextModal("no such button");  // closed as Escape: the cancel button
  EXPECT_EQ(presenter->RunAlert(alert), 2);
}

}  // namespace
}  // namespace toolbox
