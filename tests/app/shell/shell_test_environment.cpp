// The shell's windows run on Qt's off-screen platform in these tests.
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
