#include "platform/thread.h"

#include <unordered_map>

namespace {

std::atomic<uint32_t> g_nextThreadId{1000};

std::mutex g_threadsLock;  // guards g_threads
std::unordered_map<uint32_t, WorkerThread*> g_threads;

std::mutex g_windowsLock;  // guards g_windows, g_nextWindow
std::unordered_map<WindowHandle, std::shared_ptr<MessageTarget>> g_windows;
WindowHandle g_nextWindow = 0x10000;

std::shared_ptr<MessageTarget> FindWindow(WindowHandle h) {
  std::lock_guard lock(g_windowsLock);
  auto it = g_windows.find(h);
  return it == g_windows.end() ? nullptr : it->second;
}

}  // namespace

void MessageQueue::Post(const ThreadMessage& m) {
  {
    std::lock_guard lock(lock_);
    queue_.push_back(m);
  }
  cv_.notify_one();
}

bool MessageQueue::Get(ThreadMessage& out, int ms) {
  std::unique_lock lock(lock_);
  auto ready = [&] { return !queue_.empty(); };
  if (ms < 0) cv_.wait(lock, ready);
  else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), ready)) return false;
  out = queue_.front();
  queue_.pop_front();
  return true;
}

bool MessageQueue::Peek(ThreadMessage& out) {
  std::lock_guard lock(lock_);
  if (queue_.empty()) return false;
  out = queue_.front();
  queue_.pop_front();
  return true;
}

size_t MessageQueue::Size() {
  std::lock_guard lock(lock_);
  return queue_.size();
}

void MessageQueue::Clear() {
  std::lock_guard lock(lock_);
  queue_.clear();
}

WorkerThread::WorkerThread() : id_(g_nextThreadId++) {
  std::lock_guard lock(g_threadsLock);
  g_threads[id_] = this;
}

WorkerThread::~WorkerThread() {
  {
    std::lock_guard lock(g_threadsLock);
    g_threads.erase(id_);
  }
  if (thread_.joinable()) {
    // The derived part is gone already; a thread still running here is a bug of the owner.
    // Detaching keeps the process alive rather than terminating it.
    thread_.detach();
  }
}

bool WorkerThread::Start() {
  if (started_) return false;
  started_ = true;
  running_ = true;
  thread_ = std::thread([this] { Main(); });
  return true;
}

void WorkerThread::Main() {
  if (InitInstance()) Run();
  ExitInstance();
  running_ = false;
  std::lock_guard lock(endLock_);
  ended_ = true;
  endCv_.notify_all();
}

int WorkerThread::Run() {
  ThreadMessage m;
  while (GetMessage(m)) {
    if (!OnThreadMessage(m)) break;
  }
  return 0;
}

bool WorkerThread::PostThreadMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  queue_.Post({message, wParam, lParam});
  return true;
}

bool WorkerThread::Join(int ms) {
  if (!started_) return true;
  {
    std::unique_lock lock(endLock_);
    auto ended = [&] { return ended_; };
    if (ms < 0) endCv_.wait(lock, ended);
    else if (!endCv_.wait_for(lock, std::chrono::milliseconds(ms), ended)) return false;
  }
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  return true;
}

bool PostThreadMessageTo(uint32_t threadId, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::lock_guard lock(g_threadsLock);
  auto it = g_threads.find(threadId);
  if (it == g_threads.end()) return false;
  return it->second->PostThreadMessage(message, wParam, lParam);
}

WindowHandle RegisterWindow(std::shared_ptr<MessageTarget> target) {
  std::lock_guard lock(g_windowsLock);
  WindowHandle h = ++g_nextWindow;
  g_windows[h] = std::move(target);
  return h;
}

void UnregisterWindow(WindowHandle h) {
  std::shared_ptr<MessageTarget> keep;  // released outside the lock
  std::lock_guard lock(g_windowsLock);
  auto it = g_windows.find(h);
  if (it != g_windows.end()) {
    keep = std::move(it->second);
    g_windows.erase(it);
  }
}

bool IsWindow(WindowHandle h) { return FindWindow(h) != nullptr; }

bool PostMessageTo(WindowHandle h, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  auto t = FindWindow(h);
  if (!t) return false;
  t->Post({message, wParam, lParam});
  return true;
}

bool SendMessageTimeoutTo(WindowHandle h, uint32_t message, uintptr_t wParam, intptr_t lParam,
                          int ms, intptr_t* result) {
  auto t = FindWindow(h);
  if (!t) return false;
  return t->Send({message, wParam, lParam}, ms, result);
}
