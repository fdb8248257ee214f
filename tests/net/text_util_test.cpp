#include <gtest/gtest.h>

#include "net/text_util.h"

TEST(TextUtil, Placeholder) { EXPECT_EQ(qelvo::net::TextBefore("a:b", ":"), "a"); }
