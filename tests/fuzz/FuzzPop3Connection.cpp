// The connection thread's command handling, fuzzed: each input is one client session over loopback to a relay
// in this process, sent in segments of the input's sizes, through the relay or the translated-mail agent.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "integration/InProcessRelay.h"
#include "integration/Pop3TestClient.h"
#include "integration/RelaySettings.h"
#include "mail/Email.h"
#include "pop3/Pop3ServerThread.h"
#include "pop3/TranslateAgent.h"
#include "support/Eventually.h"
#include "support/ScriptedPop3Server.h"
#include "support/TestComponents.h"
#include "translate/Pop3TranslateThread.h"

namespace {

constexpr int kSessionTimeoutMs = 8000;
constexpr auto kCollectTimeout = std::chrono::seconds(8);
constexpr std::size_t kSegmentSizes = 4;
constexpr std::string_view kGreeting = "+OK fuzz peer ready\r\n";

[[noreturn]] void Fail(const std::string& what, std::string_view detail = {}) {
    // "ERROR" lets the fuzz run's summary show the reason.
    std::fprintf(stderr, "ERROR: fuzz_pop3_connection: %s\n", what.c_str());
    if (!detail.empty()) {
        std::fprintf(stderr, "----\n%.*s\n----\n", static_cast<int>(detail.size()), detail.data());
    }
    std::abort();
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return upper;
}

// The CR LF terminated lines of text, each with its CR LF; a last piece without one is left out.
std::vector<std::string_view> LinesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t end; (end = text.find("\r\n")) != std::string_view::npos; text.remove_prefix(end + 2)) {
        lines.push_back(text.substr(0, end + 2));
    }
    return lines;
}

// The mail server's mails as they go on the wire (a line starting with a dot is stuffed). Mail 1 is English
// plain text, which the translate thread takes; mail 2 (multipart) and mail 3 (Japanese) it passes over.
const std::array<std::string, 3> kMails{
    "From: Alice <alice@example.com>\r\nSubject: Weekly build report\r\n"
    "Content-Type: text/plain; charset=us-ascii\r\n\r\nHello Bob,\r\nThe build is green again.\r\n"
    "..hidden line that starts with a dot\r\n..\r\nRegards, Alice\r\n",
    "Subject: Pictures\r\nContent-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n--b1\r\n\r\nSee it.\r\n"
    "--b1\r\nContent-Transfer-Encoding: base64\r\n\r\nAAECAwQFBgc=\r\n--b1--\r\n",
    "Subject: Kaigi\r\nContent-Type: text/plain; charset=iso-2022-jp\r\n\r\n"
    "\x1b$B$3$l$OF|K\\8l$N%a!<%k$G$9!#\x1b(B\r\n...\r\n\x1b$B$h$m$7$/!#\x1b(B\r\n"};

// The mailbox as whole answers to command lines (the command word upper-cased).
const std::map<std::string, std::string>& Mailbox() {
    static const std::map<std::string, std::string> answers = [] {
        std::map<std::string, std::string> mailbox;
        mailbox["CAPA"] = "+OK\r\nCAPA\r\nSTLS\r\nSASL PLAIN XOAUTH2\r\nPIPELINING\r\nTOP\r\nUIDL\r\n.\r\n";
        mailbox["AUTH"] = "+OK\r\nPLAIN\r\nXOAUTH2\r\n.\r\n";
        mailbox["NOOP"] = mailbox["RSET"] = mailbox["LIST"] = mailbox["UIDL"] = "+OK\r\n";
        std::size_t octets = 0;
        for (std::size_t i = 0; i < kMails.size(); ++i) {
            const std::string& mail = kMails[i];
            const std::string n = std::to_string(i + 1);
            const std::string size = std::to_string(mail.size());
            octets += mail.size();
            mailbox["LIST"] += n + " " + size + "\r\n";
            mailbox["UIDL"] += n + " fuzz-uid-" + n + "\r\n";
            mailbox["LIST " + n] = "+OK " + n + " " + size + "\r\n";
            mailbox["UIDL " + n] = "+OK " + n + " fuzz-uid-" + n + "\r\n";
            mailbox["DELE " + n] = "+OK message " + n + " deleted\r\n";
            mailbox["RETR " + n] = "+OK " + size + " octets\r\n" + mail + ".\r\n";
            // The header, the empty line and the first body lines.
            for (std::size_t lines = 0, end = mail.find("\r\n\r\n") + 2; lines < 3; ++lines) {
                end = mail.find("\r\n", end) + 2;
                mailbox["TOP " + n + " " + std::to_string(lines)] = "+OK\r\n" + mail.substr(0, end) + ".\r\n";
            }
        }
        mailbox["LIST"] += ".\r\n";
        mailbox["UIDL"] += ".\r\n";
        mailbox["STAT"] = "+OK 3 " + std::to_string(octets) + "\r\n";
        return mailbox;
    }();
    return answers;
}

