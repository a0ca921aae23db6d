// The mail server behind the relay in the connection fuzz target: a POP3 server on 127.0.0.1 with a fixed mailbox
// of three mails that answers every command the same way every time, except the lines of AUTH exchanges, whose
// answers the fuzz input chooses. One thread accepts and serves one connection at a time; the fuzz thread reads the
// transcript of the last session, guarded by sessionLock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class DeterministicPop3Peer {
public:
    // What one session looked like from the server's side.
    struct Transcript {
        std::vector<std::string> received;  // command lines without CR LF, in order
        std::vector<std::string> answers;   // the greeting, then the whole answer to each received line
        int firstMailRetrievals = 0;        // successful RETR of mail 1, the one that is English plain text
        bool ended = false;
    };

    DeterministicPop3Peer();
    // Stops accepting and waits for the session in hand (which ends by its read deadline at the latest).
    ~DeterministicPop3Peer();
    DeterministicPop3Peer(const DeterministicPop3Peer&) = delete;
    DeterministicPop3Peer& operator=(const DeterministicPop3Peer&) = delete;

    // 0 when the listener could not be set up.
    std::uint16_t Port() const { return port; }
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
    struct MailboxState;

    void AcceptLoop();
    void RunSession(int connection);
    // The whole answer to one command line; quit is set for QUIT.
    std::string Answer(const std::string& line, MailboxState& state, bool& quit, bool& retrievedFirst) const;

    int listener = -1;
    std::uint16_t port = 0;
    std::atomic<bool> stopping{false};
    std::thread acceptThread;
    std::mutex sessionLock;
    std::condition_variable sessionChanged;
    int sessions = 0;        // guarded by sessionLock
    Transcript transcript;   // guarded by sessionLock
    std::vector<std::string> authAnswers;  // guarded by sessionLock
};
