// Kernel objects on Linux: events and thread handles live in memory and hand their signals to registered waiters
// (KernelObjectLinux.h); a waiting thread polls its own wake-up descriptor (WaitLinux.h), and the message-aware
// waits add the calling thread's message queue.
#include "platform/Sync.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <set>
#include <strings.h>

#include "platform/Com.h"
#include "platform/ComServerModule.h"
#include "platform/KernelObjectLinux.h"
#include "platform/MessageQueueLinux.h"
#include "platform/WaitLinux.h"

namespace win32 {

using detail::KernelObject;

namespace {

std::atomic<DWORD> lastThreadId{0};
thread_local DWORD currentThreadId = 0;

DWORD NewThreadId()
{
    return lastThreadId.fetch_add(1, std::memory_order_relaxed) + 1;
}

struct ThreadStart {
    ThreadRoutine routine;
    void* argument;
    KernelObject* handle;
    DWORD threadId;
};

// Signals the thread's handle however the thread ends (return or EndThread).
class ThreadEndSignal {
public:
    explicit ThreadEndSignal(KernelObject* handle) : handle(handle) {}
    ~ThreadEndSignal()
    {
        handle->Set();
        handle->Release();
    }
    ThreadEndSignal(const ThreadEndSignal&) = delete;
    ThreadEndSignal& operator=(const ThreadEndSignal&) = delete;

private:
    KernelObject* handle;
};

void* RunThread(void* argument)
{
    ThreadStart start = *static_cast<ThreadStart*>(argument);
    delete static_cast<ThreadStart*>(argument);
    currentThreadId = start.threadId;
    const ThreadEndSignal endSignal(start.handle);
    start.routine(start.argument);
    return nullptr;
}

// The entry points that GetProcAddress knows, and those that a test has hidden.
struct ModuleEntry {
    const char* module;
    const char* name;
    FARPROC entry;
};
const ModuleEntry kEntries[] = {
    {"user32.dll", "MsgWaitForMultipleObjectsEx", reinterpret_cast<FARPROC>(&MsgWaitForMultipleObjectsEx)},
    {"ole32.dll", "CoInitializeEx", reinterpret_cast<FARPROC>(&CoInitializeEx)},
};
const char* const kModules[] = {"user32.dll", "ole32.dll", "kernel32.dll"};
// The program's own module: it exports nothing that GetProcAddress knows.
const char* const kProgramModule = "";

Mutex hiddenLock;
std::set<std::string> hiddenEntries GUARDED_BY(hiddenLock);

}  // namespace

HANDLE CreateEvent(void*, BOOL manualReset, BOOL initialState, const char*)
{
    KernelObject* object = KernelObject::NewEvent(manualReset != FALSE, initialState != FALSE);
    return object != nullptr ? object->AsHandle() : nullptr;
}

BOOL SetEvent(HANDLE event)
{
    KernelObject* object = KernelObject::FromHandle(event);
    return object != nullptr && object->GetKind() == KernelObject::Kind::Event && object->Set() ? TRUE : FALSE;
}

BOOL ResetEvent(HANDLE event)
{
    KernelObject* object = KernelObject::FromHandle(event);
    return object != nullptr && object->GetKind() == KernelObject::Kind::Event && object->Reset() ? TRUE : FALSE;
}

BOOL PulseEvent(HANDLE event)
{
    KernelObject* object = KernelObject::FromHandle(event);
    return object != nullptr && object->Pulse() ? TRUE : FALSE;
}

BOOL CloseHandle(HANDLE handle)
{
    KernelObject* object = KernelObject::FromHandle(handle);
    if (object == nullptr) {
        return FALSE;
    }
    object->Release();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return detail::WaitForObjects(1, &handle, false, milliseconds, 0, nullptr);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds)
{
    return detail::WaitForObjects(count, handles, waitAll != FALSE, milliseconds, 0, nullptr);
}

DWORD WaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, BOOL)
{
    return detail::WaitForObjects(count, handles, waitAll != FALSE, milliseconds, 0, nullptr);
}

DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds, DWORD wakeMask,
                                  DWORD flags)
{
    return detail::WaitForObjects(count, handles, (flags & MWMO_WAITALL) != 0, milliseconds, wakeMask,
                                  &detail::MessageQueue::Current());
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                DWORD wakeMask)
{
    return MsgWaitForMultipleObjectsEx(count, handles, milliseconds, wakeMask, waitAll != FALSE ? MWMO_WAITALL : 0);
}

