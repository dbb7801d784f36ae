#include <gtest/gtest.h>

#include "util/bounded_text.h"

TEST(CopyText, CutsAtCapacityAndTerminates) {
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(kTextInsufficientBuffer, CopyText(buffer, 4, "abcd"));
  EXPECT_STREQ("abc", buffer);
}
