#include "app/win_app.h"

int RunApplication(Platform& platform, CWinApp& app) {
  const UINT mode = platform.SetErrorMode(0);
  platform.SetErrorMode(mode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  if (!app.InitInstance()) return app.ExitInstance();
  return app.Run();
}
