// Scripted runs: when $TACMON_SCRIPT names a file, its lines are executed one by one whenever
// the event loop is idle (also inside modal dialogs and message boxes), against the active
// window (the most recently shown visible one). Built-in commands:
//   click ID | text ID TEXT... | check ID 0|1 | select ID INDEX | menu ID | key NAME
//   dblclick ID INDEX      (double click on an item of a list box or list view)
//   answer OK|Cancel|Yes|No|Abort|Retry|Ignore   (waits for a message box or modal dialog)
//   dump FILE | snapshot FILE.png | wait MS | quit
//   activate TEMPLATE_ID   (makes that open dialog the active window)
//   close                  (closes the active window as its frame's close button does)
//   file PATH              (chooses PATH in the open file dialog; waits for one to open)
//   mouse down|up|move|dblclk|rdown|rup X Y   (client coordinates of the active window)
//   until ID shown|hidden|enabled|disabled MS (waits for a control of the active window; fails
//                                               after MS milliseconds)
// An unknown line or a missing control is reported on standard error with its line number
// and ends the run with status 1. Windows add commands with RegisterCommand (for example
// "open-viewer FILE").
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ui {
class Dialog;
}

namespace ui::automation {

enum class Result {
  Done,    // go on with the next line
  Retry,   // not yet possible (e.g. waiting for a window): run again at the next idle moment
  Failed,  // error set: report and end the run
};

struct Context {
  int line = 0;                   // 1-based line number in the script
  std::vector<std::string> args;  // words after the command (UTF-8)
  std::string rest;               // everything after the command word, as written
  Dialog* active = nullptr;       // active window (may be null)
  std::string error;              // set by a failing command
  int attempts = 0;               // how often this line was retried
};

using Command = std::function<Result(Context&)>;
void RegisterCommand(const std::string& name, Command command);

// Starts a script (Application does this for $TACMON_SCRIPT). False when it cannot be read.
bool Start(const std::string& scriptPath);
bool Running();
// After quit the process is ended by force when it has not ended within 15 s (programs; tests
// running scripts in-process leave it off).
void ArmExitWatchdog();
// 0 unless a line failed.
int ExitStatus();
// Ends the run: closes message boxes and dialogs; the program then leaves its main dialog.
void Quit(int status);

Dialog* ActiveWindow();
// A mouse action ("down", "up", "move", "dblclk", "rdown", "rup") at client point (x, y) of
// target, sent when the current line is done; Failed with error for an unknown action.
Result Mouse(Dialog& target, const std::string& action, int x, int y, std::string& error);
// The JSON of the "dump" command.
std::string DumpJson();

}  // namespace ui::automation
