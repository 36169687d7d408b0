#include <windows.h>
#include <gtest/gtest.h>

TEST(Placeholder2, Runs)
{
    EXPECT_TRUE(true);
}
