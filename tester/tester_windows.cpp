#include "tester/tester_windows.h"

#include <cstdio>
#include <fstream>
#include <memory>

#include "app/main/app_start.h"
#include "platform/ui/app_loop.h"
#include "platform/ui/automation.h"
#include "platform/ui/message_box.h"
#include "recording/kcd_operation_window.h"
#include "recording/operation_commands.h"
#include "tester/cdavav_boiler_thread.h"
#include "tester/kcd_knee.h"

namespace tester {

namespace {

// The one tester thread (of the one operation window) and the one test dialog; UI thread only.
std::unique_ptr<CDavavBoilerThread> g_thread;
KCDKnee* g_knee = nullptr;

void DestroyKnee() {
  if (g_knee && g_knee->HasWindow()) g_knee->DestroyWindow();
}

void StopThread() {
  if (!g_thread) return;
  // Waits serve the window messages the thread may be sending meanwhile.
  g_thread->Quit(1000, [](WorkerThread& t, int ms) { return ui::JoinServing(t, ms); });
  if (!g_thread->Running()) {
    g_thread.reset();
  } else {
    ui::JoinServing(*g_thread, -1);  // its waits are cut short: it ends soon
    g_thread.reset();
  }
}

void OnLink(recording::TesterLinkEvent e) {
  switch (e) {
    case recording::TesterLinkEvent::kConnected:
      if (g_thread) return;
      // The command line has been read by now: switch k logs the messages sent.
      SetLogTesterMessages(TheStartValues().testerMessages);
      {
        TesterThreadHost host;
        host.showMessage = [](const Text1251& text) { ui::MessageBox(nullptr, text, ""); };
        g_thread = std::make_unique<CDavavBoilerThread>(host);
        if (!g_thread->Start()) g_thread.reset();
      }
      break;
    case recording::TesterLinkEvent::kDisconnected:
      StopThread();
      break;
    case recording::TesterLinkEvent::kWindowGone:
      DestroyKnee();
      StopThread();
      break;
  }
}

void OpenKnee(recording::KCDOperationWindow& window) {
  if (!g_thread) {
    ui::MessageBox(&window, "Соединение с механорецептором не установлено"_cp, "");
    return;
  }
  DestroyKnee();
  KneeHost host;
  host.thread = [] { return g_thread.get(); };
  host.record = window.RecordView();
  host.hub = &window.Hub();
  auto* knee = new KCDKnee(host);  // deletes itself when its window is gone
  knee->onGone = [knee] {
    if (g_knee == knee) g_knee = nullptr;
  };
  g_knee = knee;
  if (!knee->Create(&window)) {
    g_knee = nullptr;
    delete knee;
    return;
  }
  knee->ShowWindow(1);
}

// "knee-figures FILE": the points and figures of the open test dialog, one "name value" a line.
ui::automation::Result KneeFigures(ui::automation::Context& c) {
  if (c.args.size() != 1) {
    c.error = "knee-figures FILE";
    return ui::automation::Result::Failed;
  }
  if (!g_knee)
    return c.attempts < 200 ? ui::automation::Result::Retry : ui::automation::Result::Failed;
  const FitOptions o = g_knee->Options();
  const CalibrationResults r = g_knee->Results();
  std::ofstream out(c.args[0]);
  char buf[1024];
  std::snprintf(buf, sizeof buf,
                "count %d\ngroups %d\nfit %d\na %.10g\nb %.10g\nmeanError %.10g\nmaxError "
                "%.10g\nthreshold %.10g\nsensitivity %.10g\nline %s\n",
                static_cast<int>(g_knee->Points().size()), r.groups, r.fit ? 1 : 0, r.a, r.b,
                r.meanError, r.maxError, r.threshold, r.sensitivity,
                Cp1251ToUtf8(ResultsLine(r, o)).c_str());
  out << buf;
  return out ? ui::automation::Result::Done : ui::automation::Result::Failed;
}

}  // namespace

void InstallTesterWindows() {
  ui::automation::RegisterCommand("knee-figures", KneeFigures);
  recording::SetOperationCommand(recording::kCmdTestInstrument, OpenKnee);
  recording::SetTesterLinkHook(OnLink);
  // While a test dialog is open its converted force goes into the full-data text output.
  recording::SetTesterValueSource([] { return g_knee ? CurrentTesterValue() : -1; });
}

CDavavBoilerThread* CurrentTesterThread() { return g_thread.get(); }
KCDKnee* CurrentKneeDialog() { return g_knee; }

}  // namespace tester
