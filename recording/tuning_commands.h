// The menu commands that open the tuning dialogs (view/tuning_dialogs.h) from the operation
// window and the push viewer: 32858 / 32861 the sensitivity of the first / second
// mechanoreceptor (settings "SensibilityReceptorV" / "SensibilitySecondReceptorV" of the hub,
// saved with the hub's settings after OK), 32860 / 32862 the per-sensor coefficients of the
// first / second current passport (operation window) or of the viewer's source push (viewer).
#pragma once

namespace recording {

// Installs the four commands in both windows and the automation commands below (once).
void InstallTuningCommands();

// Automation commands (ui/automation.h):
//   map-values TEMPLATE FILE   writes the colour indices of the last main map painted by the
//                              open window TEMPLATE (144 the recording view, 102 the viewer)
//                              and its highlighted sensor: "indices: v1 ... v19\nhighlighted: h\n"
//   screenshot FILE.png        the whole screen (every window shown, dialogs over their owners)
//   spin ID up|down            one press on an arrow of the up-down control ID of the active
//                              window

}  // namespace recording
