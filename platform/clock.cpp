#include "platform/clock.h"

#include <chrono>
#include <thread>

uint64_t GetTickCount64() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

uint32_t GetTickCount() { return static_cast<uint32_t>(GetTickCount64()); }

double MonotonicSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

void SleepMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  else std::this_thread::yield();
}

bool LocalTime(std::time_t t, std::tm& out) { return localtime_r(&t, &out) != nullptr; }
