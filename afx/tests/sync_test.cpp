// The synchronisation classes and the one place of every timed wait: events,
// the recursive mutex, scoped locks, threads that end or are abandoned, and the
// time scale, which shortens every finite wait and never an INFINITE one.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "afx/sync.h"
#include "afx/thread.h"
#include "afx/time_scale.h"

namespace {

// Runs `body` on a CWinThread kept for WaitForEnd (the caller deletes it).
CWinThread* StartThread(std::function<void()>* body) {
  CWinThread* thread = AfxBeginThread(
      [](void* p) -> UINT {
        (*static_cast<std::function<void()>*>(p))();
        return 0;
      },
      body, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  thread->m_bAutoDelete = FALSE;
  thread->ResumeThread();
  return thread;
}

class SyncTest : public ::testing::Test {
 protected:
  void TearDown() override { afx::SetTimeScale(1.0); }
};

TEST_F(SyncTest, EventsHandOutTheirSignalByKind) {
  CEvent autoReset;
  EXPECT_FALSE(autoReset.Lock(0));
  autoReset.SetEvent();
  autoReset.SetEvent();  // a second set before the wait is not counted twice
  EXPECT_TRUE(autoReset.Lock(0));
  EXPECT_FALSE(autoReset.Lock(0));

  CEvent manualReset(FALSE, TRUE);
  manualReset.SetEvent();
  EXPECT_TRUE(manualReset.Lock(0));
  EXPECT_TRUE(manualReset.Lock(0));
  manualReset.ResetEvent();
  EXPECT_FALSE(manualReset.Lock(0));
  EXPECT_TRUE(CEvent(TRUE).Lock(0));  // initially set
}

TEST_F(SyncTest, TheMutexIsRecursiveAndExcludesOtherThreadsUntilFullyReleased) {
  CMutex mutex;
  ASSERT_TRUE(mutex.Lock());
  ASSERT_TRUE(mutex.Lock());
  int otherGot = -1;
  std::function<void()> tryLock = [&] {
    otherGot = mutex.Lock(0) ? 1 : 0;
    if (otherGot == 1) mutex.Unlock();
  };
  for (int expected : {0, 0, 1}) {  // held twice, then once, then free
    CWinThread* other = StartThread(&tryLock);
    EXPECT_EQ(other->WaitForEnd(INFINITE), WAIT_OBJECT_0);
    delete other;
    EXPECT_EQ(otherGot, expected);
    if (expected == 0) {
      EXPECT_TRUE(mutex.Unlock());
    }
  }
  EXPECT_FALSE(mutex.Unlock());  // not owned any more
}

TEST_F(SyncTest, ASingleLockReleasesOnEveryPathOut) {
  CMutex mutex;
  try {
    CSingleLock lock(&mutex, TRUE);
    EXPECT_TRUE(lock.IsLocked());
    throw 1;
  } catch (int) {
  }
  std::atomic<bool> got{false};
  std::function<void()> tryLock = [&] { got = mutex.Lock(0) != FALSE; };
  CWinThread* other = StartThread(&tryLock);
  other->WaitForEnd(INFINITE);
  delete other;
  EXPECT_TRUE(got);
}

// Releases after 100 ms of real time: long after a scaled INFINITE would have run out.
void ReleaseLater(const std::function<void()>& release, const std::function<void()>& waitForIt) {
  std::thread releaser([&release] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    release();
  });
  waitForIt();
  releaser.join();
}

TEST_F(SyncTest, FiniteWaitsFollowTheScaleAndInfiniteOnesNever) {
  // 1e-9: a finite limit of about 49 days passes in 4 ms (unscaled, the test would
  // hang until its time-out), and so would INFINITE if it were scaled.
  afx::SetTimeScale(1e-9);
  EXPECT_EQ(afx::TimeScale(), 1e-9);
  constexpr DWORD kLongest = 0xFFFFFFFEu;
  afx::Sleep(kLongest);

  CEvent event;
  EXPECT_FALSE(event.Lock(kLongest));
  ReleaseLater([&] { event.SetEvent(); }, [&] { EXPECT_TRUE(event.Lock(INFINITE)); });

  CEvent go;
  std::function<void()> body = [&] { go.Lock(); };
  CWinThread* thread = StartThread(&body);
  EXPECT_EQ(thread->WaitForEnd(kLongest), WAIT_TIMEOUT);
  ReleaseLater([&] { go.SetEvent(); }, [&] { EXPECT_EQ(thread->WaitForEnd(INFINITE), WAIT_OBJECT_0); });
  delete thread;

  CMutex mutex(TRUE);  // owned by this thread
  std::function<void()> lockMutex = [&] {
    EXPECT_FALSE(mutex.Lock(kLongest));
    ReleaseLater([&] { go.SetEvent(); }, [&] { EXPECT_TRUE(mutex.Lock(INFINITE)); });
    mutex.Unlock();
  };
  CWinThread* other = StartThread(&lockMutex);
  go.Lock();  // the other thread has timed out once and waits again
  mutex.Unlock();
  EXPECT_EQ(other->WaitForEnd(INFINITE), WAIT_OBJECT_0);
  delete other;

  afx::SetTimeScale(0);  // not a scale: real time
  EXPECT_EQ(afx::TimeScale(), 1.0);
}

TEST_F(SyncTest, AnAbandonedThreadDeletesItselfWhenItEnds) {
  afx::SetTimeScale(0.001);
  static CEvent release;
  static CEvent finished(FALSE, TRUE);
  CWinThread* stuck = AfxBeginThread(
      [](void*) -> UINT {
        release.Lock();
        finished.SetEvent();
        return 0;
      },
      nullptr, THREAD_PRIORITY_ABOVE_NORMAL, 0, CREATE_SUSPENDED);
  stuck->m_bAutoDelete = FALSE;
  stuck->ResumeThread();
  EXPECT_EQ(stuck->WaitForEnd(500), static_cast<DWORD>(WAIT_TIMEOUT));
  stuck->Abandon();  // must not block, and must not leak (ASan checks the latter)
  release.SetEvent();
  EXPECT_TRUE(finished.Lock(INFINITE));
}

}  // namespace
