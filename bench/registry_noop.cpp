// A windowed program that does nothing but has the registry's DLL (ADVAPI32,
// with what it brings along) loaded at its start, as every start of
// sweepwell.exe must to read its settings: what of a gated start's cost is the
// loading of those DLLs rather than sweepwell.exe's own work.
#include "platform/win32_types.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Never true; the call keeps the import, so the loader maps the DLL.
  if (GetCommandLineA() == nullptr) RegCloseKey(HKEY_CURRENT_USER);
  return 0;
}
