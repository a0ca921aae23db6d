#include "pop3/Pop3ConnectionThread.h"

#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>

#include "core/AsyncSocketNotifier.h"
#include "core/CoInitializeForThread.h"
#include "core/ConnectionFailure.h"
#include "core/NotifierMaker.h"
#include "platform/ThreadSafety.h"
#include "pop3/LoginExchange.h"
#include "pop3/Pop3Agent.h"
#include "pop3/Pop3Command.h"
#include "pop3/Pop3ServerThread.h"

namespace {
constexpr int kLookSize = 4096;
// Queued answer lines are sent once they reach this size, even before the next wait.
constexpr std::size_t kOutputFlushSize = 64 * 1024;
// A run of lines this long is sent from where it lies instead of being copied into the queue.
constexpr std::size_t kDirectSendSize = 8 * 1024;
constexpr const char* kUnknownCommand = "-ERR Unknown command: ";
}  // namespace

Pop3ConnectionThread::Pop3ConnectionThread(win32::SOCKET acceptedSocket, Pop3ServerThread* owner)
    : socket(acceptedSocket), server(owner)
{
    agent = owner->CreateAgent();
    if (agent != nullptr) {
        agent->SetConnection(this);
    }
    Start(0, nullptr, win32::INFINITE);
}

Pop3ConnectionThread::~Pop3ConnectionThread()
{
    if (socket != win32::INVALID_SOCKET) {
        win32::closesocket(socket);
    }
}

void Pop3ConnectionThread::OnThreadBegin()
{
    CoInitializeForThread();
    try {
        AsyncSocketNotifier* own = CreateNotifier();
        if (own == nullptr) {
            throw ConnectionFailure();
        }
        notifier = own;
        win32::SetNoDelay(socket, true);
        // FD_WRITE lets a send to a slow client wait for room instead of retrying at once.
        own->SetSocket(socket, win32::FD_READ | win32::FD_WRITE | win32::FD_CLOSE);
    } catch (...) {
        RequestStop();
    }
    wakeEvent.Set();
}

void Pop3ConnectionThread::DoWork()
{
    try {
        std::string response;
        if (agent == nullptr || !agent->GetResponse(response) || !SendLine(response)) {
            throw ConnectionFailure();
        }
        const bool relayedLogin = agent->RelaysAuthentication();
        SessionState state = SessionState::kExpectUser;
        std::string line;
        while (ReadCommand(line)) {
            const std::string word = pop3::CommandWord(line);
            if (pop3::IsCommand(word, "QUIT")) {
                if (!Relay(line, response)) {
                    throw ConnectionFailure();
                }
                break;
            }
            if (state == SessionState::kTransaction) {
                if (!agent->ProcessCommand(line) && !SendUnknownCommand(word)) {
                    throw ConnectionFailure();
                }
            } else if (relayedLogin) {
                state = AuthorizeRelayedLogin(line, word, state);
            } else {
                state = Authorize(line, word, state);
            }
        }
    } catch (...) {
        // The session failed; the client connection is closed without a further reply.
    }
    try {
        // Lines already forwarded still reach the client, even when the server went away behind them.
        FlushOutput();
    } catch (...) {
        // The client has gone too.
    }
    ReportAgentFinished();
    RequestStop();
}

void Pop3ConnectionThread::ReportAgentFinished()
{
    Pop3Agent* finished = nullptr;
    {
        win32::LockGuard agentGuard(agentLock);
        finished = std::exchange(agent, nullptr);
    }
    if (finished != nullptr) {
        if (Pop3ServerThread* owner = server.load()) {
            owner->AgentFinished(finished);
        }
    }
}

void Pop3ConnectionThread::OnThreadEnd()
{
    // A session that never ran (the start hook failed) still hands its agent back for collection.
    ReportAgentFinished();
    if (AsyncSocketNotifier* own = notifier.exchange(nullptr)) {
        DestroyNotifier(own);
    }
    if (Pop3ServerThread* owner = server.exchange(nullptr)) {
        owner->ConnectionFinished(this);
    }
    CoUninitializeForThread();
}

