// A stand-in POP3 server on 127.0.0.1 at a free port whose behaviour a test scripts: each accepted connection runs
// the script on a thread of its own with the connection as a Pop3TestClient (reads bounded by deadlines).
// Pop3Responder is the usual script: a greeting, then fixed raw answers per command line.
#pragma once

#include <atomic>
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

    explicit ScriptedPop3Server(Script script);
    // Stops accepting and waits for the running scripts (each ends by its own deadlines).
    ~ScriptedPop3Server();
    ScriptedPop3Server(const ScriptedPop3Server&) = delete;
    ScriptedPop3Server& operator=(const ScriptedPop3Server&) = delete;

    std::uint16_t Port() const { return port; }
    int Connections() const { return accepted; }
    // The command lines the scripts recorded (Record), in arrival order.
    std::vector<std::string> Received();
    void Record(const std::string& line);

private:
    void AcceptLoop();

    Script script;
    int listener = -1;
    std::uint16_t port = 0;
    std::atomic<bool> stopping{false};
    std::atomic<int> accepted{0};
    std::thread acceptThread;
    std::mutex lock;
    std::vector<std::thread> sessions;  // guarded by lock
    std::vector<std::string> received;  // guarded by lock
};

// Answers like a POP3 server: greeting, then for every command line the raw bytes mapped to it (a line ending in
// CR LF, or a whole multi-line answer), "-ERR unknown" for other lines; QUIT answers "+OK bye" and closes.
ScriptedPop3Server::Script Pop3Responder(std::map<std::string, std::string> answers,
                                         std::string greeting = "+OK scripted ready\r\n");
