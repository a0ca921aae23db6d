// The platform's record of one window: the C++ Window that handles its messages, the queue of the owner thread,
// its parent, class name and title; and the process-wide registry that maps window handles to these records.
// Handles are serial numbers that are never reused, so a stale handle is safely recognised as gone.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Window.h"

namespace win32 {

namespace detail {
class MessageQueue;
}

struct WindowObject {
    Window* window = nullptr;
    std::shared_ptr<detail::MessageQueue> queue;
    HWND handle = nullptr;
    HWND parent = nullptr;
    std::string className;
    std::string title;
    bool destroying = false;  // owner thread only

    // Runs the window's handler (on the calling thread).
    LRESULT Deliver(UINT message, WPARAM wParam, LPARAM lParam);
    // The window is gone: the C++ object forgets its handle and, if it still has a handler, hears of it last.
    void Finish(bool notify);
};

namespace detail {

class WindowRegistry {
public:
    static HWND Add(const std::shared_ptr<WindowObject>& object);
    static std::shared_ptr<WindowObject> Find(HWND window);
    static void Remove(HWND window);
    // In creation order.
    static std::vector<HWND> TopLevelWindowsOf(const MessageQueue* queue);
    static std::vector<HWND> ChildrenOf(HWND window);
};

// Runs the handler of a window on the calling thread; 0 when the window is gone.
LRESULT DeliverMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace detail
}  // namespace win32
