#include "core/MsgWaitMultiple.h"

#include <algorithm>

#include "platform/Sync.h"
#include "platform/Window.h"

namespace {

constexpr win32::DWORD kEmulationSlice = 250;

// Without the system's message-aware wait, input is noticed only between slices of a plain wait.
win32::DWORD EmulatedMsgWait(win32::DWORD count, const win32::HANDLE* handles, win32::DWORD timeout,
                             win32::DWORD flags)
{
    if (timeout == 0) {
        return win32::WAIT_TIMEOUT;
    }
    const win32::BOOL waitAll = (flags & win32::MWMO_WAITALL) != 0 ? win32::TRUE : win32::FALSE;
    const win32::BOOL alertable = (flags & win32::MWMO_ALERTABLE) != 0 ? win32::TRUE : win32::FALSE;
    win32::DWORD remaining = timeout;
    for (;;) {
        const win32::DWORD slice = std::min(remaining, kEmulationSlice);
        const win32::DWORD result = win32::WaitForMultipleObjectsEx(count, handles, waitAll, slice, alertable);
        if (result != win32::WAIT_TIMEOUT) {
            return result;
        }
        // An infinite wait stays infinite rather than running out after 49 days.
        if (remaining != win32::INFINITE) {
            remaining -= slice;
        }
        win32::MSG message;
        if (win32::PeekMessage(&message, nullptr, 0, 0, win32::PM_NOREMOVE)) {
            return count;
        }
        if (remaining == 0) {
            return win32::WAIT_TIMEOUT;
        }
    }
}

}  // namespace

win32::DWORD MsgWaitMultiple(win32::DWORD count, const win32::HANDLE* handles, win32::DWORD timeout,
                             win32::DWORD wakeMask, win32::DWORD flags)
{
    using MsgWaitFunction =
        win32::DWORD (*)(win32::DWORD, const win32::HANDLE*, win32::DWORD, win32::DWORD, win32::DWORD);
    const win32::FARPROC entry =
        win32::GetProcAddress(win32::GetModuleHandle("user32.dll"), "MsgWaitForMultipleObjectsEx");
    if (entry != nullptr) {
        return reinterpret_cast<MsgWaitFunction>(entry)(count, handles, timeout, wakeMask, flags);
    }
    return EmulatedMsgWait(count, handles, timeout, flags);
}
