// Every test of this program runs on Qt's off-screen platform, whatever the machine's
// display, and with the application object made before the first test.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/toolbox/app/application.h"

namespace {
class OffscreenEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    toolbox::Application::Shared();
  }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new OffscreenEnvironment);
}  // namespace
