// Deletes what a folder holds, depth first, through handles
// (folders/folder_walk.h), leaving whatever cannot be deleted. What it acts on
// is, by construction, what it listed: no path is built inside the tree, so a
// user who renames or replaces an entry while the walk runs cannot steer it
// anywhere else, and no path length limits how deep it reaches.
#pragma once

#include <string_view>

#include "platform/platform.h"

// Empties `folder` (a path, used as given) and removes it only when it is
// empty to begin with:
//  - the folder is opened as itself (a link there is left alone) and held;
//    it goes at once when it is empty; when it is not, its entries are
//    walked; when it cannot go for another reason (read-only, say) nothing
//    inside is touched; held open by another program without delete
//    sharing, it is emptied and stays;
//  - each entry in listing order, opened relative to its folder as itself: a
//    file is deleted through its handle (a read-only one made writable first
//    when it has no other name, as its attributes would be its other names'
//    too; hidden and system files as they are); a file or link that stays
//    ends the walk of its folder, later entries untouched; a subfolder is
//    purged the same way and then removed, and passed over when it cannot be;
//  - an entry listed as a reparse point is removed as itself, never entered;
//  - an entry whose own handle says it is not what the listing said (a
//    folder, a file or a link) is left alone, as one that could not be
//    deleted;
//  - with `guard` on, GUID-shaped folders directly inside `folder` are left
//    whole, folder links included; deeper levels are never guarded;
//  - a failed read of a listing ends that folder's walk; an empty folder text
//    does nothing.
void PurgeFolder(Platform& platform, std::string_view folder, bool guard);

// Empties `folder` as PurgeFolder does, without ever removing it, even when
// it is empty. For folders that other programs expect to exist, such as the
// temporary folder.
void PurgeFolderContents(Platform& platform, std::string_view folder, bool guard);

// Removes one entry that a listing gave as a folder, with the attributes the
// listing gave: a link is removed as itself; a real folder is purged (no
// guard) and then removed. Nothing is done when the entry is now missing,
// unreadable or not what the listing said. Fits the hotfix backup folders,
// which may be links.
void RemoveFolderEntry(Platform& platform, std::string_view path, DWORD listedAttributes);
