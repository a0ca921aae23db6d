// Writes the rule text: every item on a line of its own, followed by LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class RuleTextWriter {
public:
    void Item(std::string_view item) {
        text += item;
        text += '\n';
    }
    void Number(std::int32_t number) { Item(std::to_string(number)); }
    void Bool(bool value) { Item(value ? "1" : "0"); }
    // Length line, then the text as it stands on the next line.
    void CountedText(std::string_view value) {
        Number(static_cast<std::int32_t>(value.size()));
        Item(value);
    }

    const std::string& Text() const { return text; }

private:
    std::string text;
};
