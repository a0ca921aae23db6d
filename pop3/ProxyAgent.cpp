#include "pop3/ProxyAgent.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "core/AsyncSocketNotifier.h"
#include "core/BufferedWriteAsyncSocketNotifierWrapper.h"
#include "core/CoInitializeForThread.h"
#include "core/ConnectionFailure.h"
#include "core/DebugTrace.h"
#include "core/MsgWaitMultiple.h"
#include "core/NotifierMaker.h"
#include "mail/Email.h"
#include "platform/ThreadSafety.h"
#include "pop3/AgentConnection.h"
#include "pop3/CapturedMail.h"
#include "pop3/LoginExchange.h"
#include "pop3/RelayCaptures.h"
#include "pop3/MultiLineEnd.h"
#include "platform/Window.h"
#include "pop3/Pop3Command.h"
#include "pop3/TlsChannel.h"
#include "settings/ProxyServerPreferences.h"

namespace {
// Large receives, drained until the socket is empty, keep the wake-ups per mail few. A session starts with small
// ones (greeting, one-line answers), so that the many short sessions of a busy server hold little memory until
// they are collected; each receive that fills its buffer doubles the next, up to the largest.
constexpr int kFirstReceive = 1024;
constexpr int kLargestReceive = 64 * 1024;
constexpr win32::DWORD kDefaultListenPort = 110;
constexpr win32::DWORD kAnyInput = 0xFF;
// A client that has closed its side may still be reading the answers to its last commands (a half-closed
// connection): the server gets this long to go on answering before the session is given up.
constexpr std::chrono::seconds kLeftClientGrace(2);

bool IsLoopbackName(const std::string& address)
{
    return address == "localhost" || address == "127.0.0.1";
}

// "+OK 4194575 octets": the size of the mail as the server announces it; 0 when it gives none.
std::size_t AnnouncedOctets(std::string_view status)
{
    std::string_view rest = status.substr(std::min<std::size_t>(3, status.size()));
    while (!rest.empty() && rest.front() == ' ') {
        rest.remove_prefix(1);
    }
    std::size_t octets = 0;
    std::from_chars(rest.data(), rest.data() + rest.size(), octets);
    return octets;
}
}  // namespace

ProxyAgent::ProxyAgent(const std::string& address, win32::DWORD port, RelayCaptures* translateThread,
                       win32::DWORD security, std::string caFile, bool relayAuthentication)
    : Pop3Agent(relayAuthentication),
      translateThread(translateThread),
      serverAddress(address),
      serverPort(port),
      security(security),
      caFile(std::move(caFile)),
      tls(security != 0 ? std::make_unique<TlsChannel>(address, aborted, socketLock) : nullptr)
{
    // Made up front so the connection thread and the agent's thread never race to create it.
    dataEvent.Create();
    Start(0, nullptr, win32::INFINITE);
}

ProxyAgent::~ProxyAgent()
{
    const win32::SOCKET leftOver = serverSocket.exchange(win32::INVALID_SOCKET);
    if (leftOver != win32::INVALID_SOCKET) {
        win32::closesocket(leftOver);
    }
}

void ProxyAgent::OnThreadBegin()
{
    CoInitializeForThread();
    try {
        OpenProxySocket();
        if (tls) {
            EstablishTls();
        }
    } catch (...) {
        RequestStop();
    }
    wakeEvent.Set();
}

void ProxyAgent::DoWork()
{
    try {
        ReceiveLoop();
    } catch (...) {
        // The server connection is gone; the reader has been woken.
    }
    try {
        RequestStop();
    } catch (...) {
        stopRequested = true;
    }
}

void ProxyAgent::OnThreadEnd()
{
    {
        win32::LockGuard notifierGuard(notifierLock);
        if (AsyncSocketNotifier* own = notifier.exchange(nullptr)) {
            DestroyNotifier(own);
        }
    }
    CoUninitializeForThread();
}

