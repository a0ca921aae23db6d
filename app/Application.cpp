#include "app/Application.h"

#include <cstdio>
#include <exception>
#include <functional>
#include <thread>

#include "app/AppResources.h"
#include "app/AutomationDispatch.h"
#include "app/CEndSessionWindow.h"
#include "app/ClassFactory.h"
#include "app/ComVUVed3UzeroVadave.h"
#include "app/CommandLine.h"
#include "app/Registration.h"
#include "app/RunningObjectTable.h"
#include "app/ServerModule.h"
#include "app/SettingsPageClass.h"
#include "resources/ModuleResources.h"
#include "core/NotifierMaker.h"
#include "core/ZEvent.h"
#include "core/ZWaitLock.h"
#include "engines/InstalledEngines.h"
#include "platform/Com.h"
#include "platform/ComServer.h"
#include "platform/ComServerModule.h"
#include "platform/Registry.h"
#include "platform/Sync.h"
#include "platform/Window.h"

using namespace win32;

namespace {

int RunRegistrationAndEnd(CommandLineAction action) {
    const RegistrationMode mode =
        action == CommandLineAction::RegisterServer ? RegistrationMode::Register : RegistrationMode::Unregister;
    const HRESULT hr = RunRegistration(mode);
    if (hr != S_OK) {
        std::fprintf(stderr, "VUVed3UzeroVadave: %s failed: HRESULT 0x%08X (registry folder %s)\n",
                     mode == RegistrationMode::Register ? "registration" : "unregistration",
                     static_cast<unsigned>(hr), RegistryFolder().c_str());
    }
    return hr == S_OK ? 0 : 1;
}

// Start-up mode: an instance through the class object, put Running 1, released again. The running object
// table's registration keeps the process alive afterwards. Failures are silent; clients may start it later.
void StartServer(ClassFactory& factory) {
    void* created = nullptr;
    if (FAILED(factory.CreateInstance(nullptr, IID_IVUVed3UzeroVadave, &created))) {
        return;
    }
    IVUVed3UzeroVadave* server = static_cast<IVUVed3UzeroVadave*>(created);
    try {
        server->put_Running(1);
    } catch (...) {
    }
    server->Release();
}

// Runs work on a thread of its own while the main thread dispatches its messages, until the work is done: the
// threads that work waits for give their socket notifiers back through the main thread.
void RunWhileDispatching(const std::function<void()>& work) {
    ZEvent done(false, true);
    std::thread worker([&work, &done] {
        work();
        done.Set();
    });
    {
        ZWaitLock finished(done, true);
    }
    worker.join();
}

int RunServer(ServerModule& module, bool startupMode) {
    RunningObjectTable runningObjects;
    ComVUVed3UzeroVadave object(module, runningObjects);
    IVUVed3UzeroVadave& automation = object;
    ClassFactory factory(module, automation);
    NotifierMaker notifierMaker;
    // SIGTERM, SIGINT and SIGHUP end the session: the window stops the server before the loop ends. Installed
    // before anything is published, so that a signal from then on is handled by the loop below, not fatal.
    InstallSessionEndHandler();

    ClassObjectServer classObjects({
        .connectionOpened = [&module] { module.Lock(); },
        .connectionClosed = [&module] { module.Unlock(); },
        .invoke = [&automation](const std::string& member, const nlohmann::json& params) {
            return InvokeAutomationMember(automation, member, params);
        },
    });
    // A server process already runs when its socket answers: as a class activation would reach its class
    // object, the start-up goes there (on the one connection, whose reference bridges the start), and this
    // process, which nothing could reach, ends. Only a socket that nobody answers on is replaced.
    const std::string socketPath = AutomationSocketPath();
    const auto handOverToRunningServer = [&socketPath, startupMode] {
        return ClassObjectServer::CallPublishedObject(socketPath, startupMode ? "put_Running" : "",
                                                      nlohmann::json::array({1}));
    };
    if (handOverToRunningServer()) {
        return 0;
    }
    module.SetClassObjects(&classObjects);
    const HRESULT published = classObjects.Register(socketPath);
    if (published == kPublishedByAnotherProcess) {  // published by another process a moment ago
        module.SetClassObjects(nullptr);
        handOverToRunningServer();
        return 0;
    }
    if (FAILED(published)) {
        std::fprintf(stderr, "VUVed3UzeroVadave: cannot publish the automation object at \"%s\": HRESULT 0x%08X\n",
                     socketPath.c_str(), static_cast<unsigned>(published));
    }

    if (startupMode) {
        StartServer(factory);
    }

    // The icon's menu opens the settings page through this class.
    const SettingsPageClass settingsPage(SettingsPageClass::DefaultControlProgram());
    CEndSessionWindow endSessionWindow(module.Instance(), ModuleIcons(), runningObjects);
    endSessionWindow.Create(nullptr, "CEndSessionWindow", "Ved3UzeroVadave", WS_OVERLAPPEDWINDOW & ~WS_VISIBLE, 0, 0,
                            200, 200);
    const HANDLE instanceMutex = CreateMutex(nullptr, TRUE, "RiloVUVed3UzeroVadave");

    MSG message;
    while (GetMessage(&message, nullptr, 0, 0) > 0) {
        DispatchMessage(&message);
    }

    endSessionWindow.RemoveIconAndTimer();
    endSessionWindow.DestroyWindow();
    // The loop can end with the server still running (a stop refused while a warning box was open) or with a
    // client's stop under way; either way its threads still use their notifiers, so they end before the
    // notifiers go. No new client comes in meanwhile.
    classObjects.Suspend();
    RunWhileDispatching([&object] { object.StopAtExit(); });
    notifierMaker.Shutdown();
    classObjects.Revoke();
    module.SetClassObjects(nullptr);
    if (instanceMutex != nullptr) {
        CloseHandle(instanceMutex);
    }
    return 0;
}

}  // namespace

int RunApplication(std::string_view commandLine) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ServerModule module(ModuleInstance());
    const CommandLineAction action = ScanCommandLine(commandLine);
    int exitCode = 0;
    if (action == CommandLineAction::RegisterServer || action == CommandLineAction::UnregisterServer) {
        exitCode = RunRegistrationAndEnd(action);
    } else {
        engines::RegisterInstalledEngines();
        exitCode = RunServer(module, action == CommandLineAction::RunStartup);
    }
    CoUninitialize();
    return exitCode;
}
