// A mutex that clang's thread-safety analysis (-Wthread-safety) knows about:
// data marked GUARDED_BY(lock) may be touched only while that lock is held,
// and a function marked REQUIRES(lock) only be called so. The clang builds
// turn a breach into a compile error; other compilers see a plain std::mutex.
// Callable from any thread, like the std::mutex it wraps.
#pragma once

#include <mutex>

#if defined(__clang__)
#define OSTRANA_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define OSTRANA_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) OSTRANA_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY OSTRANA_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) OSTRANA_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) OSTRANA_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) OSTRANA_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) OSTRANA_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define EXCLUDES(...) OSTRANA_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))

namespace ostrana {

class CAPABILITY("mutex") Mutex {
 public:
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for the rest of the scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() RELEASE() { mutex_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace ostrana
