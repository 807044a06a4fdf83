// A push whose recording the program never closed (killed, power lost): found at the next start
// through the marker that OpenOperationPushStream leaves beside the stream file, and kept in its
// operation folder as a push of its own.
#pragma once

#include <cstdint>
#include <string_view>

#include "acquisition/push_file.h"

struct InterruptedPush {
  enum class Outcome {
    kNone,      // no marker: the last recording was closed (or there was none)
    kKept,      // the frames were kept as pushFile
    kNoFrames,  // the recording ended before its first whole frame: nothing to keep
    kFailed,    // the push could not be copied into its folder; the stream and marker stay
  };
  Outcome outcome = Outcome::kNone;
  Text1251 operationFolder;  // as the marker names it
  Text1251 startTime;        // "yyyy-mm-dd hh:mm:ss" of the start of the recording
  Text1251 streamFile;
  Text1251 pushFile;     // the kept push, "hh-mm-ss[_k].psh" of the stream file's last change
  int frames = 0;        // whole frames kept
  int64_t cutBytes = 0;  // bytes of an incomplete last frame that were dropped
};

// Looks for the marker of streamFile and keeps the interrupted push: the stream is cut back to
// whole frames (so every reader takes it) and copied, with its text dump when the recording had
// one, into the operation folder (created when missing) under the time of its last frame,
// never over an existing push. A stream without a whole frame (only the version word, or a
// passport block cut short) is not a push any reader accepts: it is reported and left alone.
// The marker goes in every outcome but kFailed, so that a failed copy is tried again.
InterruptedPush RecoverInterruptedPush(std::string_view streamFile = kStreamFile,
                                       std::string_view textFile = kStreamTextFile);

// What to tell the user (and the message log) about it; empty for kNone.
Text1251 InterruptedPushMessage(const InterruptedPush& r);
