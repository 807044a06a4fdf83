// A pseudo-terminal published as a COM port: the master side stays with the simulator, the
// slave side is linked as COM<n> in the ports folder ($TACMON_PORTS or <data root>/ports), where
// the system opens it like any serial port. The link is removed when the object goes.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace sim {

class PtyLink {
 public:
  // Creates the pseudo-terminal in raw mode and links it as COM<com>. A stale link of that name
  // (its device gone) is replaced; a live link or anything else fails the call.
  static std::unique_ptr<PtyLink> Create(int com, std::string* error);
  ~PtyLink();
  PtyLink(const PtyLink&) = delete;
  PtyLink& operator=(const PtyLink&) = delete;

  int Master() const { return master_; }
  int Com() const { return com_; }
  const std::string& SlaveName() const { return slave_; }
  const std::filesystem::path& LinkPath() const { return link_; }

  // True while some process has the slave side open.
  bool ReaderPresent() const;
  // Drops the master side (the reader sees the line end) and removes the link.
  void HangUp();
  // A new pseudo-terminal under the same link, after HangUp.
  bool Recreate(std::string* error);
  // Drops bytes written and not yet read by the slave side.
  void FlushOutput();

 private:
  PtyLink() = default;
  bool Make(std::string* error);
  void RemoveLink();

  int com_ = 0;
  int master_ = -1;
  std::string slave_;
  std::filesystem::path link_;
};

}  // namespace sim
