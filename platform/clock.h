// Time helpers: tick counts, monotonic seconds and wall-clock time.
#pragma once

#include <cstdint>
#include <ctime>

uint32_t GetTickCount();  // milliseconds of a monotonic clock, wrapping after 2^32 ms
uint64_t GetTickCount64();
double MonotonicSeconds();
int64_t NowSeconds();       // seconds since 1970-01-01
void SleepMs(int ms);
bool LocalTime(std::time_t t, std::tm& out);  // false when the local time cannot be computed
