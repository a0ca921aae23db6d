#include "pop3/Pop3ServerThread.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

#include "core/AsyncSocketNotifier.h"
#include "core/CoInitializeForThread.h"
#include "core/ConnectionFailure.h"
#include "core/LoadResourceString.h"
#include "core/NotifierMaker.h"
#include "core/WarningBox.h"
#include "platform/Memory.h"
#include "platform/Sync.h"
#include "pop3/Pop3Agent.h"
#include "pop3/Pop3ConnectionThread.h"
#include "settings/ProxyServerPreferences.h"
#include "translate/Pop3TranslateThread.h"

namespace {
constexpr win32::DWORD kDefaultPort = 110;
constexpr unsigned kUnresolvableServerMessage = 106;
constexpr unsigned kConflictingSettingsMessage = 107;
constexpr int kListenBacklog = 0x7FFFFFFF;

win32::DWORD ReadPort(const char* name)
{
    win32::DWORD port = kDefaultPort;
    ProxyServerPreferences().ReadDword(name, port);
    return port;
}

// The heap is set up for the server's work before its first thread starts: mail-sized blocks and freed memory are
// kept for reuse, and what a storm of connections leaves behind stays bounded.
std::unique_ptr<Pop3TranslateThread> StartTranslateThread()
{
    win32::RetainFreedHeapMemory();
    win32::LimitHeapArenas();
    return std::make_unique<Pop3TranslateThread>();
}

std::string ReadMailServerAddress()
{
    std::string address;
    ProxyServerPreferences().ReadString("MailServerAddress", address);
    return address;
}
}  // namespace

Pop3ServerThread::Pop3ServerThread() : translateThread(StartTranslateThread())
{
    Start(0, nullptr, win32::INFINITE);
}

Pop3ServerThread::~Pop3ServerThread() = default;

void Pop3ServerThread::OnThreadBegin()
{
    CoInitializeForThread();
    try {
        win32::WSADATA data;
        if (win32::WSAStartup(win32::MAKEWORD(1, 1), &data) == 0) {
            if (data.wVersion == win32::MAKEWORD(1, 1)) {
                socketsStarted = true;
                OpenListen();
            } else {
                win32::WSACleanup();
            }
        }
    } catch (...) {
        RequestStop();
    }
    wakeEvent.Set();
}

void Pop3ServerThread::OpenListen()
{
    const win32::DWORD port = ReadPort("ProxyBasedTranslationPort");
    {
        win32::LockGuard socketGuard(socketLock);
        listenSocket = win32::socket(win32::AF_INET, win32::SOCK_STREAM, 0);
        if (listenSocket == win32::INVALID_SOCKET) {
            return;
        }
    }
    // The mail client's server and this server would be one and the same endpoint.
    const std::string address = ReadMailServerAddress();
    const win32::DWORD mailServerPort = ReadPort("MailServerPort");
    if ((address == "localhost" || address == "127.0.0.1") && ReadPort("ProxyBasedTranslationPort") == mailServerPort) {
        ShowAlert(kConflictingSettingsMessage);
    }
    win32::SOCKADDR_IN local;
    local.address = win32::htonl(win32::INADDR_LOOPBACK);
    local.port = win32::htons(static_cast<std::uint16_t>(port));
    if (win32::bind(listenSocket, local) == win32::SOCKET_ERROR) {
        ReportCannotListen(port, win32::WSAGetLastError());
        throw ConnectionFailure();
    }
    AsyncSocketNotifier* own = CreateNotifier();
    if (own == nullptr) {
        throw ConnectionFailure();
    }
    notifier = own;
    own->SetSocket(listenSocket, win32::FD_ACCEPT | win32::FD_CLOSE);
    if (win32::listen(listenSocket, kListenBacklog) == win32::SOCKET_ERROR) {
        ReportCannotListen(port, win32::WSAGetLastError());
        throw ConnectionFailure();
    }
    listening = true;
}

void Pop3ServerThread::ReportCannotListen(win32::DWORD port, int error)
{
    std::string why = win32::DescribeSocketError(error);
    if (error == win32::WSAEACCES && port < 1024) {
        why += " (a port below 1024 needs root or the capability to bind it)";
    }
    std::fprintf(stderr, "VUVed3UzeroVadave: cannot listen on 127.0.0.1:%u: %s\n", static_cast<unsigned>(port),
                 why.c_str());
    std::fflush(stderr);
}

