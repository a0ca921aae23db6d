#include "modernmail/FlowedText.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

// RFC 3676: a line ending in a blank flows into the next one of the same quote depth.
TEST(FlowedTextJoin, JoinsFlowedLinesByQuoteDepth) {
    const struct { const char* name; Lines lines; bool delSp; Lines expected; } cases[] = {
        {"flowed lines make one paragraph", {"one two ", "three ", "four", "five"}, false,
         {"one two three four", "five"}},
        {"DelSp removes the blank of the break", {"exam", "ple"}, true, {"exam", "ple"}},
        {"DelSp joins inside a word", {"exam ", "ple"}, true, {"example"}},
        {"quoted lines join at their depth", {"> a ", "> b", ">> c ", ">>d"}, false, {"> a b", ">> c d"}},
        {"a change of depth ends the paragraph", {"> a ", "b"}, false, {"> a ", "b"}},
        {"space-stuffing is removed", {"  From here", " >not a quote"}, false, {" From here", ">not a quote"}},
        {"the signature separator never flows", {"-- ", "Mark"}, false, {"-- ", "Mark"}},
        {"a flowed last line is kept", {"end "}, false, {"end "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(modernmail::FlowedText::Join(c.lines, c.delSp), c.expected);
    }
}

}  // namespace