HANDLE CreateMutex(void*, BOOL, const char* name)
{
    int fd = -1;
    if (name != nullptr && *name != '\0') {
        std::string fileName = name;
        std::replace(fileName.begin(), fileName.end(), '/', '_');
        // The lock file lives only in the user's private runtime folder (owned by the user, mode 0700), and is
        // never opened through a link: in a shared /tmp, another user could have planted either.
        const std::string folder = RuntimeFolder();
        if (!folder.empty()) {
            fd = ::open((folder + "/" + fileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        }
        if (fd >= 0) {
            // Taken when free; a second instance still gets its handle.
            ::flock(fd, LOCK_EX | LOCK_NB);
        }
    }
    return KernelObject::NewMutex(fd)->AsHandle();
}

struct CriticalSection::State {
    std::recursive_mutex mutex;
};

CriticalSection::CriticalSection() : state(new State) {}

CriticalSection::~CriticalSection()
{
    delete state;
}

void CriticalSection::lock()
{
    state->mutex.lock();
}

void CriticalSection::unlock()
{
    state->mutex.unlock();
}

bool CriticalSection::try_lock()
{
    return state->mutex.try_lock();
}

HANDLE BeginThread(void*, unsigned stackSize, ThreadRoutine routine, void* argument, unsigned, unsigned* threadId)
{
    KernelObject* handle = KernelObject::NewThreadHandle();
    if (handle == nullptr || routine == nullptr) {
        if (handle != nullptr) {
            handle->Release();
        }
        return nullptr;
    }
    handle->AddRef();  // the thread's own reference
    auto* start = new ThreadStart{routine, argument, handle, NewThreadId()};
    const DWORD id = start->threadId;

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) {
        pthread_attr_setstacksize(&attributes, std::max<std::size_t>(stackSize, PTHREAD_STACK_MIN));
    }
    pthread_t thread;
    const int error = pthread_create(&thread, &attributes, RunThread, start);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete start;
        handle->Release();
        handle->Release();
        return nullptr;
    }
    if (threadId != nullptr) {
        *threadId = id;
    }
    return handle->AsHandle();
}

void EndThread(unsigned)
{
    // Unwinds the thread's stack, so the handle is signalled on the way out.
    pthread_exit(nullptr);
}

DWORD GetCurrentThreadId()
{
    if (currentThreadId == 0) {
        currentThreadId = NewThreadId();
    }
    return currentThreadId;
}

BOOL SetCurrentThreadPriority(int priority)
{
    // Linux keeps a nice value per thread. At 5 a thread weighs a third of a normal one: it gets a quarter of a
    // processor that a normal thread wants too.
    constexpr int kNormalNice = 0;
    constexpr int kBelowNormalNice = 5;
    const int nice = priority == THREAD_PRIORITY_BELOW_NORMAL ? kBelowNormalNice : kNormalNice;
    return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice) == 0 ? TRUE : FALSE;
}

void Sleep(DWORD milliseconds)
{
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    if (milliseconds == INFINITE) {
        for (;;) {
            ::pause();
        }
    }
    timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

BOOL SwitchToThread()
{
    return sched_yield() == 0 ? TRUE : FALSE;
}

HMODULE GetModuleHandle(const char* moduleName)
{
    if (moduleName == nullptr) {
        return const_cast<char**>(&kProgramModule);
    }
    for (const char* const& module : kModules) {
        if (::strcasecmp(module, moduleName) == 0) {
            return const_cast<char**>(&module);
        }
    }
    return nullptr;
}

FARPROC GetProcAddress(HMODULE module, const char* procName)
{
    if (module == nullptr || procName == nullptr) {
        return nullptr;
    }
    const char* moduleName = *static_cast<const char* const*>(module);
    for (const ModuleEntry& entry : kEntries) {
        if (::strcasecmp(entry.module, moduleName) == 0 && std::string(entry.name) == procName) {
            LockGuard guard(hiddenLock);
            return hiddenEntries.count(procName) != 0 ? nullptr : entry.entry;
        }
    }
    return nullptr;
}

void SetEntryPointHidden(const std::string& procName, bool hidden)
{
    LockGuard guard(hiddenLock);
    if (hidden) {
        hiddenEntries.insert(procName);
    } else {
        hiddenEntries.erase(procName);
    }
}

}  // namespace win32
