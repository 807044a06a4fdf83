// KCDMain, the main hub dialog (dialog 142 "Механорецептор"), in its reduced form: its
// initialisation creates the database folders, runs the directory bootstrap (which starts the
// message log), reads the parameter set "KCDMain" and opens the four stationary databases;
// "Выйти" ends it and with it tacmon. Closing stops the log and closes the databases.
#pragma once

#include "platform/ui/dialog.h"

struct user_list;
struct doctor_list;
struct operation_list;
struct push_list;
struct ParameterSet;

class KCDMain : public ui::Dialog {
 public:
  KCDMain();
  ~KCDMain() override;

  user_list* Patients() const { return patients_; }
  operation_list* Operations() const { return operations_; }
  doctor_list* Surgeons() const { return surgeons_; }
  push_list* Pushes() const { return pushes_; }

 protected:
  bool OnInitDialog() override;
  void OnDestroy() override;

 private:
  void OpenDatabases();
  void CloseDatabases();

  user_list* patients_ = nullptr;
  operation_list* operations_ = nullptr;
  doctor_list* surgeons_ = nullptr;
  push_list* pushes_ = nullptr;
  ParameterSet* settings_ = nullptr;
};

// The main hub dialog while it lives, else null.
KCDMain* TheMainDialog();

// The help text of edit 1019 (CP1251, lines joined by CR LF).
Text1251 MainHelpText();
