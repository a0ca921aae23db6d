#include "pop3/TlsChannel.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <utility>

#include "core/AsyncSocketNotifier.h"
#include "core/ConnectionFailure.h"
#include "platform/Sockets.h"
#include "platform/ThreadSafety.h"

namespace {
constexpr std::size_t kReceiveChunk = 64 * 1024;
constexpr std::size_t kPlainChunk = 16 * 1024;
// A POP3 status line is short; anything this long before STLS is not a POP3 server.
constexpr std::size_t kLongestPlainLine = 4096;
constexpr int kWouldBlock = -1;
constexpr int kSocketFailed = -2;

struct SslCtxFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

bool IsDottedAddress(const std::string& address)
{
    return win32::inet_addr(address.c_str()) != win32::INADDR_NONE;
}
}  // namespace

struct TlsChannel::Session {
    std::unique_ptr<SSL_CTX, SslCtxFree> context;
    std::unique_ptr<SSL, SslFree> ssl;
    BIO* fromServer = nullptr;  // owned by ssl
    BIO* toServer = nullptr;  // owned by ssl
};

TlsChannel::TlsChannel(std::string serverAddress, const std::atomic<bool>& stopped,
                       win32::CriticalSection& socketLock)
    : serverAddress(std::move(serverAddress)), stopped(stopped), socketLock(socketLock)
{
}

bool TlsChannel::WaitReadable(AsyncSocketNotifier* notifier)
{
    // A stop wakes the wait once; a wake-up taken before the socket was closed must not lead to waiting again.
    if (stopped) {
        return false;
    }
    notifier->Wait(win32::FD_READ | win32::FD_CLOSE);
    return !stopped;
}

TlsChannel::~TlsChannel() = default;

bool TlsChannel::Fail(std::string what)
{
    win32::LockGuard sessionGuard(sessionLock);
    if (failure.empty()) {
        failure = std::move(what);
    }
    return false;
}

std::string TlsChannel::Failure() const
{
    win32::LockGuard sessionGuard(sessionLock);
    return failure;
}

std::string TlsChannel::TakeFailureToReport()
{
    std::string what = Failure();
    if (what.empty() || reported.exchange(true)) {
        return {};
    }
    return what;
}

std::string TlsChannel::SslErrorText()
{
    const unsigned long code = ERR_peek_last_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    ERR_clear_error();
    return reason != nullptr ? reason : "no further detail";
}

bool TlsChannel::SetUp(const std::string& caFile)
{
    ERR_clear_error();
    auto fresh = std::make_unique<Session>();
    fresh->context.reset(SSL_CTX_new(TLS_client_method()));
    if (!fresh->context) {
        return Fail("TLS cannot be set up (" + SslErrorText() + ")");
    }
    SSL_CTX* context = fresh->context.get();
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_set_default_verify_paths(context) != 1) {
        return Fail("the system's trusted certificates cannot be loaded (" + SslErrorText() + ")");
    }
    if (!caFile.empty() && SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr) != 1) {
        return Fail("the CA certificate file \"" + caFile + "\" (MailServerCAFile) cannot be loaded (" +
                    SslErrorText() + ")");
    }
    fresh->ssl.reset(SSL_new(context));
    fresh->fromServer = BIO_new(BIO_s_mem());
    fresh->toServer = BIO_new(BIO_s_mem());
    if (!fresh->ssl || fresh->fromServer == nullptr || fresh->toServer == nullptr) {
        BIO_free(fresh->fromServer);
        BIO_free(fresh->toServer);
        return Fail("TLS cannot be set up (" + SslErrorText() + ")");
    }
    // An empty input buffer means "more to come", not the end of the connection.
    BIO_set_mem_eof_return(fresh->fromServer, -1);
    SSL* ssl = fresh->ssl.get();
    SSL_set_bio(ssl, fresh->fromServer, fresh->toServer);
    SSL_set_connect_state(ssl);
    bool named = false;
    if (IsDottedAddress(serverAddress)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), serverAddress.c_str()) == 1;
    } else {
        named = SSL_set1_host(ssl, serverAddress.c_str()) == 1 &&
                SSL_set_tlsext_host_name(ssl, serverAddress.c_str()) == 1;
    }
    if (!named) {
        return Fail("\"" + serverAddress + "\" cannot be checked against a certificate");
    }
    win32::LockGuard sessionGuard(sessionLock);
    session = std::move(fresh);
    return true;
}

