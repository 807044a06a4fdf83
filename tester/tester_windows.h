// The test instrument in the program: the tester thread follows the probe link of the operation
// window (started on Connect, ended on Disconnect and with the window), and the window's menu
// command 32838 opens the test dialog KCDKnee while the thread exists.
#pragma once

namespace tester {

class CDavavBoilerThread;
class KCDKnee;

// Installs the menu command, the link hook and the automation command (at program start):
//   knee-figures FILE   writes the points count and figures of the open test dialog to FILE
void InstallTesterWindows();
// The current thread and dialog (UI thread), or nullptr.
CDavavBoilerThread* CurrentTesterThread();
KCDKnee* CurrentKneeDialog();

}  // namespace tester
