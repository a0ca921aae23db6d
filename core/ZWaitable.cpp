#include "core/ZWaitable.h"

#include "platform/Sync.h"
#include "platform/Window.h"

ZWaitable::~ZWaitable()
{
    if (handle != nullptr) {
        win32::CloseHandle(handle);
        handle = nullptr;
    }
}

bool ZWaitable::Wait(win32::DWORD /*timeout*/)
{
    for (;;) {
        const win32::DWORD result =
            win32::MsgWaitForMultipleObjects(1, &handle, win32::FALSE, win32::INFINITE, win32::QS_ALLINPUT);
        if (result == win32::WAIT_OBJECT_0) {
            return true;
        }
        if (result != win32::WAIT_OBJECT_0 + 1) {
            return false;
        }
        // Input arrived: serve the queue, and stop as soon as a dispatched message has signalled the object.
        win32::MSG message;
        while (win32::PeekMessage(&message, nullptr, 0, 0, win32::PM_REMOVE)) {
            win32::TranslateMessage(&message);
            win32::DispatchMessage(&message);
            if (win32::WaitForSingleObject(handle, 0) == win32::WAIT_OBJECT_0) {
                return true;
            }
        }
    }
}
