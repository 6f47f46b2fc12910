// Events, threads that end or are abandoned, and the one place of every timed
// wait, whose time scale shortens every finite wait and never an INFINITE one.
// (The locks are the standard library's; the tool's tests deadlock without them.)
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "afx/sync.h"
#include "afx/thread.h"

namespace {

class SyncTest : public ::testing::Test {
 protected:
  void TearDown() override { afx::SetTimeScale(1.0); }

  // Runs `body` on a CWinThread kept for WaitForEnd (deleted with the fixture).
  CWinThread* Start(std::function<void()> body) {
    m_body = std::move(body);
    m_thread.reset(AfxBeginThread(
        [](void* p) -> UINT {
          (*static_cast<std::function<void()>*>(p))();
          return 0;
        },
        &m_body, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED));
    m_thread->m_bAutoDelete = FALSE;
    m_thread->ResumeThread();
    return m_thread.get();
  }

  std::function<void()> m_body;
  std::unique_ptr<CWinThread> m_thread;
};

// Sets `event` after 100 ms of real time: long after a scaled INFINITE would have run out.
std::thread SetLater(CEvent& event) {
  return std::thread([&event] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    event.SetEvent();
  });
}

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

TEST_F(SyncTest, FiniteWaitsFollowTheScaleAndInfiniteOnesNever) {
  // 1e-9: a finite limit of about 49 days passes in 4 ms (unscaled, the test would
  // hang until its time-out), and so would INFINITE if it were scaled.
  afx::SetTimeScale(1e-9);
  constexpr DWORD kLongest = 0xFFFFFFFEu;
  afx::Sleep(kLongest);

  CEvent event;
  EXPECT_FALSE(event.Lock(kLongest));
  std::thread setter = SetLater(event);
  EXPECT_TRUE(event.Lock(INFINITE));
  setter.join();

  CEvent go;
  CWinThread* thread = Start([&] { go.Lock(); });
  EXPECT_EQ(thread->WaitForEnd(kLongest), static_cast<DWORD>(WAIT_TIMEOUT));
  setter = SetLater(go);
  EXPECT_EQ(thread->WaitForEnd(INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  setter.join();
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
