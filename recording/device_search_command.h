// The operation window's "Получить список подсоединенных устройств" (menu 32865): the recording
// view disconnects, the reading thread runs the device search (acquisition/link/device_search.h)
// once its link has stopped, the report is shown, and when it names a device the user is asked
// whether to connect to it: yes leaves that device alone for autoconnect in the hub's passport
// registry (the passport files stay as they are) and connects the recording view.
#pragma once

namespace recording {

class KCDOperationWindow;

// Installs the command into the operation window's table (operation_commands.h).
void InstallDeviceSearchCommand();
// The command itself, for window (UI thread; blocks until the search has ended).
void RunDeviceSearch(KCDOperationWindow& window);

}  // namespace recording
