// Recording an operation with the real program against tacprobe on a pseudo-terminal linked as
// COM3: a new operation with a described patient, Connect, pushes recorded by the start, pause
// and stop buttons arriving in the operation folder with the zero point in their passport
// block, the operation and its pushes saved into the stationary database, and the operation
// opened again from there into "GL_..." folders.
#include <gtest/gtest.h>

#include <algorithm>

#include "acquisition/push_file.h"
#include "e2e/sim_process.h"
#include "platform/cp1251.h"
#include "recording/operation_files.h"

namespace {

namespace fs = std::filesystem;
using e2e::Count;
using e2e::Files;
using e2e::ReadFile;
using e2e::RunResult;

class Recording : public e2e::SimRun {
 protected:
  void SetUp() override {
    SimRun::SetUp();
    // A fixed port and device, no automatic recording: the buttons decide.
    WriteSettingsFile(Settings());
    InstallProbePassport();
  }

  static std::string Settings() {
    return e2e::DefaultSettingsText({{"NAddSensorRectDomainMinUsed", "1000"},
                                     {"set_use_MechDisplay", "0"},
                                     {"set_disp_autoconnect", "0"},
                                     {"set_autoconnect", "0"},
                                     {"SetAutoRecord", "0"},
                                     {"set_output_all_data_into_text_file", "1"},
                                     {"set_use_second_receptor_window", "0"},
                                     {"receptor_data_format", "1"}});
  }

