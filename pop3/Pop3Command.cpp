#include "pop3/Pop3Command.h"

#include <algorithm>

namespace pop3 {

namespace {
char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
}  // namespace

std::string CommandWord(std::string_view line)
{
    return std::string(line.substr(0, line.find(' ')));
}

bool IsCommand(std::string_view word, std::string_view name)
{
    return word.size() == name.size() &&
           std::equal(word.begin(), word.end(), name.begin(), [](char a, char b) { return Upper(a) == Upper(b); });
}

}  // namespace pop3
