#include "app/log/message_log.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "app/log/log_file.h"
#include "app/log/log_file_thread.h"
#include "app/log/log_format.h"
#include "app/log/message_ring.h"
#include "app/log/message_window_host.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "platform/thread.h"

namespace {

using namespace msglog;

class KCD_LogTableThread22;

// Everything the log shares between threads. It lives as long as the process (never freed), so
// a thread that reports during shutdown never touches freed memory.
//
// Lock order: addLock → ringLock; pathLock, listLock, hostLock and the file thread's own lock
// are innermost and never held while waiting for another lock. uiSemaphore is taken by the work
// thread with no other lock held. No lock of the log is held across file I/O: the file thread
// does all of it.
struct LogState {
  TimedMutex addLock;  // serialises AddLogMessage (stamp, ring, file queue in one order)
  LogFileThread file;

  std::mutex pathLock;  // guards path
  Text1251 path;

  // Messages dropped because the add lock could not be had in time; reported by a later one.
  std::atomic<uint64_t> addLost{0};

  TimedMutex ringLock;  // guards ring and workAlive
  MessageRing ring;
  bool workAlive = false;  // the work thread exists: messages are queued for the window

  Semaphore countSemaphore{0, 1002};  // one count per queued message
  Semaphore uiSemaphore{1, 3};        // shared user-interface semaphore

  std::mutex listLock;  // guards list and the window flags below
  MessageList list;
  bool noAutoPopup = true;
  bool showWarnings = false;
  bool visible = false;
  int corner = 0;
  uint64_t revision = 0;

  std::mutex hostLock;  // guards host and factory
  std::shared_ptr<MessageWindowHost> host;
  MessageWindowFactory factory = nullptr;

  std::mutex threadsLock;  // guards the two thread pointers (start and stop)
  KCD_LogTableThread22* windowThread = nullptr;
  KCD_LogTableThread22* workThread = nullptr;

  std::atomic<int> opacity{171};
  std::atomic<bool> inShow{false};
  std::atomic<uint64_t> queued{0};
  std::atomic<uint64_t> displayed{0};
  std::atomic<int> endAnswer[2] = {-1, -1};  // turned from -1 into 1 by a thread that ends
};

LogState& S() {
  static LogState* state = new LogState;
  return *state;
}

const char* const kTagWorkRing = "13211";
const char* const kTagWorkUi = "13212";
const char* const kTagAddLock = "13213";
const char* const kTagFileLost = "13214";
const char* const kTagPathLock = "13215";
const char* const kTagStartRing = "13216";

// The add lock is held only to stamp and queue, never across file I/O; a reporter waits at most
// this long for it, and then at most kFileWaitMs for its lines to reach the file.
constexpr int kAddLockMs = 3000;
constexpr int kFileWaitMs = 1000;
constexpr int kRingLockMs = 3000;

Text1251 LogPath() {
  std::lock_guard lock(S().pathLock);
  return S().path;
}

Text1251 PlacePath() { return Text1251(winpath::kDataRoot) + "Logs\\logplace.bin"; }

std::shared_ptr<MessageWindowHost> Host() {
  std::lock_guard lock(S().hostLock);
  return S().host;
}

void NotifyListChanged() {
  if (auto h = Host()) h->ListChanged();
}

void LogSinkFunction(const char* text);

// ---- the threads --------------------------------------------------------------------------

class KCD_LogTableThread22 : public WorkerThread {
 public:
  explicit KCD_LogTableThread22(int role) : role_(role) {}
  ~KCD_LogTableThread22() override { Join(); }

  int Role() const { return role_; }
  bool Ready() const { return ready_.load(); }
  void RequestStop() { stop_ = true; }

 protected:
  // Handles the log's thread messages; false ends the thread.
  bool Handle(const ThreadMessage& m) {
    switch (m.message) {
      case kLogMsgToggleWindow: {
        bool visible;
        {
          std::lock_guard lock(S().listLock);
          visible = S().visible;
        }
        ShowMessageWindow(visible ? 0 : 5);
        return true;
      }
      case kLogMsgReloadWithHeader:
        if (role_ == 1 && ready_) ReloadMessageList(true);
        return true;
      case kLogMsgEnd:
        if (ready_) {
          if (m.wParam) {
            auto* answer = reinterpret_cast<std::atomic<int>*>(m.wParam);
            int waiting = -1;
            answer->compare_exchange_strong(waiting, 1);
          }
          stop_ = true;
          return false;
        }
        return true;
      case kLogMsgNoAutoPopup:
        if (role_ == 1) SetNoAutoPopup(true);
        return true;
      default:  // 0x403, 0x405 and anything else
        return true;
    }
  }

