// Kernel objects and waits: events, the (message-aware) waits on them, recursive critical sections,
// detached threads, sleeping and the run-time lookup of optional entry points. Callable from any thread.
#pragma once

#include <string>

#include "platform/ThreadSafety.h"
#include "platform/Win32Types.h"

namespace win32 {

// Events. The handle is closed with CloseHandle.
HANDLE CreateEvent(void* security, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// Releases the waiters present at this moment (all of them for a manual-reset event, one for an auto-reset
// event) and leaves the event non-signalled.
BOOL PulseEvent(HANDLE event);
BOOL CloseHandle(HANDLE handle);

// Waits. An auto-reset event that satisfies a wait is reset by it. Thread handles are signalled when the thread
// has ended; mutex handles are acquired.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
DWORD WaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, BOOL alertable);

// Like WaitForMultipleObjects, but also returns WAIT_OBJECT_0 + count when input of the kinds in wakeMask
// (QS_* bits; posted and sent messages, timers) arrives in the calling thread's message queue.
DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds, DWORD wakeMask,
                                  DWORD flags);
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                DWORD wakeMask);

// Named mutex, process-wide: the Linux backend keeps an advisory lock on a file of that name in the per-user
// runtime folder, held while the handle is open. A second process gets a handle too (it is not refused).
HANDLE CreateMutex(void* security, BOOL initialOwner, const char* name);

// A recursive lock; satisfies the standard Lockable requirements. Taken with LockGuard, so that clang checks
// the members it guards.
class CAPABILITY("mutex") CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void lock() ACQUIRE();
    void unlock() RELEASE();
    bool try_lock() TRY_ACQUIRE(true);

private:
    struct State;
    State* state;
};

// Threads, as started through the C runtime: the routine runs with the argument; the returned handle is
// signalled when the thread has ended and must be closed with CloseHandle (a thread may close its own handle).
// The thread is detached: nobody joins it.
using ThreadRoutine = unsigned (*)(void* argument);
HANDLE BeginThread(void* security, unsigned stackSize, ThreadRoutine routine, void* argument, unsigned initFlags,
                   unsigned* threadId);
// Ends the calling thread at once with the given exit code.
[[noreturn]] void EndThread(unsigned exitCode);

DWORD GetCurrentThreadId();
// Scheduling priority of the calling thread. THREAD_PRIORITY_BELOW_NORMAL is for background work that yields most
// of the processor to normal threads that want it, without being starved by them.
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
BOOL SetCurrentThreadPriority(int priority);
void Sleep(DWORD milliseconds);
// Yields the rest of the time slice; true when another thread ran.
BOOL SwitchToThread();

// Run-time lookup of optional entry points of the platform's system libraries ("user32.dll",
// "MsgWaitForMultipleObjectsEx"; "ole32.dll", "CoInitializeEx"). Returns null when the entry does not exist or
// has been hidden for a test.
using FARPROC = void (*)();
using HMODULE = void*;
HMODULE GetModuleHandle(const char* moduleName);
FARPROC GetProcAddress(HMODULE module, const char* procName);
// Test hook: makes GetProcAddress report the entry as missing (or present again), to exercise fallbacks.
void SetEntryPointHidden(const std::string& procName, bool hidden);

}  // namespace win32
