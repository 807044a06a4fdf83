// The tester thread and its adapter against the simulated instrument on a real local socket:
// tester passports, the upload and its timing, speed bytes, reception, faults and quitting.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <regex>
#include <thread>

#include "platform/clock.h"
#include "platform/report.h"
#include "support/instrument_fixture.h"
#include "support/scratch_roots.h"
#include "tester/cdavav_boiler_thread.h"
#include "tester/tdodezori_tester.h"
#include "tester/tester_passport.h"

namespace {

namespace fs = std::filesystem;
using namespace tester;

std::mutex g_logLock;
std::vector<std::string> g_log;

void Collect(const char* text) {
  std::lock_guard l(g_logLock);
  g_log.emplace_back(text);
}

std::vector<std::string> Log(const std::string& prefix = {}) {
  std::lock_guard l(g_logLock);
  std::vector<std::string> out;
  for (const auto& s : g_log)
    if (s.rfind(prefix, 0) == 0) out.push_back(s);
  return out;
}

bool WaitFor(const std::function<bool()>& f, int ms) {
  for (int i = 0; i < ms / 5; ++i) {
    if (f()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return f();
}

class TesterLink : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      std::lock_guard l(g_logLock);
      g_log.clear();
    }
    previous_ = SetLogSink(Collect);
    ResetReceptionForTest();
    SetCurrentTesterPassport(BuiltInTesterPassport());
    SetLogTesterMessages(false);
    fs::create_directories(roots_.data() / "DVP");
  }
  void TearDown() override {
    SetLogSink(previous_);
    SetLogTesterMessages(false);
  }
  void Cfp(const std::string& name, const std::string& text) {
    std::ofstream(roots_.data() / "DVP" / name, std::ios::binary) << text;
  }
  // A thread whose status and disconnection messages land in window_.
  std::unique_ptr<CDavavBoilerThread> StartThread() {
    TesterThreadHost host;
    host.showMessage = [this](const Text1251& t) {
      std::lock_guard l(g_logLock);
      boxes_.push_back(t);
    };
    auto t = std::make_unique<CDavavBoilerThread>(host);
    handle_ = RegisterWindow(window_);
    t->SetTesterWindow(handle_);
    EXPECT_TRUE(t->Start());
    return t;
  }
  bool WaitMessage(uint32_t message, int ms) {
    ThreadMessage m;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
      if (window_->queue.Get(m, 20) && m.message == message) return true;
    }
    return false;
  }
  std::vector<std::string> Boxes() {
    std::lock_guard l(g_logLock);
    return boxes_;
  }

  ScratchRoots roots_;
  LogSink previous_ = nullptr;
  std::shared_ptr<MessageQueueTarget> window_ = std::make_shared<MessageQueueTarget>();
  WindowHandle handle_ = 0;
  std::vector<std::string> boxes_;
};

