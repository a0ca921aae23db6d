// A relay server in the test process in front of a scripted upstream POP3 server, with a registry of its own.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "integration/InProcessRelay.h"
#include "integration/Pop3TestClient.h"
#include "integration/RelaySettings.h"
#include "support/ScriptedPop3Server.h"

class RelayTest : public testing::Test {
protected:
    // The upstream answers by command line (the standard responder).
    void StartWithAnswers(std::map<std::string, std::string> answers, bool translationEngine = false)
    {
        StartWithScript(Pop3Responder(std::move(answers)), translationEngine);
    }

    void StartWithScript(ScriptedPop3Server::Script script, bool translationEngine = false)
    {
        upstream = std::make_unique<ScriptedPop3Server>(std::move(script));
        StartRelayFor("127.0.0.1", upstream->Port(), translationEngine);
    }

    // The relay in front of the mail server at address and port; translationEngine: captured mails are translated,
    // as in the application.
    void StartRelayFor(const char* address, win32::DWORD port, bool translationEngine = false)
    {
        WriteProxyServerSettings(address, port, 0);
        relay = std::make_unique<InProcessRelay>(translationEngine);
        ASSERT_NE(relay->Port(), 0) << "the relay does not listen";
    }

    // A client through the relay that has logged in (USER and PASS relayed).
    Pop3TestClient LoggedInClient()
    {
        Pop3TestClient client(relay->Port());
        EXPECT_TRUE(client.Login("alice", "secret"));
        return client;
    }

    ScopedRegistry registry;
    std::unique_ptr<ScriptedPop3Server> upstream;
    std::unique_ptr<InProcessRelay> relay;  // destroyed first: it ends the upstream's sessions
};
