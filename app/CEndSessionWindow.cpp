#include "app/CEndSessionWindow.h"

#include <cstring>

#include "app/AppResources.h"
#include "app/AutomationInterfaces.h"
#include "app/RunningObjectTable.h"
#include "platform/CodePage.h"

using namespace win32;

namespace {

// The automation object as registered in the running object table, held for one step.
class ActiveServer {
public:
    explicit ActiveServer(RunningObjectTable& runningObjects) {
        IUnknown* active = nullptr;
        if (SUCCEEDED(runningObjects.GetActiveObject(CLSID_ComVUVed3UzeroVadave, &active))) {
            void* found = nullptr;
            if (SUCCEEDED(active->QueryInterface(IID_IVUVed3UzeroVadave, &found))) {
                server = static_cast<IVUVed3UzeroVadave*>(found);
            }
            active->Release();
        }
    }
    ~ActiveServer() {
        if (server != nullptr) {
            server->Release();
        }
    }
    ActiveServer(const ActiveServer&) = delete;
    ActiveServer& operator=(const ActiveServer&) = delete;

    IVUVed3UzeroVadave* operator->() const { return server; }
    explicit operator bool() const { return server != nullptr; }

private:
    IVUVed3UzeroVadave* server = nullptr;
};

}  // namespace

CEndSessionWindow::CEndSessionWindow(HINSTANCE instance, std::span<const IconResource> icons,
                                     RunningObjectTable& runningObjects, UINT tickMilliseconds)
    : iconResources(icons), runningObjects(runningObjects), tickMilliseconds(tickMilliseconds) {
    iconData.uID = kIconId;
    iconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    iconData.uCallbackMessage = kIconCallbackMessage;
    char tip[256];
    const int length = LoadString(instance, 101, tip, sizeof(tip));
    if (length > 0) {
        // At most 63 bytes, never half of a double-byte character.
        int copied = 0;
        while (copied < length) {
            const int width = IsDBCSLeadByte(static_cast<BYTE>(tip[copied])) ? 2 : 1;
            if (copied + width > static_cast<int>(sizeof(iconData.szTip)) - 1) {
                break;
            }
            copied += width;
        }
        std::memcpy(iconData.szTip, tip, static_cast<std::size_t>(copied));
    }
}

CEndSessionWindow::~CEndSessionWindow() {
    RemoveIconAndTimer();
    DestroyWindow();
}

bool CEndSessionWindow::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_CREATE:
        OnCreate();
        result = 0;
        return true;
    case WM_QUERYENDSESSION:
        DefWindowProc(hwnd, message, wParam, lParam);
        result = TRUE;
        return true;
    case WM_ENDSESSION:
        if (wParam == TRUE) {
            OnEndSession();
        }
        return false;
    case WM_TIMER:
        if (timerId != 0 && wParam == timerId) {
            OnTick();
        }
        return false;
    case kIconCallbackMessage:
        if (wParam == kIconId && lParam == WM_RBUTTONDOWN) {
            ShowContextMenu();
            result = 0;
            return true;
        }
        return false;
    case WM_COMMAND:
        if (LOWORD(wParam) == kShowSettingsCommand) {
            OpenSettingsUserInterface();
            result = 0;
            return true;
        }
        return false;
    default:
        return false;
    }
}

void CEndSessionWindow::OnCreate() {
    idleIcon = LoadIcon(iconResources, kIdleIcon);
    busyIcon = LoadIcon(iconResources, kBusyIcon);
    translatingIcon = LoadIcon(iconResources, kTranslatingIcon);
    mailWaitingIcon = LoadIcon(iconResources, kMailWaitingIcon);
    if (idleIcon != nullptr) {
        iconData.hWnd = hwnd;
        iconData.hIcon = idleIcon;
        Shell_NotifyIcon(NIM_ADD, &iconData);
        // Desktop trays show the icon's menu themselves; its choice arrives as WM_COMMAND.
        SetNotifyIconMenu(hwnd, kIconId, LoadPopupMenu(kTipsMenu));
    }
    if (timerId == 0) {
        timerId = SetTimer(hwnd, kTimerId, tickMilliseconds, nullptr);
    }
}

void CEndSessionWindow::OnTick() {
    long translating = 0;
    long mailWaiting = 0;
    if (ActiveServer server{runningObjects}) {
        server->IsTranslating(&translating);
        server->HaveTranslateMail(&mailWaiting);
        server->GarbageCollection();
    }
    HICON chosen = idleIcon;
    if (translating != 0) {
        chosen = (blinkCounter++ % 2 == 0) ? busyIcon : translatingIcon;
    } else if (mailWaiting != 0) {
        chosen = (blinkCounter++ % 2 == 0) ? busyIcon : mailWaitingIcon;
    }
    if (chosen != shownIcon) {
        iconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        iconData.hIcon = chosen;
        Shell_NotifyIcon(NIM_MODIFY, &iconData);
    }
    shownIcon = chosen;
}

void CEndSessionWindow::OnEndSession() {
    if (ActiveServer server{runningObjects}) {
        server->put_Running(0);
    }
    RemoveIconAndTimer();
}

void CEndSessionWindow::RemoveIconAndTimer() {
    if (idleIcon != nullptr) {
        Shell_NotifyIcon(NIM_DELETE, &iconData);
    }
    for (HICON* icon : {&idleIcon, &busyIcon, &translatingIcon, &mailWaitingIcon}) {
        if (*icon != nullptr) {
            DestroyIcon(*icon);
            *icon = nullptr;
        }
    }
    // The handles just destroyed may come back for other icons; none of them is shown any more.
    shownIcon = nullptr;
    if (timerId != 0) {
        KillTimer(hwnd, timerId);
        timerId = 0;
    }
}

void CEndSessionWindow::ShowContextMenu() {
    const std::vector<PopupMenuItem> menu = LoadPopupMenu(kTipsMenu);
    SetForegroundWindow(hwnd);
    TrackPopupMenu(hwnd, menu);
}

void CEndSessionWindow::OpenSettingsUserInterface() {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(u"RiloAddinManagerExe.Application", &clsid))) {
        return;
    }
    void* created = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_ISettingsApplication, &created))) {
        return;
    }
    ISettingsApplication* settings = static_cast<ISettingsApplication*>(created);
    HWND window = nullptr;
    if (SUCCEEDED(settings->Show()) && SUCCEEDED(settings->GetWindow(&window)) && window != nullptr) {
        SetForegroundWindow(window);
    }
    settings->Release();
}
