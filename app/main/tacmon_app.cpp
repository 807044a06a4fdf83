#include "tacmon_app.h"

#include <cstdio>

#include "app/main/app_start.h"
#include "app/main/kcd_main.h"
#include "platform/ui/app_loop.h"
#include "platform/ui/automation.h"
#include "platform/ui/message_box.h"

#if TACMON_HAVE_LOG_WINDOW
#include "app/log/message_window.h"
#endif
#if TACMON_HAVE_VIEWER
#include "view/ctacmon_dlg.h"
#endif

int CtacmonApp::Run(int argc, char** argv) {
  ui::Application app(argc, argv);
#if TACMON_HAVE_VIEWER
  view::RegisterViewerAutomation();  // "viewer FILE" in scripted runs
#endif
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
#if TACMON_HAVE_LOG_WINDOW
  InstallMessageWindow();
#endif
  KCDMain dlg;
  dlg.DoModal();
  return false;  // no message loop of the application's own
}
