// What the Windows entry point runs: the whole program over a platform.
#pragma once

#include "platform/platform.h"

int ApplicationMain(Platform& platform);
