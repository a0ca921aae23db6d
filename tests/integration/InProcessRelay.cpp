#include "integration/InProcessRelay.h"

#include "engines/EngineInterfaces.h"
#include "engines/InstalledEngines.h"
#include "platform/MessageBox.h"
#include "support/Eventually.h"
#include "translate/Pop3TranslateThread.h"

InProcessRelay::InProcessRelay(bool translationEngine) {
    win32::CLSID engineClass{};
    if (!translationEngine) {
        removedEngine = win32::UnregisterComponentClass(win32::kTranslationEngineProgId);
    } else if (win32::FAILED(win32::CLSIDFromProgID(win32::kTranslationEngineProgId, &engineClass))) {
        // As the program does at start, unless a test put its own engine there.
        engines::RegisterInstalledEngines();
    }
    win32::SetMessageBoxHandler([this](std::string_view text, std::string_view, win32::UINT) {
        std::scoped_lock boxGuard(boxLock);
        boxes.emplace_back(text);
        return win32::IDOK;
    });
    mainLoop = std::make_unique<MainLoopThread>();
    server = std::make_unique<Pop3ServerThread>();
    // The server binds on its own thread; poll its socket until it is bound or the thread has given up.
    Eventually([this] { return (port = server->ListeningPort()) != 0 || !server->IsRunning(); });
}

InProcessRelay::~InProcessRelay() {
    Stop();
    mainLoop.reset();
    win32::SetMessageBoxHandler({});
    if (removedEngine) {
        win32::RegisterComponentClass(*removedEngine);
    }
}

void InProcessRelay::Collect() {
    if (server) {
        mainLoop->Invoke([this] { server->GarbageCollection(false); });
    }
}

bool InProcessRelay::CollectAll(std::chrono::milliseconds timeout) {
    // Threads report themselves finished a little after their client has gone: look again shortly.
    return Eventually(
        [this] {
            if (!server || (server->ConnectionCount() == 0 && server->AgentCount() == 0)) {
                return true;
            }
            Collect();
            return false;
        },
        timeout);
}

void InProcessRelay::Stop() {
    if (server) {
        server->StopAndWait();
        server.reset();
    }
}

std::size_t InProcessRelay::PendingMails() {
    return server && server->TranslateThread() ? server->TranslateThread()->PendingMailCount() : 0;
}

bool InProcessRelay::WaitForTranslatedMails(std::chrono::milliseconds timeout) {
    Pop3TranslateThread* translator = server ? server->TranslateThread() : nullptr;
    return translator != nullptr &&
           Eventually([translator] { return translator->HaveTranslateMail(); }, timeout);
}

std::vector<std::string> InProcessRelay::Boxes() {
    std::scoped_lock boxGuard(boxLock);
    return boxes;
}
