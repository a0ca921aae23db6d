// The TLS session of a relay agent with the real mail server: OpenSSL works on memory buffers while the octets
// travel through the agent's non-blocking socket and its notifier, so "wants more input" is a wait for FD_READ and
// a full socket a wait for FD_WRITE, exactly as for plain data. The agent's thread establishes and receives, the
// connection thread sends. sessionLock serialises every OpenSSL call; the owner's socketLock is held for each
// receive and send, so that the owner can close the socket at any moment. Neither is held during a wait, nor are
// they nested.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Sync.h"

class AsyncSocketNotifier;

// Values of "MailServerSecurity".
enum class MailServerSecurity : std::uint32_t { Plain = 0, Tls = 1, StartTls = 2 };

class TlsChannel {
public:
    // serverAddress is the name the certificate must be issued for. Once stopped is set (before the owner wakes the
    // notifier's waiters), the channel gives up instead of waiting again. socketLock is the lock under which the
    // owner detaches and closes the notifier's socket.
    TlsChannel(std::string serverAddress, const std::atomic<bool>& stopped, win32::CriticalSection& socketLock);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // On the agent's thread, once the socket is connected and attached to notifier. security 1: the handshake
    // right away; 2: the server's greeting in plain text, STLS, "+OK", then the handshake. The server's certificate
    // must chain to a CA of the system or of caFile (if not empty) and name serverAddress. On success received
    // gets what the server sent after the handshake (for STLS the greeting first, with its CR LF). False on any
    // failure, which Failure() describes.
    bool Establish(AsyncSocketNotifier* notifier, std::uint32_t security, const std::string& caFile,
                   std::string& received);

    enum class Received { Data, WouldBlock, Closed, Failed };
    // On the agent's thread after Establish: receives once from the socket and appends the decrypted octets to
    // received. WouldBlock: the socket is empty, wait for FD_READ. Closed: the server ended the connection.
    Received Receive(AsyncSocketNotifier* notifier, std::string& received);

    // On the connection thread: encrypts plain and sends it. Throws ConnectionFailure when the session or the
    // socket has failed. While another thread is sending, the octets are queued behind and sent by that thread.
    void Send(AsyncSocketNotifier* notifier, std::string_view plain);

    // What failed, in words a user understands; empty while nothing has failed.
    std::string Failure() const;
    // The failure to tell the user about: Failure() the first time it is asked for, empty after that and while
    // nothing has failed (a connection lost as it can be lost without TLS).
    std::string TakeFailureToReport();

private:
    struct Session;

    bool Fail(std::string what);
    bool SetUp(const std::string& caFile);
    // Waits for the server's next octets; false when the owner has stopped the connection.
    bool WaitReadable(AsyncSocketNotifier* notifier);
    bool ReadPlainLine(AsyncSocketNotifier* notifier, std::string& line);
    bool Handshake(AsyncSocketNotifier* notifier);
    // Receives once into receiveChunk: the count, 0 when the server closed, -1 when it would block, -2 on failure.
    int ReceiveRaw(AsyncSocketNotifier* notifier);
    // Sends the queued output if no other thread is doing so; false when the socket failed.
    bool SendQueued(AsyncSocketNotifier* notifier);
    // Sends every octet, waiting for room whenever the socket is full; false when it failed or was stopped.
    bool SendAll(AsyncSocketNotifier* notifier, std::string_view data);
    // Under sessionLock: moves what OpenSSL produced for the server to the output queue.
    void TakeOutputLocked() REQUIRES(sessionLock);
    // Under sessionLock: appends every octet OpenSSL can decrypt from what it has been given.
    Received DecryptLocked(std::string& received) REQUIRES(sessionLock);
    std::string SslErrorText();

    const std::string serverAddress;
    const std::atomic<bool>& stopped;
    win32::CriticalSection& socketLock;
    std::vector<char> receiveChunk;  // the agent's thread only
    std::string plainPending;  // the agent's thread only: plain octets before STLS, not yet taken as a line

    mutable win32::Mutex sessionLock;
    std::unique_ptr<Session> session GUARDED_BY(sessionLock);
    std::string output GUARDED_BY(sessionLock);  // encrypted octets not yet sent, in order
    bool sending GUARDED_BY(sessionLock) = false;  // a thread is sending output
    std::string failure GUARDED_BY(sessionLock);
    std::atomic<bool> established{false};
    std::atomic<bool> reported{false};
};
