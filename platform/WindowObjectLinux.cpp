#include "platform/WindowObjectLinux.h"

#include <cstdint>
#include <map>

#include "platform/ThreadSafety.h"

namespace win32 {

LRESULT WindowObject::Deliver(UINT message, WPARAM wParam, LPARAM lParam)
{
    return window != nullptr ? window->Dispatch(message, wParam, lParam)
                             : DefWindowProc(handle, message, wParam, lParam);
}

void WindowObject::Finish(bool notify)
{
    Window* const owner = window;
    window = nullptr;
    if (owner != nullptr) {
        owner->hwnd = nullptr;
        if (notify) {
            // Last: the handler may delete its own object here.
            owner->OnFinalMessage(handle);
        }
    }
}

namespace detail {

namespace {

SharedMutex registryLock;
// Ordered by handle, which is the order of creation.
std::map<std::uintptr_t, std::shared_ptr<WindowObject>> windows GUARDED_BY(registryLock);
std::uintptr_t lastHandle GUARDED_BY(registryLock) = 0x10000;

std::uintptr_t Key(HWND window)
{
    return reinterpret_cast<std::uintptr_t>(window);
}

}  // namespace

HWND WindowRegistry::Add(const std::shared_ptr<WindowObject>& object)
{
    LockGuard guard(registryLock);
    // Handles step by 2 so that no handle is mistaken for a small integer or for the value -1.
    lastHandle += 2;
    object->handle = reinterpret_cast<HWND>(lastHandle);
    windows.emplace(lastHandle, object);
    return object->handle;
}

std::shared_ptr<WindowObject> WindowRegistry::Find(HWND window)
{
    ReaderLockGuard guard(registryLock);
    const auto found = windows.find(Key(window));
    return found == windows.end() ? nullptr : found->second;
}

void WindowRegistry::Remove(HWND window)
{
    LockGuard guard(registryLock);
    windows.erase(Key(window));
}

std::vector<HWND> WindowRegistry::TopLevelWindowsOf(const MessageQueue* queue)
{
    std::vector<HWND> result;
    ReaderLockGuard guard(registryLock);
    for (const auto& [key, object] : windows) {
        if (object->queue.get() == queue && object->parent == nullptr) {
            result.push_back(object->handle);
        }
    }
    return result;
}

std::vector<HWND> WindowRegistry::ChildrenOf(HWND window)
{
    std::vector<HWND> result;
    ReaderLockGuard guard(registryLock);
    for (const auto& [key, object] : windows) {
        if (object->parent == window) {
            result.push_back(object->handle);
        }
    }
    return result;
}

LRESULT DeliverMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const std::shared_ptr<WindowObject> object = WindowRegistry::Find(window);
    return object ? object->Deliver(message, wParam, lParam) : 0;
}

}  // namespace detail
}  // namespace win32
