// The Qt application object and the UI thread's message service. Application creates
// QApplication (resetting LC_NUMERIC to "C" afterwards), the dispatcher that carries messages
// posted and sent from worker threads to dialogs, and starts the automation when
// $TACMON_SCRIPT names a script.
//
// Waiting on the UI thread for a worker (joining a thread that may be sending to a window)
// must go through WaitServingMessages / JoinServing: they serve sends and posted messages
// while they wait, so a worker blocked in SendMessageTimeoutTo can finish.
#pragma once

#include <functional>
#include <memory>

#include "platform/thread.h"

class QApplication;

namespace ui {

class Application {
 public:
  Application(int& argc, char** argv);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;
  QApplication& Qt();

 private:
  std::unique_ptr<QApplication> app_;
};

bool IsUiThread();

// Runs fn on the UI thread; RunOnUiThread waits for it (directly when already there).
void PostToUiThread(std::function<void()> fn);
void RunOnUiThread(std::function<void()> fn);

// Waits until done() is true or ms pass (ms < 0: no limit), serving window messages posted
// and sent from other threads. True when done() became true.
bool WaitServingMessages(const std::function<bool()>& done, int ms);
bool JoinServing(WorkerThread& thread, int ms);
// Serves the window messages waiting now (UI thread).
void ServePendingMessages();

}  // namespace ui
