#pragma once
// What each lock guards, written where the compiler can check it: clang's
// thread-safety analysis (-Wthread-safety) reads these; other compilers see nothing.
#if defined(__clang__)
#define AFX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define AFX_THREAD_ANNOTATION(x)
#endif

// A type whose objects are locks.
#define CAPABILITY(name) AFX_THREAD_ANNOTATION(capability(name))
// A type that holds a lock for its lifetime.
#define SCOPED_CAPABILITY AFX_THREAD_ANNOTATION(scoped_lockable)
// A field read or written only with the lock held.
#define GUARDED_BY(lock) AFX_THREAD_ANNOTATION(guarded_by(lock))
// A pointer whose target is read or written only with the lock held.
#define PT_GUARDED_BY(lock) AFX_THREAD_ANNOTATION(pt_guarded_by(lock))
// A function called with the lock held.
#define REQUIRES(...) AFX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// A function called without the lock: it takes the lock itself.
#define EXCLUDES(...) AFX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// A function that takes the lock and returns holding it.
#define ACQUIRE(...) AFX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// A function that lets go of a lock held on entry.
#define RELEASE(...) AFX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// A function that takes the lock only when it returns `result`.
#define TRY_ACQUIRE(...) AFX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
// A function the analysis cannot follow (a lock handed on through a pointer); keep them few.
#define NO_THREAD_SAFETY_ANALYSIS AFX_THREAD_ANNOTATION(no_thread_safety_analysis)
