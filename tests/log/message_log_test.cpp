// The message log end to end without a window: AddLogMessage through the sink, the two
// threads, the file, the list, popups, the thread messages, the docking file, stop and restart.
#include "app/log/message_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>

#include "app/log/log_file_thread.h"
#include "app/log/log_format.h"
#include "platform/clock.h"
#include "platform/report.h"
#include "platform/thread.h"
#include "tests/support/scratch_roots.h"

namespace {

const char* kLogPath = "c:\\Tacmon\\Logs\\LogFile2.log";

// Stamps and headers replaced by fixed marks, so the expectations can be byte-exact.
std::string Normalised(std::string s) {
  static const std::regex stamp(R"(  \[date=\d+\.\d+;time=\d+\.\d+\.\d+\])");
  static const std::regex header(R"(====----<< Date=\d+\.\d+; Time=\d+\.\d+\.\d+>>----===)");
  s = std::regex_replace(s, stamp, "  [STAMP]");
  return std::regex_replace(s, header, "[HEADER]");
}

std::vector<std::string> NormalisedList() {
  std::vector<std::string> out;
  for (auto& l : GetMessageList().lines) out.push_back(Normalised(l));
  return out;
}

// True once the list has not changed for 200 ms.
bool ListSettled() {
  const uint64_t revision = GetMessageList().revision;
  SleepMs(200);
  return GetMessageList().revision == revision;
}

// Holds one named thread of this process in a signal handler until released.
class StuckThread {
 public:
  explicit StuckThread(const char* name) : name_(name) {
    EXPECT_EQ(::pipe(release_), 0);
    g_stuckRelease = release_[0];
  }
  ~StuckThread() {
    Release();
    ::close(release_[0]);
    ::close(release_[1]);
  }
  bool Hold() {
    pid_t tid = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/task")) {
      std::ifstream comm(e.path() / "comm");
      std::string n;
      std::getline(comm, n);
      if (n == name_) tid = std::stoi(e.path().filename().string());
    }
    if (!tid) return false;
    struct sigaction sa {};
    sa.sa_handler = [](int) {
      g_stuckEntered = true;
      char c;
      while (::read(g_stuckRelease, &c, 1) < 0 && errno == EINTR) {
      }
    };
    ::sigaction(SIGUSR2, &sa, nullptr);
    if (::syscall(SYS_tgkill, ::getpid(), tid, SIGUSR2) != 0) return false;
    for (int i = 0; i < 300 && !g_stuckEntered; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return g_stuckEntered;
  }
  void Release() {
    if (released_) return;
    released_ = true;
    EXPECT_EQ(::write(release_[1], "x", 1), 1);
  }

 private:
  static inline std::atomic<bool> g_stuckEntered{false};
  static inline int g_stuckRelease = -1;
  std::string name_;
  int release_[2] = {-1, -1};
  bool released_ = false;
};

bool WaitFor(const std::function<bool()>& done, int ms = 3000) {
  for (int t = 0; t < ms; t += 5) {
    if (done()) return true;
    SleepMs(5);
  }
  return done();
}

class MessageLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // An existing (empty) log: a reload of a missing file changes nothing and writes no header.
    WriteBytes(roots_.data() / "Logs" / "LogFile2.log", "");
    StartMessageLog(kLogPath);
    // The window thread writes the first start header when it is ready.
    ASSERT_TRUE(WaitFor([&] { return !GetMessageList().lines.empty(); }));
  }
  void TearDown() override { StopMessageLog(); }

  std::string FileText() { return Normalised(ReadBytes(roots_.data() / "Logs" / "LogFile2.log")); }

  ScratchRoots roots_;
};

}  // namespace

TEST_F(MessageLogTest, TwoLineMessageIsFiledReversedAndListedInOrder) {
  AddLogMessage("A\nB");
  ASSERT_TRUE(FlushMessageLog(3000));
  EXPECT_EQ(FileText(), "[HEADER]\r\nB  [STAMP]\r\nA\r\n");
  EXPECT_EQ(NormalisedList(), (std::vector<std::string>{"A", "B  [STAMP]", "[HEADER]"}));
}

