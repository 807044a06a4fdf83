// The library through its C interface (libvigil.so, as tacmon links it): callbacks from the
// caller's thread or its own, none after FFinishVigilLib, any call order, the data sizes it
// accepts, its thresholds file, log and call log.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/cp1251.h"
#include "support/scratch_roots.h"
#include "vendor/vigil/vigil.h"
#include "vigil/simulated_pushes.h"

namespace {

std::string FirstTwoLines(const std::string& text) {
  return text.substr(0, text.find('\n', text.find('\n') + 1));
}

using Clock = std::chrono::steady_clock;

// What the callbacks saw, for one test at a time.
struct Seen {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::vector<int>> maps;
  std::vector<std::string> texts;
  std::vector<void*> contexts;
  std::vector<std::thread::id> threads;
  std::vector<std::string> log;
  std::atomic<bool> finished{false};
  std::atomic<int> afterFinish{0};
  int slowMs = 0;
};
Seen* seen = nullptr;

int OnValues(void* context, const int* values) {
  if (seen->finished) ++seen->afterFinish;
  if (seen->slowMs) std::this_thread::sleep_for(std::chrono::milliseconds(seen->slowMs));
  std::lock_guard l(seen->lock);
  seen->maps.emplace_back(values, values + 19);
  seen->contexts.push_back(context);
  seen->threads.push_back(std::this_thread::get_id());
  seen->changed.notify_all();
  return 0;
}
int OnText(void* context, const char* text) {
  if (seen->finished) ++seen->afterFinish;
  std::lock_guard l(seen->lock);
  seen->texts.emplace_back(text ? text : "");
  seen->contexts.push_back(context);
  seen->changed.notify_all();
  return 0;
}
void OnLog(const char* text) {
  std::lock_guard l(seen->lock);
  seen->log.emplace_back(text);
}

class VigilLibrary : public ::testing::Test {
 protected:
  void SetUp() override { seen = &seen_; }
  void TearDown() override {
    for (void* h : open_) FFinishVigilLib(h);
    seen = nullptr;
  }
  void Thresholds(const std::string& text) {
    std::ofstream(roots_.data() / "vigil.txt", std::ios::binary) << text;
  }
  void* Open(bool callbacks = true) {
    void* h = FInitVigilLib(&context_, "c:\\Tacmon\\", "c:\\TacmonData\\", OnLog);
    if (h) open_.push_back(h);
    if (h && callbacks) {
      EXPECT_EQ(SetVigilLibAddData(h, VIGIL_ALERT_VALUES, reinterpret_cast<void*>(&OnValues),
                                   sizeof(&OnValues)),
                0);
      EXPECT_EQ(SetVigilLibAddData(h, VIGIL_ALERT_TEXT, reinterpret_cast<void*>(&OnText),
                                   sizeof(&OnText)),
                0);
    }
    return h;
  }
  static void Push(void* h, const std::vector<vigiltest::SimFrame>& frames) {
    FVigilLibStartPush(h);
    for (auto f : frames) FCallVigilLib(h, f.normalized.data(), f.raw.data(), 0, f.index, f.ms);
    FVigilLibStopPush(h);
  }
  bool WaitTexts(size_t n) {
    std::unique_lock l(seen_.lock);
    return seen_.changed.wait_for(l, std::chrono::seconds(10),
                                  [&] { return seen_.texts.size() >= n; });
  }
  std::string LogText() {
    std::lock_guard l(seen_.lock);
    std::string all;
    for (const auto& line : seen_.log) all += line + "\n";
    return all;
  }

