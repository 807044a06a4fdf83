// Time limits of the link's locks and waits, shared by the link's source files.
#pragma once

namespace link_detail {

inline constexpr int kPortLockMs = 500;
inline constexpr int kLinkLockMs = 1000;
inline constexpr int kBufferLockMs = 500;
inline constexpr int kPassportLockMs = 1000;
inline constexpr int kHubSendMs = 1000;         // messages sent to the hub window
inline constexpr double kSilenceSeconds = 2.0;  // a stream this long without a byte is lost
inline constexpr int kDebugBlock = 52;          // a block of the debug input file

}  // namespace link_detail
