// One QApplication (through ui::Application) for every UI test of the binary.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <functional>

#include "platform/ui/app_loop.h"

namespace uitest {

// Runs the event loop until done() or ms pass; true when done.
inline bool Pump(const std::function<bool()>& done, int ms = 3000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

inline void PumpFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace uitest
