// A hidden window that answers one message with a function's result: it shows when, and in whose wait, a message
// sent to the window's thread is served.
#pragma once

#include <functional>

#include "platform/Window.h"

class ProbeWindow : public win32::Window {
public:
    static constexpr win32::UINT kProbeMessage = win32::WM_USER + 50;

    explicit ProbeWindow(std::function<win32::LRESULT(win32::WPARAM)> onProbe) : onProbe(std::move(onProbe))
    {
        Create(nullptr, "ProbeWindow", "ProbeWindow", 0, 0, 0, 0, 0);
    }
    ~ProbeWindow() override { DestroyWindow(); }

    win32::LRESULT Send(win32::WPARAM wParam = 0) { return win32::SendMessage(Handle(), kProbeMessage, wParam, 0); }

protected:
    bool ProcessWindowMessage(win32::HWND, win32::UINT message, win32::WPARAM wParam, win32::LPARAM,
                              win32::LRESULT& result) override
    {
        if (message != kProbeMessage) {
            return false;
        }
        result = onProbe(wParam);
        return true;
    }

private:
    std::function<win32::LRESULT(win32::WPARAM)> onProbe;
};
