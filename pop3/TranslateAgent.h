// The agent of a connection that is served the translated mails instead of being relayed: a small POP3 server
// whose mailbox holds copies of the mails that were waiting when the connection came in. Filled (AddMail) by
// the thread that makes it in Pop3TranslateThread::GetPop3Agent, before it is handed out; commands run on the
// connection's thread; the mails are destroyed on the agent's own thread when it ends.
//
// Locks: mailLock guards mails, responseLock guards responses; they are taken one after the other, never nested.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/Sync.h"
#include "pop3/Pop3Agent.h"
#include "pop3/Pop3Email.h"

class Email;
class Pop3TranslateThread;

class TranslateAgent final : public Pop3Agent {
public:
    static constexpr const char* kGreeting = "+OK Welcome to the NV POP3 Proxy Server";

    // Starts the agent's thread, which does nothing but wait for its stop. With relayAuthentication (the "Relay
    // Authentication" setting) CAPA answers serverCapabilities, the last relayed session's server's, and any AUTH
    // is accepted.
    explicit TranslateAgent(Pop3TranslateThread* translateThread, bool relayAuthentication = false,
                            std::vector<std::string> serverCapabilities = {});
    ~TranslateAgent() override;

    // Adds a copy of the mail as message N + 1; the caller keeps its own mail.
    void AddMail(const Email& mail);

    // Runs one command and queues its answer lines. False for a command word it does not know (nothing queued).
    bool SendCommand(std::string line) override;
    // The greeting once, then the queued answer lines one by one; false when none is left.
    bool GetResponse(std::string& response) override;
    // Runs one command and sends all its answer lines to the client.
    bool ProcessCommand(const std::string& line) override;
    // Accepts every login, as USER and PASS are; a mechanism started without an initial response first gets an
    // empty challenge. Only a client that cancels ("*", RFC 5034) is refused.
    bool Authenticate(const std::string& line, const ClientLineReader& readClientLine) override;

protected:
    void OnThreadBegin() override;
    void DoWork() override {}
    void OnThreadEnd() override;

private:
    using Handler = std::vector<std::string> (TranslateAgent::*)(const std::string& argument);
    struct Command {
        const char* word;
        Handler handler;
    };
    static const Command kCommands[];

    // The handler of the command line's word; null when the agent does not know it.
    Handler FindHandler(const std::string& line, const std::string& word) const;

    std::vector<std::string> Ok(const std::string& argument);
    std::vector<std::string> Stat(const std::string& argument);
    std::vector<std::string> List(const std::string& argument);
    std::vector<std::string> Retr(const std::string& argument);
    std::vector<std::string> Dele(const std::string& argument);
    std::vector<std::string> Rset(const std::string& argument);
    std::vector<std::string> Top(const std::string& argument);
    std::vector<std::string> Uidl(const std::string& argument);
    std::vector<std::string> Capa(const std::string& argument);
    std::vector<std::string> Mechanisms(const std::string& argument);

    // The mail bearing the message number; null when none does.
    Pop3Email* Find(std::uint32_t number) REQUIRES(mailLock);

    [[maybe_unused]] Pop3TranslateThread* translateThread;  // not owned; kept for the books, unused by the commands
    const std::vector<std::string> serverCapabilities;  // read only
    bool greetingPending = true;           // connection thread only
    win32::CriticalSection responseLock;
    std::deque<std::string> responses GUARDED_BY(responseLock);
    win32::CriticalSection mailLock;
    std::deque<std::unique_ptr<Pop3Email>> mails GUARDED_BY(mailLock);  // in number order
};