// One session of the mail server: the mailbox's answers, except to the lines of AUTH exchanges (RFC 5034),
// whose answers are the fuzz input's, one line each in order ("-ERR no more" once they run out); a challenge
// ("+" or "+ ...") keeps an exchange going. Deterministic, so a check replays the lines the server got.
class MailServerSession {
public:
    explicit MailServerSession(std::vector<std::string> authAnswers) : authAnswers(std::move(authAnswers)) {}

    // The whole answer to a command line without its CR LF.
    std::string Answer(std::string_view line) {
        const std::string word = Upper(line.substr(0, line.find(' ')));
        const bool authArgument = word == "AUTH" && line.find_first_not_of(' ', 4) != std::string_view::npos;
        if (inExchange || authArgument) {
            const std::size_t next = nextAuthAnswer++;
            const std::string answer = next < authAnswers.size() ? authAnswers[next] : "-ERR no more";
            inExchange = answer == "+" || answer.starts_with("+ ");
            return answer + "\r\n";
        }
        quit = word == "QUIT";
        if (quit) {
            return "+OK bye\r\n";
        }
        if (word == "USER" || word == "PASS") {
            return "+OK\r\n";
        }
        const auto found = Mailbox().find(word + std::string(line.substr(word.size())));
        return found != Mailbox().end() ? found->second : "-ERR unknown command\r\n";
    }
    bool Quit() const { return quit; }

private:
    std::vector<std::string> authAnswers;
    std::size_t nextAuthAnswer = 0;
    bool inExchange = false;
    bool quit = false;
};

// The relay server of this process with its registry, the deterministic translation engine and the mail
// server behind it; made at the first input and stopped when the process ends.
struct RelayUnderTest {
    RelayUnderTest() {
        WriteProxyServerSettings("127.0.0.1", mailServer.Port(), 0);
        relay = std::make_unique<InProcessRelay>(true);
        if (mailServer.Port() == 0 || relay->Port() == 0) {
            Fail("the scripted mail server or the relay does not listen");
        }
    }
    // At the end of the process: the calling thread's own message queue is already gone, so the server is
    // stopped from a thread of its own.
    ~RelayUnderTest() {
        std::thread([this] { relay.reset(); }).join();
    }

    // The mail server's side of one session, recording the lines it gets; authAnswers are read at its start.
    void Serve(Pop3TestClient& peer) {
        MailServerSession session([this] {
            std::scoped_lock guard(sessionLock);
            return authAnswers;
        }());
        for (bool open = peer.SendRaw(kGreeting); open && !session.Quit();) {
            std::optional<std::string> line = peer.ReadLine();
            if (!line) {
                break;
            }
            line->resize(line->size() - 2);
            {
                std::scoped_lock guard(sessionLock);
                received.push_back(*line);
            }
            open = peer.SendRaw(session.Answer(*line));
        }
    }

    ScopedRegistry registry;
    testing_components::ScopedTestComponents components{{}};
    std::mutex sessionLock;
    std::vector<std::string> authAnswers;  // guarded by sessionLock
    std::vector<std::string> received;     // guarded by sessionLock: the lines of the last session
    // After the members above: its sessions end (by their read deadline at the latest) before those go.
    ScriptedPop3Server mailServer{[this](Pop3TestClient& peer, ScriptedPop3Server&) { Serve(peer); }, 10000};
    std::unique_ptr<InProcessRelay> relay;
};

struct Input {
    bool translatedMail = false;
    bool relayAuthentication = false;
    std::array<std::uint8_t, kSegmentSizes> segments{};
    std::vector<std::string> authAnswers;
    std::string_view client;
};

