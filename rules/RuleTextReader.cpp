#include "rules/RuleTextReader.h"

#include <charconv>

namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool RuleTextReader::Token(std::string& token) {
    while (at < text.size() && IsSeparator(text[at])) {
        ++at;
    }
    const std::size_t start = at;
    while (at < text.size() && !IsSeparator(text[at])) {
        ++at;
    }
    if (at == start) {
        return false;
    }
    token.assign(text.substr(start, at - start));
    return true;
}

bool RuleTextReader::Literal(std::string_view expected) {
    std::string token;
    return Token(token) && token == expected;
}

bool RuleTextReader::Item(char first) {
    std::string token;
    return Token(token) && token.front() == first;
}

bool RuleTextReader::Number(std::int32_t& number) {
    std::string token;
    if (!Token(token)) {
        return false;
    }
    const char* begin = token.data();
    const char* end = token.data() + token.size();
    if (*begin == '+') {
        ++begin;
    }
    std::int32_t value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end) {
        return false;
    }
    number = value;
    return true;
}

bool RuleTextReader::Bool(bool& value) {
    // Written as 0 or 1; any other number is read as true rather than rejecting the whole rule set.
    std::int32_t number = 0;
    if (!Number(number)) {
        return false;
    }
    value = number != 0;
    return true;
}

bool RuleTextReader::CountedText(std::int32_t length, std::string& out) {
    if (length < 0 || at >= text.size()) {
        return false;
    }
    const std::size_t start = at + 1;
    if (static_cast<std::size_t>(length) > text.size() - start) {
        return false;
    }
    out.append(text.substr(start, static_cast<std::size_t>(length)));
    at = start + static_cast<std::size_t>(length);
    if (at < text.size()) {
        ++at;
    }
    return true;
}
