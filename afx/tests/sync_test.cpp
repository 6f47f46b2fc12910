// Events, threads that end, and the one place of every timed wait, whose time
// scale shortens every finite wait and never an INFINITE one.
// (The locks are the standard library's; the tool's tests deadlock without them.)
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "afx/sync.h"
#include "afx/thread.h"

namespace {

class SyncTest : public ::testing::Test {
 protected:
  void TearDown() override { afx::SetTimeScale(1.0); }
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

  static CEvent go;
  std::unique_ptr<CWinThread> thread(AfxBeginThread([](void*) -> UINT { return go.Lock() ? 0 : 1; }, nullptr,
                                                    THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED));
  thread->m_bAutoDelete = FALSE;  // kept for WaitForEnd
  thread->ResumeThread();
  EXPECT_EQ(thread->WaitForEnd(kLongest), static_cast<DWORD>(WAIT_TIMEOUT));
  setter = SetLater(go);
  EXPECT_EQ(thread->WaitForEnd(INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  setter.join();
}

}  // namespace
