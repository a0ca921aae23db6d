// The hidden window of the main thread that shows the program's icon in the notification area, animates it while
// mail is translated or translated mail waits, drives the periodic collection of finished connections, opens the
// settings user interface from the icon's menu and stops the POP3 server when the session ends. It reaches the
// automation object only through the running object table. Everything here runs on the main thread.
#pragma once

#include <span>

#include "platform/NotifyIcon.h"
#include "platform/Resources.h"
#include "platform/Window.h"

class RunningObjectTable;

class CEndSessionWindow : public win32::Window {
public:
    static constexpr win32::UINT kIconId = 101;
    static constexpr win32::UINT kIconCallbackMessage = win32::WM_USER + 226;  // 1250
    static constexpr win32::UINT_PTR kTimerId = 1123;
    static constexpr win32::UINT kTickMilliseconds = 500;

    // tickMilliseconds is the status tick's period (tests run it faster).
    CEndSessionWindow(win32::HINSTANCE instance, std::span<const win32::IconResource> icons,
                      RunningObjectTable& runningObjects, win32::UINT tickMilliseconds = kTickMilliseconds);
    ~CEndSessionWindow() override;

    // Deletes the notification icon (if it was added), destroys the icons and kills the timer.
    void RemoveIconAndTimer();

    // The process-wide tick counter of the alternating icons.
    static unsigned BlinkCounter() { return blinkCounter; }

protected:
    bool ProcessWindowMessage(win32::HWND window, win32::UINT message, win32::WPARAM wParam, win32::LPARAM lParam,
                              win32::LRESULT& result) override;

private:
    void OnCreate();
    void OnTick();
    void OnEndSession();
    void ShowContextMenu();
    void OpenSettingsUserInterface();

    std::span<const win32::IconResource> iconResources;
    RunningObjectTable& runningObjects;
    win32::UINT tickMilliseconds;

    win32::HICON idleIcon = nullptr;
    win32::HICON busyIcon = nullptr;
    win32::HICON translatingIcon = nullptr;
    win32::HICON mailWaitingIcon = nullptr;
    win32::NOTIFYICONDATA iconData;
    win32::UINT_PTR timerId = 0;

    // Shared by every instance of the window, as the icon in the notification area is.
    static inline unsigned blinkCounter = 0;
    static inline win32::HICON shownIcon = nullptr;
};
