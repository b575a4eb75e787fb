#include "folders/purge_folder.h"

#include <memory>
#include <utility>
#include <vector>

#include "folders/folder_walk.h"

using folder_walk::CopyFolderPath;
using folder_walk::DeleteOnClose;
using folder_walk::FolderListing;
using folder_walk::IsFolder;
using folder_walk::Kind;
using folder_walk::KindOf;
using folder_walk::ListedEntry;
using folder_walk::OpenedEntry;
using folder_walk::OpenEntry;
using folder_walk::OpenFolder;
using folder_walk::OpenToDelete;

namespace {

// Folders the walk is inside are held without delete or write sharing, so
// that nobody renames, moves or removes them meanwhile; files and links it
// deletes, without delete sharing.
constexpr ULONG kHoldFolder = FILE_SHARE_READ;
constexpr ULONG kHoldFile = FILE_SHARE_READ | FILE_SHARE_WRITE;

// One folder the walk is inside: its handle, its listing, and whether it goes
// once its walk is done.
struct Level {
  Level(Platform& platform, ScopedFileHandle handle, bool remove)
      : folder(std::move(handle)), listing(platform, folder.get()), removeAfter(remove) {}
  ScopedFileHandle folder;
  FolderListing listing;
  bool removeAfter;
  bool ended = false;
};
using Levels = std::vector<std::unique_ptr<Level>>;

// Clears the read-only bit of a plain file with one name: the attributes of
// a file with more names belong to its other places too.
void MakeWritable(Platform& platform, HANDLE file, DWORD attributes) {
  FILE_STANDARD_INFORMATION standard{};
  IO_STATUS_BLOCK io{};
  if (!NtSuccess(platform.NtQueryInformationFile(file, &io, &standard, sizeof(standard),
                                                 FileStandardInformation)) ||
      standard.NumberOfLinks != 1) {
    return;
  }
  FILE_BASIC_INFORMATION basic{};  // times of 0 stay as they are
  basic.FileAttributes = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  platform.NtSetInformationFile(file, &io, &basic, sizeof(basic), FileBasicInformation);
}

// A file or a link, deleted through its own handle; false when it stays. A
// file listed as plain and writable is opened for deletion on close as
// whatever is not a folder, and goes as itself (a link put in its place is
// removed, not followed); one listed read-only, and a link, must be on their
// own handles what the listing said: a read-only file is made writable only
// then.
bool DeleteEntry(Platform& platform, HANDLE folder, const ListedEntry& entry) {
  if (KindOf(entry.attributes) == Kind::kFile &&
      (entry.attributes & FILE_ATTRIBUTE_READONLY) == 0) {
    return static_cast<bool>(OpenToDelete(platform, folder, entry, kHoldFile).handle);
  }
  OpenedEntry opened =
      OpenEntry(platform, folder, entry, DELETE | FILE_WRITE_ATTRIBUTES, kHoldFile);
  if (!opened.handle) return false;
  if (KindOf(opened.attributes) == Kind::kFile &&
      (opened.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    MakeWritable(platform, opened.handle.get(), opened.attributes);
  }
  return NtSuccess(DeleteOnClose(platform, opened.handle.get()));
}

// A folder entered by its handle `folder` (which may delete it): it goes at
// once when it is empty; when it is not, its walk is added to `levels`, and it
// goes after (`remove`). Anything else leaves it whole.
void Enter(Platform& platform, ScopedFileHandle folder, bool remove, Levels& levels) {
  const NTSTATUS status = DeleteOnClose(platform, folder.get());
  if (status == STATUS_DIRECTORY_NOT_EMPTY) {
    levels.push_back(std::make_unique<Level>(platform, std::move(folder), remove));
  }
}

// A subfolder held open by another program without delete sharing cannot go,
// but is emptied through a handle that asks no delete access.
void EnterSubfolder(Platform& platform, HANDLE folder, const ListedEntry& entry, Levels& levels) {
  OpenedEntry sub = OpenEntry(platform, folder, entry, DELETE | FILE_LIST_DIRECTORY, kHoldFolder);
  if (sub.handle) return Enter(platform, std::move(sub.handle), true, levels);
  if (sub.status != STATUS_SHARING_VIOLATION) return;
  sub = OpenEntry(platform, folder, entry, FILE_LIST_DIRECTORY, kHoldFolder);
  if (sub.handle) levels.push_back(std::make_unique<Level>(platform, std::move(sub.handle), false));
}

// Walks the levels until none is left: depth first, in listing order, each
// folder's walk ended by the first file or link that stays.
void Walk(Platform& platform, Levels& levels, bool guard) {
  ListedEntry entry;
  while (!levels.empty()) {
    Level& level = *levels.back();
    if (level.ended || !level.listing.Next(entry)) {
      if (level.removeAfter) DeleteOnClose(platform, level.folder.get());
      levels.pop_back();  // closes the folder, which then goes if it was marked
      continue;
    }
    // The guard spares folder links too.
    if (guard && levels.size() == 1 && IsFolder(entry.attributes) && IsGuidShapedName(entry.ansi)) {
      continue;
    }
    if (KindOf(entry.attributes) == Kind::kFolder) {
      EnterSubfolder(platform, level.folder.get(), entry, levels);
    } else if (!DeleteEntry(platform, level.folder.get(), entry)) {
      level.ended = true;
    }
  }
}

// The folder at `path`, opened as itself and held: with delete access to
// remove it, or, when another program holds it without delete sharing, to
// empty it alone.
void Purge(Platform& platform, const char* path, bool guard, bool remove) {
  DWORD error = 0;
  ScopedFileHandle folder = OpenFolder(platform, path, DELETE, &error);
  Levels levels;
  if (folder) {
    Enter(platform, std::move(folder), remove, levels);
  } else if (error == static_cast<DWORD>(ERROR_SHARING_VIOLATION)) {
    folder = OpenFolder(platform, path, 0);
    if (folder) levels.push_back(std::make_unique<Level>(platform, std::move(folder), false));
  }
  Walk(platform, levels, guard);
}

}  // namespace

void PurgeFolder(Platform& platform, std::string_view folder, bool guard) {
  char path[MAX_PATH];
  if (CopyFolderPath(path, folder)) Purge(platform, path, guard, false);
}

void PurgeFolderContents(Platform& platform, std::string_view folder, bool guard) {
  char path[MAX_PATH];
  if (!CopyFolderPath(path, folder)) return;
  ScopedFileHandle top = OpenFolder(platform, path, 0);
  if (!top) return;
  Levels levels;
  levels.push_back(std::make_unique<Level>(platform, std::move(top), false));
  Walk(platform, levels, guard);
}

void RemoveFolderEntry(Platform& platform, std::string_view path, DWORD listedAttributes) {
  char entryPath[MAX_PATH];
  if (!CopyFolderPath(entryPath, path)) return;
  if (!folder_walk::IsLink(listedAttributes)) {
    if (IsFolder(listedAttributes)) Purge(platform, entryPath, false, true);
    return;
  }
  // A link goes as itself, if it still is one.
  ScopedFileHandle link(
      platform,
      platform.CreateFileA(entryPath, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kHoldFile,
                           nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  FILE_BASIC_INFORMATION basic{};
  IO_STATUS_BLOCK io{};
  if (link &&
      NtSuccess(platform.NtQueryInformationFile(link.get(), &io, &basic, sizeof(basic),
                                                FileBasicInformation)) &&
      KindOf(basic.FileAttributes) == Kind::kLink) {
    DeleteOnClose(platform, link.get());
  }
}
