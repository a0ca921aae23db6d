#include "DeterministicPop3Peer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include "SessionModel.h"
#include "integration/Pop3TestClient.h"

namespace {

constexpr std::size_t kMailCount = 3;

struct Mail {
    std::vector<std::string> headers;
    std::vector<std::string> body;
    std::string uid;
};

// Mail 1 is English plain text (the translate thread takes it), mail 2 a multipart mail and mail 3 Japanese plain
// text (both of which it passes over). Lines starting with a dot, and one that is only a dot, test the stuffing.
const std::array<Mail, kMailCount>& Mailbox()
{
    static const std::array<Mail, kMailCount> mails{{
        {{"From: Alice <alice@example.com>", "To: Bob <bob@example.com>", "Subject: Weekly build report",
          "Message-ID: <1@fuzz.example>", "Content-Type: text/plain; charset=us-ascii"},
         {"Hello Bob,", "The build is green again and the release is on track.", ".hidden line that starts with a dot",
          ".", "Regards, Alice"},
         "fuzz-uid-1"},
        {{"From: Carol <carol@example.com>", "Subject: Pictures", "Content-Type: multipart/mixed; boundary=\"b1\""},
         {"--b1", "Content-Type: text/plain; charset=us-ascii", "", "See the attachment.", "--b1",
          "Content-Type: application/octet-stream", "Content-Transfer-Encoding: base64", "", "AAECAwQFBgc=", "--b1--"},
         "fuzz-uid-2"},
        {{"From: Dai <dai@example.jp>", "Subject: Kaigi", "Content-Type: text/plain; charset=iso-2022-jp"},
         {"\x1b$B$3$l$OF|K\\8l$N%a!<%k$G$9!#Mh=5$N2q5D$K$D$$$F!#\x1b(B", "..", "\x1b$B$h$m$7$/!#\x1b(B"},
         "fuzz-uid-3"},
    }};
    return mails;
}

std::size_t Octets(const Mail& mail)
{
    std::size_t octets = 2;  // the empty line between header and body
    for (const std::vector<std::string>* part : {&mail.headers, &mail.body}) {
        for (const std::string& line : *part) {
            octets += line.size() + 2;
        }
    }
    return octets;
}

// The header, the empty line and the first bodyLines body lines, stuffed, and the terminating dot.
std::string MailText(const Mail& mail, std::size_t bodyLines)
{
    std::string out;
    const auto append = [&out](const std::string& line) { out += (line.starts_with('.') ? "." : "") + line + "\r\n"; };
    std::for_each(mail.headers.begin(), mail.headers.end(), append);
    out += "\r\n";
    std::for_each_n(mail.body.begin(), std::min(bodyLines, mail.body.size()), append);
    return out + ".\r\n";
}

// Digits only, as a strict server reads a number; nullopt for anything else.
std::optional<std::size_t> Number(std::string_view text)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    return std::stoul(std::string(text));
}

// The index of the mail the argument numbers, when there is one.
std::optional<std::size_t> Find(std::string_view argument)
{
    const std::optional<std::size_t> number = Number(argument);
    return number && *number >= 1 && *number <= kMailCount ? std::optional<std::size_t>(*number - 1) : std::nullopt;
}

}  // namespace

void DeterministicPop3Peer::Reset()
{
    std::scoped_lock sessionGuard(sessionLock);
    sessions = 0;
    transcript = Transcript();
}

void DeterministicPop3Peer::SetAuthAnswers(std::vector<std::string> answers)
{
    std::scoped_lock sessionGuard(sessionLock);
    authAnswers = std::move(answers);
}

int DeterministicPop3Peer::Sessions()
{
    std::scoped_lock sessionGuard(sessionLock);
    return sessions;
}

std::optional<DeterministicPop3Peer::Transcript> DeterministicPop3Peer::WaitForSessionEnd(
    std::chrono::milliseconds timeout)
{
    std::unique_lock sessionGuard(sessionLock);
    if (!sessionChanged.wait_for(sessionGuard, timeout, [this] { return sessions > 0 && transcript.ended; })) {
        return std::nullopt;
    }
    return transcript;
}