void Pop3ConnectionThread::RequestStop()
{
    bool open = false;
    {
        win32::LockGuard socketGuard(socketLock);
        open = socket != win32::INVALID_SOCKET;
    }
    if (open) {
        CloseConnection();
    }
    {
        // A session waiting for its server's answer is woken by stopping the agent as well.
        win32::LockGuard agentGuard(agentLock);
        if (agent != nullptr) {
            agent->RequestStop();
        }
    }
    ZThinThread::RequestStop();
}

void Pop3ConnectionThread::CloseConnection()
{
    win32::LockGuard socketGuard(socketLock);
    if (socket == win32::INVALID_SOCKET) {
        return;
    }
    CloseNotifiedSocket(notifier.load(), socket, win32::FD_CLOSE);
    socket = win32::INVALID_SOCKET;
}

Pop3ConnectionThread::SessionState Pop3ConnectionThread::Authorize(const std::string& line, const std::string& word,
                                                                   SessionState state)
{
    const char* expected = state == SessionState::kExpectUser ? "USER" : "PASS";
    if (!pop3::IsCommand(word, expected)) {
        if (!SendUnknownCommand(word)) {
            throw ConnectionFailure();
        }
        return state;
    }
    std::string answer;
    if (!Relay(line, answer)) {
        throw ConnectionFailure();
    }
    // The state moves on whatever the server answered; the server answers the commands that follow.
    return state == SessionState::kExpectUser ? SessionState::kExpectPass : SessionState::kTransaction;
}

Pop3ConnectionThread::SessionState Pop3ConnectionThread::AuthorizeRelayedLogin(const std::string& line,
                                                                               const std::string& word,
                                                                               SessionState state)
{
    const auto relayed = [&](SessionState accepted, SessionState refused) {
        std::string answer;
        if (!Relay(line, answer)) {
            throw ConnectionFailure();
        }
        return answer.starts_with("+OK") ? accepted : refused;
    };
    if (pop3::IsCommand(word, "USER")) {
        return relayed(SessionState::kExpectPass, SessionState::kExpectUser);
    }
    if (pop3::IsCommand(word, "PASS") && state == SessionState::kExpectPass) {
        return relayed(SessionState::kTransaction, SessionState::kExpectUser);
    }
    if (pop3::IsCommand(word, "AUTH") && pop3::NamesMechanism(line)) {
        const bool accepted = agent->Authenticate(line, [this](std::string& answer) { return ReadCommand(answer); });
        return accepted ? SessionState::kTransaction : SessionState::kExpectUser;
    }
    // CAPA, and a bare AUTH asking for the mechanisms, are answered by the agent without a change of state.
    const bool answered =
        (pop3::IsCommand(word, "CAPA") || pop3::IsCommand(word, "AUTH")) && agent->ProcessCommand(line);
    if (!answered && !SendUnknownCommand(word)) {
        throw ConnectionFailure();
    }
    return state;
}

bool Pop3ConnectionThread::Relay(const std::string& line, std::string& answer)
{
    return agent->SendCommand(line) && agent->GetResponse(answer) && SendLine(answer);
}

bool Pop3ConnectionThread::SendUnknownCommand(const std::string& word)
{
    return SendLine(kUnknownCommand + word);
}

bool Pop3ConnectionThread::SendLine(std::string_view line)
{
    win32::LockGuard sendGuard(sendLock);
    output.append(line);
    output.append("\r\n");
    if (output.size() < kOutputFlushSize) {
        return true;
    }
    const bool sent = SendAll(output.data(), output.size());
    output.clear();
    return sent;
}

bool Pop3ConnectionThread::SendLines(std::string_view lines)
{
    win32::LockGuard sendGuard(sendLock);
    if (lines.size() < kDirectSendSize) {
        output.append(lines);
        if (output.size() < kOutputFlushSize) {
            return true;
        }
        const bool sent = SendAll(output.data(), output.size());
        output.clear();
        return sent;
    }
    // A large run goes out from where it lies, after what was queued before it.
    const bool sent = SendAll(output.data(), output.size()) && SendAll(lines.data(), lines.size());
    output.clear();
    return sent;
}

bool Pop3ConnectionThread::FlushOutput()
{
    win32::LockGuard sendGuard(sendLock);
    if (output.empty()) {
        return true;
    }
    const bool sent = SendAll(output.data(), output.size());
    output.clear();
    return sent;
}

