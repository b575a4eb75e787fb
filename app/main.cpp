// The windowed program's entry point: hands the real Win32 platform to the
// application. No window is created.
#include "app/cleanup_app.h"
#include "platform/win32_platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Win32Platform platform;
  return ApplicationMain(platform);
}
