// The application object and the small framework start-up that runs it: one
// start reads the command line and the clock, passes the daily gate and runs
// the cleaning pass when the gate lets it, then ends with exit code 0.
#pragma once

#include "platform/platform.h"

class CWinApp {
 public:
  CWinApp() = default;
  virtual ~CWinApp() = default;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Returns false to end the application without a message loop.
  virtual BOOL InitInstance() { return TRUE; }
  // Returns the process's exit code.
  virtual int ExitInstance() { return 0; }
  // The application's main loop; there are no windows, so it only ends.
  virtual int Run() { return ExitInstance(); }
};

class CCleanupApp : public CWinApp {
 public:
  explicit CCleanupApp(Platform& platform) : m_platform(platform) {}

  // Performs the whole run and returns false, so the process ends at once.
  BOOL InitInstance() override;

 private:
  Platform& m_platform;
};

// Adds SEM_FAILCRITICALERRORS and SEM_NOOPENFILEERRORBOX to the process's
// error mode, keeping the bits already set, so that an unreadable drive or a
// missing file never stops a run at a system error box. Every program's first
// step.
void QuietSystemErrors(Platform& platform);

// The start-up sequence: QuietSystemErrors, then InitInstance once and either
// Run or ExitInstance. Returns the exit code.
int RunApplication(Platform& platform, CWinApp& app);

// The whole program over a platform: one run of CCleanupApp, exit code 0,
// even when the run throws.
int ApplicationMain(Platform& platform);
