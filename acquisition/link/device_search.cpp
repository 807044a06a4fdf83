#include "acquisition/link/device_search.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "acquisition/link/com_read_thread.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "platform/serial.h"

namespace {

constexpr const char* kSearchCommand = "btsearch\r\n";
constexpr const char* kSearchFolder = "c:\\Tacmon\\DVP";

// The search file, opened when the first byte arrives (no answer, no file).
class SearchFile {
 public:
  void Append(uint8_t byte) {
    if (failed_) return;
    if (!file_.IsOpen()) {
      fsw::MakeDirectories(kSearchFolder);
      if (!file_.Open(kSearchFile, "ab")) {
        failed_ = true;
        AddLogMessageF("Не удается записать файл %s"_cp, kSearchFile);
        return;
      }
    }
    if (file_.Write(&byte, 1) != 1) {
      failed_ = true;
      AddLogMessageF("Не удается записать файл %s"_cp, kSearchFile);
    }
  }

 private:
  File file_;
  bool failed_ = false;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

PortSearch SearchPort(int port, const std::function<bool()>& stop, const SearchLimits& limits) {
  PortSearch out;
  const double start = MonotonicSeconds();
  auto finish = [&](SearchEnd end) {
    out.end = end;
    out.seconds = MonotonicSeconds() - start;
    return out;
  };
  std::shared_ptr<ByteTransport> p;
  out.code = OpenLinkPort(port, true, &p);
  if (out.code != 0) return finish(SearchEnd::kNotOpened);
  // Whatever waited in the port before the question is no answer to it.
  p->Purge();
  const std::string_view command = kSearchCommand;
  if (p->WriteText(command, 1000).count < command.size()) {
    AddLogMessage("Истек таймаут соединения"_cp);
    p->Close();
    out.code = -6;
    return finish(SearchEnd::kNotOpened);
  }
  auto stopped = [&] { return stop && stop(); };
  const double portEnd = start + limits.portMs / 1000.0;
  SearchFile file;
  bool previousO = false;
  SearchEnd end = SearchEnd::kRoundsDone;
  for (int round = 0; round < limits.rounds && end == SearchEnd::kRoundsDone; ++round) {
    if (stopped()) {
      end = SearchEnd::kStopped;
      break;
    }
    if (round > 0) SleepMs(limits.pauseMs);
    const double roundEnd = MonotonicSeconds() + limits.roundMs / 1000.0;
    for (int inRound = 0;; ++inRound) {
      const double now = MonotonicSeconds();
      if (now >= portEnd || static_cast<int>(out.answer.size()) >= limits.portBytes) {
        end = SearchEnd::kBounded;
        break;
      }
      if (inRound >= limits.roundBytes || now >= roundEnd) break;
      if (stopped()) {
        end = SearchEnd::kStopped;
        break;
      }
      const int wait =
          std::max(1, std::min(limits.byteWaitMs,
                               static_cast<int>((std::min(roundEnd, portEnd) - now) * 1000.0 + 1)));
      IoStatus st{};
      const int b = p->ReadByte(wait, &st);
      if (b < 0) {
        // Nothing within the wait ends the round; a port that is gone ends the search.
        if (st == IoStatus::kLost || st == IoStatus::kClosed) end = SearchEnd::kLost;
        break;
      }
      const auto byte = static_cast<uint8_t>(b);
      out.answer += static_cast<char>(byte);
      file.Append(byte);
      if (previousO && byte == 'K') {
        end = SearchEnd::kAnswered;
        break;
      }
      previousO = byte == 'O';
    }
  }
  p->Close();
  if (end == SearchEnd::kBounded)
    AddLogMessageF(
        "Поиск устройств: COM%d передает данные без остановки, опрос порта прерван (%d байт за "
        "%.1f с)"_cp,
        port, static_cast<int>(out.answer.size()), MonotonicSeconds() - start);
  return finish(end);
}

void AppendPortAnswer(Text1251& report, int port, std::string_view answer) {
  // An answer cut at its "OK" has no line end: the next port's head starts a line of its own.
  char head[32];
  const bool newLine = !report.empty() && report.back() != '\n';
  std::snprintf(head, sizeof head, "%sCOM%d:\n", newLine ? "\n" : "", port);
  for (const char* c = head; *c && report.size() < kSearchReportLimit; ++c) report += *c;
  char previous = 0;
  for (char c : answer) {
    if (report.size() >= kSearchReportLimit) break;
    const bool skip = c == '\0' || (c == '\r' && previous == '\r');
    previous = c;
    if (!skip) report += c;
  }
}

DeviceSearchResult SearchDevices(const std::function<void()>& closeLinkPorts,
                                 const std::function<bool()>& stop, const SearchLimits& limits,
                                 int first, int last) {
  DeviceSearchResult r;
  if (closeLinkPorts) closeLinkPorts();
  fsw::RemoveFile(kSearchFile);
  for (int port = first; port <= last; ++port) {
    if (stop && stop()) {
      r.stopped = true;
      break;
    }
    const PortSearch s = SearchPort(port, stop, limits);
    if (s.end == SearchEnd::kStopped) r.stopped = true;
    if (s.answer.empty()) continue;
    ++r.portsAnswered;
    if (s.end == SearchEnd::kBounded)
      AppendPortAnswer(r.report, port, "(порт передает данные без остановки, опрос прерван)\n"_cp);
    else
      AppendPortAnswer(r.report, port, s.answer);
  }
  if (closeLinkPorts) closeLinkPorts();
  r.report += "\nРезультаты записаны в файл C:\\Tacmon\\DVP\\search_devices.txt"_cp;
  r.device = OfferedDevice(r.report);
  return r;
}

std::optional<std::array<uint8_t, 6>> OfferedDevice(std::string_view report) {
  const size_t q = report.find("QRX");
  if (q == std::string_view::npos || q < 19) return std::nullopt;
  // Six numbers as "%x:%x:%x:%x:%x:%x" reads them (blanks before each, a 0x allowed), each a byte.
  std::array<uint8_t, 6> id{};
  size_t at = q - 18;
  for (int i = 0; i < 6; ++i) {
    if (i > 0) {
      if (at >= report.size() || report[at] != ':') return std::nullopt;
      ++at;
    }
    while (at < report.size() &&
           (report[at] == ' ' || report[at] == '\t' || report[at] == '\n' || report[at] == '\r'))
      ++at;
    if (at + 1 < report.size() && report[at] == '0' && (report[at + 1] | 0x20) == 'x' &&
        at + 2 < report.size() && HexValue(report[at + 2]) >= 0)
      at += 2;
    unsigned value = 0;
    size_t digits = 0;
    while (at < report.size() && HexValue(report[at]) >= 0) {
      value = value * 16 + static_cast<unsigned>(HexValue(report[at]));
      if (value > 0xFF) return std::nullopt;
      ++at;
      ++digits;
    }
    if (digits == 0) return std::nullopt;
    id[i] = static_cast<uint8_t>(value);
  }
  return id;
}

Text1251 ConnectQuestion(const std::array<uint8_t, 6>& d) {
  char text[128];
  std::snprintf(text, sizeof text,
                "\nСоединиться с устройством с номером %2.2x:%2.2x:%2.2x:%2.2x:%2.2x:%2.2x?"_cp,
                d[0], d[1], d[2], d[3], d[4], d[5]);
  return text;
}

void UseOnlyForAutoconnect(PassportRegistry& registry, const std::array<uint8_t, 6>& device) {
  bool found = false;
  for (DevicePassport& p : registry.passports) {
    p.useForAutoconnect = p.deviceId == device ? 1 : 0;
    found |= p.deviceId == device;
  }
  if (found) return;
  DevicePassport copy = registry.passports.empty() ? DevicePassport{} : registry.passports.front();
  copy.deviceId = device;
  copy.useForAutoconnect = 1;
  // Only in the registry: nothing may write it over the passport file it was copied from.
  copy.fileName.clear();
  registry.passports.push_back(copy);
}
