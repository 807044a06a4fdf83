#include "tacmon_app.h"

#include <csignal>
#include <cstdio>

#include "app/log/message_window.h"
#include "app/main/app_start.h"
#include "app/main/kcd_main.h"
#include "display/display_windows.h"
#include "platform/ui/app_loop.h"
#include "platform/ui/automation.h"
#include "platform/ui/message_box.h"
#include "recognition/recognition.h"
#include "recording/recording_windows.h"
#include "recording/tuning_commands.h"
#include "tester/draft_passports.h"
#include "tester/tester_windows.h"
#include "view/ctacmon_dlg.h"

int CtacmonApp::Run(int argc, char** argv) {
  // A write past a file-size limit fails with an error that the writer reports (a push kept
  // as damaged, a log line missed) instead of ending the program in the middle of a recording.
  std::signal(SIGXFSZ, SIG_IGN);
  ui::Application app(argc, argv);
  view::RegisterViewerAutomation();  // "viewer FILE" in scripted runs
  recording::InstallRecordingWindows();
  recording::InstallTuningCommands();
  tester::InstallPassports();
  tester::InstallTesterWindows();
  recognition::InstallRecognition();
  display::InstallDisplay();
  InitInstance(argc, argv);
  return ui::automation::ExitStatus();
}

bool CtacmonApp::InitInstance(int argc, char** argv) {
  StartValues& values = TheStartValues();
  CMyCommandLineInfo info(values, [] {
    Text1251 usage = UsageText();
    std::fputs(Cp1251ToUtf8(usage).c_str(), stderr);
    std::fflush(stderr);
    ui::MessageBox(nullptr, usage, "");
  });
  info.ParseCommandLine(argc, argv);
  if (values.usageShown) return false;  // no main window; the process ends
  InstallMessageWindow();
  KCDMain dlg;
  dlg.DoModal();
  return false;  // no message loop of the application's own
}
