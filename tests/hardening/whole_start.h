// One whole start of the cleaner on the in-memory machine, checked against the
// places it may change, and the sweep that reruns it with something staged at
// each of its calls in turn (a failure, a race).
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/fake_platform.h"

// What a start may change, read from the machine before it:
//  - entries strictly inside the temporary folder, but for GUID-shaped
//    folders and folder links at its top and what they hold;
//  - files and file links directly in the Windows directory whose names end
//    in ".tmp" (lower case);
//  - "$" folders and folder links directly in the Windows directory, with
//    what they hold;
//  - never anything reached through a link, nor a link's attributes (setting
//    them acts on the target);
//  - in the registry, the settings key's values ExecuteDate and Limit, and
//    subkeys of the installed-software list named by part of a "$" folder's
//    name from a "KB" on (any letter case), at least three characters long.
class AllowedPlaces {
 public:
  explicit AllowedPlaces(FakePlatform& before);  // clears its log afterwards

  // The changing calls, failed or not, outside the places, and the entries
  // outside them that are gone or have other attributes now.
  std::vector<std::string> Violations(const FakePlatform& after) const;
  // Entries of the places still there although the pass could name them and
  // nothing stood in the way: no change failed on them (read-only is no
  // excuse for a file), on a folder above them (but for "not empty" and "in
  // use", after which a folder is still emptied), nor on a file before them
  // in their folder (which ends its walk).
  std::vector<std::string> Leftovers(const FakePlatform& after) const;

 private:
  DWORD Kind(const std::string& folded) const;  // attributes before, 0 when missing
  bool InPlaces(bool folder, const std::string& path) const;
  std::string Violation(const FakePlatform::CallRecord& call) const;

  std::string windows_, temp_;  // folded, without a trailing backslash
  // Every entry below C:\ with its attributes, each folder before its contents.
  std::vector<std::pair<std::string, DWORD>> before_;
  std::map<std::string, DWORD> kinds_;  // the same, by folded path
};

// Run at the start of the call with this index, before the call looks at the
// machine: injects the call's failure or changes the machine.
using Stage = std::function<void(FakePlatform&, std::size_t index)>;

// Runs the program's start on `fake` (ApplicationMain), stopped past
// `callBudget` calls, with `stage` at each call. Returns what went wrong: it
// threw or did not end, did not return 0, left open a handle other than those
// whose closing failed, or broke AllowedPlaces (with `allGone`, its Leftovers
// too).
std::vector<std::string> RunWholeStart(FakePlatform& fake, std::size_t callBudget,
                                       const Stage& stage = nullptr, bool allGone = false);

// A clean start on a machine from `build`, then, for each of its calls and
// each stage `stagesAt` gives for it, a start on a fresh machine with that
// stage at that call. Each run with a problem is an ADD_FAILURE, the first 20
// shown. Returns the runs made.
std::size_t SweepEachCall(
    const std::function<void(FakePlatform&)>& build,
    const std::function<std::vector<Stage>(const FakePlatform::CallRecord&)>& stagesAt,
    std::size_t callBudget);
