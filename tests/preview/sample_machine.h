// A sample machine for the preview tests: everything a cleaning pass acts on,
// next to everything it must leave, on the in-memory fake.
#pragma once

#include <string>

#include "support/fake_platform.h"

namespace sample {

extern const char kWindows[];   // C:\Windows
extern const char kTemp[];      // the temporary folder, without its trailing backslash
extern const char kKeptGuid[];  // a GUID-shaped folder at the top of the temporary folder
extern const char kOddName[];   // a temporary file whose name holds commas and quotes

// *.tmp files (one read-only, one with a comma in its name) and look-alikes
// in the Windows directory; files, nested folders, an empty folder, a folder
// link, a GUID-shaped folder and an oddly named file in the temporary folder;
// hotfix backup folders with and without "KB" and uninstall entries, one of
// them a link; the settings key with yesterday's date and Limit 20. The
// fake's date is 2026/12/6 and its log is cleared.
void Build(FakePlatform& fake);

// The uninstall entry's key under HKEY_LOCAL_MACHINE for `name`.
std::string UninstallKey(const std::string& name);

}  // namespace sample
