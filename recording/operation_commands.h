// Menu commands of the operation window that open windows of other folders (display passport
// and constant force, sensitivity and sensor characteristics, device search, test instrument,
// draft passports). Each folder installs its commands at program start; a command nobody has
// installed logs that its window is not in the program.
#pragma once

#include <functional>

namespace recording {

class KCDOperationWindow;

using OperationCommand = std::function<void(KCDOperationWindow&)>;

// Menu ids of these commands (menu 147).
inline constexpr int kCmdDisplayPassport = 32864;
inline constexpr int kCmdDisplayConstantForce = 32863;
inline constexpr int kCmdSensitivity = 32858;
inline constexpr int kCmdSensitivity2 = 32861;
inline constexpr int kCmdSensorCharacteristics = 32860;
inline constexpr int kCmdSensorCharacteristics2 = 32862;
inline constexpr int kCmdDeviceSearch = 32865;
inline constexpr int kCmdTestInstrument = 32838;
inline constexpr int kCmdDraftPassport = 32799;
inline constexpr int kCmdDraftPassport2 = 32859;
inline constexpr int kCmdDraftPassport3 = 32800;

// Installs (or, with an empty command, removes) the handler of menu command id.
void SetOperationCommand(int id, OperationCommand command);
// The handler installed for id, or nullptr.
const OperationCommand* FindOperationCommand(int id);

// The test-instrument thread follows the probe link of the operation window: started on
// Connect, ended on Disconnect and when the window goes (installed by tester/).
enum class TesterLinkEvent { kConnected, kDisconnected, kWindowGone };
using TesterLinkHook = std::function<void(TesterLinkEvent)>;
void SetTesterLinkHook(TesterLinkHook hook);
void NotifyTesterLink(TesterLinkEvent event);
// The current tester value of the test dialog for the full-data text output (-1: none).
void SetTesterValueSource(std::function<int()> source);
int CurrentTesterValueForDump();

}  // namespace recording
