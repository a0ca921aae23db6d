// The main thread's maker of AsyncSocketNotifier windows: worker threads obtain and give back notifiers through
// CreateNotifier and DestroyNotifier, which send their request to its window so that every notifier window is
// created, owned and destroyed by the main thread. Constructed, shut down and destroyed on the main thread.
#pragma once

#include <atomic>
#include <set>

#include "platform/Window.h"

class AsyncSocketNotifier;

class NotifierMaker : public win32::Window {
public:
    static constexpr win32::UINT kCreateNotifierMessage = win32::WM_USER + 1;
    static constexpr win32::UINT kDestroyNotifierMessage = win32::WM_USER + 2;

    // Creates the window and publishes it as the process's notifierMakerWindow.
    NotifierMaker();
    ~NotifierMaker() override;

    // Destroys every notifier still alive and the own window; called after the main loop has ended.
    void Shutdown();

protected:
    bool ProcessWindowMessage(win32::HWND window, win32::UINT message, win32::WPARAM wParam, win32::LPARAM lParam,
                              win32::LRESULT& result) override;
    void OnFinalMessage(win32::HWND window) override;

private:
    std::set<AsyncSocketNotifier*> notifiers;  // owned; touched on the main thread only
};

// The window of the process's NotifierMaker; null before it exists and after Shutdown.
extern std::atomic<win32::HWND> notifierMakerWindow;

// From any thread: have the main thread make a notifier, or destroy one; both block until it has done so.
// CreateNotifier returns null when no notifier could be made (or no NotifierMaker exists).
AsyncSocketNotifier* CreateNotifier();
void DestroyNotifier(AsyncSocketNotifier* notifier);
