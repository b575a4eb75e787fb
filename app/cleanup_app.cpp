#include "app/cleanup_app.h"

#include "app/command_line.h"
#include "app/run_cleanup.h"
#include "app/run_gate.h"

BOOL CCleanupApp::InitInstance() {
  const CommandLine commandLine = ParseCommandLine(m_platform.GetCommandLineA());
  SYSTEMTIME now{};
  m_platform.GetLocalTime(&now);
  const GateDecision gate = PassRunGate(m_platform, FormatRunDate(now), commandLine.force);
  if (gate.run) RunCleanup(m_platform, gate.limitMB);
  return FALSE;
}