win32::HANDLE Pop3ConnectionThread::ClientClosedEvent()
{
    AsyncSocketNotifier* own = notifier.load();
    return own != nullptr ? own->EventHandle(win32::FD_CLOSE) : nullptr;
}

void Pop3ConnectionThread::RestoreClientClosed()
{
    if (AsyncSocketNotifier* own = notifier.load()) {
        own->Signal(win32::FD_CLOSE);
    }
}

bool Pop3ConnectionThread::SendAll(const char* data, std::size_t length)
{
    std::size_t sent = 0;
    while (sent < length) {
        int result = win32::SOCKET_ERROR;
        int error = win32::WSAENOTSOCK;
        {
            win32::LockGuard socketGuard(socketLock);
            if (socket != win32::INVALID_SOCKET) {
                result = win32::send(socket, data + sent, static_cast<int>(length - sent), 0);
                error = result > 0 ? 0 : win32::WSAGetLastError();
            }
        }
        if (result > 0) {
            sent += static_cast<std::size_t>(result);
            continue;
        }
        if (error != win32::WSAEWOULDBLOCK) {
            return false;
        }
        AsyncSocketNotifier* own = notifier.load();
        if (own == nullptr) {
            return false;
        }
        // Wait until the client has taken some data. A close ends the send, and is signalled again so that the
        // next read sees it too.
        if (own->Wait(win32::FD_WRITE | win32::FD_CLOSE) == 1) {
            own->Signal(win32::FD_CLOSE);
            return false;
        }
    }
    return true;
}

bool Pop3ConnectionThread::ReadCommand(std::string& line)
{
    line.clear();
    for (;;) {
        {
            win32::LockGuard socketGuard(socketLock);
            if (socket == win32::INVALID_SOCKET) {
                return false;
            }
        }
        // Look before waiting: a second command of the same segment is already waiting in the socket.
        const ReadState state = ReadAvailable(line);
        const std::size_t end = line.find("\r\n");
        if (end != std::string::npos) {
            line.resize(end);
            return true;
        }
        if (state == ReadState::kLineEndTaken) {
            continue;  // the line end fell behind a NUL and was not appended: the socket may hold more
        }
        AsyncSocketNotifier* own = notifier.load();
        if (state == ReadState::kClientGone || own == nullptr || !FlushOutput()) {
            return false;
        }
        own->Wait(win32::FD_READ | win32::FD_CLOSE);
    }
}

Pop3ConnectionThread::ReadState Pop3ConnectionThread::ReadAvailable(std::string& text)
{
    char look[kLookSize];
    for (;;) {
        int looked = win32::SOCKET_ERROR;
        int error = win32::WSAENOTSOCK;
        {
            win32::LockGuard socketGuard(socketLock);
            if (socket != win32::INVALID_SOCKET) {
                looked = win32::recv(socket, look, kLookSize, win32::MSG_PEEK);
                error = looked >= 0 ? 0 : win32::WSAGetLastError();
            }
        }
        if (looked == 0) {
            return ReadState::kClientGone;  // the client has closed its side
        }
        if (looked < 0) {
            return error == win32::WSAEWOULDBLOCK ? ReadState::kDrained : ReadState::kClientGone;
        }
        const std::string_view seen(look, static_cast<std::size_t>(looked));
        std::size_t take = seen.size();
        bool lineEnd = false;
        if (!text.empty() && text.back() == '\r' && seen.front() == '\n') {
            // The CR taken with the previous piece and this LF end the line.
            take = 1;
            lineEnd = true;
        } else if (const std::size_t end = seen.find("\r\n"); end != std::string_view::npos) {
            take = end + 2;
            lineEnd = true;
        }
        // A CR at the end is taken too (it pairs with an LF at the front of the next look), so the socket is
        // emptied and the thread sleeps until the client sends more.
        int taken = win32::SOCKET_ERROR;
        {
            win32::LockGuard socketGuard(socketLock);
            if (socket != win32::INVALID_SOCKET) {
                taken = win32::recv(socket, look, static_cast<int>(take), 0);
            }
        }
        if (taken != static_cast<int>(take)) {
            throw ConnectionFailure();
        }
        // Bytes are appended as text: an embedded NUL ends the piece.
        text.append(look, ::strnlen(look, take));
        if (lineEnd) {
            return ReadState::kLineEndTaken;
        }
    }
}