bool TlsChannel::Establish(AsyncSocketNotifier* notifier, std::uint32_t security, const std::string& caFile,
                           std::string& received)
{
    const auto kind = static_cast<MailServerSecurity>(security);
    if (kind != MailServerSecurity::Tls && kind != MailServerSecurity::StartTls) {
        return Fail("\"MailServerSecurity\" is " + std::to_string(security) +
                    ", which is none of 0 (plain), 1 (TLS) and 2 (STLS)");
    }
    receiveChunk.resize(kReceiveChunk);
    if (!SetUp(caFile)) {
        return false;
    }
    std::string greeting;
    if (kind == MailServerSecurity::StartTls) {
        if (!ReadPlainLine(notifier, greeting)) {
            return Fail("the server closed the connection before its greeting");
        }
        if (!SendAll(notifier, "STLS\r\n")) {
            return Fail("the connection was lost before STLS");
        }
        std::string answer;
        if (!ReadPlainLine(notifier, answer)) {
            return Fail("the server closed the connection after STLS");
        }
        if (!answer.starts_with("+OK")) {
            return Fail("the server refused STLS (\"" + answer + "\")");
        }
        // Octets that came before the handshake are not protected by it: taking them as the server's answers
        // would let anyone on the path put words in its mouth.
        if (!plainPending.empty()) {
            return Fail("the server sent unprotected data after accepting STLS");
        }
        greeting += "\r\n";
    }
    if (!Handshake(notifier)) {
        return false;
    }
    established = true;
    received += greeting;
    // The end of the handshake may have brought the server's first lines already.
    win32::LockGuard sessionGuard(sessionLock);
    const Received state = DecryptLocked(received);
    return state != Received::Failed;
}

bool TlsChannel::ReadPlainLine(AsyncSocketNotifier* notifier, std::string& line)
{
    for (;;) {
        const std::size_t end = plainPending.find("\r\n");
        if (end != std::string::npos) {
            line = plainPending.substr(0, end);
            plainPending.erase(0, end + 2);
            return true;
        }
        if (plainPending.size() > kLongestPlainLine) {
            return Fail("the server sent no POP3 status line before STLS");
        }
        const int got = ReceiveRaw(notifier);
        if (got == kWouldBlock) {
            if (!WaitReadable(notifier)) {
                return false;
            }
            continue;
        }
        if (got <= 0) {
            return false;
        }
        plainPending.append(receiveChunk.data(), static_cast<std::size_t>(got));
    }
}

int TlsChannel::ReceiveRaw(AsyncSocketNotifier* notifier)
{
    win32::LockGuard socketGuard(socketLock);
    const win32::SOCKET socket = notifier->Socket();
    if (socket == win32::INVALID_SOCKET) {
        return kSocketFailed;  // closed by the owner
    }
    const int got = win32::recv(socket, receiveChunk.data(), static_cast<int>(receiveChunk.size()), 0);
    if (got != win32::SOCKET_ERROR) {
        return got;
    }
    return win32::WSAGetLastError() == win32::WSAEWOULDBLOCK ? kWouldBlock : kSocketFailed;
}

