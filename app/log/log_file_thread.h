// The log file's own thread. Every read and write of the log file happens here, so a slow or
// stuck disk never stalls a thread that reports (the user-interface thread, the reading
// thread): callers queue the work and wait for it at most a time limit. Work runs in the order
// it was queued. Lines that do not reach the file (too many waiting, or the write failed) are
// counted, so the log can say later how many went missing.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/log/log_file.h"
#include "platform/cp1251.h"

namespace msglog {

class LogFileThread {
 public:
  // Appends waiting at once; beyond it new lines are refused (and counted as lost).
  static constexpr size_t kMaxWaiting = 1000;

  LogFileThread() = default;
  // Never waits for a stuck thread: one that is busy is left to end with the process.
  ~LogFileThread();
  LogFileThread(const LogFileThread&) = delete;
  LogFileThread& operator=(const LogFileThread&) = delete;

  // The file's path from now on (LogFileWriter::SetPath, in queue order).
  void SetPath(const Text1251& winPath, bool force);
  // Queues lines for appending (with the cut of an overlong file). Returns the ticket to wait
  // for, or 0 when refused because kMaxWaiting appends are already waiting.
  uint64_t Append(Text1251 lfLines);
  // Waits at most ms until the work of ticket is done. Returns at once, false, while the
  // thread is behind (an earlier wait ran out and the queue has not emptied since), so only
  // the first caller after a stall pays the limit.
  bool Wait(uint64_t ticket, int ms);
  // The pieces of the file for a reload; a non-empty header is then appended (with LF). False
  // when the file cannot be read or the thread did not get to it within ms: then nothing is
  // appended either.
  bool Reload(std::vector<Text1251>& pieces, const Text1251& header, int ms);
  // Deletes the file (after the appends queued before); waits at most ms.
  void Remove(int ms);
  // Waits at most ms until everything queued so far is done.
  bool Flush(int ms);
  // Lines that did not reach the file since the last call; 0 while the file cannot be written
  // (the count is kept for when it can).
  uint64_t TakeLost();

 private:
  struct ReloadJob {
    Text1251 header;
    std::vector<Text1251> pieces;
    bool ok = false;
    bool abandoned = false;  // the caller stopped waiting: append no header
  };
  struct Job {
    enum Kind { kSetPath, kAppend, kReload, kRemove } kind = kAppend;
    Text1251 text;  // path or lines
    bool force = false;
    std::shared_ptr<ReloadJob> reload;
  };

  uint64_t Queue(Job job);  // under lock_; starts the thread on first use
  void Main();
  void Run(Job& job);

  std::mutex lock_;  // guards everything below except writer_
  std::condition_variable work_;
  std::condition_variable done_;
  std::deque<Job> queue_;
  size_t waitingAppends_ = 0;
  uint64_t queued_ = 0;    // tickets handed out
  uint64_t finished_ = 0;  // tickets done (in order)
  bool behind_ = false;
  bool lastWriteFailed_ = false;
  uint64_t lost_ = 0;
  bool started_ = false;
  bool quit_ = false;
  std::thread thread_;
  std::thread::id threadId_;

  LogFileWriter writer_;  // touched only by the thread
};

}  // namespace msglog