TEST_F(MessageLogTest, ControlCodesDecideFileAndPopup) {
  EXPECT_FALSE(GetMessageList().noAutoPopup == false);  // initially no automatic popup
  AddLogMessage("plain");
  ASSERT_TRUE(FlushMessageLog(3000));
  EXPECT_FALSE(GetMessageList().visible);

  SetNoAutoPopup(false);
  AddLogMessage("\x04quiet");
  ASSERT_TRUE(FlushMessageLog(3000));
  EXPECT_FALSE(GetMessageList().visible);
  AddLogMessage("\x02not filed");
  ASSERT_TRUE(FlushMessageLog(3000));
  EXPECT_TRUE(GetMessageList().visible);

  EXPECT_EQ(FileText(), "[HEADER]\r\nplain  [STAMP]\r\nquiet  [STAMP]\r\n");
  EXPECT_EQ(NormalisedList(), (std::vector<std::string>{"not filed  [STAMP]", "quiet  [STAMP]",
                                                        "plain  [STAMP]", "[HEADER]"}));
}

TEST_F(MessageLogTest, UnfiledMessageStillCutsAnOverlongFile) {
  std::string lines;
  for (int i = 0; i < 10001; ++i) lines += "L" + std::to_string(i) + "\r\n";
  WriteBytes(roots_.data() / "Logs" / "LogFile2.log", lines);
  AddLogMessage("\x02shown only");
  ASSERT_TRUE(FlushMessageLog(3000));
  // The newest 9999 lines, nothing appended.
  EXPECT_EQ(ReadBytes(roots_.data() / "Logs" / "LogFile2.log"), lines.substr(lines.find("L2\r\n")));
  EXPECT_EQ(NormalisedList().front(), "shown only  [STAMP]");
}

TEST_F(MessageLogTest, SurfaceDataMessageLeavesNoTrace) {
  const std::string before = FileText();
  const auto revision = GetMessageList().revision;
  AddLogMessage(("x: " + std::string("некорректные данные о поверхностях"_cp) + " y").c_str());
  ASSERT_TRUE(FlushMessageLog(3000));
  EXPECT_EQ(FileText(), before);
  EXPECT_EQ(GetMessageList().revision, revision);
}

TEST_F(MessageLogTest, FullRingStillWritesEveryMessageToTheFile) {
  // Holding the shared semaphore stalls the work thread, so the ring fills up.
  ASSERT_TRUE(SharedUiSemaphore().Wait(1000));
  for (int i = 0; i < 1200; ++i) AddLogMessage(("m" + std::to_string(i)).c_str());
  SharedUiSemaphore().Release();
  ASSERT_TRUE(FlushMessageLog(10000));
  std::string file = FileText();
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 1 + 1200);
  EXPECT_NE(file.find("m1199  [STAMP]\r\n"), std::string::npos);
  // The window got at most the ring's 999 plus the one being displayed.
  auto lines = GetMessageList().lines.size();
  EXPECT_LT(lines, 1 + 1200u);
  EXPECT_GE(lines, 1 + 999u);
}

TEST_F(MessageLogTest, ReloadFiltersWarningsUntilTheyAreShown) {
  AddLogMessage("Warn: low battery");
  AddLogMessage("[after the warning]");
  AddLogMessage("ok");
  ASSERT_TRUE(FlushMessageLog(3000));
  ReloadMessageList(false);
  EXPECT_EQ(NormalisedList(), (std::vector<std::string>{"ok  [STAMP]", "[HEADER]"}));
  SetShowWarnings(true);
  EXPECT_EQ(NormalisedList(),
            (std::vector<std::string>{"ok  [STAMP]", "[after the warning]  [STAMP]",
                                      "Warn: low battery  [STAMP]", "[HEADER]"}));
  EXPECT_EQ(FileText(),
            "[HEADER]\r\nWarn: low battery  [STAMP]\r\n"
            "[after the warning]  [STAMP]\r\nok  [STAMP]\r\n");
}

