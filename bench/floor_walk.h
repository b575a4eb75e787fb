// The least a cleaner of the temporary folder must ask of the platform: one
// listing of each folder summing its files' sizes, and one depth-first delete,
// both leaving the GUID-shaped folders at the top alone. No link checks, no
// removal attempt before a folder is emptied: the yardstick against which the
// cleaner's own estimate and purge are measured over the same Platform.
#pragma once

#include <cstdint>

#include "platform/platform.h"

std::uint64_t FloorFolderSize(Platform& platform, const char* folder, bool guard);
void FloorPurgeContents(Platform& platform, const char* folder, bool guard);
