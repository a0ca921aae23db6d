// The relay server inside the test process as the application runs it (main loop thread, collection on it,
// StopAndWait); warning boxes are recorded; without the engine captured mails stay queued to be counted.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Com.h"
#include "pop3/Pop3ServerThread.h"
#include "support/MainLoopThread.h"

class InProcessRelay {
public:
    // Starts the server with the settings in the registry and waits (bounded) until it listens; without
    // translationEngine the engine's class is out of the class table while the relay lives.
    explicit InProcessRelay(bool translationEngine = false);
    ~InProcessRelay();
    InProcessRelay(const InProcessRelay&) = delete;
    InProcessRelay& operator=(const InProcessRelay&) = delete;

    // 0 when the server does not listen.
    std::uint16_t Port() const { return port; }
    Pop3ServerThread* Server() const { return server.get(); }
    // One periodic collection on the main loop thread.
    void Collect();
    // Collects as the periodic timer would until no connection thread and no agent is left (false at
    // timeout).
    bool CollectAll(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    void Stop();                 // idempotent
    std::size_t PendingMails();  // captured mails waiting in the translate thread's queue
    // Waits (bounded) until translated copies wait to be served; false when none came before the timeout.
    bool WaitForTranslatedMails(std::chrono::milliseconds timeout = std::chrono::seconds(60));

    // The texts (UTF-8) of the warning boxes shown so far.
    std::vector<std::string> Boxes();

private:
    std::optional<win32::ComponentClass> removedEngine;
    std::unique_ptr<MainLoopThread> mainLoop;
    std::unique_ptr<Pop3ServerThread> server;
    std::uint16_t port = 0;
    std::mutex boxLock;
    std::vector<std::string> boxes;  // guarded by boxLock
};
