// Which lock guards what, stated so that clang's -Wthread-safety checks it at every use: the capability
// annotations, a plain mutex that carries them, and the scoped guard to take any annotated lock with. Other
// compilers see no annotations and the same code.
#pragma once

#include <mutex>
#include <shared_mutex>

#if defined(__clang__)
#define THREAD_ANNOTATION(x) __attribute__((x))
#else
#define THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(kind) THREAD_ANNOTATION(capability(kind))
#define SCOPED_CAPABILITY THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(lock) THREAD_ANNOTATION(guarded_by(lock))
#define PT_GUARDED_BY(lock) THREAD_ANNOTATION(pt_guarded_by(lock))
#define ACQUIRED_BEFORE(...) THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define REQUIRES(...) THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
#define RELEASE(...) THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define EXCLUDES(...) THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS THREAD_ANNOTATION(no_thread_safety_analysis)

namespace win32 {

// std::mutex with the annotations, so that members can name it in GUARDED_BY.
class CAPABILITY("mutex") Mutex {
public:
    void lock() ACQUIRE() { mutex.lock(); }
    void unlock() RELEASE() { mutex.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return mutex.try_lock(); }

private:
    std::mutex mutex;
};

// std::shared_mutex with the annotations: many readers or one writer.
class CAPABILITY("mutex") SharedMutex {
public:
    void lock() ACQUIRE() { mutex.lock(); }
    void unlock() RELEASE() { mutex.unlock(); }
    void lock_shared() ACQUIRE_SHARED() { mutex.lock_shared(); }
    void unlock_shared() RELEASE_SHARED() { mutex.unlock_shared(); }

private:
    std::shared_mutex mutex;
};

// Holds a SharedMutex for reading for its scope.
class SCOPED_CAPABILITY ReaderLockGuard {
public:
    explicit ReaderLockGuard(SharedMutex& held) ACQUIRE_SHARED(held) : held(held) { held.lock_shared(); }
    ~ReaderLockGuard() RELEASE() { held.unlock_shared(); }
    ReaderLockGuard(const ReaderLockGuard&) = delete;
    ReaderLockGuard& operator=(const ReaderLockGuard&) = delete;

private:
    SharedMutex& held;
};

// Holds an annotated lock for its scope; the checked counterpart of std::scoped_lock.
template <typename Lockable>
class SCOPED_CAPABILITY LockGuard {
public:
    explicit LockGuard(Lockable& held) ACQUIRE(held) : held(held) { held.lock(); }
    ~LockGuard() RELEASE() { held.unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lockable& held;
};

}  // namespace win32
