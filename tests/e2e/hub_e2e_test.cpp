// The main hub and the parameters dialog from start to end: which buttons each kind of main
// window shows, the port list over real pseudo-terminals, the settings written by "OK" byte for
// byte with their fallbacks, the default font, the receptor init strings file and the viewer's
// way into the parameters dialog.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>

#include <set>

#include "e2e/tacmon_run.h"
#include "platform/cp1251.h"

namespace {

namespace fs = std::filesystem;
using e2e::Controls;
using e2e::DefaultSettingsText;
using e2e::ReadFile;
using e2e::TacmonRun;

class Hub : public TacmonRun {
 protected:
  std::map<int, e2e::ControlState> Dumped(const std::string& file, const std::string& cls) {
    return Controls(ReadFile(dir_ / file), cls);
  }
  std::string Settings() { return ReadFile(Root() / "pars" / "KCDMain.par"); }
};

TEST_F(Hub, TheExtendedSwitchShowsExactlyItsButtons) {
  struct Button {
    int id;
    const char* caption;
    bool plain, extended;  // visible without and with /p
  };
  const Button kButtons[] = {
      {1000, "Запись операции", true, true},
      {1005, "Список операций в локальной БД, записанных с рецептора", true, true},
      {1011, "Список операций в лок.БД, перенесенных из глоб.БД", false, true},
      {1006, "Список операций в стационарной БД", true, true},
      {1001, "Просмотр файла с нажатием", false, false},
      {1008, "Пациенты", true, true},
      {1009, "Хирурги", true, true},
      {1004, "Параметры", false, true},
      {1007, "Сообщения", true, true},
      {1003, "Тест", false, false},
      {1010, "Паспорта устройств", false, true},
      {1012, "COM>>>", true, true},
      {57670, "&Справка", true, true},
      {1, "Выйти", true, true},
  };
  for (bool extended : {false, true}) {
    SCOPED_TRACE(extended ? "/p" : "plain");
    RunOk("dump hub.json\nclick 1\n",
          extended ? std::vector<std::string>{"/p"} : std::vector<std::string>{});
    auto controls = Dumped("hub.json", "KCDMain");
    std::set<int> buttons;
    for (const auto& [id, c] : controls)
      if (c.kind == "button") buttons.insert(id);
    EXPECT_EQ(buttons.size(), std::size(kButtons));
    for (const Button& b : kButtons) {
      ASSERT_TRUE(controls.count(b.id)) << b.id;
      EXPECT_EQ(controls[b.id].text, b.caption) << b.id;
      EXPECT_EQ(controls[b.id].visible, extended ? b.extended : b.plain) << b.id;
    }
    for (int id : {1017, 1018, 1002}) EXPECT_FALSE(controls[id].visible) << id;
    EXPECT_TRUE(controls[1020].visible);
    EXPECT_EQ(controls[1019].text.rfind("Для записи нажатий:\r\n1)Нажмите на кнопку", 0), 0u);
    EXPECT_EQ(controls[1019].text.substr(controls[1019].text.size() - 6), "\r\n\r\n\r\n");
  }
}

struct Pty {
  int master = -1;
  std::string slave;
};

Pty OpenPty() {
  Pty p;
  p.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (p.master >= 0 && grantpt(p.master) == 0 && unlockpt(p.master) == 0)
    p.slave = ptsname(p.master);
  return p;
}

TEST_F(Hub, PortListShowsThePortsThatCanBeOpenedNow) {
  const std::string script = "click 1012\nwait 20\ndump ports.json\nclick 1\n";
  RunOk(script);
  EXPECT_EQ(Dumped("ports.json", "KCDMain")[1020].text, "No ports.");

  fs::create_directories(dir_ / "ports");
  Pty com3 = OpenPty(), com5 = OpenPty(), com7 = OpenPty();
  ASSERT_FALSE(com3.slave.empty() || com5.slave.empty() || com7.slave.empty());
  fs::create_symlink(com3.slave, dir_ / "ports" / "COM3");
  fs::create_symlink(com5.slave, dir_ / "ports" / "COM5");
  fs::create_symlink(com7.slave, dir_ / "ports" / "COM7");
  fs::create_symlink(dir_ / "no-such-tty", dir_ / "ports" / "COM9");
  // COM7 is held by another process, as the probe link holds its port.
  int held = open(com7.slave.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  RunOk(script);
  EXPECT_EQ(Dumped("ports.json", "KCDMain")[1020].text, "COM3, COM5.");
  close(held);
  RunOk(script);
  EXPECT_EQ(Dumped("ports.json", "KCDMain")[1020].text, "COM3, COM5, COM7.");
  for (const Pty& p : {com3, com5, com7}) close(p.master);
}

TEST_F(Hub, ParametersOkWritesEverySettingInItsFixedOrder) {
  // A Cyrillic file name longer than the field: cut to 255 characters.
  std::string longName = "C:\\Tacmon\\pars\\";
  while (longName.size() < 400) longName += "данные";
  const std::string script =
      "click 1004\n"
      "text 1001 0.5\n"
      "text 1002 7\n"
      "check 1019 0\n"
      "text 1003 5000\n"
      "text 1022 abc\n"
      "check 1025 1\n"
      "text 1024 12x\n"
      "text 1023 0\n"
      "check 1026 0\n"
      "check 1020 0\n"
      "check 1030 1\n"
      "check 1049 0\n"
      "check 1017 0\n"
      "check 1018 0\n"
      "check 1021 1\n"
      "check 1005 1\n"
      "text 1004 " +
      longName +
      "\n"
      "check 1027 1\n"
      "click 1\n"
      "wait 20\n"
      "click 1\n";
  RunOk(script, {"/p"});
  const std::string name = Utf8ToCp1251(longName).substr(0, 255);
  const std::string expected = DefaultSettingsText({
      {"DtShowVideo", "0.5"},
      {"NAddSensorRectDomainMinUsed", "7"},
      {"NumCOMPort", "1000"},  // limited to 1..1000
      {"NumCOMPort2", "1"},
      {"NumDevice", "3"},  // not a number: the fallback
      {"NumDevice2", "12"},
      {"set_use_MechDisplay", "0"},
      {"set_disp_autoconnect", "0"},
      {"set_autoconnect", "0"},
      {"set_connect2", "1"},
      {"set_correspond_mech_receptor_sensor_to_display_sensor", "1"},
      {"file_instead_COM_port", name},
      {"set_use_file_instead_COM_port", "1"},
      {"SetAutoRecord", "0"},
      {"set_output_all_data_into_text_file", "1"},
      {"set_output_sensors_numbers", "0"},
      {"set_use_second_receptor_window", "0"},
      {"set_use_recognition_library", "1"},
  });
  EXPECT_EQ(Settings(), expected);

  // The next opening shows what was stored, and "OK" without changes writes the same bytes.
  RunOk("click 1004\ndump pars.json\nclick 1\nwait 20\nclick 1\n", {"/p"});
  auto c = Dumped("pars.json", "KCD_SetParameters");
  EXPECT_EQ(c[1001].text, "0.5");
  EXPECT_EQ(c[1003].text, "1000");
  EXPECT_EQ(c[1022].text, "3");
  EXPECT_EQ(c[1024].text, "12");
  EXPECT_EQ(c[1023].text, "1");
  EXPECT_EQ(Utf8ToCp1251(c[1004].text), name);
  EXPECT_FALSE(c[1019].checked);
  EXPECT_TRUE(c[1025].checked);
  for (int id : {1022, 1003, 1025, 1024, 1023, 1026, 1131, 1120, 1132, 1133})
    EXPECT_TRUE(c[id].visible) << id;
  EXPECT_EQ(Settings(), expected);
}

TEST_F(Hub, AutoconnectHidesTheReceptorControlsAndOkKeepsWhatIsNotShown) {
  WriteSettingsFile(
      DefaultSettingsText({{"NumCOMPort", "7"},
                           {"NumCOMPort2", "9"},
                           {"NumDevice", "11"},
                           {"NumDevice2", "2000"},  // out of range when stored: the fallback
                           {"NumCOMPortDisp", "17"},
                           {"set_connect2", "1"},
                           {"iSensor", "2"},
                           {"set_use_db_autosave", "0"},
                           {"dt_autosave", "33"},
                           {"CMechDisplay__SensibilityV0", "9"},
                           {"SensibilityReceptorV", "1.5"},
                           {"receptor_data_format", "2"}}));
  RunOk("click 1004\ndump pars.json\nclick 1\nwait 20\nclick 1\n", {"/p"});
  auto c = Dumped("pars.json", "KCD_SetParameters");
  for (int id : {1022, 1003, 1025, 1024, 1023, 1026, 1131, 1120, 1132, 1133})
    EXPECT_FALSE(c[id].visible) << id;
  for (int id :
       {1001, 1002, 1019, 1020, 1030, 1049, 1017, 1018, 1021, 1005, 1004, 1000, 1027, 1028, 1, 2})
    EXPECT_TRUE(c[id].visible) << id;
  EXPECT_EQ(c[1010].selection, 2);
  EXPECT_EQ(c[1007].selection, 2);
  EXPECT_EQ(Settings(), DefaultSettingsText({{"NumCOMPort", "7"},
                                             {"NumCOMPort2", "9"},
                                             {"NumDevice", "11"},
                                             {"NumDevice2", "1000"},
                                             {"NumCOMPortDisp", "17"},
                                             {"set_connect2", "1"},
                                             {"iSensor", "2"},
                                             {"set_use_db_autosave", "0"},
                                             {"dt_autosave", "33"},
                                             {"CMechDisplay__SensibilityV0", "9"},
                                             {"SensibilityReceptorV", "1.5"},
                                             {"receptor_data_format", "2"}}));
}

TEST_F(Hub, DisplayPeriodAndNumbersThatDoNotScanTakeTheirFallbacks) {
  struct Case {
    const char* stored;  // "DtShowVideo" in the file
    const char* typed;
    const char* period;  // stored after "OK"
    const char* port;    // "NumCOMPort" typed as the same text ("%d": "1e999" is 1)
  };
  const Case kCases[] = {
      {"0.2", "nan", "0.2", "3"},
      {"0.2", "inf", "0.2", "3"},
      {"500", "abc", "0.05", "3"},
      {"0.2", "1e999", "0.2", "1"},
      {"0.2", "101", "0.05", "101"},
      {"0.2", "-1", "0.05", "1"},
      {"0.2", "0", "0.05", "1"},
      {"0.2", "100", "100", "100"},
      {"0.2", "99999999999", "0.05", "3"},  // beyond an int: no number
      {"0.2", "", "0.2", "3"},
      {"0.2", "пять", "0.2", "3"},
  };
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.typed);
    WriteSettingsFile(DefaultSettingsText({{"DtShowVideo", k.stored}, {"set_autoconnect", "0"}}));
    RunOk(std::string("click 1004\ntext 1001 ") + k.typed + "\ntext 1003 " + k.typed +
              "\nclick 1\nwait 20\nclick 1\n",
          {"/p"});
    EXPECT_EQ(Settings(),
              DefaultSettingsText(
                  {{"DtShowVideo", k.period}, {"NumCOMPort", k.port}, {"set_autoconnect", "0"}}));
  }
}

