// Commands are matched case-insensitively against a table, in the order QUIT USER PASS STAT LIST RETR DELE NOOP
// RSET TOP UIDL. Message numbers are read like atoi and compared as unsigned values, so "-1" is no message.
// Deletion marks live only in the agent: nothing is ever removed, and QUIT deletes nothing.
#include "pop3/TranslateAgent.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "mail/LineList.h"
#include "pop3/Pop3Command.h"
#include "pop3/Pop3ConnectionThread.h"

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

TranslateAgent::TranslateAgent(Pop3TranslateThread* translateThread) : translateThread(translateThread)
{
    Start(0, nullptr, win32::INFINITE);
}

TranslateAgent::~TranslateAgent() = default;

void TranslateAgent::OnThreadBegin() { wakeEvent.Set(); }

void TranslateAgent::OnThreadEnd()
{
    std::scoped_lock mailGuard(mailLock);
    mails.clear();
}

void TranslateAgent::AddMail(const Email& mail)
{
    std::scoped_lock mailGuard(mailLock);
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

bool TranslateAgent::SendCommand(std::string line)
{
    const std::size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string argument = space == std::string::npos ? std::string() : line.substr(space + 1);
    for (const Command& command : kCommands) {
        if (pop3::IsCommand(word, command.word)) {
            std::vector<std::string> answer = (this->*command.handler)(argument);
            std::scoped_lock responseGuard(responseLock);
            for (std::string& answerLine : answer) {
                responses.push_back(std::move(answerLine));
            }
            return true;
        }
    }
    return false;
}

bool TranslateAgent::GetResponse(std::string& response)
{
    if (greetingPending) {
        response = kGreeting;
        greetingPending = false;
        return true;
    }
    std::scoped_lock responseGuard(responseLock);
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
        std::scoped_lock responseGuard(responseLock);
        responses.clear();
    }
    if (!SendCommand(line)) {
        return false;
    }
    std::scoped_lock responseGuard(responseLock);
    Pop3ConnectionThread* client = connection.load();
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
        std::scoped_lock mailGuard(mailLock);
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
    std::scoped_lock mailGuard(mailLock);
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
        std::scoped_lock mailGuard(mailLock);
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
    std::scoped_lock mailGuard(mailLock);
    Pop3Email* mail = Find(MessageNumber(argument));
    if (mail == nullptr) {
        return {"-ERR"};
    }
    mail->deleted = true;
    return {kOk};
}

std::vector<std::string> TranslateAgent::Rset(const std::string&)
{
    std::scoped_lock mailGuard(mailLock);
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
        std::scoped_lock mailGuard(mailLock);
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
    std::scoped_lock mailGuard(mailLock);
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
