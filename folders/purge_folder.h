// Deletes what a folder holds, depth first, leaving whatever cannot be deleted.
// Links inside the folder are removed as links and never followed.
#pragma once

#include <string_view>

#include "platform/platform.h"

// Empties `folder`, which is used as given (it may itself be anything the
// caller chose), and removes it only when it is empty to begin with:
//  - RemoveDirectoryA on the folder first; when that fails for any reason but
//    ERROR_DIR_NOT_EMPTY or ERROR_SHARING_VIOLATION nothing inside is touched;
//  - then each entry in listing order: a file is deleted (a read-only one made
//    FILE_ATTRIBUTE_NORMAL first; hidden and system files as they are), and a
//    file that stays ends the walk of its folder, later entries untouched;
//    a subfolder is purged the same way and then removed;
//  - with `guard` on, GUID-shaped folders directly inside `folder` are left
//    whole, links included; deeper levels are never guarded;
//  - an entry listed as a reparse point is removed as a link (RemoveDirectoryA
//    for a folder link, DeleteFileA for a file link) and never entered; a
//    link that cannot be removed stays and the walk goes on. A subfolder is
//    asked for its attributes again just before the walk enters it and is
//    not entered when it has become a link, a file or unreadable;
//  - an entry whose path would need MAX_PATH characters or more is skipped,
//    and so is a folder whose listing pattern would; an empty folder text
//    does nothing;
//  - a failed FindNextFileA ends that folder's listing, whatever the error.
void PurgeFolder(Platform& platform, std::string_view folder, bool guard);

// Empties `folder` as PurgeFolder does, without first trying to remove it:
// the folder itself always stays, even when it is empty. For folders that
// other programs expect to exist, such as the temporary folder.
void PurgeFolderContents(Platform& platform, std::string_view folder, bool guard);

// Removes one entry that a listing gave as a folder, with the attributes the
// listing gave: a link is removed as a link; a real folder is purged (no
// guard) and then removed. Nothing is done when the entry is now missing,
// unreadable or a file. Fits the hotfix backup folders, which may be links.
void RemoveFolderEntry(Platform& platform, std::string_view path, DWORD listedAttributes);