void ProxyAgent::RequestStop()
{
    Abort();
    bool open = false;
    {
        win32::LockGuard socketGuard(socketLock);
        open = serverSocket != win32::INVALID_SOCKET;
    }
    if (open) {
        CloseProxySocket();
    }
    Pop3Agent::RequestStop();
}

void ProxyAgent::Abort()
{
    aborted = true;
    dataEvent.Set();
}

void ProxyAgent::CloseProxySocket()
{
    win32::LockGuard socketGuard(socketLock);
    const win32::SOCKET open = serverSocket;
    if (open == win32::INVALID_SOCKET) {
        return;
    }
    // The receive loop waits for read or close, a blocked command write for write or close: wake both.
    CloseNotifiedSocket(notifier.load(), open, win32::FD_READ | win32::FD_WRITE | win32::FD_CLOSE);
    serverSocket = win32::INVALID_SOCKET;
}

void ProxyAgent::OpenProxySocket()
{
    {
        win32::LockGuard socketGuard(socketLock);
        serverSocket = win32::socket(win32::AF_INET, win32::SOCK_STREAM, 0);
        if (serverSocket == win32::INVALID_SOCKET) {
            throw ConnectionFailure();
        }
    }
    if (IsLoopbackName(serverAddress)) {
        win32::DWORD listenPort = kDefaultListenPort;
        ProxyServerPreferences().ReadDword("ProxyBasedTranslationPort", listenPort);
        if (serverPort == listenPort) {
            throw ConnectionFailure();  // the relay would connect to this server itself
        }
    }
    std::uint32_t address = win32::inet_addr(serverAddress.c_str());
    if (address == win32::INADDR_NONE && !win32::ResolveHostName(serverAddress.c_str(), address)) {
        ReportServerProblem("the name does not resolve");
        throw ConnectionFailure();
    }
    win32::SOCKADDR_IN endpoint;
    endpoint.address = address;
    endpoint.port = win32::htons(static_cast<std::uint16_t>(serverPort));
    const win32::SOCKET connecting = serverSocket;
    if (connecting == win32::INVALID_SOCKET) {
        throw ConnectionFailure();  // stopped while resolving
    }
    if (win32::connect(connecting, endpoint) == win32::SOCKET_ERROR) {
        ReportServerProblem("cannot connect: " + win32::DescribeSocketError(win32::WSAGetLastError()));
        throw ConnectionFailure();
    }
    win32::SetNoDelay(connecting, true);
    AsyncSocketNotifier* own = CreateNotifier();
    if (own == nullptr) {
        throw ConnectionFailure();
    }
    notifier = own;
    DebugTrace("ProxyAgent::OpenProxySocket() : [%d]\n", own);
    win32::LockGuard socketGuard(socketLock);
    if (serverSocket == win32::INVALID_SOCKET) {
        throw ConnectionFailure();  // stopped while connecting
    }
    own->SetSocket(serverSocket, win32::FD_READ | win32::FD_WRITE | win32::FD_CLOSE);
}

void ProxyAgent::ReportServerProblem(const std::string& why) const
{
    if (why.empty() || aborted) {
        return;
    }
    std::fprintf(stderr, "VUVed3UzeroVadave: mail server %s:%u: %s\n", serverAddress.c_str(),
                 static_cast<unsigned>(serverPort), why.c_str());
    std::fflush(stderr);
}

