#include <gtest/gtest.h>

#include "pop3/Pop3Command.h"

TEST(Pop3Command, WordEndsAtFirstBlank)
{
    const struct {
        const char* line;
        const char* word;
    } cases[] = {
        {"RETR 1", "RETR"}, {"NOOP", "NOOP"}, {"", ""}, {" USER x", ""}, {"LIST ", "LIST"}, {"A\tB C", "A\tB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(pop3::CommandWord(c.line), c.word);
    }
}

TEST(Pop3Command, ComparesWithoutRegardToCase)
{
    EXPECT_TRUE(pop3::IsCommand("list", "LIST"));
    EXPECT_TRUE(pop3::IsCommand("LiSt", "LIST"));
    EXPECT_TRUE(pop3::IsCommand("quit", "QUIT"));
    EXPECT_FALSE(pop3::IsCommand("LISTX", "LIST"));
    EXPECT_FALSE(pop3::IsCommand("LIS", "LIST"));
    EXPECT_FALSE(pop3::IsCommand("", "LIST"));
    // Only ASCII letters fold: a byte that is a capital's neighbour in another range stays different.
    EXPECT_FALSE(pop3::IsCommand("LIS\xd4", "LIST"));
}