TEST_F(TesterLink, PassportFilesAreReadByKeyInAnyCase) {
  Cfp("a.cfp",
      "ID=77\r\n  k  =  1 2 3 4 5 6\r\nP1= 9 8 7\r\nSENS=0.5\r\nMINUS=oops\r\nno equals\r\n"
      "P2=\r\n");
  Cfp("b.cfp", "ID=77\r\nK=6 6 6 6 6 6\r\n");
  Cfp("c.cfp", "ID=78\r\nP4=300 1 2 3 4 5\r\n");
  const auto table = ReadTesterPassports();
  ASSERT_EQ(table.size(), 3u);
  const TesterPassport& a = table[0];
  EXPECT_EQ(a.ID, 77);
  EXPECT_EQ(a.K, (std::array<int32_t, 6>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(a.P1, (std::array<int32_t, 6>{9, 8, 7, 0, 0, 0})) << "three numbers set three";
  EXPECT_EQ(a.SENS, 0.5);
  EXPECT_EQ(a.MINUS, 0) << "a value that does not parse leaves the field";
  const TesterPassport* found = FindTesterPassport(table, 77);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->K[0], 1) << "two files with one ID: the first in directory order";
  EXPECT_EQ(FindTesterPassport(table, 5), nullptr);
}

// Connect: command (1, 2) 200 ms after opening, then the upload (1 1, five blocks, 1 2) and
// speed 0 (1 2, speed): ten messages, spaced as the protocol says, values sent as low bytes.
TEST_F(TesterLink, ConnectUploadsTheMatchingPassportWithItsTiming) {
  sim::InstrumentOptions o;
  o.serial = 31;
  InstrumentFixture instrument(roots_.base(), o);
  ASSERT_TRUE(instrument.Started());
  Cfp("other.cfp", "ID=30\r\nK=1 1 1 1 1 1\r\n");
  Cfp("this.cfp",
      "ID=31\r\nMINUS=1500\r\nP1=300 2 3 4 5 6\r\nP2=7 8 9 10 11 12\r\nP3=13 14 15 16 17 18\r\n"
      "P4=19 20 21 22 23 24\r\nK=92 150 150 87 90 150\r\nSENS=0.05\r\n");
  SetLogTesterMessages(true);
  auto thread = StartThread();
  thread->PostThreadMessage(WM_TESTER_CONNECT);
  ASSERT_TRUE(WaitMessage(WM_TESTER_STATUS, 5000));
  EXPECT_EQ(TesterStatusText(), "");
  EXPECT_TRUE(Boxes().empty()) << Boxes()[0];
  EXPECT_EQ(AdapterSerial(), 31);
  EXPECT_EQ(CurrentTesterPassport().MINUS, 1500);

  const auto writes = instrument.Events("write 2:");
  ASSERT_EQ(writes.size(), 10u);
  const char* bytes[10] = {"1 2 0 0 0 0 0 0",          "1 1 0 0 0 0 0 0",
                           "0 1 44 2 3 4 5 6",         "0 2 7 8 9 10 11 12",
                           "0 3 13 14 15 16 17 18",    "0 4 19 20 21 22 23 24",
                           "0 5 92 150 150 87 90 150", "1 2 0 0 0 0 0 0",
                           "1 2 0 0 0 0 0 0",          "0 0 20 0 0 0 0 0"};
  // Pause before each message (ms): the sleep after the one before.
  const double gaps[10] = {0, 200, 100, 20, 20, 20, 20, 20, 10, 100};
  static const std::regex kGap(R"( \+([0-9.]+)ms$)");
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(writes[i]);
    EXPECT_EQ(writes[i].substr(9, std::string(bytes[i]).size()), bytes[i]);
    std::smatch m;
    if (i == 0) continue;
    ASSERT_TRUE(std::regex_search(writes[i], m, kGap));
    const double gap = std::stod(m[1]);
    // Every pause is kept; how much longer a loaded machine takes is the end-to-end test's
    // concern (and the sanitizers' slowdown's).
    EXPECT_GE(gap, gaps[i] - 1);
    EXPECT_LE(gap, gaps[i] + 150);
  }
  // Switch k: the eight messages of the connection and two of speed 0, as in the log.
  const auto logged = Log("Message:>");
  ASSERT_EQ(logged.size(), 10u);
  EXPECT_EQ(logged[2], "Message:>0 1   44 2 3 4 5 6 ");

  // Speed bytes: v + 20.
  for (int v : {20, -20, 0}) thread->PostThreadMessage(WM_TESTER_SPEED, static_cast<uintptr_t>(v));
  thread->PostThreadMessage(WM_TESTER_SPEED, static_cast<uintptr_t>(21));
  ASSERT_TRUE(WaitMessage(WM_TESTER_STATUS, 3000));
  EXPECT_EQ(TesterStatusText(), "Can: Speed is too high");
  const auto all = instrument.Events("write 2:");
  ASSERT_EQ(all.size(), 16u);
  EXPECT_EQ(all[11].substr(9, 16), "0 0 40 0 0 0 0 0");
  EXPECT_EQ(all[13].substr(9, 15), "0 0 0 0 0 0 0 0");
  EXPECT_EQ(all[15].substr(9, 16), "0 0 20 0 0 0 0 0");

  thread->PostThreadMessage(WM_TESTER_DISCONNECT);
  EXPECT_TRUE(WaitMessage(WM_TESTER_DISCONNECTED, 3000));
  EXPECT_FALSE(thread->HasAdapter());
  EXPECT_TRUE(thread->Quit(2000));
}

