// Test fixture part: the simulated instrument (sim/instrument_sim.h) serving a local socket in
// a thread of the test, with USBCAN_SIM pointing at it, and its event lines collected.
#pragma once

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/instrument_sim.h"

class InstrumentFixture {
 public:
  explicit InstrumentFixture(const std::filesystem::path& folder, sim::InstrumentOptions o = {}) {
    o.socket = (folder / "usbcan.sock").string();
    sim_ = std::make_unique<sim::InstrumentSim>(o);
    sim_->onEvent = [this](const std::string& e) {
      std::lock_guard l(lock_);
      events_.push_back(e);
    };
    std::string error;
    started_ = sim_->Start(&error);
    ::setenv("USBCAN_SIM", o.socket.c_str(), 1);
    if (started_) thread_ = std::thread([this] { sim_->Run(stop_); });
  }
  ~InstrumentFixture() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::unsetenv("USBCAN_SIM");
  }
  bool Started() const { return started_; }
  sim::InstrumentSim& Sim() { return *sim_; }
  std::vector<std::string> Events() {
    std::lock_guard l(lock_);
    return events_;
  }
  // Event lines beginning with prefix.
  std::vector<std::string> Events(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& e : Events())
      if (e.rfind(prefix, 0) == 0) out.push_back(e);
    return out;
  }

 private:
  std::unique_ptr<sim::InstrumentSim> sim_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  bool started_ = false;
  std::mutex lock_;  // guards events_
  std::vector<std::string> events_;
};
