// The notification-area state of the process and the choice of backend.
// Lock: stateLock guards icons and backend; the backend is called outside it (it may block on a child process).
#include "platform/NotifyIcon.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "platform/CodePage.h"
#include "platform/ThreadSafety.h"

namespace win32 {

std::shared_ptr<NotifyIconBackend> MakeYadNotifyIconBackend();  // NotifyIconYad.cpp; null when unavailable

namespace {

// Shows nothing: the icon's state is kept by the layer itself.
class StateOnlyBackend final : public NotifyIconBackend {
public:
    bool Add(const NotifyIconState&) override { return true; }
    bool Modify(const NotifyIconState&) override { return true; }
    bool Delete(HWND, UINT) override { return true; }
    bool SetMenu(HWND, UINT, const std::vector<PopupMenuItem>&) override { return true; }
    bool TrackPopupMenu(HWND, const std::vector<PopupMenuItem>&) override { return false; }
};

Mutex stateLock;
std::map<std::pair<HWND, UINT>, NotifyIconState> icons GUARDED_BY(stateLock);
std::shared_ptr<NotifyIconBackend> backend GUARDED_BY(stateLock);

std::shared_ptr<NotifyIconBackend> CurrentBackend() {
    LockGuard lock(stateLock);
    if (!backend) {
        backend = MakeDefaultNotifyIconBackend();
    }
    return backend;
}

}  // namespace

HICON LoadIcon(std::span<const IconResource> resources, UINT id) {
    const auto found = std::find_if(resources.begin(), resources.end(),
                                    [id](const IconResource& resource) { return resource.id == id; });
    if (found == resources.end() || found->png == nullptr || found->size == 0) {
        return nullptr;
    }
    return new IconObject{found->id, std::span<const unsigned char>(found->png, found->size)};
}

BOOL DestroyIcon(HICON icon) {
    delete icon;
    return icon != nullptr ? TRUE : FALSE;
}

BOOL Shell_NotifyIcon(DWORD message, const NOTIFYICONDATA* data) {
    if (data == nullptr) {
        return FALSE;
    }
    const std::pair<HWND, UINT> key(data->hWnd, data->uID);
    NotifyIconState state;
    {
        LockGuard lock(stateLock);
        const auto existing = icons.find(key);
        if ((message == NIM_ADD) == (existing != icons.end())) {
            return FALSE;
        }
        if (message == NIM_DELETE) {
            icons.erase(existing);
        } else {
            state = message == NIM_ADD ? NotifyIconState{data->hWnd, data->uID, 0, nullptr, {}} : existing->second;
            if ((data->uFlags & NIF_MESSAGE) != 0) {
                state.callbackMessage = data->uCallbackMessage;
            }
            if ((data->uFlags & NIF_ICON) != 0) {
                state.icon = data->hIcon;
            }
            if ((data->uFlags & NIF_TIP) != 0) {
                state.tipUtf8 = AnsiToUtf8(std::string(data->szTip, strnlen(data->szTip, sizeof(data->szTip))));
            }
            icons[key] = state;
        }
    }
    const std::shared_ptr<NotifyIconBackend> shown = CurrentBackend();
    switch (message) {
    case NIM_ADD:
        return shown->Add(state) ? TRUE : FALSE;
    case NIM_MODIFY:
        return shown->Modify(state) ? TRUE : FALSE;
    case NIM_DELETE:
        return shown->Delete(data->hWnd, data->uID) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

std::optional<NotifyIconState> GetNotifyIconState(HWND window, UINT id) {
    LockGuard lock(stateLock);
    const auto found = icons.find({window, id});
    if (found == icons.end()) {
        return std::nullopt;
    }
    return found->second;
}

BOOL SetNotifyIconMenu(HWND window, UINT id, const std::vector<PopupMenuItem>& items) {
    if (!GetNotifyIconState(window, id)) {
        return FALSE;
    }
    return CurrentBackend()->SetMenu(window, id, items) ? TRUE : FALSE;
}

BOOL TrackPopupMenu(HWND window, const std::vector<PopupMenuItem>& items) {
    return CurrentBackend()->TrackPopupMenu(window, items) ? TRUE : FALSE;
}

BOOL SetForegroundWindow(HWND window) { return window != nullptr ? TRUE : FALSE; }

std::shared_ptr<NotifyIconBackend> MakeDefaultNotifyIconBackend() {
    const char* noGui = std::getenv("VUVED_NO_GUI");
    const bool graphical = std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
    if (graphical && !(noGui != nullptr && std::string(noGui) == "1")) {
        if (std::shared_ptr<NotifyIconBackend> yad = MakeYadNotifyIconBackend()) {
            return yad;
        }
    }
    return std::make_shared<StateOnlyBackend>();
}

std::shared_ptr<NotifyIconBackend> SetNotifyIconBackend(std::shared_ptr<NotifyIconBackend> replacement) {
    LockGuard lock(stateLock);
    std::shared_ptr<NotifyIconBackend> previous = std::move(backend);
    backend = std::move(replacement);
    return previous;
}

}  // namespace win32
