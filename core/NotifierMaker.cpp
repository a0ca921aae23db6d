#include "core/NotifierMaker.h"

#include <new>

#include "core/AsyncSocketNotifier.h"

std::atomic<win32::HWND> notifierMakerWindow{nullptr};

NotifierMaker::NotifierMaker()
{
    notifierMakerWindow = Create(nullptr, "ProxyNotifierMaker", "ProxyNotifierMaker",
                                 win32::WS_OVERLAPPEDWINDOW & ~win32::WS_VISIBLE, 0, 0, 200, 200);
}

NotifierMaker::~NotifierMaker()
{
    Shutdown();
}

void NotifierMaker::Shutdown()
{
    try {
        for (AsyncSocketNotifier* notifier : notifiers) {
            notifier->Destroy();
            delete notifier;
        }
        notifiers.clear();
        if (hwnd != nullptr && win32::IsWindow(hwnd)) {
            DestroyWindow();
        }
        notifierMakerWindow = nullptr;
    } catch (...) {
        // Shutting down at the end of the process: whatever failed, there is nobody left to tell.
    }
}

bool NotifierMaker::ProcessWindowMessage(win32::HWND window, win32::UINT message, win32::WPARAM wParam,
                                         win32::LPARAM lParam, win32::LRESULT& result)
{
    switch (message) {
    case kCreateNotifierMessage: {
        result = 0;
        auto* notifier = new (std::nothrow) AsyncSocketNotifier();
        if (notifier == nullptr) {
            return true;
        }
        try {
            notifiers.insert(notifier);
        } catch (...) {
            delete notifier;
            return true;
        }
        result = reinterpret_cast<win32::LRESULT>(notifier);
        return true;
    }
    case kDestroyNotifierMessage: {
        // Only notifiers made here are destroyed: a stray or repeated request must not free foreign memory.
        auto* notifier = reinterpret_cast<AsyncSocketNotifier*>(lParam);
        if (const auto found = notifiers.find(notifier); found != notifiers.end()) {
            notifier->Destroy();
            delete notifier;
            notifiers.erase(found);
        }
        result = 0;
        return true;
    }
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

void NotifierMaker::OnFinalMessage(win32::HWND) {}

AsyncSocketNotifier* CreateNotifier()
{
    return reinterpret_cast<AsyncSocketNotifier*>(
        win32::SendMessage(notifierMakerWindow, NotifierMaker::kCreateNotifierMessage, 0, 0));
}

void DestroyNotifier(AsyncSocketNotifier* notifier)
{
    win32::SendMessage(notifierMakerWindow, NotifierMaker::kDestroyNotifierMessage, 0,
                       reinterpret_cast<win32::LPARAM>(notifier));
}
