#include "sim/display_window.h"

#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

namespace sim {
namespace {

class LevelsWidget : public QWidget {
 public:
  explicit LevelsWidget(DisplaySim& display) : display_(display) {
    setWindowTitle(QString("tacdisplay COM%1").arg(display.Options().com));
    resize(19 * 22 + 20, 200);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const auto levels = display_.Levels();
    const bool on = display_.On();
    const int top = 24, bottom = height() - 20, cell = (width() - 20) / 19;
    p.drawText(10, 16,
               QString("%1   commands: %2")
                   .arg(on ? "on" : "off")
                   .arg(static_cast<qulonglong>(display_.Commands())));
    for (int k = 0; k < 19; ++k) {
      const int x = 10 + k * cell;
      const int h = (bottom - top) * levels[k] / 255;
      p.fillRect(x + 2, bottom - h, cell - 4, h, on ? QColor(40, 110, 200) : QColor(160, 160, 160));
      p.drawRect(x + 2, top, cell - 4, bottom - top);
      p.drawText(x, bottom + 2, cell, 16, Qt::AlignHCenter, QString::number(k + 1));
    }
  }

 private:
  DisplaySim& display_;
};

}  // namespace

int RunDisplayWindow(int argc, char** argv, DisplaySim& display, std::atomic<bool>& stop) {
  QApplication app(argc, argv);
  LevelsWidget w(display);
  w.show();
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (stop.load()) app.quit();
    w.update();
  });
  timer.start(50);
  const int status = app.exec();
  stop = true;
  return status;
}

}  // namespace sim
