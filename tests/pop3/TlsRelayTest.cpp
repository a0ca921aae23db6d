// The relay in front of a Dovecot that requires TLS: what curl fetches through it is what curl fetches directly over
// pop3s, and a server that cannot be trusted, for each reason, ends the client's connection as an unreachable one does.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "integration/DovecotServer.h"
#include "pop3/RelayTestFixture.h"
#include "support/Eventually.h"

namespace {

// A test CA (tls_ca.py: "ca.pem", "other-ca.pem" which issued none of the others, "server", "wrong-name", "expired")
// and a Dovecot for each certificate, shared by the suite. With a certificate, TLS is required: STLS on Port(), TLS on
// TlsPort(); withoutTls offers none.
struct TlsTestPeers {
    std::string MakeCertificates()
    {
        std::string made = (std::filesystem::temp_directory_path() / "tlscaXXXXXX").string();
        if (::mkdtemp(made.data()) != nullptr) {
            ::chmod(made.c_str(), 0755);  // Dovecot reads the certificates as its own user
            const std::string script = VUVED_SOURCE_DIR "/tests/integration/tls_ca.py";
            certificatesMade = std::system(("python3 '" + script + "' '" + made + "'").c_str()) == 0;
        }
        return made;
    }
    ~TlsTestPeers()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string Path(const std::string& name) const { return folder + "/" + name; }
    bool AllRunning() const
    {
        return certificatesMade && trusted.IsRunning() && wrongName.IsRunning() && expired.IsRunning() &&
               withoutTls.IsRunning();
    }

    bool certificatesMade = false;
    std::string folder = MakeCertificates();
    DovecotServer trusted{Path("server.pem"), Path("server.key")};
    DovecotServer wrongName{Path("wrong-name.pem"), Path("wrong-name.key")};
    DovecotServer expired{Path("expired.pem"), Path("expired.key")};
    DovecotServer withoutTls;
};

// What curl writes to its standard output for url (a mail for ".../N", the LIST answer's lines for ".../").
std::string Curl(const std::string& options, const std::string& url, const DovecotServer& server)
{
    const std::string command = "curl --silent --show-error --max-time 60 " + options + " -u " + server.User() + ":" +
                                server.Password() + " '" + url + "'";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[65536];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
            output.append(chunk, got);
        }
        if (::pclose(pipe) != 0) {
            output = "curl failed: " + command;
        }
    }
    return output;
}

class TlsRelayTest : public RelayTest {
protected:
    static void SetUpTestSuite() { peers = std::make_unique<TlsTestPeers>(); }
    static void TearDownTestSuite() { peers.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(peers->AllRunning()) << "the test certificates or a private Dovecot could not be made";
    }

    void StartRelay(const char* address, std::uint16_t port, win32::DWORD security, const std::string& caFile)
    {
        relay.reset();
        WriteProxyServerDword("MailServerSecurity", security);
        WriteProxyServerString("MailServerCAFile", caFile);
        StartRelayFor(address, port);
    }

    static inline std::unique_ptr<TlsTestPeers> peers;
};