TEST_F(MessageLogTest, ThreadMessagesToggleReloadAndSilence) {
  const uint32_t id = MessageLogWindowThreadId();
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(PostThreadMessageTo(id, kLogMsgToggleWindow));
  ASSERT_TRUE(WaitFor([] { return GetMessageList().visible; }));
  ASSERT_TRUE(PostThreadMessageTo(MessageLogWorkThreadId(), kLogMsgToggleWindow));
  ASSERT_TRUE(WaitFor([] { return !GetMessageList().visible; }));

  SetNoAutoPopup(false);
  ASSERT_TRUE(PostThreadMessageTo(id, kLogMsgNoAutoPopup));
  ASSERT_TRUE(WaitFor([] { return GetMessageList().noAutoPopup; }));

  PostThreadMessageTo(id, kLogMsgIgnored1);
  PostThreadMessageTo(id, kLogMsgIgnored2);
  MarkMessageLogStart();  // a new start header in the file and on top of the list
  ASSERT_TRUE(WaitFor([&] { return FileText() == "[HEADER]\r\n[HEADER]\r\n"; }));
  EXPECT_EQ(NormalisedList(), (std::vector<std::string>{"[HEADER]", "[HEADER]"}));
}

TEST_F(MessageLogTest, DockingCornerFileAndUserMoves) {
  const auto place = roots_.data() / "Logs" / "logplace.bin";
  WriteBytes(place, "301\r\n2\r\n");
  ShowMessageWindow(5);
  EXPECT_EQ(GetMessageList().corner, 2);
  EXPECT_TRUE(GetMessageList().visible);
  SetDockingCorner(3);
  EXPECT_EQ(ReadBytes(place), "301\r\n3\r\n");
  OnMessageWindowMovedByUser();
  EXPECT_FALSE(std::filesystem::exists(place));
  ShowMessageWindow(5);
  EXPECT_EQ(GetMessageList().corner, 0);
  WriteBytes(place, "302\r\n2\r\n");  // malformed: not docked
  ShowMessageWindow(5);
  EXPECT_EQ(GetMessageList().corner, 0);
}

// The window's place is read at every popup; a place file that cannot be read is reported
// once, never again by the popup of its own report.
TEST_F(MessageLogTest, UnreadablePlaceFileIsReportedOnceNotAtEveryPopup) {
  std::filesystem::create_symlink("/dev/zero", roots_.data() / "Logs" / "logplace.bin");
  SetNoAutoPopup(false);
  for (const char* text : {"one", "two"}) {
    AddLogMessage(text);
    ASSERT_TRUE(FlushMessageLog(3000));
  }
  SleepMs(200);
  ASSERT_TRUE(FlushMessageLog(3000));
  const std::string file = FileText();
  size_t reports = 0;
  for (size_t at = 0; (at = file.find("logplace.bin", at)) != std::string::npos; ++at) ++reports;
  EXPECT_EQ(reports, 1u) << file;
  EXPECT_NE(file.find("two  [STAMP]"), std::string::npos);
}

TEST_F(MessageLogTest, EraseDeletesTheFileAndEmptiesTheList) {
  AddLogMessage("one");
  ASSERT_TRUE(FlushMessageLog(3000));
  EraseMessageLog();
  EXPECT_FALSE(std::filesystem::exists(roots_.data() / "Logs" / "LogFile2.log"));
  EXPECT_TRUE(GetMessageList().lines.empty());
  AddLogMessage("two");
  ASSERT_TRUE(FlushMessageLog(3000));
  EXPECT_EQ(FileText(), "two  [STAMP]\r\n");
}

TEST_F(MessageLogTest, MessagesAfterStopStillReachTheFile) {
  StopMessageLog();
  EXPECT_EQ(MessageLogWindowThreadId(), 0u);
  EXPECT_EQ(MessageLogWorkThreadId(), 0u);
  AddLogMessage("late");
  EXPECT_EQ(FileText(), "[HEADER]\r\nlate  [STAMP]\r\n");
  // A new start works again.
  StartMessageLog(kLogPath);
  ASSERT_TRUE(WaitFor([&] { return FileText() == "[HEADER]\r\nlate  [STAMP]\r\n[HEADER]\r\n"; }));
  AddLogMessage("again");
  ASSERT_TRUE(FlushMessageLog(3000));
  EXPECT_EQ(NormalisedList().front(), "again  [STAMP]");
}

