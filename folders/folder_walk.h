// What the folder walks share. A walk reaches what it acts on through handles,
// never through a path that could change under it: the folder it is given is
// opened once, as itself, and held without delete or write sharing, so that
// nobody can rename, move or remove it meanwhile; its entries are listed
// through that handle in bulk, and each is opened relative to it, as itself,
// and asked what it is on its own handle. A link (junction, symbolic link, any
// reparse point) is never entered: a standard user can plant one in the
// temporary folder that leads to system files. Also here: the GUID-shaped
// names the walks spare, byte sums, and the fixed buffers the paths of the
// Windows directory's entries are built in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>

#include "platform/find_data.h"
#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "platform/win32_types.h"

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

// The full size of a file a FindFirstFileA listing gave, both halves.
inline std::uint64_t EntryBytes(const WIN32_FIND_DATAA& entry) {
  return (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

// Byte counts stop at the largest value rather than wrap to a small one.
inline std::uint64_t AddSaturating(std::uint64_t a, std::uint64_t b) {
  return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}

// ---- Handles ----

// A folder opened by `path` as itself (a link at its last part is not
// followed) with list, attribute-reading and `extraAccess` rights, held
// without delete or write sharing; empty unless its own handle says it is a
// plain folder. `error` gets CreateFileA's error when the open fails.
ScopedFileHandle OpenFolder(Platform& platform, const char* path, ACCESS_MASK extraAccess,
                            DWORD* error = nullptr);

// One entry as a listing gave it; the views stay valid until the next entry.
struct ListedEntry {
  std::basic_string_view<WCHAR> name;  // as the file system keeps it
  std::string_view ansi;  // as FindFirstFileA would give it, for the GUID rule and patterns
  DWORD attributes = 0;
  std::uint64_t bytes = 0;
};

// A folder's entries, read through its handle many at a time, in listing
// order; "." and "..", and an entry whose ANSI name cannot be had, left out.
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

// An entry of a listing opened relative to its folder's handle, as itself,
// with attribute-reading and `access` rights: the handle, and the attributes
// that handle gives, when it opens and is what the listing said it is (a
// folder, a file or a link); else an empty handle and the status.
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

// ---- Paths of the Windows directory's entries ----

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

// "folder\name", the path of one listed entry.
template <std::size_t N>
bool BuildEntryPath(char (&out)[N], std::string_view folder, std::string_view name) {
  if (folder.empty() || name.empty()) {
    out[0] = '\0';
    return false;
  }
  return ComposePath(out, {folder, "\\", name});
}

}  // namespace folder_walk
