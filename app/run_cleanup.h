// The cleaning pass: compares the reclaimable space with the threshold and,
// when it is reached, deletes what the estimate counted.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Deletes, when the estimate reaches `limitMB` megabytes: the "*.tmp" files
// directly in the Windows directory, the temporary folder's contents (the
// folder itself and the GUID-shaped folders at its top stay) and the hotfix
// backup folders with their uninstall entries.
void RunCleanup(Platform& platform, DWORD limitMB);

// The threshold in kilobytes, reckoned in 64 bits so that a large Limit never
// wraps to a small one, and whether an estimate of `kilobytes` reaches it.
std::uint64_t ThresholdKB(DWORD limitMB);
bool ReachesThreshold(DWORD kilobytes, DWORD limitMB);
