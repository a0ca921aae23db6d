// The mail server behind the relay in the connection fuzz target: the scripted peer with a fixed mailbox of three
// mails as its script (a DELE only says it deleted), answering every command the same way every time, except the
// lines of AUTH exchanges, whose answers the fuzz input chooses. Its sessions write the transcript of the last session, which the fuzz thread
// reads, guarded by sessionLock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/ScriptedPop3Server.h"

class DeterministicPop3Peer {
public:
    // What one session looked like from the server's side.
    struct Transcript {
        std::vector<std::string> received;  // command lines without CR LF, in order
        std::vector<std::string> answers;   // the greeting, then the whole answer to each received line
        int firstMailRetrievals = 0;        // successful RETR of mail 1, the one that is English plain text
        bool ended = false;
    };

    // 0 when the listener could not be set up.
    std::uint16_t Port() const { return server.Port(); }
    // Forgets the sessions so far; call while no session runs.
    void Reset();
    // The answers to the lines of AUTH exchanges (RFC 5034), one line each, in order; "-ERR" once they run out. A
    // challenge ("+" or "+ ...") keeps an exchange going. Call while no session runs.
    void SetAuthAnswers(std::vector<std::string> answers);
    // Sessions begun since the last Reset.
    int Sessions();
    // Waits (bounded) until the session begun since the last Reset has ended; nullopt when none has begun or it
    // is still running at the deadline.
    std::optional<Transcript> WaitForSessionEnd(std::chrono::milliseconds timeout);

private:
    // Where a session is in the answers to AUTH exchanges.
    struct AuthExchange {
        std::vector<std::string> answers;
        std::size_t next = 0;
        bool going = false;
    };

    void RunSession(Pop3TestClient& relay);
    // The whole answer to one command line; quit is set for QUIT.
    std::string Answer(const std::string& line, AuthExchange& exchange, bool& quit, bool& retrievedFirst) const;

    std::mutex sessionLock;
    std::condition_variable sessionChanged;
    int sessions = 0;        // guarded by sessionLock
    Transcript transcript;   // guarded by sessionLock
    std::vector<std::string> authAnswers;  // guarded by sessionLock
    // Last: its sessions end (by their read deadline at the latest) before the members above go.
    ScriptedPop3Server server{[this](Pop3TestClient& relay, ScriptedPop3Server&) { RunSession(relay); }, 10000};
};