void Pop3ServerThread::ShowAlert(unsigned id)
{
    alertShowing = true;
    std::string text;
    if (LoadResourceString(id, text)) {
        ShowWarningBox(text.c_str());
    }
    alertShowing = false;
}

void Pop3ServerThread::DoWork()
{
    try {
        while (AcceptOne()) {
        }
    } catch (...) {
        RequestStop();
    }
}

bool Pop3ServerThread::AcceptOne()
{
    {
        win32::LockGuard socketGuard(socketLock);
        if (listenSocket == win32::INVALID_SOCKET) {
            return false;
        }
    }
    notifier.load()->Wait(win32::FD_ACCEPT | win32::FD_CLOSE);
    win32::SOCKET accepted = win32::INVALID_SOCKET;
    int error = 0;
    {
        win32::LockGuard socketGuard(socketLock);
        if (listenSocket == win32::INVALID_SOCKET) {
            return false;
        }
        accepted = win32::accept(listenSocket, nullptr);
        if (accepted == win32::INVALID_SOCKET) {
            error = win32::WSAGetLastError();
        }
    }
    if (accepted == win32::INVALID_SOCKET) {
        return error == win32::WSAEWOULDBLOCK;
    }

    win32::LockGuard connectionGuard(connectionLock);
    try {
        const std::string address = ReadMailServerAddress();
        std::uint32_t resolved = 0;
        if (win32::inet_addr(address.c_str()) == win32::INADDR_NONE &&
            !win32::ResolveHostName(address.c_str(), resolved)) {
            ShowAlert(kUnresolvableServerMessage);
            win32::closesocket(accepted);
            return true;
        }
    } catch (...) {
        // The check could not be made; serve the connection.
    }
    connections.insert(std::make_unique<Pop3ConnectionThread>(accepted, this));
    return true;
}

void Pop3ServerThread::RequestStop()
{
    bool open = false;
    {
        win32::LockGuard socketGuard(socketLock);
        open = listenSocket != win32::INVALID_SOCKET;
    }
    if (open) {
        CloseListen();
    }
    ZThinThread::RequestStop();
}

void Pop3ServerThread::CloseListen()
{
    win32::LockGuard socketGuard(socketLock);
    const win32::SOCKET open = listenSocket;
    if (open == win32::INVALID_SOCKET) {
        return;
    }
    CloseNotifiedSocket(notifier.load(), open, win32::FD_CLOSE);
    listenSocket = win32::INVALID_SOCKET;
}

void Pop3ServerThread::OnThreadEnd()
{
    CloseListen();
    if (socketsStarted) {
        win32::WSACleanup();
        socketsStarted = false;
    }
    if (AsyncSocketNotifier* own = notifier.exchange(nullptr)) {
        DestroyNotifier(own);
        win32::SwitchToThread();
    }
    if (translateThread) {
        translateThread->StopAndWait();
        win32::SwitchToThread();
    }
    GarbageCollection(true);
    // Deleted only now: a relay that is still finishing a RETR hands its capture to the (stopped) translate
    // thread until the collection above has stopped it.
    std::unique_ptr<Pop3TranslateThread> stopped;
    {
        win32::LockGuard translateGuard(translateLock);
        stopped = std::move(translateThread);
    }
    stopped.reset();
    CoUninitializeForThread();
}

bool Pop3ServerThread::IsTranslating()
{
    win32::LockGuard translateGuard(translateLock);
    return translateThread && translateThread->IsTranslating();
}

bool Pop3ServerThread::HaveTranslateMail()
{
    win32::LockGuard translateGuard(translateLock);
    return translateThread && translateThread->HaveTranslateMail();
}

Pop3Agent* Pop3ServerThread::CreateAgent()
{
    win32::LockGuard agentGuard(agentLock);
    if (!translateThread) {
        return nullptr;
    }
    std::unique_ptr<Pop3Agent> agent = translateThread->GetPop3Agent();
    Pop3Agent* created = agent.get();
    if (agent) {
        agents.insert(std::move(agent));
    }
    return created;
}

void Pop3ServerThread::ConnectionFinished(Pop3ConnectionThread* connection)
{
    win32::LockGuard finishedGuard(finishedLock);
    finishedConnections.insert(connection);
}