// Byte 0: bit 0 chooses the agent (0 relay, 1 translated mail), bit 1 turns "Relay Authentication" on; bytes
// 1-4: the segment sizes, used in turn (0: all the rest at once); with bit 1, byte 5 is the length of the
// mail server's answers to AUTH exchanges (one a line) that follow it; the rest is what the client sends.
Input Parse(const std::uint8_t* data, std::size_t size) {
    Input input;
    input.translatedMail = size > 0 && (data[0] & 1) != 0;
    input.relayAuthentication = size > 0 && (data[0] & 2) != 0;
    for (std::size_t i = 0; i < kSegmentSizes && i + 1 < size; ++i) {
        input.segments[i] = data[i + 1];
    }
    if (size > kSegmentSizes + 1) {
        input.client = {reinterpret_cast<const char*>(data) + kSegmentSizes + 1, size - kSegmentSizes - 1};
    }
    if (input.relayAuthentication && !input.client.empty()) {
        const std::size_t length =
            std::min<std::size_t>(static_cast<std::uint8_t>(input.client[0]), input.client.size() - 1);
        const std::string answers = std::string(input.client.substr(1, length)) + "\r\n";
        for (std::string_view line : LinesOf(answers)) {
            input.authAnswers.emplace_back(line.substr(0, line.size() - 2));
        }
        input.client.remove_prefix(1 + length);
    }
    return input;
}

// What the connection thread must make of each command line of the client's bytes (cut at the first CR LF).
struct ModelledLine {
    enum class Handling {
        Unknown,  // "-ERR Unknown command: " and the word, from the connection thread itself
        Relayed,  // USER or PASS in the authorization phase, or QUIT: handed to the agent, one line
        Agent,    // a transaction command the agent knows
    };
    std::string line;
    Handling handling = Handling::Unknown;
    // For the translated-mail agent: a positive answer goes on to a line of only a dot.
    bool multiLine = false;
};

struct SessionModel {
    std::vector<ModelledLine> lines;
    // False when the model stopped at a line the server may read in more than one way (a NUL byte in it ends
    // each piece the server appends, and where the pieces fall depends on how the bytes arrive).
    bool complete = true;
};

SessionModel ModelSession(std::string_view clientBytes, bool translatedMail) {
    static constexpr std::array<std::string_view, 8> kAgentCommands{"STAT", "RSET", "NOOP", "DELE",
                                                                    "LIST", "UIDL", "TOP",  "RETR"};
    SessionModel model;
    enum { kExpectUser, kExpectPass, kTransaction } state = kExpectUser;
    for (std::string_view line : LinesOf(clientBytes)) {
        ModelledLine modelled;
        modelled.line = line.substr(0, line.size() - 2);
        if (modelled.line.find('\0') != std::string::npos) {
            model.complete = false;
            break;
        }
        const std::string word = Upper(modelled.line.substr(0, modelled.line.find(' ')));
        if (word == "QUIT" || (state == kExpectUser && word == "USER") ||
            (state == kExpectPass && word == "PASS")) {
            modelled.handling = ModelledLine::Handling::Relayed;
            state = state == kExpectUser ? kExpectPass : kTransaction;
        } else if (state == kTransaction &&
                   (std::find(kAgentCommands.begin(), kAgentCommands.end(), word) != kAgentCommands.end() ||
                    (translatedMail && (word == "USER" || word == "PASS")))) {
            // The translated-mail agent's table also answers USER and PASS in the transaction phase; its LIST
            // and UIDL are multi-line without an argument or with an empty one ("LIST ").
            modelled.handling = ModelledLine::Handling::Agent;
            modelled.multiLine =
                translatedMail && (word == "RETR" || word == "TOP" ||
                                   ((word == "LIST" || word == "UIDL") && modelled.line.size() <= 5));
        }
        model.lines.push_back(std::move(modelled));
        if (word == "QUIT") {
            break;  // the session ends; what follows is never read
        }
    }
    return model;
}

// Takes the CR LF terminated lines of an answer stream in turn.
struct AnswerReader {
    std::vector<std::string_view> lines;
    std::size_t next = 0;

    std::optional<std::string_view> Line() {
        return next < lines.size() ? std::optional(lines[next++]) : std::nullopt;
    }
    bool AtEnd() const { return next == lines.size(); }
};

std::string UnknownAnswer(const std::string& line) {
    return "-ERR Unknown command: " + line.substr(0, line.find(' ')) + "\r\n";
}

// A status line and, when the answer is multi-line and positive, its lines up to the lone dot, which must be
// stuffed. False when the stream does not hold such an answer.
bool ReadAgentAnswer(AnswerReader& reader, bool multiLine) {
    const std::optional<std::string_view> status = reader.Line();
    if (!status || !(status->starts_with("+OK") || status->starts_with("-ERR"))) {
        return false;
    }
    if (!multiLine || !status->starts_with("+OK")) {
        return true;
    }
    while (const std::optional<std::string_view> line = reader.Line()) {
        if (*line == ".\r\n") {
            return true;
        }
        if (line->starts_with('.') && !line->starts_with("..")) {
            return false;
        }
    }
    return false;
}

