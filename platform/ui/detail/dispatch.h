// The UI thread's task queue behind window messages from other threads (internal).
#pragma once

#include <functional>

namespace ui::detail {

// Queues fn for the UI thread (from any thread).
void EnqueuePost(std::function<void()> fn);
// Queues fn and waits at most ms (ms < 0: no limit) for it to run. A task that has not started
// when the time is up is dropped and false returned; one already running is waited for.
bool EnqueueSend(std::function<void()> fn, int ms);
// Registers the thread calling it as the UI thread (Application does it).
void SetUiThread();

}  // namespace ui::detail
