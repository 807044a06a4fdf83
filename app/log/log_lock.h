// A recursive mutex with timed waits for the log's own locks, built on a condition variable
// so that ThreadSanitizer sees every acquisition (timed locks of std::recursive_timed_mutex go
// through pthread_mutex_clocklock, which this toolchain's ThreadSanitizer does not follow).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class LogLock {
 public:
  // ms < 0 waits without limit. True when taken.
  bool Lock(int ms) {
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(m_);
    if (depth_ > 0 && owner_ == self) {
      ++depth_;
      return true;
    }
    auto free = [&] { return depth_ == 0; };
    if (ms < 0)
      cv_.wait(lock, free);
    else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), free))
      return false;
    owner_ = self;
    depth_ = 1;
    return true;
  }
  void Unlock() {
    std::lock_guard lock(m_);
    if (depth_ > 0 && --depth_ == 0) {
      owner_ = {};
      cv_.notify_one();
    }
  }

 private:
  std::mutex m_;  // guards owner_ and depth_
  std::condition_variable cv_;
  std::thread::id owner_;
  int depth_ = 0;
};

// Scoped hold of a LogLock; check it before touching what it guards.
class LogLockHold {
 public:
  LogLockHold(LogLock& l, int ms) : l_(l), locked_(l.Lock(ms)) {}
  ~LogLockHold() {
    if (locked_) l_.Unlock();
  }
  LogLockHold(const LogLockHold&) = delete;
  LogLockHold& operator=(const LogLockHold&) = delete;
  explicit operator bool() const { return locked_; }

 private:
  LogLock& l_;
  bool locked_;
};