  static Push Read(const fs::path& file) {
    Push p;
    PushFileInfo info;
    EXPECT_EQ(ReadPushFile(p, file.string(), &info), 0) << file;
    EXPECT_TRUE(info.passportBlock) << file;
    return p;
  }
};

// tacprobe at rest all the time.
constexpr const char* kRest = "rest:600";

// The probe at rest: every recorded value is the rest value and the zero point in the passport
// block brings each sensor to 0 there.
void ExpectRestPush(const Push& push, const std::string& what) {
  SCOPED_TRACE(what);
  ASSERT_TRUE(push.hasPassport);
  for (int s = 0; s < kSensorCount; ++s)
    EXPECT_DOUBLE_EQ(push.passport.shifts[s], -(1000.0 + 10 * s)) << s;
  for (const SensorFrame& f : push.frames)
    for (int s = 0; s < kSensorCount; ++s) ASSERT_EQ(f.values[s], 1000 + 10 * s);
  for (size_t i = 1; i < push.frames.size(); ++i)
    EXPECT_EQ(push.frames[i].index, push.frames[i - 1].index + 1) << "no frame is missing";
}

TEST_F(Recording, PushesFromTheButtonsAreStoredSavedAndOpenedAgain) {
  StartProbe(kRest);
  const std::string snapshot = Picture("recording.png");
  const std::string zeroSnapshot = Picture("zero-phase.png");
  // Push 1: 2.5 s; push 2: 1.5 s, paused 1 s, resumed 1.5 s. The zero phase is 20 frames
  // (1 s at 0.05 s) after every start.
  RunOk(
      "click 1000\ntext 1001 Иванова\ntext 1002 Анна\ntext 1003 Сергеевна\nclick 1\nwait 300\n"
      "activate 144\nclick 1012\nwait 2500\n"
      "click 1010\nwait 2000\nactivate 143\nclick 1000\nwait 500\nsnapshot " +
      snapshot +
      "\nactivate 144\nclick 1011\nactivate 143\nmenu 32789\nactivate 144\n"
      "wait 1100\nclick 1010\nwait 1500\nclick 1010\nwait 1000\nclick 1010\nwait 300\n"
      // Resumed: the zero point is collected again on a blue map; the first push is listed.
      "activate 143\nsnapshot " +
      zeroSnapshot +
      "\nactivate 144\nwait 1200\n"
      "click 1011\nclick 1013\nwait 300\n"
      "activate 143\ndump window.json\nmenu 32795\nanswer OK\nwait 200\n"
      "click 1\nanswer OK\nwait 200\nclick 1\n");
  StopProbe();
  EXPECT_TRUE(fs::exists(snapshot));

  const auto ops = Operations();
  ASSERT_EQ(ops.size(), 1u);
  EXPECT_TRUE(
      std::regex_match(ops[0].filename().string(), std::regex(R"(\d{4}\.\d\d\.\d\d_\d\d-\d\d)")))
      << ops[0];
  const auto pushes = Files(ops[0], ".psh");
  ASSERT_EQ(pushes.size(), 2u);
  EXPECT_EQ(Files(ops[0], ".txt").size(), 2u) << "the text dump beside each push";
  for (const fs::path& p : pushes)
    EXPECT_TRUE(std::regex_match(p.filename().string(), std::regex(R"(\d\d-\d\d-\d\d\.psh)")));

  const Push first = Read(pushes[0]);
  const Push second = Read(pushes[1]);
  // "Метка" marked one frame of the first push.
  EXPECT_EQ(std::count_if(first.frames.begin(), first.frames.end(),
                          [](const SensorFrame& f) { return f.HasLabel(); }),
            1);
  // The first push became the control push, for both sensor types and the port's test push.
  const std::string firstBytes = ReadFile(pushes[0]);
  for (const char* control : {"pars/TestWireless.bin", "pars/TestWire.bin", "ENUMS/TestPush/3.psh"})
    EXPECT_EQ(ReadFile(Root() / control), firstBytes) << control;
  ExpectRestPush(first, "first");
  ExpectRestPush(second, "second");
  // 2.5 s less the 1 s zero phase (30 frames); the second holds only what followed the resume
  // and its zero phase (10 frames; the contiguous indices above show nothing from before the
  // pause). The script's steps between the buttons may take a few hundred ms longer on a busy
  // machine; frames of a zero phase would add 20.
  EXPECT_GE(first.FrameCount(), 20);
  EXPECT_LE(first.FrameCount(), 44);
  EXPECT_GE(second.FrameCount(), 4);
  EXPECT_LE(second.FrameCount(), 24);
  // The text dump: seven lines per frame recorded.
  const std::string dump = ReadFile(fs::path(pushes[0]).replace_extension(".txt"));
  EXPECT_GE(static_cast<int>(std::count(dump.begin(), dump.end(), '\n')),
            7 * first.FrameCount() - 7);

  // The stationary database: operation 1 with the patient, its two pushes pointing at it.
  const std::string op = ReadFile(Data() / "DB_op" / "1" / "OperationData");
  EXPECT_NE(op.find(Utf8ToCp1251("Анна Сергеевна Иванова")), std::string::npos) << op;
  int stored = 0;
  for (const auto& e : fs::directory_iterator(Data() / "DB_push")) {
    if (!e.is_directory()) continue;
    for (const auto& f : fs::directory_iterator(e.path())) {
      const std::string text = ReadFile(f.path());
      if (text.find("OperationID: 1\r\n") != std::string::npos) ++stored;
    }
  }
  EXPECT_EQ(stored, 2) << Log();

  // Opened again from the stationary database: a "GL_..." folder with the same frames ...
  RunOk(
      "open-stationary-operation 1\nwait 500\nactivate 143\ndump gl.json\nclick 1\nwait 100\n"
      "click 1\n");
  auto after = Operations();
  ASSERT_EQ(after.size(), 2u);
  const fs::path gl = after[1];
  EXPECT_TRUE(std::regex_match(gl.filename().string(),
                               std::regex(R"(GL_\d{4}\.\d\d\.\d\d_\d\d-\d\d-\d\d)")))
      << gl;
  const auto copied = Files(gl, ".psh");
  ASSERT_EQ(copied.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const Push original = Read(pushes[i]);
    const Push copy = Read(copied[i]);
    ASSERT_EQ(copy.FrameCount(), original.FrameCount());
    for (int f = 0; f < copy.FrameCount(); ++f)
      EXPECT_EQ(copy.frames[f].values, original.frames[f].values);
  }
  EXPECT_TRUE(fs::exists(gl / "patient.bin"));

  // ... and loaded once more under another name: "_v2".
  RunOk(
      "open-stationary-operation 1\nclick 1000\nwait 500\nactivate 143\nclick 1\nwait 100\n"
      "click 1\n");
  after = Operations();
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[2].filename().string(), gl.filename().string() + "_v2");
  EXPECT_EQ(Files(after[2], ".psh").size(), 2u);
}

