// Locks taken with a time limit, as the system's threads use them: a wait that times out
// skips its step and reports a numbered "can't lock" message instead of blocking.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Recursive mutex with timed waits (a thread may take a lock it holds again). Built on a plain
// mutex and condition variable, which ThreadSanitizer follows (it does not follow timed locks).
class TimedMutex {
 public:
  // ms < 0 waits without limit. True when taken.
  bool Lock(int ms = -1);
  void Unlock();

 private:
  std::mutex m_;  // guards owner_ and depth_
  std::condition_variable cv_;
  std::thread::id owner_;
  int depth_ = 0;
};

// Scoped hold of a TimedMutex; check Locked() before touching what it guards.
class TimedLock {
 public:
  TimedLock(TimedMutex& m, int ms) : m_(m), locked_(m.Lock(ms)) {}
  ~TimedLock() {
    if (locked_) m_.Unlock();
  }
  TimedLock(const TimedLock&) = delete;
  TimedLock& operator=(const TimedLock&) = delete;
  bool Locked() const { return locked_; }
  explicit operator bool() const { return locked_; }
  void Unlock() {
    if (locked_) m_.Unlock();
    locked_ = false;
  }

 private:
  TimedMutex& m_;
  bool locked_;
};

// Counting semaphore with a maximum count; Release beyond the maximum fails and changes nothing.
class Semaphore {
 public:
  Semaphore(int initial, int maximum) : count_(initial), max_(maximum) {}
  bool Wait(int ms = -1);  // ms < 0 waits without limit
  bool Release(int n = 1, int* previous = nullptr);
  int Count();

 private:
  std::mutex m_;
  std::condition_variable cv_;
  int count_;
  const int max_;
};

// Manual- or auto-reset event.
class Event {
 public:
  explicit Event(bool manualReset = false, bool initial = false)
      : manual_(manualReset), set_(initial) {}
  void Set();
  void Reset();
  bool Wait(int ms = -1);
  bool IsSet();

 private:
  std::mutex m_;
  std::condition_variable cv_;
  const bool manual_;
  bool set_;
};

// Reports "(tag)Internal error:can't lock" through the message log.
void ReportCantLock(const char* tag);