  const int role_;  // 1 window thread, 0 work thread
  std::atomic<bool> ready_{false};
  std::atomic<bool> stop_{false};
};

class KCD_LogTableThread2Dialog : public KCD_LogTableThread22 {
 public:
  KCD_LogTableThread2Dialog() : KCD_LogTableThread22(1) {}

 protected:
  bool InitInstance() override {
    ShowMessageWindow(0);
    ready_ = true;
    ReloadMessageList(true);
    return true;
  }
  bool OnThreadMessage(const ThreadMessage& m) override { return Handle(m); }
};

class KCD_LogTableThread22Work : public KCD_LogTableThread22 {
 public:
  KCD_LogTableThread22Work() : KCD_LogTableThread22(0) {}

 protected:
  bool InitInstance() override {
    ready_ = true;
    return true;
  }

  int Run() override {
    for (;;) {
      ThreadMessage m;
      while (PeekMessage(m))
        if (!Handle(m)) return 0;
      if (stop_) return 0;
      WaitForWork();
      if (stop_) return 0;
      // Move every waiting entry into the window, one pop at a time. An empty ring shows
      // nothing (the previous entry is not shown again).
      for (;;) {
        LogEntry entry;
        {
          TimedLock ring(S().ringLock, 3000);
          if (!ring) {
            ReportCantLock(kTagWorkRing);
            break;
          }
          if (!S().ring.Pop(entry)) break;
        }
        const bool gotUi = WaitUi();
        if (!gotUi && stop_) {
          S().displayed++;
          return 0;
        }
        if (!gotUi) ReportCantLock(kTagWorkUi);
        Display(entry.text);
        S().displayed++;
        if (gotUi) S().uiSemaphore.Release();
      }
    }
  }

 private:
  // The message-count semaphore with a 3 s limit; a thread message or the stop flag ends the
  // wait early.
  void WaitForWork() {
    for (int waited = 0; waited < 3000; waited += 50) {
      if (S().countSemaphore.Wait(50) || stop_ || Queue().Size() > 0) return;
    }
  }

  // The shared semaphore with a 3 s limit, given up early when the thread is told to stop.
  bool WaitUi() {
    for (int waited = 0; waited < 3000; waited += 50) {
      if (S().uiSemaphore.Wait(50)) return true;
      if (stop_) return false;
    }
    return false;
  }

  static void Display(const Text1251& text) {
    if (text.empty()) return;
    bool quiet, noPopup;
    {
      std::lock_guard lock(S().listLock);
      quiet = InsertEntry(S().list, text);
      noPopup = S().noAutoPopup;
      ++S().revision;
    }
    NotifyListChanged();
    if (!quiet && !noPopup) ShowMessageWindow(5);
  }
};

// ---- recording a message ------------------------------------------------------------------

// Stamps a message, queues it for the window and the file. Called under the add lock; returns
// the file ticket to wait for (0: none).
uint64_t RecordStamped(const char* text) {
  LogState& s = S();
  Text1251 stamped = text;
  stamped += StampNow();
  bool queued = false;
  {
    TimedLock ring(s.ringLock, kRingLockMs);
    // Without the ring lock the window misses the message; the file still gets it.
    if (ring && s.workAlive && s.ring.Push(NowSeconds(), stamped)) {
      queued = true;
      s.queued++;
    }
  }
  uint64_t ticket = 0;
  // Even a message whose lines all stay out of the file cuts an overlong file first.
  if (!LogPath().empty()) ticket = s.file.Append(FileLinesOf(stamped));
  if (queued) s.countSemaphore.Release();
  return ticket;
}

// Records the reports of messages that went missing earlier, once the log can take them
// (under the add lock).
void ReportLost() {
  LogState& s = S();
  char report[120];
  if (const uint64_t n = s.addLost.exchange(0)) {
    std::snprintf(report, sizeof report, "(%s)Internal error:can't lock (%llu messages lost)",
                  kTagAddLock, static_cast<unsigned long long>(n));
    RecordStamped(report);
  }
  if (const uint64_t n = s.file.TakeLost()) {
    std::snprintf(report, sizeof report,
                  "(%s)Internal error:%llu messages were not written to the log file", kTagFileLost,
                  static_cast<unsigned long long>(n));
    RecordStamped(report);
  }
}

void LogSinkFunction(const char* text) {
  try {
    LogState& s = S();
    uint64_t ticket = 0;
    {
      TimedLock add(s.addLock, kAddLockMs);
      if (!add) {
        s.addLost++;
        return;
      }
      if (std::strstr(text, "некорректные данные о поверхностях"_cp)) return;
      ReportLost();
      ticket = RecordStamped(text);
    }
    // A healthy disk has the lines in the file before the caller goes on; a slow one costs the
    // first caller kFileWaitMs at most and the next ones nothing until it has caught up.
    if (ticket && s.file.Wait(ticket, kFileWaitMs)) {
      // This message may have been the first to reach the file after failed writes.
      TimedLock add(s.addLock, kAddLockMs);
      if (add) ReportLost();
    }
  } catch (...) {
    // Reporting never fails towards the caller.
  }
}

void EndThread(KCD_LogTableThread22*& slot, int answerIndex) {
  KCD_LogTableThread22* t = slot;
  if (!t) return;
  LogState& s = S();
  s.endAnswer[answerIndex] = -1;
  t->RequestStop();
  t->PostThreadMessage(kLogMsgEnd, reinterpret_cast<uintptr_t>(&s.endAnswer[answerIndex]));
  t->Join(100);
  {
    std::lock_guard lock(s.threadsLock);
    slot = nullptr;
  }
  if (answerIndex == 0) {
    TimedLock ring(s.ringLock, 3000);
    s.workAlive = false;
  }
  s.countSemaphore.Release();
  // A thread that does not end in time is left behind rather than freed under its feet.
  if (t->Join(3000)) delete t;
}

}  // namespace

