// Deletes what a folder holds, depth first, through handles
// (folders/folder_walk.h), leaving whatever cannot be deleted. What it acts on
// is, by construction, what it listed: no path is built inside the tree, so a
// user who renames or replaces an entry while the walk runs cannot steer it
// anywhere else, and no path length limits how deep it reaches (a bound on
// depth does: search/folder_listing.h).
#pragma once

#include <cstdint>
#include <string_view>

#include "folders/folder_walk.h"
#include "platform/platform.h"
#include "search/folder_listing.h"

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
//    (in use, an oplock held on it, ...) ends the walk of its folder, later
//    entries untouched; a subfolder is walked the same way and then removed
//    when it is still the folder walked and empty; a read-only subfolder,
//    which cannot be removed, and one kMaxWalkDepth levels down are passed
//    over whole;
//  - an entry listed as a reparse point is removed as itself, never entered;
//  - an entry whose own handle says it is not what the listing said (a
//    folder, a file or a link) is left alone, as one that could not be
//    deleted;
//  - with `guard` on, GUID-shaped folders directly inside `folder` are left
//    whole, folder links included; deeper levels are never guarded;
//  - a failed read of a listing ends that folder's walk; an empty folder text
//    does nothing.
void PurgeFolder(Platform& platform, std::string_view folder, bool guard);

// Empties the folder that `folder` holds (a handle with list rights) as
// PurgeFolder empties one, without ever removing it, under `rules`: what they
// keep stays (and does not end its folder's walk), a folder they keep is
// emptied but not removed, and with skipUndeletable a file or link that
// stays is passed over. For folders that other programs expect to exist, such
// as the temporary folder. The bytes of the files deleted.
std::uint64_t PurgeHeldFolder(Platform& platform, HANDLE folder, bool guard,
                              const folder_walk::CleaningRules& rules = {});

// Deletes one file or link that a listing of `folder` gave, through its own
// handle, as a purge deletes one; false when it stays.
bool DeleteListedFile(Platform& platform, HANDLE folder, const ListedEntry& entry);

// Removes one entry that a listing of `folder` gave as a folder: a link as
// itself; a real folder purged (no guard, no age rule, passing over what stays
// when `skipUndeletable`) and then removed, as a purge removes a subfolder.
// Nothing is done when the entry is now missing, unreadable or not what the
// listing said. Fits the hotfix backup folders, which may be links, and are
// removed whole whatever their age. The bytes of the files deleted.
std::uint64_t RemoveListedFolder(Platform& platform, HANDLE folder, const ListedEntry& entry,
                                 bool skipUndeletable = false);