void DeterministicPop3Peer::RunSession(Pop3TestClient& relay)
{
    const std::string greeting = "+OK fuzz peer ready\r\n";
    AuthExchange exchange;
    {
        std::scoped_lock sessionGuard(sessionLock);
        ++sessions;
        transcript = Transcript();
        transcript.answers.push_back(greeting);
        exchange.answers = authAnswers;
    }
    if (relay.SendRaw(greeting)) {
        while (std::optional<std::string> line = relay.ReadLine()) {
            line->resize(line->size() - 2);
            bool quit = false;
            bool retrievedFirst = false;
            std::string answer = Answer(*line, exchange, quit, retrievedFirst);
            {
                std::scoped_lock sessionGuard(sessionLock);
                transcript.received.push_back(*line);
                transcript.answers.push_back(answer);
                transcript.firstMailRetrievals += retrievedFirst ? 1 : 0;
            }
            if (!relay.SendRaw(answer) || quit) {
                break;
            }
        }
    }
    relay.Close();
    {
        std::scoped_lock sessionGuard(sessionLock);
        transcript.ended = true;
    }
    sessionChanged.notify_all();
}

std::string DeterministicPop3Peer::Answer(const std::string& line, AuthExchange& exchange, bool& quit,
                                          bool& retrievedFirst) const
{
    const std::size_t space = line.find(' ');
    const std::string_view word = std::string_view(line).substr(0, space);
    const auto is = [word](std::string_view command) { return SameWord(word, command); };
    const bool hasArgument = space != std::string::npos;
    const std::string_view argument = hasArgument ? std::string_view(line).substr(space + 1) : std::string_view();
    const auto& mails = Mailbox();
    const std::string noSuchMessage = "-ERR no such message\r\n";

    if (exchange.going || (is("AUTH") && argument.find_first_not_of(' ') != std::string_view::npos)) {
        const std::size_t next = exchange.next++;
        const std::string answer = next < exchange.answers.size() ? exchange.answers[next] : "-ERR no more";
        exchange.going = answer == "+" || answer.starts_with("+ ");
        return answer + "\r\n";
    }
    if (is("AUTH")) {
        return "+OK\r\nPLAIN\r\nXOAUTH2\r\n.\r\n";
    }
    if (is("CAPA")) {
        return "+OK\r\nCAPA\r\nSTLS\r\nSASL PLAIN XOAUTH2\r\nPIPELINING\r\nTOP\r\nUIDL\r\n.\r\n";
    }
    if (is("QUIT")) {
        quit = true;
        return "+OK bye\r\n";
    }
    if (is("USER") || is("PASS") || is("NOOP") || is("RSET")) {
        return "+OK\r\n";
    }
    if (is("STAT")) {
        std::size_t octets = 0;
        for (const Mail& mail : mails) {
            octets += Octets(mail);
        }
        return "+OK " + std::to_string(kMailCount) + " " + std::to_string(octets) + "\r\n";
    }
    if (is("LIST") || is("UIDL")) {
        const auto item = [&](std::size_t i) {
            return std::to_string(i + 1) + " " + (is("LIST") ? std::to_string(Octets(mails[i])) : mails[i].uid);
        };
        // As the relay expects: a line with an argument has a one-line answer.
        if (hasArgument) {
            const std::optional<std::size_t> index = Find(argument);
            return index ? "+OK " + item(*index) + "\r\n" : noSuchMessage;
        }
        std::string answer = "+OK\r\n";
        for (std::size_t i = 0; i < kMailCount; ++i) {
            answer += item(i) + "\r\n";
        }
        return answer + ".\r\n";
    }
    const std::size_t blank = argument.find(' ');
    const std::optional<std::size_t> index = Find(is("TOP") ? argument.substr(0, blank) : argument);
    if (is("DELE")) {
        return index ? "+OK message " + std::to_string(*index + 1) + " deleted\r\n" : noSuchMessage;
    }
    if (is("TOP")) {
        const std::optional<std::size_t> bodyLines =
            blank == std::string_view::npos ? std::nullopt : Number(argument.substr(blank + 1));
        return index && bodyLines ? "+OK\r\n" + MailText(mails[*index], *bodyLines) : noSuchMessage;
    }
    if (is("RETR")) {
        retrievedFirst = index == 0u;
        return index ? "+OK " + std::to_string(Octets(mails[*index])) + " octets\r\n" +
                           MailText(mails[*index], mails[*index].body.size())
                     : noSuchMessage;
    }
    return "-ERR unknown command\r\n";
}
