#include <gtest/gtest.h>

#include "test_support.h"

TEST(BuildSmoke, BinaryExists) {
  EXPECT_TRUE(test_support::file_exists(test_support::profcmp_binary()));
}
