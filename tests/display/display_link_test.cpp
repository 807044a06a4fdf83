// The display link against the simulated display on pseudo-terminals: the port search, the
// test sequence and its fault modes, frames relayed with the newest-first rule, the loss of the
// display and its reconnection, and closing a display that is gone.
#include "display/display_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "acquisition/link/com_read_thread.h"
#include "display/com_write_thread.h"
#include "display/mech_display_com.h"
#include "params/parameter_store.h"
#include "platform/clock.h"
#include "platform/cp1251.h"
#include "platform/report.h"
#include "sim/display_sim.h"
#include "support/scratch_roots.h"

namespace display {
namespace {

using namespace std::chrono_literals;

// The message log as lines (UTF-8), captured for one test.
std::mutex g_logLock;
std::vector<std::string> g_log;
void CaptureLog(const char* text) {
  std::lock_guard l(g_logLock);
  g_log.push_back(Cp1251ToUtf8(text));
}

// A simulated display running on a thread of its own, with its command log.
class RunningDisplay {
 public:
  explicit RunningDisplay(sim::DisplayOptions o) : sim_(o) {
    sim_.onCommand = [this](double, const std::string& line) {
      std::lock_guard l(lock_);
      lines_.push_back(line);
    };
    std::string error;
    if (o.startDelay <= 0) {
      EXPECT_TRUE(sim_.Start(&error)) << error;
    }
    thread_ = std::thread([this] { sim_.Run(stop_); });
  }
  ~RunningDisplay() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::vector<std::string> Lines() {
    std::lock_guard l(lock_);
    return lines_;
  }
  sim::DisplaySim& Sim() { return sim_; }

 private:
  sim::DisplaySim sim_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex lock_;  // guards lines_
  std::vector<std::string> lines_;
};

sim::DisplayOptions On(int com) {
  sim::DisplayOptions o;
  o.com = com;
  o.pacing = false;
  return o;
}

class DisplayLink : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      std::lock_guard l(g_logLock);
      g_log.clear();
    }
    previousSink_ = SetLogSink(&CaptureLog);
    hub_ = std::make_shared<MessageQueueTarget>();
    hubHandle_ = RegisterWindow(hub_);
    host_.SetHubWindow(hubHandle_);
    SetDisplayPassport({});
    SetConstantForceValue(-1);
    SetConstantForceSensor(-1);
  }
  void TearDown() override {
    UnregisterWindow(hubHandle_);
    SetLogSink(previousSink_);
  }

  static std::vector<std::string> Log() {
    std::lock_guard l(g_logLock);
    return g_log;
  }
  // The log without the search's port lines, one message a line.
  static std::string LogText() {
    std::string out;
    for (const std::string& line : Log())
      if (line.rfind("Display: check", 0) != 0) out += line + "\n";
    return out;
  }
  static int Count(const std::string& piece) {
    int n = 0;
    for (const std::string& line : Log()) n += line.find(piece) != std::string::npos;
    return n;
  }
  // The ports the search tried, in order.
  static std::vector<int> Checked() {
    std::vector<int> out;
    for (const std::string& line : Log())
      if (line.rfind("Display: check COM=", 0) == 0) out.push_back(std::stoi(line.substr(19)));
    return out;
  }
  std::vector<uint32_t> HubMessages() {
    std::vector<uint32_t> out;
    ThreadMessage m;
    while (hub_->queue.Peek(m)) out.push_back(m.message);
    return out;
  }
  void SetLastPort(int n) {
    ParameterSet set;
    LoadPars(kDisplayParameterSet, &set);
    SetPar("iComLast", set, int32_t(n));
    ASSERT_EQ(SavePars(&set), 0);
    FreePars(&set);
  }
  static int LastPort() {
    ParameterSet set;
    LoadPars(kDisplayParameterSet, &set);
    int32_t v = -1;
    GetPar("iComLast", v, set);
    set.modified = false;
    FreePars(&set);
    return v;
  }
  template <class F>
  static bool WaitFor(F done, double seconds) {
    const double until = MonotonicSeconds() + seconds;
    while (!done()) {
      if (MonotonicSeconds() > until) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }

  ScratchRoots roots_;
  SimpleDisplayHost host_;
  std::shared_ptr<MessageQueueTarget> hub_;
  WindowHandle hubHandle_ = 0;
  LogSink previousSink_ = nullptr;
  std::atomic<int> stop_{0};
};

