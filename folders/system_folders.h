// The Windows directory and the temporary folder, fetched into the sizes the
// cleaner has always used. A fetch that fails, is empty or does not fit gives
// no text at all, so no caller ever walks a folder named by leftovers.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/platform.h"

namespace folder_walk {

constexpr std::size_t kWindowsDirectorySize = 50;
constexpr std::size_t kTempPathSize = 150;

// The Windows directory's text in `buffer`, or an empty view.
std::string_view FetchWindowsDirectory(Platform& platform, char (&buffer)[kWindowsDirectorySize]);
// The temporary folder's text in `buffer`, trailing backslash kept, or an
// empty view; a drive's root ("C:\") is refused too, as emptying it would
// empty the drive.
std::string_view FetchTempPath(Platform& platform, char (&buffer)[kTempPathSize]);

}  // namespace folder_walk
