// What an agent needs of the client connection it answers through: queueing and sending lines to the client, and
// word of the client closing its side while the agent waits for its server. Pop3ConnectionThread implements it;
// the agents call it on the connection's thread.
#pragma once

#include <string_view>

#include "platform/Win32Types.h"

class AgentConnection {
public:
    // Queues one line and its CR LF for the client. False: the client cannot be reached any more.
    virtual bool SendLine(std::string_view line) = 0;
    // Queues complete lines that already end in CR LF, as one piece.
    virtual bool SendLines(std::string_view lines) = 0;
    // Sends everything queued. False: the client cannot be reached.
    virtual bool FlushOutput() = 0;
    // The event set once when the client closes its side (null without a notifier); a waiter that takes the
    // close gives it back with RestoreClientClosed.
    virtual win32::HANDLE ClientClosedEvent() = 0;
    virtual void RestoreClientClosed() = 0;

protected:
    ~AgentConnection() = default;
};
