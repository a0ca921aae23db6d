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
    // Only ASCII letters fold: a byte that is a capital's neighbour in another range stays different ("LIS\xd4").
    const struct {
        const char* word;
        bool matches;
    } cases[] = {{"list", true}, {"LiSt", true}, {"LISTX", false}, {"LIS", false}, {"", false}, {"LIS\xd4", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(pop3::IsCommand(c.word, "LIST"), c.matches);
    }
}
