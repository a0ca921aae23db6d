#include "DeterministicPop3Peer.h"

#include <array>
#include <cstddef>
#include <string_view>

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
    for (const std::string& line : mail.headers) {
        octets += line.size() + 2;
    }
    for (const std::string& line : mail.body) {
        octets += line.size() + 2;
    }
    return octets;
}

void AppendStuffed(std::string& out, std::string_view line)
{
    if (line.starts_with('.')) {
        out += '.';
    }
    out.append(line);
    out += "\r\n";
}

// The header, the empty line and the first bodyLines body lines, stuffed, and the terminating dot.
std::string MailText(const Mail& mail, std::size_t bodyLines)
{
    std::string out;
    for (const std::string& line : mail.headers) {
        AppendStuffed(out, line);
    }
    out += "\r\n";
    for (std::size_t i = 0; i < bodyLines && i < mail.body.size(); ++i) {
        AppendStuffed(out, mail.body[i]);
    }
    out += ".\r\n";
    return out;
}

// Digits only, as a strict server reads a number; nullopt for anything else.
std::optional<std::size_t> Number(std::string_view text)
{
    if (text.empty() || text.size() > 9) {
        return std::nullopt;
    }
    std::size_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    return value;
}

std::string UpperAscii(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

}  // namespace

struct DeterministicPop3Peer::MailboxState {
    std::array<bool, kMailCount> deleted{};
    std::vector<std::string> authAnswers;
    std::size_t nextAuthAnswer = 0;
    bool inExchange = false;

    // The index of the mail numbered by the argument, when it exists and is not deleted.
    std::optional<std::size_t> Find(std::string_view argument) const
    {
        const std::optional<std::size_t> number = Number(argument);
        if (!number || *number < 1 || *number > kMailCount || deleted[*number - 1]) {
            return std::nullopt;
        }
        return *number - 1;
    }
};

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
    {
        std::scoped_lock sessionGuard(sessionLock);
        ++sessions;
        transcript = Transcript();
        transcript.answers.push_back(greeting);
    }
    MailboxState state;
    {
        std::scoped_lock sessionGuard(sessionLock);
        state.authAnswers = authAnswers;
    }
    if (relay.SendRaw(greeting)) {
        while (std::optional<std::string> line = relay.ReadLine()) {
            line->resize(line->size() - 2);
            bool quit = false;
            bool retrievedFirst = false;
            std::string answer = Answer(*line, state, quit, retrievedFirst);
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

std::string DeterministicPop3Peer::Answer(const std::string& line, MailboxState& state, bool& quit,
                                          bool& retrievedFirst) const
{
    const std::size_t space = line.find(' ');
    const std::string word = UpperAscii(std::string_view(line).substr(0, space));
    const bool hasArgument = space != std::string::npos;
    const std::string_view argument = hasArgument ? std::string_view(line).substr(space + 1) : std::string_view();
    const auto& mails = Mailbox();
    const std::string noSuchMessage = "-ERR no such message\r\n";

    if (state.inExchange || (word == "AUTH" && argument.find_first_not_of(' ') != std::string_view::npos)) {
        const std::size_t next = state.nextAuthAnswer++;
        const std::string answer = next < state.authAnswers.size() ? state.authAnswers[next] : "-ERR no more";
        state.inExchange = answer == "+" || answer.starts_with("+ ");
        return answer + "\r\n";
    }
    if (word == "AUTH") {
        return "+OK\r\nPLAIN\r\nXOAUTH2\r\n.\r\n";
    }
    if (word == "CAPA") {
        return "+OK\r\nCAPA\r\nSTLS\r\nSASL PLAIN XOAUTH2\r\nPIPELINING\r\nTOP\r\nUIDL\r\n.\r\n";
    }
    if (word == "USER" || word == "PASS" || word == "NOOP") {
        return "+OK\r\n";
    }
    if (word == "QUIT") {
        quit = true;
        return "+OK bye\r\n";
    }
    if (word == "RSET") {
        state.deleted.fill(false);
        return "+OK\r\n";
    }
    if (word == "STAT") {
        std::size_t count = 0;
        std::size_t octets = 0;
        for (std::size_t i = 0; i < kMailCount; ++i) {
            if (!state.deleted[i]) {
                ++count;
                octets += Octets(mails[i]);
            }
        }
        return "+OK " + std::to_string(count) + " " + std::to_string(octets) + "\r\n";
    }
    if (word == "DELE") {
        const std::optional<std::size_t> index = state.Find(argument);
        if (!index) {
            return noSuchMessage;
        }
        state.deleted[*index] = true;
        return "+OK message " + std::to_string(*index + 1) + " deleted\r\n";
    }
    if (word == "LIST" || word == "UIDL") {
        const auto item = [&](std::size_t i) {
            return std::to_string(i + 1) + " " + (word == "LIST" ? std::to_string(Octets(mails[i])) : mails[i].uid);
        };
        // As the relay expects: a line with an argument has a one-line answer.
        if (hasArgument) {
            const std::optional<std::size_t> index = state.Find(argument);
            return index ? "+OK " + item(*index) + "\r\n" : noSuchMessage;
        }
        std::string answer = "+OK\r\n";
        for (std::size_t i = 0; i < kMailCount; ++i) {
            if (!state.deleted[i]) {
                answer += item(i) + "\r\n";
            }
        }
        return answer + ".\r\n";
    }
    if (word == "TOP") {
        const std::size_t blank = argument.find(' ');
        const std::optional<std::size_t> index =
            blank == std::string_view::npos ? std::nullopt : state.Find(argument.substr(0, blank));
        const std::optional<std::size_t> bodyLines =
            blank == std::string_view::npos ? std::nullopt : Number(argument.substr(blank + 1));
        if (!index || !bodyLines) {
            return noSuchMessage;
        }
        return "+OK\r\n" + MailText(mails[*index], *bodyLines);
    }
    if (word == "RETR") {
        const std::optional<std::size_t> index = state.Find(argument);
        if (!index) {
            return noSuchMessage;
        }
        retrievedFirst = *index == 0;
        return "+OK " + std::to_string(Octets(mails[*index])) + " octets\r\n" +
               MailText(mails[*index], mails[*index].body.size());
    }
    return "-ERR unknown command\r\n";
}
