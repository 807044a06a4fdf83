// Test parts of the link tests: the tacprobe program as a child process, a capture of the
// message log, passports in the scratch data root, and owner/hub windows with a pump that
// plays the operation window (drives the link timer, takes the images).
#pragma once

#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/link/com_read_thread.h"
#include "platform/clock.h"

// A program of $TACMON_BIN (tacprobe by default) started with the given arguments; what it
// prints goes into outFile.
class ProbeProcess {
 public:
  ProbeProcess(const std::vector<std::string>& args, const std::string& outFile,
               const std::string& program = "tacprobe");
  ~ProbeProcess();                     // SIGTERM and wait; a test fails unless it ends with 0
  bool Ready(int com, int ms = 5000);  // the link COM<com> exists
  std::string Output();                // everything it printed so far
  int Stop();                          // SIGTERM, then the wait status
  void Signal(int sig);
  int Wait(int ms);  // exit code, -1 when still running after ms

 private:
  pid_t pid_ = -1;
  std::string out_;
};

// Every message log text (converted to UTF-8) while the capture lives.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  std::vector<std::string> Lines();
  bool Contains(const std::string& utf8);
  int Count(const std::string& utf8);
  // Waits until a line containing utf8 appears.
  bool WaitFor(const std::string& utf8, int ms);
};

// Writes DVP\<name>.dvp (and its "Add.bin" companion with the autoconnect flag).
void WritePassportFile(const std::string& name, int deviceNumber, const std::string& id, int format,
                       bool autoconnect);

// A registered MessageQueueTarget that remembers the messages it got, in order.
class RecordingWindow {
 public:
  RecordingWindow();
  ~RecordingWindow();
  WindowHandle handle() const { return handle_; }
  std::vector<uint32_t> Messages();  // drains the queue into the record, returns all so far
  int Count(uint32_t message);
  bool WaitFor(uint32_t message, int count, int ms);

 private:
  std::shared_ptr<MessageQueueTarget> target_;
  WindowHandle handle_ = 0;
  std::mutex lock_;  // guards seen_
  std::vector<uint32_t> seen_;
};

// Plays the operation window on its own thread: ticks the link timer and takes every image
// announced by 1037.
class WindowPump {
 public:
  WindowPump();
  ~WindowPump();
  WindowHandle handle() const { return handle_; }
  void Start(CCOMReadThread& link);
  void Stop();
  struct Taken {
    PacketImage image;
    PacketImage second;
    int32_t index;
    double when;
  };
  std::vector<Taken> Images();
  int ImageCount();
  int Connected() const { return connected_.load(); }
  bool WaitConnected(int count, int ms);
  bool WaitImages(int count, int ms);

 private:
  CCOMReadThread* link_ = nullptr;
  std::shared_ptr<MessageQueueTarget> target_;
  WindowHandle handle_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connected_{0};
  std::mutex lock_;  // guards images_
  std::vector<Taken> images_;
};

// Waits until pred() holds, at most ms.
template <class Pred>
bool WaitUntil(Pred pred, int ms) {
  for (int waited = 0; waited < ms; waited += 10) {
    if (pred()) return true;
    SleepMs(10);
  }
  return pred();
}