void Pop3ServerThread::AgentFinished(Pop3Agent* agent)
{
    // The session is over, so the agent is stopped now rather than when the collection reaches it (which, at one
    // agent per tick, may be minutes later in a storm of connections): a relay whose client left without QUIT
    // closes its mail server connection at once, without sending anything, and its thread ends. The finished
    // agent then waits for its collection holding memory only. Stopped before it is booked as finished, since
    // from then on the collection may delete it.
    try {
        agent->RequestStop();
    } catch (...) {
        // It is stopped again, and waited for, when collected.
    }
    win32::LockGuard agentGuard(agentLock);
    finishedAgents.insert(agent);
}

void Pop3ServerThread::StopAndDelete(std::unique_ptr<ZThinThread> thread)
{
    thread->StopAndWait();
    win32::SwitchToThread();
    thread.reset();
}

void Pop3ServerThread::GarbageCollection(bool all)
{
    Collected connectionsCollected;
    Collected agentsCollected;
    try {
        connectionsCollected = CollectConnections(all);
    } catch (...) {
        // The agents are collected all the same.
    }
    try {
        agentsCollected = CollectAgents(all);
    } catch (...) {
        // Nothing more to collect in this call.
    }
    // The periodic collection has just deleted the last session of a burst: the server is idle, and the heap gives
    // the memory the sessions used back to the system (it would otherwise keep it for reuse, see Memory.h). Done
    // once per burst, when the books become empty, so a busy server never pays for it.
    if (!all && (connectionsCollected.one || agentsCollected.one) && connectionsCollected.emptyAfter &&
        agentsCollected.emptyAfter) {
        win32::ReleaseFreeHeapMemory();
    }
}

Pop3ServerThread::Collected Pop3ServerThread::CollectConnections(bool all)
{
    if (all) {
        win32::LockGuard connectionGuard(connectionLock);
        return CollectConnectionsLocked(true);
    }
    if (!connectionLock.try_lock()) {
        return {};  // busy: a later collection takes it up
    }
    const Collected result = CollectConnectionsLocked(false);
    connectionLock.unlock();
    return result;
}

Pop3ServerThread::Collected Pop3ServerThread::CollectConnectionsLocked(bool all)
{
    Collected result;
    Pop3ConnectionThread* finished = nullptr;
    {
        win32::LockGuard finishedGuard(finishedLock);
        if (!finishedConnections.empty()) {
            finished = *finishedConnections.begin();
            finishedConnections.erase(finishedConnections.begin());
        }
    }
    if (finished != nullptr) {
        if (auto found = connections.find(finished); found != connections.end()) {
            StopAndDelete(std::move(connections.extract(found).value()));
            result.one = true;
        }
    }
    if (all) {
        while (!connections.empty()) {
            StopAndDelete(std::move(connections.extract(connections.begin()).value()));
        }
        win32::LockGuard finishedGuard(finishedLock);
        finishedConnections.clear();
    }
    result.emptyAfter = connections.empty();
    return result;
}

Pop3ServerThread::Collected Pop3ServerThread::CollectAgents(bool all)
{
    if (all) {
        win32::LockGuard agentGuard(agentLock);
        return CollectAgentsLocked(true);
    }
    if (!agentLock.try_lock()) {
        return {};
    }
    const Collected result = CollectAgentsLocked(false);
    agentLock.unlock();
    return result;
}

Pop3ServerThread::Collected Pop3ServerThread::CollectAgentsLocked(bool all)
{
    Collected result;
    if (!finishedAgents.empty()) {
        Pop3Agent* finished = *finishedAgents.begin();
        finishedAgents.erase(finishedAgents.begin());
        if (auto found = agents.find(finished); found != agents.end()) {
            StopAndDelete(std::move(agents.extract(found).value()));
            result.one = true;
        }
    }
    if (all) {
        while (!agents.empty()) {
            StopAndDelete(std::move(agents.extract(agents.begin()).value()));
        }
        finishedAgents.clear();
    }
    result.emptyAfter = agents.empty();
    return result;
}

win32::WORD Pop3ServerThread::ListeningPort()
{
    win32::LockGuard socketGuard(socketLock);
    win32::SOCKADDR_IN local;
    if (!listening || listenSocket == win32::INVALID_SOCKET ||
        win32::getsockname(listenSocket, &local) == win32::SOCKET_ERROR) {
        return 0;
    }
    return win32::ntohs(local.port);
}

std::size_t Pop3ServerThread::ConnectionCount()
{
    win32::LockGuard connectionGuard(connectionLock);
    return connections.size();
}

std::size_t Pop3ServerThread::AgentCount()
{
    win32::LockGuard agentGuard(agentLock);
    return agents.size();
}