void ProxyAgent::ReceiveLoop()
{
    AsyncSocketNotifier* own = notifier;
    // Each receive fills it; it goes with the loop, so an ended session does not keep it.
    std::string incoming;
    int receiveSize = kFirstReceive;
    while (!aborted) {
        own->Wait(win32::FD_READ | win32::FD_CLOSE);
        if (tls) {
            ReceiveTls(own);
            continue;
        }
        // Take everything the socket holds before waiting again.
        for (;;) {
            int received = win32::SOCKET_ERROR;
            int error = win32::WSAENOTSOCK;
            incoming.resize(static_cast<std::size_t>(receiveSize));
            {
                win32::LockGuard socketGuard(socketLock);
                if (serverSocket != win32::INVALID_SOCKET) {
                    received = win32::recv(serverSocket, incoming.data(), receiveSize, 0);
                    if (received == win32::SOCKET_ERROR) {
                        error = win32::WSAGetLastError();
                    }
                }
            }
            if (received == win32::SOCKET_ERROR) {
                if (error == win32::WSAEWOULDBLOCK) {
                    break;
                }
                Abort();
                throw ConnectionFailure();
            }
            if (received == 0) {
                Abort();  // the server closed the connection; what it sent before is still delivered
                return;
            }
            incoming.resize(static_cast<std::size_t>(received));
            HandOver(incoming);
            if (received < receiveSize) {
                break;  // most likely empty now; the next notification says when more arrives
            }
            receiveSize = std::min(2 * receiveSize, kLargestReceive);
        }
    }
}

void ProxyAgent::HandOver(std::string& received)
{
    {
        win32::LockGuard receiveGuard(receiveLock);
        if (receiveBuffer.empty()) {
            receiveBuffer.swap(received);  // the usual case: the reader has taken everything before
        } else {
            receiveBuffer.append(received);
        }
    }
    received.clear();
    dataEvent.Set();
}

void ProxyAgent::EstablishTls()
{
    std::string received;
    if (!tls->Establish(notifier, security, caFile, received)) {
        ReportServerProblem(tls->TakeFailureToReport());
        throw ConnectionFailure();
    }
    HandOver(received);
}

void ProxyAgent::ReceiveTls(AsyncSocketNotifier* own)
{
    std::string plain;
    for (;;) {
        const TlsChannel::Received state = tls->Receive(own, plain);
        if (!plain.empty()) {
            HandOver(plain);
        }
        switch (state) {
        case TlsChannel::Received::Data:
            continue;
        case TlsChannel::Received::WouldBlock:
            return;
        case TlsChannel::Received::Closed:
            Abort();
            return;
        case TlsChannel::Received::Failed:
            ReportServerProblem(tls->TakeFailureToReport());
            Abort();
            throw ConnectionFailure();
        }
    }
}

bool ProxyAgent::SendCommand(std::string line)
{
    line += "\r\n";
    win32::LockGuard notifierGuard(notifierLock);
    if (AsyncSocketNotifier* own = notifier.load(); own != nullptr && tls) {
        try {
            tls->Send(own, line);
        } catch (const ConnectionFailure&) {
            // As for a plain write: the receive side sees the end of the connection.
        }
    } else if (own != nullptr) {
        BufferedWriteAsyncSocketNotifierWrapper writer(own, socketLock);
        writer.Write(line.data(), static_cast<std::uint32_t>(line.size()));
    }
    return true;
}

bool ProxyAgent::TakeLine(std::string_view& line)
{
    const std::string_view pending(lineBuffer);
    const std::size_t end = pending.find("\r\n", scannedTo > lineHead ? scannedTo : lineHead);
    if (end != std::string_view::npos) {
        line = pending.substr(lineHead, end - lineHead);
        lineHead = end + 2;
        scannedTo = lineHead;
        return true;
    }
    // A CR at the very end may be the first half of a line end split between two receives.
    scannedTo = lineBuffer.size();
    if (scannedTo > lineHead && lineBuffer.back() == '\r') {
        --scannedTo;
    }
    return false;
}

bool ProxyAgent::TakeReceived()
{
    win32::LockGuard receiveGuard(receiveLock);
    if (receiveBuffer.empty()) {
        return false;
    }
    if (lineHead == lineBuffer.size()) {
        // Everything consumed: take the received octets over whole.
        lineBuffer.clear();
        lineBuffer.swap(receiveBuffer);
        lineHead = 0;
        scannedTo = 0;
    } else {
        // Only the start of a line is left; keep it in front of the new octets.
        lineBuffer.erase(0, lineHead);
        scannedTo -= lineHead;
        lineHead = 0;
        lineBuffer.append(receiveBuffer);
        receiveBuffer.clear();
    }
    return true;
}

