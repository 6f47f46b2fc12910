#pragma once
// What each lock guards, written where the compiler can check it: clang's
// thread-safety analysis (-Wthread-safety) reads these; other compilers see nothing.
#if defined(__clang__)
#define AFX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define AFX_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(name) AFX_THREAD_ANNOTATION(capability(name))  // a lock type
#define SCOPED_CAPABILITY AFX_THREAD_ANNOTATION(scoped_lockable)  // holds a lock for its lifetime
#define GUARDED_BY(lock) AFX_THREAD_ANNOTATION(guarded_by(lock))  // touched only with `lock` held
#define REQUIRES(...) AFX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))  // called with it held
#define EXCLUDES(...) AFX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))       // called without: takes it
#define ACQUIRE(...) AFX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) AFX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