TEST_F(MessageLogTest, ManyThreadsReportAtOnce) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < 100; ++i) AddLogMessageF("t%d n%d\nsecond", t, i);
    });
  // Readers of the list and posters of thread messages at the same time.
  std::thread reader([] {
    for (int i = 0; i < 50; ++i) {
      (void)GetMessageList();
      PostToMessageLogWindowThread(kLogMsgReloadWithHeader);
      SleepMs(1);
    }
  });
  for (auto& w : writers) w.join();
  reader.join();
  ASSERT_TRUE(FlushMessageLog(5000));
  std::string file = FileText();
  // Each message: two lines, the stamped second line first.
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 100; i += 33) {
      std::string m =
          "second  [STAMP]\r\nt" + std::to_string(t) + " n" + std::to_string(i) + "\r\n";
      EXPECT_NE(file.find(m), std::string::npos) << m;
    }
}

TEST_F(MessageLogTest, ShowAllStartsTheViewerWithoutAShell) {
  // A viewer that writes down its arguments; $EDITOR words are split at blanks.
  const auto viewer = roots_.base() / "viewer.sh";
  const auto out = roots_.base() / "viewer.out";
  WriteBytes(viewer, "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + out.string() + ".tmp\"\nmv \"" +
                         out.string() + ".tmp\" \"" + out.string() + "\"\n");
  std::filesystem::permissions(viewer, std::filesystem::perms::owner_all);
  const char* old = std::getenv("EDITOR");
  const std::string saved = old ? old : "";
  ::setenv("EDITOR", (viewer.string() + " --view").c_str(), 1);
  EXPECT_TRUE(OpenMessageLogInViewer());
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(out); }));
  EXPECT_EQ(ReadBytes(out), "--view|" + (roots_.data() / "Logs" / "LogFile2.log").string() + "|");
  ::setenv("EDITOR", (roots_.base() / "no-such-viewer").c_str(), 1);
  EXPECT_FALSE(OpenMessageLogInViewer());
  if (old)
    ::setenv("EDITOR", saved.c_str(), 1);
  else
    ::unsetenv("EDITOR");
}

TEST_F(MessageLogTest, WakingWithAnEmptyRingShowsNothingAgain) {
  AddLogMessage("once");
  ASSERT_TRUE(FlushMessageLog(3000));
  const auto before = GetMessageList();
  // Thread messages wake the work thread with nothing in the ring.
  for (uint32_t m : {kLogMsgIgnored1, kLogMsgIgnored2, kLogMsgIgnored1})
    ASSERT_TRUE(PostThreadMessageTo(MessageLogWorkThreadId(), m));
  SleepMs(300);
  const auto after = GetMessageList();
  EXPECT_EQ(after.lines, before.lines);
  EXPECT_EQ(after.revision, before.revision);
}

TEST_F(MessageLogTest, ReportingWhileTheLogStopsLosesNothingInTheFile) {
  std::atomic<bool> go{true};
  std::atomic<int> sent{0};
  std::vector<std::thread> writers;
  for (int t = 0; t < 3; ++t)
    writers.emplace_back([&] {
      for (int i = 0; go && i < 1500; ++i) {  // stays below the cut
        AddLogMessage("busy");
        ++sent;
      }
    });
  SleepMs(50);
  StopMessageLog();  // the writers keep reporting through and after the stop
  SleepMs(50);
  go = false;
  for (auto& w : writers) w.join();
  const std::string file = FileText();
  size_t count = 0;
  for (size_t p = 0; (p = file.find("busy  [STAMP]\r\n", p)) != std::string::npos; ++p) ++count;
  EXPECT_EQ(static_cast<int>(count), sent.load());
}

