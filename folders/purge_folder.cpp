#include "folders/purge_folder.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "folders/folder_walk.h"

using folder_walk::AddSaturating;
using folder_walk::CleaningRules;
using folder_walk::CopyFolderPath;
using folder_walk::DeleteOnClose;
using folder_walk::FileIndexOf;
using folder_walk::IsFolder;
using folder_walk::kHoldShare;
using folder_walk::Kind;
using folder_walk::KindOf;
using folder_walk::OpenedEntry;
using folder_walk::OpenEntry;
using folder_walk::OpenFolder;
using folder_walk::OpenToDelete;

namespace {

// One folder the walk is inside: its handle (owned, unless the caller holds
// it) and its listing; and, for a folder to remove once its walk is done,
// where to find it again: the folder above (held meanwhile), its name there
// and what it is.
struct Level {
  Level(Platform& platform, HANDLE handle, ScopedFileHandle owner)
      : folder(handle), owned(std::move(owner)), listing(platform, handle) {}
  HANDLE folder;
  ScopedFileHandle owned;
  FolderListing listing;
  bool ended = false;
  bool removeAfter = false;
  HANDLE parent = nullptr;
  std::basic_string<WCHAR> name;
  std::int64_t index = 0;  // its file index: its folder is on its volume
};
using Levels = std::vector<std::unique_ptr<Level>>;

void Hold(Platform& platform, ScopedFileHandle folder, Levels& levels) {
  const HANDLE handle = folder.get();
  levels.push_back(std::make_unique<Level>(platform, handle, std::move(folder)));
}

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

// A subfolder is walked through a handle that asks no delete access, so that
// others' moves into it still work meanwhile, and removed after its walk. A
// read-only one, which cannot be removed, is left whole; so is one held by
// another program so that it cannot be listed.
void EnterSubfolder(Platform& platform, HANDLE folder, const ListedEntry& entry, bool remove,
                    Levels& levels) {
  OpenedEntry sub = OpenEntry(platform, folder, entry, FILE_LIST_DIRECTORY, kHoldShare);
  std::int64_t index = 0;
  if (!sub.handle || (sub.attributes & FILE_ATTRIBUTE_READONLY) != 0 ||
      !FileIndexOf(platform, sub.handle.get(), index)) {
    return;
  }
  Hold(platform, std::move(sub.handle), levels);
  Level& level = *levels.back();
  level.removeAfter = remove;
  level.parent = folder;
  level.name.assign(entry.name.begin(), entry.name.end());
  level.index = index;
}

// Once walked, the folder is opened again by its name with delete access,
// and goes when it is still the folder walked and is empty.
void RemoveWalked(Platform& platform, const Level& walked) {
  ScopedFileHandle again(platform);
  std::int64_t now = 0;
  if (NtSuccess(OpenRelative(platform, walked.parent, walked.name, DELETE, kHoldShare, 0, again)) &&
      FileIndexOf(platform, again.get(), now) && now == walked.index) {
    DeleteOnClose(platform, again.get());
  }
}

// Walks the levels until none is left: depth first, in listing order, each
// folder's walk ended by the first file or link that stays (unless the rules
// pass over it), what the rules keep left in place. The bytes of the files
// deleted.
std::uint64_t Walk(Platform& platform, Levels& levels, bool guard, const CleaningRules& rules) {
  std::uint64_t freed = 0;
  ListedEntry entry;
  while (!levels.empty()) {
    Level& level = *levels.back();
    if (level.ended || !level.listing.Next(entry)) {
      const std::unique_ptr<Level> done = std::move(levels.back());
      levels.pop_back();
      done->owned.reset();  // its hold would refuse the open with delete access
      if (done->removeAfter) RemoveWalked(platform, *done);
      continue;
    }
    // The guard spares folder links too.
    if (guard && levels.size() == 1 && IsFolder(entry.attributes) && IsGuidShapedName(entry.ansi)) {
      continue;
    }
    if (KindOf(entry.attributes) == Kind::kFolder) {
      if (levels.size() <= kMaxWalkDepth) {
        EnterSubfolder(platform, level.folder, entry, !rules.KeepsFolder(entry), levels);
      }
    } else if (rules.KeepsFile(entry)) {
      continue;
    } else if (DeleteListedFile(platform, level.folder, entry)) {
      if (KindOf(entry.attributes) == Kind::kFile) freed = AddSaturating(freed, entry.bytes);
    } else if (!rules.skipUndeletable) {
      level.ended = true;
    }
  }
  return freed;
}

// The folder at `path`, opened as itself and held: with delete access to
// remove it when it is empty, or, when another program holds it without
// delete sharing, to empty it alone.
void Purge(Platform& platform, const char* path, bool guard) {
  DWORD error = 0;
  ScopedFileHandle folder = OpenFolder(platform, path, DELETE, &error);
  Levels levels;
  if (folder) {
    if (DeleteOnClose(platform, folder.get()) == STATUS_DIRECTORY_NOT_EMPTY) {
      Hold(platform, std::move(folder), levels);
    }
  } else if (error == static_cast<DWORD>(ERROR_SHARING_VIOLATION)) {
    folder = OpenFolder(platform, path, 0);
    if (folder) Hold(platform, std::move(folder), levels);
  }
  Walk(platform, levels, guard, CleaningRules());
}

}  // namespace

void PurgeFolder(Platform& platform, std::string_view folder, bool guard) {
  char path[MAX_PATH];
  if (CopyFolderPath(path, folder)) Purge(platform, path, guard);
}

std::uint64_t PurgeHeldFolder(Platform& platform, HANDLE folder, bool guard,
                              const CleaningRules& rules) {
  if (folder == nullptr) return 0;
  Levels levels;
  levels.push_back(std::make_unique<Level>(platform, folder, ScopedFileHandle(platform)));
  return Walk(platform, levels, guard, rules);
}

// A file listed as plain and writable is opened for deletion as whatever is
// not a folder, and goes as itself (a link put in its place is removed, not
// followed); one listed read-only, and a link, must be on their own handles
// what the listing said: a read-only file is made writable only then.
bool DeleteListedFile(Platform& platform, HANDLE folder, const ListedEntry& entry) {
  if (KindOf(entry.attributes) == Kind::kFile &&
      (entry.attributes & FILE_ATTRIBUTE_READONLY) == 0) {
    return static_cast<bool>(OpenToDelete(platform, folder, entry, kHoldShare).handle);
  }
  OpenedEntry opened =
      OpenEntry(platform, folder, entry, DELETE | FILE_WRITE_ATTRIBUTES, kHoldShare);
  if (!opened.handle) return false;
  if (KindOf(opened.attributes) == Kind::kFile &&
      (opened.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    MakeWritable(platform, opened.handle.get(), opened.attributes);
  }
  return NtSuccess(DeleteOnClose(platform, opened.handle.get()));
}

std::uint64_t RemoveListedFolder(Platform& platform, HANDLE folder, const ListedEntry& entry,
                                 bool skipUndeletable) {
  if (KindOf(entry.attributes) == Kind::kLink) {
    const OpenedEntry link = OpenEntry(platform, folder, entry, DELETE, kHoldShare);
    if (link.handle) DeleteOnClose(platform, link.handle.get());
    return 0;
  }
  if (KindOf(entry.attributes) != Kind::kFolder) return 0;
  Levels levels;
  EnterSubfolder(platform, folder, entry, true, levels);
  CleaningRules rules;
  rules.skipUndeletable = skipUndeletable;
  return Walk(platform, levels, false, rules);
}
