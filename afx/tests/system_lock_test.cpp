// The system-wide lock: the portable variant natively, the named mutex under Wine.
// Each thread below runs to its end; as on Windows, what it takes and keeps is
// abandoned when it ends.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "afx/system_lock.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

// One name per test and process: under Wine every test program shares the names.
std::string Name() {
#ifdef _WIN32
  const unsigned long process = GetCurrentProcessId();
#else
  const unsigned long process = static_cast<unsigned long>(getpid());
#endif
  return "Global\\NibflashLockTest-" + std::to_string(process) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

template <typename Body>
void OnAnotherThread(Body body) {
  std::thread(body).join();
}

TEST(SystemLockTest, OneThreadAtATimeAndOnlyItsTakerReleasesIt) {
  SystemLock mine(Name().c_str());
  SystemLock theirs(Name().c_str());
  ASSERT_TRUE(mine.TryAcquire());
  EXPECT_TRUE(mine.TryAcquire());  // again: still one hold
  OnAnotherThread([&] {
    EXPECT_FALSE(theirs.TryAcquire());
    EXPECT_FALSE(theirs.IsHeld());
    EXPECT_FALSE(mine.TryAcquire());  // the object is no key: the lock is its taker's
    mine.Release();                   // not the taker: nothing happens
    EXPECT_TRUE(mine.IsHeld());
    EXPECT_FALSE(theirs.TryAcquire());
    EXPECT_TRUE(SystemLock((Name() + "-other").c_str()).TryAcquire());
  });
  mine.Release();
  EXPECT_FALSE(mine.IsHeld());
  OnAnotherThread([&] {
    EXPECT_TRUE(theirs.TryAcquire());
    theirs.Release();
  });
  {
    SystemLock scoped(Name().c_str());
    ASSERT_TRUE(scoped.TryAcquire());
  }
  OnAnotherThread([&] { EXPECT_TRUE(SystemLock(Name().c_str()).TryAcquire()); });
}

// A copy killed while it holds the lock must not keep every later one from the pen.
TEST(SystemLockTest, ATakerThatEndsHoldingItLeavesItToTheNext) {
  SystemLock ended(Name().c_str());
  SystemLock next(Name().c_str());
  OnAnotherThread([&] { ASSERT_TRUE(ended.TryAcquire()); });
  EXPECT_TRUE(next.TryAcquire());
  ended.Release();  // on a thread that holds it, but through another object: nothing
  OnAnotherThread([&] { EXPECT_FALSE(SystemLock(Name().c_str()).TryAcquire()); });
  next.Release();
  OnAnotherThread([&] { EXPECT_TRUE(SystemLock(Name().c_str()).TryAcquire()); });
}

#ifdef _WIN32
// A mutex this user may not open is another user's copy holding it.
TEST(SystemLockTest, AMutexItMayNotOpenCountsAsHeld) {
  ACL empty;
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(InitializeAcl(&empty, sizeof empty, ACL_REVISION));
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, &empty, FALSE));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  const HANDLE foreign = CreateMutexA(&attributes, FALSE, Name().c_str());
  ASSERT_NE(foreign, nullptr);
  SystemLock lock(Name().c_str());
  EXPECT_FALSE(lock.TryAcquire());
  CloseHandle(foreign);  // the last copy has gone, and the mutex with it
  EXPECT_TRUE(lock.TryAcquire());
}
#endif

}  // namespace
