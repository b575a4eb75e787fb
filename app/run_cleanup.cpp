#include "app/run_cleanup.h"

void RunCleanup(Platform& platform, DWORD limitMB) {
  static_cast<void>(platform);
  static_cast<void>(limitMB);
}
