// A thread standing in for the process's main thread: it owns a NotifierMaker and serves its message loop
// until destroyed; Invoke runs work on it (as the main thread's timer would) and waits for it.
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "core/NotifierMaker.h"
#include "platform/Sync.h"
#include "platform/Window.h"

class MainLoopThread {
public:
    MainLoopThread() {
        std::promise<void> ready;
        std::future<void> started = ready.get_future();
        thread = std::thread([this, &ready] { Run(ready); });
        started.wait();
    }

    ~MainLoopThread() {
        win32::PostThreadMessage(threadId, win32::WM_QUIT, 0, 0);
        thread.join();
    }

    MainLoopThread(const MainLoopThread&) = delete;
    MainLoopThread& operator=(const MainLoopThread&) = delete;

    // Runs work on the main loop thread, blocking the caller (which keeps serving messages sent to its own
    // windows) until it has returned.
    void Invoke(const std::function<void()>& work) {
        win32::SendMessage(invoker->Handle(), InvokeWindow::kInvokeMessage, 0,
                           reinterpret_cast<win32::LPARAM>(&work));
    }

private:
    class InvokeWindow : public win32::Window {
    public:
        static constexpr win32::UINT kInvokeMessage = win32::WM_USER + 100;

        InvokeWindow() { Create(nullptr, "MainLoopInvoker", "MainLoopInvoker", 0, 0, 0, 0, 0); }
        ~InvokeWindow() override { DestroyWindow(); }

    protected:
        bool ProcessWindowMessage(win32::HWND, win32::UINT message, win32::WPARAM, win32::LPARAM lParam,
                                  win32::LRESULT& result) override {
            if (message != kInvokeMessage) {
                return false;
            }
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
            result = 0;
            return true;
        }
    };

    void Run(std::promise<void>& ready) {
        threadId = win32::GetCurrentThreadId();
        auto maker = std::make_unique<NotifierMaker>();
        invoker = std::make_unique<InvokeWindow>();
        ready.set_value();
        win32::MSG message;
        while (win32::GetMessage(&message, nullptr, 0, 0) > 0) {
            win32::TranslateMessage(&message);
            win32::DispatchMessage(&message);
        }
        // As at the end of the process: notifiers still alive are destroyed with the maker.
        maker->Shutdown();
        invoker.reset();
    }

    std::thread thread;
    win32::DWORD threadId = 0;
    std::unique_ptr<InvokeWindow> invoker;
};
