// Windows and messages on Linux. Every window is registered in WindowRegistry and belongs to the queue of the
// thread that created it; messages for it are run on that thread (see MessageQueueLinux.h for the queue's locks
// and wake-ups).
#include "platform/Window.h"

#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "platform/AsyncSelectSetLinux.h"
#include "platform/MessageQueueLinux.h"
#include "platform/WindowObjectLinux.h"

namespace win32 {

using detail::AsyncSelectSet;
using detail::MessageQueue;
using detail::WindowRegistry;

namespace {

using TimerProc = void (*)(HWND, UINT, UINT_PTR, DWORD);

std::atomic<int> sessionEndFd{-1};

extern "C" void OnSessionEndSignal(int)
{
    const int savedErrno = errno;
    const std::uint64_t one = 1;
    const ssize_t written = ::write(sessionEndFd.load(std::memory_order_relaxed), &one, sizeof one);
    static_cast<void>(written);
    errno = savedErrno;
}

// Takes a window out of the registry and its timers and socket reporting with it.
void Unregister(const std::shared_ptr<WindowObject>& object)
{
    object->queue->KillTimers(object->handle);
    AsyncSelectSet::CancelWindow(object->handle);
    WindowRegistry::Remove(object->handle);
}

}  // namespace

Window::Window() = default;

Window::~Window()
{
    if (hwnd != nullptr) {
        // The derived handler is already gone, so the window leaves without hearing of it.
        const std::shared_ptr<WindowObject> object = WindowRegistry::Find(hwnd);
        if (object) {
            Unregister(object);
            object->Finish(false);
        }
        hwnd = nullptr;
    }
}

HWND Window::Create(HWND parent, const char* className, const char* title, DWORD, int, int, int, int)
{
    if (hwnd != nullptr) {
        return nullptr;
    }
    auto object = std::make_shared<WindowObject>();
    object->window = this;
    object->queue = MessageQueue::Current().shared_from_this();
    object->parent = parent;
    object->className = className != nullptr ? className : "";
    object->title = title != nullptr ? title : "";
    hwnd = WindowRegistry::Add(object);
    if (object->Deliver(WM_CREATE, 0, 0) == -1) {
        DestroyWindow();
        return nullptr;
    }
    return hwnd;
}

BOOL Window::DestroyWindow()
{
    return hwnd != nullptr ? win32::DestroyWindow(hwnd) : FALSE;
}

void Window::OnFinalMessage(HWND) {}

LRESULT Window::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (ProcessWindowMessage(hwnd, message, wParam, lParam, result)) {
        return result;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

LRESULT DefWindowProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_QUERYENDSESSION ? TRUE : 0;
}

BOOL IsWindow(HWND window)
{
    return window != nullptr && WindowRegistry::Find(window) != nullptr ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND window)
{
    const std::shared_ptr<WindowObject> object = WindowRegistry::Find(window);
    if (!object || object->destroying) {
        return FALSE;
    }
    object->destroying = true;
    for (const HWND child : WindowRegistry::ChildrenOf(window)) {
        DestroyWindow(child);
    }
    object->Deliver(WM_DESTROY, 0, 0);
    object->Deliver(WM_NCDESTROY, 0, 0);
    Unregister(object);
    object->Finish(true);
    return TRUE;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const std::shared_ptr<WindowObject> object = WindowRegistry::Find(window);
    if (!object) {
        return 0;
    }
    if (object->queue->IsCurrentThread()) {
        return object->Deliver(message, wParam, lParam);
    }
    return object->queue->SendFromOtherThread(window, message, wParam, lParam);
}

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG posted;
    posted.hwnd = window;
    posted.message = message;
    posted.wParam = wParam;
    posted.lParam = lParam;
    if (window == nullptr) {
        return MessageQueue::Current().Post(posted) ? TRUE : FALSE;
    }
    const std::shared_ptr<WindowObject> object = WindowRegistry::Find(window);
    return object && object->queue->Post(posted) ? TRUE : FALSE;
}

BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    const std::shared_ptr<MessageQueue> queue = MessageQueue::ForThread(threadId);
    MSG posted;
    posted.message = message;
    posted.wParam = wParam;
    posted.lParam = lParam;
    return queue && queue->Post(posted) ? TRUE : FALSE;
}

void PostQuitMessage(int exitCode)
{
    MessageQueue::Current().PostQuit(exitCode);
}

BOOL GetMessage(MSG* message, HWND window, UINT filterMin, UINT filterMax)
{
    if (message == nullptr) {
        return -1;
    }
    return MessageQueue::Current().Get(message, window, filterMin, filterMax);
}

BOOL PeekMessage(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    if (message == nullptr) {
        return FALSE;
    }
    return MessageQueue::Current().Peek(message, window, filterMin, filterMax, removeFlags) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*)
{
    return FALSE;  // no keyboard input to translate
}

LRESULT DispatchMessage(const MSG* message)
{
    if (message == nullptr) {
        return 0;
    }
    if (message->message == WM_TIMER && message->lParam != 0) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        reinterpret_cast<TimerProc>(message->lParam)(
            message->hwnd, WM_TIMER, message->wParam,
            static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
        return 0;
    }
    const std::shared_ptr<WindowObject> object = WindowRegistry::Find(message->hwnd);
    // A window's handler runs only on its own thread.
    if (!object || !object->queue->IsCurrentThread()) {
        return 0;
    }
    return object->Deliver(message->message, message->wParam, message->lParam);
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, void* timerProc)
{
    if (window == nullptr) {
        return MessageQueue::Current().SetTimer(nullptr, id, milliseconds, timerProc);
    }
    const std::shared_ptr<WindowObject> object = WindowRegistry::Find(window);
    return object ? object->queue->SetTimer(window, id, milliseconds, timerProc) : 0;
}

BOOL KillTimer(HWND window, UINT_PTR id)
{
    if (window == nullptr) {
        return MessageQueue::Current().KillTimer(nullptr, id) ? TRUE : FALSE;
    }
    const std::shared_ptr<WindowObject> object = WindowRegistry::Find(window);
    return object && object->queue->KillTimer(window, id) ? TRUE : FALSE;
}

void InstallSessionEndHandler()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        sessionEndFd.store(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC), std::memory_order_relaxed);
        struct sigaction action {};
        action.sa_handler = OnSessionEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
            ::sigaction(signalNumber, &action, nullptr);
        }
    });
    if (sessionEndFd.load(std::memory_order_relaxed) >= 0) {
        MessageQueue::Current().WatchSessionEnd(sessionEndFd.load(std::memory_order_relaxed));
    }
}

}  // namespace win32
