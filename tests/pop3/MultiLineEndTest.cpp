#include "pop3/MultiLineEnd.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {
// The end as a line-by-line reader finds it: lines end at CR LF (which never overlap), and the answer at the first
// line ".".
std::size_t EndByLines(std::string_view data)
{
    if (data.starts_with(".\r\n")) {
        return 3;
    }
    const std::size_t dotLine = data.find("\r\n.\r\n");
    return dotLine == std::string_view::npos ? dotLine : dotLine + 5;
}

// Feeds data in pieces of the given sizes (the last piece takes the rest); the answer's length, or npos.
std::size_t EndInPieces(std::string_view data, const std::vector<std::size_t>& sizes)
{
    MultiLineEnd end;
    std::size_t offset = 0;
    for (std::size_t i = 0; offset < data.size() || i == 0; ++i) {
        const std::size_t size = i < sizes.size() ? std::min(sizes[i], data.size() - offset) : data.size() - offset;
        if (const std::size_t found = end.Find(data.substr(offset, size)); found != std::string_view::npos) {
            return offset + found;
        }
        offset += size;
    }
    return std::string_view::npos;
}

TEST(MultiLineEndTest, FindsTheFirstDotLineHoweverTheAnswerIsSplit)
{
    const struct {
        const char* name;
        std::string data;
    } answers[] = {
        {"empty list", ".\r\n"},
        {"one line", "1 120\r\n.\r\n"},
        {"dot-stuffed lines", "..\r\n..x\r\n. \r\n.\r\n"},
        {"dot not alone", "a.\r\n.a\r\n\r\n.\r\n"},
        {"lone LF before a dot", "a\n.\r\nb\r\n.\r\n"},
        {"lone CR before a dot", "a\r.\r\n.\r\n"},
        {"CR CR LF", "a\r\r\n.\r\n"},
        {"data after the end", "x\r\n.\r\n+OK next\r\n"},
        {"no end yet", "x\r\n.\r"},
        {"end at a word edge", "1234567\r\n.\r\n"},
        {"only a partial line", "abc"},
    };
    for (const auto& answer : answers) {
        const std::size_t expected = EndByLines(answer.data);
        // Split once at every place (whole when the split is at either end), and octet by octet.
        for (std::size_t first = 0; first <= answer.data.size(); ++first) {
            EXPECT_EQ(EndInPieces(answer.data, {first}), expected) << answer.name << ", split at " << first;
        }
        EXPECT_EQ(EndInPieces(answer.data, std::vector<std::size_t>(answer.data.size(), 1)), expected)
            << answer.name << ", octet by octet";
    }
    // Long answers with dot-stuffed lines and text, in random block sizes.
    std::mt19937 random(7);
    const char* const lines[] = {"Dear reader.", "..", "...stuffed", "", ". ", "a\n.b", "word.word"};
    for (int round = 0; round < 200; ++round) {
        std::string data;
        for (int line = 0; line < 60; ++line) {
            data += lines[random() % std::size(lines)];
            data += "\r\n";
        }
        data += ".\r\n+OK";
        std::vector<std::size_t> sizes;
        for (int piece = 0; piece < 40; ++piece) {
            sizes.push_back(random() % 24);
        }
        EXPECT_EQ(EndInPieces(data, sizes), EndByLines(data)) << "round " << round;
    }
}

TEST(MultiLineEndTest, CompleteLinesStopAtTheLastLineEnd)
{
    const struct {
        std::string_view held;
        std::string_view pending;
        std::size_t complete;
    } cases[] = {
        {"", "a\r\nb\r\nc", 6},
        {"", "a\r\nb\r\n", 6},
        {"", "abc", 0},
        {"", "a\nb", 0},             // a lone LF ends no line
        {"a\r", "\nb", 1},           // CR LF split between the two
        {"", "\nb", 0},              // an LF without CR before it
        {"", "a\r\nb\nc\n", 3},      // lone LFs after the last line end
        {"", "", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompleteLinesLength(c.held, c.pending), c.complete) << c.held << "|" << c.pending;
    }
}
}  // namespace
