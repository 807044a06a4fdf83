// Worker threads with their own message queues, and windows as message targets.
//
// A thread message is a number with two pointer-sized words (numbers from WM_USER = 1024 up,
// listed with each window and thread). A WorkerThread's default Run loop dispatches
// each message to OnThreadMessage; threads with a loop of their own (the reading thread) call
// PeekMessage/GetMessage themselves.
//
// Windows are reached through WindowHandle values registered by their owners. Posting to a
// handle whose window is gone simply fails, so a worker can never touch a destroyed window.
// The UI framework registers every dialog; tests and command-line tools register plain
// MessageQueueTarget objects as "owner windows".
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

inline constexpr uint32_t WM_USER = 1024;

struct ThreadMessage {
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

class MessageQueue {
 public:
  void Post(const ThreadMessage& m);
  // Waits at most ms (ms < 0 without limit); false when nothing arrived.
  bool Get(ThreadMessage& out, int ms = -1);
  bool Peek(ThreadMessage& out);  // takes a message if one is waiting
  size_t Size();
  void Clear();

 private:
  std::mutex lock_;  // guards queue_
  std::condition_variable cv_;
  std::deque<ThreadMessage> queue_;
};

class WorkerThread {
 public:
  WorkerThread();
  virtual ~WorkerThread();  // the derived destructor must have called Join (or never Start)
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  bool Start();
  // Thread identifier for PostThreadMessageTo; valid from construction.
  uint32_t ThreadId() const { return id_; }
  bool PostThreadMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
  // Waits for the end of the thread (ms < 0 without limit). True when it has ended.
  bool Join(int ms = -1);
  bool Running() const { return running_.load(); }
  bool Started() const { return started_; }

 protected:
  virtual bool InitInstance() { return true; }
  // Default loop: GetMessage and OnThreadMessage until it returns false.
  virtual int Run();
  virtual int ExitInstance() { return 0; }
  // False ends the default loop.
  virtual bool OnThreadMessage(const ThreadMessage&) { return true; }

  bool GetMessage(ThreadMessage& out, int ms = -1) { return queue_.Get(out, ms); }
  bool PeekMessage(ThreadMessage& out) { return queue_.Peek(out); }
  MessageQueue& Queue() { return queue_; }

 private:
  void Main();

  MessageQueue queue_;
  std::thread thread_;
  uint32_t id_;
  bool started_ = false;
  std::atomic<bool> running_{false};
  std::mutex endLock_;  // guards ended_
  std::condition_variable endCv_;
  bool ended_ = false;
};

// Posts to a thread by identifier; false when no such thread lives.
bool PostThreadMessageTo(uint32_t threadId, uint32_t message, uintptr_t wParam = 0,
                         intptr_t lParam = 0);

// ---- windows as message targets -------------------------------------------------------------

using WindowHandle = uint64_t;  // 0: no window

class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  virtual void Post(const ThreadMessage& m) = 0;
  // Delivers m and waits at most ms for the handler's result; false on time-out. A target
  // called from its own thread handles the message directly.
  virtual bool Send(const ThreadMessage& m, int ms, intptr_t* result) = 0;
};

// The registry keeps a shared reference, so a send in flight never outlives its target.
WindowHandle RegisterWindow(std::shared_ptr<MessageTarget> target);
void UnregisterWindow(WindowHandle h);
bool IsWindow(WindowHandle h);
bool PostMessageTo(WindowHandle h, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
bool SendMessageTimeoutTo(WindowHandle h, uint32_t message, uintptr_t wParam, intptr_t lParam,
                          int ms, intptr_t* result = nullptr);

// A target that queues what it gets: the owner window of tests and command-line tools.
// Sends are answered with 0 at once after queuing.
class MessageQueueTarget : public MessageTarget {
 public:
  void Post(const ThreadMessage& m) override { queue.Post(m); }
  bool Send(const ThreadMessage& m, int, intptr_t* result) override {
    queue.Post(m);
    if (result) *result = 0;
    return true;
  }
  MessageQueue queue;
};
