// Commands are matched case-insensitively against a table, in the order QUIT USER PASS STAT LIST RETR DELE NOOP
// RSET TOP UIDL; with "Relay Authentication" then CAPA and a bare AUTH. Message numbers are read like atoi and
// compared as unsigned values, so "-1" is no message.
// Deletion marks live only in the agent: nothing is ever removed, and QUIT deletes nothing.
#include "pop3/TranslateAgent.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <utility>

#include "core/ConnectionFailure.h"
#include "mail/LineList.h"
#include "platform/ThreadSafety.h"
#include "pop3/AgentConnection.h"
#include "pop3/LoginExchange.h"
#include "pop3/Pop3Command.h"

namespace {

constexpr const char* kOk = "+OK";
constexpr const char* kNoSuchMessage = "-ERR no such message.";
constexpr const char* kSyntaxError = "-ERR syntax error";

// A number read from a client as a 32-bit int: one past its range stays at the range's end, so that a number
// past 32 bits is out of range instead of wrapping onto a mail (4294967297 would be mail 1).
std::int32_t ClampedToInt32(long long value)
{
    return static_cast<std::int32_t>(std::clamp<long long>(value, std::numeric_limits<std::int32_t>::min(),
                                                           std::numeric_limits<std::int32_t>::max()));
}

std::uint32_t MessageNumber(const std::string& argument)
{
    return static_cast<std::uint32_t>(ClampedToInt32(std::strtoll(argument.c_str(), nullptr, 10)));
}

std::string Format(const char* format, std::uint32_t number, const std::string& text)
{
    return std::to_string(static_cast<std::int32_t>(number)) + format + text;
}

}  // namespace

const TranslateAgent::Command TranslateAgent::kCommands[] = {
    {"QUIT", &TranslateAgent::Ok},   {"USER", &TranslateAgent::Ok},   {"PASS", &TranslateAgent::Ok},
    {"STAT", &TranslateAgent::Stat}, {"LIST", &TranslateAgent::List}, {"RETR", &TranslateAgent::Retr},
    {"DELE", &TranslateAgent::Dele}, {"NOOP", &TranslateAgent::Ok},   {"RSET", &TranslateAgent::Rset},
    {"TOP", &TranslateAgent::Top},   {"UIDL", &TranslateAgent::Uidl},
};

TranslateAgent::TranslateAgent(Pop3TranslateThread* translateThread, bool relayAuthentication,
                               std::vector<std::string> serverCapabilities)
    : Pop3Agent(relayAuthentication),
      translateThread(translateThread),
      serverCapabilities(std::move(serverCapabilities))
{
    Start(0, nullptr, win32::INFINITE);
}

TranslateAgent::~TranslateAgent() = default;

void TranslateAgent::OnThreadBegin() { wakeEvent.Set(); }

void TranslateAgent::OnThreadEnd()
{
    win32::LockGuard mailGuard(mailLock);
    mails.clear();
}

void TranslateAgent::AddMail(const Email& mail)
{
    win32::LockGuard mailGuard(mailLock);
    mails.push_back(std::make_unique<Pop3Email>(mail, static_cast<std::uint32_t>(mails.size() + 1)));
}

Pop3Email* TranslateAgent::Find(std::uint32_t number)
{
    for (const std::unique_ptr<Pop3Email>& mail : mails) {
        if (mail->number == number) {
            return mail.get();
        }
    }
    return nullptr;
}

TranslateAgent::Handler TranslateAgent::FindHandler(const std::string& line, const std::string& word) const
{
    for (const Command& command : kCommands) {
        if (pop3::IsCommand(word, command.word)) {
            return command.handler;
        }
    }
    if (RelaysAuthentication()) {
        if (pop3::IsCommand(word, "CAPA")) {
            return &TranslateAgent::Capa;
        }
        // An AUTH that names a mechanism is an exchange of its own (Authenticate), never a one-command answer.
        if (pop3::IsCommand(word, "AUTH") && !pop3::NamesMechanism(line)) {
            return &TranslateAgent::Mechanisms;
        }
    }
    return nullptr;
}

bool TranslateAgent::SendCommand(std::string line)
{
    const std::size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string argument = space == std::string::npos ? std::string() : line.substr(space + 1);
    const Handler handler = FindHandler(line, word);
    if (handler == nullptr) {
        return false;
    }
    std::vector<std::string> answer = (this->*handler)(argument);
    win32::LockGuard responseGuard(responseLock);
    for (std::string& answerLine : answer) {
        responses.push_back(std::move(answerLine));
    }
    return true;
}

bool TranslateAgent::GetResponse(std::string& response)
{
    if (greetingPending) {
        response = kGreeting;
        greetingPending = false;
        return true;
    }
    win32::LockGuard responseGuard(responseLock);
    if (responses.empty()) {
        return false;
    }
    response = std::move(responses.front());
    responses.pop_front();
    return true;
}

bool TranslateAgent::ProcessCommand(const std::string& line)
{
    {
        win32::LockGuard responseGuard(responseLock);
        responses.clear();
    }
    if (!SendCommand(line)) {
        return false;
    }
    win32::LockGuard responseGuard(responseLock);
    AgentConnection* client = connection.load();
    for (std::string& answerLine : responses) {
        if (client != nullptr) {
            client->SendLine(std::move(answerLine));  // a failed send is noticed by the connection's next read
        }
    }
    responses.clear();
    return true;
}

std::vector<std::string> TranslateAgent::Ok(const std::string&) { return {kOk}; }

