// The module object of the local automation server: its lock count (the references held on its one object),
// the main thread that ends the process, and its published class objects. The count changes on any thread
// (transport threads, the main thread); when it falls to 0 the class objects are suspended and WM_QUIT is posted
// to the main thread.
#pragma once

#include <atomic>

#include "platform/Resources.h"
#include "platform/Win32Types.h"

namespace win32 {
class ClassObjectServer;
}

class ServerModule {
public:
    // Records the calling thread as the main thread.
    explicit ServerModule(win32::HINSTANCE instance);

    win32::HINSTANCE Instance() const { return instance; }
    win32::DWORD MainThreadId() const { return mainThreadId; }

    long Lock();
    // When the count falls to 0: suspend the class objects and, if that succeeds, post WM_QUIT to the main thread.
    long Unlock();
    long LockCount() const { return lockCount; }

    // The transport of the published class objects (null while none is registered).
    void SetClassObjects(win32::ClassObjectServer* classObjects);

private:
    win32::HINSTANCE instance;
    win32::DWORD mainThreadId;
    std::atomic<long> lockCount{0};
    std::atomic<win32::ClassObjectServer*> classObjects{nullptr};
};
