// The application object: one start reads the command line and the clock,
// passes the daily gate and runs the cleaning pass when the gate lets it.
#pragma once

#include "app/win_app.h"
#include "platform/platform.h"

class CCleanupApp : public CWinApp {
 public:
  explicit CCleanupApp(Platform& platform) : m_platform(platform) {}

  // Performs the whole run and returns false, so the process ends at once.
  BOOL InitInstance() override;

 private:
  Platform& m_platform;
};
