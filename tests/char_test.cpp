#include "char.h"
#include <gtest/gtest.h>
TEST(Placeholder, Unit) { EXPECT_EQ(1, is_quote('"')); }
