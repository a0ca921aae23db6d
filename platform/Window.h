// Hidden windows and the per-thread message queues: posted and sent messages, the thread's message loop,
// timers. A window belongs to the thread that creates it; its handler runs only on that thread (inside
// GetMessage, PeekMessage, DispatchMessage and the message-aware waits, which deliver messages sent by other
// threads while they wait).
#pragma once

#include "platform/Win32Types.h"

namespace win32 {

struct POINT {
    LONG x = 0;
    LONG y = 0;
};

struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;
    POINT pt;
};

// Base class of every window. Create makes the window on the calling thread (sending WM_CREATE to the handler
// before it returns); DestroyWindow sends WM_DESTROY and then calls OnFinalMessage. Destroying the C++ object
// destroys a window that still exists.
class Window {
public:
    Window();
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Returns the new window, or null when it cannot be created.
    HWND Create(HWND parent, const char* className, const char* title, DWORD style, int x, int y, int width,
                int height);
    BOOL DestroyWindow();
    HWND Handle() const { return hwnd; }

protected:
    // Handles one message; returns false to leave it to the default processing (DefWindowProc).
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result) = 0;
    // Called after the last message (WM_NCDESTROY) when the window is gone.
    virtual void OnFinalMessage(HWND window);

    HWND hwnd = nullptr;

private:
    friend struct WindowObject;
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
};

LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL IsWindow(HWND window);
BOOL DestroyWindow(HWND window);

// To a window of the calling thread: handled at once. To a window of another thread: queued for its owner,
// handled there inside its message retrieval or message-aware wait, the caller blocked until the result comes
// back (the caller keeps handling messages sent to its own windows meanwhile). 0 when the window is gone.
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

// Waits for the next message of the calling thread (handling sent messages meanwhile); FALSE on WM_QUIT,
// -1 on error. window and the range filter as on Windows (null and 0, 0 take everything).
BOOL GetMessage(MSG* message, HWND window, UINT filterMin, UINT filterMax);
BOOL PeekMessage(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessage(const MSG* message);

// Timers deliver WM_TIMER (wParam = the identifier) through the owner thread's message retrieval.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, void* timerProc);
BOOL KillTimer(HWND window, UINT_PTR id);

// The threads' top-level windows, for the end of the user's session: SIGTERM, SIGINT and SIGHUP make the
// platform send WM_QUERYENDSESSION and then WM_ENDSESSION (TRUE) to the top-level windows of the thread that
// installed the handler, and then post WM_QUIT to it.
void InstallSessionEndHandler();

}  // namespace win32
