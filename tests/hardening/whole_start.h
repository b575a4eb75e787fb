// One whole start of the cleaner on the in-memory machine, checked against the
// places it may change, and the sweep that reruns it on a fresh machine with
// something staged at each of its calls in turn (a failure, a race).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_platform.h"

// Builds a machine to start on, its log cleared.
using MachineBuilder = std::function<void(FakePlatform&)>;
// Run at the start of the call with this index, before the call looks at the
// machine: injects the call's failure or changes the machine.
using Stage = std::function<void(FakePlatform&, std::size_t index)>;

// Runs the program's start on `fake` (ApplicationMain), stopped past
// `callBudget` calls, with `stage` at each call. Returns what went wrong: it
// threw or did not end, did not return 0, left open a handle other than those
// whose closing failed, or made a change AllowedPlaces forbids; with
// `allGone`, also AllowedPlaces::Leftovers.
std::vector<std::string> RunWholeStart(FakePlatform& fake, std::size_t callBudget,
                                       const Stage& stage = nullptr, bool allGone = false);

// The stages to try at one call of the clean start, each with a description.
using StagesAt =
    std::function<std::vector<std::pair<std::string, Stage>>(const FakePlatform::CallRecord&)>;

// A clean start on a machine from `build`, then, for each of its calls and
// each stage `stagesAt` gives for it, a start on a fresh machine with that
// stage at that call, stopped past `callBudget` calls. Returns the number of runs; each failed run
// (a problem, or a stage that was not reached) is an ADD_FAILURE, the first 20 shown.
std::size_t SweepEachCall(const MachineBuilder& build, const StagesAt& stagesAt,
                          std::size_t callBudget);
