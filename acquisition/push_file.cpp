#include "acquisition/push_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "acquisition/detail/bytes.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/report.h"

namespace {

constexpr char kValueMarker[4] = {'T', 'C', '2', '0'};

int AuxWords(int32_t version) { return version >= 1006 ? kAuxWordsInUse : kAuxWordsOld; }

bool MarkerAt(const uint8_t* data, size_t size, size_t pos) {
  return pos + 4 <= size && std::memcmp(data + pos, kValueMarker, 4) == 0;
}

void ReportWriteFailure(std::string_view fileName) {
  AddLogMessageF("Can't write file '%.*s'", static_cast<int>(fileName.size()), fileName.data());
}

void ReadTime(detail::ByteReader& r, FrameTime& t) {
  t.year = r.I16();
  t.month = r.I16();
  t.day = r.I16();
  t.hour = r.I16();
  t.minute = r.I16();
  t.second = r.I16();
  t.millisecond = r.I16();
}

void WriteTime(detail::ByteWriter& w, const FrameTime& t) {
  for (int16_t v : {t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond}) w.I16(v);
}

int ReadFile(Push& push, std::string_view fileName, bool passportVariant, PushFileInfo* info) {
  std::string bytes;
  if (!ReadWholeFile(fileName, bytes)) {
    FreePush(push);
    push.fileName = Text1251(fileName);
    return -1;
  }
  int rc = ParsePushFile(push, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                         passportVariant, info);
  push.fileName = Text1251(fileName);
  return rc;
}

}  // namespace

int FrameRecordSize(int32_t v) {
  if (v < kPushFileOldestVersion || v > kPushFileVersion) return 0;
  int size = kValueRecordSize;
  if (v >= 1002) size += 4;
  if (v >= 1003) size += 14 + 14 + 4 * AuxWords(v);
  if (v >= 1005) size += 4;
  return size;
}

bool PushFileHasPassportBlock(const uint8_t* data, size_t size, bool passportVariant) {
  if (size < 4) return false;
  int32_t v = static_cast<int32_t>(detail::LoadU32(data));
  if (v < 1004 || v > kPushFileVersion) return false;
  bool markerWithout = MarkerAt(data, size, 8);
  bool markerWith = false;
  if (size >= 8) {
    int32_t blockVersion = static_cast<int32_t>(detail::LoadU32(data + 4));
    markerWith = MarkerAt(data, size, 4 + size_t(PassportBlockSize(blockVersion)) + 4);
  }
  // A block starting with "TC20" in its headerA is not a passport any writer makes, so the
  // marker right after the version word decides even when both places show one (a blockless
  // version 1005 file has its 37th record where a 124 block would end).
  if (markerWithout) return false;
  return passportVariant || markerWith;
}

int ParsePushFile(Push& push, const uint8_t* data, size_t size, bool passportVariant,
                  PushFileInfo* info) {
  Text1251 keepName = push.fileName;
  FreePush(push);
  push.fileName = keepName;
  push.passport = DevicePassport{};
  push.hasPassport = false;
  PushFileInfo fi;
  if (size < 4) {
    if (info) *info = fi;
    return -2;
  }
  fi.version = static_cast<int32_t>(detail::LoadU32(data));
  const int recordSize = FrameRecordSize(fi.version);
  if (recordSize == 0) {
    if (info) *info = fi;
    return -2;
  }
  size_t pos = 4;
  fi.passportBlock = PushFileHasPassportBlock(data, size, passportVariant);
  DevicePassport block;
  if (fi.passportBlock) {
    int used = DecodePassportBlock(data + pos, size - pos, block);
    if (used < 0) {  // the file ends inside the block: no record can follow
      if (info) *info = fi;
      return -3;
    }
    fi.blockVersion = static_cast<int32_t>(detail::LoadU32(data + pos));
    pos += static_cast<size_t>(used);
  }
  const size_t count = (size - pos) / recordSize;
  fi.frameCount = static_cast<int>(count);
  fi.trailingBytes = static_cast<int64_t>((size - pos) % recordSize);
  if (info) *info = fi;
  if (count == 0) return -3;
  if (passportVariant && fi.passportBlock) {
    push.passport = block;
    push.hasPassport = true;
  }

  AllocateFrames(push, static_cast<int>(count));
  const int32_t v = fi.version;
  const int aux = AuxWords(v);
  detail::ByteReader r(data + pos, count * recordSize);
  for (auto& f : push.frames) {
    if (v >= 1002) f.index = r.I32();
    r.Skip(12);
    for (int s = 0; s < kSensorCount; ++s) {
      uint16_t raw = r.U16();
      f.values[s] = passportVariant ? int32_t(int16_t(raw)) : int32_t(raw);
    }
    r.Skip(2);
    if (v >= 1003) {
      ReadTime(r, f.captureTime);
      ReadTime(r, f.storedTime);
      for (int k = 0; k < aux; ++k) f.aux[k] = r.I32();
    }
    if (v >= 1005) f.flags = r.I32();
  }
  ComputeLabelCounts(push);
  return 0;
}

