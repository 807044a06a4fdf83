// MessageRing: the queue of stamped messages between AddLogMessage and the work thread.
// 1000 slots; empty when read == write, full when (write + 1) % 1000 == read, so at most 999
// messages wait. Not thread-safe: the message log guards it with its ring lock.
#pragma once

#include <array>
#include <cstdint>

#include "platform/cp1251.h"

struct LogEntry {
  int64_t time = 0;  // seconds since 1970, when queued
  Text1251 text;
};

class MessageRing {
 public:
  static constexpr int kSlots = 1000;

  bool Empty() const { return read_ == write_; }
  bool Full() const { return (write_ + 1) % kSlots == read_; }
  int Size() const { return (write_ - read_ + kSlots) % kSlots; }
  // False (and nothing queued) when full.
  bool Push(int64_t time, Text1251 text) {
    if (Full()) return false;
    slots_[static_cast<size_t>(write_)] = {time, std::move(text)};
    write_ = (write_ + 1) % kSlots;
    return true;
  }
  // False when empty.
  bool Pop(LogEntry& out) {
    if (Empty()) return false;
    out = std::move(slots_[static_cast<size_t>(read_)]);
    slots_[static_cast<size_t>(read_)] = {};
    read_ = (read_ + 1) % kSlots;
    return true;
  }
  void Clear() {
    while (!Empty()) {
      LogEntry e;
      Pop(e);
    }
  }

 private:
  std::array<LogEntry, kSlots> slots_{};
  int read_ = 0;
  int write_ = 0;
};
