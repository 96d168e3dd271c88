#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
TEST(Placeholder, FindsBinary) { ASSERT_NE(nullptr, getenv("HUSK_BIN")); std::string s = getenv("HUSK_BIN"); EXPECT_NE(std::string::npos, s.find("husk")); }
