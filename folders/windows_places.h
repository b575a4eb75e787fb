// The places in the Windows directory and the temporary folder that the
// cleaner works on: both folders fetched into the sizes the cleaner has always
// used and opened as themselves, the temporary folder refused where emptying
// it would harm the machine, the search for the "*.tmp" files directly in the
// Windows directory, and the hotfix backup folders, the folders directly in
// it whose names begin with "$". A fetch that fails, is empty or does not fit
// gives no text at all, so no caller ever walks a folder named by leftovers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "search/file_finder.h"

namespace folder_walk {

constexpr std::size_t kWindowsDirectorySize = 50;
constexpr std::size_t kTempPathSize = 150;

// The Windows directory's text in `buffer`, or an empty view.
std::string_view FetchWindowsDirectory(Platform& platform, char (&buffer)[kWindowsDirectorySize]);
// The temporary folder's text in `buffer`, trailing backslash kept, or an
// empty view when it cannot be had or is refused by its spelling: a drive's
// root in any spelling ("C:\", "\\?\C:\", "C:\..\"), any network path
// ("\\server\share\...", "\\?\UNC\...", "\\localhost\C$\..."), any ":" but
// the drive's (a stream: "C:\Windows::$INDEX_ALLOCATION"), a path that is not
// absolute, the Windows directory or any folder that holds it, the user's
// profile (USERPROFILE) or any folder that holds it.
std::string_view FetchTempPath(Platform& platform, char (&buffer)[kTempPathSize]);

// A place opened as itself and held, with the text it was opened by; an
// empty handle when it cannot be had, opened or is refused.
struct HeldPlace {
  ScopedFileHandle handle;
  std::string text;
  explicit operator bool() const { return static_cast<bool>(handle); }
};

// The Windows directory, held sharing read and write.
HeldPlace OpenWindowsDirectory(Platform& platform);

// The temporary folder (trailing backslash kept in the text), held the same
// way, when its spelling passes FetchTempPath and what it is, asked on its
// own handle, is none of the places that must never be emptied: a volume's
// root, the Windows directory or any folder above it, the profile or any
// folder above it. Those are compared by volume and file index, so that no
// spelling (a short name, a path through a junction) reaches them. `instead`,
// when given, stands for what GetTempPathA would give (another account's
// temporary folder), under the same checks.
HeldPlace OpenTempFolder(Platform& platform, const std::string* instead = nullptr);

}  // namespace folder_walk

// The search for the "*.tmp" files directly in the Windows directory, which
// the estimate counts and the cleaning pass deletes.
FindSpec WindowsTmpFilesSpec(std::string_view windowsDirectory);

// The "*.tmp" files directly in the held Windows directory, in listing
// order, each with its own name to open it by; none when it is not held.
std::vector<FoundFile> FindWindowsTmpFiles(Platform& platform,
                                           const folder_walk::HeldPlace& windows);

// The hotfix backup folders: appends to `list`, in listing order, a copy of
// the record of each folder directly in the held Windows directory whose
// name, as the ANSI listing gives it, begins with "$", its strFolder the
// Windows directory and its strName its own name. Nothing is appended when
// the Windows directory is not held.
//
// An entry that is a reparse point (findData.dwFileAttributes has
// FILE_ATTRIBUTE_REPARSE_POINT, a junction named "$..." say) stays in the
// list with its attributes, so that a cleaning pass can remove the link
// itself and its uninstall entry. It must never be purged through: hand it to
// RemoveListedFolder (folders/purge_folder.h), which removes it as itself.
void ListHotfixFolders(Platform& platform, const folder_walk::HeldPlace& windows,
                       std::vector<FoundFile>& list);
