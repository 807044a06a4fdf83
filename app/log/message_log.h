// The message log: every AddLogMessage text is stamped, appended to "Logs\LogFile2.log" and
// shown in the message window (CKD_MessageBox). Two threads serve it: the window thread
// (KCD_LogTableThread2Dialog) answers the log's thread messages, the work thread
// (KCD_LogTableThread22Work) moves queued messages from the ring into the window's list, so
// that reporting never waits for the user interface.
//
// The message log installs itself as the AddLogMessage sink (platform/report.h) on
// StartMessageLog. Programs with a user interface call InstallMessageWindow()
// (app/log/message_window.h) before StartMessageLog; without it the log keeps its list
// headless (tests, tools).
//
// Lock order: add lock (3 s), then ring lock (3 s). The work thread pops one entry under the
// ring lock, releases it, then takes the shared user-interface semaphore to display the entry
// (so a reporting thread never waits behind the user interface); the list lock is innermost.
// The log file is read and written only by the log's file thread (app/log/log_file_thread.h):
// a reporter waits at most 1 s for its lines to reach the file, and not at all while the file
// thread is behind, so a slow or stuck disk stalls no caller. Messages that miss the file (or
// the add lock) are counted, and the count is reported as a message once the log can take it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/cp1251.h"
#include "platform/sync.h"

// Thread messages of both log threads (WM_USER + 3 .. + 8).
inline constexpr uint32_t kLogMsgIgnored1 = 0x403;
inline constexpr uint32_t kLogMsgToggleWindow = 0x404;
inline constexpr uint32_t kLogMsgIgnored2 = 0x405;
inline constexpr uint32_t kLogMsgReloadWithHeader = 0x406;
inline constexpr uint32_t kLogMsgEnd = 0x407;
inline constexpr uint32_t kLogMsgNoAutoPopup = 0x408;

// Starts the window thread, then the work thread, both with path (root + "Logs\LogFile2.log").
// Called once by the directory bootstrap; later calls only change the path.
void StartMessageLog(const char* path);
// Ends both threads (main hub destroyed). Messages after it are still written to the file.
void StopMessageLog();
// 5 shows the window (after reading the docking corner), 0 hides it; a docked window is moved
// into its corner first. Callable from any thread; never waits for the user interface.
void ShowMessageWindow(int mode);
// Refills the list from the log file; withHeader also writes a start header into the file.
void ReloadMessageList(bool withHeader);

// Sets the log file path of both threads (push viewer and recording view do this on opening).
void SetMessageLogPath(const char* path);
// Sets root + "Logs\LogFile2.log" again and posts 0x406 to the window thread, so that a new
// start header is written and the list reloaded.
void MarkMessageLogStart();
// Thread identifiers for PostThreadMessageTo; 0 while the thread does not run.
uint32_t MessageLogWindowThreadId();
uint32_t MessageLogWorkThreadId();
bool PostToMessageLogWindowThread(uint32_t message, uintptr_t wParam = 0);

// Shared user-interface semaphore (initial 1, maximum 3): taken (1 s limit) around updates of
// windows from other threads.
Semaphore& SharedUiSemaphore();

// Window opacity for the whole program (50..255, initially 171).
int MessageWindowOpacity();
void SetMessageWindowOpacity(int value);

// Current state of the message window's list, for the window and for tests.
struct MessageListSnapshot {
  std::vector<Text1251> lines;  // top (newest) first
  int insertedCount = 0;
  bool noAutoPopup = true;
  bool showWarnings = false;
  bool visible = false;
  int corner = 0;
  uint64_t revision = 0;
};
MessageListSnapshot GetMessageList();
void SetNoAutoPopup(bool on);
// Takes the new state and reloads the list without a header.
void SetShowWarnings(bool on);
// Deletes the log file and empties the list (after the user said yes).
void EraseMessageLog();
// Starts the desktop's text viewer on the log file ($EDITOR when set, else xdg-open), detached
// and without a shell. False when it could not be started.
bool OpenMessageLogInViewer();
// Saves a docking corner (1..4) chosen with a corner button and moves the window into it.
void SetDockingCorner(int corner);
// The user moved the window: undock and delete "Logs\logplace.bin" (ignored while the window
// moves itself).
void OnMessageWindowMovedByUser();
// Waits (at most ms) until every queued message has reached the list and the file. For tests
// and tools.
bool FlushMessageLog(int ms);
