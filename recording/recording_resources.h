// The templates of the operation window (143, menu 147) and the recording view (144), and plain
// pictures for the recording buttons and status icons the program's resources do not hold.
#pragma once

namespace recording {

inline constexpr int kBitmapPause = 141;  // button 1010 while recording
inline constexpr int kBitmapStart = 143;  // button 1010 otherwise
inline constexpr int kBitmapStop = 142;   // button 1011
inline constexpr int kBitmapReceptorFormat0 = 161;
inline constexpr int kBitmapReceptorOff = 162;
inline constexpr int kBitmapDisplayOn = 163;
inline constexpr int kBitmapDisplayOff = 164;
inline constexpr int kBitmapReceptorFormat1 = 167;
inline constexpr int kBitmapReceptorNone = 168;

// Idempotent; templates and pictures already defined by the program's resources are kept.
void RegisterRecordingResources();

}  // namespace recording
