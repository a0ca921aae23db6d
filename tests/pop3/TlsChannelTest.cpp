#include "pop3/TlsChannel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "core/AsyncSocketNotifier.h"
#include "core/ConnectionFailure.h"
#include "core/NotifierMaker.h"
#include "integration/ScriptedPop3Server.h"
#include "pop3/TlsTestServers.h"
#include "support/MainLoopFixture.h"

namespace {

class TlsChannelTest : public MainLoopFixture {
protected:
    static void SetUpTestSuite() { peers = new TlsTestPeers; }
    static void TearDownTestSuite()
    {
        delete peers;
        peers = nullptr;
    }

    void SetUp() override
    {
        MainLoopFixture::SetUp();
        ASSERT_TRUE(peers->AllRunning()) << "the test certificates or a private Dovecot could not be made";
    }

    void TearDown() override
    {
        Disconnect();
        MainLoopFixture::TearDown();
    }

    void Disconnect()
    {
        if (notifier != nullptr) {
            DestroyNotifier(notifier);
            notifier = nullptr;
        }
        if (socket != win32::INVALID_SOCKET) {
            win32::closesocket(socket);
            socket = win32::INVALID_SOCKET;
        }
    }

    // Connects to 127.0.0.1:port as the relay agent does: a non-blocking socket reported through a notifier.
    void Connect(std::uint16_t port)
    {
        socket = win32::socket(win32::AF_INET, win32::SOCK_STREAM, 0);
        ASSERT_NE(socket, win32::INVALID_SOCKET);
        win32::SOCKADDR_IN endpoint;
        endpoint.address = win32::htonl(win32::INADDR_LOOPBACK);
        endpoint.port = win32::htons(port);
        ASSERT_EQ(win32::connect(socket, endpoint), 0);
        notifier = CreateNotifier();
        ASSERT_NE(notifier, nullptr);
        notifier->SetSocket(socket, win32::FD_READ | win32::FD_WRITE | win32::FD_CLOSE);
    }

    static inline TlsTestPeers* peers = nullptr;
    win32::SOCKET socket = win32::INVALID_SOCKET;
    AsyncSocketNotifier* notifier = nullptr;
    std::atomic<bool> stopped{false};
    win32::CriticalSection socketLock;
};

TEST_F(TlsChannelTest, RefusesServersThatCannotBeTrusted)
{
    const struct {
        const char* name;
        TlsDovecot TlsTestPeers::*server;
        std::uint32_t security;
        bool tlsPort;
        const char* address;
        const char* caFile;  // tls_ca.py's file name; "" none, "-" a file that does not exist
        const char* failure;
    } cases[] = {
        {"another CA", &TlsTestPeers::trusted, 1, true, "localhost", "other-ca.pem",
         "the certificate is not trusted (unable to get local issuer certificate); a private CA can be trusted"},
        {"only the system's CAs", &TlsTestPeers::trusted, 2, false, "localhost", "",
         "the certificate is not trusted (unable to get local issuer certificate)"},
        {"another host name", &TlsTestPeers::wrongName, 1, true, "localhost", "ca.pem",
         "the certificate is not issued for \"localhost\""},
        {"another address", &TlsTestPeers::wrongName, 2, false, "127.0.0.1", "ca.pem",
         "the certificate is not issued for \"127.0.0.1\""},
        {"expired", &TlsTestPeers::expired, 1, true, "localhost", "ca.pem",
         "the certificate is not trusted (certificate has expired)"},
        {"expired, STLS", &TlsTestPeers::expired, 2, false, "localhost", "ca.pem",
         "the certificate is not trusted (certificate has expired)"},
        {"STLS refused", &TlsTestPeers::withoutTls, 2, false, "localhost", "ca.pem",
         "the server refused STLS (\"-ERR TLS support isn't enabled.\")"},
        {"TLS to a plain POP3 port", &TlsTestPeers::withoutTls, 1, false, "localhost", "ca.pem",
         "the TLS handshake failed (wrong version number)"},
        {"CA file missing", &TlsTestPeers::trusted, 1, true, "localhost", "-",
         "(MailServerCAFile) cannot be loaded"},
        {"unknown security value", &TlsTestPeers::trusted, 3, true, "localhost", "ca.pem",
         "\"MailServerSecurity\" is 3, which is none of 0 (plain), 1 (TLS) and 2 (STLS)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TlsDovecot& server = peers->*c.server;
        Connect(c.tlsPort ? server.TlsPort() : server.Port());
        const std::string caFile = std::string(c.caFile) == "-" ? peers->certificates.Path("absent.pem")
                                   : *c.caFile == '\0'           ? std::string()
                                                                 : peers->certificates.Path(c.caFile);
        TlsChannel channel(c.address, 995, stopped, socketLock);
        std::string received;
        EXPECT_FALSE(channel.Establish(notifier, c.security, caFile, received));
        EXPECT_NE(channel.Failure().find(c.failure), std::string::npos) << channel.Failure();
        EXPECT_EQ(received, "") << "nothing of an untrusted server reaches the client";
        EXPECT_THROW(channel.Send(notifier, "USER alice\r\n"), ConnectionFailure);
        TearDown();
        MainLoopFixture::SetUp();
    }
}

TEST_F(TlsChannelTest, RefusesAnswersSentBeforeTheHandshakeBehindTheStlsAcceptance)
{
    // Someone on the path appends a forged answer to the server's "+OK": it must not reach the client.
    ScriptedPop3Server forger(Pop3Responder({{"STLS", "+OK Begin TLS negotiation now.\r\n+OK Logged in.\r\n"}}));
    Connect(forger.Port());
    TlsChannel channel("localhost", 995, stopped, socketLock);
    std::string received;
    EXPECT_FALSE(channel.Establish(notifier, 2, peers->certificates.Ca(), received));
    EXPECT_EQ(channel.Failure(), "the server sent unprotected data after accepting STLS");
    EXPECT_EQ(received, "");
    Disconnect();  // ends the forger's session before it is destroyed
}

}  // namespace
