#include "recording/recording_resources.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <string>

#include "platform/ui/resources.h"

namespace recording {
namespace {

const char kTemplates[] = R"rc(
DIALOG 143 "Запись операции" 0 0 640 420 STYLE resizable minimizebox maximizebox MENU 147
  BUTTON       1000  520 400  54 16 "Метка"
  DEFBUTTON       1  580 400  54 16 "Выйти"
  BUTTON      57670  460 400  54 16 "&Справка" STYLE hidden
END
MENU 147
  POPUP "Операция"
    ITEM 32784 "Создать новую запись операции"
    ITEM 32787 "Открыть операцию"
    ITEM 32785 "Изменить описание пациента"
    SEPARATOR
    ITEM 32795 "Сохранить операцию в БД"
    SEPARATOR
    ITEM 32788 "Окно сообщений"
    SEPARATOR
    ITEM 32786 "Выйти"
  END
  POPUP "Нажатия"
    ITEM 32789 "Сохранить последнее нажатие как контрольное"
    ITEM 32793 "Сохранить выделенное нажатие как контрольное"
    ITEM 32790 "Сохранить последнее нажатие для ввода отладочного нажатия (вместо COM-порта)"
    ITEM 32794 "Сохранить выделенное нажатие для ввода отладочного нажатия (вместо COM-порта)"
    SEPARATOR
    ITEM 32792 "Показать/скрыть удаленные нажатия"
  END
  POPUP "Устройства"
    ITEM 32799 "Создать черновой паспорт устройства по последнему нажатию"
    ITEM 32859 "Создать черновой паспорт второго устройства по последнему нажатию"
    ITEM 32800 "Загрузить паспорт устройства"
    SEPARATOR
    ITEM 32865 "Получить список подсоединенных устройств"
    SEPARATOR
    ITEM 32838 "Обслуживание тестирующего прибора"
  END
  POPUP "Чувствительность"
    ITEM 32858 "Чувствительность механорецептора"
    ITEM 32861 "Чувствительность второго механорецептора"
    ITEM 32860 "Характеристики отдельного сенсора механорецептора"
    ITEM 32862 "Характеристики отдельного сенсора второго механорецептора"
    SEPARATOR
    ITEM 32864 "Тактильный дисплей"
    ITEM 32863 "Подать постоянное усилие на дисплей"
  END
END
DIALOG 144 "" 0 0 400 300 STYLE noframe resizable
  EDIT          1001    3   3 300  12 "" STYLE readonly
  FRAME         1002    3  20  40  40 "" STYLE hidden
  FRAME         1003   50  20  44  40 "" STYLE hidden
  BUTTON        1000  392   3   4  12 "" STYLE hidden
  TRACKBAR      1009    3 262 390  10 "" STYLE hidden
  BITMAPBUTTON  1010    3 276  24  20 "143"
  BITMAPBUTTON  1011   30 276  24  20 "142" STYLE hidden
  BUTTON        1012   60 278  60  16 "Connect"
  BUTTON        1013   60 278  60  16 "Disconnect" STYLE hidden
  BUTTON        1017  126 278  60  16 "Установить 0"
  LTEXT         1118  190 276 140  20 "Не забудьте нажать Disconnect, если требуется подсоединить новый механорецептор" STYLE hidden
  BUTTON        1014  296 278  32  16 "Log (З)" STYLE hidden
  BUTTON        1015  330 278  32  16 "Log(ЛП)" STYLE hidden
  BUTTON        1016  364 278  32  16 "Log(2)" STYLE hidden
END
)rc";

// A plain 48 x 48 picture: a filled rounded square with a short label.
QImage Picture(QColor fill, const char* label, int shape) {
  QImage img(48, 48, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(40, 40, 40), 2));
  p.setBrush(fill);
  if (shape == 0) {
    p.drawRoundedRect(QRectF(3, 3, 42, 42), 8, 8);
  } else if (shape == 1) {  // start: a triangle
    const QPointF t[3] = {{14, 8}, {40, 24}, {14, 40}};
    p.drawPolygon(t, 3);
  } else if (shape == 2) {  // pause: two bars
    p.drawRect(QRectF(12, 8, 9, 32));
    p.drawRect(QRectF(27, 8, 9, 32));
  } else {  // stop: a square
    p.drawRect(QRectF(10, 10, 28, 28));
  }
  if (label && *label) {
    QFont f = p.font();
    f.setPixelSize(13);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(3, 3, 42, 42), Qt::AlignCenter, QString::fromUtf8(label));
  }
  return img;
}

}  // namespace

void RegisterRecordingResources() {
  static bool done = false;
  if (done) return;
  done = true;
  if (!ui::FindDialogTemplate(143) || !ui::FindDialogTemplate(144) || !ui::FindMenu(147)) {
    std::string error;
    if (!ui::RegisterResources(kTemplates, &error))
      std::fprintf(stderr, "recording resources: %s\n", error.c_str());
  }
  const struct {
    int id;
    QColor fill;
    const char* label;
    int shape;
  } pictures[] = {
      {kBitmapStart, QColor(40, 170, 60), "", 1},
      {kBitmapPause, QColor(230, 160, 30), "", 2},
      {kBitmapStop, QColor(200, 40, 40), "", 3},
      {kBitmapReceptorFormat0, QColor(40, 150, 60), "M0", 0},
      {kBitmapReceptorOff, QColor(150, 150, 150), "M", 0},
      {kBitmapDisplayOn, QColor(40, 110, 200), "D", 0},
      {kBitmapDisplayOff, QColor(150, 150, 150), "D", 0},
      {kBitmapReceptorFormat1, QColor(40, 150, 60), "M1", 0},
      {kBitmapReceptorNone, QColor(230, 160, 30), "M?", 0},
  };
  for (const auto& pic : pictures)
    if (ui::LoadBitmap(pic.id).isNull())
      ui::RegisterBitmap(pic.id, Picture(pic.fill, pic.label, pic.shape));
}

}  // namespace recording
