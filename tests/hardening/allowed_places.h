// What a start of the cleaner may change on the in-memory machine, read from
// the machine before the start, and the two checks of a start against it:
// nothing outside those places changed, and what the pass may delete there is
// gone unless something stood in its way.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_platform.h"

// The places:
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
  // Reads the machine as it stands; its log is cleared afterwards.
  explicit AllowedPlaces(FakePlatform& before);

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
  bool InPlaces(const std::string& call, const std::string& path) const;
  std::string Violation(const FakePlatform::CallRecord& call) const;

  std::string windows_, temp_;  // folded, without a trailing backslash
  // Every entry below C:\ with its attributes, each folder before its contents.
  std::vector<std::pair<std::string, DWORD>> before_;
  std::set<std::string> links_;        // folded paths
  std::set<std::string> guidFolders_;  // folded paths, at the top of the temporary folder
  std::set<std::string> hotfixNames_;  // folded names of the "$" folders
};