bool ProxyAgent::GetResponse(std::string& response)
{
    std::string_view line;
    if (!NextLine(line)) {
        return false;
    }
    response.assign(line);
    return true;
}

bool ProxyAgent::NextLine(std::string_view& line)
{
    for (;;) {
        if (TakeLine(line)) {
            return true;
        }
        PassForwarded();  // lineBuffer is about to change
        if (!TakeMoreReceived()) {
            return false;
        }
    }
}

bool ProxyAgent::TakeMoreReceived()
{
    for (;;) {
        // Read before looking: the receive loop sets it only after its last hand-over.
        const bool ended = aborted;
        if (TakeReceived()) {
            return true;
        }
        if (ended) {
            return false;
        }
        // Lines already answered must reach the client before this thread sleeps.
        if (AgentConnection* client = connection.load(); client != nullptr && !client->FlushOutput()) {
            throw ConnectionFailure();
        }
        WaitForServer();
    }
}

void ProxyAgent::ForwardAnswerData()
{
    MultiLineEnd end;
    // The start of a line whose end has not arrived yet: held back, so that the client never gets part of a
    // line the server may not finish.
    std::string held;
    for (;;) {
        const std::string_view pending = std::string_view(lineBuffer).substr(lineHead);
        if (const std::size_t last = end.Find(pending); last != std::string_view::npos) {
            PassOn(held);
            PassOn(pending.substr(0, last));
            lineHead += last;
            scannedTo = lineHead;
            return;
        }
        if (const std::size_t complete = CompleteLinesLength(held, pending); complete > 0) {
            PassOn(held);
            held.clear();
            PassOn(pending.substr(0, complete));
            held.assign(pending.substr(complete));
        } else {
            held.append(pending);
        }
        lineHead = scannedTo = lineBuffer.size();
        if (!TakeMoreReceived()) {
            throw ConnectionFailure();
        }
    }
}

void ProxyAgent::WaitForServer()
{
    AgentConnection* client = connection.load();
    const win32::HANDLE handles[] = {dataEvent.Handle(), client != nullptr ? client->ClientClosedEvent() : nullptr};
    win32::DWORD count = handles[1] != nullptr ? 2 : 1;
    bool clientClosed = false;
    std::chrono::steady_clock::time_point deadline;
    for (;;) {
        win32::DWORD timeout = win32::INFINITE;
        if (clientClosed) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            timeout = static_cast<win32::DWORD>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        const win32::DWORD result = MsgWaitMultiple(count, handles, timeout, kAnyInput, 0);
        if (result == win32::WAIT_OBJECT_0 || result == win32::WAIT_ABANDONED_0) {
            break;
        }
        if (count == 2 && (result == win32::WAIT_OBJECT_0 + 1 || result == win32::WAIT_ABANDONED_0 + 1)) {
            clientClosed = true;
            count = 1;
            deadline = std::chrono::steady_clock::now() + kLeftClientGrace;
            continue;
        }
        if (result == win32::WAIT_TIMEOUT) {
            throw ConnectionFailure();  // the client has gone and the server stays silent
        }
        if (result == win32::WAIT_OBJECT_0 + count) {
            win32::MSG message;
            if (win32::PeekMessage(&message, nullptr, 0, 0, win32::PM_REMOVE)) {
                win32::DispatchMessage(&message);
            }
        }
    }
    if (clientClosed) {
        client->RestoreClientClosed();  // the connection's own next read ends the session
    }
}

void ProxyAgent::Forward(std::string_view line)
{
    // The line lies in lineBuffer and its CR LF follows it there.
    const auto start = static_cast<std::size_t>(line.data() - lineBuffer.data());
    if (start != forwardTo) {
        PassForwarded();
        forwardFrom = start;
    }
    forwardTo = start + line.size() + 2;
}

