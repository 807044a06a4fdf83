#include "sim/probe_sim.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/clock.h"
#include "sim/sim_program.h"

namespace sim {

namespace {

constexpr size_t kMaxPending = 4096;                     // bytes; more means nobody reads the port
constexpr double kLineBytesPerSecond = 115200.0 / 10.0;  // 8N1: ten bits a byte

SensorModelOptions ModelOptions(const ProbeOptions& o, bool second) {
  SensorModelOptions m;
  m.format = second ? (o.format == 0 ? 0 : 1) : o.format;
  m.noise = o.noise;
  if (!second) {
    m.inclusionGain = o.inclusionGain;
    m.inclusion = o.inclusion;
  }
  m.restBase = second ? (o.restBase ? o.restBase + 500 : 0) : o.restBase;
  if (second && !o.restBase) m.restBase = m.format == 0 ? 29000 : 2000;
  m.seed = o.seed + (second ? 7 : 0);
  return m;
}

std::string ToLower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

bool IsDeviceId(const std::string& id) {
  return id.size() == 12 && std::all_of(id.begin(), id.end(), [](char c) {
           return std::isxdigit(static_cast<unsigned char>(c));
         });
}

std::string SearchAddress(const std::string& id) {
  std::string a;
  for (size_t i = 0; i + 1 < id.size() && i < 12; i += 2) {
    if (!a.empty()) a += ':';
    a += ToLower(id.substr(i, 2));
  }
  return a;
}

}  // namespace

ProbeSim::ProbeSim(ProbeOptions o)
    : o_(std::move(o)), model_(ModelOptions(o_, false)), secondModel_(ModelOptions(o_, true)) {
  rate_ = o_.rate > 0 ? o_.rate : kLineBytesPerSecond / PacketLength(o_.format);
  rng_ = o_.seed * 2654435761u + 1;
}

ProbeSim::~ProbeSim() = default;

bool ProbeSim::Start(std::string* error) {
  if (PacketLength(o_.format) == 0) {
    if (error) *error = "format must be 0, 1 or 2";
    return false;
  }
  Port first;
  first.pty = PtyLink::Create(o_.com, error);
  if (!first.pty) return false;
  ports_.push_back(std::move(first));
  if (o_.secondCom > 0) {
    Port second;
    second.second = true;
    second.pty = PtyLink::Create(o_.secondCom, error);
    if (!second.pty) return false;
    ports_.push_back(std::move(second));
  }
  if (!o_.forceFile.empty() && !force_.OpenReader(o_.forceFile, error)) return false;
  start_ = MonotonicSeconds();
  powered_ = PoweredAt(start_);
  return true;
}

void ProbeSim::Event(const std::string& text) {
  if (onEvent) onEvent(text);
}

void ProbeSim::Queue(Port& p, const std::vector<uint8_t>& bytes) {
  p.out.insert(p.out.end(), bytes.begin(), bytes.end());
}

void ProbeSim::Flush(Port& p) {
  while (!p.out.empty() && p.pty->Master() >= 0) {
    ssize_t n = ::write(p.pty->Master(), p.out.data(), p.out.size());
    if (n <= 0) break;
    p.out.erase(p.out.begin(), p.out.begin() + n);
  }
}

void ProbeSim::StartStream(Port& p, double now) {
  p.state = Port::kStreaming;
  p.streamStart = now;
  p.scriptStart = now;
  p.sent = 0;
  if (p.silent && p.silentUntil < 0) p.silent = false;  // silence until reconnection ends here
}

void ProbeSim::HandleCommand(Port& p, const std::string& cmd, double now) {
  if (StreamsOnOpen(p)) {
    Event("ignored " + cmd);  // no adapter listens
    return;
  }
  if (cmd.rfind("btcaa=", 0) == 0) {
    std::string id = ToLower(cmd.substr(6));
    if (id == ToLower(o_.id)) {
      Event("connect " + id);
      p.state = Port::kConnecting;
      p.stateSince = now;
    } else {
      Event("connect refused " + id);
      Queue(p, {'E', 'R', 'R', 'O', 'R', '\r', '\n'});
    }
  } else if (cmd == "btdis") {
    Event("btdis");
    p.state = Port::kIdle;
    p.out.clear();
  } else if (cmd == "btsearch") {
    Event("btsearch");
    std::vector<std::string> lines = {"\r\nInquiry\r\n"};
    for (const std::string& id :
         o_.searchIds.empty() ? std::vector<std::string>{o_.id} : o_.searchIds)
      lines.push_back(SearchAddress(id) + " QRX tacprobe\r\n");
    lines.push_back("OK\r\n");
    for (size_t i = 0; i < lines.size(); ++i)
      p.answerDue.emplace_back(now + static_cast<double>(i) * o_.searchDelay, lines[i]);
  }
}

void ProbeSim::StreamDue(Port& p, double now) {
  if (p.silent) {
    if (p.silentUntil >= 0 && now >= p.silentUntil) {
      p.silent = false;
      Event("speaking again");
    } else {
      return;
    }
  }
  if (!p.second && o_.silenceAfter >= 0 && !silenceUsed_ &&
      now - p.streamStart >= o_.silenceAfter) {
    silenceUsed_ = true;
    p.silent = true;
    p.silentUntil = o_.silenceFor >= 0 ? now + o_.silenceFor : -1;
    Event("silent");
    return;
  }
  if (!p.second && o_.hangupAfter >= 0 && !hangupUsed_ && now - p.streamStart >= o_.hangupAfter) {
    hangupUsed_ = true;
    Event("hang-up");
    p.pty->HangUp();
    p.hungUntil = now + o_.hangupFor;
    p.state = Port::kIdle;
    p.out.clear();
    return;
  }
  // Packets due by now; after a long stall the clock restarts instead of bursting.
  auto due = static_cast<uint64_t>((now - p.streamStart) * rate_) + 1;
  if (due > p.sent + static_cast<uint64_t>(rate_ / 5) + 1) {
    p.streamStart = now - static_cast<double>(p.sent) / rate_;
    due = p.sent + 1;
  }
  while (p.sent < due) {
    // The script starts with every connection, so a probe begins at rest.
    double pressure = o_.script.Pressure(now - (PowerButton() ? start_ : p.scriptStart));
    if (force_.Open()) pressure = std::clamp(force_.Read() / o_.forceFull, 0.0, 1.5);
    ProbeStatus st;
    st.counter = counter_++;
    bool marker = !p.second && o_.markerEvery > 0 && (serial_ % o_.markerEvery) == 0;
    if (marker) st.marker = 0x7FFF;
    std::vector<uint8_t> packet =
        p.second ? EncodeSecondPacket(o_.format, secondModel_.Values(pressure * 0.5), st)
                 : EncodePacket(o_.format, model_.Values(pressure), st, o_.wrongHeader);
    if (!p.second) ++serial_;
    ++p.sent;
    if (p.out.size() > kMaxPending) {
      ++dropped_;
      continue;
    }
    if (!p.second && o_.strayEvery > 0 && serial_ % o_.strayEvery == 0) p.out.push_back(0xA5);
    if (!p.second && o_.corruptRate > 0) {
      for (uint8_t& b : packet) {
        rng_ = rng_ * 1664525u + 1013904223u;
        if ((rng_ >> 8) / 16777216.0 < o_.corruptRate) b ^= static_cast<uint8_t>(1u << (rng_ & 7));
      }
    }
    Queue(p, packet);
    Flush(p);
    ++written_;
    if (marker && onMarker) onMarker(MonotonicSeconds());
  }
}

void ProbeSim::Service(Port& p, double now) {
  if (p.pty->Master() < 0) {
    if (p.hungUntil >= 0 && now >= p.hungUntil) {
      std::string err;
      if (p.pty->Recreate(&err))
        Event("port back");
      else
        Event("port lost for good: " + err);
      p.hungUntil = -1;
      p.readerWasPresent = false;
    }
    return;
  }
  bool reader = p.pty->ReaderPresent();
  if (!reader) {
    if (p.readerWasPresent) {
      Event("port closed");
      if (p.state != Port::kIdle) p.state = Port::kIdle;
      p.out.clear();
      p.line.clear();
      p.answerDue.clear();
    }
    p.readerWasPresent = false;
    return;
  }
  if (!p.readerWasPresent) {
    p.readerWasPresent = true;
    Event("port opened");
    if (StreamsOnOpen(p)) {
      p.state = Port::kConnecting;
      p.stateSince = now;
    }
  }
  // Commands from the system.
  char buf[256];
  for (;;) {
    ssize_t n = ::read(p.pty->Master(), buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      char c = buf[i];
      if (c == '\r' || c == '\n') {
        if (!p.line.empty()) HandleCommand(p, p.line, now);
        p.line.clear();
      } else if (p.line.size() < 64) {
        p.line += c;
      }
    }
  }
  if (p.state == Port::kConnecting && now - p.stateSince >= o_.slowStart &&
      (p.second || powered_)) {
    if (!StreamsOnOpen(p)) {
      static const std::vector<uint8_t> kReply = {'C', 'O', 'N', 'N', 'E',  'C',
                                                  'T', 'I', 'O', 'N', '\r', '\n'};
      Queue(p, kReply);
      Event("CONNECTION");
    }
    StartStream(p, now);
    if (o_.silentAfterConnect && !p.second) {
      p.silent = true;
      p.silentUntil = -1;
      p.state = Port::kIdle;
    }
  }
  // The search answer, line by line as each is due.
  while (!p.answerDue.empty() && p.answerDue.front().first <= now) {
    const std::string& line = p.answerDue.front().second;
    Queue(p, std::vector<uint8_t>(line.begin(), line.end()));
    p.answerDue.erase(p.answerDue.begin());
  }
  if (p.state == Port::kStreaming) StreamDue(p, now);
  Flush(p);
}

int ProbeSim::NextWaitMs(double now) const {
  double wait = 0.02;
  for (const Port& p : ports_) {
    if (p.state == Port::kStreaming && !p.silent) {
      double next = p.streamStart + static_cast<double>(p.sent) / rate_;
      wait = std::min(wait, std::max(0.0, next - now));
    }
  }
  return static_cast<int>(wait * 1000.0);
}

bool ProbeSim::PoweredAt(double now) const {
  if (!PowerButton()) return true;
  double t = now - start_;
  if (o_.pushes > 0 && t >= o_.pushes * o_.script.Length()) return false;
  return o_.script.On(t);
}

void ProbeSim::UpdatePower(double now) {
  bool on = PoweredAt(now);
  if (on == powered_) return;
  powered_ = on;
  Event(on ? "switched on" : "switched off");
  if (on || ports_.empty()) return;
  // The first probe's link drops: an adapter waits for the next connect command, a probe
  // without one streams again when switched on.
  Port& p = ports_.front();
  if (p.state == Port::kStreaming) {
    p.state = StreamsOnOpen(p) ? Port::kConnecting : Port::kIdle;
    p.stateSince = now;
    p.out.clear();
  }
}

void ProbeSim::Run(const std::atomic<bool>& stop, double seconds) {
  double end = seconds > 0 ? MonotonicSeconds() + seconds : -1;
  while (!stop.load()) {
    double now = MonotonicSeconds();
    if (end > 0 && now >= end) break;
    UpdatePower(now);
    for (Port& p : ports_) Service(p, now);
    int ms = NextWaitMs(MonotonicSeconds());
    // Wait for commands or the next packet; ports without a reader report POLLHUP at once,
    // so they are only looked at between sleeps.
    std::vector<pollfd> fds;
    for (const Port& p : ports_) {
      if (p.pty->Master() >= 0 && p.readerWasPresent) fds.push_back({p.pty->Master(), POLLIN, 0});
    }
    if (fds.empty() || ms == 0) {
      if (ms > 0) SleepMs(ms);
    } else {
      ::poll(fds.data(), fds.size(), ms);
      for (const pollfd& f : fds) {
        if (f.revents & POLLHUP) SleepMs(std::min(ms, 5));
      }
    }
  }
}

// ---- command line -------------------------------------------------------------------------------

const char* ProbeUsage() {
  return "usage: tacprobe --com N [--format 0|1|2] [--id HEX12] [--direct] [options]\n"
         "Simulated tactile probe behind a Bluetooth serial adapter on a pseudo-terminal\n"
         "linked as COM<N> in $TACMON_PORTS (default <data root>/ports).\n"
         "  --com N             port number of the probe\n"
         "  --format F          wire format: 0 (52 bytes TC12), 1 (56 bytes TC14), 2 (91 bytes "
         "KTZ)\n"
         "  --id HEX12          Bluetooth address answered by btcaa (default 0a1b2c3d4e5f)\n"
         "  --direct            no adapter: stream whenever the port is open (fixed port)\n"
         "  --rate PPS          packets per second (default: full 115200 baud line rate)\n"
         "  --script TEXT       pushes, e.g. rest:1,press:0.5:0.8,hold:1,release:0.5 (loops);\n"
         "                      an off:S phase switches the probe off for S seconds (power\n"
         "                      button: the script then runs from the start of tacprobe)\n"
         "  --pushes N          switch the probe off for good after N passes of the script\n"
         "  --noise N           +-N counts of noise (default 3)\n"
         "  --rest N            rest value of sensor 1 (sensor s reads N+10*(s-1))\n"
         "  --inclusion LIST    sensors over the firm inclusion (default 5,6,10,11)\n"
         "  --inclusion-gain G  their response to a press (default 1.4; 1: no inclusion)\n"
         "  --seconds S         end after S seconds\n"
         "  --second-com M      a second probe (TC packets, direct) on port M\n"
         "  --search-ids LIST   devices the adapter reports to btsearch, HEX12[,HEX12...]\n"
         "                      (default: the probe's own --id)\n"
         "  --search-delay S    seconds between the lines of the search answer (default 0)\n"
         "faults:\n"
         "  --stray N           a stray byte before every N-th packet\n"
         "  --corrupt P         flip a bit in each byte with probability P\n"
         "  --silence-after S   fall silent after S seconds of streaming (once)\n"
         "  --silence-for T     stay silent T seconds (default: until reconnected)\n"
         "  --silent-after-connect  answer CONNECTION, then send nothing\n"
         "  --hangup-after S    hang up the port after S seconds of streaming (once)\n"
         "  --hangup-for T      seconds until the port comes back (default 1)\n"
         "  --wrong-header      packets begin with XX instead of TC / KT\n"
         "  --slow-start S      wait S seconds before answering or streaming\n"
         "  --marker-every N    mark every N-th packet (timing)\n"
         "  --force-file FILE   pressure follows the force the simulated instrument writes\n"
         "  --force-full F      force giving full pressure with --force-file (default 200)\n"
         "  --quiet             no event lines\n"
         "  --help              this text\n";
}

bool ParseProbeArgs(int argc, char** argv, ProbeOptions* o, double* runSeconds, bool* help,
                    std::string* error) {
  *help = false;
  *runSeconds = -1;
  bool haveCom = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    OptionValue next(argc, argv, i, error);
    auto value = [&](const char* what) { return next.Text(what); };
    auto number = [&](double* out) { return next.Number(out); };
    auto integer = [&](int* out, int lo, int hi) { return next.Integer(out, lo, hi); };
    if (a == "--help" || a == "-h") {
      *help = true;
      return true;
    } else if (a == "--com") {
      if (!integer(&o->com, 1, 255)) return false;
      haveCom = true;
    } else if (a == "--format") {
      if (!integer(&o->format, 0, 2)) return false;
    } else if (a == "--id") {
      const char* v = value("12 hex digits");
      if (!v) return false;
      std::string id = v;
      if (!IsDeviceId(id)) {
        *error = "--id needs 12 hex digits";
        return false;
      }
      o->id = ToLower(id);
    } else if (a == "--search-ids") {
      const char* v = value("HEX12[,HEX12...]");
      if (!v) return false;
      o->searchIds.clear();
      std::string list = v;
      for (size_t at = 0; at <= list.size();) {
        size_t end = list.find(',', at);
        if (end == std::string::npos) end = list.size();
        std::string id = list.substr(at, end - at);
        if (!IsDeviceId(id)) {
          *error = "--search-ids needs 12 hex digits per device";
          return false;
        }
        o->searchIds.push_back(ToLower(id));
        at = end + 1;
      }
    } else if (a == "--search-delay") {
      if (!number(&o->searchDelay) || o->searchDelay < 0 || o->searchDelay > 60) {
        if (error->empty()) *error = "--search-delay: 0..60";
        return false;
      }
    } else if (a == "--direct") {
      o->direct = true;
    } else if (a == "--rate") {
      if (!number(&o->rate) || o->rate <= 0 || o->rate > 5000) {
        if (error->empty()) *error = "--rate: 0 < PPS <= 5000";
        return false;
      }
    } else if (a == "--script") {
      const char* v = value("a script");
      if (!v) return false;
      auto s = PushScript::Parse(v);
      if (!s) {
        *error = std::string("--script: cannot read ") + v;
        return false;
      }
      o->script = *s;
    } else if (a == "--pushes") {
      if (!integer(&o->pushes, 1, 1000000)) return false;
    } else if (a == "--noise") {
      if (!integer(&o->noise, 0, 5000)) return false;
    } else if (a == "--rest") {
      if (!integer(&o->restBase, -30000, 30000)) return false;
    } else if (a == "--inclusion") {
      const char* v = value("sensor numbers");
      if (!v) return false;
      std::vector<int> sensors;
      std::stringstream all(v);
      std::string item;
      while (std::getline(all, item, ',')) {
        char* end = nullptr;
        long n = std::strtol(item.c_str(), &end, 10);
        if (item.empty() || *end || n < 1 || n > kSensors) {
          *error = std::string("--inclusion: sensor numbers 1..19 separated by commas: ") + v;
          return false;
        }
        sensors.push_back(static_cast<int>(n) - 1);
      }
      o->inclusion = sensors;
    } else if (a == "--inclusion-gain") {
      if (!number(&o->inclusionGain) || o->inclusionGain < 0.5 || o->inclusionGain > 3) {
        if (error->empty()) *error = "--inclusion-gain: 0.5..3";
        return false;
      }
    } else if (a == "--seconds") {
      if (!number(runSeconds)) return false;
    } else if (a == "--second-com") {
      if (!integer(&o->secondCom, 1, 255)) return false;
    } else if (a == "--stray") {
      if (!integer(&o->strayEvery, 1, 1000000)) return false;
    } else if (a == "--corrupt") {
      if (!number(&o->corruptRate) || o->corruptRate < 0 || o->corruptRate > 1) {
        if (error->empty()) *error = "--corrupt: 0..1";
        return false;
      }
    } else if (a == "--silence-after") {
      if (!number(&o->silenceAfter)) return false;
    } else if (a == "--silence-for") {
      if (!number(&o->silenceFor)) return false;
    } else if (a == "--silent-after-connect") {
      o->silentAfterConnect = true;
    } else if (a == "--hangup-after") {
      if (!number(&o->hangupAfter)) return false;
    } else if (a == "--hangup-for") {
      if (!number(&o->hangupFor)) return false;
    } else if (a == "--wrong-header") {
      o->wrongHeader = true;
    } else if (a == "--slow-start") {
      if (!number(&o->slowStart)) return false;
    } else if (a == "--marker-every") {
      if (!integer(&o->markerEvery, 1, 1000000)) return false;
    } else if (a == "--force-file") {
      const char* v = value("a file");
      if (!v) return false;
      o->forceFile = v;
    } else if (a == "--force-full") {
      if (!number(&o->forceFull) || o->forceFull <= 0) {
        if (error->empty()) *error = "--force-full: above 0";
        return false;
      }
    } else if (a == "--quiet") {
      // handled by the program
    } else {
      *error = "unknown argument " + a;
      return false;
    }
  }
  if (!haveCom) {
    *error = "--com N is required";
    return false;
  }
  if (o->secondCom == o->com) {
    *error = "--second-com must differ from --com";
    return false;
  }
  return true;
}

}  // namespace sim
