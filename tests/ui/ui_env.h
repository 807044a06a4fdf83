// One QApplication (through ui::Application) for every UI test of the binary.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
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

// Answers the next message box that opens with the button of `answer` (ui::IDOK, ...).
inline void AnswerNextBox(int answer) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    for (QAbstractButton* b : box->buttons())
      if (b->property("tacmonAnswer").toInt() == answer) {
        timer->stop();
        timer->deleteLater();
        b->click();
        return;
      }
  });
  timer->start(10);
}

}  // namespace uitest
