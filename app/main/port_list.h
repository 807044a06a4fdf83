// The text of the hub's port list: the COM ports 3..149 that can be opened now. Qt-free.
#pragma once

#include <functional>

#include "platform/cp1251.h"

inline constexpr int kFirstListedPort = 3;
inline constexpr int kLastListedPort = 149;

// "COM3, COM5." for the ports canOpen accepts, "No ports." when none.
Text1251 PortListText(const std::function<bool(int)>& canOpen);
