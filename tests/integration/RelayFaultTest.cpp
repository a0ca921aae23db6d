// Faults in the middle of a large retrieval end cleanly: the connection ends, its threads are collected, and the
// server goes on serving.
#include <chrono>
#include <thread>

#include "integration/DovecotRelayFixture.h"
#include "support/Eventually.h"
#include "support/ProcessCounts.h"

namespace {
// Sockets, notifier events and thread queues of finished connections are all released: the process is back at the
// number of open descriptors it had before (looked at again for a while, as threads release theirs as they end).
bool BackTo(int descriptors)
{
    return Eventually([&] { return OpenDescriptorCount() == descriptors; });
}

// The standard mail set ends with its large mail.
std::string LargeMailCommand(const DovecotServer& dovecot)
{
    return "RETR " + std::to_string(dovecot.MailCount());
}
}  // namespace

TEST_F(DovecotRelayTest, ClientVanishingInTheMiddleOfALargeMail)
{
    {
        Pop3TestClient warmUp = Relayed();  // the first session makes what later sessions reuse
    }
    ASSERT_TRUE(relay->CollectAll());
    const int descriptors = OpenDescriptorCount();
    {
        Pop3TestClient client = Relayed();
        ASSERT_TRUE(client.SendLine(LargeMailCommand(*dovecot)));
        EXPECT_EQ(client.ReadBytes(1000).size(), 1000u);
    }
    EXPECT_TRUE(relay->CollectAll());
    EXPECT_TRUE(BackTo(descriptors)) << OpenDescriptorCount() << " open, " << descriptors << " before";
    // The server still serves the next client.
    Pop3TestClient next = Relayed();
    EXPECT_EQ(next.Command("NOOP").value_or("").substr(0, 3), "+OK");
}

TEST_F(DovecotRelayTest, MailServerKilledInTheMiddleOfALargeMail)
{
    {
        Pop3TestClient warmUp = Relayed();
    }
    ASSERT_TRUE(relay->CollectAll());
    const int descriptors = OpenDescriptorCount();
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
    client.Close();
    EXPECT_TRUE(relay->CollectAll());
    EXPECT_TRUE(BackTo(descriptors)) << OpenDescriptorCount() << " open, " << descriptors << " before";
}
