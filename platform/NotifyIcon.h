// The shell's notification area: icons loaded from the module's images, the notification icon of a window
// (add, modify, delete) with its tip, and the icon's popup menu. The layer keeps every icon's current image and
// tip; a backend shows them (a real tray icon through yad in a graphical session, nothing when headless, a
// recorder in tests). Called on the thread that owns the window.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Window.h"

namespace win32 {

// An icon image of the module (PNG bytes).
struct IconResource {
    UINT id;
    const unsigned char* png;
    std::size_t size;
};

struct IconObject {
    UINT resourceId;
    std::span<const unsigned char> png;
};
using HICON = const IconObject*;

// Null when the module has no icon with that id. Each loaded icon is a new handle, freed with DestroyIcon.
HICON LoadIcon(std::span<const IconResource> icons, UINT id);
BOOL DestroyIcon(HICON icon);

constexpr DWORD NIM_ADD = 0;
constexpr DWORD NIM_MODIFY = 1;
constexpr DWORD NIM_DELETE = 2;
constexpr UINT NIF_MESSAGE = 0x1;
constexpr UINT NIF_ICON = 0x2;
constexpr UINT NIF_TIP = 0x4;

struct NOTIFYICONDATA {
    DWORD cbSize = sizeof(NOTIFYICONDATA);
    HWND hWnd = nullptr;
    UINT uID = 0;
    UINT uFlags = 0;
    UINT uCallbackMessage = 0;
    HICON hIcon = nullptr;
    char szTip[64] = {};  // ANSI code page
};

// NIM_ADD fails for an icon that exists, NIM_MODIFY and NIM_DELETE for one that does not.
BOOL Shell_NotifyIcon(DWORD message, const NOTIFYICONDATA* data);

// What the notification area currently shows for a window's icon.
struct NotifyIconState {
    HWND window = nullptr;
    UINT id = 0;
    UINT callbackMessage = 0;
    HICON icon = nullptr;
    std::string tipUtf8;
};
std::optional<NotifyIconState> GetNotifyIconState(HWND window, UINT id);

struct PopupMenuItem {
    UINT command;
    std::string textUtf8;
};

// Desktop notification areas show the icon's menu themselves: the menu is handed to the icon once, and a chosen
// item reaches the window as WM_COMMAND with the item's command.
BOOL SetNotifyIconMenu(HWND window, UINT id, const std::vector<PopupMenuItem>& items);
// Shows a popup menu at the cursor for the window (where the backend can); a chosen item reaches the window as
// WM_COMMAND. Returns whether a menu was shown.
BOOL TrackPopupMenu(HWND window, const std::vector<PopupMenuItem>& items);
// Asks the desktop to bring a window (of this or another component) to the front.
BOOL SetForegroundWindow(HWND window);

class NotifyIconBackend {
public:
    virtual ~NotifyIconBackend() = default;
    virtual bool Add(const NotifyIconState& state) = 0;
    virtual bool Modify(const NotifyIconState& state) = 0;
    virtual bool Delete(HWND window, UINT id) = 0;
    virtual bool SetMenu(HWND window, UINT id, const std::vector<PopupMenuItem>& items) = 0;
    virtual bool TrackPopupMenu(HWND window, const std::vector<PopupMenuItem>& items) = 0;
};

// The backend chosen for this session: yad when a graphical session is there, yad is installed and VUVED_NO_GUI
// is not 1; otherwise one that only keeps the state.
std::shared_ptr<NotifyIconBackend> MakeDefaultNotifyIconBackend();
// Replaces the backend (tests record the calls); null restores the default. Returns the previous one.
std::shared_ptr<NotifyIconBackend> SetNotifyIconBackend(std::shared_ptr<NotifyIconBackend> backend);

}  // namespace win32
