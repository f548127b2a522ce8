#include <gtest/gtest.h>

#include "tests/support/temp_home.h"

namespace testsupport {
void RegisterCleanup();
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // ctest lists the tests of each program first; a listing needs no home of its own.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  testsupport::TempHome();  // before any test can read the environment
  testsupport::RegisterCleanup();
  return RUN_ALL_TESTS();
}
