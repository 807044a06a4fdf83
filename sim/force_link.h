// The coupling of the simulated instrument and the simulated probe: the instrument writes the
// force its head applies into a small shared file, the probe reads it for every packet, so a
// pressed probe reads what the stand applies. The file holds one fixed-width text line.
#pragma once

#include <string>

namespace sim {

class ForceFile {
 public:
  ForceFile() = default;
  ~ForceFile();
  ForceFile(const ForceFile&) = delete;
  ForceFile& operator=(const ForceFile&) = delete;

  // Creates (writer) or opens (reader) the file; false with a message.
  bool OpenWriter(const std::string& path, std::string* error);
  bool OpenReader(const std::string& path, std::string* error);
  bool Open() const { return fd_ >= 0; }
  void Write(double force);
  // The last force written, 0 before the first write or when unreadable.
  double Read() const;

 private:
  int fd_ = -1;
};

}  // namespace sim