// No ".cfp" for the adapter: the first file is taken after a warning; no file at all keeps the
// built-in passport, so the instrument never receives zeros.
TEST_F(TesterLink, WithoutAMatchingPassportNoZerosAreUploaded) {
  InstrumentFixture instrument(roots_.base());
  auto thread = StartThread();
  thread->PostThreadMessage(WM_TESTER_CONNECT);
  ASSERT_TRUE(WaitMessage(WM_TESTER_STATUS, 5000));
  EXPECT_EQ(instrument.Events("passport K").at(0), "passport K 92 150 150");
  EXPECT_TRUE(Boxes().empty());
  thread->PostThreadMessage(WM_TESTER_DISCONNECT);
  ASSERT_TRUE(WaitMessage(WM_TESTER_DISCONNECTED, 3000));

  Cfp("x.cfp", "ID=5\r\nK=10 20 30 1 1 1\r\n");
  thread->PostThreadMessage(WM_TESTER_CONNECT);
  ASSERT_TRUE(WaitMessage(WM_TESTER_STATUS, 5000));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0],
            "Не найдено устройства с требуемым ID.\nID текущего устройства=121469\n"
            "Для работы взят паспорт устройства с ID=5"_cp);
  EXPECT_EQ(instrument.Events("passport K").at(1), "passport K 10 20 30");
  EXPECT_TRUE(thread->Quit(2000));
}

// Frame 4 arms publishing; then every second frame 10 is published, its words read whole.
TEST_F(TesterLink, FramesTenArePublishedOnlyAfterFrameFour) {
  {
    sim::InstrumentOptions o;
    o.noFrame4 = true;
    InstrumentFixture instrument(roots_.base(), o);
    TDodezoriTester adapter(&TesterReceive);
    ASSERT_EQ(adapter.Open(), "");
    ASSERT_TRUE(WaitFor([&] { return instrument.Sim().Frames10() >= 20; }, 2000));
    EXPECT_EQ(PublishCount(), 0u);
    EXPECT_EQ(FrameData(10).w[1], 600) << "frames are kept before publishing is armed";
  }
  sim::InstrumentOptions o;
  o.base = 700;
  InstrumentFixture instrument(roots_.base(), o);
  TDodezoriTester adapter(&TesterReceive);
  ASSERT_EQ(adapter.Open(), "");
  ASSERT_TRUE(WaitFor([&] { return PublishCount() >= 10; }, 2000));
  const uint64_t frames = instrument.Sim().Frames10();
  const uint64_t published = PublishCount();
  EXPECT_NEAR(static_cast<double>(published), frames / 2.0, 3.0);
  const TesterWords w = PublishedWords();
  EXPECT_EQ(w.w[1], 700);
  EXPECT_EQ(w.Force(), 2100);
  EXPECT_EQ(w.w[0], 10000 - 20) << "word 0: the head 20 um above the probe";
}

TEST_F(TesterLink, TheTesterNeedsACallback) {
  try {
    TDodezoriTester t(nullptr);
    FAIL();
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "TDodezoriTester::TDodezoriTester(): null pointer passed");
  }
  EXPECT_STREQ(UcanErrorText(5),
               "the module with the corresponding device number is not connected");
  EXPECT_STREQ(UcanErrorText(73), "CAN channel was already initialized");
  EXPECT_STREQ(UcanErrorText(19), "Unknown error");
  EXPECT_STREQ(UcanErrorText(0x80), "Unknown error");
}

