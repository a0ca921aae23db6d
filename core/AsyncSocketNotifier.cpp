// Threads here: the main thread runs the window procedure (sets events) and Destroy; the socket's workers call
// SetSocket, Wait and Signal, sometimes two at once on one notifier. Events are created on first need by
// whichever thread comes first, serialised inside SyncEvent; the attached socket is an atomic. No lock is held
// during a wait.
#include "core/AsyncSocketNotifier.h"

#include <iterator>

#include "core/CannotSetSocketException.h"
#include "core/MsgWaitMultiple.h"
#include "platform/Sync.h"

namespace {

// The order in which events are listed for a wait and signalled.
constexpr win32::LONG kEventOrder[] = {win32::FD_READ,   win32::FD_WRITE,   win32::FD_OOB,
                                       win32::FD_ACCEPT, win32::FD_CONNECT, win32::FD_CLOSE};

// Key, mouse, posted, timer, paint, sent and hot-key input all wake a waiting worker.
constexpr win32::DWORD kAnyInput = 0xFF;

}  // namespace

AsyncSocketNotifier::AsyncSocketNotifier()
{
    Create(nullptr, "AsyncSocketNotifier", "AsyncSocketNotifier", win32::WS_OVERLAPPEDWINDOW & ~win32::WS_VISIBLE, 0,
           0, 200, 200);
}

AsyncSocketNotifier::~AsyncSocketNotifier()
{
    Destroy();
}

void AsyncSocketNotifier::SetSocket(win32::SOCKET newSocket, win32::LONG eventMask)
{
    if (newSocket != win32::INVALID_SOCKET && eventMask != 0) {
        socket = newSocket;
        if (win32::WSAAsyncSelect(newSocket, hwnd, kSocketEventMessage, eventMask) == win32::SOCKET_ERROR) {
            throw CannotSetSocketException();
        }
        return;
    }
    const win32::SOCKET attached = socket;
    if (attached != win32::INVALID_SOCKET) {
        if (win32::WSAAsyncSelect(attached, hwnd, 0, 0) == win32::SOCKET_ERROR) {
            throw CannotSetSocketException();
        }
        socket = win32::INVALID_SOCKET;
    }
}

win32::DWORD AsyncSocketNotifier::Wait(win32::LONG eventMask)
{
    win32::HANDLE handles[std::size(kEventOrder)];
    win32::DWORD count = 0;
    for (const win32::LONG bit : kEventOrder) {
        if ((eventMask & bit) != 0) {
            handles[count++] = EventFor(bit)->Create();
        }
    }
    for (;;) {
        const win32::DWORD result = MsgWaitMultiple(count, handles, win32::INFINITE, kAnyInput, 0);
        if (result < win32::WAIT_OBJECT_0 + count ||
            (result >= win32::WAIT_ABANDONED_0 && result < win32::WAIT_ABANDONED_0 + count)) {
            return result;
        }
        if (result == win32::WAIT_OBJECT_0 + count) {
            win32::MSG message;
            if (win32::PeekMessage(&message, nullptr, 0, 0, win32::PM_REMOVE)) {
                win32::DispatchMessage(&message);
            }
        }
    }
}

void AsyncSocketNotifier::Signal(win32::LONG eventMask)
{
    for (const win32::LONG bit : kEventOrder) {
        if ((eventMask & bit) != 0) {
            SyncEvent* event = EventFor(bit);
            event->Create();
            event->Set();
        }
    }
}

void AsyncSocketNotifier::Destroy()
{
    if (hwnd == nullptr || !win32::IsWindow(hwnd)) {
        return;
    }
    if (socket != win32::INVALID_SOCKET) {
        try {
            SetSocket(win32::INVALID_SOCKET, 0);
        } catch (...) {
            // The window goes anyway; its destruction ends the reporting as well.
        }
    }
    DestroyWindow();
}

bool AsyncSocketNotifier::ProcessWindowMessage(win32::HWND window, win32::UINT message, win32::WPARAM wParam,
                                               win32::LPARAM lParam, win32::LRESULT& result)
{
    switch (message) {
    case kSocketEventMessage:
        if (SyncEvent* event = EventFor(win32::LOWORD(static_cast<win32::UINT_PTR>(lParam))); event != nullptr) {
            try {
                event->Create();
                event->Set();
            } catch (...) {
                // Out of event resources: the notification is dropped rather than breaking the main loop.
            }
        }
        result = 0;
        return true;
    case win32::WM_DESTROY:
        hwnd = nullptr;
        result = 0;
        return true;
    case win32::WM_QUERYENDSESSION:
        win32::DefWindowProc(window, message, wParam, lParam);
        result = win32::TRUE;
        return true;
    default:
        return false;
    }
}

void AsyncSocketNotifier::OnFinalMessage(win32::HWND) {}

win32::HANDLE AsyncSocketNotifier::EventHandle(win32::LONG eventBit)
{
    SyncEvent* event = EventFor(eventBit);
    return event != nullptr ? event->Create() : nullptr;
}

SyncEvent* AsyncSocketNotifier::EventFor(win32::LONG eventBit)
{
    switch (eventBit) {
    case win32::FD_READ:
        return &readEvent;
    case win32::FD_WRITE:
        return &writeEvent;
    case win32::FD_OOB:
        return &oobEvent;
    case win32::FD_ACCEPT:
        return &acceptEvent;
    case win32::FD_CONNECT:
        return &connectEvent;
    case win32::FD_CLOSE:
        return &closeEvent;
    default:
        return nullptr;
    }
}

void CloseNotifiedSocket(AsyncSocketNotifier* notifier, win32::SOCKET socket, win32::LONG wakeEvents) noexcept
{
    if (notifier != nullptr) {
        try {
            notifier->Signal(wakeEvents);
            notifier->SetSocket(win32::INVALID_SOCKET, 0);
        } catch (...) {
            // Closing the socket below cancels its reporting anyway.
        }
    }
    win32::closesocket(socket);
}
