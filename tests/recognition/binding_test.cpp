// The binding of the recognition library: elapsed times, the alert text's lines, the map
// square, the alert callbacks and their registry, and the one instance against the real
// library (libvigil.so) on pushes of the simulated probe.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/cp1251.h"
#include "recognition/alert_layout.h"
#include "recognition/vigil_binding.h"
#include "recording/log_capture.h"
#include "support/scratch_roots.h"
#include "vigil/simulated_pushes.h"

namespace {

std::string FirstTwoLines(const std::string& text) {
  return text.substr(0, text.find('\n', text.find('\n') + 1));
}

using recognition::ElapsedMs;

FrameTime At(int y, int mo, int d, int h, int mi, int s, int ms) {
  FrameTime t;
  t.year = static_cast<int16_t>(y);
  t.month = static_cast<int16_t>(mo);
  t.day = static_cast<int16_t>(d);
  t.hour = static_cast<int16_t>(h);
  t.minute = static_cast<int16_t>(mi);
  t.second = static_cast<int16_t>(s);
  t.millisecond = static_cast<int16_t>(ms);
  return t;
}

TEST(RecognitionElapsed, CalendarSecondsAndMilliseconds) {
  struct Case {
    FrameTime t, ref;
    int64_t ms;
  };
  const Case cases[] = {
      {At(2026, 12, 11, 9, 0, 0, 250), At(2026, 12, 11, 9, 0, 0, 100), 150},
      {At(2026, 12, 11, 9, 0, 1, 50), At(2026, 12, 11, 9, 0, 0, 950), 100},       // ms borrow
      {At(2026, 12, 12, 0, 0, 0, 20), At(2026, 12, 11, 23, 59, 59, 980), 40},     // midnight
      {At(2026, 3, 1, 0, 0, 1, 0), At(2026, 2, 28, 23, 59, 59, 0), 2000},         // month end
      {At(2024, 3, 1, 0, 0, 0, 0), At(2024, 2, 28, 0, 0, 0, 0), 2 * 86400000LL},  // leap day
      {At(2027, 1, 1, 0, 0, 0, 5), At(2026, 12, 31, 23, 59, 59, 995), 10},        // year end
      {At(2026, 12, 11, 9, 0, 0, 0), At(2026, 12, 11, 9, 0, 2, 500), -2500},      // before
  };
  for (const Case& c : cases) EXPECT_EQ(ElapsedMs(c.t, c.ref), c.ms);
  // A reference never set (all zero) is far away, but the result stays an int.
  EXPECT_EQ(ElapsedMs(At(2026, 12, 11, 9, 0, 0, 0), FrameTime{}), INT32_MAX);
}

TEST(RecognitionAlertLayout, TextLines) {
  Text1251 twelve;
  for (int i = 1; i <= 12; ++i) twelve += std::to_string(i) + (i < 12 ? "\n" : "");
  const auto lines = recognition::AlertLines(twelve);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0], "1");
  EXPECT_EQ(lines[8], "9");
  EXPECT_EQ(lines[9], "10\n11\n12");
  EXPECT_EQ(recognition::AlertLines("one line"), std::vector<Text1251>{"one line"});
  EXPECT_EQ(recognition::AlertLines("first\n\nthird"), std::vector<Text1251>{"first"});
  EXPECT_TRUE(recognition::AlertLines("").empty());
}

TEST(RecognitionAlertLayout, MapSquare) {
  // Wide: the square is as high as the area; narrow: half the width.
  EXPECT_EQ(recognition::AlertMapSquare({0, 0, 400, 100}), (ui::Rect{0, 0, 100, 100}));
  EXPECT_EQ(recognition::AlertMapSquare({10, 20, 210, 520}), (ui::Rect{10, 20, 110, 120}));
}

// What an alert window does with the callbacks, without a window.
struct FakeSink : recognition::AlertSink {
  std::vector<int> values;
  std::vector<std::string> texts;
  void SetAlertValues(const int* v) override { values.assign(v, v + 19); }
  void SetAlertText(const char* t) override { texts.emplace_back(t ? t : "<null>"); }
};

