// A windowed program that does nothing: what starting any program costs, the
// yardstick for a start of sweepwell.exe that the daily gate ends at once.
#include "platform/win32_types.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
