// The cleaning pass: compares the reclaimable space with the threshold and,
// when it is reached, deletes what the estimate counted.
#pragma once

#include "platform/platform.h"

void RunCleanup(Platform& platform, DWORD limitMB);
