#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "afx/sync.h"
#include "afx/thread.h"
#include "afx/time_scale.h"

namespace {

// Runs `body` on a CWinThread and waits for its end.
void RunOnThread(std::function<void()> body) {
  CWinThread* thread = AfxBeginThread(
      [](void* p) -> UINT {
        (*static_cast<std::function<void()>*>(p))();
        return 0;
      },
      &body, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  thread->m_bAutoDelete = FALSE;
  thread->ResumeThread();
  ASSERT_EQ(thread->WaitForEnd(INFINITE), WAIT_OBJECT_0);
  delete thread;
}

class ScaledTime : public ::testing::Test {
 protected:
  void SetUp() override { afx::SetTimeScale(0.001); }
  void TearDown() override { afx::SetTimeScale(1.0); }
};

TEST_F(ScaledTime, AutoResetEventHandsEachSignalToOneWait) {
  CEvent event;
  EXPECT_FALSE(event.Lock(0));
  event.SetEvent();
  event.SetEvent();  // a second set before the wait is not counted twice
  EXPECT_TRUE(event.Lock(0));
  EXPECT_FALSE(event.Lock(2000));  // 2 s of product time: 2 ms here
}

TEST_F(ScaledTime, ManualResetEventStaysSetUntilReset) {
  CEvent event(FALSE, TRUE);
  event.SetEvent();
  EXPECT_TRUE(event.Lock(0));
  EXPECT_TRUE(event.Lock(0));
  event.ResetEvent();
  EXPECT_FALSE(event.Lock(0));
}

TEST_F(ScaledTime, TimedWaitsFollowTheScaleButInfiniteDoesNot) {
  CEvent event;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(event.Lock(15000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  CWinThread* setter = AfxBeginThread(
      [](void* e) -> UINT {
        static_cast<CEvent*>(e)->SetEvent();
        return 0;
      },
      &event);
  ASSERT_NE(setter, nullptr);
  EXPECT_TRUE(event.Lock(INFINITE));
}

TEST_F(ScaledTime, MutexIsRecursiveAndExcludesOtherThreads) {
  CMutex mutex;
  ASSERT_TRUE(mutex.Lock());
  ASSERT_TRUE(mutex.Lock());
  std::atomic<int> otherGot{-1};
  RunOnThread([&] { otherGot = mutex.Lock(100) ? 1 : 0; });
  EXPECT_EQ(otherGot.load(), 0);
  EXPECT_TRUE(mutex.Unlock());
  EXPECT_TRUE(mutex.Unlock());
  EXPECT_FALSE(mutex.Unlock());  // not owned any more
}

TEST_F(ScaledTime, SingleLockReleasesOnEveryPathOut) {
  CCriticalSection section;
  try {
    CSingleLock lock(&section, TRUE);
    EXPECT_TRUE(lock.IsLocked());
    throw 1;
  } catch (int) {
  }
  CMutex mutex;
  { CSingleLock lock(&mutex, TRUE); }
  std::atomic<bool> got{false};
  RunOnThread([&] {
    got = mutex.Lock(0) != FALSE;
    mutex.Unlock();
  });
  EXPECT_TRUE(got.load());
}

TEST_F(ScaledTime, AbandonedThreadCleansUpAfterItself) {
  static CEvent release;
  static std::atomic<bool> finished{false};
  CWinThread* stuck = AfxBeginThread(
      [](void* e) -> UINT {
        static_cast<CEvent*>(e)->Lock();
        finished = true;
        return 0;
      },
      &release, THREAD_PRIORITY_ABOVE_NORMAL, 0, CREATE_SUSPENDED);
  stuck->m_bAutoDelete = FALSE;
  stuck->ResumeThread();
  EXPECT_EQ(stuck->WaitForEnd(500), static_cast<DWORD>(WAIT_TIMEOUT));
  stuck->Abandon();  // must not block, and must not leak (ASan checks the latter)
  release.SetEvent();
  // The thread ends on its own; wait for it so that it does not outlive the event.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!finished && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_TRUE(finished);
}

}  // namespace
