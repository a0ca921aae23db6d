// One accepted client connection: owns the client socket and its line framing, greets the client, runs the
// authorization phase (USER, PASS, QUIT; with "Relay Authentication" also CAPA and AUTH) and hands every transaction
// command to its agent. Constructed on the listening server's thread; its agent answers the client through SendLine
// on this connection's thread.
//
// Answer lines are collected in an output buffer and sent in few sends: the buffer is flushed whenever it grows
// large, and always before this thread waits for anything (the client, the agent's server, a full socket), so no
// complete line is ever held back while more input is awaited.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "core/ZThinThread.h"
#include "pop3/AgentConnection.h"
#include "platform/Sockets.h"
#include "platform/Sync.h"

class AsyncSocketNotifier;
class Pop3Agent;
class Pop3ServerThread;

class Pop3ConnectionThread : public ZThinThread, public AgentConnection {
public:
    // Takes the accepted socket, gets the agent from the server (CreateAgent) and starts the thread. When no agent
    // can be had the thread still runs and closes the connection at once.
    Pop3ConnectionThread(win32::SOCKET acceptedSocket, Pop3ServerThread* owner);
    ~Pop3ConnectionThread() override;

    // Queues one line and its CR LF for the client; sends when the queue is large. False: the client cannot be
    // reached any more.
    bool SendLine(std::string_view line) override;
    // Queues complete lines that already end in CR LF, as one piece: a relay passes on a run of the server's
    // lines at once.
    bool SendLines(std::string_view lines) override;
    // Sends everything queued by SendLine. Called before every wait. False: the client cannot be reached.
    bool FlushOutput() override;

    // For an agent that waits for its server: the event set once when the client closes its side (null when the
    // connection has no notifier). A waiter that takes the close gives it back with RestoreClientClosed, so that
    // this thread's own next read sees it too.
    win32::HANDLE ClientClosedEvent() override;
    void RestoreClientClosed() override;

    void RequestStop() override;

protected:
    void OnThreadBegin() override;
    void DoWork() override;
    void OnThreadEnd() override;

private:
    bool ReadCommand(std::string& line);
    enum class ReadState { kClientGone, kLineEndTaken, kDrained };
    // Appends what the socket holds, up to and including the first CR LF: kLineEndTaken when a CR LF was taken
    // (the socket may hold more), kDrained when the socket is empty, kClientGone when the client has closed.
    ReadState ReadAvailable(std::string& text);
    void CloseConnection();
    enum class SessionState { kExpectUser, kExpectPass, kTransaction };
    // One command of the authorization state, USER then PASS; the state after it. Throws ConnectionFailure when
    // the client or the server is gone.
    SessionState Authorize(const std::string& line, const std::string& word, SessionState state);
    // The same with "Relay Authentication" on: CAPA and AUTH as well, and the state follows the server's answers,
    // so that a client may log in again after a refused USER, PASS or AUTH.
    SessionState AuthorizeRelayedLogin(const std::string& line, const std::string& word, SessionState state);
    // Passes one line to the agent and its one-line answer to the client.
    bool Relay(const std::string& line, std::string& answer);
    bool SendUnknownCommand(const std::string& word);
    bool SendAll(const char* data, std::size_t length);
    void ReportAgentFinished();

    win32::CriticalSection socketLock;
    // Closed by whichever thread stops the connection; its test-and-close and every use happen under socketLock.
    std::atomic<win32::SOCKET> socket;
    std::atomic<Pop3ServerThread*> server;
    // Used by this thread; the lock lets a stop from another thread reach the agent while the session holds it.
    win32::CriticalSection agentLock;
    Pop3Agent* agent = nullptr;  // set before the thread starts; cleared under agentLock
    std::atomic<AsyncSocketNotifier*> notifier{nullptr};
    win32::CriticalSection sendLock;
    std::string output GUARDED_BY(sendLock);
};
