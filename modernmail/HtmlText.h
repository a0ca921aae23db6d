// Turns an HTML mail part into plain text lines with a real HTML parser: block elements make paragraphs, <br>
// makes a line break, list items keep their mark, a link keeps its text and its address, scripts and styles are
// dropped, entities decoded. Stateless; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace modernmail {

class HtmlText {
public:
    // `utf8`: the part's text, already decoded to UTF-8. Paragraphs are separated by one empty line.
    static std::vector<std::string> ToLines(std::string_view utf8);
};

}  // namespace modernmail
