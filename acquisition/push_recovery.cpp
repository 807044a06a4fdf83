#include "acquisition/push_recovery.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace {

// The value of "key=value" among the marker's lines.
Text1251 MarkerValue(const std::string& text, std::string_view key) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=')
      return Text1251(line.substr(key.size() + 1));
    pos = end + 1;
  }
  return {};
}

}  // namespace

InterruptedPush RecoverInterruptedPush(std::string_view streamFile, std::string_view textFile) {
  InterruptedPush r;
  r.streamFile = Text1251(streamFile);
  const Text1251 marker = StreamMarkerName(streamFile);
  std::string text;
  if (!fsw::FileExists(marker) || !ReadWholeFile(marker, text, /*textMode=*/true)) return r;
  r.operationFolder = MarkerValue(text, "folder");
  r.startTime = MarkerValue(text, "start");
  const bool withDump = MarkerValue(text, "dump") == "1";
  while (!r.operationFolder.empty() &&
         (r.operationFolder.back() == '\\' || r.operationFolder.back() == '/'))
    r.operationFolder.pop_back();

  std::string data;
  Push push;
  PushFileInfo info;
  if (r.operationFolder.empty() || !ReadWholeFile(streamFile, data) ||
      ParsePushFile(push, reinterpret_cast<const uint8_t*>(data.data()), data.size(), true,
                    &info) != 0 ||
      info.frameCount == 0) {
    r.outcome = InterruptedPush::Outcome::kNoFrames;
    fsw::RemoveFile(marker);
    return r;
  }
  r.frames = info.frameCount;
  // The time of the last frame written, before the stream is cut (which changes it).
  std::tm tm{};
  std::time_t modified = std::time(nullptr);
  for (const fsw::DirEntry& e : fsw::ListDirectory(streamFile)) modified = e.modified;
  if (!LocalTime(modified, tm)) tm = std::tm{};
  if (info.trailingBytes > 0) {
    r.cutBytes = info.trailingBytes;
    data.resize(data.size() - static_cast<size_t>(info.trailingBytes));
    if (WriteWholeFile(streamFile, data) != 0) {
      r.outcome = InterruptedPush::Outcome::kFailed;
      return r;
    }
  }
  fsw::MakeDirectories(r.operationFolder);
  r.pushFile = CopyStoppedPush(streamFile, withDump ? textFile : std::string_view(),
                               r.operationFolder, tm.tm_hour, tm.tm_min, tm.tm_sec);
  if (r.pushFile.empty()) {
    r.outcome = InterruptedPush::Outcome::kFailed;
    return r;
  }
  r.outcome = InterruptedPush::Outcome::kKept;
  fsw::RemoveFile(marker);
  return r;
}

Text1251 InterruptedPushMessage(const InterruptedPush& r) {
  char buf[1024];
  switch (r.outcome) {
    case InterruptedPush::Outcome::kNone:
      return {};
    case InterruptedPush::Outcome::kKept:
      std::snprintf(buf, sizeof buf,
                    "Запись нажатия, начатая %s, была прервана. Записанные кадры (%d) сохранены "
                    "как нажатие %s"_cp,
                    r.startTime.c_str(), r.frames, r.pushFile.c_str());
      break;
    case InterruptedPush::Outcome::kNoFrames:
      std::snprintf(buf, sizeof buf,
                    "Запись нажатия, начатая %s, была прервана до первого кадра: сохранять "
                    "нечего"_cp,
                    r.startTime.c_str());
      break;
    case InterruptedPush::Outcome::kFailed:
      std::snprintf(buf, sizeof buf,
                    "Запись нажатия, начатая %s, была прервана, и её не удается сохранить в папку "
                    "%s. Кадры остаются в файле %s"_cp,
                    r.startTime.c_str(), r.operationFolder.c_str(), r.streamFile.c_str());
      break;
  }
  return buf;
}
