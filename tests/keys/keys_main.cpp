// The keystroke suite runs on an X server of its own (see keys_support.h).
#include <gtest/gtest.h>

#include "tests/keys/keys_support.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  keys::InstallEnvironment(argc, argv);
  return RUN_ALL_TESTS();
}
