#include "app/run_gate.h"

#include <cstdio>

std::string FormatRunDate(const SYSTEMTIME& date) {
  char text[20];
  std::snprintf(text, sizeof text, "%d/%d/%d", static_cast<int>(date.wYear),
                static_cast<int>(date.wMonth), static_cast<int>(date.wDay));
  return text;
}

GateDecision PassRunGate(Platform& platform, const std::string& today, int force) {
  GateDecision decision;
  ScopedRegKey key = OpenSettingsKey(platform);
  if (!key) {
    // First run: make the key with today's date and the default threshold. A
    // key that cannot be made leaves the next start a first run again.
    key = CreateSettingsKey(platform);
    if (key) {
      WriteExecuteDate(platform, key.get(), today);
      WriteLimit(platform, key.get(), kDefaultLimitMB);
    }
    decision.settings = ReadRunSettings(platform, key.get());
    decision.limitMB = decision.settings.limitMB.value;
    decision.run = true;
    return decision;
  }

  // A day that has seen a run ends here, having read nothing else.
  if (force == 0 && IsStoredDate(ReadStoredDate(platform, key.get()), today)) {
    decision.run = false;
    return decision;
  }
  WriteExecuteDate(platform, key.get(), today);
  decision.settings = ReadRunSettings(platform, key.get());
  decision.limitMB = decision.settings.limitMB.value;
  decision.run = true;
  return decision;
}

GateDecision PeekRunGate(const GateSettings& settings, const std::string& today, int force) {
  GateDecision decision;
  decision.run = true;  // a first run makes the key and goes on
  decision.settings = settings.run;
  decision.limitMB = settings.run.limitMB.value;
  if (!settings.keyExists) return decision;
  decision.run = force != 0 || !IsStoredDate(settings.date, today);
  return decision;
}
