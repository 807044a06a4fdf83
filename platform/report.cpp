#include "platform/report.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/cp1251.h"

namespace {

void StderrSink(const char* text) {
  std::string s = Cp1251ToUtf8(text);
  std::fprintf(stderr, "%s\n", s.c_str());
}

std::atomic<LogSink> g_sink{&StderrSink};

}  // namespace

void AddLogMessage(const char* text) {
  if (!text) return;
  g_sink.load()(text);
}

void AddLogMessageF(const char* fmt, ...) {
  char buf[4096];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  AddLogMessage(buf);
}

LogSink SetLogSink(LogSink sink) { return g_sink.exchange(sink ? sink : &StderrSink); }