  ScratchRoots roots_;
  Seen seen_;
  int context_ = 0;
  std::vector<void*> open_;
};

TEST_F(VigilLibrary, InclusionAlertFromTheCallersThread) {
  void* h = Open();
  ASSERT_NE(h, nullptr);
  Push(h, vigiltest::SimulatedPush({}));
  std::lock_guard l(seen_.lock);
  ASSERT_GE(seen_.texts.size(), 2u);  // the live alert and the push's decision
  const std::string last = seen_.texts.back();
  EXPECT_EQ(FirstTwoLines(last), Text1251("Уплотнение\nСенсоры 5, 6, 10, 11"_cp));
  const std::vector<int>& map = seen_.maps.back();
  for (int s : {4, 5, 9, 10}) EXPECT_GT(map[s], 200) << s;
  for (void* c : seen_.contexts) EXPECT_EQ(c, &context_);
  for (auto id : seen_.threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(VigilLibrary, CleanPushAnswersNoneAndRestAnswersNothing) {
  void* h = Open();
  vigiltest::SimPush clean;
  clean.gain = 1.0;
  Push(h, vigiltest::SimulatedPush(clean));
  vigiltest::SimPush rest;
  rest.level = 0;
  Push(h, vigiltest::SimulatedPush(rest));
  std::lock_guard l(seen_.lock);
  ASSERT_EQ(seen_.texts.size(), 1u);
  EXPECT_EQ(seen_.texts[0], Text1251("Уплотнений\nне обнаружено\nНажатие 1"_cp));
  EXPECT_LT(*std::max_element(seen_.maps[0].begin(), seen_.maps[0].end()), 128);
}

TEST_F(VigilLibrary, OwnThreadBySwitch) {
  Thresholds("callback_thread 1\n");
  void* h = Open();
  Push(h, vigiltest::SimulatedPush({}));
  ASSERT_TRUE(WaitTexts(2));
  std::lock_guard l(seen_.lock);
  for (auto id : seen_.threads) EXPECT_NE(id, std::this_thread::get_id());
  for (void* c : seen_.contexts) EXPECT_EQ(c, &context_);
}

// Alerts queued for the library's thread when the instance is finished are dropped; one being
// delivered is waited for; nothing is called back once FFinishVigilLib has returned.
TEST_F(VigilLibrary, NoCallbackAfterFinish) {
  Thresholds("callback_thread 1\n");
  seen_.slowMs = 20;
  void* h = Open();
  const auto frames = vigiltest::SimulatedPush({});
  for (int k = 0; k < 10; ++k) Push(h, frames);
  ASSERT_TRUE(WaitTexts(1));
  FFinishVigilLib(h);
  seen_.finished = true;
  open_.clear();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(seen_.afterFinish.load(), 0);
  std::lock_guard l(seen_.lock);
  EXPECT_LT(seen_.texts.size(), 20u);  // the queue was dropped
}

// Calls racing with the end of the instance from another thread: each either runs whole
// before the end or is refused after it.
TEST_F(VigilLibrary, FinishWhileAnotherThreadCalls) {
  for (bool ownThread : {false, true}) {
    Thresholds(ownThread ? "callback_thread 1\n" : "callback_thread 0\n");
    seen_.finished = false;
    void* h = Open();
    const auto frames = vigiltest::SimulatedPush({});
    std::atomic<bool> refused{false};
    std::thread caller([&] {
      while (!refused) {
        if (FVigilLibStartPush(h) == VIGIL_NO_INSTANCE) refused = true;
        for (auto f : frames)
          if (FCallVigilLib(h, f.normalized.data(), f.raw.data(), 0, f.index, f.ms) ==
              VIGIL_NO_INSTANCE)
            refused = true;
        if (FVigilLibStopPush(h) == VIGIL_NO_INSTANCE) refused = true;
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    FFinishVigilLib(h);
    seen_.finished = true;
    open_.clear();
    caller.join();
    EXPECT_EQ(seen_.afterFinish.load(), 0) << ownThread;
  }
}

// A callback that ends the instance from inside: the call it came from returns without a
// further callback, on the caller's thread and on the library's own.
void* reentered = nullptr;
int FinishFromInside(void* context, const int*) {
  if (seen->finished) ++seen->afterFinish;
  FFinishVigilLib(reentered);
  seen->finished = true;
  std::lock_guard l(seen->lock);
  seen->contexts.push_back(context);
  seen->changed.notify_all();
  return 0;
}

TEST_F(VigilLibrary, FinishedFromInsideACallback) {
  for (const char* mode : {"callback_thread 0\n", "callback_thread 1\n"}) {
    Thresholds(mode);
    seen_.finished = false;
    void* h = FInitVigilLib(&context_, "c:\\Tacmon\\", "c:\\TacmonData\\", OnLog);
    reentered = h;
    SetVigilLibAddData(h, VIGIL_ALERT_VALUES, reinterpret_cast<void*>(&FinishFromInside),
                       sizeof(&FinishFromInside));
    SetVigilLibAddData(h, VIGIL_ALERT_TEXT, reinterpret_cast<void*>(&OnText), sizeof(&OnText));
    Push(h, vigiltest::SimulatedPush({}));
    {
      std::unique_lock l(seen_.lock);
      ASSERT_TRUE(seen_.changed.wait_for(l, std::chrono::seconds(10), [&] {
        return !seen_.contexts.empty();
      })) << mode;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(seen_.afterFinish.load(), 0) << mode;
    EXPECT_EQ(FVigilLibStartPush(h), VIGIL_NO_INSTANCE);
    std::lock_guard l(seen_.lock);
    EXPECT_TRUE(seen_.texts.empty()) << mode;
    seen_.contexts.clear();
  }
}

TEST_F(VigilLibrary, AnyCallOrderIsSafe) {
  void* finished = Open();
  FFinishVigilLib(finished);
  open_.clear();
  int made[19] = {};
  for (void* h : {static_cast<void*>(nullptr), finished, static_cast<void*>(&made)}) {
    EXPECT_EQ(SetVigilLibAddData(h, 1, reinterpret_cast<void*>(&OnValues), sizeof(&OnValues)),
              VIGIL_NO_INSTANCE);
    EXPECT_EQ(FVigilLibStartPush(h), VIGIL_NO_INSTANCE);
    EXPECT_EQ(FCallVigilLib(h, made, made, 0, 0, 0), VIGIL_NO_INSTANCE);
    EXPECT_EQ(FVigilLibStopPush(h), VIGIL_NO_INSTANCE);
    FFinishVigilLib(h);
  }
  // Without roots or log the defaults hold.
  void* bare = FInitVigilLib(nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(FVigilLibStartPush(bare), 0);
  FFinishVigilLib(bare);
  void* h = Open();
  EXPECT_EQ(FVigilLibStopPush(h), 0);  // a stop without a start
  const auto frames = vigiltest::SimulatedPush({});
  for (auto f : frames)  // frames outside a push are looked at by nobody
    EXPECT_EQ(FCallVigilLib(h, f.normalized.data(), nullptr, 0, f.index, f.ms), 0);
  EXPECT_EQ(FCallVigilLib(h, nullptr, nullptr, 0, 0, 0), VIGIL_REFUSED);
  EXPECT_EQ(FVigilLibStartPush(h), 0);
  EXPECT_EQ(FVigilLibStartPush(h), 0);  // a second start begins the push again
  EXPECT_EQ(FVigilLibStopPush(h), 0);
  EXPECT_EQ(FVigilLibStopPush(h), 0);
  std::lock_guard l(seen_.lock);
  EXPECT_TRUE(seen_.texts.empty());
}

// The data given with a callback is its address: only the size of a function pointer on this
// platform is accepted (a 4-byte size on a 64-bit platform would be a cut address).
TEST_F(VigilLibrary, CallbackDataSizes) {
  void* h = Open(false);
  void* values = reinterpret_cast<void*>(&OnValues);
  const int pointer = static_cast<int>(sizeof(&OnValues));
  struct Case {
    int id;
    void* data;
    int size;
    int result;
  };
  const Case cases[] = {
      {VIGIL_ALERT_VALUES, values, pointer, 0},
      {VIGIL_ALERT_TEXT, reinterpret_cast<void*>(&OnText), pointer, 0},
      {VIGIL_ALERT_VALUES, values, pointer == 4 ? 8 : 4, VIGIL_REFUSED},
      {VIGIL_ALERT_VALUES, values, 0, VIGIL_REFUSED},
      {VIGIL_ALERT_VALUES, values, -1, VIGIL_REFUSED},
      {VIGIL_ALERT_VALUES, nullptr, pointer, VIGIL_REFUSED},
      {3, values, pointer, VIGIL_REFUSED},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SetVigilLibAddData(h, c.id, c.data, c.size), c.result) << c.id << " " << c.size;
  EXPECT_NE(LogText().find("refused"), std::string::npos);
  // The refusals left the accepted callbacks in place.
  Push(h, vigiltest::SimulatedPush({}));
  std::lock_guard l(seen_.lock);
  EXPECT_FALSE(seen_.texts.empty());
  EXPECT_FALSE(seen_.maps.empty());
}

TEST_F(VigilLibrary, ThresholdsFileWrittenWhenMissingAndReportedWhenWrong) {
  Open();
  std::ifstream in(roots_.data() / "vigil.txt");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("contrast 0.12\n"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("min_ms 250\n"), std::string::npos);

  Thresholds("min_ms 60000\ncontrast lots\nspeed 3\n");
  void* h = Open();
  Push(h, vigiltest::SimulatedPush({}));  // nothing stands out for a minute
  const std::string log = LogText();
  EXPECT_NE(log.find("line 2: bad value, the default is kept: contrast"), std::string::npos) << log;
  EXPECT_NE(log.find("line 3: unknown name: speed"), std::string::npos);
  std::lock_guard l(seen_.lock);
  ASSERT_FALSE(seen_.texts.empty());
  EXPECT_EQ(seen_.texts.back(), Text1251("Уплотнений\nне обнаружено\nНажатие 1"_cp));
}

TEST_F(VigilLibrary, CallLogListsEveryCall) {
  Thresholds("call_log 1\nlog_level 2\n");
  void* h = Open();
  int v[19] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
  FVigilLibStartPush(h);
  FCallVigilLib(h, v, v, 2, 41, 1050);
  int extreme[19];
  std::fill(std::begin(extreme), std::end(extreme), INT32_MIN);
  FCallVigilLib(h, extreme, extreme, 0, 42, 1100);  // every value at its longest in the log
  FVigilLibStopPush(h);
  FFinishVigilLib(h);
  open_.clear();
  std::ifstream in(roots_.data() / "vigil_calls.log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find(' ')));
  EXPECT_EQ(lines, (std::vector<std::string>{"init", "add-data", "add-data", "start-push", "call",
                                             "call", "stop-push", "alert", "finish"}));
  std::ifstream again(roots_.data() / "vigil_calls.log");
  std::stringstream all;
  all << again.rdbuf();
  EXPECT_NE(all.str().find("call push=1 labels=2 index=41 t=1050 v=1,2,3,4,5,6,7,8,9,10,11,12,13,"
                           "14,15,16,17,18,19\n"),
            std::string::npos);
  EXPECT_NE(LogText().find("vigil: push 1 started"), std::string::npos);
}

}  // namespace
