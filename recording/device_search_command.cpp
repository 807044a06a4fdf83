#include "recording/device_search_command.h"

#include <QApplication>
#include <memory>

#pragma push_macro("slots")
#undef slots
#include "acquisition/link/com_read_thread.h"
#pragma pop_macro("slots")
#include "app/main/kcd_main.h"
#include "platform/report.h"
#include "platform/sync.h"
#include "platform/ui/app_loop.h"
#include "platform/ui/message_box.h"
#include "recording/kcd_operation_window.h"
#include "recording/operation_commands.h"

namespace recording {

void InstallDeviceSearchCommand() { SetOperationCommand(kCmdDeviceSearch, &RunDeviceSearch); }

void RunDeviceSearch(KCDOperationWindow& window) {
  CCOMReadThread* link = window.Link();
  if (!link) return;
  // The link lets go of its ports first: the search is queued behind the end of the
  // connection on the reading thread.
  CtacmonDlgRecord* view = window.RecordView();
  if (view && view->Connected()) view->Disconnect();
  auto job = std::make_shared<DeviceSearchJob>();
  link->RequestDeviceSearch(job);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  ui::WaitServingMessages([&] { return job->done.load() || !link->Running(); }, -1);
  QApplication::restoreOverrideCursor();
  if (!job->done.load()) return;

  const DeviceSearchResult& r = job->result;
  if (!r.device) {
    ui::MessageBox(&window, r.report);
    return;
  }
  if (ui::MessageBox(&window, r.report + ConnectQuestion(*r.device), "", ui::MB_YESNO) != ui::IDYES)
    return;
  KCDMain& hub = window.Hub();
  {
    TimedLock l(hub.PassportLock(), 1000);
    if (!l) {
      ReportCantLock("32865001");
      return;
    }
    UseOnlyForAutoconnect(hub.Passports(), *r.device);
  }
  if (view) view->Connect();
}

}  // namespace recording
