// PushEntry: one push of an operation's pushes list, and the small description file kept
// beside each push file (".dsc": number, present flag, times and comment).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "acquisition/push.h"
#include "platform/cp1251.h"
#include "platform/ui/geometry.h"

namespace recording {

inline constexpr int32_t kDescriptionVersion = 393;
inline constexpr int32_t kDescriptionOldestVersion = 391;

struct PushEntry {
  int present = 1;  // 1 present, 0 deleted
  int number = -1;  // shown in the thumbnail line
  Text1251 fileName;
  ui::Rect thumbnail{};  // where the thumbnail was drawn last; all 0 when not drawn
  Push push;
  int64_t startTime = 0, endTime = 0;  // seconds since 1970
  int32_t startExtra = 0, endExtra = 0;
  ui::Rect mapRect{}, presentBox{}, commentButton{};
  Text1251 comment;  // with its real line breaks
  std::array<uint8_t, 14> reservedTime{};
  int32_t reservedWord = 0;

  bool Drawn() const { return thumbnail.Width() > 0 && thumbnail.Height() > 0; }
};

// The push file name with its last three characters replaced by "dsc".
Text1251 DescriptionFileName(std::string_view pushFile);

// The bytes of a description file as written (version 393): CR stored as byte 1, LF as 2.
std::string EncodeDescription(const PushEntry& e);
// Reads description bytes into e. 0; -2 another version (logged as "Incorrect version of file "
// + name); -3 the bytes end early or a comment length exceeds the bytes left (fields read
// before that are kept).
int ParseDescription(PushEntry& e, std::string_view bytes, std::string_view nameForLog);
// From the file beside e.fileName: 0, -1 no such file, else as ParseDescription.
int ReadDescription(PushEntry& e);
// 0; -1 without a file name ("(2029274)") or when the file cannot be written ("(2028274)").
int WriteDescription(const PushEntry& e);

// CR/LF to bytes 1/2 and back.
Text1251 EncodeLineBreaks(std::string_view text);
Text1251 DecodeLineBreaks(std::string_view text);

// "%d)%d:%d:%d-%d:%d:%d (%d)": number, local start and end time of day, duration in seconds.
Text1251 ThumbnailLine(const PushEntry& e);

}  // namespace recording
