// The recognition library in the real program with "set_use_recognition_library" on, against
// tacprobe on a pseudo-terminal linked as COM3: a push over the simulated inclusion raises an
// alert naming sensors 5, 6, 10 and 11 in the alert pane, a clean push raises none; start,
// pause, resume and stop reach the library as start, stop, start, stop; the push viewer's
// elapsed times are exact; after the operation window closes no call reaches the library.
// The library's call log ("call_log 1" in vigil.txt) shows what reached it.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "acquisition/push_file.h"
#include "e2e/sim_process.h"

namespace {

std::string FirstTwoLines(const std::string& text) {
  return text.substr(0, text.find('\n', text.find('\n') + 1));
}

namespace fs = std::filesystem;
using e2e::ReadFile;

class Recognition : public e2e::SimRun {
 protected:
  void SetUp() override {
    SimRun::SetUp();
    WriteSettingsFile(e2e::SettingsText({
        {"l DtShowVideo", "0.05"},
        {"d NumCOMPort", "3"},
        {"d NumDevice", "5"},
        {"d set_use_MechDisplay", "0"},
        {"d set_autoconnect", "0"},
        {"d set_connect2", "0"},
        {"d set_use_file_instead_COM_port", "0"},
        {"d SetAutoRecord", "0"},
        {"d set_output_all_data_into_text_file", "0"},
        {"d set_use_second_receptor_window", "0"},
        {"d receptor_data_format", "1"},
        {"d set_use_recognition_library", "1"},
    }));
    InstallProbePassport();
    std::ofstream(Root() / "vigil.txt") << "call_log 1\nlog_level 2\n";
  }

  // tacprobe on COM3 (direct, format 1, its default noise) with a press script and more options.
  void StartNoisyProbe(const std::string& script, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"--com",    "3",    "--direct", "--format", "1",
                                     "--script", script, "--quiet",  "--id",     e2e::kProbeId};
    args.insert(args.end(), more.begin(), more.end());
    probe_ = StartOn(3, "tacprobe", std::move(args));
  }

  struct Alert {
    std::vector<int> values;
    std::string text;  // UTF-8
  };
  Alert ReadAlert(const std::string& name) {
    std::istringstream in(ReadFile(dir_ / name));
    Alert a;
    std::string word;
    in >> word;
    EXPECT_EQ(word, "values") << name;
    for (int v = 0, k = 0; k < 19 && in >> v; ++k) a.values.push_back(v);
    std::getline(in, word);
    std::getline(in, word);  // "text"
    std::string line;
    while (std::getline(in, line)) a.text += (a.text.empty() ? "" : "\n") + line;
    return a;
  }
  // The call log's lines, or the first words of them.
  std::vector<std::string> CallLog(bool firstWords) {
    std::istringstream in(ReadFile(Root() / "vigil_calls.log"));
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
      out.push_back(firstWords ? line.substr(0, line.find(' ')) : line);
    return out;
  }
  std::vector<fs::path> Pushes() {
    std::vector<fs::path> out;
    for (const fs::path& op : Operations())
      for (const fs::path& p : e2e::Files(op, ".psh")) out.push_back(p);
    std::sort(out.begin(), out.end());
    return out;
  }
};

// One push in the operation window: connect, start in the rest before the press (the zero
// point is taken at rest), a picture of the window during the hold, stop after the release.
std::string PushScript(const std::string& live, const std::string& final,
                       const std::string& picture) {
  return "click 1000\ntext 1001 Иванова\nclick 1\nwait 300\n"
         "activate 144\nclick 1012\nwait 1500\nclick 1010\nwait 6000\n"
         "activate 143\nalert-dump " +
         live + "\nsnapshot " + picture +
         "\nactivate 144\nwait 3500\nclick 1011\nwait 300\nalert-dump " + final +
         "\nclick 1013\nwait 300\nactivate 143\nclick 1\nanswer OK\nwait 200\nclick 1\n";
}
// The probe rests 6 s after the connection (the zero point is taken well before the press, also
// on a slow machine), presses for 0.6 s, holds 3 s and lets go.
constexpr const char* kPress = "rest:6,press:0.6:0.8,hold:3,release:0.6,rest:600";