// ---- public interface -----------------------------------------------------------------------

void SetMessageWindowFactory(MessageWindowFactory factory) {
  std::lock_guard lock(S().hostLock);
  S().factory = factory;
}

void SetMessageLogPath(const char* path) {
  LogState& s = S();
  // Under the add lock, so that every message after the call goes to the new file.
  TimedLock add(s.addLock, kAddLockMs);
  if (!add) ReportCantLock(kTagPathLock);
  const Text1251 newPath = path ? path : "";
  {
    std::lock_guard lock(s.pathLock);
    s.path = newPath;
  }
  s.file.SetPath(newPath, true);
}

void StartMessageLog(const char* path) {
  LogState& s = S();
  SetMessageLogPath(path);
  SetLogSink(&LogSinkFunction);
  {
    std::lock_guard lock(s.threadsLock);
    if (s.windowThread || s.workThread) return;
  }
  {
    std::lock_guard lock(s.listLock);
    s.list = {};
    s.noAutoPopup = true;
    s.showWarnings = false;
    s.visible = false;
    s.corner = 0;
    ++s.revision;
  }
  {
    std::lock_guard lock(s.hostLock);
    if (!s.host && s.factory) s.host = s.factory();
  }
  auto* window = new KCD_LogTableThread2Dialog;
  auto* work = new KCD_LogTableThread22Work;
  {
    std::lock_guard lock(s.threadsLock);
    s.windowThread = window;
    s.workThread = work;
  }
  window->Start();
  {
    TimedLock ring(s.ringLock, kRingLockMs);
    if (ring) {
      s.ring.Clear();
      s.workAlive = true;
    } else {
      ReportCantLock(kTagStartRing);  // the window then shows no messages
    }
  }
  work->Start();
}

void StopMessageLog() {
  LogState& s = S();
  if (!s.uiSemaphore.Wait(2000)) return;
  EndThread(s.workThread, 0);
  EndThread(s.windowThread, 1);
  std::shared_ptr<MessageWindowHost> host;
  {
    std::lock_guard lock(s.hostLock);
    host = std::move(s.host);
  }
  if (host) host->Destroy();
  {
    TimedLock ring(s.ringLock, 3000);
    if (ring) {
      s.displayed += static_cast<uint64_t>(s.ring.Size());
      s.ring.Clear();
    }
  }
  s.uiSemaphore.Release();
}

void ShowMessageWindow(int mode) {
  LogState& s = S();
  int placed = 0;
  if (mode == 5 && !s.inShow.exchange(true)) {
    placed = ReadLogPlace(PlacePath());
    if (placed) WriteLogPlace(PlacePath(), placed);
    s.inShow = false;
  }
  int corner;
  {
    std::lock_guard lock(s.listLock);
    if (placed) s.corner = placed;
    corner = s.corner;
    s.visible = mode != 0;
    ++s.revision;
  }
  if (auto h = Host()) h->ShowWindow(mode, corner);
}

void ReloadMessageList(bool withHeader) {
  LogState& s = S();
  bool showWarnings;
  {
    std::lock_guard lock(s.listLock);
    showWarnings = s.showWarnings;
  }
  // The file thread reads the file and appends the header in one step, between two messages.
  // A file that cannot be read, or not in time, leaves the list as it was and gets no header.
  const Text1251 header = withHeader ? StartHeaderNow() : Text1251();
  std::vector<Text1251> pieces;
  if (LogPath().empty() || !s.file.Reload(pieces, header, kFileWaitMs)) return;
  std::vector<Text1251> lines = ReloadList(pieces, showWarnings);
  if (withHeader) lines.insert(lines.begin(), header);
  {
    std::lock_guard lock(s.listLock);
    s.list.lines.assign(lines.begin(), lines.end());
    ++s.revision;
  }
  NotifyListChanged();
}

