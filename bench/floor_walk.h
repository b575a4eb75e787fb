// The least a cleaner of the temporary folder that works through handles must
// ask of the platform: one listing of each folder through its handle, summing
// its files' sizes, and one depth-first delete, each entry opened relative to
// its folder and marked for deletion; both leave the GUID-shaped folders at
// the top alone. No look at an entry's own handle, no removal tried before a
// folder is emptied, no ANSI names: the yardstick against which the cleaner's
// own estimate and purge are measured over the same Platform.
#pragma once

#include <cstdint>

#include "platform/platform.h"

std::uint64_t FloorFolderSize(Platform& platform, const char* folder, bool guard);
void FloorPurgeContents(Platform& platform, const char* folder, bool guard);
