// Faults in the middle of a large retrieval end cleanly: the connection ends, its threads are collected, and the
// server goes on serving.
#include "integration/DovecotRelayFixture.h"

namespace {
// The standard mail set ends with its large mail.
std::string LargeMailCommand(const DovecotServer& dovecot)
{
    return "RETR " + std::to_string(dovecot.MailCount());
}
}  // namespace

TEST_F(DovecotRelayTest, ClientVanishingInTheMiddleOfALargeMail)
{
    {
        Pop3TestClient client = Relayed();
        ASSERT_TRUE(client.SendLine(LargeMailCommand(*dovecot)));
        EXPECT_EQ(client.ReadBytes(1000).size(), 1000u);
    }
    EXPECT_TRUE(relay->CollectAll());
    // The server still serves the next client.
    Pop3TestClient next = Relayed();
    EXPECT_EQ(next.Command("NOOP").value_or("").substr(0, 3), "+OK");
}

TEST_F(DovecotRelayTest, MailServerKilledInTheMiddleOfALargeMail)
{
    Pop3TestClient client = Relayed();
    ASSERT_TRUE(client.SendLine(LargeMailCommand(*dovecot)));
    ASSERT_EQ(client.ReadLine().value_or("").substr(0, 3), "+OK");
    dovecot->Kill();
    // What had arrived before the kill may still be delivered, even the whole mail; then the connection ends,
    // at the latest when the next command finds the server gone.
    bool closed = false;
    while (!closed) {
        const auto line = client.ReadLine();
        closed = !line.has_value();
        if (line == ".\r\n") {
            break;
        }
    }
    if (!closed) {
        client.SendLine("NOOP");
        EXPECT_EQ(client.ReadUntilClose().find("+OK"), std::string::npos);
    }
    EXPECT_TRUE(relay->CollectAll());
}

TEST_F(DovecotRelayTest, StopWhileTenClientsRetrieveLargeMails)
{
    std::vector<Pop3TestClient> clients;
    for (int i = 0; i < 10; ++i) {
        clients.push_back(Relayed());
        ASSERT_TRUE(clients.back().SendLine(LargeMailCommand(*dovecot)));
        ASSERT_TRUE(clients.back().ReadLine());
    }
    relay->Stop();
    for (Pop3TestClient& client : clients) {
        client.ReadUntilClose();
    }
}
