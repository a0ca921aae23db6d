// The automation object in-process: its status questions while a client stops the server, and the module lock
// count that ends the main loop.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/ComVUVed3UzeroVadave.h"
#include "app/RunningObjectTable.h"
#include "app/ServerModule.h"
#include "core/NotifierMaker.h"
#include "integration/Pop3TestClient.h"
#include "platform/ComServer.h"
#include "platform/ComServerModule.h"
#include "platform/Window.h"
#include "resources/ModuleResources.h"
#include "settings/RawRegistry.h"
#include "settings/ScopedFolderVariable.h"
#include "settings/TempRegistryFolder.h"
#include "tools/vuvedctl/AutomationClient.h"

using namespace win32;

namespace {

bool QuitPosted() {
    MSG message;
    return PeekMessage(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

// The window's status questions on the main thread while a client's stop deletes the translate thread: under
// ThreadSanitizer an unguarded look is reported (HaveTranslateMail: the stopping thread never takes its
// lock).
TEST(ComVUVed3UzeroVadave, StatusQuestionsDuringAClientsStopAnswerNo) {
    TempRegistryFolder registry;
    raw::SetDword(raw::kProxyKey, "ProxyBasedTranslationPort", UnusedLoopbackPort());
    NotifierMaker notifierMaker;
    ServerModule module(ModuleInstance());
    RunningObjectTable runningObjects;
    {
        ComVUVed3UzeroVadave object(module, runningObjects);
        ASSERT_EQ(object.put_Running(1), S_OK);  // on the main thread, as the start-up mode does
        std::atomic<bool> stopped{false};
        std::thread client([&] {
            object.put_Running(0);
            stopped = true;
        });
        long answers = 0;
        while (!stopped) {
            long mailWaiting = 1;
            object.HaveTranslateMail(&mailWaiting);
            answers += mailWaiting;
            MSG message;
            while (PeekMessage(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessage(&message);
            }
        }
        client.join();
        long translating = 1;
        object.IsTranslating(&translating);
        EXPECT_EQ(answers + translating, 0);
    }
    notifierMaker.Shutdown();
    while (QuitPosted()) {
    }
}

TEST(ServerModule, LastUnlockSuspendsTheClassObjectsAndPostsQuitToTheMainThread) {
    ScopedFolderVariable runtime{"XDG_RUNTIME_DIR"};
    ServerModule module(ModuleInstance());
    ClassObjectServer classObjects({.connectionOpened = {}, .connectionClosed = {},
                                    .invoke = [](const std::string&, const nlohmann::json&) {
                                        return std::optional<nlohmann::json>(nlohmann::json::object());
                                    }});
    ASSERT_EQ(classObjects.Register(AutomationSocketPath()), S_OK);
    module.SetClassObjects(&classObjects);

    EXPECT_EQ(module.Lock(), 1);
    EXPECT_EQ(module.Lock(), 2);
    EXPECT_EQ(module.Unlock(), 1);
    EXPECT_FALSE(QuitPosted());
    EXPECT_EQ(module.Unlock(), 0);
    EXPECT_TRUE(QuitPosted());
    // Suspended: a new client is turned away.
    AutomationClient client;
    ASSERT_TRUE(client.Connect(AutomationSocketPath()));
    std::string error;
    EXPECT_FALSE(client.Call("get_Running", nlohmann::json::array(), error));
    module.SetClassObjects(nullptr);
}

}  // namespace
