// What a connection thread must make of a client's byte stream, worked out independently of it for the connection
// fuzz target: the command lines it reads (cut at the first CR LF), which of them it answers itself as unknown,
// which it relays in the authorization phase, which go to its agent, and which agent answers are multi-line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class AgentKind { Proxy, Translate };

struct ModelledLine {
    enum class Handling {
        Unknown,  // "-ERR Unknown command: " and the word, from the connection thread itself
        Relayed,  // USER, PASS or QUIT handed to the agent in the authorization phase, or QUIT later: one line
        Agent,    // a transaction command the agent knows
    };
    std::string line;
    std::string word;
    Handling handling = Handling::Unknown;
    // For the translated-mail agent: a positive answer goes on until a line holding only a dot.
    bool multiLine = false;
};

struct SessionModel {
    std::vector<ModelledLine> lines;
    // False when the model stopped at a line the server may read in more than one way (a NUL byte in it ends
    // each piece the server appends, and where the pieces fall depends on how the bytes arrive).
    bool complete = true;
};

SessionModel ModelSession(std::string_view clientBytes, AgentKind agent);

// Compares command words without regard to ASCII case, as the server does.
bool SameWord(std::string_view word, std::string_view command);
