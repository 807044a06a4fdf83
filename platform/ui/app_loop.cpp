#include "platform/ui/app_loop.h"

#include <QApplication>
#include <QFont>
#include <QTimer>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/ui/automation.h"
#include "platform/ui/detail/dispatch.h"

namespace ui {
namespace {

std::atomic<std::thread::id> g_uiThread{std::this_thread::get_id()};

// Lock order: g_queueLock is a leaf lock; no task runs under it.
std::mutex g_queueLock;
std::condition_variable g_queueCv;
std::deque<std::function<void()>> g_tasks;  // guarded by g_queueLock

// Serves the queue on the UI thread when a post wakes it. The wake is a queued call, whose event
// Qt makes itself: an event allocated here on a worker and read on the UI thread by an event
// filter would pair a write and a read across Qt's own (uninstrumented) locking.
class Waker : public QObject {
 public:
  void Serve() { ServePendingMessages(); }
};
Waker* g_waker = nullptr;  // lives on the UI thread while the Application exists
std::mutex g_wakerLock;    // guards g_waker against a post during shutdown

void Wake() {
  g_queueCv.notify_all();
  std::lock_guard lock(g_wakerLock);
  if (g_waker) QMetaObject::invokeMethod(g_waker, &Waker::Serve, Qt::QueuedConnection);
}

struct SendState {
  std::mutex lock;
  std::condition_variable cv;
  enum { Pending, Running, Done, Dropped } state = Pending;
};

}  // namespace

namespace detail {

void SetUiThread() { g_uiThread = std::this_thread::get_id(); }

void EnqueuePost(std::function<void()> fn) {
  {
    std::lock_guard lock(g_queueLock);
    g_tasks.push_back(std::move(fn));
  }
  Wake();
}

bool EnqueueSend(std::function<void()> fn, int ms) {
  auto st = std::make_shared<SendState>();
  EnqueuePost([st, fn = std::move(fn)] {
    {
      std::lock_guard lock(st->lock);
      if (st->state == SendState::Dropped) return;
      st->state = SendState::Running;
    }
    fn();
    {
      std::lock_guard lock(st->lock);
      st->state = SendState::Done;
    }
    st->cv.notify_all();
  });
  std::unique_lock lock(st->lock);
  auto finished = [&] { return st->state == SendState::Done; };
  if (ms < 0) {
    st->cv.wait(lock, finished);
    return true;
  }
  if (st->cv.wait_for(lock, std::chrono::milliseconds(ms), finished)) return true;
  if (st->state == SendState::Pending) {
    st->state = SendState::Dropped;
    return false;
  }
  // Already running: its arguments may point into our stack, so wait for the end.
  st->cv.wait(lock, finished);
  return true;
}

}  // namespace detail

bool IsUiThread() { return std::this_thread::get_id() == g_uiThread.load(); }

void ServePendingMessages() {
  if (!IsUiThread()) return;
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(g_queueLock);
      if (g_tasks.empty()) return;
      task = std::move(g_tasks.front());
      g_tasks.pop_front();
    }
    task();
  }
}

void PostToUiThread(std::function<void()> fn) { detail::EnqueuePost(std::move(fn)); }

void RunOnUiThread(std::function<void()> fn) {
  if (IsUiThread()) {
    fn();
    return;
  }
  detail::EnqueueSend(std::move(fn), -1);
}

bool WaitServingMessages(const std::function<bool()>& done, int ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
  for (;;) {
    ServePendingMessages();
    if (done()) return true;
    auto now = std::chrono::steady_clock::now();
    if (ms >= 0 && now >= until) return false;
    auto slice = std::chrono::milliseconds(10);
    if (ms >= 0)
      slice = std::min<std::chrono::milliseconds>(
          slice, std::chrono::duration_cast<std::chrono::milliseconds>(until - now) +
                     std::chrono::milliseconds(1));
    if (IsUiThread()) {
      std::unique_lock lock(g_queueLock);
      g_queueCv.wait_for(lock, slice, [] { return !g_tasks.empty(); });
    } else {
      std::this_thread::sleep_for(slice);
    }
  }
}

bool JoinServing(WorkerThread& thread, int ms) {
  if (!thread.Started()) return true;
  if (!WaitServingMessages([&] { return !thread.Running(); }, ms)) return false;
  return thread.Join(1000);
}

namespace {
QtMessageHandler g_previousHandler = nullptr;

// The offscreen platform's notes on what it cannot do (raise, size hints) say nothing to a
// user; everything else passes on.
void FilterQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.startsWith("This plugin does not support")) return;
  if (g_previousHandler)
    g_previousHandler(type, context, text);
  else
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}
}  // namespace

Application::Application(int& argc, char** argv) {
  detail::SetUiThread();
  g_previousHandler = qInstallMessageHandler(FilterQtMessages);
  app_ = std::make_unique<QApplication>(argc, argv);
  // Qt takes the locale from the environment; numbers are always read and written in "C".
  std::setlocale(LC_NUMERIC, "C");
  QFont font = QApplication::font();
  font.setPointSize(8);
  QApplication::setFont(font);
  {
    std::lock_guard lock(g_wakerLock);
    g_waker = new Waker;
  }
  Wake();  // tasks queued before the application existed
  if (const char* script = std::getenv("TACMON_SCRIPT"); script && *script) {
    automation::ArmExitWatchdog();
    if (!automation::Start(script)) {
      fprintf(stderr, "%s: cannot read the script\n", script);
      automation::Quit(1);
    }
  }
}

Application::~Application() {
  {
    std::lock_guard lock(g_wakerLock);
    delete g_waker;
    g_waker = nullptr;
  }
  app_.reset();
}

QApplication& Application::Qt() { return *app_; }

}  // namespace ui
