// The connection thread's whole command handling: each input is one client session, sent over a real loopback
// connection to a relay server running in this process, in segments whose sizes the input chooses (so line ends
// split between segments and several commands in one segment both occur). The session's agent is either the relay
// agent in front of a scripted mail server or the translated-mail agent holding three translated mails.
//
// Input: byte 0 bit 0 chooses the agent (0 relay, 1 translated mail), bit 1 turns "Relay Authentication" on;
// bytes 1-4 are the segment sizes, used in turn (0: all the rest at once); with bit 1, byte 5 is the length of the
// mail server's answers to the lines of AUTH exchanges (one a line, cut at CR LF) that follow it; the rest is what
// the client sends. The client then closes its sending side and reads until the server closes.
//
// Checked every session: it ends, the answers are exactly what the commands call for in order (with the relay,
// byte for byte what the mail server answered, and the mail server got exactly the relayed lines), the last
// answer line ends in CR LF, the connection thread and agent are collected, and every mail 1 the client retrieved
// through the relay is served translated at the next connection. With "Relay Authentication" on, whatever both
// sides send in a login, the mail server gets only the client's lines, unchanged and in order, and the client only
// the mail server's lines and the relay's own unknown-command answers.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "DeterministicPop3Peer.h"
#include "SegmentedClient.h"
#include "SessionModel.h"
#include "integration/InProcessRelay.h"
#include "integration/Pop3TestClient.h"
#include "integration/RelaySettings.h"
#include "mail/Email.h"
#include "pop3/Pop3ServerThread.h"
#include "pop3/TranslateAgent.h"
#include "support/Eventually.h"
#include "translate/Pop3TranslateThread.h"
#include "support/TestComponents.h"

namespace {

constexpr auto kSessionTimeout = std::chrono::seconds(8);
constexpr auto kCollectTimeout = std::chrono::seconds(8);
constexpr std::size_t kSegmentSizes = 4;

[[noreturn]] void Fail(const char* what, std::string_view detail = {})
{
    // "ERROR" lets the fuzz run's summary show the reason.
    std::fprintf(stderr, "ERROR: fuzz_pop3_connection: %s\n", what);
    if (!detail.empty()) {
        std::fprintf(stderr, "----\n%.*s\n----\n", static_cast<int>(detail.size()), detail.data());
    }
    std::abort();
}

// The relay server of this process with its registry, the deterministic translation engine and the mail server
// behind it; made at the first input and stopped when the process ends.
class RelayUnderTest {
public:
    RelayUnderTest()
    {
        if (peer.Port() == 0) {
            Fail("the scripted mail server does not listen");
        }
        WriteProxyServerSettings("127.0.0.1", peer.Port(), 0);
        relay = std::make_unique<InProcessRelay>(true);
        if (relay->Port() == 0) {
            Fail("the relay does not listen");
        }
    }

    // At the end of the process: the calling thread's own message queue is already gone, so the server is stopped
    // from a thread of its own.
    ~RelayUnderTest()
    {
        std::thread([this] { relay.reset(); }).join();
    }
    RelayUnderTest(const RelayUnderTest&) = delete;
    RelayUnderTest& operator=(const RelayUnderTest&) = delete;

