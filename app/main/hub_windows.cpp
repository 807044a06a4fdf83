#include "hub_windows.h"

#include "platform/cp1251.h"
#include "platform/report.h"
#include "records/operation_description.h"

namespace {

HubWindowsFactory g_factory = nullptr;

void NotThereYet(const char* what) { AddLogMessage(what); }

}  // namespace

void HubWindows::StartDisplayThread(KCDMain&) {
  NotThereYet("Тактильный дисплей: связь с дисплеем пока не встроена в программу"_cp);
}

void HubWindows::OpenLocalOperations(KCDMain&, int onlyCopied) {
  NotThereYet(onlyCopied ? "Окно \"Список операций в лок.БД, перенесенных из глоб.БД\" пока "
                           "не встроено в программу"_cp
                         : "Окно \"Список операций в локальной БД, записанных с рецептора\" "
                           "пока не встроено в программу"_cp);
}

void HubWindows::OpenStationaryOperations(KCDMain&) {
  NotThereYet("Окно \"Список операций в стационарной БД\" пока не встроено в программу"_cp);
}

void HubWindows::OpenPassports(KCDMain&) {
  NotThereYet("Окно \"Паспорта устройств\" пока не встроено в программу"_cp);
}

void HubWindows::OpenOperationWindow(KCDMain&, const OperationDescription&) {
  NotThereYet("Окно \"Запись операции\" пока не встроено в программу"_cp);
}

void HubWindows::OpenLocalOperationWindow(KCDMain& hub, const Text1251&) {
  OpenOperationWindow(hub, {});
}

int HubWindows::OpenStationaryOperationWindow(KCDMain& hub, int) {
  OpenOperationWindow(hub, {});
  return -1;
}

int HubWindows::SaveLocalOperation(KCDMain& hub, const Text1251&) {
  OpenOperationWindow(hub, {});
  return -1;
}

void SetHubWindowsFactory(HubWindowsFactory factory) { g_factory = factory; }

std::unique_ptr<HubWindows> MakeHubWindows() {
  if (g_factory) return g_factory();
  return std::make_unique<HubWindows>();
}
