#include "link_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "support/scratch_roots.h"

extern char** environ;

ProbeProcess::ProbeProcess(const std::vector<std::string>& args, const std::string& outFile,
                           const std::string& program)
    : out_(outFile) {
  // The programs are built beside the tests; $TACMON_BIN names the folder when it is set.
  const char* bin = std::getenv("TACMON_BIN");
  std::string folder =
      bin ? bin : std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  std::string exe = folder + "/" + program;
  std::vector<char*> argv;
  argv.push_back(exe.data());
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  if (posix_spawn(&pid_, exe.c_str(), &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&fa);
}

ProbeProcess::~ProbeProcess() {
  if (pid_ <= 0) return;
  // A program that dies instead of ending cleanly (a crash, a sanitizer report) fails the test.
  int status = Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "status " << status << " from " << out_ << ":\n"
      << Output();
}

bool ProbeProcess::Ready(int com, int ms) {
  auto link = winpath::PortsFolder() / ("COM" + std::to_string(com));
  return WaitUntil(
      [&] {
        return Output().find("ready") != std::string::npos &&
               std::filesystem::is_symlink(std::filesystem::symlink_status(link));
      },
      ms);
}

std::string ProbeProcess::Output() { return ReadBytes(out_); }

void ProbeProcess::Signal(int sig) {
  if (pid_ > 0) ::kill(pid_, sig);
}

int ProbeProcess::Wait(int ms) {
  if (pid_ <= 0) return -1;
  int status = 0;
  for (int waited = 0;; waited += 10) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (waited >= ms) return -1;
    SleepMs(10);
  }
}

int ProbeProcess::Stop() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return status;
}

// ---- log capture ----

namespace {
std::mutex g_logLock;  // guards g_log
std::vector<std::string> g_log;
void CaptureSink(const char* text) {
  std::lock_guard l(g_logLock);
  g_log.push_back(Cp1251ToUtf8(text));
}
}  // namespace

LogCapture::LogCapture() {
  {
    std::lock_guard l(g_logLock);
    g_log.clear();
  }
  SetLogSink(&CaptureSink);
}

LogCapture::~LogCapture() { SetLogSink(nullptr); }

std::vector<std::string> LogCapture::Lines() {
  std::lock_guard l(g_logLock);
  return g_log;
}

int LogCapture::Count(const std::string& utf8) {
  int n = 0;
  for (const std::string& s : Lines()) n += s.find(utf8) != std::string::npos;
  return n;
}

bool LogCapture::Contains(const std::string& utf8) { return Count(utf8) > 0; }

bool LogCapture::WaitFor(const std::string& utf8, int ms) {
  return WaitUntil([&] { return Contains(utf8); }, ms);
}

// ---- passports ----

void WritePassportFile(const std::string& name, int deviceNumber, const std::string& id, int format,
                       bool autoconnect) {
  DevicePassport p;
  p.deviceNumber = deviceNumber;
  ParseDeviceId(id, p.deviceId);
  p.format = format;
  p.useForAutoconnect = autoconnect ? 1 : 0;
  fsw::MakeDirectories("c:\\Tacmon\\DVP");
  std::string file = "c:\\Tacmon\\DVP\\" + name + ".dvp";
  WriteDvp(file, p);
  WriteAutoconnectFile(p, file);
}

// ---- windows ----

RecordingWindow::RecordingWindow() : target_(std::make_shared<MessageQueueTarget>()) {
  handle_ = RegisterWindow(target_);
}

RecordingWindow::~RecordingWindow() { UnregisterWindow(handle_); }

std::vector<uint32_t> RecordingWindow::Messages() {
  std::lock_guard l(lock_);
  ThreadMessage m;
  while (target_->queue.Peek(m)) seen_.push_back(m.message);
  return seen_;
}

int RecordingWindow::Count(uint32_t message) {
  int n = 0;
  for (uint32_t m : Messages()) n += m == message;
  return n;
}

bool RecordingWindow::WaitFor(uint32_t message, int count, int ms) {
  return WaitUntil([&] { return Count(message) >= count; }, ms);
}

WindowPump::WindowPump() : target_(std::make_shared<MessageQueueTarget>()) {
  handle_ = RegisterWindow(target_);
}

WindowPump::~WindowPump() {
  Stop();
  UnregisterWindow(handle_);
}

void WindowPump::Start(CCOMReadThread& link) {
  link_ = &link;
  thread_ = std::thread([this] {
    while (!stop_.load()) {
      int next = link_->TickTimers();
      ThreadMessage m;
      int wait = next < 0 ? 5 : std::min(next, 5);
      if (!target_->queue.Get(m, std::max(wait, 1))) continue;
      if (m.message == kLinkMsgConnected) ++connected_;
      if (m.message != kLinkMsgNewImage) continue;
      Taken t{};
      while (link_->TakeImage(t.image, t.index, &t.second)) {
        t.when = MonotonicSeconds();
        std::lock_guard l(lock_);
        images_.push_back(t);
      }
    }
  });
}

void WindowPump::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::vector<WindowPump::Taken> WindowPump::Images() {
  std::lock_guard l(lock_);
  return images_;
}

int WindowPump::ImageCount() {
  std::lock_guard l(lock_);
  return static_cast<int>(images_.size());
}

bool WindowPump::WaitConnected(int count, int ms) {
  return WaitUntil([&] { return connected_.load() >= count; }, ms);
}

bool WindowPump::WaitImages(int count, int ms) {
  return WaitUntil([&] { return ImageCount() >= count; }, ms);
}