int ReadPushFile(Push& push, std::string_view fileName, PushFileInfo* info) {
  return ReadFile(push, fileName, true, info);
}

int ReadViewerPushFile(Push& push, std::string_view fileName, PushFileInfo* info) {
  return ReadFile(push, fileName, false, info);
}

void AppendFrameRecord(std::vector<uint8_t>& out, const SensorFrame& f) {
  detail::ByteWriter w;
  w.bytes.swap(out);
  w.I32(f.index);
  w.Raw(kValueMarker, 4);
  w.U16(0xFFFF);
  w.U16(0x0140);
  w.U16(0x0140);
  w.U16(0x0024);
  for (int s = 0; s < kSensorCount; ++s) w.U16(static_cast<uint16_t>(f.values[s] & 0xFFFF));
  w.U16(0xFFFF);
  WriteTime(w, f.captureTime);
  WriteTime(w, f.storedTime);
  for (int k = 0; k < kAuxWordsInUse; ++k) w.I32(f.aux[k]);
  w.I32(f.flags);
  w.bytes.swap(out);
}

std::vector<uint8_t> EncodePushFile(const Push& push, bool withPassport) {
  std::vector<uint8_t> out;
  size_t records = push.frames.size() * size_t(FrameRecordSize(kPushFileVersion));
  out.reserve(4 + (withPassport ? kPassportBlockSize : 0) + records);
  detail::ByteWriter w;
  w.I32(kPushFileVersion);
  out = std::move(w.bytes);
  if (withPassport) {
    auto block = EncodePassportBlock(push.passport);
    out.insert(out.end(), block.begin(), block.end());
  }
  for (const auto& f : push.frames) AppendFrameRecord(out, f);
  return out;
}

namespace {
int WriteEncoded(const Push& push, std::string_view fileName, bool withPassport) {
  auto bytes = EncodePushFile(push, withPassport);
  std::string_view data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (WriteWholeFile(fileName, data) != 0) {
    ReportWriteFailure(fileName);
    return -1;
  }
  return 0;
}
}  // namespace

int WritePushFile(const Push& push, std::string_view fileName) {
  return WriteEncoded(push, fileName, true);
}

int WriteViewerPushFile(const Push& push, std::string_view fileName) {
  return WriteEncoded(push, fileName, false);
}

// ---- streaming ----

namespace {
void CloseStreamFiles(PushStream& s) {
  if (s.file && s.file->Close() != 0 && !s.writeFailed) ReportWriteFailure(s.fileName);
  if (s.textDump && s.textDump->Close() != 0) ReportWriteFailure(s.textDumpName);
}

bool StreamWrite(PushStream& s, const void* data, size_t size) {
  if (!s.IsOpen()) return false;
  if (s.file->Write(data, size) == size) return true;
  if (!s.writeFailed) ReportWriteFailure(s.fileName);
  s.writeFailed = true;
  return false;
}

// Hands what was written to the system, so that a killed program loses nothing of it.
bool FlushStream(PushStream& s) {
  if (s.file->Flush()) return true;
  if (!s.writeFailed) ReportWriteFailure(s.fileName);
  s.writeFailed = true;
  return false;
}
}  // namespace

Text1251 StreamMarkerName(std::string_view streamFile) {
  Text1251 name(streamFile);
  size_t dot = name.find_last_of('.');
  size_t slash = name.find_last_of("\\/");
  if (dot != Text1251::npos && (slash == Text1251::npos || dot > slash)) name.resize(dot);
  return name + ".op";
}

