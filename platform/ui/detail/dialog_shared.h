// Pieces shared by the files behind ui::Dialog (internal to platform/ui): the message target
// that carries other threads' messages to a dialog, and helpers of more than one file.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/thread.h"

namespace ui {

class Dialog;

// Registered with RegisterWindow. `dialog` is read and cleared on the UI thread only; worker
// threads only queue closures that look at it once they run there.
struct DialogTargetState : MessageTarget, std::enable_shared_from_this<DialogTargetState> {
  Dialog* dialog = nullptr;

  void Post(const ThreadMessage& m) override;
  bool Send(const ThreadMessage& m, int ms, intptr_t* result) override;
};

namespace detail {

// A caption as a button, label or menu shows it (CR dropped).
QString ButtonText(std::string_view caption);
// Routes key presses to the accelerators of the dialog they belong to (installed once).
void InstallAcceleratorFilter();

}  // namespace detail

}  // namespace ui
