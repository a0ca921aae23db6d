#include <gtest/gtest.h>

#include "pop3/Pop3Command.h"

// Only ASCII letters fold: a byte that is a capital's neighbour in another range stays different ("LIS\xd4").
TEST(Pop3Command, WordEndsAtFirstBlankAndIsComparedWithoutRegardToCase) {
    const struct {
        const char* line;
        const char* word;
        bool isList;
    } cases[] = {
        {"RETR 1", "RETR", false}, {"NOOP", "NOOP", false},       {"", "", false},
        {" USER x", "", false},    {"LIST ", "LIST", true},       {"A\tB C", "A\tB", false},
        {"list 2", "list", true},  {"LiSt", "LiSt", true},        {"LISTX", "LISTX", false},
        {"LIS", "LIS", false},     {"LIS\xd4", "LIS\xd4", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(pop3::CommandWord(c.line), c.word);
        EXPECT_EQ(pop3::IsCommand(c.word, "LIST"), c.isList);
    }
}
