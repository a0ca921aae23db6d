// The relay agent: owns the TCP connection to the user's real POP3 server and a thread that receives from it into
// receiveBuffer. The connection thread relays through it (SendCommand, GetResponse, ProcessCommand), forwarding
// the server's lines unchanged; every successful RETR is captured and handed back to the agent's thread, which
// builds the Email for the translate thread. Owned by the server's books; RequestStop may come from any thread.
//
// Locks: socketLock guards receiveBuffer and the test-and-close of serverSocket; it is held for non-blocking socket
// calls and buffer hand-overs only, never across a wait. notifierLock keeps the notifier alive while the
// connection thread writes to it or signals it. captureLock guards the captured mails handed over.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>

#include "core/SyncEvent.h"
#include "pop3/CapturedMail.h"
#include "pop3/Pop3Agent.h"
#include "platform/Sockets.h"
#include "platform/Sync.h"

class AsyncSocketNotifier;
class Pop3TranslateThread;
class TlsChannel;

class ProxyAgent : public Pop3Agent {
public:
    // Starts the agent's thread, which connects to address:port; construction returns at once. security is the
    // "MailServerSecurity" value: 0 plain; otherwise TLS (with caFile trusted as well) before anything is relayed.
    ProxyAgent(const std::string& address, win32::DWORD port, Pop3TranslateThread* translateThread,
               win32::DWORD security = 0, std::string caFile = {});
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
    // The TLS session is set up on the agent's thread before the greeting is handed on.
    void EstablishTls();
    // Takes and decrypts everything the socket holds.
    void ReceiveTls(AsyncSocketNotifier* own);
    // Marks the end of the server connection and wakes the reader.
    void Abort();
    // The connection thread's line assembly: the next complete line from lineBuffer, if there is one.
    bool TakeLine(std::string& response);
    // Moves what the receive loop has appended into lineBuffer; false when nothing was waiting.
    bool TakeReceived();
    void Forward(const std::string& line);
    // Passes a captured mail to the agent's thread, which builds the Email and queues it for translation, so the
    // connection thread can go on relaying at once.
    void HandOver(CapturedMail mail);
    // On the agent's thread: builds and queues the mails handed over; with last, later ones are built by HandOver.
    void BuildCaptures(bool last);

    win32::CriticalSection socketLock;
    std::atomic<win32::SOCKET> serverSocket{win32::INVALID_SOCKET};
    win32::CriticalSection notifierLock;
    std::atomic<AsyncSocketNotifier*> notifier{nullptr};
    Pop3TranslateThread* translateThread;
    std::atomic<bool> aborted{false};
    SyncEvent dataEvent;
    // Octets received and not yet handed to the connection thread, in arrival order.
    std::string receiveBuffer;  // guarded by socketLock
    // The connection thread's side: received octets taken over from receiveBuffer (one lock per receive, not per
    // line); lines are cut from lineHead on. scannedTo marks how far a line end has been looked for, so a long
    // line is not searched again from its start after every receive.
    std::string lineBuffer;
    std::size_t lineHead = 0;
    std::size_t scannedTo = 0;
    win32::CriticalSection captureLock;
    std::deque<CapturedMail> captures;  // guarded by captureLock
    bool capturesClosed = false;        // guarded by captureLock
    std::string serverAddress;
    win32::DWORD serverPort;
    win32::DWORD security;
    std::string caFile;
    // Made at construction when security is not 0, so its presence never changes while threads use it.
    const std::unique_ptr<TlsChannel> tls;
};
