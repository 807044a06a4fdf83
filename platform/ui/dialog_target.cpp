// The message target of a dialog: posts and sends from any thread reach its message map on
// the UI thread.
#include "platform/ui/app_loop.h"
#include "platform/ui/detail/dialog_shared.h"
#include "platform/ui/detail/dispatch.h"
#include "platform/ui/dialog.h"

namespace ui {

void DialogTargetState::Post(const ThreadMessage& m) {
  auto self = shared_from_this();
  detail::EnqueuePost([self, m] {
    if (self->dialog) self->dialog->DeliverMessage(m.message, m.wParam, m.lParam);
  });
}

bool DialogTargetState::Send(const ThreadMessage& m, int ms, intptr_t* result) {
  if (IsUiThread()) {
    intptr_t r = dialog ? dialog->DeliverMessage(m.message, m.wParam, m.lParam) : 0;
    if (result) *result = r;
    return dialog != nullptr;
  }
  auto self = shared_from_this();
  intptr_t r = 0;
  bool delivered = false;
  bool ok = detail::EnqueueSend(
      [self, m, &r, &delivered] {
        if (!self->dialog) return;
        r = self->dialog->DeliverMessage(m.message, m.wParam, m.lParam);
        delivered = true;
      },
      ms);
  if (result) *result = r;
  return ok && delivered;
}

intptr_t Dialog::SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return DeliverMessage(message, wParam, lParam);
}

bool Dialog::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return handle_ && PostMessageTo(handle_, message, wParam, lParam);
}

}  // namespace ui
