// Windows XP's kernel32 lacks GetTickCount64, which the static MinGW-w64 thread
// library imports to time its waits; the 32-bit build links this stand-in into
// its import slot, so that the programs still load on XP.
#include "platform/win32_types.h"

namespace {

// Milliseconds of the performance counter, which every release since Windows
// 2000 has. Callers only subtract two readings, so the origin does not matter.
ULONGLONG WINAPI TickCount64() {
  LARGE_INTEGER count;
  LARGE_INTEGER frequency;
  if (!::QueryPerformanceFrequency(&frequency) || !::QueryPerformanceCounter(&count) ||
      frequency.QuadPart <= 0) {
    return ::GetTickCount();
  }
  const auto ticks = static_cast<ULONGLONG>(count.QuadPart);
  const auto per_second = static_cast<ULONGLONG>(frequency.QuadPart);
  return ticks / per_second * 1000 + ticks % per_second * 1000 / per_second;
}

}  // namespace

// The symbol the linker would otherwise take from kernel32's import library.
extern "C" {
extern ULONGLONG(WINAPI* const tick_count64_import)() __asm__("__imp__GetTickCount64@0");
ULONGLONG(WINAPI* const tick_count64_import)() = TickCount64;
}
