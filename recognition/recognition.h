// Recognition: the binding of the recognition library (vigil_binding.h) and its alert window
// KCDVigilShow (kcd_vigil_show.h), a pane of the operation window. The program calls
// InstallRecognition once at start: it registers the window's template, gives the push viewer
// its calls into the library and adds the automation command
//   alert-dump FILE   writes the alert window's values and text (UTF-8), or "none"
#pragma once

namespace recognition {

void InstallRecognition();
// The template of dialog 170 (idempotent; the window registers it too).
void RegisterRecognitionResources();

}  // namespace recognition
