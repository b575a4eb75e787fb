// A folder's entries read through a handle held on it, many at a time, each
// with the name the file system keeps (UTF-16) and the name the ANSI calls
// would give it; and an entry opened relative to that handle by its own name,
// as itself, without waiting on another program's oplock. What the walks and
// the file finder reach this way is the very entry the folder holds, whatever
// its path names meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/scoped_handle.h"

using WideName = std::basic_string_view<WCHAR>;

// No walk goes more than this many levels below the folder it was given:
// deeper subtrees are left whole and uncounted, so that a tree nested
// without end (relative creates know no path limit) costs a bounded number
// of handles and bounded memory.
constexpr std::size_t kMaxWalkDepth = 1024;

// One entry as a listing gave it; the views stay valid until the next entry.
struct ListedEntry {
  WideName name;          // as the file system keeps it
  std::string_view ansi;  // as FindFirstFileA would give it, for the GUID rule and patterns
  DWORD attributes = 0;
  std::uint64_t bytes = 0;
  // 100-nanosecond intervals since 1601 (UTC), as the file system keeps them.
  std::int64_t creationTime = 0, lastAccessTime = 0, lastWriteTime = 0;
};

// A folder's entries in listing order; "." and "..", and an entry whose ANSI
// name cannot be had, left out.
class FolderListing {
 public:
  FolderListing(Platform& platform, HANDLE folder);
  FolderListing(const FolderListing&) = delete;
  FolderListing& operator=(const FolderListing&) = delete;

  // The next entry; false after the last or when a read fails, which ends
  // the listing.
  bool Next(ListedEntry& entry);

 private:
  static constexpr ULONG kBufferSize = 4096;  // several entries a read; one per level of a walk
  Platform& platform_;
  HANDLE folder_;
  std::unique_ptr<unsigned char[]> buffer_;
  ULONG filled_ = 0;
  ULONG at_ = 0;
  bool started_ = false;
  bool ended_ = false;
  char ansi_[1024];  // a name of 255 UTF-16 units needs at most 510 bytes
};

// `name` in `folder` (a held handle) opened as itself (a link is not
// followed) with `access` (plus reading attributes), sharing `share`, and
// `options`. It never waits: when the open would break another program's
// oplock, the handle it got is closed again and the result is
// STATUS_SHARING_VIOLATION, as for an entry in use. (Opened with
// FILE_DELETE_ON_CLOSE, such an entry then goes when its holder, who shares
// delete access, lets go of it, as it would after DeleteFileA.)
NTSTATUS OpenRelative(Platform& platform, HANDLE folder, WideName name, ACCESS_MASK access,
                      ULONG share, ULONG options, ScopedFileHandle& opened);
