// The bytes a folder's tree holds, counted the way PurgeFolder walks it, so
// that the estimate counts what a purge would delete.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

// The full sizes (both halves) of every file in `folder`'s tree, summed in 64
// bits and stopping at UINT64_MAX. `folder` is used as given; a folder that
// cannot be listed, and an empty folder text, count 0. Nothing else counts:
// entries listed as reparse points (they are not followed), subfolders that
// are a link, a file or unreadable when asked again just before entering,
// entries whose path would need MAX_PATH characters or more, and with `guard`
// on the GUID-shaped folders directly inside `folder`. A failed FindNextFileA
// ends that folder's listing.
std::uint64_t GetFolderSize(Platform& platform, std::string_view folder, bool guard);

// The size of one entry that a listing gave as a folder, with the attributes
// the listing gave: 0 for a link, or when the entry is now a link, a file,
// missing or unreadable; otherwise GetFolderSize without the guard.
std::uint64_t GetFolderEntrySize(Platform& platform, std::string_view path, DWORD listedAttributes);
