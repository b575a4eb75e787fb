#include "folders/reclaimable.h"

#include <memory>
#include <string_view>
#include <utility>

#include "folders/folder_walk.h"
#include "folders/windows_places.h"
#include "platform/find_data.h"
#include "platform/scoped_handle.h"

using folder_walk::AddSaturating;
using folder_walk::CleaningRules;
using folder_walk::CopyFolderPath;
using folder_walk::HeldPlace;
using folder_walk::kHoldShare;
using folder_walk::Kind;
using folder_walk::KindOf;
using folder_walk::OpenEntry;
using folder_walk::OpenFolder;

namespace {

struct Level {
  Level(Platform& platform, HANDLE handle, ScopedFileHandle owner)
      : owned(std::move(owner)), listing(platform, handle), folder(handle) {}
  ScopedFileHandle owned;
  FolderListing listing;
  HANDLE folder;
};

// A purge walks into a subfolder only when it may remove it after: a
// read-only one it leaves whole.
bool PurgeEnters(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_READONLY) == 0; }

// The bytes of the files in the tree below the folder `top` holds, `depth`
// levels below the folder a purge is given, walked as a purge walks it: depth
// first, through handles, links neither counted nor entered, and with `guard`
// the GUID-shaped folders at the top left out.
std::uint64_t SizeOfTree(Platform& platform, HANDLE top, ScopedFileHandle owner, bool guard,
                         std::size_t depth, const CleaningRules& rules) {
  std::vector<std::unique_ptr<Level>> levels;
  if (top != nullptr) levels.push_back(std::make_unique<Level>(platform, top, std::move(owner)));
  std::uint64_t total = 0;
  ListedEntry entry;
  while (!levels.empty()) {
    Level& level = *levels.back();
    if (!level.listing.Next(entry)) {
      levels.pop_back();
      continue;
    }
    switch (KindOf(entry.attributes)) {
      case Kind::kFile:
        if (!rules.KeepsFile(entry)) total = AddSaturating(total, entry.bytes);
        break;
      case Kind::kLink:
        break;
      case Kind::kFolder:
        if (guard && levels.size() == 1 && IsGuidShapedName(entry.ansi)) break;
        if (!PurgeEnters(entry.attributes) || depth + levels.size() > kMaxWalkDepth) break;
        if (auto sub = OpenEntry(platform, level.folder, entry, FILE_LIST_DIRECTORY, kHoldShare);
            sub.handle) {
          const HANDLE handle = sub.handle.get();
          levels.push_back(std::make_unique<Level>(platform, handle, std::move(sub.handle)));
        }
        break;
    }
  }
  return total;
}

// What the cleaning pass does not need from the estimate, the entries behind
// the sums, is kept only for a caller that shows them.
enum class Entries { kKeep, kDrop };

std::string PathIn(const HeldPlace& folder, const FoundFile& found) {
  return folder.text + "\\" + std::string(EntryName(found.findData));
}

void CountTmpFiles(const HeldPlace& windows, const std::vector<FoundFile>& files,
                   const CleaningRules& rules, Entries entries, ReclaimableTerms& terms) {
  for (const FoundFile& file : files) {
    const ListedEntry entry = ListedEntryOf(file);
    const bool kept = rules.KeepsFile(entry);
    const std::uint64_t bytes = KindOf(entry.attributes) == Kind::kFile && !kept ? entry.bytes : 0;
    if (entries == Entries::kKeep) {
      terms.tmpFiles.push_back({file, PathIn(windows, file), bytes, kept});
    }
    terms.tmpFileBytes = AddSaturating(terms.tmpFileBytes, bytes);
  }
}

void CountHotfixFolders(Platform& platform, const HeldPlace& windows, Entries entries,
                        ReclaimableTerms& terms) {
  std::vector<FoundFile> folders;
  ListHotfixFolders(platform, windows, folders);
  for (const FoundFile& folder : folders) {
    const std::uint64_t bytes =
        GetListedEntrySize(platform, windows.handle.get(), ListedEntryOf(folder), 0, {});
    if (entries == Entries::kKeep) {
      terms.hotfixFolders.push_back({folder, PathIn(windows, folder), bytes});
    }
    terms.hotfixFolderBytes = AddSaturating(terms.hotfixFolderBytes, bytes);
  }
}

ReclaimableTerms SumTerms(Platform& platform, const CleaningRules& rules, Entries entries,
                          const std::string* tempText = nullptr) {
  ReclaimableTerms terms;
  const HeldPlace windows = folder_walk::OpenWindowsDirectory(platform);
  // The search's results are counted as soon as it ends, so that they are
  // gone before the long walk of the temporary folder.
  CountTmpFiles(windows, FindWindowsTmpFiles(platform, windows), rules, entries, terms);
  if (const HeldPlace temp = folder_walk::OpenTempFolder(platform, tempText)) {
    terms.tempFolderBytes = GetHeldFolderSize(platform, temp.handle.get(), true, rules);
  }
  CountHotfixFolders(platform, windows, entries, terms);
  return terms;
}

}  // namespace

ReclaimableTerms GetReclaimableTerms(Platform& platform, const CleaningRules& rules,
                                     const std::string* temp) {
  return SumTerms(platform, rules, Entries::kKeep, temp);
}

std::uint64_t TotalBytes(const ReclaimableTerms& terms) {
  return AddSaturating(AddSaturating(terms.tempFolderBytes, terms.tmpFileBytes),
                       terms.hotfixFolderBytes);
}

DWORD KilobytesOf(std::uint64_t bytes) {
  const std::uint64_t kilobytes = bytes / 1024;
  return kilobytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(kilobytes);
}

DWORD GetReclaimableKB(Platform& platform, const CleaningRules& rules) {
  return KilobytesOf(TotalBytes(SumTerms(platform, rules, Entries::kDrop)));
}

std::uint64_t GetFolderSize(Platform& platform, std::string_view folder, bool guard) {
  char path[MAX_PATH];
  if (!CopyFolderPath(path, folder)) return 0;
  ScopedFileHandle held = OpenFolder(platform, path, 0);
  if (!held) return 0;
  const HANDLE handle = held.get();
  return SizeOfTree(platform, handle, std::move(held), guard, 0, {});
}

std::uint64_t GetHeldFolderSize(Platform& platform, HANDLE folder, bool guard,
                                const CleaningRules& rules) {
  return SizeOfTree(platform, folder, ScopedFileHandle(platform), guard, 0, rules);
}

std::uint64_t GetListedEntrySize(Platform& platform, HANDLE folder, const ListedEntry& entry,
                                 std::size_t depth, const CleaningRules& rules) {
  switch (KindOf(entry.attributes)) {
    case Kind::kFile:
      return rules.KeepsFile(entry) ? 0 : entry.bytes;
    case Kind::kLink:
      return 0;
    case Kind::kFolder:
      break;
  }
  if (!PurgeEnters(entry.attributes) || depth > kMaxWalkDepth) return 0;
  auto sub = OpenEntry(platform, folder, entry, FILE_LIST_DIRECTORY, kHoldShare);
  if (!sub.handle) return 0;
  const HANDLE handle = sub.handle.get();
  return SizeOfTree(platform, handle, std::move(sub.handle), false, depth, rules);
}
