// Serial ports on pseudo-terminals: opening by COM number, configuration failures, exclusive
// use, timed reads and writes, cancelling and closing from another thread, hang-up.
#include "platform/serial.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/clock.h"
#include "sim/pty_link.h"
#include "support/scratch_roots.h"

namespace {

std::shared_ptr<SerialPort> Open(const std::string& name, int baud = 115200, int* code = nullptr) {
  int c = 0;
  auto p = SerialPort::Open(name, baud, &c);
  if (code) *code = c;
  return p;
}

TEST(SerialPort, OpenCodesFollowTheConfigurationSteps) {
  ScratchRoots roots;
  std::string err;
  auto pty = sim::PtyLink::Create(3, &err);
  ASSERT_TRUE(pty) << err;
  std::filesystem::create_symlink("/dev/null", roots.ports() / "COM4");
  struct Case {
    const char* name;
    int baud;
    int code;
  } cases[] = {
      {"\\\\.\\COM3", 115200, kSerialOk},
      {"COM3", 38400, kSerialOk},
      {"com03", 115200, kSerialOk},                    // the number, not its spelling
      {"\\\\.\\COM5", 115200, kSerialCannotOpen},      // no link
      {"\\\\.\\COM4", 115200, kSerialCannotGetState},  // not a terminal
      {"\\\\.\\COM3", 12345, kSerialCannotBuildFlags},
  };
  for (const Case& c : cases) {
    int code = 99;
    auto p = Open(c.name, c.baud, &code);
    EXPECT_EQ(code, c.code) << c.name << " " << c.baud;
    EXPECT_EQ(p != nullptr, c.code == kSerialOk);
  }
  EXPECT_EQ(SerialPort::PortName(12), "\\\\.\\COM12");
}

TEST(PtyLink, TakesOnlyAFreeOrStaleName) {
  ScratchRoots roots;
  std::string err;
  auto first = sim::PtyLink::Create(3, &err);
  ASSERT_TRUE(first) << err;
  EXPECT_FALSE(sim::PtyLink::Create(3, &err)) << "a live port is not taken over";
  std::filesystem::create_symlink("/dev/nonexistent-device", roots.ports() / "COM4");
  EXPECT_TRUE(sim::PtyLink::Create(4, &err)) << err;
}

TEST(SerialPort, APortInUseDoesNotOpenAgainUntilClosed) {
  ScratchRoots roots;
  std::string err;
  auto pty = sim::PtyLink::Create(3, &err);
  ASSERT_TRUE(pty) << err;
  auto first = Open("COM3");
  ASSERT_TRUE(first);
  int code = 0;
  EXPECT_FALSE(Open("COM3", 115200, &code));
  EXPECT_EQ(code, kSerialCannotOpen);
  EXPECT_FALSE(CanOpenPort(3)) << "a port in use is not listed";
  EXPECT_FALSE(CanOpenPort(4)) << "no such port";
  first->Close();
  EXPECT_TRUE(CanOpenPort(3));
  EXPECT_TRUE(Open("COM3"));
}

TEST(SerialPort, RawBytesTimedReadsAndWrites) {
  ScratchRoots roots;
  std::string err;
  auto pty = sim::PtyLink::Create(3, &err);
  ASSERT_TRUE(pty) << err;
  auto port = Open("COM3");
  ASSERT_TRUE(port);
  // Nothing there: the read waits its time and no longer.
  double t0 = MonotonicSeconds();
  uint8_t b[16];
  IoResult r = port->Read(b, sizeof b, 150);
  double waited = MonotonicSeconds() - t0;
  EXPECT_EQ(r.status, IoStatus::kTimeout);
  EXPECT_GE(waited, 0.14);
  EXPECT_LT(waited, 0.4);
  // Binary bytes pass untouched in both directions: no echo, no CR/LF translation.
  const uint8_t sent[] = {'T', 'C', '\r', '\n', 0x00, 0x11, 0x13, 0xFF, '\r'};
  ASSERT_EQ(::write(pty->Master(), sent, sizeof sent), static_cast<ssize_t>(sizeof sent));
  std::string got;
  while (got.size() < sizeof sent) {
    r = port->Read(b, sizeof b, 500);
    ASSERT_TRUE(r.Ok());
    got.append(reinterpret_cast<char*>(b), r.count);
  }
  EXPECT_EQ(got, std::string(reinterpret_cast<const char*>(sent), sizeof sent));
  EXPECT_EQ(port->WriteText("btdis\r\n", 100).count, 7u);
  char back[16] = {};
  SleepMs(50);
  EXPECT_EQ(::read(pty->Master(), back, sizeof back), 7);
  EXPECT_STREQ(back, "btdis\r\n");
  EXPECT_EQ(port->ReadByte(0), -1) << "no echo of our own command";
  // A writer nobody reads from fills the line and then reports how much it got out.
  std::string big(1 << 20, 'x');
  r = port->Write(big.data(), big.size(), 200);
  EXPECT_EQ(r.status, IoStatus::kTimeout);
  EXPECT_GT(r.count, 0u);
  EXPECT_LT(r.count, big.size());
}

TEST(SerialPort, CancelAndCloseWakeAWaitingReaderFromAnotherThread) {
  ScratchRoots roots;
  std::string err;
  auto pty = sim::PtyLink::Create(3, &err);
  ASSERT_TRUE(pty) << err;
  auto port = Open("COM3");
  ASSERT_TRUE(port);
  for (bool close : {false, true}) {
    SCOPED_TRACE(close);
    std::atomic<int> status{-1};
    double t0 = MonotonicSeconds();
    std::thread reader([&] {
      uint8_t b;
      status = static_cast<int>(port->Read(&b, 1, 5000).status);
    });
    SleepMs(100);
    if (close)
      port->Close();
    else
      port->CancelIo();
    reader.join();
    EXPECT_LT(MonotonicSeconds() - t0, 1.0);
    EXPECT_EQ(status.load(), static_cast<int>(IoStatus::kCancelled));
  }
  uint8_t b;
  EXPECT_EQ(port->Read(&b, 1, 10).status, IoStatus::kClosed);
  EXPECT_FALSE(port->IsOpen());
}

TEST(SerialPort, HangUpReadsAsLostAndWaitAnyWatchesBothPorts) {
  ScratchRoots roots;
  std::string err;
  auto pty3 = sim::PtyLink::Create(3, &err);
  auto pty4 = sim::PtyLink::Create(4, &err);
  ASSERT_TRUE(pty3 && pty4) << err;
  auto p3 = Open("COM3");
  auto p4 = Open("COM4");
  ASSERT_TRUE(p3 && p4);
  ByteTransport* both[2] = {p3.get(), p4.get()};
  EXPECT_EQ(WaitAnyReadable(both, 2, 50), 0u);
  ASSERT_EQ(::write(pty4->Master(), "x", 1), 1);
  EXPECT_EQ(WaitAnyReadable(both, 2, 500), 2u);
  EXPECT_EQ(p4->ReadByte(10), 'x');
  pty3->HangUp();
  EXPECT_EQ(WaitAnyReadable(both, 2, 500) & 1u, 1u);
  IoStatus st{};
  EXPECT_EQ(p3->ReadByte(100, &st), -1);
  EXPECT_EQ(st, IoStatus::kLost);
}

TEST(FileTransport, ReadsAFileAsAByteSourceWithAnEnd) {
  ScratchRoots roots;
  WriteBytes(roots.base() / "bytes.bin", "TC12abc");
  auto f = FileTransport::Open(roots.base() / "bytes.bin");
  ASSERT_TRUE(f);
  char buf[16];
  IoResult r = f->Read(buf, 4, 1000);
  EXPECT_EQ(r.count, 4u);
  r = f->Read(buf, 16, 1000);
  EXPECT_EQ(r.count, 3u);
  EXPECT_EQ(f->Read(buf, 16, 1000).status, IoStatus::kEnd);
  ASSERT_TRUE(f->Rewind());
  EXPECT_EQ(f->ReadByte(0), 'T');
  EXPECT_FALSE(FileTransport::Open(roots.base() / "missing.bin"));
  // A FIFO or a device in place of the file is refused at once, never waited on or read forever.
  ::alarm(60);
  ASSERT_EQ(::mkfifo((roots.base() / "fifo.bin").c_str(), 0644), 0);
  std::filesystem::create_symlink("/dev/zero", roots.base() / "zero.bin");
  EXPECT_FALSE(FileTransport::Open(roots.base() / "fifo.bin"));
  EXPECT_FALSE(FileTransport::Open(roots.base() / "zero.bin"));
  ::alarm(0);
}

}  // namespace
