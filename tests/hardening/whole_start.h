// One whole start of the cleaner on a fake machine, under a ceiling on calls so
// that a start that would never end fails instead of hanging; and its checks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "hardening/allowed_places.h"
#include "support/fake_platform.h"

struct StartOutcome {
  int exitCode = -1;
  int initInstanceCalls = 0;
  BOOL initInstanceResult = TRUE;
  int exitInstanceCalls = 0;
  bool messageLoopRan = false;
  bool callBudgetExceeded = false;
  std::string exception;  // what escaped the start; empty when nothing did
};

// Runs `CCleanupApp app(fake); RunApplication(fake, app);` through a platform
// that stops the start, by throwing past it, at its `callBudget`-th call. The
// fake's log is not cleared first.
StartOutcome RunWholeStart(FakePlatform& fake, std::size_t callBudget);

struct StartExpectations {
  std::size_t openFindHandles = 0;  // left open only when their FindClose was made to fail
  std::size_t openRegKeys = 0;      // likewise for RegCloseKey
};

// Everything wrong with a start: it threw or ran past its budget, did not
// return 0 through InitInstance returning false, left a handle open, made a
// changing call outside the allowed places, or left the machine changed
// outside them. Empty when the start passed.
std::vector<std::string> StartProblems(const FakePlatform& fake, const StartOutcome& outcome,
                                       const AllowedPlaces& allowed,
                                       const StartExpectations& expected = {});
