#include "SessionModel.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<std::string_view, 8> kProxyCommands{"STAT", "RSET", "NOOP", "DELE", "LIST", "UIDL", "TOP", "RETR"};

// The translated-mail agent's table also answers USER and PASS in the transaction phase.
bool Knows(AgentKind agent, std::string_view word)
{
    const auto same = [word](std::string_view command) { return SameWord(word, command); };
    return std::any_of(kProxyCommands.begin(), kProxyCommands.end(), same) ||
           (agent == AgentKind::Translate && (same("USER") || same("PASS")));
}

bool TranslateAnswerIsMultiLine(const std::string& line, const std::string& word)
{
    if (SameWord(word, "RETR") || SameWord(word, "TOP")) {
        return true;
    }
    if (SameWord(word, "LIST") || SameWord(word, "UIDL")) {
        const std::size_t space = line.find(' ');
        return space == std::string::npos || space + 1 == line.size();  // no argument, or an empty one
    }
    return false;
}

}  // namespace

bool SameWord(std::string_view word, std::string_view command)
{
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    return word.size() == command.size() &&
           std::equal(word.begin(), word.end(), command.begin(), [&](char a, char b) { return upper(a) == upper(b); });
}

SessionModel ModelSession(std::string_view clientBytes, AgentKind agent)
{
    SessionModel model;
    enum { kExpectUser, kExpectPass, kTransaction } state = kExpectUser;
    for (std::size_t end; (end = clientBytes.find("\r\n")) != std::string_view::npos;
         clientBytes.remove_prefix(end + 2)) {
        ModelledLine modelled;
        modelled.line = clientBytes.substr(0, end);
        if (modelled.line.find('\0') != std::string::npos) {
            model.complete = false;
            break;
        }
        modelled.word = modelled.line.substr(0, modelled.line.find(' '));
        const std::string& word = modelled.word;
        if (SameWord(word, "QUIT")) {
            modelled.handling = ModelledLine::Handling::Relayed;
            model.lines.push_back(std::move(modelled));
            break;  // the session ends; what follows is never read
        }
        switch (state) {
        case kExpectUser:
            if (SameWord(word, "USER")) {
                modelled.handling = ModelledLine::Handling::Relayed;
                state = kExpectPass;
            }
            break;
        case kExpectPass:
            if (SameWord(word, "PASS")) {
                modelled.handling = ModelledLine::Handling::Relayed;
                state = kTransaction;
            }
            break;
        case kTransaction:
            if (Knows(agent, word)) {
                modelled.handling = ModelledLine::Handling::Agent;
                modelled.multiLine = agent == AgentKind::Translate && TranslateAnswerIsMultiLine(modelled.line, word);
            }
            break;
        }
        model.lines.push_back(std::move(modelled));
    }
    return model;
}