bool TlsChannel::SendAll(AsyncSocketNotifier* notifier, std::string_view data)
{
    while (!data.empty()) {
        int sent = win32::SOCKET_ERROR;
        int error = win32::WSAENOTSOCK;
        {
            win32::LockGuard socketGuard(socketLock);
            const win32::SOCKET socket = notifier->Socket();
            if (socket != win32::INVALID_SOCKET) {
                sent = win32::send(socket, data.data(), static_cast<int>(data.size()), 0);
                if (sent == win32::SOCKET_ERROR) {
                    error = win32::WSAGetLastError();
                }
            }
        }
        if (sent != win32::SOCKET_ERROR) {
            data.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (error != win32::WSAEWOULDBLOCK || stopped) {
            return false;
        }
        notifier->Wait(win32::FD_WRITE | win32::FD_CLOSE);
    }
    return true;
}

bool TlsChannel::Handshake(AsyncSocketNotifier* notifier)
{
    for (;;) {
        int result = 0;
        int error = SSL_ERROR_NONE;
        std::string why;
        {
            win32::LockGuard sessionGuard(sessionLock);
            SSL* ssl = session->ssl.get();
            ERR_clear_error();
            result = SSL_do_handshake(ssl);
            if (result != 1) {
                error = SSL_get_error(ssl, result);
                if (error != SSL_ERROR_WANT_READ) {
                    const long verified = SSL_get_verify_result(ssl);
                    if (verified == X509_V_ERR_HOSTNAME_MISMATCH || verified == X509_V_ERR_IP_ADDRESS_MISMATCH) {
                        why = "the certificate is not issued for \"" + serverAddress + "\"";
                    } else if (verified != X509_V_OK) {
                        why = std::string("the certificate is not trusted (") +
                              X509_verify_cert_error_string(verified) + ")";
                        if (verified == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY ||
                            verified == X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN ||
                            verified == X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT) {
                            why += "; a private CA can be trusted through \"MailServerCAFile\"";
                        }
                    } else {
                        why = "the TLS handshake failed (" + SslErrorText() + ")";
                    }
                }
            }
            TakeOutputLocked();
        }
        // Also a final alert goes out, so that the server logs why the handshake ended.
        const bool sent = SendQueued(notifier);
        if (!why.empty()) {
            return Fail(why);
        }
        if (!sent) {
            return Fail("the connection was lost during the TLS handshake");
        }
        if (result == 1) {
            return true;
        }
        int got = ReceiveRaw(notifier);
        while (got == kWouldBlock) {
            if (!WaitReadable(notifier)) {
                return Fail("the connection was stopped during the TLS handshake");
            }
            got = ReceiveRaw(notifier);
        }
        if (got <= 0) {
            return Fail(got == 0 ? "the server closed the connection during the TLS handshake"
                                 : "the connection was lost during the TLS handshake");
        }
        win32::LockGuard sessionGuard(sessionLock);
        BIO_write(session->fromServer, receiveChunk.data(), got);
    }
}

TlsChannel::Received TlsChannel::DecryptLocked(std::string& received)
{
    SSL* ssl = session->ssl.get();
    Received state = Received::Data;
    for (;;) {
        const std::size_t before = received.size();
        received.resize(before + kPlainChunk);
        std::size_t got = 0;
        ERR_clear_error();
        const int result = SSL_read_ex(ssl, received.data() + before, kPlainChunk, &got);
        received.resize(before + got);
        if (result == 1) {
            continue;
        }
        const int error = SSL_get_error(ssl, 0);
        if (error == SSL_ERROR_WANT_READ) {
            break;
        }
        if (error == SSL_ERROR_ZERO_RETURN) {
            state = Received::Closed;  // the server's close_notify
            break;
        }
        if (failure.empty()) {
            failure = "the TLS connection failed (" + SslErrorText() + ")";
        }
        state = Received::Failed;
        break;
    }
    TakeOutputLocked();
    return state;
}

TlsChannel::Received TlsChannel::Receive(AsyncSocketNotifier* notifier, std::string& received)
{
    const int got = ReceiveRaw(notifier);
    if (got == kWouldBlock) {
        return Received::WouldBlock;
    }
    if (got == 0) {
        return Received::Closed;  // POP3 ends its dialogue itself; a close without close_notify is normal
    }
    if (got < 0) {
        return Received::Failed;  // a lost connection, as without TLS: nothing to report
    }
    Received state = Received::Data;
    bool reply = false;
    {
        win32::LockGuard sessionGuard(sessionLock);
        BIO_write(session->fromServer, receiveChunk.data(), got);
        state = DecryptLocked(received);
        reply = !output.empty();
    }
    // A key update or an alert of our side has to reach the server.
    if (reply && !SendQueued(notifier) && state == Received::Data) {
        state = Received::Failed;
    }
    return state;
}

void TlsChannel::Send(AsyncSocketNotifier* notifier, std::string_view plain)
{
    if (!established) {
        throw ConnectionFailure();
    }
    {
        win32::LockGuard sessionGuard(sessionLock);
        std::size_t written = 0;
        ERR_clear_error();
        if (!plain.empty() && SSL_write_ex(session->ssl.get(), plain.data(), plain.size(), &written) != 1) {
            if (failure.empty()) {
                failure = "the TLS connection failed (" + SslErrorText() + ")";
            }
            throw ConnectionFailure();
        }
        TakeOutputLocked();
    }
    if (!SendQueued(notifier)) {
        throw ConnectionFailure();
    }
}

void TlsChannel::TakeOutputLocked()
{
    BIO* toServer = session->toServer;
    const std::size_t pending = BIO_ctrl_pending(toServer);
    if (pending == 0) {
        return;
    }
    const std::size_t before = output.size();
    output.resize(before + pending);
    const int taken = BIO_read(toServer, output.data() + before, static_cast<int>(pending));
    output.resize(before + static_cast<std::size_t>(taken > 0 ? taken : 0));
}

bool TlsChannel::SendQueued(AsyncSocketNotifier* notifier)
{
    {
        win32::LockGuard sessionGuard(sessionLock);
        if (sending || output.empty()) {
            return true;  // the thread that is sending takes this output as well
        }
        sending = true;
    }
    for (;;) {
        std::string chunk;
        {
            win32::LockGuard sessionGuard(sessionLock);
            if (output.empty()) {
                sending = false;
                return true;
            }
            chunk.swap(output);
        }
        if (!SendAll(notifier, chunk)) {
            win32::LockGuard sessionGuard(sessionLock);
            sending = false;
            return false;
        }
    }
}
