// The simulated test instrument behind its USB-CAN adapter, on a local socket that usbcan's
// simulator backend connects to (USBCAN_SIM, protocol in vendor/usbcan/usbcan_sim_protocol.h).
//
// The stand: a head above the probe that moves every 10 ms at the commanded speed (speed
// messages 0 0 v+20: v < 0 moves down, `speedUnit` micrometres a second per step of v). Below
// the contact point the head presses the probe with force = stiffness x depth. Its three force
// sensors report, in frame 10 every 10 ms, base - force/3 x (uploaded K / factory K) each, so a
// wrong passport (zeros) reads no force at all; word 0 is the head's depth + 10000 (um).
// Frame 4 goes once, 50 ms after the CAN channel is set up; frames 5..9 once a second.
// The upload (command 1 1, blocks 1..5, command 1 2) is logged with the time of every message.
// With a force file (sim/force_link.h) the applied force is published for tacprobe.
//
// Named faults: the hardware init refused with a code; the n-th write answered with a code;
// the adapter lost (connection closed) some seconds after the CAN set-up; no frame 4.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "sim/force_link.h"

namespace sim {

struct InstrumentOptions {
  std::string socket;
  uint32_t serial = 121469;
  std::array<int, 6> factoryK = {92, 150, 150, 87, 90, 150};  // the built-in passport's K
  int base = 600;                                             // force word at no force
  double stiffness = 0.6;                                     // force units per um of depth
  double gap = 20;         // um between the head and the probe at start
  double speedUnit = 100;  // um/s per speed step
  int noise = 0;           // +- counts on each force word
  std::string forceFile;   // published applied force (tacprobe --force-file)
  // Faults.
  int initRefused = 0;   // code answered to the hardware init
  int writeFailsAt = 0;  // the n-th write (1-based) answered with writeFailCode
  int writeFailCode = 10;
  double lostAfter = -1;  // seconds after the CAN set-up
  bool noFrame4 = false;
  unsigned seed = 1;
};

class InstrumentSim {
 public:
  explicit InstrumentSim(InstrumentOptions o);
  ~InstrumentSim();
  bool Start(std::string* error);
  // Serves until stop is set (or seconds have passed when seconds > 0).
  void Run(const std::atomic<bool>& stop, double seconds = -1);

  // Event lines ("write 2: 1 1 0 0 0 0 0 0 +105.2ms", "speed -1", ...).
  std::function<void(const std::string&)> onEvent;
  // Called in the simulator's thread just before each frame 10 goes out (timing probes).
  std::function<void(double when)> onFrame10;
  // State, readable from other threads.
  double Depth() const { return depth_.load(); }
  double Force() const { return force_.load(); }
  uint64_t Writes() const { return writes_.load(); }
  uint64_t Frames10() const { return frames10_.load(); }

 private:
  struct Client;
  void Accept();
  void Serve(Client& c, double now);
  void Tick(double now);
  void SendFrame(uint32_t id, const uint8_t* data);
  void Reply(uint8_t code, uint32_t value = 0);
  void HandleWrite(const uint8_t* msg);
  void Drop(const char* why);
  void Event(const std::string& text);

  InstrumentOptions o_;
  int listen_ = -1;
  int client_ = -1;
  bool canReady_ = false;
  double canSince_ = 0;
  bool frame4Sent_ = false;
  bool lostUsed_ = false;
  double lastTick_ = 0;
  double lastSlow_ = 0;
  double lastWrite_ = -1;
  int speed_ = 0;
  std::array<int, 6> k_{};  // uploaded K (zeros until a passport arrives)
  std::array<std::array<int, 6>, 4> p_{};
  std::atomic<double> depth_;
  std::atomic<double> force_{0};
  std::atomic<uint64_t> writes_{0};
  std::atomic<uint64_t> frames10_{0};
  uint32_t rng_;
  ForceFile forceOut_;
};

bool ParseInstrumentArgs(int argc, char** argv, InstrumentOptions* o, double* runSeconds,
                         bool* help, std::string* error);
const char* InstrumentUsage();

}  // namespace sim
