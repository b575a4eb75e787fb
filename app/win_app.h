// A minimal application framework start-up: the application object's hooks
// and the entry sequence that runs them once.
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

// The start-up sequence: adds SEM_FAILCRITICALERRORS and
// SEM_NOOPENFILEERRORBOX to the process's error mode (keeping the bits already
// set) so that no system error box can appear, then runs InitInstance once and
// either Run or ExitInstance. Returns the exit code.
int RunApplication(Platform& platform, CWinApp& app);
