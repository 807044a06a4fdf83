#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/sync.h"

namespace {

class Recorder : public WorkerThread {
 public:
  ~Recorder() override { Join(); }
  std::vector<uint32_t> seen;  // read after Join
 protected:
  bool OnThreadMessage(const ThreadMessage& m) override {
    if (m.message == WM_USER + 8) return false;
    seen.push_back(m.message + static_cast<uint32_t>(m.wParam) + static_cast<uint32_t>(m.lParam));
    return true;
  }
};

}  // namespace

TEST(WorkerThread, DispatchesInOrderUntilQuit) {
  Recorder t;
  ASSERT_TRUE(t.Start());
  for (uint32_t i = 0; i < 100; ++i) t.PostThreadMessage(WM_USER, i, 0);
  EXPECT_TRUE(PostThreadMessageTo(t.ThreadId(), WM_USER, 0, 1000));
  t.PostThreadMessage(WM_USER + 8);
  ASSERT_TRUE(t.Join(5000));
  ASSERT_EQ(t.seen.size(), 101u);
  for (uint32_t i = 0; i < 100; ++i) EXPECT_EQ(t.seen[i], WM_USER + i);
  EXPECT_EQ(t.seen[100], WM_USER + 1000);
  EXPECT_FALSE(t.Running());
}

TEST(WorkerThread, PostingToAnUnknownThreadFails) {
  EXPECT_FALSE(PostThreadMessageTo(1, WM_USER));
}

TEST(WorkerThread, JoinTimesOutWhileRunning) {
  Recorder t;
  t.Start();
  EXPECT_FALSE(t.Join(50));
  t.PostThreadMessage(WM_USER + 8);
  EXPECT_TRUE(t.Join(5000));
}

TEST(Windows, PostToAClosedWindowFailsHarmlessly) {
  auto target = std::make_shared<MessageQueueTarget>();
  WindowHandle h = RegisterWindow(target);
  EXPECT_TRUE(IsWindow(h));
  EXPECT_TRUE(PostMessageTo(h, 1037, 1, 2));
  ThreadMessage m;
  ASSERT_TRUE(target->queue.Get(m, 0));
  EXPECT_EQ(m.message, 1037u);
  EXPECT_EQ(m.wParam, 1u);
  EXPECT_EQ(m.lParam, 2);
  UnregisterWindow(h);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(PostMessageTo(h, 1037));
  EXPECT_FALSE(SendMessageTimeoutTo(h, 1037, 0, 0, 100));
  EXPECT_FALSE(PostMessageTo(0, 1037));
}

TEST(Locks, TimedMutexTimesOutAcrossThreadsAndIsRecursive) {
  TimedMutex m;
  ASSERT_TRUE(m.Lock(0));
  ASSERT_TRUE(m.Lock(0));  // recursive
  std::atomic<int> result{-1};
  std::thread other([&] { result = m.Lock(50) ? 1 : 0; });
  other.join();
  EXPECT_EQ(result, 0);
  m.Unlock();
  m.Unlock();
  std::thread again([&] {
    TimedLock l(m, 1000);
    result = l.Locked() ? 1 : 0;
  });
  again.join();
  EXPECT_EQ(result, 1);
}

TEST(Locks, SemaphoreHonoursItsMaximum) {
  Semaphore s(1, 2);
  EXPECT_TRUE(s.Release());
  EXPECT_FALSE(s.Release());  // would exceed 2
  EXPECT_EQ(s.Count(), 2);
  EXPECT_TRUE(s.Wait(0));
  EXPECT_TRUE(s.Wait(0));
  EXPECT_FALSE(s.Wait(20));
  std::thread t([&] {
    SleepMs(20);
    s.Release();
  });
  EXPECT_TRUE(s.Wait(5000));
  t.join();
}

TEST(Locks, EventsResetAutomaticallyOrNot) {
  Event autoReset(false, true);
  EXPECT_TRUE(autoReset.Wait(0));
  EXPECT_FALSE(autoReset.Wait(0));
  Event manual(true, false);
  manual.Set();
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.Wait(0));
  manual.Reset();
  EXPECT_FALSE(manual.Wait(10));
}

TEST(MessageQueue, ManyProducersLoseNothing) {
  MessageQueue q;
  std::vector<std::thread> producers;
  for (int p = 0; p < 4; ++p)
    producers.emplace_back([&q, p] {
      for (int i = 0; i < 1000; ++i) q.Post({WM_USER, static_cast<uintptr_t>(p), i});
    });
  std::vector<int> next(4, 0);
  ThreadMessage m;
  for (int got = 0; got < 4000; ++got) {
    ASSERT_TRUE(q.Get(m, 5000));
    EXPECT_EQ(m.lParam, next[m.wParam]++);  // per producer, in order
  }
  for (auto& t : producers) t.join();
  EXPECT_FALSE(q.Peek(m));
}

TEST(TestEnvironment, EveryTestProgramRunsHeadlessWithItsBinFolder) {
  ASSERT_NE(std::getenv("TACMON_BIN"), nullptr);
  EXPECT_NE(std::string(std::getenv("TACMON_BIN")), "");
  ASSERT_NE(std::getenv("XDG_RUNTIME_DIR"), nullptr);
  EXPECT_STREQ(std::getenv("QT_QPA_PLATFORM"), "offscreen");
}
