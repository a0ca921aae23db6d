// The relay in the test process in front of a private Dovecot holding a named mail set.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "integration/DovecotServer.h"
#include "integration/InProcessRelay.h"
#include "integration/Pop3TestClient.h"
#include "integration/RelaySettings.h"

class DovecotRelayTest : public testing::Test {
protected:
    void StartWith(const std::string& mailSet)
    {
        dovecot = std::make_unique<DovecotServer>(mailSet);
        ASSERT_TRUE(dovecot->IsRunning()) << dovecot->Error();
        WriteProxyServerSettings("127.0.0.1", dovecot->Port(), 0);
        relay = std::make_unique<InProcessRelay>();
        ASSERT_NE(relay->Port(), 0);
    }

    void SetUp() override { StartWith("standard"); }

    void TearDown() override
    {
        relay.reset();
        dovecot.reset();
    }

    Pop3TestClient Direct()
    {
        Pop3TestClient client(dovecot->Port());
        EXPECT_TRUE(client.Login(dovecot->User(), dovecot->Password()));
        return client;
    }

    Pop3TestClient Relayed()
    {
        Pop3TestClient client(relay->Port());
        EXPECT_TRUE(client.Login(dovecot->User(), dovecot->Password()));
        return client;
    }

    ScopedRegistry registry;
    std::unique_ptr<DovecotServer> dovecot;
    std::unique_ptr<InProcessRelay> relay;
};