TEST_F(Hub, TheDebugFileIsChosenInTheFileDialog) {
  const fs::path chosen = Root() / "pars" / "отладка.bin";
  fs::create_directories(chosen.parent_path());
  std::ofstream(chosen) << "x";
  RunOk(
      "click 1004\nclick 1000\nfile " + chosen.string() + "\nwait 50\nclick 1\nwait 20\nclick 1\n",
      {"/p"});
  EXPECT_EQ(Settings(),
            DefaultSettingsText({{"file_instead_COM_port", Utf8ToCp1251(chosen.string())}}));
}

TEST_F(Hub, CancelWritesNothingButTheChosenFontIsWrittenAtOnce) {
  RunOk("click 1004\ntext 1001 7\nclick 1028\nanswer OK\nwait 20\nclick 2\nwait 20\nclick 1\n",
        {"/p"});
  EXPECT_FALSE(fs::exists(Root() / "pars" / "KCDMain.par"));
  const std::string font = ReadFile(Root() / "pars" / "DefaultLogFont.bin");
  ASSERT_EQ(font.size(), 60u);
  EXPECT_NE(font[28], 0) << "a face name";
}

TEST_F(Hub, ReceptorInitStringsAreCreatedOnceAndReadTrimmed) {
  RunOk("click 1\n");
  const fs::path file = Root() / "ENUMS" / "ReceptorInitStrings.txt";
  EXPECT_EQ(ReadFile(file),
            "btcaa=0a1b2c3d4e5f\r\n2)btcaa=0a1b2c3d4e60\r\n8)btcaa=0a1b2c3d4e61\r\n");

  std::ofstream(file, std::ios::binary) << "btcaa=0   \r\n\r\n   \r\n";
  RunOk("click 1004\ndump pars.json\nclick 2\nwait 20\nclick 1\n", {"/p"});
  EXPECT_EQ(Dumped("pars.json", "KCD_SetParameters")[1010].items,
            std::vector<std::string>{"btcaa=0"});
  EXPECT_EQ(ReadFile(file), "btcaa=0   \r\n\r\n   \r\n");  // read, never rewritten
}

