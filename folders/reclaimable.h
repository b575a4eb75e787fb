// How much space a cleaning would free: the figure the cleaning pass compares
// with its threshold before it deletes anything, the terms it is made of, and
// the size of one folder's tree, walked the way a purge walks it, so that the
// estimate counts what a purge would delete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "folders/folder_walk.h"
#include "platform/platform.h"
#include "search/file_finder.h"
#include "search/folder_listing.h"

// One "*.tmp" file or hotfix backup folder that a cleaning pass would act on,
// under the full path the pass names it by.
struct CountedEntry {
  FoundFile found;          // the record the search gave
  std::string path;         // strFolder, a backslash and cFileName
  std::uint64_t bytes = 0;  // what the estimate counts for it (0 for a link or a kept file)
  bool kept = false;        // the age rule keeps it
};

// The estimate's three terms. Byte sums stop at UINT64_MAX rather than wrap.
struct ReclaimableTerms {
  // The "*.tmp" files directly in the Windows directory, in listing order.
  std::vector<CountedEntry> tmpFiles;
  std::uint64_t tmpFileBytes = 0;
  // The temporary folder's tree, GUID-shaped folders at its top left out.
  std::uint64_t tempFolderBytes = 0;
  // The hotfix backup folders, in listing order, each with its tree's size.
  std::vector<CountedEntry> hotfixFolders;
  std::uint64_t hotfixFolderBytes = 0;
};

// Lists and sizes the three terms, each place held while it is walked, as a
// cleaning under `rules` would delete them: files the age rule keeps are not
// counted (in the hotfix backup folders, which go whole, it keeps nothing).
// File sizes count in full. Links are neither counted nor followed. A Windows
// directory or temporary folder that cannot be had, opened, does not fit (50
// and 150 bytes) or is refused counts 0, and then nothing is listed in its
// place. `temp`, when given, stands for the temporary folder's text
// (folders/windows_places.h).
ReclaimableTerms GetReclaimableTerms(Platform& platform,
                                     const folder_walk::CleaningRules& rules = {},
                                     const std::string* temp = nullptr);

// The terms' sum in bytes, stopping at UINT64_MAX.
std::uint64_t TotalBytes(const ReclaimableTerms& terms);

// Kilobytes of 1024 bytes, remainder dropped, stopping at 0xFFFFFFFF rather
// than wrap.
DWORD KilobytesOf(std::uint64_t bytes);

// Kilobytes held by the "*.tmp" files directly in the Windows directory, the
// temporary folder's tree (GUID-shaped folders at its top left out) and the
// hotfix backup folders' trees: KilobytesOf(TotalBytes(GetReclaimableTerms)).
DWORD GetReclaimableKB(Platform& platform, const folder_walk::CleaningRules& rules = {});

// The bytes of every file in `folder`'s tree, summed in 64 bits and stopping
// at UINT64_MAX, walked as PurgeFolder walks it (folders/purge_folder.h):
// through handles, down to kMaxWalkDepth levels. `folder` is used as given; a
// folder that cannot be opened as a plain folder, and an empty folder text,
// count 0. Nothing else counts: links (they are not followed), subfolders
// that are not what their listing said, are read-only (a purge cannot remove
// them, so it leaves them whole) or lie deeper than the bound, and with
// `guard` on the GUID-shaped folders directly inside `folder`. A failed read
// of a listing ends that folder's count.
std::uint64_t GetFolderSize(Platform& platform, std::string_view folder, bool guard);

// The same for the folder that `folder` holds, files that `rules` keep left out.
std::uint64_t GetHeldFolderSize(Platform& platform, HANDLE folder, bool guard,
                                const folder_walk::CleaningRules& rules = {});

// The size of one entry a listing of `folder` (an open handle) gave, as a
// purge deletes it: a file's bytes, 0 for a link, a folder's tree without the
// guard (0 when it is read-only or now something else), its levels counted
// from `depth`, the entry's own depth below the folder the walk was given.
std::uint64_t GetListedEntrySize(Platform& platform, HANDLE folder, const ListedEntry& entry,
                                 std::size_t depth, const folder_walk::CleaningRules& rules = {});
