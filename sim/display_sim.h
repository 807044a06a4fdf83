// The simulated tactile display on a pseudo-terminal linked as COM<n>.
//
// It reads command lines ended by CR ("off", "res", "on", "k07=128") and answers each with the
// prompt "\r\r\n>"; it keeps the 19 levels and the on/off state ("res" sets every level to 0),
// and ignores the adapter's lines ("btdis", "btcaa=..."). Replies are paced like a 38400 baud
// line (10 bits a byte, both the command and the reply), unless pacing is switched off. Every
// command is logged with its time since the start.
//
// Named fault modes: a reply delay, silence after some seconds, a wrong prompt, an echo of the
// command with or without its CR before the prompt's last three bytes, a hang-up (the port goes
// and comes back), and a port that opens but never answers.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/pty_link.h"

namespace sim {

enum class EchoMode { kNone, kWithCr, kWithoutCr };

struct DisplayOptions {
  int com = 4;
  bool pacing = true;     // 38400 baud line time for every byte
  double startDelay = 0;  // seconds before the port appears
  // Fault modes.
  int replyDelayMs = 0;      // extra wait before every reply
  double silentAfter = -1;   // seconds after the first command before it stops answering
  bool wrongPrompt = false;  // answers "\r\n>" only
  EchoMode echo = EchoMode::kNone;
  double hangupAfter = -1;        // seconds after the first command before the port hangs up (once)
  double hangupFor = 1.0;         // seconds until it comes back
  bool hangupUnanswered = false;  // the hang-up falls on a command before its reply
  bool mute = false;              // opens, never answers
};

class DisplaySim {
 public:
  explicit DisplaySim(DisplayOptions o);
  ~DisplaySim();
  // Creates and links the port (after startDelay, called from Run when it is not 0).
  bool Start(std::string* error);
  // Runs until stop is set (or seconds have passed when seconds > 0).
  void Run(const std::atomic<bool>& stop, double seconds = -1);

  std::array<int, 19> Levels();
  bool On();
  uint64_t Commands() const { return commands_.load(); }
  uint64_t FrameLines() const { return frameLines_.load(); }
  const DisplayOptions& Options() const { return o_; }

  // Called in the simulator's thread for every command line (seconds since start, the line).
  std::function<void(double, const std::string&)> onCommand;
  // Events ("open", "closed", "hang-up", "back") for the console.
  std::function<void(const std::string&)> onEvent;

 private:
  void Handle(const std::string& line, double now);
  void Reply(const std::string& bytes, double lineEnd);
  double Now() const;

  DisplayOptions o_;
  std::unique_ptr<PtyLink> pty_;
  double start_ = 0;
  double firstCommand_ = -1;
  bool hungUp_ = false;
  bool hangupNow_ = false;  // a command was left unanswered for the hang-up
  double backAt_ = 0;
  double lineFree_ = 0;  // when the line has carried everything so far
  std::string pending_;
  std::mutex lock_;  // guards levels_, on_
  std::array<int, 19> levels_{};
  bool on_ = false;
  std::atomic<uint64_t> commands_{0};
  std::atomic<uint64_t> frameLines_{0};
};

// Command-line options of tacdisplay; false with error set on a bad argument.
bool ParseDisplayArgs(int argc, char** argv, DisplayOptions* o, double* seconds, bool* help,
                      std::string* logFile, bool* window, std::string* error);
const char* DisplayUsage();

}  // namespace sim
