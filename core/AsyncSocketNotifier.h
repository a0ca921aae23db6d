// A hidden window on the main thread that receives one socket's network event messages and turns them into six
// auto-reset events (read, write, out-of-band, accept, connect, close) on which worker threads wait.
// The window procedure runs on the main thread; SetSocket, Wait and Signal are called by the socket's workers.
#pragma once

#include <atomic>

#include "core/SyncEvent.h"
#include "platform/Sockets.h"
#include "platform/Window.h"

class AsyncSocketNotifier : public win32::Window {
public:
    // The message that carries the socket's network events to the window.
    static constexpr win32::UINT kSocketEventMessage = win32::WM_USER;

    // Creates the window on the calling thread (the main thread, through NotifierMaker).
    AsyncSocketNotifier();
    ~AsyncSocketNotifier() override;

    // With a valid socket and a non-zero mask: attach it and have mask's events reported. Otherwise detach the
    // attached socket (it stays open and non-blocking). Throws CannotSetSocketException when the platform refuses.
    void SetSocket(win32::SOCKET newSocket, win32::LONG eventMask);
    // Waits, dispatching the calling thread's messages, until one of mask's events is signalled; returns its
    // position among the mask's events in the order read, write, out-of-band, accept, connect, close.
    win32::DWORD Wait(win32::LONG eventMask);
    // Sets mask's events, waking the threads waiting on them (one waiter per event).
    void Signal(win32::LONG eventMask);
    // The auto-reset event of one network event bit, for a wait that watches other objects as well; null for a
    // value that is not one event bit.
    win32::HANDLE EventHandle(win32::LONG eventBit);
    // Detaches the socket, then destroys the window; on the window's own thread.
    void Destroy();

    win32::SOCKET Socket() const { return socket; }

protected:
    bool ProcessWindowMessage(win32::HWND window, win32::UINT message, win32::WPARAM wParam, win32::LPARAM lParam,
                              win32::LRESULT& result) override;
    void OnFinalMessage(win32::HWND window) override;

private:
    // The event of one network event bit; null for any other value.
    SyncEvent* EventFor(win32::LONG eventBit);

    std::atomic<win32::SOCKET> socket{win32::INVALID_SOCKET};
    SyncEvent readEvent;
    SyncEvent writeEvent;
    SyncEvent oobEvent;
    SyncEvent acceptEvent;
    SyncEvent connectEvent;
    SyncEvent closeEvent;
};

// Closes a socket its owner's workers may be waiting on: wakes the waiters of wakeEvents, detaches the socket from
// its notifier (null when it has none) and closes it. The caller holds the lock that guards the socket handle.
void CloseNotifiedSocket(AsyncSocketNotifier* notifier, win32::SOCKET socket, win32::LONG wakeEvents) noexcept;
