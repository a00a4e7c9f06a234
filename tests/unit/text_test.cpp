// Bounded string helpers: a result that does not fit is refused, never cut.
#include "base/text.h"

#include <gtest/gtest.h>

#include <string>

TEST(BoundedText, JoinsAPathThatFitsAndRefusesOneThatDoesNot) {
    char buffer[12];
    EXPECT_TRUE(joinPath(buffer, sizeof buffer, "C:\\dir", "ab.c"));
    EXPECT_STREQ(buffer, "C:\\dir\\ab.c");
    EXPECT_FALSE(joinPath(buffer, sizeof buffer, "C:\\dir", "abcde"));
    EXPECT_STREQ(buffer, "");
}

TEST(BoundedText, AppendLeavesTheDestinationAloneWhenTheResultWouldNotFit) {
    char buffer[8] = "abc";
    EXPECT_FALSE(textAppend(buffer, sizeof buffer, "defgh"));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_TRUE(textAppend(buffer, sizeof buffer, "defg"));
    EXPECT_STREQ(buffer, "abcdefg");
    // An unterminated destination is full: nothing can be appended.
    char full[4] = {'a', 'b', 'c', 'd'};
    EXPECT_FALSE(textAppend(full, sizeof full, ""));
    EXPECT_EQ(std::string(full, 4), "abcd");
}
