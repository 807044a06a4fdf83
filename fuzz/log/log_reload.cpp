// The log file as ReloadMessageList reads it: pieces of at most 1022 bytes, the last 250 lines,
// the warning filter and repeat folding; the line count the writer keeps; the detail box
// wrapping of every piece; and the same bytes taken as one message (file lines and list).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/log/log_file.h"
#include "app/log/log_format.h"
#include "fuzz/log/scratch_file.h"

namespace {

void CheckWrap(std::string_view piece, int box) {
  const auto chars = [](std::string_view s) { return static_cast<int>(s.size()); };
  const Text1251 wrapped = msglog::WrapDetailText(piece, box, chars);
  // Every line of the box fits, also for tokens wider than the box.
  size_t start = 0, kept = 0;
  for (;;) {
    const size_t br = wrapped.find("\r\n", start);
    const size_t len = (br == Text1251::npos ? wrapped.size() : br) - start;
    if (static_cast<int>(len) > std::max(box, 1) && piece.find("\r\n") == std::string_view::npos)
      std::abort();
    kept += len;
    if (br == Text1251::npos) break;
    start = br + 2;
  }
  if (kept > piece.size()) std::abort();  // only breaks are added, only blanks dropped
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzScratchFile file("LogFile2.log");
  file.Write(data, size);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  msglog::LogFileWriter w;
  w.SetPath(file.Path());
  if (w.LineCount() != static_cast<long>(std::count(bytes.begin(), bytes.end(), '\n')))
    std::abort();
  std::vector<Text1251> pieces;
  if (!w.ReadPieces(pieces)) std::abort();
  for (const auto& p : pieces)
    if (p.size() > 1022) std::abort();

  for (bool showWarnings : {false, true}) {
    const auto list = msglog::ReloadList(pieces, showWarnings);
    if (list.size() > std::min<size_t>(pieces.size(), msglog::kReloadLines)) std::abort();
    // Every listed line is one of the lines considered.
    const auto considered = pieces.end() - std::min<long>(pieces.size(), msglog::kReloadLines);
    for (const auto& line : list)
      if (std::find(considered, pieces.end(), line) == pieces.end()) std::abort();
  }

  const int box = size ? data[0] % 40 : 1;
  for (size_t i = 0; i < pieces.size() && i < 8; ++i) CheckWrap(pieces[i], box);

  // The same bytes as one stamped message.
  int lines = -1;
  const std::string out = msglog::FileLinesOf(bytes, &lines);
  if (lines < 0 || std::count(out.begin(), out.end(), '\n') != lines) std::abort();
  msglog::MessageList list;
  msglog::InsertEntry(list, bytes);
  if (list.lines.empty() || list.lines.size() > 2001) std::abort();
  return 0;
}
