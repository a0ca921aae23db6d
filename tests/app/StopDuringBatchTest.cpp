// A stop in the middle of work: the server ends (SIGTERM) while a client retrieves and the captured mails are being
// translated; every mail the client received whole is the mail server's mail unchanged. And a client that leaves in
// the middle while the server keeps running costs nothing: the translated copies are served at the next connection.
#include <signal.h>

#include <functional>

#include "app/ServerProcessFixture.h"
#include "integration/DovecotServer.h"

namespace {

using StopDuringBatch = ServerProcessTest;

std::vector<std::string> RetrieveAll(Pop3TestClient& client, int count,
                                     const std::function<void(int number)>& afterEach = {}) {
    std::vector<std::string> answers;
    for (int number = 1; number <= count; ++number) {
        if (!client.SendLine("RETR " + std::to_string(number))) {
            break;
        }
        std::optional<std::string> answer = client.ReadMultiLine();
        if (!answer) {
            break;  // the connection ended: what did not arrive whole is not counted as received
        }
        answers.push_back(std::move(*answer));
        if (afterEach) {
            afterEach(number);
        }
    }
    return answers;
}

TEST_F(StopDuringBatch, SigtermWhileRetrievingAndTranslatingLeavesEveryReceivedMailUnchanged) {
    DovecotServer dovecot;
    ASSERT_TRUE(dovecot.IsRunning()) << dovecot.Error();
    UseMailServer(dovecot.Port());
    std::vector<std::string> direct;
    {
        Pop3TestClient client(dovecot.Port());
        ASSERT_TRUE(client.Login(dovecot.User(), dovecot.Password()));
        direct = RetrieveAll(client, dovecot.MailCount());
        ASSERT_EQ(direct.size(), static_cast<std::size_t>(dovecot.MailCount()));
    }

    auto server = StartServer({"-Startup"});
    ASSERT_TRUE(WaitUntilListening()) << server->Output();
    Pop3TestClient client(static_cast<std::uint16_t>(listenPort));
    ASSERT_TRUE(client.Login(dovecot.User(), dovecot.Password()));
    // The stop comes after the first English mails were captured, so their translation is under way.
    const std::vector<std::string> received = RetrieveAll(client, dovecot.MailCount(), [&](int number) {
        if (number == 3) {
            server->Signal(SIGTERM);
        }
    });
    ASSERT_GE(received.size(), 3u);
    for (std::size_t i = 0; i < received.size(); ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(received[i], direct[i]);
    }
    EXPECT_EQ(server->WaitForExit(kExitTimeout), 0) << server->Output();
}

TEST_F(StopDuringBatch, ClientLeavingMidRetrievalKeepsTheFinishedTranslationsForTheNextConnection) {
    DovecotServer dovecot;
    ASSERT_TRUE(dovecot.IsRunning()) << dovecot.Error();
    UseMailServer(dovecot.Port());
    auto server = StartServer({"-Startup"});
    ASSERT_TRUE(WaitUntilListening()) << server->Output();
    {
        Pop3TestClient client(static_cast<std::uint16_t>(listenPort));
        ASSERT_TRUE(client.Login(dovecot.User(), dovecot.Password()));
        ASSERT_EQ(RetrieveAll(client, 3).size(), 3u);
        // Leaves without QUIT in the middle of the next answer.
        ASSERT_TRUE(client.SendLine("RETR " + std::to_string(dovecot.MailCount())));
        ASSERT_TRUE(client.ReadLine());
    }
    ASSERT_TRUE(WaitForStatus("HaveTranslateMail: 1", std::chrono::seconds(60)));
    Pop3TestClient next(static_cast<std::uint16_t>(listenPort));
    ASSERT_TRUE(next.Login(dovecot.User(), dovecot.Password()));
    const std::optional<std::string> stat = next.Command("STAT");
    ASSERT_TRUE(stat);
    const int count = std::atoi(stat->c_str() + 4);
    ASSERT_GE(count, 1) << *stat;
    for (const std::string& mail : RetrieveAll(next, count)) {
        EXPECT_NE(mail.find("\r\nSubject: TR: "), std::string::npos) << mail.substr(0, 400);
    }
    // A stop waits for the batch in hand (slow under the sanitizers), which is not what this test is about.
    EXPECT_TRUE(WaitForStatus("IsTranslating: 0", std::chrono::seconds(120)));
    server->Signal(SIGTERM);
    EXPECT_EQ(server->WaitForExit(kExitTimeout), 0) << server->Output();
}

}  // namespace