void CheckProxySession(const SessionModel& model, const std::vector<std::string>& received,
                       const std::vector<std::string>& served, const std::string& answers) {
    std::vector<std::string> relayed;
    std::string expected = served.front();
    for (const ModelledLine& line : model.lines) {
        if (line.handling == ModelledLine::Handling::Unknown) {
            expected += UnknownAnswer(line.line);
            continue;
        }
        relayed.push_back(line.line);
        if (relayed.size() >= served.size()) {
            Fail("the mail server was not given every command to relay; answers:", answers);
        }
        expected += served[relayed.size()];
    }
    const bool sameLines = model.complete ? received == relayed
                                          : received.size() >= relayed.size() &&
                                                std::equal(relayed.begin(), relayed.end(), received.begin());
    if (!sameLines) {
        Fail("the mail server got other command lines than the client sent");
    }
    if (model.complete ? answers != expected : !answers.starts_with(expected)) {
        Fail("the client's answers differ from what the mail server answered; expected:",
             expected + "\n---- got:\n" + answers);
    }
}

// Whatever a login brings, the relay passes on lines and never makes any up: the mail server got a
// subsequence of the client's lines, and the client, besides the relay's unknown-command answers, a
// subsequence of the server's.
void CheckRelayedLogins(std::string_view client, const std::vector<std::string>& received,
                        const std::vector<std::string>& served, const std::string& answers) {
    const auto within = [](const std::vector<std::string_view>& part,
                           const std::vector<std::string_view>& whole) {
        auto at = whole.begin();
        for (std::string_view line : part) {
            at = std::find(at, whole.end(), line);
            if (at++ == whole.end()) {
                return false;
            }
        }
        return true;
    };
    std::string sent;
    for (const std::string& line : received) {
        sent += line + "\r\n";
    }
    // A NUL ends the piece of a line the relay takes, so such lines reach the server cut short.
    if (client.find('\0') == std::string_view::npos && !within(LinesOf(sent), LinesOf(client))) {
        Fail("the mail server got lines the client did not send");
    }
    std::string servedText;
    for (const std::string& answer : served) {
        servedText += answer;
    }
    std::vector<std::string_view> forwarded;
    for (std::string_view line : LinesOf(answers)) {
        if (!line.starts_with("-ERR Unknown command: ")) {
            forwarded.push_back(line);
        }
    }
    if (!within(forwarded, LinesOf(servedText))) {
        Fail("the client got lines the mail server did not send:", answers);
    }
}

void CheckTranslateSession(const SessionModel& model, const std::string& answers) {
    AnswerReader reader{LinesOf(answers)};
    if (reader.Line() != std::string(TranslateAgent::kGreeting) + "\r\n") {
        Fail("the translated-mail session does not start with its greeting", answers);
    }
    for (const ModelledLine& line : model.lines) {
        const bool right =
            line.handling == ModelledLine::Handling::Agent     ? ReadAgentAnswer(reader, line.multiLine)
            : line.handling == ModelledLine::Handling::Relayed ? reader.Line() == "+OK\r\n"
                                                               : reader.Line() == UnknownAnswer(line.line);
        if (!right) {
            Fail("wrong answer to \"" + line.line + "\" in:", answers);
        }
    }
    if (model.complete && !reader.AtEnd()) {
        Fail("answers beyond the commands sent:", answers);
    }
}

// Every translated copy of mail 1 retrieved in the relayed session is served at the next connection.
void CheckTranslatedCopies(InProcessRelay& relay, long retrievals) {
    Pop3TranslateThread& translator = *relay.Server()->TranslateThread();
    if (!Eventually([&] { return !translator.IsTranslating(); }, kCollectTimeout)) {
        Fail("the translate thread did not finish the captured mails");
    }
    if (translator.HaveTranslateMail() != (retrievals > 0)) {
        Fail("translated copies waiting do not match the retrieved mails");
    }
    if (retrievals == 0) {
        return;
    }
    Pop3TestClient client(relay.Port(), kSessionTimeoutMs);
    if (client.ReadLine() != std::string(TranslateAgent::kGreeting) + "\r\n" || !client.Command("USER a") ||
        !client.Command("PASS b")) {
        Fail("no translated-mail session after a relayed retrieval");
    }
    const std::optional<std::string> stat = client.Command("STAT");
    if (!stat || !stat->starts_with("+OK " + std::to_string(retrievals) + " ")) {
        Fail("the translated-mail session does not hold one copy per retrieval", stat.value_or("(none)"));
    }
    for (long number = 1; number <= retrievals; ++number) {
        const std::string mail = client.MultiLineCommand("RETR " + std::to_string(number)).value_or("");
        AnswerReader reader{LinesOf(mail)};
        if (!ReadAgentAnswer(reader, true) || !reader.AtEnd()) {
            Fail("a translated copy is not a well-formed multi-line answer", mail);
        }
    }
    if (client.Command("QUIT") != "+OK\r\n" || !client.WaitForClose()) {
        Fail("the translated-mail session did not end at QUIT");
    }
    if (!relay.CollectAll(kCollectTimeout) || translator.HaveTranslateMail()) {
        Fail("the translated-mail session was not collected");
    }
}