std::vector<std::string> TranslateAgent::Stat(const std::string&)
{
    std::uint32_t count = 0;
    std::uint32_t total = 0;
    {
        win32::LockGuard mailGuard(mailLock);
        for (const std::unique_ptr<Pop3Email>& mail : mails) {
            if (!mail->deleted) {
                ++count;
                total += mail->size;
            }
        }
    }
    return {"+OK " + Format(" ", count, std::to_string(static_cast<std::int32_t>(total)))};
}

std::vector<std::string> TranslateAgent::List(const std::string& argument)
{
    std::vector<std::string> answer;
    win32::LockGuard mailGuard(mailLock);
    if (argument.empty()) {
        answer.emplace_back(kOk);
        for (const std::unique_ptr<Pop3Email>& mail : mails) {
            if (!mail->deleted) {
                answer.push_back(Format(" ", mail->number, std::to_string(static_cast<std::int32_t>(mail->size))));
            }
        }
        answer.emplace_back(".");
        return answer;
    }
    const std::uint32_t number = MessageNumber(argument);
    const Pop3Email* mail = number >= 1 && number <= mails.size() ? Find(number) : nullptr;
    if (mail == nullptr || mail->deleted) {
        return {kNoSuchMessage};
    }
    return {"+OK " + Format(" ", number, std::to_string(static_cast<std::int32_t>(mail->size)))};
}

std::vector<std::string> TranslateAgent::Retr(const std::string& argument)
{
    LineList lines;
    {
        win32::LockGuard mailGuard(mailLock);
        const std::uint32_t number = MessageNumber(argument);
        Pop3Email* mail = number >= 1 && number <= mails.size() ? Find(number) : nullptr;
        if (mail == nullptr || mail->deleted) {
            return {kNoSuchMessage};
        }
        lines.Append(kOk);
        mail->GetMail(lines);
    }
    return lines.Lines();
}

std::vector<std::string> TranslateAgent::Dele(const std::string& argument)
{
    win32::LockGuard mailGuard(mailLock);
    Pop3Email* mail = Find(MessageNumber(argument));
    if (mail == nullptr) {
        return {"-ERR"};
    }
    mail->deleted = true;
    return {kOk};
}

std::vector<std::string> TranslateAgent::Rset(const std::string&)
{
    win32::LockGuard mailGuard(mailLock);
    for (const std::unique_ptr<Pop3Email>& mail : mails) {
        mail->deleted = false;
    }
    return {kOk};
}

std::vector<std::string> TranslateAgent::Top(const std::string& argument)
{
    long long readNumber = 0;
    long long readLimit = 0;
    if (std::sscanf(argument.c_str(), "%lld %lld", &readNumber, &readLimit) != 2 || readLimit < 0) {
        return {kSyntaxError};
    }
    const std::int32_t number = ClampedToInt32(readNumber);
    const std::int32_t limit = ClampedToInt32(readLimit);
    LineList lines;
    {
        win32::LockGuard mailGuard(mailLock);
        const auto wanted = static_cast<std::uint32_t>(number);
        Pop3Email* mail = wanted >= 1 && wanted <= mails.size() ? Find(wanted) : nullptr;
        if (mail == nullptr) {
            return {kNoSuchMessage};
        }
        lines.Append(kOk);
        mail->GetMail(limit, lines);
    }
    return lines.Lines();
}

std::vector<std::string> TranslateAgent::Uidl(const std::string& argument)
{
    std::vector<std::string> answer;
    win32::LockGuard mailGuard(mailLock);
    if (argument.empty()) {
        answer.emplace_back(kOk);
        for (const std::unique_ptr<Pop3Email>& mail : mails) {
            if (!mail->deleted) {
                answer.push_back(Format(" ", mail->number, mail->uniqueId));
            }
        }
        answer.emplace_back(".");
        return answer;
    }
    const std::uint32_t number = MessageNumber(argument);
    const Pop3Email* mail = number >= 1 && number <= mails.size() ? Find(number) : nullptr;
    if (mail == nullptr || mail->deleted) {
        return {kNoSuchMessage};
    }
    return {"+OK " + Format(" ", number, mail->uniqueId)};
}

std::vector<std::string> TranslateAgent::Capa(const std::string&)
{
    std::vector<std::string> answer{"+OK Capability list follows"};
    if (serverCapabilities.empty()) {
        // No relayed session has asked its server yet: what this agent itself offers.
        answer.insert(answer.end(), {"TOP", "UIDL", "USER"});
    } else {
        answer.insert(answer.end(), serverCapabilities.begin(), serverCapabilities.end());
    }
    answer.emplace_back(".");
    return answer;
}

std::vector<std::string> TranslateAgent::Mechanisms(const std::string&)
{
    // The mechanisms the server's "SASL" capability names, one a line.
    std::vector<std::string> answer{kOk};
    for (const std::string& capability : serverCapabilities) {
        if (pop3::IsCommand(pop3::CommandWord(capability), "SASL")) {
            std::istringstream names(capability.substr(4));
            for (std::string name; names >> name;) {
                answer.push_back(name);
            }
        }
    }
    answer.emplace_back(".");
    return answer;
}

bool TranslateAgent::Authenticate(const std::string& line, const ClientLineReader& readClientLine)
{
    AgentConnection* client = connection.load();
    if (client == nullptr) {
        throw ConnectionFailure();
    }
    bool cancelled = false;
    if (!pop3::HasInitialResponse(line)) {
        std::string response;
        if (!client->SendLine("+ ") || !readClientLine(response)) {
            throw ConnectionFailure();
        }
        cancelled = response == "*";
    }
    if (!client->SendLine(cancelled ? "-ERR authentication cancelled" : kOk)) {
        throw ConnectionFailure();
    }
    return !cancelled;
}
