// The relay agent: owns the TCP connection to the user's real POP3 server and a thread that only receives from it
// into receiveBuffer. The connection thread relays through it (SendCommand, GetResponse, ProcessCommand),
// forwarding the server's lines unchanged, and every successful RETR is captured as an Email for the translate
// thread. Owned by the server's books; RequestStop may come from any thread.
//
// Locks: socketLock guards receiveBuffer and the test-and-close of serverSocket; it is held for non-blocking socket
// calls only, never across a wait. notifierLock keeps the notifier alive while the connection thread writes to it.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "core/SyncEvent.h"
#include "pop3/Pop3Agent.h"
#include "platform/Sockets.h"
#include "platform/Sync.h"

class AsyncSocketNotifier;
class Pop3TranslateThread;

class ProxyAgent : public Pop3Agent {
public:
    // Starts the agent's thread, which connects to address:port; construction returns at once.
    ProxyAgent(const std::string& address, win32::DWORD port, Pop3TranslateThread* translateThread);
    ~ProxyAgent() override;

    void RequestStop() override;
    bool SendCommand(std::string line) override;
    bool GetResponse(std::string& response) override;
    bool ProcessCommand(const std::string& line) override;

protected:
    void OnThreadBegin() override;
    void DoWork() override;
    void OnThreadEnd() override;

private:
    void OpenProxySocket();
    void CloseProxySocket();
    void ReceiveLoop();
    // Marks the end of the server connection and wakes the reader.
    void Abort();
    void Forward(const std::string& line);
    std::string Receive();

    win32::CriticalSection socketLock;
    std::atomic<win32::SOCKET> serverSocket{win32::INVALID_SOCKET};
    win32::CriticalSection notifierLock;
    std::atomic<AsyncSocketNotifier*> notifier{nullptr};
    Pop3TranslateThread* translateThread;
    std::atomic<bool> aborted{false};
    SyncEvent dataEvent;
    // Received octets not yet consumed start at receiveHead; scannedTo marks how far a line end has been looked
    // for, so a long line is not searched again from its start on every receive.
    std::string receiveBuffer;  // guarded by socketLock
    std::size_t receiveHead = 0;  // guarded by socketLock
    std::size_t scannedTo = 0;  // guarded by socketLock
    std::string serverAddress;
    win32::DWORD serverPort;
};
