// The simulated probe behind its Bluetooth adapter, on a pseudo-terminal linked as COM<n>.
//
// Adapter mode: the adapter waits for text commands ("btcaa=<id>\r\n", "btdis\r\n",
// "btsearch\r\n"); a connect command naming the probe's id is answered with "CONNECTION\r\n"
// and the probe then streams packets until "btdis" or until the port is closed. The search is
// answered with "Inquiry", one line "xx:xx:xx:xx:xx:xx QRX tacprobe" per device in reach (the
// probe itself, or the list given) and "OK", the lines optionally paced. Direct mode
// (a probe on a fixed port, no adapter) and format 2 devices: they stream whenever the port is
// open.
// A second probe (TC packets only, always direct) can be put on another port.
//
// Power button: a script with an "off" phase (or a count of pushes) runs on one clock from the
// start of the simulator and switches the first probe off and on. Switched off, the probe
// stops sending and its Bluetooth link drops: the adapter keeps its port but streams nothing
// more until it is told to connect again. An adapter told to connect while the probe is off
// keeps paging and answers "CONNECTION" the moment the probe is switched on. Without an adapter
// the probe streams again when switched on, as long as the port is open.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/force_link.h"
#include "sim/probe_packets.h"
#include "sim/pty_link.h"
#include "sim/push_model.h"

namespace sim {

struct ProbeOptions {
  int com = 5;
  int format = 1;
  std::string id = "0a1b2c3d4e5f";  // 12 hex digits, the Bluetooth address
  bool direct = false;
  double rate = 0;  // packets per second; 0: as fast as the 115200 baud line carries them
  PushScript script = PushScript::Default();
  int pushes = 0;  // > 0: the probe is switched off for good after this many passes of the script
  int noise = 3;
  int restBase = 0;                            // 0: the format's usual rest level
  double inclusionGain = 1.4;                  // 1: a probe pressed on tissue without inclusion
  std::vector<int> inclusion = {4, 5, 9, 10};  // sensors over it (0-based)
  // Fault modes.
  int strayEvery = 0;               // one stray byte before every n-th packet
  double corruptRate = 0;           // chance of each packet byte having a bit flipped
  double silenceAfter = -1;         // seconds of streaming before the probe falls silent (once)
  double silenceFor = -1;           // how long it stays silent; < 0 until the next connection
  double hangupAfter = -1;          // seconds of streaming before the port hangs up (once)
  double hangupFor = 1.0;           // seconds until the port comes back
  bool wrongHeader = false;         // packets carry "XX" instead of "TC" / "KT"
  bool silentAfterConnect = false;  // answers "CONNECTION" and never streams
  double slowStart = 0;             // seconds before answering (adapter) or streaming (direct)
  int secondCom = 0;                // a second probe on this port (0: none)
  int markerEvery = 0;              // every n-th packet carries a marker word (timing probes)
  // The devices the adapter reports to "btsearch" (12 hex digits each); empty: the probe alone.
  std::vector<std::string> searchIds;
  double searchDelay = 0;  // seconds between the lines of the search answer (an inquiry's pace)
  unsigned seed = 1;
  // Coupled to the simulated instrument: the pressure follows the force in this file (see
  // sim/force_link.h), forceFull giving pressure 1; the script is not used then.
  std::string forceFile;
  double forceFull = 200;
};

class ProbeSim {
 public:
  explicit ProbeSim(ProbeOptions o);
  ~ProbeSim();
  // Creates and links the ports.
  bool Start(std::string* error);
  // Runs until stop is set (or seconds have passed when seconds > 0).
  void Run(const std::atomic<bool>& stop, double seconds = -1);

  // Packets written, and packets dropped because nobody read them.
  uint64_t PacketsWritten() const { return written_.load(); }
  uint64_t PacketsDropped() const { return dropped_.load(); }
  double PacketsPerSecond() const { return rate_; }
  // True when the script drives the power button.
  bool PowerButton() const { return o_.pushes > 0 || o_.script.HasOffPhase(); }
  const ProbeOptions& Options() const { return o_; }
  // Raw value of sensor s at rest (no noise), as streamed by the first and second probe.
  int RestValue(int sensor) const { return model_.RestValue(sensor); }
  int SecondRestValue(int sensor) const { return secondModel_.RestValue(sensor); }

  // Called in the simulator's thread with the monotonic time a marker packet was written.
  std::function<void(double when)> onMarker;
  // Event lines ("connected", "btdis", "silent", ...) for the program's console.
  std::function<void(const std::string&)> onEvent;

 private:
  struct Port {
    std::unique_ptr<PtyLink> pty;
    bool second = false;
    enum State { kIdle, kConnecting, kStreaming } state = kIdle;
    bool readerWasPresent = false;
    double stateSince = 0;
    double streamStart = 0;    // packet clock of the session
    double scriptStart = 0;    // the push script starts with every session
    uint64_t sent = 0;         // packets of this session
    std::string line;          // command being received
    std::vector<uint8_t> out;  // bytes waiting for the master to take them
    double silentUntil = -1;   // > now: silent; < 0 with silent_ true: until reconnection
    bool silent = false;
    double hungUntil = -1;
    std::vector<std::pair<double, std::string>> answerDue;  // search answer lines and when
  };

  // Probes without an adapter in front (direct, second, and format 2 devices) stream as soon
  // as the port is opened and ignore commands.
  bool StreamsOnOpen(const Port& p) const { return o_.direct || p.second || o_.format == 2; }
  void Service(Port& p, double now);
  void HandleCommand(Port& p, const std::string& cmd, double now);
  void StartStream(Port& p, double now);
  void StreamDue(Port& p, double now);
  void Queue(Port& p, const std::vector<uint8_t>& bytes);
  void Flush(Port& p);
  void Event(const std::string& text);
  int NextWaitMs(double now) const;
  bool PoweredAt(double now) const;
  void UpdatePower(double now);

  ProbeOptions o_;
  SensorModel model_;
  SensorModel secondModel_;
  double rate_ = 0;
  double start_ = 0;
  uint16_t counter_ = 0;
  uint64_t serial_ = 0;
  bool silenceUsed_ = false;
  bool hangupUsed_ = false;
  bool powered_ = true;
  std::vector<Port> ports_;
  ForceFile force_;
  std::atomic<uint64_t> written_{0};
  std::atomic<uint64_t> dropped_{0};
  uint32_t rng_ = 12345;
};

// Parses the tacprobe command line into options; false with a message on a bad argument.
bool ParseProbeArgs(int argc, char** argv, ProbeOptions* o, double* runSeconds, bool* help,
                    std::string* error);
const char* ProbeUsage();

}  // namespace sim
