// The once-a-day gate: decides from the settings key whether today's start
// goes on to the cleaning pass, and stamps the day when it does.
#pragma once

#include <string>

#include "app/settings.h"
#include "platform/platform.h"

struct GateDecision {
  bool run = false;                 // the cleaning pass runs
  RunSettings settings;             // what the pass runs with
  DWORD limitMB = kDefaultLimitMB;  // settings.limitMB.value
};

// The local date as the gate stores it: "%d/%d/%d" of year, month and day,
// without leading zeros (2008/2/27).
std::string FormatRunDate(const SYSTEMTIME& date);

// Opens (or on the first run creates) the settings key, reads the settings
// (the policy key's first), and lets the run go on unless ExecuteDate already
// holds `today` and `force` is 0.
// When the run goes on, `today` is stored first, so the day counts as used
// whatever the pass then does. On a same-day start without force nothing is
// written.
GateDecision PassRunGate(Platform& platform, const std::string& today, int force);

// What PassRunGate would decide over the key as `settings` found it, for a
// start on `today` with `force`; nothing is read or written.
GateDecision PeekRunGate(const GateSettings& settings, const std::string& today, int force);
