// Collects what is reported to the message log while it lives.
#pragma once

#include <string>
#include <vector>

#include "platform/report.h"

class LogCapture {
 public:
  LogCapture() {
    Lines().clear();
    previous_ = SetLogSink([](const char* text) { Lines().push_back(text); });
  }
  ~LogCapture() { SetLogSink(previous_); }
  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }
  bool Has(const std::string& part) const {
    for (const auto& l : Lines())
      if (l.find(part) != std::string::npos) return true;
    return false;
  }

 private:
  LogSink previous_ = nullptr;
};
