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

constexpr const char* kTestUser = "alice";
constexpr const char* kTestPassword = "wonderland";

// The certificates of a test CA made with the openssl tool (tls_ca.py), in a temporary folder that goes with the
// object: "ca.pem", "other-ca.pem" (which issued none of the others), and "server", "wrong-name", "expired".
struct TestCertificates {
    TestCertificates()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tlscaXXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            folder = pattern;
            ::chmod(folder.c_str(), 0755);  // Dovecot reads the certificates as its own user
            const std::string script = VUVED_SOURCE_DIR "/tests/integration/tls_ca.py";
            made = std::system(("python3 '" + script + "' '" + folder + "'").c_str()) == 0;
        }
    }
    ~TestCertificates()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string Path(const std::string& name) const { return folder + "/" + name; }

    std::string folder;
    bool made = false;
};

// The certificates and a Dovecot with the standard mails for each, shared by the cases of the suite (each start takes
// a moment). With a certificate, TLS is required: STLS on Port(), TLS on TlsPort(); withoutTls offers none.
struct TlsTestPeers {
    bool AllRunning() const
    {
        return certificates.made && trusted.IsRunning() && wrongName.IsRunning() && expired.IsRunning() &&
               withoutTls.IsRunning();
    }

    TestCertificates certificates;
    DovecotServer trusted{"standard", certificates.Path("server.pem"), certificates.Path("server.key")};
    DovecotServer wrongName{"standard", certificates.Path("wrong-name.pem"), certificates.Path("wrong-name.key")};
    DovecotServer expired{"standard", certificates.Path("expired.pem"), certificates.Path("expired.key")};
    DovecotServer withoutTls;
};

// What curl writes to its standard output for url (a mail for ".../N", the LIST answer's lines for ".../").
std::string Curl(const std::string& options, const std::string& url)
{
    const std::string command = "curl --silent --show-error --max-time 60 " + options + " -u " + kTestUser + ":" +
                                kTestPassword + " '" + url + "'";
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

    // Starts the relay in front of 127.0.0.1:port, named address; a client is then closed without greeting, and one
    // line on stderr names the server and says why.
    void ExpectRefused(const char* address, std::uint16_t port, win32::DWORD security, const std::string& caFile,
                       const std::string& failure)
    {
        StartRelay(address, port, security, caFile);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(Pop3TestClient(relay->Port()).WaitForClose()) << "the client is disconnected";
        EXPECT_TRUE(relay->CollectAll());
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(said.starts_with("VUVed3UzeroVadave: mail server " + std::string(address) + ":" +
                                     std::to_string(port) + ": "))
            << said;
        EXPECT_NE(said.find(failure), std::string::npos) << said;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
    }

    static inline std::unique_ptr<TlsTestPeers> peers;
};

TEST_F(TlsRelayTest, FetchesTheSameBytesAsDirectPop3s)
{
    const DovecotServer& server = peers->trusted;
    const std::string direct = "pop3s://localhost:" + std::to_string(server.TlsPort()) + "/";
    const std::string trust = "--cacert '" + peers->certificates.Path("ca.pem") + "'";
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
        StartRelay(c.address, c.port, c.security, peers->certificates.Path("ca.pem"));
        const std::string relayed = "pop3://127.0.0.1:" + std::to_string(relay->Port()) + "/";
        EXPECT_EQ(Curl("", relayed), Curl(trust, direct)) << "LIST";
        for (int n = 1; n <= server.MailCount(); ++n) {
            SCOPED_TRACE(n);
            const std::string mail = Curl(trust, direct + std::to_string(n));
            ASSERT_FALSE(mail.starts_with("curl failed")) << mail;
            EXPECT_EQ(Curl("", relayed + std::to_string(n)), mail);
        }
        // Every retrieved mail is captured, as over a plain connection.
        EXPECT_EQ(relay->PendingMails(), static_cast<std::size_t>(server.MailCount()));
        EXPECT_TRUE(relay->CollectAll());
    }
}

TEST_F(TlsRelayTest, UntrustedServerClosesTheClientWithoutGreetingAndSaysWhy)
{
    const struct {
        const char* name;
        DovecotServer TlsTestPeers::*server;
        win32::DWORD security;
        bool tlsPort;
        const char* address;
        const char* caFile;  // tls_ca.py's file name; "" the system's CAs only, "-" a file that does not exist
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
        {"CA file missing", &TlsTestPeers::trusted, 1, true, "localhost", "-", "(MailServerCAFile) cannot be loaded"},
        {"unknown security value", &TlsTestPeers::trusted, 3, true, "localhost", "ca.pem",
         "\"MailServerSecurity\" is 3, which is none of 0 (plain), 1 (TLS) and 2 (STLS)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DovecotServer& server = (*peers).*c.server;
        const std::string caFile = std::string(c.caFile) == "-" ? peers->certificates.Path("absent.pem")
                                   : *c.caFile == '\0'           ? std::string()
                                                                 : peers->certificates.Path(c.caFile);
        ExpectRefused(c.address, c.tlsPort ? server.TlsPort() : server.Port(), c.security, caFile, c.failure);
    }
}

TEST_F(TlsRelayTest, AnswerForgedBehindTheStlsAcceptanceIsRefused)
{
    // Someone on the path appends a forged answer to the server's "+OK": it must not reach the client.
    ScriptedPop3Server forger(Pop3Responder({{"STLS", "+OK Begin TLS negotiation now.\r\n+OK Logged in.\r\n"}}));
    ExpectRefused("localhost", forger.Port(), 2, peers->certificates.Path("ca.pem"),
                  "the server sent unprotected data after accepting STLS");
    relay.reset();  // ends the forger's session before it is destroyed
}

TEST_F(TlsRelayTest, ClientLeavingInTheMiddleOfAMailLeavesNothingBehind)
{
    const DovecotServer& server = peers->trusted;
    StartRelay("localhost", server.TlsPort(), 1, peers->certificates.Path("ca.pem"));
    Pop3TestClient client(relay->Port());
    ASSERT_TRUE(client.Login(kTestUser, kTestPassword));
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
    ASSERT_NE(silent.Port(), 0);
    StartRelay("localhost", silent.Port(), 1, peers->certificates.Path("ca.pem"));
    Pop3TestClient client(relay->Port());
    ASSERT_TRUE(Eventually([&] { return !silent.Received().empty(); }));
    ASSERT_EQ(silent.Received().front(), "\x16") << "the relay did not start a TLS handshake";
    testing::internal::CaptureStderr();
    relay->Stop();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a stop is no failure of the server";
    EXPECT_TRUE(client.WaitForClose());
}

}  // namespace
