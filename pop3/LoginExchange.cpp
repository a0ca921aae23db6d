#include "pop3/LoginExchange.h"

#include "pop3/Pop3Command.h"

namespace pop3 {

namespace {

constexpr std::string_view kKeptCapabilities[] = {
    "CAPA", "TOP", "UIDL", "USER", "SASL", "RESP-CODES", "AUTH-RESP-CODE", "IMPLEMENTATION", "EXPIRE", "LOGIN-DELAY",
};

// The arguments of a command line: what follows its first blank, without further leading blanks.
std::string_view Arguments(std::string_view line)
{
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) {
        return {};
    }
    line.remove_prefix(space);
    const std::size_t start = line.find_first_not_of(' ');
    return start == std::string_view::npos ? std::string_view() : line.substr(start);
}

}  // namespace

bool KeepsCapability(std::string_view line)
{
    const std::string word = CommandWord(line);
    for (std::string_view kept : kKeptCapabilities) {
        if (IsCommand(word, kept)) {
            return true;
        }
    }
    return false;
}

AuthAnswer ReadAuthAnswer(std::string_view line)
{
    if (line.starts_with("+OK")) {
        return AuthAnswer::kAccepted;
    }
    if (line == "+" || line.starts_with("+ ")) {
        return AuthAnswer::kChallenge;
    }
    return AuthAnswer::kRefused;
}

bool NamesMechanism(std::string_view authLine) { return !Arguments(authLine).empty(); }

bool HasInitialResponse(std::string_view authLine) { return !Arguments(Arguments(authLine)).empty(); }

}  // namespace pop3