TEST_F(TlsRelayTest, FetchesTheSameBytesAsDirectPop3s)
{
    const DovecotServer& server = peers->trusted;
    const std::string direct = "pop3s://localhost:" + std::to_string(server.TlsPort()) + "/";
    const std::string trust = "--cacert '" + peers->Path("ca.pem") + "'";
    const struct {
        const char* name;
        const char* address;  // a dotted address is checked against the certificate's IP entries
        win32::DWORD security;
        std::uint16_t port;
    } cases[] = {{"TLS", "localhost", 1, server.TlsPort()},
                 {"TLS to a dotted address", "127.0.0.1", 1, server.TlsPort()},
                 {"STLS", "localhost", 2, server.Port()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartRelay(c.address, c.port, c.security, peers->Path("ca.pem"));
        const std::string relayed = "pop3://127.0.0.1:" + std::to_string(relay->Port()) + "/";
        EXPECT_EQ(Curl("", relayed, server), Curl(trust, direct, server)) << "LIST";
        for (int n = 1; n <= server.MailCount(); ++n) {
            SCOPED_TRACE(n);
            const std::string mail = Curl(trust, direct + std::to_string(n), server);
            ASSERT_FALSE(mail.starts_with("curl failed")) << mail;
            EXPECT_EQ(Curl("", relayed + std::to_string(n), server), mail);
        }
        // Every retrieved mail is captured, as over a plain connection.
        EXPECT_EQ(relay->PendingMails(), static_cast<std::size_t>(server.MailCount()));
        EXPECT_TRUE(relay->CollectAll());
    }
}

// The client is closed without greeting, and one line on stderr names the server and says why.
TEST_F(TlsRelayTest, UntrustedOrUnreachableServerClosesTheClientWithoutGreetingAndSaysWhy)
{
    // Someone on the path appends a forged answer to the server's "+OK": it must not reach the client.
    ScriptedPop3Server forger(Pop3Responder({{"STLS", "+OK Begin TLS negotiation now.\r\n+OK Logged in.\r\n"}}));
    const TlsTestPeers& p = *peers;
    const struct {
        const char* name;
        const char* address;
        std::uint16_t port;
        win32::DWORD security;
        const char* caFile;  // tls_ca.py's file name; "" the system's CAs only, "absent.pem" a file that does not exist
        const char* failure;
    } cases[] = {
        {"another CA", "localhost", p.trusted.TlsPort(), 1, "other-ca.pem",
         "the certificate is not trusted (unable to get local issuer certificate); a private CA can be trusted"},
        {"only the system's CAs", "localhost", p.trusted.Port(), 2, "",
         "the certificate is not trusted (unable to get local issuer certificate)"},
        {"another host name", "localhost", p.wrongName.TlsPort(), 1, "ca.pem",
         "the certificate is not issued for \"localhost\""},
        {"another address", "127.0.0.1", p.wrongName.Port(), 2, "ca.pem",
         "the certificate is not issued for \"127.0.0.1\""},
        {"expired", "localhost", p.expired.TlsPort(), 1, "ca.pem",
         "the certificate is not trusted (certificate has expired)"},
        {"expired, STLS", "localhost", p.expired.Port(), 2, "ca.pem",
         "the certificate is not trusted (certificate has expired)"},
        {"STLS refused", "localhost", p.withoutTls.Port(), 2, "ca.pem",
         "the server refused STLS (\"-ERR TLS support isn't enabled.\")"},
        {"TLS to a plain POP3 port", "localhost", p.withoutTls.Port(), 1, "ca.pem",
         "the TLS handshake failed (wrong version number)"},
        {"CA file missing", "localhost", p.trusted.TlsPort(), 1, "absent.pem", "(MailServerCAFile) cannot be loaded"},
        {"unknown security value", "localhost", p.trusted.TlsPort(), 3, "ca.pem",
         "\"MailServerSecurity\" is 3, which is none of 0 (plain), 1 (TLS) and 2 (STLS)"},
        {"forged answer behind the STLS acceptance", "localhost", forger.Port(), 2, "ca.pem",
         "the server sent unprotected data after accepting STLS"},
        {"nothing listening", "127.0.0.1", UnusedLoopbackPort(), 0, "", "cannot connect: connection refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartRelay(c.address, c.port, c.security, *c.caFile == '\0' ? "" : p.Path(c.caFile));
        testing::internal::CaptureStderr();
        EXPECT_TRUE(Pop3TestClient(relay->Port()).WaitForClose()) << "the client is disconnected";
        EXPECT_TRUE(relay->CollectAll());
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(said.starts_with("VUVed3UzeroVadave: mail server " + std::string(c.address) + ":" +
                                     std::to_string(c.port) + ": "))
            << said;
        EXPECT_NE(said.find(c.failure), std::string::npos) << said;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
        EXPECT_TRUE(relay->Boxes().empty());
    }
    relay.reset();  // ends the forger's session before it is destroyed
}

TEST_F(TlsRelayTest, ClientLeavingInTheMiddleOfAMailLeavesNothingBehind)
{
    const DovecotServer& server = peers->trusted;
    StartRelay("localhost", server.TlsPort(), 1, peers->Path("ca.pem"));
    Pop3TestClient client(relay->Port());
    ASSERT_TRUE(client.Login(server.User(), server.Password()));
    // The last mail of the standard set is the large one.
    ASSERT_TRUE(client.SendLine("RETR " + std::to_string(server.MailCount())));
    EXPECT_EQ(client.ReadBytes(100000).size(), 100000u);
    client.Close();
    EXPECT_TRUE(relay->CollectAll());
    EXPECT_EQ(relay->PendingMails(), 0u) << "an incomplete mail is not captured";
}

TEST_F(TlsRelayTest, StopDuringTheHandshakeEndsAtOnceAndReportsNothing)
{
    // A server that takes the connection and never answers: the handshake with it waits for ever.
    ScriptedPop3Server silent([](Pop3TestClient& peer, ScriptedPop3Server& server) {
        server.Record(peer.ReadBytes(1));
        server.Stall(peer);
    });
    StartRelay("localhost", silent.Port(), 1, peers->Path("ca.pem"));
    Pop3TestClient client(relay->Port());
    ASSERT_TRUE(Eventually([&] { return !silent.Received().empty(); }));
    ASSERT_EQ(silent.Received().front(), "\x16") << "the relay did not start a TLS handshake";
    testing::internal::CaptureStderr();
    relay->Stop();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a stop is no failure of the server";
    EXPECT_TRUE(client.WaitForClose());
}

}  // namespace
