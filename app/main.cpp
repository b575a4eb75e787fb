// The program's body, started by the Windows entry point with the real
// platform: one run of the application object, exit code 0.
#include "app/cleanup_app.h"
#include "app/main.h"

int ApplicationMain(Platform& platform) {
  CCleanupApp app(platform);
  RunApplication(platform, app);
  return 0;
}
