// CtacmonApp, the application object: parses the command line and runs the main hub dialog
// modally; the whole run takes place inside that dialog.
#pragma once

class CtacmonApp {
 public:
  // Returns the process exit status.
  int Run(int argc, char** argv);

 private:
  bool InitInstance(int argc, char** argv);
};
