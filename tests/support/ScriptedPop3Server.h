// The one stand-in mail server of the tests: a POP3 peer on 127.0.0.1 whose sessions, each on a thread of its
// own, run the script a test gives; Pop3Responder is the usual script (a greeting, fixed answers per line).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "integration/Pop3TestClient.h"

class ScriptedPop3Server {
public:
    using Script = std::function<void(Pop3TestClient& peer, ScriptedPop3Server& server)>;

    // readTimeoutMs bounds each read of a session's Pop3TestClient.
    explicit ScriptedPop3Server(Script script, int readTimeoutMs = Pop3TestClient::kDefaultTimeoutMs);
    // Stops accepting and waits for the running scripts (each ends by its own deadlines or at Stopping).
    ~ScriptedPop3Server();
    ScriptedPop3Server(const ScriptedPop3Server&) = delete;
    ScriptedPop3Server& operator=(const ScriptedPop3Server&) = delete;

    std::uint16_t Port() const { return port; }
    int Connections() const { return accepted; }
    // The command lines the scripts recorded (Record), in arrival order.
    std::vector<std::string> Received();
    void Record(const std::string& line);
    // Set once the server is being destroyed: a script that waits for ever looks at it.
    bool Stopping() const { return stopping; }
    // Reads and drops what the peer sends until it closes or the server stops: a server that never answers.
    void Stall(Pop3TestClient& peer);
    // Waits (bounded) until no session runs; true when none does.
    bool WaitUntilIdle();

private:
    void AcceptLoop();

    Script script;
    int readTimeoutMs;
    int listener = -1;
    std::uint16_t port = 0;
    std::atomic<bool> stopping{false};
    std::atomic<int> accepted{0};
    std::thread acceptThread;
    // Sessions run detached (thousands of connections leave no thread behind); the destructor waits for them.
    std::mutex lock;
    std::condition_variable sessionEnded;
    int liveSessions = 0;               // guarded by lock
    std::vector<std::string> received;  // guarded by lock
};

// Answers like a POP3 server: greeting, then for every command line the raw bytes mapped to it (a line ending
// in CR LF, or a whole multi-line answer), "-ERR unknown" for other lines; QUIT answers "+OK bye" and closes.
ScriptedPop3Server::Script Pop3Responder(std::map<std::string, std::string> answers,
                                         std::string greeting = "+OK scripted ready\r\n");
