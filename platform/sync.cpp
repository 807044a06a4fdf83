#include "platform/sync.h"

#include <string>

#include "platform/report.h"

bool TimedMutex::Lock(int ms) {
  const auto self = std::this_thread::get_id();
  std::unique_lock lock(m_);
  if (depth_ > 0 && owner_ == self) {
    ++depth_;
    return true;
  }
  auto free = [&] { return depth_ == 0; };
  if (ms < 0) cv_.wait(lock, free);
  else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), free)) return false;
  owner_ = self;
  depth_ = 1;
  return true;
}

void TimedMutex::Unlock() {
  std::unique_lock lock(m_);
  if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;  // not ours: ignore
  if (--depth_ == 0) {
    owner_ = {};
    lock.unlock();
    cv_.notify_one();
  }
}

bool Semaphore::Wait(int ms) {
  std::unique_lock lock(m_);
  if (ms < 0) {
    cv_.wait(lock, [&] { return count_ > 0; });
  } else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return count_ > 0; })) {
    return false;
  }
  --count_;
  return true;
}

bool Semaphore::Release(int n, int* previous) {
  std::lock_guard lock(m_);
  if (previous) *previous = count_;
  if (n <= 0 || count_ + n > max_) return false;
  count_ += n;
  if (n == 1) cv_.notify_one();
  else cv_.notify_all();
  return true;
}

int Semaphore::Count() {
  std::lock_guard lock(m_);
  return count_;
}

void Event::Set() {
  std::lock_guard lock(m_);
  set_ = true;
  if (manual_) cv_.notify_all();
  else cv_.notify_one();
}

void Event::Reset() {
  std::lock_guard lock(m_);
  set_ = false;
}

bool Event::Wait(int ms) {
  std::unique_lock lock(m_);
  auto ready = [&] { return set_; };
  if (ms < 0) cv_.wait(lock, ready);
  else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), ready)) return false;
  if (!manual_) set_ = false;
  return true;
}

bool Event::IsSet() {
  std::lock_guard lock(m_);
  return set_;
}

void ReportCantLock(const char* tag) {
  std::string text = "(";
  text += tag;
  text += ")Internal error:can't lock";
  AddLogMessage(text.c_str());
}
