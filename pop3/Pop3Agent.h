// The agent interface of a client connection: the object that produces the POP3 answers a connection thread gives
// its client, by relaying to the real server or by serving translated mail. Each agent is a thread of its own,
// driven from its connection's thread through the three agent operations; owned by the server's books.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "core/ZThinThread.h"

class AgentConnection;

class Pop3Agent : public ZThinThread {
public:
    // Gives the next line of the client, without its CR LF; false when the client is gone.
    using ClientLineReader = std::function<bool(std::string& line)>;

    // relayAuthentication: the "Relay Authentication" setting, read once for the connection by the agent's maker,
    // so that the connection and its agent follow the same login rules.
    explicit Pop3Agent(bool relayAuthentication = false) : relayAuthentication(relayAuthentication) {}
    ~Pop3Agent() override = default;

    // One command line of the authorization phase, or QUIT, without its CR LF. False: it could not be handed on.
    virtual bool SendCommand(std::string line) = 0;
    // The next one-line status response: first the greeting, then the answer to the last SendCommand.
    // False: there is no response to give.
    virtual bool GetResponse(std::string& response) = 0;
    // Handles one transaction command completely, answering the client through the connection's SendLine.
    // False, with nothing sent: the agent does not know the command.
    virtual bool ProcessCommand(const std::string& line) = 0;
    // One SASL exchange (RFC 5034) begun by the client's "AUTH mechanism [initial-response]" line: every "+ "
    // challenge goes to the client, whose answer readClientLine gives. True when the login was accepted (the
    // session is then in the transaction state), false when it was refused. The lines carry secrets: they are
    // passed on and never kept or written anywhere. Throws ConnectionFailure when the server or the client is gone.
    virtual bool Authenticate(const std::string& line, const ClientLineReader& readClientLine) = 0;

    // With the setting on, the client may also log in with CAPA and AUTH, and try again after a refused login.
    bool RelaysAuthentication() const { return relayAuthentication; }

    // Set once, by the connection's constructor, before the connection thread starts.
    void SetConnection(AgentConnection* owner) { connection = owner; }

protected:
    std::atomic<AgentConnection*> connection{nullptr};

private:
    const bool relayAuthentication;
};
