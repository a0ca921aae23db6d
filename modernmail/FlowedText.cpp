#include "modernmail/FlowedText.h"


namespace modernmail {
namespace {

struct Unquoted {
    std::size_t depth = 0;
    std::string text;
    bool flowed = false;
};

Unquoted Unquote(const std::string& line, bool delSp)
{
    Unquoted result;
    while (result.depth < line.size() && line[result.depth] == '>') {
        ++result.depth;
    }
    std::size_t start = result.depth;
    if (start < line.size() && line[start] == ' ') {
        ++start;  // the blank of space-stuffing, or the one after the quote marks
    }
    result.text = line.substr(start);
    // The signature separator "-- " is never flowed.
    result.flowed = !result.text.empty() && result.text.back() == ' ' && result.text != "-- ";
    if (result.flowed && delSp) {
        result.text.pop_back();
    }
    return result;
}

std::string Quoted(std::size_t depth, const std::string& text)
{
    return depth == 0 ? text : std::string(depth, '>') + ' ' + text;
}

}  // namespace

std::vector<std::string> FlowedText::Join(const std::vector<std::string>& lines, bool delSp)
{
    std::vector<std::string> joined;
    Unquoted open;  // a flowed paragraph waiting for its next line, while open.flowed
    for (const std::string& line : lines) {
        Unquoted piece = Unquote(line, delSp);
        if (open.flowed && open.depth == piece.depth) {
            piece.text = open.text + piece.text;
        } else if (open.flowed) {
            // A change of quote depth ends a paragraph even after a flowed line.
            joined.push_back(Quoted(open.depth, open.text));
        }
        open.flowed = false;
        if (piece.flowed) {
            open = std::move(piece);
        } else {
            joined.push_back(Quoted(piece.depth, piece.text));
        }
    }
    if (open.flowed) {
        joined.push_back(Quoted(open.depth, open.text));
    }
    return joined;
}

}  // namespace modernmail
