// Test helpers: a hidden window that records every message it handles, and a bounded message pump for the
// calling thread.
#pragma once

#include <functional>
#include <vector>

#include "platform/Sync.h"
#include "platform/Window.h"
#include "support/Eventually.h"

struct RecordedMessage {
    win32::UINT message;
    win32::WPARAM wParam;
    win32::LPARAM lParam;
};

class RecordingWindow : public win32::Window {
public:
    RecordingWindow() { Create(nullptr, "RecordingWindow", "RecordingWindow", 0, 0, 0, 200, 200); }
    ~RecordingWindow() override { DestroyWindow(); }

    // Messages other than the window's own life-cycle messages, in the order handled.
    std::vector<RecordedMessage> messages;
    // Runs inside the handler of each recorded message when set.
    std::function<win32::LRESULT(const RecordedMessage&)> reply;

protected:
    bool ProcessWindowMessage(win32::HWND, win32::UINT message, win32::WPARAM wParam, win32::LPARAM lParam,
                              win32::LRESULT& result) override
    {
        if (message == win32::WM_CREATE || message == win32::WM_DESTROY || message == win32::WM_NCDESTROY) {
            return false;
        }
        messages.push_back({message, wParam, lParam});
        if (reply) {
            result = reply(messages.back());
            return true;
        }
        return false;
    }
};

// Dispatches whatever the calling thread can handle right now (including socket events that are ready).
inline void PumpPending()
{
    win32::MSG message;
    while (win32::PeekMessage(&message, nullptr, 0, 0, win32::PM_REMOVE)) {
        win32::DispatchMessage(&message);
    }
}

// Dispatches the calling thread's messages until done() holds or the time is up; returns done().
inline bool PumpUntil(const std::function<bool()>& done)
{
    return Eventually([&] {
        PumpPending();
        return done();
    });
}