TEST_F(Recording, AReconnectionStoresThePushAndAFolderWithPushesIsNeverDeleted) {
  // The probe hangs up 6 s after the connection, about 3 s into the recording; the link
  // tries again at once, fails, and reconnects after its 10 s pause (the script waits 3 s
  // longer than that, for a loaded machine). The push being recorded
  // is stored although stop was never pressed.
  StartProbe(kRest, {"--hangup-after", "6", "--hangup-for", "0.3"});
  RunOk(
      "click 1000\ntext 1001 Петров\nclick 1\nwait 300\n"
      "activate 144\nclick 1012\nwait 2500\nclick 1010\nwait 19000\ndump view.json\n"
      "click 1013\nwait 300\nactivate 143\nclick 1\nanswer OK\nwait 200\n"
      // A second operation of the same minute shares the folder; closed without a push of its
      // own, the folder stays.
      "click 1000\ntext 1001 Сидоров\nclick 1\nwait 300\nactivate 143\nclose\nwait 200\n"
      "click 1\n");
  StopProbe();
  const std::string log = Log();
  EXPECT_GE(Count(log, "соединение установлено на порт COM3"), 2u) << log;
  const auto view = e2e::Controls(ReadFile(dir_ / "view.json"), "CtacmonDlgRecord");
  EXPECT_FALSE(view.at(1011).visible) << "not recording after the reconnection";

  const auto ops = Operations();
  ASSERT_GE(ops.size(), 1u);
  const auto pushes = Files(ops[0], ".psh");
  ASSERT_EQ(pushes.size(), 1u) << log;
  const Push push = Read(pushes[0]);
  ExpectRestPush(push, "stored at the reconnection");
  // Frames from the start to the reconnection (the link's timer goes on through the silence).
  EXPECT_GE(push.FrameCount(), 5);
  EXPECT_LE(push.FrameCount(), 400);
  EXPECT_TRUE(fs::exists(ops[0] / "patient.bin"));
}

TEST_F(Recording, APushThatCannotBeWrittenIsReportedKeptAsDamagedAndNotListed) {
  // A full disk: no file may grow past 12 KB, about two seconds of a push stream.
  fileSizeLimit_ = 12 * 1024;
  StartProbe(kRest);
  RunOk(
      "click 1000\ntext 1001 Петров\nclick 1\nwait 300\n"
      // Stop: the message box that tells it is answered (the run would wait for it forever).
      "activate 144\nclick 1012\nwait 2500\nclick 1010\nwait 4000\nclick 1011\n"
      "answer OK\nwait 200\nclick 1013\nwait 300\n"
      // With nothing listed the window closes without asking.
      "activate 143\nclick 1\nwait 200\nclick 1\n");
  StopProbe();
  const std::string log = Log();
  EXPECT_NE(log.find("Запись нажатия повреждена при записи на диск"), std::string::npos) << log;

  // Nothing is listed: no push file, no description; the bytes written are kept aside.
  const auto ops = Operations();
  ASSERT_EQ(ops.size(), 1u);
  EXPECT_TRUE(Files(ops[0], ".psh").empty());
  EXPECT_TRUE(Files(ops[0], ".dsc").empty());
  auto kept = Files(ops[0], ".bin");
  std::erase_if(kept, [](const fs::path& f) { return f.filename() == "patient.bin"; });
  ASSERT_EQ(kept.size(), 1u) << log;
  EXPECT_TRUE(
      std::regex_match(kept[0].filename().string(), std::regex(R"(\d\d-\d\d-\d\d-damaged\.bin)")))
      << kept[0];
  EXPECT_GT(fs::file_size(kept[0]), 0u);
}