TEST_F(DisplayLink, SearchStartsAt2PassesOverPortsInUseAndRemembersThePort) {
  // COM3 is held (as by the probe link), COM4 answers nothing, COM6 is the display.
  RunningDisplay held(On(3));
  std::shared_ptr<ByteTransport> probePort;
  ASSERT_EQ(OpenLinkPort(3, false, &probePort), 0);
  sim::DisplayOptions mute = On(4);
  mute.mute = true;
  RunningDisplay silent(mute);
  RunningDisplay display(On(6));

  CMechDisplay_Com c(host_, stop_);
  c.Autoconnect();
  ASSERT_TRUE(c.IsOpen()) << LogText();
  EXPECT_EQ(Checked(), (std::vector<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(host_.DisplayPort(), 6);
  EXPECT_EQ(host_.StatusText(), "Такт.дисплей: COM6"_cp);
  EXPECT_EQ(display.Lines(), (std::vector<std::string>{"off", "res", "on"}));
  EXPECT_TRUE(held.Lines().empty()) << "a port in use is never written";
  EXPECT_EQ(silent.Lines(), (std::vector<std::string>{"off"}));
  EXPECT_EQ(Count("Такт.дисплей: Не удалось послать команду off"), 1);
  EXPECT_EQ(Count("Такт.дисплей: соединение установлено на порт COM6"), 1);
  // The port opened for the failed attempt on COM4 was closed again.
  std::shared_ptr<ByteTransport> again;
  EXPECT_EQ(OpenLinkPort(4, false, &again), 0);
  const std::vector<uint32_t> m = HubMessages();
  ASSERT_GE(m.size(), 3u);
  EXPECT_EQ(m[m.size() - 2], WM_STATUS_TEXT_CHANGED);
  EXPECT_EQ(m.back(), WM_DISPLAY_CONNECTED);
  EXPECT_EQ(std::count(m.begin(), m.end(), WM_DISPLAY_DISCONNECTED), 5 + 3)
      << "before each of the five attempts, and at each of the three closings of the failed "
         "test on COM4 (the exchange, the test sequence, the opening)";

  c.Close();
  EXPECT_FALSE(c.IsOpen());
  EXPECT_EQ(LastPort(), 6);
  const auto lines = display.Lines();
  EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
            (std::vector<std::string>{"off", "res"}));
}

TEST_F(DisplayLink, SearchBeginsAtTheLastPortThenPassesFrom2) {
  SetLastPort(7);
  RunningDisplay display(On(3));
  {
    CMechDisplay_Com c(host_, stop_);
    c.Autoconnect();
    ASSERT_TRUE(c.IsOpen());
  }
  std::vector<int> expected;
  for (int n = 7; n < 60; ++n) expected.push_back(n);
  expected.insert(expected.end(), {2, 3});
  EXPECT_EQ(Checked(), expected);
  EXPECT_EQ(LastPort(), 3);
}

TEST_F(DisplayLink, TheTestSequenceNeedsThePromptExactly) {
  struct Case {
    const char* name;
    void (*set)(sim::DisplayOptions&);
    bool connects;
  } cases[] = {
      {"plain", [](sim::DisplayOptions&) {}, true},
      {"echo with CR", [](sim::DisplayOptions& o) { o.echo = sim::EchoMode::kWithCr; }, true},
      {"reply delay", [](sim::DisplayOptions& o) { o.replyDelayMs = 300; }, true},
      {"echo without CR", [](sim::DisplayOptions& o) { o.echo = sim::EchoMode::kWithoutCr; },
       false},
      {"wrong prompt", [](sim::DisplayOptions& o) { o.wrongPrompt = true; }, false},
      {"mute", [](sim::DisplayOptions& o) { o.mute = true; }, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    sim::DisplayOptions o = On(5);
    k.set(o);
    RunningDisplay display(o);
    CMechDisplay_Com c(host_, stop_);
    const double t0 = MonotonicSeconds();
    EXPECT_EQ(c.OpenPort(5) == 0, k.connects);
    EXPECT_EQ(c.IsOpen(), k.connects);
    if (!k.connects) {
      // Waiting for the prompt ends by the time limits, and the port is free again.
      EXPECT_LT(MonotonicSeconds() - t0, 4.0);
      std::shared_ptr<ByteTransport> again;
      EXPECT_EQ(OpenLinkPort(5, false, &again), 0);
    }
  }
}

// The display thread with a hub of its own; frames forwarded as the renderer does.
class DisplayThread : public DisplayLink {
 protected:
  void StartThread() {
    thread_ = std::make_unique<CCOMWriteThread>(host_);
    ASSERT_TRUE(thread_->Start());
    thread_->RequestOpen();
  }
  void TearDown() override {
    if (thread_) {
      thread_->RequestQuit();
      EXPECT_TRUE(thread_->Join(10000));
    }
    DisplayLink::TearDown();
  }
  static std::array<bool, 19> AllVisible() {
    std::array<bool, 19> v;
    v.fill(true);
    return v;
  }
  std::unique_ptr<CCOMWriteThread> thread_;
};

TEST_F(DisplayThread, FramesReachTheDisplayInOrderWithTheLawAndTheMap) {
  RunningDisplay display(On(2));
  DisplaySettings s;
  s.oneToOne = 0;
  host_.SetSettings(s);
  StartThread();
  ASSERT_TRUE(WaitFor([&] { return thread_->Connected(); }, 5));
  std::array<int, kSensorCount> indices{};
  for (int i = 0; i < kSensorCount; ++i) indices[i] = 6 * i;
  std::array<bool, 19> visible = AllVisible();
  visible[3] = false;  // display sensor 4
  thread_->Forward(indices, visible);
  ASSERT_TRUE(WaitFor([&] { return display.Lines().size() >= 3 + 19; }, 5));
  const Levels mapped = MapToDisplay(indices, false);
  std::vector<std::string> expected = {"off", "res", "on"};
  for (int k = 1; k <= 19; ++k)
    expected.push_back(FrameCommand(k, k == 4 ? 0 : TransferLaw(mapped[k - 1], 25, 500)));
  EXPECT_EQ(display.Lines(), expected);
  EXPECT_EQ(display.Sim().Levels()[7], TransferLaw((6 + 12) / 2, 25, 500));
  EXPECT_EQ(LastValuesSent()[0], TransferLaw(mapped[0], 25, 500));

  // One to one, with constant force on display sensor 5.
  s.oneToOne = 1;
  host_.SetSettings(s);
  SetConstantForceValue(100);
  SetConstantForceSensor(5);
  thread_->Forward(indices, AllVisible());
  ASSERT_TRUE(WaitFor([&] { return display.Lines().size() >= 3 + 38; }, 5));
  const auto lines = display.Lines();
  for (int k = 1; k <= 19; ++k) EXPECT_EQ(lines[3 + 19 + k - 1], FrameCommand(k, k == 5 ? 100 : 0));
  SetConstantForceValue(-1);
  SetConstantForceSensor(-1);
}

TEST_F(DisplayThread, TheNewestFrameIsSentAndOnePostIsOutstanding) {
  sim::DisplayOptions o = On(2);
  o.pacing = true;  // about 17 frames a second
  RunningDisplay display(o);
  StartThread();
  ASSERT_TRUE(WaitFor([&] { return thread_->Connected(); }, 5));
  std::array<int, kSensorCount> indices{};
  const double t0 = MonotonicSeconds();
  int last = 0;
  // 200 frames a second for one second.
  for (int f = 0; f < 200; ++f) {
    indices.fill(f % 124);
    last = f % 124;
    thread_->Forward(indices, AllVisible());
    std::this_thread::sleep_for(5ms);
  }
  const double forwardTime = MonotonicSeconds() - t0;
  EXPECT_LT(forwardTime, 2.0) << "the hand-over never waits for the display";
  ASSERT_TRUE(WaitFor([&] { return display.Sim().Levels()[0] == TransferLaw(last, 25, 500); }, 3));
  const RelayCounters c = thread_->Counters();
  EXPECT_EQ(c.forwarded + c.busy, 200u);
  EXPECT_GT(c.replaced, 100u);
  EXPECT_LT(c.sent, 40u);
  EXPECT_GE(c.sent, 5u);
  // Every frame the display got is whole and in order k01..k19.
  const auto lines = display.Lines();
  for (size_t i = 3; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].substr(0, 3), FrameCommand(int((i - 3) % 19) + 1, 0).substr(0, 3)) << i;
}

TEST_F(DisplayThread, ALostDisplayIsFoundAgainAndTheNewConnectionKept) {
  // The hang-up falls between two commands (the next line cannot be written) or on a command
  // waiting for its reply (the port is lost while reading).
  for (bool unanswered : {false, true}) {
    SCOPED_TRACE(unanswered ? "lost while waiting for the prompt" : "lost between commands");
    {
      std::lock_guard l(g_logLock);
      g_log.clear();
    }
    sim::DisplayOptions o = On(2);
    o.hangupAfter = 0.5;
    o.hangupFor = 0.5;
    o.hangupUnanswered = unanswered;
    RunningDisplay display(o);
    StartThread();
    ASSERT_TRUE(WaitFor([&] { return thread_->Connected(); }, 5));
    std::array<int, kSensorCount> indices{};
    auto levelCount = [&] {
      int n = 0;
      for (const auto& l : display.Lines()) n += l[0] == 'k';
      return n;
    };
    // Frames until well after the hang-up and the return.
    const double until = MonotonicSeconds() + 5;
    while (MonotonicSeconds() < until) {
      thread_->Forward(indices, AllVisible());
      std::this_thread::sleep_for(20ms);
    }
    const int before = levelCount();
    // Between commands the next line may still be written before the port goes.
    if (unanswered)
      EXPECT_EQ(Count("Такт.дисплей: SetEnd5"), 1) << LogText();
    else
      EXPECT_EQ(Count("Такт.дисплей: Close1") + Count("Такт.дисплей: SetEnd5"), 1) << LogText();
    EXPECT_TRUE(thread_->Connected());
    // The connection made inside the exchange carries the next frames.
    for (int i = 0; i < 10; ++i) {
      thread_->Forward(indices, AllVisible());
      std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(WaitFor([&] { return levelCount() >= before + 19; }, 3));
    EXPECT_TRUE(thread_->Connected());
    EXPECT_EQ(Count("Такт.дисплей: соединение установлено на порт COM2"), 2)
        << "found again once, never lost again: " << LogText();
    thread_->RequestQuit();
    EXPECT_TRUE(thread_->Join(10000));
    thread_.reset();
  }
}

TEST_F(DisplayThread, ClosingADisplayThatIsGoneNeverStartsASearch) {
  auto display = std::make_unique<RunningDisplay>(On(2));
  StartThread();
  ASSERT_TRUE(WaitFor([&] { return thread_->Connected(); }, 5));
  display.reset();  // the display goes away
  const int searches = Count("автосоединение");
  const double t0 = MonotonicSeconds();
  thread_->RequestClose();
  thread_->RequestQuit();
  EXPECT_TRUE(thread_->Join(10000));
  EXPECT_LT(MonotonicSeconds() - t0, 4.0);
  EXPECT_EQ(Count("автосоединение"), searches) << LogText();
  thread_.reset();
}

TEST_F(DisplayThread, AClosePendingEndsASearchBetweenPorts) {
  StartThread();  // no display anywhere: the search goes on pass after pass
  ASSERT_TRUE(WaitFor([&] { return Checked().size() >= 60; }, 10));
  const double t0 = MonotonicSeconds();
  thread_->RequestClose();
  ASSERT_TRUE(WaitFor([&] { return !thread_->HasConnection(); }, 3));
  EXPECT_LT(MonotonicSeconds() - t0, 1.0);
  // A new opening searches again, from the start.
  RunningDisplay display(On(9));
  thread_->RequestOpen();
  EXPECT_TRUE(WaitFor([&] { return thread_->Connected(); }, 5));
}

TEST_F(DisplayThread, WithAutoconnectOffNoPortIsOpenedAndFramesMakeNoTraffic) {
  RunningDisplay display(On(2));
  DisplaySettings s;
  s.autoconnect = 0;
  host_.SetSettings(s);
  StartThread();
  ASSERT_TRUE(WaitFor([&] { return thread_->HasConnection(); }, 2));
  std::array<int, kSensorCount> indices{};
  for (int i = 0; i < 5; ++i) thread_->Forward(indices, AllVisible());
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(display.Lines().empty());
  EXPECT_FALSE(thread_->Connected());
  EXPECT_EQ(Checked().size(), 0u);
  EXPECT_EQ(Count("Такт.дисплей"), 0);
}

}  // namespace
}  // namespace display
