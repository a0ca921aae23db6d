// The notification window on the test's thread with a fast tick, a scripted automation object in the running
// object table and a recording notification-area backend.
#include <gmock/gmock.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "app/AppResources.h"
#include "app/AppTestSupport.h"
#include "app/AutomationInterfaces.h"
#include "app/CEndSessionWindow.h"
#include "app/RunningObjectTable.h"
#include "app/SettingsPageClass.h"
#include "platform/Com.h"
#include "platform/NotifyIcon.h"
#include "platform/Sync.h"
#include "platform/Window.h"
#include "resources/ModuleResources.h"
#include "settings/TempRegistryFolder.h"
#include "support/Eventually.h"

using namespace win32;

namespace {

// A notification-area backend that records what the window asks for: the icons shown by each change, and the
// other requests in order with the icon's resource id (add) or the number of menu items (menu, popup).
class RecordingNotifyIcon final : public NotifyIconBackend {
public:
    bool Add(const NotifyIconState& state) override { return Record("add", state.icon->resourceId); }
    bool Modify(const NotifyIconState& state) override {
        if (onModify) {
            onModify();
        }
        shown.push_back(state.icon->resourceId);
        return true;
    }
    bool Delete(HWND, UINT) override { return Record("delete", 0); }
    bool SetMenu(HWND, UINT, const std::vector<PopupMenuItem>& items) override {
        return Record("menu", items.size());
    }
    bool TrackPopupMenu(HWND, const std::vector<PopupMenuItem>& items) override {
        return Record("popup", items.size());
    }

    using Event = std::pair<std::string, std::size_t>;
    std::vector<Event> events;  // touched on the window's thread only
    std::vector<UINT> shown;
    std::function<void()> onModify;

private:
    bool Record(const char* kind, std::size_t number) {
        events.emplace_back(kind, number);
        return true;
    }
};

// The members both fakes answer alike: every interface asked for, counted references, no type information.
template <typename Interface>
class FakeDispatch : public Interface {
public:
    HRESULT QueryInterface(const IID&, void** object) override {
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return --references; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, DWORD, void**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(const IID&, char16_t**, UINT, DWORD, LONG*) override { return E_NOTIMPL; }
    HRESULT Invoke(LONG, const IID&, DWORD, WORD, void*, void*, void*, UINT*) override { return E_NOTIMPL; }

    ULONG references = 0;
};

// Answers the status questions from a script, one entry per tick; ends the message loop after the last tick.
class ScriptedServer final : public FakeDispatch<IVUVed3UzeroVadave> {
public:
    struct Tick {
        long translating;
        long mailWaiting;
    };

    explicit ScriptedServer(std::vector<Tick> script) : script(std::move(script)) {}

    HRESULT GetVersion(BSTR*, BSTR*, BSTR*) override { return E_NOTIMPL; }
    HRESULT get_Running(long* running) override { *running = 1; return S_OK; }
    HRESULT put_Running(long running) override { runningPuts.push_back(running); return S_OK; }
    HRESULT IsTranslating(long* busy) override { calls += "T"; *busy = Current().translating; return S_OK; }
    HRESULT HaveTranslateMail(long* have) override { calls += "H"; *have = Current().mailWaiting; return S_OK; }
    HRESULT GarbageCollection() override {
        calls += "G";
        if (++ticks == script.size()) {
            PostQuitMessage(0);
        }
        return S_OK;
    }

    std::vector<Tick> script;
    std::size_t ticks = 0;
    std::string calls;
    std::vector<long> runningPuts;

private:
    const Tick& Current() const { return script[std::min(ticks, script.size() - 1)]; }
};

class EndSessionWindow : public ::testing::Test {
protected:
    static constexpr UINT kFastTick = 5;

    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        previousBackend = SetNotifyIconBackend(recorder);
    }
    void TearDown() override {
        window.reset();
        SetNotifyIconBackend(previousBackend);
        CoUninitialize();
    }

