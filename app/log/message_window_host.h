// What the log core needs from a message window. The Qt window (message_window.h) implements
// it; without one the log keeps its list headless. Every call may come from any thread and
// must return without waiting for the user interface.
#pragma once

#include <memory>

class MessageWindowHost {
 public:
  virtual ~MessageWindowHost() = default;
  // The list changed; the window re-reads GetMessageList() on its own thread.
  virtual void ListChanged() = 0;
  // Moves the window into corner (0: where it is), then shows (mode 5) or hides (mode 0) it.
  virtual void ShowWindow(int mode, int corner) = 0;
  // Moves the window into corner without changing its visibility.
  virtual void MoveToCorner(int corner) = 0;
  virtual void OpacityChanged(int opacity) = 0;
  // Destroys the window; called on the thread that called StartMessageLog / StopMessageLog.
  virtual void Destroy() = 0;
};

// Called by StartMessageLog on its own thread to create the window.
using MessageWindowFactory = std::shared_ptr<MessageWindowHost> (*)();
void SetMessageWindowFactory(MessageWindowFactory factory);
