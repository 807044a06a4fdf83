// usbcan against the simulated instrument on a real local socket, and against a virtual CAN
// interface when the kernel offers one.
#include "usbcan.h"

#include <gtest/gtest.h>
#include <linux/can.h>
#include <linux/can/raw.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "support/instrument_fixture.h"
#include "support/scratch_roots.h"

namespace {

std::atomic<int> g_received{0};
std::atomic<int> g_frame10{0};
std::atomic<int> g_events01{0};

void Callback(tUcanHandle h, uint8_t event) {
  if (event != USBCAN_EVENT_RECEIVE) {
    ++g_events01;
    return;
  }
  tCanMsgStruct m;
  if (UcanReadCanMsg(h, &m) != USBCAN_SUCCESSFUL) return;
  ++g_received;
  if (m.m_dwID == 10) ++g_frame10;
}

bool WaitFor(const std::function<bool()>& f, int ms) {
  for (int i = 0; i < ms / 5; ++i) {
    if (f()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return f();
}

tCanMsgStruct Message(std::initializer_list<uint8_t> data) {
  tCanMsgStruct m{};
  m.m_dwID = 2;
  m.m_bDLC = 8;
  int i = 0;
  for (uint8_t b : data) m.m_bData[i++] = b;
  return m;
}

class UsbcanSim : public ::testing::Test {
 protected:
  void SetUp() override {
    g_received = 0;
    g_frame10 = 0;
    g_events01 = 0;
  }
  ScratchRoots roots_;
};

TEST(Usbcan, RecordsArePackedAsTheInterfaceSays) {
  EXPECT_EQ(sizeof(tCanMsgStruct), 18u);
  EXPECT_EQ(offsetof(tCanMsgStruct, m_bData), 6u);
  EXPECT_EQ(offsetof(tCanMsgStruct, m_dwTime), 14u);
  EXPECT_EQ(offsetof(tUcanHardwareInfo, m_dwSerialNr), 18u);
}

TEST(Usbcan, WithoutABackendTheModuleIsNotConnected) {
  ::unsetenv("USBCAN_SIM");
  ::unsetenv("USBCAN_SOCKETCAN");
  tUcanHandle h = 7;
  EXPECT_EQ(UcanInitHardware(&h, USBCAN_ANY_MODULE, Callback), USBCAN_ERR_ILLHW);
  EXPECT_EQ(h, 0);
  tCanMsgStruct m = Message({1, 2});
  EXPECT_EQ(UcanWriteCanMsg(0, &m), USBCAN_ERR_ILLHANDLE);
  EXPECT_EQ(UcanDeinitHardware(3), USBCAN_ERR_ILLHANDLE);
}

TEST_F(UsbcanSim, OpensWritesReceivesAndCloses) {
  sim::InstrumentOptions o;
  o.serial = 4242;
  InstrumentFixture instrument(roots_.base(), o);
  ASSERT_TRUE(instrument.Started());
  tUcanHandle h = 0;
  ASSERT_EQ(UcanInitHardware(&h, USBCAN_ANY_MODULE, Callback), USBCAN_SUCCESSFUL);
  EXPECT_NE(h, 0);
  tCanMsgStruct m = Message({1, 2});
  EXPECT_EQ(UcanWriteCanMsg(h, &m), USBCAN_ERRCMD_NOTINIT) << "no write before the CAN set-up";
  ASSERT_EQ(UcanInitCan(h, 0x00, 0x1C, 0xFFFFFFFF, 0), USBCAN_SUCCESSFUL);
  EXPECT_EQ(UcanInitCan(h, 0x00, 0x1C, 0xFFFFFFFF, 0), USBCAN_ERRCMD_ALREADYINIT);
  EXPECT_EQ(g_events01.load(), 2) << "events 0 and 1 from the two init calls";
  tUcanHardwareInfo info{};
  ASSERT_EQ(UcanGetHardwareInfo(h, &info), USBCAN_SUCCESSFUL);
  uint32_t serial = 0;
  std::memcpy(&serial, reinterpret_cast<const uint8_t*>(&info) + 18, 4);
  EXPECT_EQ(serial, 4242u);

  tCanMsgStruct speed = Message({0, 0, 19});
  EXPECT_EQ(UcanWriteCanMsg(h, &m), USBCAN_SUCCESSFUL);
  EXPECT_EQ(UcanWriteCanMsg(h, &speed), USBCAN_SUCCESSFUL);
  // Frame 10 every 10 ms.
  EXPECT_TRUE(WaitFor([] { return g_frame10.load() >= 10; }, 2000));
  EXPECT_TRUE(WaitFor([&] { return !instrument.Events("speed -1").empty(); }, 1000));
  const auto writes = instrument.Events("write 2:");
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].substr(0, 24), "write 2: 1 2 0 0 0 0 0 0");

  ASSERT_EQ(UcanResetCan(h), USBCAN_SUCCESSFUL);
  ASSERT_EQ(UcanDeinitCan(h), USBCAN_SUCCESSFUL);
  ASSERT_EQ(UcanDeinitHardware(h), USBCAN_SUCCESSFUL);
  const int after = g_received.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(g_received.load(), after) << "no callback after the hardware is closed";
  EXPECT_EQ(UcanWriteCanMsg(h, &m), USBCAN_ERR_ILLHANDLE);
}

// The instrument's faults come back as the library's result codes.
TEST_F(UsbcanSim, FaultsOfTheInstrumentBecomeResultCodes) {
  {
    sim::InstrumentOptions o;
    o.initRefused = 3;
    InstrumentFixture instrument(roots_.base(), o);
    tUcanHandle h = 9;
    EXPECT_EQ(UcanInitHardware(&h, USBCAN_ANY_MODULE, Callback), 3);
    EXPECT_EQ(h, 0);
  }
  {
    sim::InstrumentOptions o;
    o.writeFailsAt = 2;
    o.writeFailCode = 11;
    InstrumentFixture instrument(roots_.base(), o);
    tUcanHandle h = 0;
    ASSERT_EQ(UcanInitHardware(&h, USBCAN_ANY_MODULE, Callback), USBCAN_SUCCESSFUL);
    ASSERT_EQ(UcanInitCan(h, 0, 0x1C, 0xFFFFFFFF, 0), USBCAN_SUCCESSFUL);
    tCanMsgStruct m = Message({1, 2});
    EXPECT_EQ(UcanWriteCanMsg(h, &m), USBCAN_SUCCESSFUL);
    EXPECT_EQ(UcanWriteCanMsg(h, &m), 11);
    EXPECT_EQ(UcanWriteCanMsg(h, &m), USBCAN_SUCCESSFUL);
    UcanDeinitHardware(h);
  }
  {
    sim::InstrumentOptions o;
    o.lostAfter = 0.1;
    InstrumentFixture instrument(roots_.base(), o);
    tUcanHandle h = 0;
    ASSERT_EQ(UcanInitHardware(&h, USBCAN_ANY_MODULE, Callback), USBCAN_SUCCESSFUL);
    ASSERT_EQ(UcanInitCan(h, 0, 0x1C, 0xFFFFFFFF, 0), USBCAN_SUCCESSFUL);
    tCanMsgStruct m = Message({1, 2});
    EXPECT_TRUE(WaitFor([&] { return UcanWriteCanMsg(h, &m) == USBCAN_ERR_DISCONNECT; }, 2000));
    UcanDeinitHardware(h);
  }
}

// SocketCAN on a virtual interface: vcan0 (or $USBCAN_TEST_VCAN) when the kernel has one.
TEST(UsbcanSocketCan, WritesAndReceivesOnAVirtualInterface) {
  const char* name = std::getenv("USBCAN_TEST_VCAN");
  const std::string ifname = name && *name ? name : "vcan0";
  int probe = ::socket(PF_CAN, SOCK_RAW, CAN_RAW);
  if (probe < 0 || ::if_nametoindex(ifname.c_str()) == 0) {
    if (probe >= 0) ::close(probe);
    GTEST_SKIP() << "SKIPPED: no virtual CAN interface " << ifname
                 << " here (the kernel offers no vcan); the SocketCAN backend is not tested";
  }
  sockaddr_can addr{};
  addr.can_family = AF_CAN;
  addr.can_ifindex = static_cast<int>(::if_nametoindex(ifname.c_str()));
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::unsetenv("USBCAN_SIM");
  ::setenv("USBCAN_SOCKETCAN", ifname.c_str(), 1);
  g_received = 0;
  tUcanHandle h = 0;
  ASSERT_EQ(UcanInitHardware(&h, USBCAN_ANY_MODULE, Callback), USBCAN_SUCCESSFUL);
  ASSERT_EQ(UcanInitCan(h, 0, 0x1C, 0xFFFFFFFF, 0), USBCAN_SUCCESSFUL);
  tCanMsgStruct m = Message({1, 2, 3});
  ASSERT_EQ(UcanWriteCanMsg(h, &m), USBCAN_SUCCESSFUL);
  can_frame f{};
  ASSERT_EQ(::read(probe, &f, sizeof f), static_cast<ssize_t>(sizeof f));
  EXPECT_EQ(f.can_id, 2u);
  EXPECT_EQ(f.data[2], 3);
  can_frame back{};
  back.can_id = 10;
  back.can_dlc = 8;
  ASSERT_EQ(::write(probe, &back, sizeof back), static_cast<ssize_t>(sizeof back));
  EXPECT_TRUE(WaitFor([] { return g_frame10.load() >= 1; }, 1000));
  UcanDeinitHardware(h);
  ::close(probe);
  ::unsetenv("USBCAN_SOCKETCAN");
}

}  // namespace
