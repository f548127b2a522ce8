#include <gtest/gtest.h>

#include "tests/support/temp_home.h"

namespace testsupport {
void RegisterCleanup();
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  testsupport::TempHome();  // before any test can read the environment
  testsupport::RegisterCleanup();
  return RUN_ALL_TESTS();
}
