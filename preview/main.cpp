// The preview's console entry point: the real Win32 platform, the process's
// own arguments and its standard streams.
#include <iostream>
#include <string>
#include <vector>

#include "platform/win32_platform.h"
#include "preview/preview_program.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  Win32Platform platform;
  return RunPreview(platform, args, std::cout, std::cerr);
}