TEST(RecognitionCallbacks, ReachOnlyALiveAlertWindow) {
  int window = 0, other = 0;
  int values[19] = {};
  values[9] = 200;
  // No alert window (the setting is off): -1 and nothing changes.
  EXPECT_EQ(recognition::AlertValuesCallback(&window, values), -1);
  EXPECT_EQ(recognition::AlertTextCallback(&window, "x"), -1);
  EXPECT_EQ(recognition::AlertValuesCallback(nullptr, values), -1);
  FakeSink sink;
  recognition::RegisterAlertSink(&window, &sink);
  EXPECT_EQ(recognition::AlertValuesCallback(&window, values), 0);
  EXPECT_EQ(recognition::AlertTextCallback(&window, nullptr), 0);
  EXPECT_EQ(recognition::AlertTextCallback(&other, "x"), -1);
  EXPECT_EQ(sink.values[9], 200);
  EXPECT_EQ(sink.texts, std::vector<std::string>{"<null>"});
  recognition::UnregisterAlertSink(&window, &sink);
  EXPECT_EQ(recognition::AlertTextCallback(&window, "after"), -1);
  EXPECT_EQ(sink.texts.size(), 1u);
}

class RecognitionBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(roots_.data() / "vigil.txt") << "call_log 1\n";
    recognition::RegisterAlertSink(&window_, &sink_);
  }
  void TearDown() override {
    recognition::FinishLibrary(&window_);
    recognition::UnregisterAlertSink(&window_, &sink_);
  }
  std::vector<std::string> CallLog() {
    std::ifstream in(roots_.data() / "vigil_calls.log");
    std::vector<std::string> words;
    for (std::string line; std::getline(in, line);) {
      const std::string word = line.substr(0, line.find(' '));
      if (word != "call") words.push_back(word == "add-data" ? line : word);
    }
    return words;
  }
  void Frames(const std::vector<vigiltest::SimFrame>& frames) {
    for (const auto& f : frames) {
      SensorFrame frame;
      std::copy(f.raw.begin(), f.raw.end(), frame.values.begin());
      frame.index = f.index;
      recognition::FramePainted(recognition::FrameSource::kRecordingView, f.normalized, frame,
                                f.ms);
    }
  }

  ScratchRoots roots_;
  LogCapture log_;
  int window_ = 0;
  FakeSink sink_;
};

TEST_F(RecognitionBinding, OneInstanceFindsTheInclusionAndIsFinishedByItsWindowOnly) {
  recognition::OpenLibrary(&window_);
  ASSERT_TRUE(recognition::LibraryOpen());
  recognition::PushStarted();
  Frames(vigiltest::SimulatedPush({}));
  recognition::PushStopped();
  ASSERT_FALSE(sink_.texts.empty());
  const std::string& text = sink_.texts.back();
  EXPECT_EQ(FirstTwoLines(text), Text1251("Уплотнение\nСенсоры 5, 6, 10, 11"_cp));
  for (int s : {4, 5, 9, 10}) EXPECT_GT(sink_.values[s], 200);

  int other = 0;
  recognition::FinishLibrary(&other);  // a window that does not hold the instance
  EXPECT_TRUE(recognition::LibraryOpen());
  recognition::FinishLibrary(&window_);
  EXPECT_FALSE(recognition::LibraryOpen());
  // Nothing reaches the library any more.
  recognition::PushStarted();
  Frames(vigiltest::SimulatedPush({}));
  recognition::PushStopped();
  const std::string size = std::to_string(sizeof(&recognition::AlertValuesCallback));
  EXPECT_EQ(CallLog(), (std::vector<std::string>{"init", "add-data id=1 size=" + size,
                                                 "add-data id=2 size=" + size, "start-push",
                                                 "alert", "stop-push", "alert", "finish"}));
}

TEST_F(RecognitionBinding, ANewWindowFinishesAnInstanceLeftOpen) {
  int first = 0;
  recognition::OpenLibrary(&first);
  recognition::OpenLibrary(&window_);
  recognition::FinishLibrary(&first);  // the old window going late changes nothing
  EXPECT_TRUE(recognition::LibraryOpen());
  const auto calls = CallLog();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "init"), 2);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "finish"), 1);
}

}  // namespace
