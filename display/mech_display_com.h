// CMechDisplay_Com: one connection to the tactile display, used by the display thread only.
// It searches the ports from the one that answered last ("iComLast" of the parameter set
// "CMechDisplay_Com", else from COM2) up to COM59, opens a port at 38400 baud and checks it with
// the test sequence "off", "res", "on"; every command line waits for the prompt "\r\r\n>"
// (3 s in all, 2 s without a byte), and a lost display is searched for again when the caller
// allows it. Every port it opens is closed again unless it became the connection.
//
// The host (the main hub dialog) gives the settings and receives the status text and the
// messages 1046, 1047 and 1049. Qt-free.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/cp1251.h"
#include "platform/serial.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace display {

// The hub's settings the link reads ("KCDMain").
struct DisplaySettings {
  int useMechDisplay = 1;      // "set_use_MechDisplay"
  int autoconnect = 1;         // "set_disp_autoconnect"
  int oneToOne = 0;            // "set_correspond_mech_receptor_sensor_to_display_sensor"
  int receptorDataFormat = 0;  // "receptor_data_format": 2 has no adapter
};

// What the link needs from the main hub dialog; every call may come from the display thread.
class DisplayHost {
 public:
  virtual ~DisplayHost() = default;
  virtual DisplaySettings Settings() = 0;
  // "NumCOMPortDisp": the port being tried or in use.
  virtual void SetDisplayPort(int number) = 0;
  virtual void SetDisplayStatusText(const Text1251& text) = 0;
  virtual WindowHandle HubWindow() = 0;
};

// A host of its own for programs and tests without the hub dialog.
class SimpleDisplayHost : public DisplayHost {
 public:
  DisplaySettings Settings() override;
  void SetSettings(const DisplaySettings& s);
  void SetDisplayPort(int number) override { port_ = number; }
  int DisplayPort() const { return port_.load(); }
  void SetDisplayStatusText(const Text1251& text) override;
  Text1251 StatusText();
  WindowHandle HubWindow() override { return hub_.load(); }
  void SetHubWindow(WindowHandle h) { hub_ = h; }

 private:
  std::mutex lock_;  // guards settings_, status_
  DisplaySettings settings_;
  Text1251 status_;
  std::atomic<int> port_{4};
  std::atomic<WindowHandle> hub_{0};
};

class CMechDisplay_Com {
 public:
  // stopWord: the display thread's; nonzero interrupts searches and exchanges. cancelSearch:
  // also ends a search between ports (a close is waiting), leaving exchanges alone.
  CMechDisplay_Com(DisplayHost& host, const std::atomic<int>& stopWord,
                   const std::atomic<bool>* cancelSearch = nullptr);
  ~CMechDisplay_Com();  // closes the port without commands
  CMechDisplay_Com(const CMechDisplay_Com&) = delete;
  CMechDisplay_Com& operator=(const CMechDisplay_Com&) = delete;

  // The port search; returns at once with "set_disp_autoconnect" off.
  void Autoconnect();
  // Opens port NumCOMPortDisp and runs the test sequence: 0, or -1..-4.
  int OpenPort(int number);
  // "off", "res", "on" without reconnection: 0, or -1 (the port is then closed).
  int SendTestCommands();
  // One command line and its prompt: 0 or -1.
  int SendCommand(const std::string& command, bool reconnect);
  // "off" and "res" (never searching again for a display that is gone), then the port closed.
  void Close();
  // Closes the port (if open) and tells the hub (1047).
  void ClosePort();

  bool IsOpen();
  int PortNumber() const { return portNumber_.load(); }

 private:
  std::shared_ptr<ByteTransport> Port();
  bool Stopped() const { return stopWord_.load() != 0; }
  bool SearchCancelled() const { return Stopped() || (cancelSearch_ && cancelSearch_->load()); }
  void Pause(int ms);  // cut short by a stop
  void SendHub(uint32_t message);
  void SendAdapterDisconnect(ByteTransport& port);

  DisplayHost& host_;
  const std::atomic<int>& stopWord_;
  const std::atomic<bool>* cancelSearch_;
  std::atomic<int> portNumber_{0};
  TimedMutex portLock_;  // guards port_; held only to read or swap it
  std::shared_ptr<ByteTransport> port_;
};

}  // namespace display