// Faults of the instrument end in their message and a thread without adapter.
TEST_F(TesterLink, FaultsEndInTheirMessageAndACleanState) {
  {
    sim::InstrumentOptions o;
    o.initRefused = 5;
    InstrumentFixture instrument(roots_.base(), o);
    auto thread = StartThread();
    thread->PostThreadMessage(WM_TESTER_CONNECT);
    ASSERT_TRUE(WaitMessage(WM_TESTER_STATUS, 5000));
    const std::string text =
        "Can: Failed to init hardware: the module with the corresponding device number is not "
        "connected";
    EXPECT_EQ(TesterStatusText(), text);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], text);
    EXPECT_FALSE(thread->HasAdapter());
    thread->PostThreadMessage(WM_TESTER_SPEED, static_cast<uintptr_t>(-3));
    EXPECT_TRUE(thread->Quit(2000));
    EXPECT_TRUE(instrument.Events("write").empty()) << "motion commands do nothing";
  }
  boxes_.clear();
  {
    // The third write (block 1) fails: the upload stops, logged only; the status stays clear.
    sim::InstrumentOptions o;
    o.writeFailsAt = 3;
    InstrumentFixture instrument(roots_.base(), o);
    auto thread = StartThread();
    thread->PostThreadMessage(WM_TESTER_CONNECT);
    ASSERT_TRUE(WaitMessage(WM_TESTER_STATUS, 5000));
    EXPECT_EQ(TesterStatusText(), "");
    EXPECT_EQ(
        Log("Can: Failed to write second can message: a request for the driver failed").size(), 1u);
    EXPECT_EQ(instrument.Events("write 2:").size(), 5u) << "3 + speed 0";
    EXPECT_TRUE(thread->Quit(2000));
  }
  {
    // The adapter lost mid-run: the next motion command reports it.
    sim::InstrumentOptions o;
    o.lostAfter = 1.0;
    InstrumentFixture instrument(roots_.base(), o);
    auto thread = StartThread();
    thread->PostThreadMessage(WM_TESTER_CONNECT);
    ASSERT_TRUE(WaitMessage(WM_TESTER_STATUS, 5000));
    ASSERT_TRUE(WaitFor([&] { return !instrument.Events("adapter lost").empty(); }, 3000));
    thread->PostThreadMessage(WM_TESTER_SPEED, static_cast<uintptr_t>(-1));
    ASSERT_TRUE(WaitMessage(WM_TESTER_STATUS, 3000));
    EXPECT_EQ(TesterStatusText(),
              "Can: Failed to write second can message: USB-CANmodul was disconnected");
    thread->PostThreadMessage(WM_TESTER_DISCONNECT);
    EXPECT_TRUE(WaitMessage(WM_TESTER_DISCONNECTED, 3000));
    EXPECT_TRUE(thread->Quit(2000));
  }
}

// Speeds sent directly by the dialog while the thread steps: every command (1, 2) is followed
// by its own speed message, never by the other side's command.
TEST_F(TesterLink, WritesOfTheDialogAndTheThreadDoNotInterleave) {
  InstrumentFixture instrument(roots_.base());
  auto thread = StartThread();
  thread->PostThreadMessage(WM_TESTER_CONNECT);
  ASSERT_TRUE(WaitMessage(WM_TESTER_STATUS, 5000));
  thread->autoStepping = true;
  for (int i = 0; i < 4; ++i) thread->PostThreadMessage(WM_TESTER_PULSE);
  std::thread dialog([&] {
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(thread->SetSpeedDirect(1), "");
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  });
  dialog.join();
  ASSERT_TRUE(WaitFor([&] { return instrument.Events("write 2:").size() >= 10 + 8 + 16; }, 5000));
  const auto writes = instrument.Events("write 2:");
  for (size_t i = 10; i + 1 < writes.size(); i += 2) {
    SCOPED_TRACE(i);
    EXPECT_EQ(writes[i].substr(9, 15), "1 2 0 0 0 0 0 0");
    EXPECT_EQ(writes[i + 1].substr(9, 4), "0 0 ");
  }
  EXPECT_TRUE(thread->Quit(2000));
}

// Quit cuts a connection short in the middle of its waits and joins the thread.
TEST_F(TesterLink, QuitInterruptsTheWaitsAndJoins) {
  InstrumentFixture instrument(roots_.base());
  auto thread = StartThread();
  thread->PostThreadMessage(WM_TESTER_CONNECT);
  thread->PostThreadMessage(WM_TESTER_PULSE);
  ASSERT_TRUE(WaitFor([&] { return !instrument.Events("init can").empty(); }, 2000));
  const double start = MonotonicSeconds();
  EXPECT_TRUE(thread->Quit(1000));
  EXPECT_LT(MonotonicSeconds() - start, 0.15);
  EXPECT_FALSE(thread->Running());
  EXPECT_TRUE(WaitFor([&] { return !instrument.Events("adapter closed").empty(); }, 1000))
      << "the adapter ends with the thread";
  EXPECT_LT(instrument.Events("write 2:").size(), 3u);
}

}  // namespace
