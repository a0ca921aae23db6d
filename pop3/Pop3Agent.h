// The agent interface of a client connection: the object that produces the POP3 answers a connection thread gives
// its client, by relaying to the real server or by serving translated mail. Each agent is a thread of its own,
// driven from its connection's thread through the three agent operations; owned by the server's books.
#pragma once

#include <atomic>
#include <string>

#include "core/ZThinThread.h"

class AgentConnection;

class Pop3Agent : public ZThinThread {
public:
    Pop3Agent() = default;
    ~Pop3Agent() override = default;

    // One command line of the authorization phase, or QUIT, without its CR LF. False: it could not be handed on.
    virtual bool SendCommand(std::string line) = 0;
    // The next one-line status response: first the greeting, then the answer to the last SendCommand.
    // False: there is no response to give.
    virtual bool GetResponse(std::string& response) = 0;
    // Handles one transaction command completely, answering the client through the connection's SendLine.
    // False, with nothing sent: the agent does not know the command.
    virtual bool ProcessCommand(const std::string& line) = 0;

    // Set once, by the connection's constructor, before the connection thread starts.
    void SetConnection(AgentConnection* owner) { connection = owner; }

protected:
    std::atomic<AgentConnection*> connection{nullptr};
};