    InProcessRelay& Relay() { return *relay; }
    Pop3TranslateThread& Translator() { return *relay->Server()->TranslateThread(); }
    DeterministicPop3Peer& Peer() { return peer; }

private:
    ScopedRegistry registry;
    testing_components::ScopedTestComponents components{{}};
    DeterministicPop3Peer peer;
    std::unique_ptr<InProcessRelay> relay;
};

struct Input {
    AgentKind agent = AgentKind::Proxy;
    bool relayAuthentication = false;
    std::array<std::uint8_t, kSegmentSizes> segments{};
    std::vector<std::string> authAnswers;
    std::string_view client;
};

// The CR LF terminated lines of text, each with its CR LF; a last piece without one is left out.
std::vector<std::string_view> LinesOf(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (std::size_t end; (end = text.find("\r\n")) != std::string_view::npos; text.remove_prefix(end + 2)) {
        lines.push_back(text.substr(0, end + 2));
    }
    return lines;
}

Input Parse(const std::uint8_t* data, std::size_t size)
{
    Input input;
    if (size > 0) {
        input.agent = (data[0] & 1) != 0 ? AgentKind::Translate : AgentKind::Proxy;
    }
    for (std::size_t i = 0; i < kSegmentSizes && i + 1 < size; ++i) {
        input.segments[i] = data[i + 1];
    }
    if (size > kSegmentSizes + 1) {
        input.client = {reinterpret_cast<const char*>(data) + kSegmentSizes + 1, size - kSegmentSizes - 1};
    }
    input.relayAuthentication = size > 0 && (data[0] & 2) != 0;
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

// Takes the CR LF terminated lines of an answer stream in turn.
struct AnswerReader {
    std::vector<std::string_view> lines;
    std::size_t next = 0;

    std::optional<std::string_view> Line() { return next < lines.size() ? std::optional(lines[next++]) : std::nullopt; }
    bool AtEnd() const { return next == lines.size(); }
};

std::string UnknownAnswer(const std::string& word)
{
    return "-ERR Unknown command: " + word + "\r\n";
}

// A status line and, when the answer is multi-line and positive, its lines up to the lone dot, which must be
// stuffed. False when the stream does not hold such an answer.
bool ReadAgentAnswer(AnswerReader& reader, bool multiLine)
{
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

void CheckProxySession(const SessionModel& model, const DeterministicPop3Peer::Transcript& peer,
                       const std::string& answers)
{
    std::vector<std::string> relayed;
    std::string expected = peer.answers.empty() ? std::string() : peer.answers.front();
    std::size_t next = 1;
    for (const ModelledLine& line : model.lines) {
        if (line.handling == ModelledLine::Handling::Unknown) {
            expected += UnknownAnswer(line.word);
            continue;
        }
        relayed.push_back(line.line);
        if (next >= peer.answers.size()) {
            Fail("the mail server was not given every command to relay; answers:", answers);
        }
        expected += peer.answers[next++];
    }
    const bool sameLines = model.complete ? peer.received == relayed
                                          : peer.received.size() >= relayed.size() &&
                                                std::equal(relayed.begin(), relayed.end(), peer.received.begin());
    if (!sameLines) {
        Fail("the mail server got other command lines than the client sent");
    }
    if (model.complete ? answers != expected : !answers.starts_with(expected)) {
        Fail("the client's answers differ from what the mail server answered; expected:",
             expected + "\n---- got:\n" + answers);
    }
}

// Whatever a login brings, the relay passes on lines and never makes any up: the mail server got a subsequence of
// the client's lines, and the client, besides the relay's unknown-command answers, a subsequence of the server's.
void CheckRelayedLogins(std::string_view client, const DeterministicPop3Peer::Transcript& peer,
                        const std::string& answers)
{
    const auto within = [](const std::vector<std::string_view>& part, const std::vector<std::string_view>& whole) {
        auto at = whole.begin();
        for (std::string_view line : part) {
            at = std::find(at, whole.end(), line);
            if (at++ == whole.end()) {
                return false;
            }
        }
        return true;
    };
    std::vector<std::string> received;
    for (const std::string& line : peer.received) {
        received.push_back(line + "\r\n");
    }
    // A NUL ends the piece of a line the relay takes, so such lines reach the server cut short.
    if (client.find('\0') == std::string_view::npos &&
        !within(std::vector<std::string_view>(received.begin(), received.end()), LinesOf(client))) {
        Fail("the mail server got lines the client did not send");
    }
    std::string served;
    for (const std::string& answer : peer.answers) {
        served += answer;
    }
    std::vector<std::string_view> forwarded;
    for (std::string_view line : LinesOf(answers)) {
        if (!line.starts_with("-ERR Unknown command: ")) {
            forwarded.push_back(line);
        }
    }
    if (!within(forwarded, LinesOf(served))) {
        Fail("the client got lines the mail server did not send:", answers);
    }
}

void CheckTranslateSession(const SessionModel& model, const std::string& answers)
{
    AnswerReader reader{LinesOf(answers)};
    if (reader.Line() != std::string(TranslateAgent::kGreeting) + "\r\n") {
        Fail("the translated-mail session does not start with its greeting", answers);
    }
    for (const ModelledLine& line : model.lines) {
        bool right = false;
        switch (line.handling) {
        case ModelledLine::Handling::Unknown:
            right = reader.Line() == UnknownAnswer(line.word);
            break;
        case ModelledLine::Handling::Relayed:
            right = reader.Line() == "+OK\r\n";
            break;
        case ModelledLine::Handling::Agent:
            right = ReadAgentAnswer(reader, line.multiLine);
            break;
        }
        if (!right) {
            Fail(("wrong answer to \"" + line.line + "\" in:").c_str(), answers);
        }
    }
    if (model.complete && !reader.AtEnd()) {
        Fail("answers beyond the commands sent:", answers);
    }
}

// Every translated copy of mail 1 retrieved in the relayed session is served at the next connection.
void CheckTranslatedCopies(RelayUnderTest& relay, int retrievals)
{
    Pop3TranslateThread& translator = relay.Translator();
    if (!Eventually([&] { return !translator.IsTranslating(); }, kCollectTimeout)) {
        Fail("the translate thread did not finish the captured mails");
    }
    if (translator.HaveTranslateMail() != (retrievals > 0)) {
        Fail("translated copies waiting do not match the retrieved mails");
    }
    if (retrievals == 0) {
        return;
    }
    Pop3TestClient client(relay.Relay().Port(), static_cast<int>(kCollectTimeout.count() * 1000));
    if (client.ReadLine() != std::string(TranslateAgent::kGreeting) + "\r\n" || !client.Command("USER a") ||
        !client.Command("PASS b")) {
        Fail("no translated-mail session after a relayed retrieval");
    }
    const std::optional<std::string> stat = client.Command("STAT");
    if (!stat || !stat->starts_with("+OK " + std::to_string(retrievals) + " ")) {
        Fail("the translated-mail session does not hold one copy per retrieval", stat.value_or("(none)"));
    }
    for (int number = 1; number <= retrievals; ++number) {
        const std::string mail = client.MultiLineCommand("RETR " + std::to_string(number)).value_or("");
        AnswerReader reader{LinesOf(mail)};
        if (!ReadAgentAnswer(reader, true) || !reader.AtEnd()) {
            Fail("a translated copy is not a well-formed multi-line answer", mail);
        }
    }
    if (client.Command("QUIT") != "+OK\r\n" || !client.WaitForClose()) {
        Fail("the translated-mail session did not end at QUIT");
    }
    if (!relay.Relay().CollectAll(kCollectTimeout) || translator.HaveTranslateMail()) {
        Fail("the translated-mail session was not collected");
    }
}

std::unique_ptr<Email> TranslatableMail(int number)
{
    std::vector<std::string> lines{"From: Erin <erin@example.com>", "Subject: Note " + std::to_string(number),
                                   "Content-Type: text/plain; charset=us-ascii", "", "Dear team,"};
    for (int i = 0; i < number * 2; ++i) {
        lines.push_back(i % 2 == 0 ? "Line " + std::to_string(i) + " of the note." : "..dot-stuffed line");
    }
    lines.push_back("..");
    auto mail = std::make_unique<Email>();
    mail->SetMail(lines);
    return mail;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static RelayUnderTest relay;
    const Input input = Parse(data, size);
    Pop3TranslateThread& translator = relay.Translator();
    if (translator.IsTranslating() || translator.HaveTranslateMail()) {
        Fail("mails left over from the previous session");
    }
    if (input.agent == AgentKind::Translate) {
        for (int number = 1; number <= 3; ++number) {
            translator.AddTranslateMail(TranslatableMail(number));
        }
        if (!Eventually([&] { return !translator.IsTranslating(); }, kCollectTimeout) ||
            !translator.HaveTranslateMail()) {
            Fail("the mails for the translated-mail session were not translated");
        }
    }
    relay.Peer().Reset();
    relay.Peer().SetAuthAnswers(input.authAnswers);
    WriteProxyServerDword("Relay Authentication", input.relayAuthentication ? 1 : 0);

    const SegmentedSession session =
        RunSegmentedSession(relay.Relay().Port(), kSessionTimeout, input.client, input.segments);
    const std::string& answers = session.answers;
    if (!session.connected) {
        Fail("cannot connect to the relay");
    }
    if (!session.ended) {
        Pop3ServerThread& server = *relay.Relay().Server();
        const std::string state = "connection threads " + std::to_string(server.ConnectionCount()) + ", agents " +
                                  std::to_string(server.AgentCount()) + ", mail server sessions " +
                                  std::to_string(relay.Peer().Sessions()) + "; answers so far:\n" + answers;
        Fail("the session did not end in time;", state);
    }
    if (answers.empty() || !answers.ends_with("\r\n")) {
        Fail("the last answer line does not end in CR LF:", answers);
    }
    if (!relay.Relay().CollectAll(kCollectTimeout)) {
        Fail("the connection thread or its agent was not collected");
    }

    const SessionModel model = ModelSession(input.client, input.agent);
    if (input.agent == AgentKind::Translate) {
        if (relay.Peer().Sessions() != 0 || translator.HaveTranslateMail()) {
            Fail("the translated-mail session did not take all the translated mails");
        }
        if (!input.relayAuthentication) {
            CheckTranslateSession(model, answers);
        }
        return 0;
    }
    const std::optional<DeterministicPop3Peer::Transcript> peer = relay.Peer().WaitForSessionEnd(kCollectTimeout);
    if (!peer || relay.Peer().Sessions() != 1) {
        Fail("the relay's session with the mail server did not end, or was not the only one");
    }
    if (input.relayAuthentication) {
        CheckRelayedLogins(input.client, *peer, answers);
    } else {
        CheckProxySession(model, *peer, answers);
    }
    CheckTranslatedCopies(relay, peer->firstMailRetrievals);
    return 0;
}
