// The POP3 server of the process: listens on 127.0.0.1 at the configured port, owns the translate thread, makes
// one connection thread per accepted client and keeps the books of every connection thread and agent, so that
// finished ones are collected and all are stopped when the server ends. Constructed and destroyed by its owner
// (after StopAndWait); connection threads report to it; GarbageCollection runs on the owner's (main) thread.
//
// Locks, in nesting order: connectionLock, then agentLock, then the translate thread's translated-mail lock.
// finishedLock guards finishedConnections alone and is never held while waiting for a thread, so a connection
// thread can report itself finished while a full collection holds connectionLock and waits for it.
// The periodic collection only tries its locks: the main thread must never block on a lock whose holder may be
// waiting for the main thread (a stop that waits for threads needing DestroyNotifier, an open warning box).
#pragma once

#include <atomic>
#include <memory>
#include <set>

#include "core/ZThinThread.h"
#include "platform/Sockets.h"
#include "platform/Sync.h"

class AsyncSocketNotifier;
class Pop3Agent;
class Pop3ConnectionThread;
class Pop3TranslateThread;

class Pop3ServerThread : public ZThinThread {
public:
    // Makes and starts the translate thread, then starts listening on its own thread.
    Pop3ServerThread();
    // The owner calls StopAndWait first; by then every connection thread and agent has been deleted.
    ~Pop3ServerThread() override;

    // The agent for a new connection (on the server thread, from the connection's constructor); owned here.
    Pop3Agent* CreateAgent();
    // From a connection thread's end hook.
    void ConnectionFinished(Pop3ConnectionThread* connection);
    // From a connection thread when its session has ended.
    void AgentFinished(Pop3Agent* agent);
    // Deletes at most one finished connection thread and one finished agent; with all, stops and deletes every one.
    void GarbageCollection(bool all);

    // A warning box of the server is on screen; its owner does not stop the server meanwhile.
    bool IsAlertShowing() const { return alertShowing; }
    // On the server thread, or while the server runs: the stop deletes the translate thread on the server thread.
    Pop3TranslateThread* TranslateThread() const { return translateThread.get(); }
    // The status questions, from any thread: the translate thread's answers, false once the stop has deleted it.
    bool IsTranslating();
    bool HaveTranslateMail();
    // The port the server listens on (the configured one, or the system's choice for 0); 0 until it listens and
    // after the listening socket is closed.
    win32::WORD ListeningPort();
    // Connection threads and agents that exist (not yet collected).
    std::size_t ConnectionCount();
    std::size_t AgentCount();

    void RequestStop() override;

protected:
    void OnThreadBegin() override;
    void DoWork() override;
    void OnThreadEnd() override;

private:
    struct AddressLess {
        using is_transparent = void;
        template <typename A, typename B>
        bool operator()(const A& a, const B& b) const { return Raw(a) < Raw(b); }
        template <typename T>
        static const T* Raw(const std::unique_ptr<T>& p) { return p.get(); }
        template <typename T>
        static const T* Raw(const T* p) { return p; }
    };
    template <typename T>
    using OwnedSet = std::set<std::unique_ptr<T>, AddressLess>;

    void OpenListen();
    void CloseListen();
    bool AcceptOne();
    // Shows string-table entry id as the server's warning box, with alertShowing set meanwhile.
    void ShowAlert(unsigned id);
    // Tells the user (one line on standard error) why the server does not listen: without it the server would
    // seem to run while no mail client can reach it.
    static void ReportCannotListen(win32::DWORD port, int error);
    // What one step of the collection did: deleted a finished one, and whether none is left in the books.
    struct Collected {
        bool one = false;
        bool emptyAfter = false;
    };
    // Waits for the books' lock when collecting all; otherwise leaves a busy book to a later collection.
    Collected CollectConnections(bool all);
    Collected CollectAgents(bool all);
    Collected CollectConnectionsLocked(bool all) REQUIRES(connectionLock);
    Collected CollectAgentsLocked(bool all) REQUIRES(agentLock);
    static void StopAndDelete(std::unique_ptr<ZThinThread> thread);

    std::atomic<bool> alertShowing{false};
    bool socketsStarted = false;  // server thread only
    win32::CriticalSection socketLock;
    std::atomic<win32::SOCKET> listenSocket{win32::INVALID_SOCKET};  // closed under socketLock
    std::atomic<AsyncSocketNotifier*> notifier{nullptr};
    std::atomic<bool> listening{false};
    win32::CriticalSection connectionLock;
    OwnedSet<Pop3ConnectionThread> connections GUARDED_BY(connectionLock);
    win32::CriticalSection finishedLock;
    std::set<Pop3ConnectionThread*> finishedConnections GUARDED_BY(finishedLock);
    win32::CriticalSection agentLock;
    OwnedSet<Pop3Agent> agents GUARDED_BY(agentLock);
    std::set<Pop3Agent*> finishedAgents GUARDED_BY(agentLock);
    // translateLock is held by the status questions while they ask the translate thread, and by the stop while it
    // takes the thread out; nothing else is taken under it but the translate thread's queue locks.
    win32::CriticalSection translateLock;
    std::unique_ptr<Pop3TranslateThread> translateThread;  // replaced only on the server thread, under translateLock
};
