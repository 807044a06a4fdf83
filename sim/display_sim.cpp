#include "sim/display_sim.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/clock.h"

namespace sim {
namespace {

constexpr double kByteTime = 10.0 / 38400;  // start, 8 data bits, stop

void SleepUntil(double t) {
  const double d = t - MonotonicSeconds();
  if (d > 0) std::this_thread::sleep_for(std::chrono::duration<double>(d));
}

bool ParseLevel(const std::string& line, int* k, int* level) {
  if (line.size() != 7 || line[0] != 'k' || line[3] != '=') return false;
  for (int i : {1, 2, 4, 5, 6})
    if (line[i] < '0' || line[i] > '9') return false;
  *k = std::atoi(line.substr(1, 2).c_str());
  *level = std::atoi(line.substr(4, 3).c_str());
  return *k >= 1 && *k <= 19 && *level <= 255;
}

}  // namespace

DisplaySim::DisplaySim(DisplayOptions o) : o_(std::move(o)) {}
DisplaySim::~DisplaySim() = default;

double DisplaySim::Now() const { return MonotonicSeconds() - start_; }

bool DisplaySim::Start(std::string* error) {
  if (start_ == 0) start_ = MonotonicSeconds();
  pty_ = PtyLink::Create(o_.com, error);
  return pty_ != nullptr;
}

std::array<int, 19> DisplaySim::Levels() {
  std::lock_guard l(lock_);
  return levels_;
}

bool DisplaySim::On() {
  std::lock_guard l(lock_);
  return on_;
}

void DisplaySim::Reply(const std::string& bytes, double lineEnd) {
  double at = std::max(lineEnd, MonotonicSeconds()) + o_.replyDelayMs / 1000.0;
  if (o_.pacing) at += bytes.size() * kByteTime;
  lineFree_ = at;
  SleepUntil(at);
  if (pty_ && pty_->Master() >= 0) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(pty_->Master(), bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
}

void DisplaySim::Handle(const std::string& line, double lineEnd) {
  // The adapter's lines get no prompt.
  if (line.rfind("bt", 0) == 0) return;
  const double now = Now();
  if (firstCommand_ < 0) firstCommand_ = now;
  ++commands_;
  if (onCommand) onCommand(now, line);
  int k = 0, level = 0;
  {
    std::lock_guard l(lock_);
    if (line == "off") {
      on_ = false;
    } else if (line == "on") {
      on_ = true;
    } else if (line == "res") {
      levels_.fill(0);
    } else if (ParseLevel(line, &k, &level)) {
      levels_[k - 1] = level;
      ++frameLines_;
    }
  }
  if (o_.mute) return;
  if (o_.hangupUnanswered && o_.hangupAfter >= 0 && now - firstCommand_ >= o_.hangupAfter) {
    hangupNow_ = true;  // the line goes before the reply
    return;
  }
  if (o_.silentAfter >= 0 && now - firstCommand_ >= o_.silentAfter) return;
  std::string reply;
  if (o_.echo == EchoMode::kWithCr) reply = line + "\r";
  if (o_.echo == EchoMode::kWithoutCr) reply = line;
  if (o_.wrongPrompt)
    reply += "\r\n>";
  else if (o_.echo == EchoMode::kNone)
    reply += "\r\r\n>";
  else
    reply += "\r\n>";
  Reply(reply, lineEnd);
}

void DisplaySim::Run(const std::atomic<bool>& stop, double seconds) {
  if (start_ == 0) start_ = MonotonicSeconds();
  bool readerWasPresent = false;
  auto event = [&](const std::string& e) {
    if (onEvent) onEvent(e);
  };
  while (!stop.load()) {
    const double now = Now();
    if (seconds > 0 && now >= seconds) break;
    if (!pty_) {
      if (now >= o_.startDelay) {
        std::string error;
        if (!Start(&error)) {
          event("cannot link the port: " + error);
          return;
        }
        event("ready");
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
    }
    if (hungUp_) {
      if (now >= backAt_) {
        std::string error;
        hungUp_ = false;
        readerWasPresent = false;
        event(pty_->Recreate(&error) ? "back" : "port lost for good: " + error);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      continue;
    }
    const bool hangupDue = o_.hangupUnanswered
                               ? hangupNow_
                               : firstCommand_ >= 0 && now - firstCommand_ >= o_.hangupAfter;
    if (o_.hangupAfter >= 0 && hangupDue) {
      o_.hangupAfter = -1;
      hungUp_ = true;
      backAt_ = now + o_.hangupFor;
      pending_.clear();
      pty_->HangUp();
      event("hang-up");
      continue;
    }
    if (!pty_->ReaderPresent()) {
      if (readerWasPresent) event("closed");
      readerWasPresent = false;
      pending_.clear();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    if (!readerWasPresent) {
      readerWasPresent = true;
      event("open");
    }
    pollfd p{pty_->Master(), POLLIN, 0};
    if (::poll(&p, 1, 5) <= 0 || !(p.revents & POLLIN)) continue;
    char buf[256];
    const ssize_t n = ::read(pty_->Master(), buf, sizeof buf);
    if (n <= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    const double arrived = MonotonicSeconds();
    for (ssize_t i = 0; i < n; ++i) {
      // The command's own bytes take their line time before the display can answer.
      lineFree_ = std::max(lineFree_, arrived) + (o_.pacing ? kByteTime : 0);
      const char c = buf[i];
      if (c == '\r' || c == '\n') {
        if (!pending_.empty()) Handle(pending_, lineFree_);
        pending_.clear();
      } else if (pending_.size() < 64) {
        pending_ += c;
      }
    }
  }
}

const char* DisplayUsage() {
  return "Usage: tacdisplay [options]\n"
         "  --com N              port COM<N> in $TACMON_PORTS (default 4)\n"
         "  --no-pacing          answer at once instead of at 38400 baud line time\n"
         "  --start-delay S      the port appears after S seconds\n"
         "  --seconds S          end after S seconds\n"
         "  --log FILE           every command with its time (\"12.345 k07=128\"); - for stdout\n"
         "  --window             show the 19 levels in a small window (needs a display)\n"
         "  --quiet              no event lines\n"
         "Fault modes:\n"
         "  --reply-delay MS     wait MS before every reply\n"
         "  --silent-after S     stop answering S seconds after the first command\n"
         "  --wrong-prompt       answer \"\\r\\n>\" instead of \"\\r\\r\\n>\"\n"
         "  --echo cr|nocr       echo the command with (or without) its CR before \"\\r\\n>\"\n"
         "  --hangup-after S     hang up S seconds after the first command (once)\n"
         "  --hangup-for S       come back after S seconds (default 1)\n"
         "  --hangup-unanswered  the hang-up falls on a command before its reply\n"
         "  --mute               open, never answer\n";
}

bool ParseDisplayArgs(int argc, char** argv, DisplayOptions* o, double* seconds, bool* help,
                      std::string* logFile, bool* window, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) {
        *error = std::string(what) + " needs a value";
        return nullptr;
      }
      return argv[++i];
    };
    auto number = [&](double* out) {
      const char* v = value(a.c_str());
      if (!v) return false;
      char* end = nullptr;
      *out = std::strtod(v, &end);
      if (end == v || *end) {
        *error = a + ": not a number: " + v;
        return false;
      }
      return true;
    };
    double d = 0;
    if (a == "--help" || a == "-h") {
      *help = true;
    } else if (a == "--com") {
      if (!number(&d)) return false;
      o->com = static_cast<int>(d);
    } else if (a == "--no-pacing") {
      o->pacing = false;
    } else if (a == "--start-delay") {
      if (!number(&o->startDelay)) return false;
    } else if (a == "--seconds") {
      if (!number(seconds)) return false;
    } else if (a == "--log") {
      const char* v = value("--log");
      if (!v) return false;
      *logFile = v;
    } else if (a == "--window") {
      *window = true;
    } else if (a == "--quiet") {
    } else if (a == "--reply-delay") {
      if (!number(&d)) return false;
      o->replyDelayMs = static_cast<int>(d);
    } else if (a == "--silent-after") {
      if (!number(&o->silentAfter)) return false;
    } else if (a == "--wrong-prompt") {
      o->wrongPrompt = true;
    } else if (a == "--echo") {
      const char* v = value("--echo");
      if (!v) return false;
      if (std::strcmp(v, "cr") == 0)
        o->echo = EchoMode::kWithCr;
      else if (std::strcmp(v, "nocr") == 0)
        o->echo = EchoMode::kWithoutCr;
      else {
        *error = std::string("--echo cr|nocr, not ") + v;
        return false;
      }
    } else if (a == "--hangup-after") {
      if (!number(&o->hangupAfter)) return false;
    } else if (a == "--hangup-for") {
      if (!number(&o->hangupFor)) return false;
    } else if (a == "--hangup-unanswered") {
      o->hangupUnanswered = true;
    } else if (a == "--mute") {
      o->mute = true;
    } else {
      *error = "unknown option " + a;
      return false;
    }
  }
  if (o->com < 1 || o->com > 255) {
    *error = "--com 1..255";
    return false;
  }
  return true;
}

}  // namespace sim
