// The settings the link reads, and the host of programs and tests without the hub dialog.
#include <cmath>

#include "acquisition/link/com_read_thread.h"

int LinkSettings::PeriodMs() const {
  double ms = std::round(displayPeriod * 1000.0);
  if (!(ms >= 1)) return 1;
  return ms > 600000 ? 600000 : static_cast<int>(ms);
}

LinkSettings SimpleLinkHost::Settings() {
  std::lock_guard l(lock_);
  return settings_;
}

void SimpleLinkHost::SetSettings(const LinkSettings& s) {
  std::lock_guard l(lock_);
  settings_ = s;
}

void SimpleLinkHost::SetReceptorStatusText(const Text1251& text) {
  std::lock_guard l(lock_);
  status_ = text;
}

Text1251 SimpleLinkHost::StatusText() {
  std::lock_guard l(lock_);
  return status_;
}