TEST_F(Recording, TheRecordingViewPrintsItsThreeProtocols) {
  // Printing goes to PDF files "<n>/protocol.pdf" by job number; the buttons are there in the
  // extended main window (/p). Job 4 has no folder: that printer cannot start a document.
  for (int job = 1; job <= 3; ++job) fs::create_directories(dir_ / std::to_string(job));
  setenv("TACMON_PRINT_PDF", (dir_ / "{n}" / "protocol.pdf").c_str(), 1);
  StartProbe(kRest);
  std::string script =
      "click 1000\ntext 1001 Петров\nclick 1\nwait 300\nactivate 144\n"
      "click 1012\nwait 1500\n";
  for (int kind = 0; kind < 3; ++kind)
    script += "click " + std::to_string(1014 + kind) + "\nwait 1100\n";
  script += "click 1014\nanswer OK\nwait 200\ndump failed.json\n";
  script += "click 1013\nwait 300\nactivate 143\nclick 1\nwait 200\nclick 1\n";
  const RunResult r = Run(script, {"/p"});
  unsetenv("TACMON_PRINT_PDF");
  StopProbe();
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string failed = ReadFile(dir_ / "failed.json");
  EXPECT_NE(failed.find(R"x("text":"Can't print(171114)","answer":"OK")x"), std::string::npos)
      << failed;
  // The display protocol (job 3): one page.
  const fs::path pdf = dir_ / "3" / "protocol.pdf";
  const std::string bytes = ReadFile(pdf);
  ASSERT_EQ(bytes.rfind("%PDF", 0), 0u) << pdf;
  EXPECT_EQ(Count(bytes, "/Type /Page\n") + Count(bytes, "/Type /Page\r") +
                Count(bytes, "/Type /Page/") + Count(bytes, "/Type /Page "),
            1u);
  // A dated folder per protocol (a second apart): "Tacmon-d-m-yyyy--h-m-s", "Tacmon2-…".
  int plain = 0, display = 0;
  for (const auto& e : fs::directory_iterator(Root() / "Logs")) {
    const std::string name = e.path().filename().string();
    if (!e.is_directory()) continue;
    if (std::regex_match(name, std::regex(R"(Tacmon-\d+-\d+-\d{4}--\d+-\d+-\d+)"))) ++plain;
    if (std::regex_match(name, std::regex(R"(Tacmon2-\d+-\d+-\d{4}--\d+-\d+-\d+)"))) ++display;
  }
  EXPECT_EQ(plain, 3);  // the failed job's folder is made before the printer is asked
  EXPECT_EQ(display, 1);
  for (int job = 1; job <= 2; ++job)
    EXPECT_EQ(ReadFile(dir_ / std::to_string(job) / "protocol.pdf").rfind("%PDF", 0), 0u) << job;
  // $TACMON_SNAPSHOT_DIR keeps the page as a picture for a person to see.
  if (const char* keep = std::getenv("TACMON_SNAPSHOT_DIR"); keep && *keep)
    fs::copy_file(pdf, fs::path(keep) / "protocol-display.pdf",
                  fs::copy_options::overwrite_existing);
}

TEST_F(Recording, OpenOperationListsTheFoldersNewestFirstAndOpensTheChosenOne) {
  OperationDescription d;
  d.firstName = "Анна"_cp;
  d.patronymic = "Сергеевна"_cp;
  d.familyName = "Иванова"_cp;
  for (const char* name : {"2020.01.01_10-00", "2021.05.06_07-08"}) {
    fs::create_directories(Root() / "OPERATIONS" / name);
    ASSERT_EQ(recording::WritePatientFile(
                  d, std::string("c:\\Tacmon\\OPERATIONS\\") + name + "\\patient.bin"),
              0);
    d.familyName = "Петрова"_cp;
  }
  RunOk(
      "click 1000\ntext 1001 Новая\nclick 1\nwait 300\nactivate 143\nmenu 32787\n"
      "dump list.json\nselect 1004 1\nclick 1\nwait 200\nactivate 143\ndump opened.json\n"
      "menu 32785\ntext 1001 Сидорова\nclick 1\nwait 200\nactivate 143\nclick 1\nwait 200\n"
      "click 1\n");
  const auto list = e2e::Controls(ReadFile(dir_ / "list.json"), "KCD_ListWithNumber");
  ASSERT_EQ(list.at(1004).items.size(), 3u) << "the new operation's folder and the two";
  EXPECT_EQ(list.at(1004).items[1], "2: 2021.05.06_07-08 (Анна Сергеевна Петрова; )");
  EXPECT_EQ(list.at(1004).items[2], "3: 2020.01.01_10-00 (Анна Сергеевна Иванова; )");
  const std::string opened = ReadFile(dir_ / "opened.json");
  EXPECT_NE(opened.find("Запись операции <2021.05.06_07-08>. ()[Петрова Анна Сергеевна]. "
                        "Нажатие:"),
            std::string::npos)
      << opened;
  // The description edited there is written back; the opened operation keeps its folder.
  OperationDescription edited;
  ASSERT_EQ(
      recording::ReadPatientFile(edited, "c:\\Tacmon\\OPERATIONS\\2021.05.06_07-08\\patient.bin"),
      0);
  EXPECT_EQ(edited.familyName, "Сидорова"_cp);
  EXPECT_EQ(edited.firstName, "Анна"_cp);
}

TEST_F(Recording, WithAutomaticRecordingTheConnectionStartsAPush) {
  std::string settings = Settings();
  settings.replace(settings.find("SetAutoRecord\r\n0"), 18, "SetAutoRecord\r\n1");
  WriteSettingsFile(settings);
  StartProbe(kRest);
  RunOk(
      "click 1000\ntext 1001 Петров\nclick 1\nwait 300\n"
      "activate 144\nclick 1012\nwait 3000\ndump view.json\nclick 1013\nwait 300\n"
      "activate 143\nclick 1\nanswer OK\nwait 200\nclick 1\n");
  StopProbe();
  const auto view = e2e::Controls(ReadFile(dir_ / "view.json"), "CtacmonDlgRecord");
  EXPECT_TRUE(view.at(1011).visible) << "recording since the connection";
  const auto ops = Operations();
  ASSERT_EQ(ops.size(), 1u);
  const auto pushes = Files(ops[0], ".psh");
  ASSERT_EQ(pushes.size(), 1u);
  ExpectRestPush(Read(pushes[0]), "automatic");
}

TEST_F(Recording, LeavingTheHubWhileRecordingStoresThePushAndEndsCleanly) {
  StartProbe(kRest);
  RunOk(
      "click 1000\ntext 1001 Петров\nclick 1\nwait 300\n"
      "activate 144\nclick 1012\nwait 2000\nclick 1010\nwait 2000\nactivate 142\nclick 1\n");
  StopProbe();
  const auto ops = Operations();
  ASSERT_EQ(ops.size(), 1u);
  const auto pushes = Files(ops[0], ".psh");
  ASSERT_EQ(pushes.size(), 1u);
  const Push push = Read(pushes[0]);
  ExpectRestPush(push, "stored when the hub closed");
  EXPECT_GE(push.FrameCount(), 10);
}

TEST_F(Recording, ALocalOperationIsSavedWithItsPushesFromTheHub) {
  OperationDescription d;
  d.familyName = "Орлова"_cp;
  fs::create_directories(Root() / "OPERATIONS" / "2022.02.02_02-02");
  const std::string folder = "c:\\Tacmon\\OPERATIONS\\2022.02.02_02-02\\";
  ASSERT_EQ(recording::WritePatientFile(d, folder + "patient.bin"), 0);
  Push push = CreatePush();
  push.hasPassport = true;
  push.frames.resize(3);
  ASSERT_EQ(WritePushFile(push, folder + "10-00-00.psh"), 0);
  ASSERT_EQ(WritePushFile(push, folder + "10-00-05.psh"), 0);
  RunOk(
      "save-local-operation 2022.02.02_02-02\nwait 300\nactivate 143\nclick 1\nwait 200\n"
      "click 1\n");
  const std::string op = ReadFile(Data() / "DB_op" / "1" / "OperationData");
  EXPECT_NE(op.find(Utf8ToCp1251("Орлова")), std::string::npos) << op;
  int stored = 0;
  for (const auto& e : fs::directory_iterator(Data() / "DB_push"))
    if (e.is_directory())
      for (const auto& f : fs::directory_iterator(e.path()))
        stored += ReadFile(f.path()).find("OperationID: 1\r\n") != std::string::npos;
  EXPECT_EQ(stored, 2);
  EXPECT_TRUE(fs::exists(Root() / "OPERATIONS" / "2022.02.02_02-02" / "10-00-00.psh"));
}

}  // namespace
