// Bluetooth device search: every serial port's adapter is asked for the devices in its reach
// ("btsearch"), the answers are collected into one report, and an answer that names a device
// ("xx:xx:xx:xx:xx:xx QRX ...") can become the only passport autoconnect tries.
//
// The raw answers of the search are kept in "c:\Tacmon\DVP\search_devices.txt": emptied when
// the search starts, every byte that arrives is appended, so the file holds what the report
// says it holds (not only the answer of COM59, the port searched last).
// A port's search ends at "OK", after its rounds, on a stop, or at its bounds: a port that
// streams without end (a probe that needs no adapter, a device that never stops talking) is
// cut off after a few kilobytes or seconds and adds a note to the report instead of its bytes,
// so it can neither hold the search nor push the other ports' answers out of the report.
//
// Threads: SearchPort and SearchDevices block for the whole search; the operation window runs
// them on its reading thread (CCOMReadThread::RequestDeviceSearch), after the link has stopped,
// so the link and the search never share a port.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "acquisition/device_passport.h"
#include "platform/cp1251.h"

inline constexpr const char* kSearchFile = "c:\\Tacmon\\DVP\\search_devices.txt";
inline constexpr int kSearchLastPort = 59;
inline constexpr size_t kSearchReportLimit = 2559;  // characters collected over all ports

// The rounds of one port's search and their bounds.
struct SearchLimits {
  int rounds = 60;
  int pauseMs = 200;     // before every round but the first
  int byteWaitMs = 200;  // a read that brings nothing within this ends the round
  int roundBytes = 512;  // a round ends after this many bytes ...
  int roundMs = 1000;    // ... or after this long
  int portBytes = 4096;  // the port's search ends after this many bytes ...
  int portMs = 30000;    // ... or after this long (the rounds of a silent adapter take 24 s)
};

enum class SearchEnd {
  kNotOpened,  // the port could not be opened or the command not written
  kAnswered,   // "OK" arrived
  kRoundsDone,
  kStopped,
  kBounded,  // the port's byte or time bound cut it off
  kLost,     // the port went away (a hang-up)
};

struct PortSearch {
  int code = 0;  // 0, or the port codes -1..-6 (each with its message in the log)
  SearchEnd end = SearchEnd::kNotOpened;
  Text1251 answer;  // every byte that arrived (also appended to the search file)
  double seconds = 0;
};

// Opens COM<port>, writes "btsearch\r\n" and gathers the answer (see SearchLimits), appending
// each byte to the search file (made when the first byte arrives). stop: polled between bytes
// (may be empty).
PortSearch SearchPort(int port, const std::function<bool()>& stop, const SearchLimits& limits = {});

struct DeviceSearchResult {
  Text1251 report;  // "COM%d:\n" and each answer, then where the results are kept
  std::optional<std::array<uint8_t, 6>> device;  // the device the report offers to connect to
  int portsAnswered = 0;
  bool stopped = false;
};

// Searches COM<first>..COM<last>. closeLinkPorts runs before the first port is opened and
// after the last one is closed (closing the link's ports, telling the hub).
DeviceSearchResult SearchDevices(const std::function<void()>& closeLinkPorts,
                                 const std::function<bool()>& stop, const SearchLimits& limits = {},
                                 int first = 1, int last = kSearchLastPort);

// Appends one port's answer to the report: "COM%d:\n" (on a line of its own) and its characters
// without NULs and without a carriage return that follows another, up to kSearchReportLimit
// characters.
void AppendPortAnswer(Text1251& report, int port, std::string_view answer);
// The device a report offers: the six hex numbers "%x:%x:%x:%x:%x:%x" starting 18 characters
// before the first "QRX" (none when "QRX" is missing, starts before index 19, or the numbers
// are not six bytes).
std::optional<std::array<uint8_t, 6>> OfferedDevice(std::string_view report);
// The question appended to the report: "\nСоединиться с устройством с номером xx:..:xx?".
Text1251 ConnectQuestion(const std::array<uint8_t, 6>& device);
// After a yes: autoconnect tries only this device. Every flag is cleared; passports with this id
// get theirs set; without one a copy of the first passport (the defaults when there is none)
// is added with this id, the flag set and no file behind it. Files are not changed.
void UseOnlyForAutoconnect(PassportRegistry& registry, const std::array<uint8_t, 6>& device);