// Sends the client's bytes in segments of the input's sizes from a thread of its own, then closes the sending
// side; this thread meanwhile reads until the relay closes, so neither side can block the other.
std::string RunClientSession(std::uint16_t port, const Input& input) {
    Pop3TestClient client(port, kSessionTimeoutMs);
    if (!client.IsConnected()) {
        Fail("cannot connect to the relay");
    }
    std::thread sender([&client, &input] {
        std::string_view bytes = input.client;
        for (std::size_t turn = 0; !bytes.empty(); ++turn) {
            const std::size_t segment = input.segments[turn % kSegmentSizes];
            const std::size_t size = segment == 0 ? bytes.size() : std::min(segment, bytes.size());
            if (!client.SendRaw(bytes.substr(0, size))) {
                return;  // the relay has closed (after QUIT); what it sent is still read
            }
            bytes.remove_prefix(size);
        }
        client.ShutdownSending();
    });
    std::string answers = client.ReadUntilClose();
    if (!client.PeerClosed()) {
        Fail("the session did not end in time; answers so far:", answers);
    }
    sender.join();
    return answers;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static RelayUnderTest under;
    InProcessRelay& relay = *under.relay;
    ScriptedPop3Server& mailServer = under.mailServer;
    Pop3TranslateThread& translator = *relay.Server()->TranslateThread();
    const Input input = Parse(data, size);
    if (translator.IsTranslating() || translator.HaveTranslateMail()) {
        Fail("mails left over from the previous session");
    }
    if (input.translatedMail) {
        std::vector<std::string_view> lines = LinesOf(kMails[0]);
        std::for_each(lines.begin(), lines.end(), [](std::string_view& line) { line.remove_suffix(2); });
        for (int copy = 0; copy < 3; ++copy) {
            auto mail = std::make_unique<Email>();
            mail->SetMail(lines);
            translator.AddTranslateMail(std::move(mail));
        }
        if (!Eventually([&] { return !translator.IsTranslating(); }, kCollectTimeout) ||
            !translator.HaveTranslateMail()) {
            Fail("the mails for the translated-mail session were not translated");
        }
    }
    const int mailServerSessions = mailServer.Connections();
    {
        std::scoped_lock guard(under.sessionLock);  // no mail server session runs now
        under.authAnswers = input.authAnswers;
        under.received.clear();
    }
    WriteProxyServerDword("Relay Authentication", input.relayAuthentication ? 1 : 0);

    const std::string answers = RunClientSession(relay.Port(), input);
    if (!answers.ends_with("\r\n")) {
        Fail("the last answer line does not end in CR LF:", answers);
    }
    if (!relay.CollectAll(kCollectTimeout)) {
        Fail("the connection thread or its agent was not collected");
    }

    const SessionModel model = ModelSession(input.client, input.translatedMail);
    if (input.translatedMail) {
        if (mailServer.Connections() != mailServerSessions || translator.HaveTranslateMail()) {
            Fail("the translated-mail session did not take all the translated mails");
        }
        if (!input.relayAuthentication) {
            CheckTranslateSession(model, answers);
        }
        return 0;
    }
    if (!Eventually([&] { return mailServer.Connections() > mailServerSessions; }, kCollectTimeout) ||
        !mailServer.WaitUntilIdle() || mailServer.Connections() != mailServerSessions + 1) {
        Fail("the relay's session with the mail server did not end, or was not the only one");
    }
    const std::vector<std::string> received = [&] {
        std::scoped_lock guard(under.sessionLock);
        return under.received;
    }();
    MailServerSession replay(input.authAnswers);
    std::vector<std::string> served{std::string(kGreeting)};  // the greeting, then the answer to each line
    for (const std::string& line : received) {
        served.push_back(replay.Answer(line));
    }
    if (input.relayAuthentication) {
        CheckRelayedLogins(input.client, received, served, answers);
    } else {
        CheckProxySession(model, received, served, answers);
    }
    CheckTranslatedCopies(relay, std::count(served.begin(), served.end(), Mailbox().at("RETR 1")));
    return 0;
}
