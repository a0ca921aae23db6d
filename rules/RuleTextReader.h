// Reads the stored rule text item by item: white-space separated tokens, numbers and the length-counted text
// of word rules. One reader per load; not shared between threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class RuleTextReader {
public:
    explicit RuleTextReader(std::string_view text) : text(text) {}

    // The next token; false at the end of the text.
    bool Token(std::string& token);
    // The next token, if it is exactly `expected`.
    bool Literal(std::string_view expected);
    // An item whose first character is "{" (or "}"); the rest of the token does not matter.
    bool Opening() { return Item('{'); }
    bool Closing() { return Item('}'); }
    // A decimal number filling its whole token, within 32 bits.
    bool Number(std::int32_t& number);
    // A number; 0 is false and anything else true.
    bool Bool(bool& value);
    // The text of a word rule: skips the line feed that ends its length line, takes `length` bytes as they
    // stand (blanks and line breaks included), then skips the line feed after them.
    bool CountedText(std::int32_t length, std::string& out);

private:
    bool Item(char first);

    std::string_view text;
    std::size_t at = 0;
};
