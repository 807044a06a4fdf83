#include "app/log/log_file_thread.h"

#include <pthread.h>

#include <chrono>

namespace msglog {

LogFileThread::~LogFileThread() {
  {
    std::lock_guard l(lock_);
    if (!started_) return;
    quit_ = true;
  }
  work_.notify_all();
  // The message log keeps its file thread for the life of the process; any other owner must
  // not drop one that is stuck in the file system.
  if (Flush(1000))
    thread_.join();
  else
    thread_.detach();
}

uint64_t LogFileThread::Queue(Job job) {
  if (!started_) {
    started_ = true;
    thread_ = std::thread([this] { Main(); });
    threadId_ = thread_.get_id();
  }
  if (job.kind == Job::kAppend) ++waitingAppends_;
  queue_.push_back(std::move(job));
  work_.notify_one();
  return ++queued_;
}

void LogFileThread::SetPath(const Text1251& winPath, bool force) {
  std::lock_guard l(lock_);
  Queue({Job::kSetPath, winPath, force, nullptr});
}

uint64_t LogFileThread::Append(Text1251 lfLines) {
  std::lock_guard l(lock_);
  if (waitingAppends_ >= kMaxWaiting) {
    ++lost_;
    return 0;
  }
  return Queue({Job::kAppend, std::move(lfLines), false, nullptr});
}

bool LogFileThread::Wait(uint64_t ticket, int ms) {
  std::unique_lock l(lock_);
  if (finished_ >= ticket) return true;
  if (behind_ || ms <= 0 || std::this_thread::get_id() == threadId_) return false;
  if (done_.wait_for(l, std::chrono::milliseconds(ms), [&] { return finished_ >= ticket; }))
    return true;
  behind_ = true;
  return false;
}

bool LogFileThread::Reload(std::vector<Text1251>& pieces, const Text1251& header, int ms) {
  auto job = std::make_shared<ReloadJob>();
  job->header = header;
  uint64_t ticket;
  {
    std::lock_guard l(lock_);
    ticket = Queue({Job::kReload, {}, false, job});
  }
  const bool done = Wait(ticket, ms);
  std::lock_guard l(lock_);
  if (!done && finished_ < ticket) {
    job->abandoned = true;
    return false;
  }
  if (!job->ok) return false;
  pieces = std::move(job->pieces);
  return true;
}

void LogFileThread::Remove(int ms) {
  uint64_t ticket;
  {
    std::lock_guard l(lock_);
    ticket = Queue({Job::kRemove, {}, false, nullptr});
  }
  Wait(ticket, ms);
}

bool LogFileThread::Flush(int ms) {
  std::unique_lock l(lock_);
  const uint64_t ticket = queued_;
  return done_.wait_for(l, std::chrono::milliseconds(ms), [&] { return finished_ >= ticket; });
}

uint64_t LogFileThread::TakeLost() {
  std::lock_guard l(lock_);
  if (behind_ || lastWriteFailed_) return 0;
  const uint64_t n = lost_;
  lost_ = 0;
  return n;
}

void LogFileThread::Main() {
  pthread_setname_np(pthread_self(), "tacmon-logfile");  // seen in ps, gdb and the tests
  for (;;) {
    Job job;
    {
      std::unique_lock l(lock_);
      work_.wait(l, [&] { return !queue_.empty() || quit_; });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
      if (job.kind == Job::kAppend) --waitingAppends_;
    }
    Run(job);
    {
      std::lock_guard l(lock_);
      ++finished_;
      if (queue_.empty()) behind_ = false;
    }
    done_.notify_all();
  }
}

void LogFileThread::Run(Job& job) {
  switch (job.kind) {
    case Job::kSetPath:
      writer_.SetPath(job.text, job.force);
      break;
    case Job::kAppend: {
      const bool ok = writer_.AppendLines(job.text) == 0;
      std::lock_guard l(lock_);
      lastWriteFailed_ = !ok;
      if (!ok) ++lost_;
      break;
    }
    case Job::kReload: {
      {
        std::lock_guard l(lock_);
        if (job.reload->abandoned) break;
      }
      std::vector<Text1251> pieces;
      const bool ok = writer_.ReadPieces(pieces);
      bool header = false;
      {
        std::lock_guard l(lock_);
        job.reload->ok = ok;
        job.reload->pieces = std::move(pieces);
        header = ok && !job.reload->abandoned && !job.reload->header.empty();
      }
      if (header) writer_.AppendRaw(job.reload->header + "\n");
      break;
    }
    case Job::kRemove:
      writer_.Remove();
      break;
  }
}

}  // namespace msglog
