// Push files (versions 1001..1006, with or without a passport block after the version word),
// the streaming writer used while a push is recorded, the per-frame text dump, and the
// importers of foreign TXT and TRF logs. Result codes: 0 success, -1 cannot open or write,
// -2 bad version or kind, -3 no complete record.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "acquisition/push.h"

inline constexpr int32_t kPushFileVersion = 1006;
inline constexpr int32_t kPushFileOldestVersion = 1001;
inline constexpr int kValueRecordSize = 52;
inline constexpr int kTrfRecordSize = 62;

// Fixed files under the data root.
inline constexpr const char* kStreamFile = "c:\\Tacmon\\pars\\tmpSavedData.bin";
inline constexpr const char* kStreamTextFile = "c:\\Tacmon\\pars\\tmpSavedDataTxt.txt";
inline constexpr const char* kViewerCopyFile = "c:\\Tacmon\\pars\\tmpLoadedData.bin";

// Bytes of one frame record of a file version (200 for 1006); 0 for a foreign version.
int FrameRecordSize(int32_t version);

// What a reader found beside the frames.
struct PushFileInfo {
  int32_t version = 0;
  bool passportBlock = false;  // a passport block followed the version word
  int32_t blockVersion = 0;
  int frameCount = 0;
  int64_t trailingBytes = 0;  // an incomplete last record, ignored
};

// Readers. The passport-variant reader sign-extends the 16-bit values; the viewer reader
// zero-extends them and never takes a passport. Both recognise by content whether a passport
// block follows the version word (see PushFileHasPassportBlock), so a control push copied from
// the viewer's working file is read correctly by the passport-variant reader.
int ReadPushFile(Push& push, std::string_view fileName, PushFileInfo* info = nullptr);
int ReadViewerPushFile(Push& push, std::string_view fileName, PushFileInfo* info = nullptr);
// The same over bytes in memory (fileName of the push is left as it is).
int ParsePushFile(Push& push, const uint8_t* data, size_t size, bool passportVariant,
                  PushFileInfo* info = nullptr);
// Whether a file of version >= 1004 carries a passport block: the "TC20" marker that writers put
// at the start of every value record sits right after the block when there is one, and right
// after the version word (and index) when there is none. A file with the marker right after the
// version word counts as written without a block; a file with the marker only after a block
// has one; for a file with neither the reader's own variant decides (passport variant: block).
bool PushFileHasPassportBlock(const uint8_t* data, size_t size, bool passportVariant);

// Writers: version 1006, the passport block (full writer only), then every frame. Safe
// replacing writes; 0, or -1 (reported in the message log) when the file cannot be written.
int WritePushFile(const Push& push, std::string_view fileName);
int WriteViewerPushFile(const Push& push, std::string_view fileName);
std::vector<uint8_t> EncodePushFile(const Push& push, bool withPassport);
// One version 1006 frame record.
void AppendFrameRecord(std::vector<uint8_t>& out, const SensorFrame& frame);

// Streaming a recorded push into "pars\tmpSavedData.bin" (fileName overridable for tools).
// OpenPushStream closes a stream left open, opens the file, writes the version; -1 (with
// "Не удается открыть файл на запись" in the message log) when it cannot: recording goes on
// without a file. withTextDump opens "pars\tmpSavedDataTxt.txt" as well.
int OpenPushStream(Push& push, bool withTextDump = false, std::string_view fileName = kStreamFile,
                   std::string_view textFileName = kStreamTextFile);
// The same for a push of an operation: also writes a marker beside the stream file
// ("pars\tmpSavedData.op", see StreamMarkerName) with the operation folder and the start time,
// so that the next start finds a recording that the program did not close
// (RecoverInterruptedPush). ClosePushStream removes the marker once the push is kept.
int OpenOperationPushStream(Push& push, std::string_view operationFolder, bool withTextDump = false,
                            std::string_view fileName = kStreamFile,
                            std::string_view textFileName = kStreamTextFile);
// The marker of a stream file: its name with the extension ".op".
Text1251 StreamMarkerName(std::string_view streamFile);
// Writes the passport block (and takes it as the push's passport); 0, or -1 without a stream.
int WriteStreamPassport(Push& push, const DevicePassport& passport);
// Appends one frame record once the block is written; 0, or -1 (no stream / write failed).
// Every record (and every text dump frame) is handed to the system at once, so a program that
// is killed loses at most the frame being written.
int AppendStreamFrame(Push& push, const SensorFrame& frame);

// One frame of the text dump (seven lines per frame).
struct TextDumpFrame {
  std::array<int32_t, kSensorCount> normalized{};
  std::array<int32_t, kSensorCount> raw{};
  std::array<int32_t, kAuxWordsInUse> aux{};
  std::array<int32_t, kSensorCount> display{};  // last sent to the tactile display
  bool hasSecond = false;
  std::array<double, kSensorCount> secondNormalized{};
  std::array<int32_t, kSensorCount> secondRaw{};
  int32_t testerState = -1;
  int32_t testerReading1 = -1;
  int32_t testerReading2 = -1;
};
std::string FormatTextDump(const TextDumpFrame& f);
int AppendStreamTextDump(Push& push, const TextDumpFrame& f);  // 0; -1 no dump file

// What stopping a recorded push left behind.
struct StoppedPush {
  // The recording copied into the operation folder as "hh-mm-ss.psh" (or "_2", "_3" ... when an
  // earlier push of the same second is there); empty when there was no stream, the copy failed
  // or the stream is damaged.
  Text1251 fileName;
  // A write or the close of the stream failed: the file holds only part of the push, so it is
  // never handed on as a recording. Its bytes are kept as "hh-mm-ss[_k]-damaged.bin" in the
  // operation folder (the text dump beside it as "-damaged.txt"), or left in the stream file
  // when they cannot be moved there.
  bool damaged = false;
  Text1251 keptFile;  // where a damaged stream's bytes are; empty otherwise
};

// Closes the stream and copies it (and the text dump) into the operation folder under the stop
// time. Every failure is logged with the file's name. The stream's marker goes once the push is
// copied or kept as damaged; after a failed copy it stays, and the next start keeps the push.
StoppedPush ClosePushStream(Push& push, std::string_view operationFolder,
                            const FrameTime& stopTime);
// The copy step alone: copies source into folder as "hh-mm-ss[_k].psh"; the text dump, when
// given and present, follows under the same stem with ".txt". Returns the name or empty.
Text1251 CopyStoppedPush(std::string_view source, std::string_view textSource,
                         std::string_view operationFolder, int hour, int minute, int second);

// Imports a TXT or TRF log: requestedType 1 wireless, 2 mobile, 0 by the file name ("wls").
// 0; -1 cannot open; -2 unknown extension. push gets the frames, sensorType and fileName.
int ImportLog(Push& push, std::string_view fileName, SensorType requestedType);
// The same over bytes in memory; trf selects the binary kind; type 1 or 2.
void ImportLogBytes(Push& push, std::string_view data, bool trf, SensorType type);
// Sensor type chosen for a log name: requested 1 or 2, else 1 when the name contains "wls",
// "WLS", "Wls" or "WLs", else 2.
SensorType LogSensorType(std::string_view fileName, SensorType requested);
