// tacmon: the clinical workstation for the tactile mechanoreceptor.
#include "app/main/tacmon_app.h"

int main(int argc, char** argv) {
  CtacmonApp app;
  return app.Run(argc, argv);
}
