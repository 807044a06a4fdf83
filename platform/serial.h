// Serial ports and other byte transports of the device links.
//
// A port "\\.\COM<n>" (or "COM<n>") is the entry COM<n> of the ports folder
// (winpath::PortsFolder()): a symbolic link to the real device (/dev/rfcomm0, /dev/ttyUSB0, a
// pseudo-terminal). A number without a link does not open. Ports open raw (8 data bits, no
// parity, one stop bit, no flow control, no echo or line-end translation) and exclusively
// (TIOCEXCL and flock), so a port in use does not open a second time.
//
// Every transport may be read, written, cancelled and closed from different threads: Close wakes
// the calls waiting on it and releases the descriptor only after they have left.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

enum class IoStatus {
  kOk,         // count bytes moved
  kTimeout,    // the time limit passed (count may be > 0 for writes)
  kLost,       // the device went away (hang-up, end of a pseudo-terminal)
  kCancelled,  // CancelIo or Close woke the call
  kClosed,     // the transport is closed
  kEnd,        // end of a file transport
};

struct IoResult {
  size_t count = 0;
  IoStatus status = IoStatus::kTimeout;
  bool Ok() const { return status == IoStatus::kOk; }
};

// The transport table of the links: a port, a file, or anything that moves bytes.
class ByteTransport {
 public:
  virtual ~ByteTransport() = default;
  virtual bool IsOpen() const = 0;
  // Reads at most n bytes, waiting at most ms (0: only what has arrived) for the first one.
  virtual IoResult Read(void* data, size_t n, int ms) = 0;
  // Writes n bytes unless ms passes first; count says how many were written.
  virtual IoResult Write(const void* data, size_t n, int ms) = 0;
  // Wakes the calls waiting now; they return kCancelled. Later calls work as before.
  virtual void CancelIo() = 0;
  // Cancels, waits for the calls in progress to leave, releases the device. Idempotent.
  virtual void Close() = 0;
  // Drops bytes received and not read yet.
  virtual void Purge() = 0;
  // For WaitAnyReadable: holds the transport open and gives the descriptor that poll() reports
  // readable when Read would not wait (-1: Read never waits) and the one that CancelIo wakes.
  // False when closed. Every successful BeginWait is paired with EndWait.
  virtual bool BeginWait(int* fd, int* wakeFd) = 0;
  virtual void EndWait() = 0;

  // One byte (0..255), or -1 with the reason in *status.
  int ReadByte(int ms, IoStatus* status = nullptr);
  IoResult WriteText(std::string_view text, int ms) { return Write(text.data(), text.size(), ms); }
};

// Result codes of opening a port, in the order of the configuration steps.
enum SerialOpenCode : int {
  kSerialOk = 0,
  kSerialCannotOpen = -1,         // no such port, no link, or in use
  kSerialCannotGetState = -2,     // not a terminal
  kSerialCannotSetTimeouts = -3,  // non-blocking mode for timed calls refused
  kSerialCannotBuildFlags = -4,   // baud rate not supported
  kSerialCannotSetState = -5,     // the terminal refused the settings
};

class SerialPort final : public ByteTransport {
 public:
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens and configures a port; code is one of SerialOpenCode. errnoText describes a failure.
  static std::shared_ptr<SerialPort> Open(std::string_view name, int baud, int* code,
                                          std::string* errnoText = nullptr);
  // Host path behind a port name: "\\.\COM3" and "COM3" map into the ports folder, any other
  // name is taken as a host path.
  static std::filesystem::path HostPathFor(std::string_view name);
  // The system's name of port n, "\\.\COM<n>".
  static std::string PortName(int number);

  bool IsOpen() const override;
  IoResult Read(void* data, size_t n, int ms) override;
  IoResult Write(const void* data, size_t n, int ms) override;
  void CancelIo() override;
  void Close() override;
  void Purge() override;
  bool BeginWait(int* fd, int* wakeFd) override;
  void EndWait() override { Leave(); }
  int Baud() const { return baud_; }

 private:
  SerialPort() = default;
  // Enter/Leave bracket every call that uses the descriptors; Close waits for active_ == 0.
  IoStatus Enter(uint64_t* cancelSeq);
  void Leave();
  bool Cancelled(uint64_t seq);
  void MarkLost();
  IoStatus WaitReady(short events, double deadline, uint64_t seq);

  mutable std::mutex lock_;  // guards fd_, wakeFd_, active_, closing_, lost_, cancelSeq_
  std::condition_variable idle_;
  int fd_ = -1;
  int wakeFd_ = -1;  // eventfd written by CancelIo and Close
  int active_ = 0;
  bool closing_ = false;
  bool lost_ = false;
  uint64_t cancelSeq_ = 0;
  int baud_ = 0;
};

// A file read as a byte source (the debug input, recorded streams). Only a regular file opens
// (never a FIFO or a device); reads never wait; the end of the file reads as kEnd. With
// bytesPerSecond > 0 the bytes are paced like a line.
class FileTransport final : public ByteTransport {
 public:
  static std::shared_ptr<FileTransport> Open(const std::filesystem::path& hostPath,
                                             double bytesPerSecond = 0);
  ~FileTransport() override;
  bool IsOpen() const override;
  IoResult Read(void* data, size_t n, int ms) override;
  IoResult Write(const void* data, size_t n, int ms) override;
  void CancelIo() override {}
  void Close() override;
  void Purge() override {}
  bool BeginWait(int* fd, int* wakeFd) override;
  void EndWait() override {}
  bool Rewind();

 private:
  FileTransport() = default;
  mutable std::mutex lock_;  // guards f_, delivered_
  std::FILE* f_ = nullptr;
  double rate_ = 0;
  double start_ = 0;
  uint64_t delivered_ = 0;
};

// True when port n could be opened now (it exists and nobody holds it); the port is left as it
// was. The hub's port list is built from this.
bool CanOpenPort(int number);

// Waits until one of the transports can be read without waiting, at most ms. Returns a bit mask
// of the ready ones (bit i for ports[i]; a lost port counts as ready, its Read says kLost);
// transports without a descriptor are always ready, closed ones (nullptr) never. 0 when the time
// passed or a CancelIo woke the wait.
unsigned WaitAnyReadable(ByteTransport* const* ports, int count, int ms);
