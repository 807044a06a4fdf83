#include "kcd_main.h"

#include "app/main/app_start.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "platform/ui/message_box.h"

#include "params/parameter_store.h"
#include "app/log/message_log.h"
#include "medstore/medstore.h"

namespace {

KCDMain* g_mainDialog = nullptr;

// medstore reports through this callback into the message log.
void ForwardToLog(const char* message) { AddLogMessage(message); }

}  // namespace

KCDMain* TheMainDialog() { return g_mainDialog; }

Text1251 MainHelpText() {
  static const char* const kLines[] = {
      "Для записи нажатий:"_cp,
      "1)Нажмите на кнопку `Запись операции'."_cp,
      "2)В открывшемся диалоге заполните требуемые поля и нажмите на кнопку `OK'."_cp,
      "3)В диалоге записи операции нажмите кнопку `Connect'."_cp,
      "4)Для начала записи нажатия нажмите кнопку включения механорецептора."_cp,
      "Дождитесь осуществления соединения."_cp,
      "5)Для завершения записи нажатия нажмите кнопку отключения механорецептора."_cp,
      "После этого в списке нажатий появится иконка записанного нажатия."_cp,
      "6)К каждой записи нажатия можно прикрепить текстовый комментарий с помощью "_cp,
      "нажатия на кнопку, расположенную в левом нижнем углу изображения нажатия."_cp,
      "7)Для завершения работы нажмите на кнопку  `Disconnect' и на кнопку `Выйти'."_cp,
      "",
      "Для просмотра нажатий внутри диалога записи операции:"_cp,
      "1)Соединение с механорецептором должно быть предварительно разорвано"_cp,
      "с помощью нажатия на кнопку `Disconnect'"_cp,
      "2)Дважды кликните мышью на изображение нажатия в списке нажатий."_cp,
      "3)В открывшемся диалоге показа нажатия для показа нажатия следует кликнуть"_cp,
      "на кнопку, расположенную в левом нижнем углу диалога."_cp,
      "Изображение состояния механорецептора можно прокручивать по времени с "_cp,
      "помощью ползунка."_cp,
      "",
      "Для просмотра записанной операции операции:"_cp,
      "1)В главном диалоге программы кликните на кнопку"_cp,
      "`Список операций в локальной БД, записанных с рецептора'"_cp,
      "2)Выберите требуемую операцию из списка и нажмите кнопку `Загрузить'"_cp,
      "3)Просмотр записанных нажатий описан выше."_cp,
      "",
      "Если что-то не работает:"_cp,
      "1)Проверьте, не разряжен ли аккумулятор механорецептора."_cp,
      "2)Закройте программу."_cp,
      "3)Отсоедините устройства от компьютера и заново подсоедините их."_cp,
      "",
      "",
      "",
  };
  Text1251 text;
  for (size_t i = 0; i < std::size(kLines); ++i) {
    if (i) text += "\r\n";
    text += kLines[i];
  }
  return text;
}

KCDMain::KCDMain() : Dialog(142) { g_mainDialog = this; }

KCDMain::~KCDMain() {
  CloseDatabases();
  delete settings_;
  if (g_mainDialog == this) g_mainDialog = nullptr;
}

bool KCDMain::OnInitDialog() {
  // 1. Folders and the bootstrap (which starts the message log).
  CreateDatabaseFolders();
  PrepareDataDirectories();
  // 3. The workstation settings.
  settings_ = new ParameterSet;
  LoadPars("KCDMain", settings_);
  SetItemText(1019, MainHelpText());
  // 7. The stationary databases.
  OpenDatabases();
  return true;
}

void KCDMain::OpenDatabases() {
  const std::string root = winpath::kDatabaseRoot;
  std::string path = root + "DB";
  patients_ = InitUserDB(path.data(), ForwardToLog);
  if (!patients_) ui::MessageBox(this, "Не удается инициализировать базу данных пациентов"_cp);
  path = root + "DB_op";
  operations_ = InitOperationDB(path.data(), ForwardToLog);
  if (!operations_) ui::MessageBox(this, "Не удается инициализировать базу данных операторов"_cp);
  path = root + "DB_doc";
  surgeons_ = InitDoctorDB(path.data(), ForwardToLog);
  if (!surgeons_) ui::MessageBox(this, "Не удается инициализировать базу данных докторов"_cp);
  path = root + "DB_push";
  pushes_ = InitPushDB(path.data(), ForwardToLog);
  if (!pushes_) ui::MessageBox(this, "Не удается инициализировать базу данных нажатий"_cp);
}

void KCDMain::CloseDatabases() {
  if (pushes_) ClosePushDB(pushes_);
  if (patients_) CloseUserDB(patients_);
  if (operations_) CloseOperationDB(operations_);
  if (surgeons_) CloseDoctorDB(surgeons_);
  pushes_ = nullptr;
  patients_ = nullptr;
  operations_ = nullptr;
  surgeons_ = nullptr;
}

void KCDMain::OnDestroy() {
  CloseDatabases();
  if (settings_) {
    // Settings are written when they are changed, never on closing.
    settings_->modified = false;
    FreePars(settings_);
  }
  StopMessageLog();
}
