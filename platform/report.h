// The system's one reporting call. AddLogMessage stamps a text and records it in the message
// log; callable from any thread, never fails towards the caller. The message log installs
// itself as the sink when it starts; before that (and in programs without it) texts go to
// standard error, converted to UTF-8.
#pragma once

#include <cstdarg>

void AddLogMessage(const char* text);
void AddLogMessageF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

using LogSink = void (*)(const char* text);
// Installs a sink (nullptr restores standard error). Returns the previous one.
LogSink SetLogSink(LogSink sink);
