// How much space a cleaning would free: the figure the cleaning pass compares
// with its threshold before it deletes anything, the terms it is made of, and
// the size of one folder's tree, walked the way a purge walks it, so that the
// estimate counts what a purge would delete.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "folders/folder_walk.h"
#include "platform/platform.h"
#include "search/file_finder.h"

// One "*.tmp" file or hotfix backup folder that a cleaning pass would act on,
// under the full path the pass names it by.
struct CountedEntry {
  FoundFile found;          // the record the search gave
  std::string path;         // strFolder, a backslash and cFileName
  std::uint64_t bytes = 0;  // what the estimate counts for it (0 for a link)
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

// Lists and sizes the three terms. File sizes count in full. Links are
// neither counted nor followed. A Windows directory or temporary folder that
// cannot be had, is empty or does not fit (50 and 150 bytes) counts 0, and
// then nothing is listed in its place. Entries whose full path the pass could
// not build (MAX_PATH for a file, 150 bytes for a hotfix folder) are left out.
ReclaimableTerms GetReclaimableTerms(Platform& platform);

// The terms' sum in bytes, stopping at UINT64_MAX.
std::uint64_t TotalBytes(const ReclaimableTerms& terms);

// Kilobytes of 1024 bytes, remainder dropped, stopping at 0xFFFFFFFF rather
// than wrap.
DWORD KilobytesOf(std::uint64_t bytes);

// Kilobytes held by the "*.tmp" files directly in the Windows directory, the
// temporary folder's tree (GUID-shaped folders at its top left out) and the
// hotfix backup folders' trees: KilobytesOf(TotalBytes(GetReclaimableTerms)).
DWORD GetReclaimableKB(Platform& platform);

// The bytes of every file in `folder`'s tree, summed in 64 bits and stopping
// at UINT64_MAX, walked as PurgeFolderContents walks it
// (folders/purge_folder.h): through handles, at any depth. `folder` is used
// as given; a folder that cannot be opened as a plain folder, and an empty
// folder text, count 0. Nothing else counts: links (they are not followed),
// subfolders that are not what their listing said or are read-only (a purge
// cannot remove them, so it leaves them whole), and with `guard` on the
// GUID-shaped folders directly inside `folder`. A failed read of a listing
// ends that folder's count.
std::uint64_t GetFolderSize(Platform& platform, std::string_view folder, bool guard);

// The size of one entry that a listing gave as a folder, with the attributes
// the listing gave, counted as RemoveFolderEntry purges it: 0 for a link, or
// when the entry is now a link, a file, missing, unreadable or read-only;
// otherwise its tree without the guard.
std::uint64_t GetFolderEntrySize(Platform& platform, std::string_view path, DWORD listedAttributes);

// The size of one entry a listing of `folder` (an open handle) gave: a file's
// bytes, 0 for a link, a folder's tree counted as GetFolderEntrySize counts it.
std::uint64_t GetListedEntrySize(Platform& platform, HANDLE folder,
                                 const folder_walk::ListedEntry& entry);