void MarkMessageLogStart() {
  const Text1251 path = Text1251(winpath::kDataRoot) + "Logs\\LogFile2.log";
  SetMessageLogPath(path.c_str());
  PostToMessageLogWindowThread(kLogMsgReloadWithHeader);
}

uint32_t MessageLogWindowThreadId() {
  std::lock_guard lock(S().threadsLock);
  return S().windowThread ? S().windowThread->ThreadId() : 0;
}

uint32_t MessageLogWorkThreadId() {
  std::lock_guard lock(S().threadsLock);
  return S().workThread ? S().workThread->ThreadId() : 0;
}

bool PostToMessageLogWindowThread(uint32_t message, uintptr_t wParam) {
  std::lock_guard lock(S().threadsLock);
  return S().windowThread && S().windowThread->PostThreadMessage(message, wParam);
}

Semaphore& SharedUiSemaphore() { return S().uiSemaphore; }

int MessageWindowOpacity() { return S().opacity.load(); }

void SetMessageWindowOpacity(int value) {
  S().opacity = ClampOpacity(value);
  if (auto h = Host()) h->OpacityChanged(S().opacity.load());
}

MessageListSnapshot GetMessageList() {
  LogState& s = S();
  std::lock_guard lock(s.listLock);
  MessageListSnapshot out;
  out.lines.assign(s.list.lines.begin(), s.list.lines.end());
  out.insertedCount = s.list.insertedCount;
  out.noAutoPopup = s.noAutoPopup;
  out.showWarnings = s.showWarnings;
  out.visible = s.visible;
  out.corner = s.corner;
  out.revision = s.revision;
  return out;
}

void SetNoAutoPopup(bool on) {
  {
    std::lock_guard lock(S().listLock);
    S().noAutoPopup = on;
    ++S().revision;
  }
  NotifyListChanged();
}

void SetShowWarnings(bool on) {
  {
    std::lock_guard lock(S().listLock);
    S().showWarnings = on;
    ++S().revision;
  }
  ReloadMessageList(false);
}

void EraseMessageLog() {
  LogState& s = S();
  s.file.Remove(kFileWaitMs);  // done later if the disk is slow, still before later messages
  {
    std::lock_guard lock(s.listLock);
    s.list.lines.clear();
    ++s.revision;
  }
  NotifyListChanged();
}

bool OpenMessageLogInViewer() {
  const Text1251 path = LogPath();
  if (path.empty()) return false;
  const std::string file = winpath::Resolve(path).string();
  // Command words: $EDITOR split at blanks (no shell), else xdg-open; then the file.
  std::vector<std::string> words;
  const char* editor = std::getenv("EDITOR");
  if (editor && *editor) {
    std::string e = editor;
    size_t i = 0;
    while (i < e.size()) {
      while (i < e.size() && (e[i] == ' ' || e[i] == '\t')) ++i;
      size_t j = i;
      while (j < e.size() && e[j] != ' ' && e[j] != '\t') ++j;
      if (j > i) words.push_back(e.substr(i, j - i));
      i = j;
    }
  }
  if (words.empty()) words.push_back("xdg-open");
  words.push_back(file);
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  // Double fork: the viewer is detached and never left as a zombie.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  pid_t child = ::fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (child == 0) {
    ::setsid();
    pid_t viewer = ::fork();
    if (viewer == 0) {
      int devnull = ::open("/dev/null", O_RDWR);
      if (devnull >= 0) {
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
      }
      ::execvp(argv[0], argv.data());
      char fail = 1;
      (void)!::write(report[1], &fail, 1);
      ::_exit(127);
    }
    ::_exit(viewer < 0 ? 1 : 0);
  }
  ::close(report[1]);
  int status = 0;
  ::waitpid(child, &status, 0);
  char fail = 0;
  ssize_t n;
  do n = ::read(report[0], &fail, 1);
  while (n < 0 && errno == EINTR);
  ::close(report[0]);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

void SetDockingCorner(int corner) {
  if (corner < 1 || corner > 4) return;
  {
    std::lock_guard lock(S().listLock);
    S().corner = corner;
    ++S().revision;
  }
  WriteLogPlace(PlacePath(), corner);
  if (auto h = Host()) h->MoveToCorner(corner);
}

void OnMessageWindowMovedByUser() {
  {
    std::lock_guard lock(S().listLock);
    S().corner = 0;
    ++S().revision;
  }
  fsw::RemoveFile(PlacePath());
}

bool FlushMessageLog(int ms) {
  const double end = MonotonicSeconds() + ms / 1000.0;
  const uint64_t target = S().queued.load();
  for (;;) {
    if (S().displayed.load() >= target) break;
    if (MonotonicSeconds() >= end) return false;
    SleepMs(2);
  }
  const int left = static_cast<int>((end - MonotonicSeconds()) * 1000.0);
  return S().file.Flush(left > 0 ? left : 0);
}
