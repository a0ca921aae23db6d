// The relay agent: owns the TCP connection to the user's real POP3 server and a thread that receives from it into
// receiveBuffer. The connection thread relays through it (SendCommand, GetResponse, ProcessCommand), forwarding
// the server's lines unchanged; every successful RETR is captured and queued for the translate thread. Owned by
// the server's books; RequestStop may come from any thread.
//
// Locks: socketLock guards the test-and-close of serverSocket and is held for non-blocking socket calls only;
// receiveLock guards receiveBuffer for the hand-over of received octets; neither is held across a wait.
// notifierLock keeps the notifier alive while the connection thread writes to it or signals it.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "core/SyncEvent.h"
#include "pop3/CapturedMail.h"
#include "pop3/Pop3Agent.h"
#include "platform/Sockets.h"
#include "platform/Sync.h"

class AsyncSocketNotifier;
class RelayCaptures;
class TlsChannel;

class ProxyAgent : public Pop3Agent {
public:
    // Starts the agent's thread, which connects to address:port; construction returns at once. security is the
    // "MailServerSecurity" value: 0 plain; otherwise TLS (with caFile trusted as well) before anything is relayed.
    // relayAuthentication: the "Relay Authentication" setting (Pop3Agent).
    ProxyAgent(const std::string& address, win32::DWORD port, RelayCaptures* translateThread,
               win32::DWORD security = 0, std::string caFile = {}, bool relayAuthentication = false);
    ~ProxyAgent() override;

    void RequestStop() override;
    bool SendCommand(std::string line) override;
    bool GetResponse(std::string& response) override;
    // With "Relay Authentication" also CAPA (the capabilities the relay can carry, see KeepsCapability) and a bare
    // AUTH (the list of mechanisms).
    bool ProcessCommand(const std::string& line) override;
    // Relays the exchange line by line: the client's lines to the server unchanged, the server's to the client.
    bool Authenticate(const std::string& line, const ClientLineReader& readClientLine) override;

protected:
    void OnThreadBegin() override;
    void DoWork() override;
    void OnThreadEnd() override;

private:
    void OpenProxySocket();
    // Tells the user (one line on standard error, naming the server) why the mail server could not be reached or
    // used; nothing when why is empty or the agent is being stopped anyway (a stop is no failure of the server).
    void ReportServerProblem(const std::string& why) const;
    void CloseProxySocket();
    void ReceiveLoop();
    // The TLS session is set up on the agent's thread before the greeting is handed on.
    void EstablishTls();
    // Takes and decrypts everything the socket holds.
    void ReceiveTls(AsyncSocketNotifier* own);
    // Gives received octets to the connection thread (taking their memory when it has taken all before) and
    // wakes it; received is left empty.
    void HandOver(std::string& received);
    // Marks the end of the server connection and wakes the reader.
    void Abort();
    // The connection thread's line assembly: the next complete line of the server's answer, as a view into
    // lineBuffer that stays valid until the next call. False when the server connection has ended.
    bool NextLine(std::string_view& line);
    // The next complete line already in lineBuffer, if there is one.
    bool TakeLine(std::string_view& line);
    // Waits until the receive loop has more, dispatching this thread's messages. A client that closes its side
    // meanwhile leaves the server a short grace to answer; then the session is given up.
    void WaitForServer();
    // Moves what the receive loop has handed over into lineBuffer; false when nothing was waiting.
    bool TakeReceived();
    // Waits until the receive loop has handed over more and moves it into lineBuffer; false when the server
    // connection has ended with nothing more.
    bool TakeMoreReceived();
    // Passes on the data of a multi-line answer after its status line, up to and with its "." line, in whole
    // received blocks: only the end of the answer is looked for, not each line.
    void ForwardAnswerData();
    // Passes on the capability lines of a CAPA answer that the relay can carry, and its "." line; the translate
    // thread keeps them for the translated-mail session.
    void ForwardCapabilities();
    // Marks a line returned by NextLine for the client. Lines follow each other in lineBuffer, so a run of them
    // is passed on in one piece by PassForwarded.
    void Forward(std::string_view line);
    // Passes the forwarded run (each line with its CR LF) to the client, and to the capture while a RETR answer
    // is captured. Called before lineBuffer changes and at the end of each answer.
    void PassForwarded();
    // Sends octets of the answer on to the client, and to the capture while a RETR answer is captured.
    void PassOn(std::string_view octets);

    win32::CriticalSection socketLock;
    std::atomic<win32::SOCKET> serverSocket{win32::INVALID_SOCKET};
    win32::CriticalSection notifierLock;
    std::atomic<AsyncSocketNotifier*> notifier{nullptr};
    RelayCaptures* translateThread;  // the translate thread that made the agent; takes the captures
    std::atomic<bool> aborted{false};
    SyncEvent dataEvent;
    win32::CriticalSection receiveLock;
    // Octets received and not yet taken by the connection thread, in arrival order.
    std::string receiveBuffer GUARDED_BY(receiveLock);
    // The connection thread's side: received octets taken over from receiveBuffer (one lock per receive, not per
    // line); lines are cut from lineHead on. scannedTo marks how far a line end has been looked for, so a long
    // line is not searched again from its start after every receive.
    std::string lineBuffer;
    std::size_t lineHead = 0;
    std::size_t scannedTo = 0;
    // The run of lineBuffer forwarded and not yet passed on: [forwardFrom, forwardTo).
    std::size_t forwardFrom = 0;
    std::size_t forwardTo = 0;
    bool capturing = false;
    CapturedMail capture;  // the RETR answer being relayed, while capturing
    std::string serverAddress;
    win32::DWORD serverPort;
    win32::DWORD security;
    std::string caFile;
    // Made at construction when security is not 0, so its presence never changes while threads use it.
    const std::unique_ptr<TlsChannel> tls;
};