TEST_F(MessageLogTest, AStuckLogFileNeverStallsReportingAndWhatItMissedIsReported) {
  // The log file's thread is held as a stuck disk would hold it: a signal sent to it runs a
  // handler that blocks until the test releases it. Sent while the thread is idle, so it holds
  // none of the log's locks.
  AddLogMessage("before");
  ASSERT_TRUE(FlushMessageLog(3000));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  StuckThread stuck("tacmon-logfile");
  ASSERT_TRUE(stuck.Hold());

  // The first reporter waits for the file at most its limit; the next ones not at all.
  double t0 = MonotonicSeconds();
  AddLogMessage("first");
  EXPECT_LT(MonotonicSeconds() - t0, 2.0);
  double longest = 0;
  std::vector<std::thread> writers;
  std::mutex longestLock;
  for (int t = 0; t < 3; ++t)
    writers.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        const double start = MonotonicSeconds();
        AddLogMessageF("t%d m%d", t, i);
        std::lock_guard l(longestLock);
        longest = std::max(longest, MonotonicSeconds() - start);
      }
    });
  for (auto& w : writers) w.join();
  EXPECT_LT(longest, 0.5);
  // A reload cannot read the file: it gives up in time and leaves the list as it was.
  ASSERT_TRUE(WaitFor([] { return ListSettled(); }, 10000));
  const auto listBefore = GetMessageList().lines;
  t0 = MonotonicSeconds();
  ReloadMessageList(true);
  EXPECT_LT(MonotonicSeconds() - t0, 2.0);
  EXPECT_EQ(GetMessageList().lines, listBefore);
  EXPECT_FALSE(FlushMessageLog(200));

  // The disk comes back.
  stuck.Release();
  ASSERT_TRUE(FlushMessageLog(5000));
  AddLogMessage("after");
  ASSERT_TRUE(FlushMessageLog(3000));

  // What waited is written in order; what could not wait is counted, and the count is told
  // before the next message.
  const std::string text = FileText();
  size_t written = 0;
  for (size_t p = 0; (p = text.find("\r\nt", p)) != std::string::npos; ++p) ++written;
  EXPECT_EQ(written, msglog::LogFileThread::kMaxWaiting - 1) << "\"first\" waited in the queue too";
  EXPECT_NE(text.find("first  [STAMP]\r\n"), std::string::npos);
  EXPECT_EQ(text.find("[HEADER]", text.find("before")), std::string::npos)
      << "the abandoned reload wrote no header";
  const std::string report = "(13214)Internal error:" + std::to_string(1500 - written) +
                             " messages were not written to the log file  [STAMP]\r\n";
  const size_t at = text.find(report);
  ASSERT_NE(at, std::string::npos) << text.substr(text.size() - 300);
  EXPECT_EQ(text.substr(at + report.size()), "after  [STAMP]\r\n");
  EXPECT_EQ(NormalisedList().front(), "after  [STAMP]");
}

TEST_F(MessageLogTest, MessagesThatCannotBeWrittenAreCountedAndReportedOnceTheFileWorks) {
  const auto logs = roots_.data() / "Logs";
  std::filesystem::remove_all(logs);
  WriteBytes(logs, "");  // a file where the folder should be: the log file cannot be made
  AddLogMessage("lost 1");
  AddLogMessage("lost 2");
  ASSERT_TRUE(FlushMessageLog(3000));
  std::filesystem::remove(logs);
  std::filesystem::create_directories(logs);
  AddLogMessage("back");
  AddLogMessage("next");
  ASSERT_TRUE(FlushMessageLog(3000));
  EXPECT_EQ(FileText(),
            "back  [STAMP]\r\n"
            "(13214)Internal error:2 messages were not written to the log file  [STAMP]\r\n"
            "next  [STAMP]\r\n");
  // The window had them all along.
  auto list = NormalisedList();
  EXPECT_NE(std::find(list.begin(), list.end(), "lost 1  [STAMP]"), list.end());
  EXPECT_NE(std::find(list.begin(), list.end(), "lost 2  [STAMP]"), list.end());
}
