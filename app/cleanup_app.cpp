#include "app/cleanup_app.h"

#include "app/command_line.h"
#include "app/run_cleanup.h"
#include "app/run_gate.h"
#include "folders/reclaimable.h"

BOOL CCleanupApp::InitInstance() {
  const CommandLine commandLine = ParseCommandLine(m_platform.GetCommandLineA());
  SYSTEMTIME now{};
  m_platform.GetLocalTime(&now);
  const GateDecision gate = PassRunGate(m_platform, FormatRunDate(now), commandLine.force);
  if (!gate.run) return FALSE;
  const CleanupOutcome outcome =
      RunCleanup(m_platform, gate.limitMB, RulesOf(gate.settings, FileTimeNow(m_platform)));
  WriteRunRecord(m_platform,
                 {outcome.estimateKB, outcome.cleaned, now, KilobytesOf(outcome.freedBytes)});
  return FALSE;
}

void QuietSystemErrors(Platform& platform) {
  const UINT mode = platform.SetErrorMode(0);
  platform.SetErrorMode(mode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

int RunApplication(Platform& platform, CWinApp& app) {
  QuietSystemErrors(platform);
  if (!app.InitInstance()) return app.ExitInstance();
  return app.Run();
}

int ApplicationMain(Platform& platform) {
  // Whatever goes wrong (memory running out, say), the run ends as every run
  // does. Nothing is left half-done that the next run cannot finish: handles
  // close as the stack unwinds, and a folder marked for deletion goes then.
  try {
    CCleanupApp app(platform);
    RunApplication(platform, app);
  } catch (...) {
  }
  return 0;
}
