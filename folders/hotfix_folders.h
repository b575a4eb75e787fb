// Finds the hotfix backup folders: the folders directly in the Windows
// directory whose names begin with "$".
#pragma once

#include <vector>

#include "platform/platform.h"
#include "search/file_finder.h"

// Appends to `list`, in listing order, a copy of each such folder's record,
// its strFolder the Windows directory. Nothing is listed, and nothing
// appended, when the Windows directory cannot be had or does not fit in 50
// bytes.
//
// An entry that is a reparse point (findData.dwFileAttributes has
// FILE_ATTRIBUTE_REPARSE_POINT, a junction named "$..." say) stays in the
// list with its attributes, so that a cleaning pass can remove the link
// itself and its uninstall entry. It must never be purged through: hand it to
// RemoveFolderEntry (folders/purge_folder.h) or remove it with
// RemoveDirectoryA alone; GetFolderEntrySize counts it as 0.
void ListHotfixFolders(Platform& platform, std::vector<FoundFile>& list);