TEST_F(Recognition, APushOverTheInclusionAlertsAndACleanPushDoesNot) {
  StartNoisyProbe(kPress);
  RunOk(PushScript("live.txt", "final.txt", Picture("recognition-alert.png")));
  StopProbe();
  const Alert live = ReadAlert("live.txt"), final = ReadAlert("final.txt");
  const std::string log = Log();
  for (const Alert* a : {&live, &final}) {
    EXPECT_EQ(FirstTwoLines(a->text), "Уплотнение\nСенсоры 5, 6, 10, 11") << a->text << "\n" << log;
    ASSERT_EQ(a->values.size(), 19u);
    for (int s = 0; s < 19; ++s) {
      if (s == 4 || s == 5 || s == 9 || s == 10)
        EXPECT_GT(a->values[s], 200) << s;
      else
        EXPECT_LT(a->values[s], 100) << s;
    }
  }
  EXPECT_NE(log.find("vigil: push 1: inclusion found"), std::string::npos) << log;

  // The same press on tissue without an inclusion.
  fs::remove_all(dir_ / "ports" / "COM3");
  StartNoisyProbe(kPress, {"--inclusion-gain", "1"});
  RunOk(PushScript("live-clean.txt", "final-clean.txt", Picture("recognition-clean.png")));
  EXPECT_EQ(ReadFile(dir_ / "live-clean.txt").substr(0, 6), "values");
  const Alert clean = ReadAlert("final-clean.txt");
  EXPECT_EQ(clean.text, "Уплотнений\nне обнаружено\nНажатие 1");
  for (int v : clean.values) EXPECT_LT(v, 128);
  // During the clean hold nothing had been answered yet.
  EXPECT_EQ(ReadAlert("live-clean.txt").text, "");
}

TEST_F(Recognition, PauseAndResumeTheViewersTimesAndNothingAfterTheWindowCloses) {
  StartNoisyProbe("rest:600");
  RunOk(
      "click 1000\ntext 1001 Петров\nclick 1\nwait 300\nactivate 144\nclick 1012\nwait 1500\n"
      "click 1010\nwait 2500\nclick 1010\nwait 500\nclick 1010\nwait 3000\nclick 1011\n"
      "wait 300\nclick 1013\nwait 300\nactivate 143\nclick 1\nanswer OK\nwait 200\nclick 1\n");
  std::vector<std::string> order;
  for (const std::string& w : CallLog(true))
    if (w == "start-push" || w == "stop-push") order.push_back(w);
  EXPECT_EQ(order,
            (std::vector<std::string>{"start-push", "stop-push", "start-push", "stop-push"}));
  EXPECT_EQ(CallLog(true).back(), "finish");

  // A second run: the push (what followed the resume) played in the viewer while an operation
  // window is open, then again after the window has closed.
  const auto pushes = Pushes();
  ASSERT_EQ(pushes.size(), 1u);
  // Kept outside the operations: a new window of the same minute would share their folder.
  const fs::path played = dir_ / "played.psh";
  fs::copy_file(pushes[0], played);
  fs::remove_all(Root() / "OPERATIONS");
  Push push;
  ASSERT_EQ(ReadPushFile(push, played.string()), 0);
  ASSERT_GE(push.FrameCount(), 10);
  fs::remove(Root() / "vigil_calls.log");
  RunOk("click 1000\ntext 1001 Петров\nclick 1\nwait 300\nactivate 142\nviewer " + played.string() +
        "\nwait 300\nactivate 102\nclick 1010\nwait " +
        std::to_string(push.FrameCount() * 50 + 1000) +
        "\nactivate 143\nclick 1\nwait 300\nactivate 102\nclick 1010\nwait 1500\nclick 1\n"
        "wait 200\nactivate 142\nclick 1\n");
  const auto lines = CallLog(false);
  // Every frame the viewer handed over carries the ms from the push's first frame exactly.
  std::map<int, int64_t> expected;
  const FrameTime& first = push.frames[0].captureTime;
  for (const SensorFrame& f : push.frames)
    expected[f.index] =
        (f.captureTime.ToMilliseconds() / 1000 - first.ToMilliseconds() / 1000) * 1000 +
        (f.captureTime.millisecond - first.millisecond);
  bool playing = false;
  int checked = 0;
  const std::regex call(R"(call push=(\d+) labels=(-?\d+) index=(-?\d+) t=(-?\d+) v=.*)");
  for (const std::string& line : lines) {
    if (line.rfind("start-push", 0) == 0) playing = true;
    if (line.rfind("stop-push", 0) == 0) playing = false;
    std::smatch m;
    if (!playing || !std::regex_match(line, m, call)) continue;
    const int index = std::stoi(m[3]);
    ASSERT_TRUE(expected.count(index)) << line;
    EXPECT_EQ(std::stoll(m[4]), expected[index]) << line;
    ++checked;
  }
  EXPECT_GE(checked, push.FrameCount() / 2);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().substr(0, 6), "finish") << "nothing after the window closed";
}

}  // namespace