void ProxyAgent::PassForwarded()
{
    if (forwardTo == forwardFrom) {
        return;
    }
    const std::string_view run = std::string_view(lineBuffer).substr(forwardFrom, forwardTo - forwardFrom);
    forwardFrom = forwardTo = 0;
    PassOn(run);
}

void ProxyAgent::PassOn(std::string_view octets)
{
    if (octets.empty()) {
        return;
    }
    if (capturing) {
        capture.Append(octets);
    }
    AgentConnection* client = connection.load();
    if (client == nullptr || !client->SendLines(octets)) {
        throw ConnectionFailure();
    }
}

bool ProxyAgent::ProcessCommand(const std::string& line)
{
    const std::string word = pop3::CommandWord(line);
    const auto is = [&word](const char* name) { return pop3::IsCommand(word, name); };
    const bool hasArgument = line.find(' ') != std::string::npos;
    enum class Answer { SingleLine, MultiLine, Mail, Capabilities, Mechanisms };
    Answer answer;
    if (is("STAT") || is("RSET") || is("NOOP") || is("DELE")) {
        answer = Answer::SingleLine;
    } else if (is("LIST") || is("UIDL")) {
        answer = hasArgument ? Answer::SingleLine : Answer::MultiLine;
    } else if (is("TOP")) {
        answer = Answer::MultiLine;
    } else if (is("RETR")) {
        answer = Answer::Mail;
    } else if (RelaysAuthentication() && is("CAPA")) {
        answer = Answer::Capabilities;
    } else if (RelaysAuthentication() && is("AUTH") && !pop3::NamesMechanism(line)) {
        answer = Answer::Mechanisms;
    } else {
        return false;
    }

    capturing = false;
    forwardFrom = forwardTo = 0;
    SendCommand(line);
    std::string_view status;
    if (!NextLine(status)) {
        throw ConnectionFailure();
    }
    Forward(status);
    PassForwarded();
    if (answer == Answer::SingleLine || status.starts_with("-")) {
        return true;
    }
    if (answer == Answer::Capabilities || answer == Answer::Mechanisms) {
        // Only a positive answer has lines to follow; whatever else a server says is all of its answer.
        if (status.starts_with("+OK")) {
            answer == Answer::Capabilities ? ForwardCapabilities() : ForwardAnswerData();
        }
        return true;
    }
    if (answer == Answer::Mail) {
        capture = CapturedMail();
        // The announced size lets the capture grow once.
        capture.Reserve(AnnouncedOctets(status));
        capturing = true;
    }
    ForwardAnswerData();
    if (capturing) {
        capturing = false;
        // The client gets the end of the mail before the capture is handed on.
        if (AgentConnection* client = connection.load(); client == nullptr || !client->FlushOutput()) {
            throw ConnectionFailure();
        }
        translateThread->AddCapturedMail(std::move(capture));
    }
    return true;
}

void ProxyAgent::ForwardCapabilities()
{
    std::vector<std::string> kept;
    std::string_view line;
    for (;;) {
        if (!NextLine(line)) {
            throw ConnectionFailure();
        }
        if (line == ".") {
            break;
        }
        if (pop3::KeepsCapability(line)) {
            Forward(line);
            kept.emplace_back(line);
        }
    }
    Forward(line);
    PassForwarded();
    translateThread->RememberServerCapabilities(std::move(kept));
}

bool ProxyAgent::Authenticate(const std::string& line, const ClientLineReader& readClientLine)
{
    capturing = false;
    forwardFrom = forwardTo = 0;
    SendCommand(line);
    for (;;) {
        std::string_view answer;
        if (!NextLine(answer)) {
            throw ConnectionFailure();
        }
        Forward(answer);
        PassForwarded();
        const pop3::AuthAnswer step = pop3::ReadAuthAnswer(answer);
        if (step != pop3::AuthAnswer::kChallenge) {
            return step == pop3::AuthAnswer::kAccepted;
        }
        std::string response;
        if (!readClientLine(response)) {
            throw ConnectionFailure();
        }
        SendCommand(std::move(response));
    }
}