    void CreateWindow() {
        window = std::make_unique<CEndSessionWindow>(ModuleInstance(), ModuleIcons(), runningObjects, kFastTick);
        ASSERT_NE(window->Create(nullptr, "CEndSessionWindow", "Ved3UzeroVadave", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200),
                  nullptr);
    }

    static bool RunLoopUntilQuit() {
        return Eventually([] {
            MsgWaitForMultipleObjectsEx(0, nullptr, 100, QS_ALLINPUT, 0);
            MSG message;
            while (PeekMessage(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) {
                    return true;
                }
                DispatchMessage(&message);
            }
            return false;
        });
    }

    std::shared_ptr<RecordingNotifyIcon> recorder = std::make_shared<RecordingNotifyIcon>();
    std::shared_ptr<NotifyIconBackend> previousBackend;
    RunningObjectTable runningObjects;
    std::unique_ptr<CEndSessionWindow> window;
};

// One window through its life: without an active object the first tick is idle (the object comes then); only
// a right button press shows the menu; only a real session end stops the server and removes the icon.
TEST_F(EndSessionWindow, TickAnimatesByPhaseAndTheIconShowsItsMenuAndGoesAtTheSessionEnd) {
    ScriptedServer server({{1, 0}, {1, 0}, {1, 0}, {0, 1}, {0, 1}, {0, 0}, {0, 0}, {1, 1}});
    DWORD cookie = 0;
    recorder->onModify = [&] {
        if (cookie == 0) {
            ASSERT_EQ(runningObjects.Register(CLSID_ComVUVed3UzeroVadave, &server, &cookie), S_OK);
        }
    };
    const unsigned start = CEndSessionWindow::BlinkCounter();
    CreateWindow();
    ASSERT_TRUE(RunLoopUntilQuit());

    // Even counter: busy first. The mail-waiting phase continues the translating phase's parity, the idle
    // ticks leave the counter alone, and the second idle tick changes nothing on screen.
    const bool even = start % 2 == 0;
    const UINT busyOrTranslating = even ? kBusyIcon : kTranslatingIcon;
    const UINT translatingOrBusy = even ? kTranslatingIcon : kBusyIcon;
    const UINT mailWaitingOrBusy = even ? kMailWaitingIcon : kBusyIcon;
    const UINT busyOrMailWaiting = even ? kBusyIcon : kMailWaitingIcon;
    const std::vector<UINT> expected = {kIdleIcon,         busyOrTranslating, translatingOrBusy,
                                        busyOrTranslating, mailWaitingOrBusy, busyOrMailWaiting,
                                        kIdleIcon,         translatingOrBusy};
    EXPECT_EQ(recorder->shown, expected);
    EXPECT_EQ(CEndSessionWindow::BlinkCounter(), start + 6);
    // Every tick asks both questions, then collects once.
    EXPECT_EQ(server.calls, "THGTHGTHGTHGTHGTHGTHGTHG");

    const auto state = GetNotifyIconState(window->Handle(), CEndSessionWindow::kIconId);
    EXPECT_EQ(state.value_or(NotifyIconState{}).callbackMessage, CEndSessionWindow::kIconCallbackMessage);
    const std::pair<WPARAM, LPARAM> callbacks[] = {{101, WM_RBUTTONUP},
                                                   {101, WM_LBUTTONDOWN},
                                                   {102, WM_RBUTTONDOWN},
                                                   {101, WM_MOUSEMOVE},
                                                   {101, WM_RBUTTONDOWN}};
    for (const auto& [icon, mouse] : callbacks) {
        SendMessage(window->Handle(), CEndSessionWindow::kIconCallbackMessage, icon, mouse);
    }
    SendMessage(window->Handle(), WM_ENDSESSION, FALSE, 0);
    EXPECT_TRUE(server.runningPuts.empty());
    EXPECT_TRUE(GetNotifyIconState(window->Handle(), CEndSessionWindow::kIconId));
    EXPECT_EQ(SendMessage(window->Handle(), WM_QUERYENDSESSION, 0, 0), TRUE);
    SendMessage(window->Handle(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(server.runningPuts, std::vector<long>{0});
    EXPECT_FALSE(GetNotifyIconState(window->Handle(), CEndSessionWindow::kIconId));
    window->RemoveIconAndTimer();  // again, as the entry does after its loop: nothing is deleted twice
    // Only the last callback, a right button press on our icon, showed the menu (of one item).
    EXPECT_EQ(recorder->events, (std::vector<RecordingNotifyIcon::Event>{
                                    {"add", kIdleIcon}, {"menu", 1}, {"popup", 1}, {"delete", 0}}));
    runningObjects.Revoke(cookie);
    EXPECT_EQ(server.references, 0u);
}

// The settings user interface as another component would provide it.
class FakeSettingsApplication final : public FakeDispatch<ISettingsApplication> {
public:
    HRESULT UnusedSlot7() override { return E_NOTIMPL; }
    HRESULT Show() override {
        calls += "S";
        return S_OK;
    }
    HRESULT UnusedSlot9() override { return E_NOTIMPL; }
    HRESULT UnusedSlot10() override { return E_NOTIMPL; }
    HRESULT GetWindow(HWND* window) override {
        calls += "W";
        *window = nullptr;
        return S_OK;
    }

    std::string calls;
};

// The settings command shows the registered interface and lets it go (nothing registered: it ends silently).
// Our class starts the page once (through a wrapper that records its process, for the test to end it) and
// opens it in the browser of $BROWSER (a recorder here) at each choice.
TEST_F(EndSessionWindow, SettingsCommandShowsTheRegisteredInterfaceAndOursOpensThePageInTheBrowser) {
    CreateWindow();
    SendMessage(window->Handle(), WM_COMMAND, 32771, 0);
    FakeSettingsApplication settings;
    const CLSID clsid = {0x1234ABCD, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};
    RegisterComponentClass(
        {u"RiloAddinManagerExe.Application", clsid, CLSCTX_LOCAL_SERVER,
         [&settings](REFIID iid, void** object) { return settings.QueryInterface(iid, object); }});
    SendMessage(window->Handle(), WM_COMMAND, 32771, 0);
    SendMessage(window->Handle(), WM_COMMAND, 32772, 0);  // another command
    EXPECT_EQ(settings.calls, "SW");
    EXPECT_EQ(settings.references, 0u);
    UnregisterComponentClass(u"RiloAddinManagerExe.Application");

    TempRegistryFolder registry;
    const ScopedFolderVariable folder("XDG_RUNTIME_DIR");
    const auto file = [&folder](const char* name) { return folder.folder + "/" + name; };
    const auto read = [&file](const char* name) {
        std::stringstream text;
        text << std::ifstream(file(name)).rdbuf();
        return text.str();
    };
    for (const auto& [name, line] :
         {std::pair{"browser", "echo \"$1\" >> " + file("opened")},
          std::pair{"control", "echo $$ > " + file("page") + "; exec " + ControlExecutable() + " \"$@\""}}) {
        std::ofstream(file(name)) << "#!/bin/sh\n" << line << "\n";
        chmod(file(name).c_str(), 0700);
    }
    setenv("BROWSER", file("browser").c_str(), 1);
    {
        const SettingsPageClass settingsClass(file("control"));
        SendMessage(window->Handle(), WM_COMMAND, 32771, 0);
        SendMessage(window->Handle(), WM_COMMAND, 32771, 0);
        ASSERT_TRUE(Eventually([&] { return std::ranges::count(read("opened"), '\n') == 2; }));
    }
    unsetenv("BROWSER");
    std::smatch url;  // one page, opened twice
    const std::string urls = read("opened");
    EXPECT_TRUE(
        std::regex_match(urls, url, std::regex(R"((http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{64})\n\1\n)")));
    EXPECT_THAT(RunProgram({"/usr/bin/curl", "--silent", "--include", "--max-time", "20", url[1]},
                           std::chrono::seconds(30))
                    .output,
                testing::StartsWith("HTTP/1.1 303"));
    kill(std::stoi(read("page")), SIGTERM);
}

}  // namespace
