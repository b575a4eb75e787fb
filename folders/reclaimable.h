// How much space a cleaning would free: the figure the cleaning pass compares
// with its threshold before it deletes anything.
#pragma once

#include "platform/platform.h"

// Kilobytes (of 1024 bytes, remainder dropped) held by the "*.tmp" files
// directly in the Windows directory, the temporary folder's tree (GUID-shaped
// folders at its top left out) and the hotfix backup folders' trees. File
// sizes count in full and the result stops at 0xFFFFFFFF rather than wrap.
// Links are neither counted nor followed. A Windows directory or temporary
// folder that cannot be had, is empty or does not fit (50 and 150 bytes)
// counts 0, and then nothing is listed in its place.
DWORD GetReclaimableKB(Platform& platform);