TEST_F(Hub, TheViewerOpensTheHubsParametersDialog) {
  const std::string push = std::string(TACMON_TEST_DATA) + "/acquisition/press_1006.psh";
  RunOk("viewer " + push +
        "\nwait 50\nmenu 32779\nwait 50\ndump pars.json\ntext 1002 9\n"
        "click 1\nwait 50\nquit\n");
  const std::string json = ReadFile(dir_ / "pars.json");
  EXPECT_NE(json.find(R"({"class":"KCD_SetParameters","template":141,)"), std::string::npos)
      << json;
  EXPECT_EQ(Settings(), DefaultSettingsText({{"NAddSensorRectDomainMinUsed", "9"}}));
}

TEST_F(Hub, ButtonsOfTheHubOpenTheirWindows) {
  RunOk(
      // The operation lists and the passports dialog each open and are left with "Выйти".
      "click 1005\nactivate 156\nclick 2\nclick 1011\nactivate 156\nclick 2\n"
      "click 1006\nactivate 157\nclick 2\nclick 1010\nactivate 159\nclick 1\n"
      "click 57670\nanswer OK\nclick 1007\nwait 100\ndump hub.json\nquit\n",
      {"/p"});
  const std::string log = Log();
  EXPECT_EQ(log.find("пока не встроено"), std::string::npos) << log;
  const std::string json = ReadFile(dir_ / "hub.json");
  EXPECT_NE(json.find(R"({"caption":"Справка","text":"Для записи нажатий:\r\n1))"),
            std::string::npos)
      << json;
  // "Сообщения" shows the message window.
  const size_t window = json.find(R"({"class":"CKD_MessageBox","template":131,)");
  ASSERT_NE(window, std::string::npos) << json;
  const std::string head = json.substr(window, json.find("\"controls\"", window) - window);
  EXPECT_NE(head.find(R"("visible":true)"), std::string::npos) << head;
}

TEST_F(Hub, StationaryOperationsNeedTheirDatabases) {
  fs::create_directories(Data());
  std::ofstream(Data() / "DB_push") << "not a folder";  // the pushes' database cannot open
  RunOk("answer OK\nwait 20\nclick 1006\nwait 20\nclick 1\n");
  const std::string log = Log();
  EXPECT_NE(log.find("Стационарная БД нажатий механорецептора не открыта"), std::string::npos)
      << log;
  EXPECT_EQ(log.find("Окно \"Список операций в стационарной БД\""), std::string::npos);
}

}  // namespace