int OpenPushStream(Push& push, bool withTextDump, std::string_view fileName,
                   std::string_view textFileName) {
  CloseStreamFiles(push.stream);
  push.stream = PushStream{};
  // The file is about to be replaced: a marker beside it would name the wrong recording.
  Text1251 marker = StreamMarkerName(fileName);
  if (fsw::FileExists(marker)) fsw::RemoveFile(marker);
  auto file = std::make_unique<File>();
  if (!file->Open(fileName, "wb")) {
    AddLogMessage("Не удается открыть файл на запись"_cp);
    return -1;
  }
  push.stream.file = std::move(file);
  push.stream.fileName = Text1251(fileName);
  if (withTextDump) {
    auto dump = std::make_unique<File>();
    if (dump->Open(textFileName, "w")) {
      push.stream.textDump = std::move(dump);
      push.stream.textDumpName = Text1251(textFileName);
    } else {
      AddLogMessage("Не удается открыть файл на запись"_cp);
    }
  }
  uint8_t version[4];
  detail::StoreU32(version, kPushFileVersion);
  if (!StreamWrite(push.stream, version, 4) || !FlushStream(push.stream)) return -1;
  push.stream.state = PushStream::State::kVersionWritten;
  return 0;
}

int OpenOperationPushStream(Push& push, std::string_view operationFolder, bool withTextDump,
                            std::string_view fileName, std::string_view textFileName) {
  if (OpenPushStream(push, withTextDump, fileName, textFileName) != 0) return -1;
  FrameTime t = FrameTime::Now();
  char when[32];
  std::snprintf(when, sizeof when, "%4.4d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  Text1251 text = "folder=" + Text1251(operationFolder) + "\n" + "start=" + when + "\n" +
                  "dump=" + (push.stream.textDump ? "1" : "0") + "\n";
  Text1251 marker = StreamMarkerName(fileName);
  // Without its marker the recording goes on; it only cannot be found after a crash.
  if (WriteWholeFile(marker, text, /*textMode=*/true) == 0)
    push.stream.markerName = marker;
  else
    ReportWriteFailure(marker);
  return 0;
}

int WriteStreamPassport(Push& push, const DevicePassport& passport) {
  if (push.stream.state != PushStream::State::kVersionWritten) return -1;
  auto block = EncodePassportBlock(passport);
  push.passport = passport;
  push.hasPassport = true;
  if (!StreamWrite(push.stream, block.data(), block.size()) || !FlushStream(push.stream)) return -1;
  push.stream.state = PushStream::State::kPassportWritten;
  return 0;
}

int AppendStreamFrame(Push& push, const SensorFrame& frame) {
  if (push.stream.state != PushStream::State::kPassportWritten) return -1;
  std::vector<uint8_t> record;
  record.reserve(200);
  AppendFrameRecord(record, frame);
  // One write to the system per display period: cheap, and a crash loses nothing older.
  return StreamWrite(push.stream, record.data(), record.size()) && FlushStream(push.stream) ? 0
                                                                                            : -1;
}

std::string FormatTextDump(const TextDumpFrame& f) {
  std::string out;
  char buf[32];
  auto line = [&](const auto& values, const char* fmt, auto convert) {
    for (const auto& v : values) {
      std::snprintf(buf, sizeof buf, fmt, convert(v));
      out += buf;
    }
    out += "\n";
  };
  auto asInt = [](int32_t v) { return v; };
  line(f.normalized, "%6d ", asInt);
  line(f.raw, "%6d ", asInt);
  line(f.aux, "%6hu ", [](int32_t v) { return static_cast<unsigned short>(v); });
  line(f.display, "%6d ", asInt);
  line(f.secondNormalized, "%6d ", [&](double v) {
    if (!f.hasSecond || !(v > 0)) return 0;
    double r = std::floor(v + 0.5);
    return r > 2147483647.0 ? 2147483647 : static_cast<int>(r);
  });
  line(f.secondRaw, "%6d ", [&](int32_t v) { return f.hasSecond ? v : 0; });
  std::snprintf(buf, sizeof buf, "\n%d %d %d\n", f.testerState, f.testerReading1, f.testerReading2);
  out += buf;
  return out;
}

int AppendStreamTextDump(Push& push, const TextDumpFrame& f) {
  auto& s = push.stream;
  if (!s.textDump || !s.textDump->IsOpen()) return -1;
  return s.textDump->Puts(FormatTextDump(f)) && s.textDump->Flush() ? 0 : -1;
}

namespace {

Text1251 FolderWithoutSeparator(std::string_view folder) {
  Text1251 f(folder);
  while (!f.empty() && (f.back() == '\\' || f.back() == '/')) f.pop_back();
  return f;
}

// "folder\hh-mm-ss" for k == 1, "folder\hh-mm-ss_k" after.
Text1251 StoppedStem(const Text1251& folder, int hour, int minute, int second, int k) {
  char stem[64];
  if (k == 1)
    std::snprintf(stem, sizeof stem, "%2.2d-%2.2d-%2.2d", hour, minute, second);
  else
    std::snprintf(stem, sizeof stem, "%2.2d-%2.2d-%2.2d_%d", hour, minute, second, k);
  return folder + "\\" + stem;
}

constexpr int kMaxSameSecond = 10000;

void ReportCopyFailure(std::string_view from, const Text1251& to) {
  AddLogMessageF("Can't copy file '%.*s' to '%s'", static_cast<int>(from.size()), from.data(),
                 to.c_str());
}

// Moves a damaged stream (and its text dump) into the folder under a free "-damaged" name; a
// rename keeps the bytes even on a full disk, a copy is the fallback across file systems.
// Returns where the stream's bytes are afterwards.
Text1251 KeepDamagedStream(const Text1251& source, const Text1251& textSource,
                           std::string_view operationFolder, const FrameTime& stop) {
  Text1251 folder = FolderWithoutSeparator(operationFolder);
  bool withText = !textSource.empty() && fsw::FileExists(textSource);
  for (int k = 1; k < kMaxSameSecond; ++k) {
    Text1251 base = StoppedStem(folder, stop.hour, stop.minute, stop.second, k) + "-damaged";
    if (fsw::FileExists(base + ".bin") || (withText && fsw::FileExists(base + ".txt"))) continue;
    if (!fsw::MoveFileTo(source, base + ".bin") &&
        !fsw::CopyFileTo(source, base + ".bin", /*failIfExists=*/true)) {
      ReportCopyFailure(source, base + ".bin");
      return source;
    }
    if (withText && !fsw::MoveFileTo(textSource, base + ".txt") &&
        !fsw::CopyFileTo(textSource, base + ".txt", true))
      ReportCopyFailure(textSource, base + ".txt");
    return base + ".bin";
  }
  return source;
}

}  // namespace

Text1251 CopyStoppedPush(std::string_view source, std::string_view textSource,
                         std::string_view operationFolder, int hour, int minute, int second) {
  Text1251 folder = FolderWithoutSeparator(operationFolder);
  bool withText = !textSource.empty() && fsw::FileExists(textSource);
  for (int k = 1; k < kMaxSameSecond; ++k) {
    Text1251 base = StoppedStem(folder, hour, minute, second, k);
    if (fsw::FileExists(base + ".psh") || (withText && fsw::FileExists(base + ".txt"))) continue;
    if (!fsw::CopyFileTo(source, base + ".psh", /*failIfExists=*/true)) {
      ReportCopyFailure(source, base + ".psh");
      return {};
    }
    if (withText && !fsw::CopyFileTo(textSource, base + ".txt", true))
      ReportCopyFailure(textSource, base + ".txt");
    return base + ".psh";
  }
  AddLogMessageF("Can't copy file '%.*s' into '%s'", static_cast<int>(source.size()), source.data(),
                 folder.c_str());
  return {};
}

StoppedPush ClosePushStream(Push& push, std::string_view operationFolder,
                            const FrameTime& stopTime) {
  StoppedPush out;
  auto& s = push.stream;
  if (!s.file) return out;
  bool failed = s.writeFailed;
  if (s.file->Close() != 0) {
    if (!failed) ReportWriteFailure(s.fileName);
    failed = true;
  }
  if (s.textDump && s.textDump->Close() != 0) ReportWriteFailure(s.textDumpName);
  Text1251 source = s.fileName, text = s.textDump ? s.textDumpName : Text1251();
  Text1251 marker = s.markerName;
  push.stream = PushStream{};
  if (!failed) {
    out.fileName = CopyStoppedPush(source, text, operationFolder, stopTime.hour, stopTime.minute,
                                   stopTime.second);
    if (!out.fileName.empty() && !marker.empty()) fsw::RemoveFile(marker);
    return out;
  }
  out.damaged = true;
  out.keptFile = KeepDamagedStream(source, text, operationFolder, stopTime);
  // Reported here; the next start must not offer it as a recording.
  if (!marker.empty()) fsw::RemoveFile(marker);
  AddLogMessageF("Push file '%s' is damaged (a write failed); what was recorded is kept in '%s'",
                 source.c_str(), out.keptFile.c_str());
  return out;
}

// ---- TXT and TRF logs ----

namespace {

constexpr int kLogColumns = 31;
constexpr int kWirelessColumns[kSensorCount] = {6,  4,  2,  7,  5,  3,  20, 10, 9, 8,
                                                19, 18, 11, 13, 15, 17, 12, 14, 16};
constexpr int kMobileColumns[kSensorCount] = {15, 23, 20, 16, 17, 14, 11, 19, 5, 7,
                                              0,  9,  21, 18, 10, 4,  22, 1,  12};

void FillFrame(SensorFrame& f, const int64_t* columns, SensorType type) {
  const int* table = type == kSensorWireless ? kWirelessColumns : kMobileColumns;
  for (int s = 0; s < kSensorCount; ++s) {
    int64_t x = columns[table[s] + 1];
    f.values[s] = static_cast<int32_t>(type == kSensorWireless ? 65535 - x : x);
  }
}

// 31 integers as "%d" reads them; false when fewer scan.
bool ScanLogLine(const std::string& line, int64_t* columns) {
  const char* p = line.c_str();
  for (int c = 0; c < kLogColumns; ++c) {
    char* end = nullptr;
    long long v = std::strtoll(p, &end, 10);
    if (end == p) return false;
    columns[c] = static_cast<int32_t>(static_cast<uint32_t>(v));  // wraps like a 32-bit int
    p = end;
  }
  return true;
}

}  // namespace

SensorType LogSensorType(std::string_view fileName, SensorType requested) {
  if (requested == kSensorWireless || requested == kSensorMobile) return requested;
  for (const char* w : {"wls", "WLS", "Wls", "WLs"})
    if (fileName.find(w) != std::string_view::npos) return kSensorWireless;
  return kSensorMobile;
}

void ImportLogBytes(Push& push, std::string_view data, bool trf, SensorType type) {
  Text1251 keepName = push.fileName;
  FreePush(push);
  push.fileName = keepName;
  push.passport = DevicePassport{};
  push.hasPassport = false;
  int64_t columns[kLogColumns];
  if (trf) {
    size_t count = data.size() / kTrfRecordSize;
    AllocateFrames(push, static_cast<int>(count));
    for (size_t i = 0; i < count; ++i) {
      auto p = reinterpret_cast<const uint8_t*>(data.data()) + i * kTrfRecordSize;
      for (int c = 0; c < kLogColumns; ++c) columns[c] = detail::LoadU16(p + 2 * c);
      FillFrame(push.frames[i], columns, type);
    }
  } else {
    // One pass into a growing array: only lines that scan become frames.
    size_t pos = 0;
    std::string line;
    while (pos < data.size()) {
      size_t end = data.find('\n', pos);
      if (end == std::string_view::npos) end = data.size();
      line.assign(data.substr(pos, end - pos));
      pos = end + 1;
      while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t'))
        line.pop_back();
      if (line.empty() || !ScanLogLine(line, columns)) continue;
      push.frames.emplace_back();
      FillFrame(push.frames.back(), columns, type);
    }
  }
  push.sensorType = type;
}

int ImportLog(Push& push, std::string_view fileName, SensorType requestedType) {
  if (fileName.size() < 3) return -2;
  std::string_view ext = fileName.substr(fileName.size() - 3);
  bool trf = Cp1251EqualNoCase(ext, "trf");
  if (!trf && !Cp1251EqualNoCase(ext, "txt")) return -2;
  // Both kinds are read as bytes, where a read error is seen; TXT lines may end in CR LF.
  std::string data;
  if (!ReadWholeFile(fileName, data)) return -1;
  push.fileName = Text1251(fileName);
  ImportLogBytes(push, data, trf, LogSensorType(fileName, requestedType));
  return 0;
}
