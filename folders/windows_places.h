// The places in the Windows directory and the temporary folder that the
// cleaner works on: both folders fetched into the sizes the cleaner has always
// used, the search for the "*.tmp" files directly in the Windows directory,
// and the hotfix backup folders, the folders directly in it whose names begin
// with "$". A fetch that fails, is empty or does not fit gives no text at all,
// so no caller ever walks a folder named by leftovers.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "search/file_finder.h"

namespace folder_walk {

constexpr std::size_t kWindowsDirectorySize = 50;
constexpr std::size_t kTempPathSize = 150;

// The Windows directory's text in `buffer`, or an empty view.
std::string_view FetchWindowsDirectory(Platform& platform, char (&buffer)[kWindowsDirectorySize]);
// The temporary folder's text in `buffer`, trailing backslash kept, or an
// empty view. Refused too, as the pass would empty them: a drive's root in any
// spelling ("C:\", "\\?\C:\", "\\server\share\", ...), the Windows
// directory or any folder that holds it, the user's profile (USERPROFILE) or
// any folder that holds it, and a path that is not absolute.
std::string_view FetchTempPath(Platform& platform, char (&buffer)[kTempPathSize]);

}  // namespace folder_walk

// The search for the "*.tmp" files directly in the Windows directory, which
// the estimate counts and the cleaning pass deletes.
FindSpec WindowsTmpFilesSpec(std::string_view windowsDirectory);

// The hotfix backup folders: appends to `list`, in listing order, a copy of
// the record of each folder directly in the Windows directory whose name
// begins with "$", its strFolder the Windows directory. Nothing is listed, and
// nothing appended, when the Windows directory cannot be had or does not fit
// in 50 bytes.
//
// An entry that is a reparse point (findData.dwFileAttributes has
// FILE_ATTRIBUTE_REPARSE_POINT, a junction named "$..." say) stays in the
// list with its attributes, so that a cleaning pass can remove the link
// itself and its uninstall entry. It must never be purged through: hand it to
// RemoveFolderEntry (folders/purge_folder.h), which removes it as itself;
// GetFolderEntrySize counts it as 0.
void ListHotfixFolders(Platform& platform, std::vector<FoundFile>& list);
