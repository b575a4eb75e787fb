// What the folder walks share. A walk reaches what it acts on through handles,
// never through a path that could change under it: the folder it is given is
// opened once, as itself, and held without delete sharing, so that nobody can
// rename, move or remove it meanwhile (others may still read it and move
// entries into it); its entries are listed through that handle
// (search/folder_listing.h), and each is opened relative to it, as itself,
// and asked what it is on its own handle. A link (junction, symbolic link,
// any reparse point) is never entered: a standard user can plant one in the
// temporary folder that leads to system files. Also here: the GUID-shaped
// names the walks spare, byte sums, and what makes two handles the same entry.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "platform/win32_types.h"
#include "search/folder_listing.h"

// True when `name` has "{" at position 0 and "-" at positions 9, 14 and 19.
// Nothing else is looked at (not the hex digits, the length beyond 20, the
// closing brace); a name shorter than 20 characters is never GUID-shaped.
bool IsGuidShapedName(std::string_view name);

namespace folder_walk {

inline bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
inline bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// What an entry is, by its attributes: any reparse point is a link.
enum class Kind { kFolder, kFile, kLink };
inline Kind KindOf(DWORD attributes) {
  if (IsLink(attributes)) return Kind::kLink;
  return IsFolder(attributes) ? Kind::kFolder : Kind::kFile;
}

// Byte counts stop at the largest value rather than wrap to a small one.
inline std::uint64_t AddSaturating(std::uint64_t a, std::uint64_t b) {
  return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}

// What a cleaning keeps and how it treats what it cannot delete. The defaults
// keep nothing and end a folder's walk at the first entry that stays.
struct CleaningRules {
  // File-time ticks (UTC): a file or link whose later of creation and
  // last-write times is after this is kept, and a folder created after it,
  // which is still walked, is not removed. INT64_MAX keeps nothing.
  std::int64_t keepAfter = INT64_MAX;
  // An entry that cannot be deleted is passed over and its folder's walk
  // goes on, rather than ending there.
  bool skipUndeletable = false;

  bool KeepsFile(const ListedEntry& entry) const {
    return std::max(entry.creationTime, entry.lastWriteTime) > keepAfter;
  }
  bool KeepsFolder(const ListedEntry& entry) const { return entry.creationTime > keepAfter; }
};

// The rules of a start whose clock reads `now` (file-time ticks; 0 when it
// could not be read, and then nothing is old enough), keeping what was
// touched less than `keepDays` days before (0: no age rule; past 36,500 days
// counts as 36,500). A time after `now` counts as recent.
CleaningRules RulesFor(std::int64_t now, DWORD keepDays, bool skipUndeletable);

// Folders the walks are inside are held sharing read and write but not
// delete: nobody renames, moves or removes them meanwhile, while others'
// moves into them (which open the folder for writing) still work. Files and
// links they delete, likewise.
constexpr ULONG kHoldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// ---- Handles ----

// A folder opened by `path` as itself (a link at its last part is not
// followed) with list, attribute-reading and `extraAccess` rights, held as
// kHoldShare says; empty unless its own handle says it is a plain folder.
// `error` gets CreateFileA's error when the open fails.
ScopedFileHandle OpenFolder(Platform& platform, const char* path, ACCESS_MASK extraAccess,
                            DWORD* error = nullptr);

// What names an entry on the machine, whatever its paths: its volume's serial
// number and its file index there. False when the handle cannot tell.
struct Identity {
  DWORD volume = 0, high = 0, low = 0;
  bool operator==(const Identity& other) const {
    return volume == other.volume && high == other.high && low == other.low;
  }
};
bool IdentityOf(Platform& platform, HANDLE handle, Identity& identity);

// An entry's file index alone, which tells two entries of one volume apart
// (FileInternalInformation: one cheap query). False when the handle cannot tell.
bool FileIndexOf(Platform& platform, HANDLE handle, std::int64_t& index);

// An entry of a listing opened relative to its folder's handle, as itself,
// with attribute-reading and `access` rights: the handle, and the attributes
// that handle gives, when it opens and is what the listing said it is (a
// folder, a file or a link); else an empty handle and the status. An entry
// on which another program holds an oplock counts as in use
// (STATUS_SHARING_VIOLATION).
struct OpenedEntry {
  ScopedFileHandle handle;
  NTSTATUS status = STATUS_SUCCESS;
  DWORD attributes = 0;
};
OpenedEntry OpenEntry(Platform& platform, HANDLE folder, const ListedEntry& entry,
                      ACCESS_MASK access, ULONG share);

// A listed file opened the same way for deletion when its handle closes
// (FILE_DELETE_ON_CLOSE), but only as something that is not a folder
// (FILE_NON_DIRECTORY_FILE: a folder, or a folder link, put in its place since
// the listing fails to open), without asking its handle more: whatever
// non-folder it is now goes as itself. It fails on a read-only file
// (STATUS_CANNOT_DELETE).
OpenedEntry OpenToDelete(Platform& platform, HANDLE folder, const ListedEntry& entry, ULONG share);

// Marks the entry for deletion when its last handle closes.
NTSTATUS DeleteOnClose(Platform& platform, HANDLE entry);

// ---- Folder texts ----

// Writes the parts one after another into `out`, zero-terminated. False, with
// `out` left empty, when the text would need more than N bytes or a part holds
// a zero byte (which would silently cut the path short).
template <std::size_t N>
bool ComposePath(char (&out)[N], std::initializer_list<std::string_view> parts) {
  out[0] = '\0';
  std::size_t length = 0;
  for (std::string_view part : parts) {
    if (part.find('\0') != std::string_view::npos) return false;
    length += part.size();
  }
  if (length >= N) return false;
  char* cursor = out;
  for (std::string_view part : parts) cursor += part.copy(cursor, part.size());
  *cursor = '\0';
  return true;
}

// The folder's text alone. An empty folder is refused: it would name the
// current folder.
template <std::size_t N>
bool CopyFolderPath(char (&out)[N], std::string_view folder) {
  if (folder.empty()) {
    out[0] = '\0';
    return false;
  }
  return ComposePath(out, {folder});
}

}  // namespace folder_walk
