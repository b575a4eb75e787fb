#include "preview/temp_folder_items.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "folders/entry_check.h"
#include "folders/folder_size.h"
#include "folders/guid_name.h"
#include "folders/path_buffer.h"
#include "folders/system_folders.h"
#include "platform/find_data.h"
#include "platform/scoped_handle.h"

using folder_walk::BuildEntryPath;
using folder_walk::IsFolder;
using folder_walk::IsLink;

namespace {

// The estimate walks the temporary folder by its text as fetched, trailing
// backslash included, and the purge by that text without it; each entry is
// sized under the estimate's path, so the items add up to its term exactly.
std::uint64_t CountedBytes(Platform& platform, std::string_view estimateFolder,
                           const WIN32_FIND_DATAA& entry, bool kept) {
  char path[MAX_PATH];
  if (kept || !BuildEntryPath(path, estimateFolder, EntryName(entry))) return 0;
  const DWORD attributes = entry.dwFileAttributes;
  if (!IsFolder(attributes)) return IsLink(attributes) ? 0 : folder_walk::EntryBytes(entry);
  return GetFolderEntrySize(platform, path, attributes);
}

PreviewEntryKind KindOf(DWORD attributes) {
  if (IsLink(attributes)) return PreviewEntryKind::kLink;
  return IsFolder(attributes) ? PreviewEntryKind::kFolder : PreviewEntryKind::kFile;
}

}  // namespace

void AddTempFolderItems(Platform& platform, std::vector<PreviewItem>& items) {
  char temp[folder_walk::kTempPathSize];
  const std::string_view estimateFolder = folder_walk::FetchTempPath(platform, temp);
  if (estimateFolder.empty()) return;
  std::string_view purgeFolder = estimateFolder;
  if (purgeFolder.back() == '\\') purgeFolder.remove_suffix(1);

  char pattern[MAX_PATH];
  if (!folder_walk::BuildSearchPattern(pattern, purgeFolder)) return;
  WIN32_FIND_DATAA entry = {};
  ScopedFindHandle listing(platform, platform.FindFirstFileA(pattern, &entry));
  if (!listing) return;
  do {
    const std::string_view name = EntryName(entry);
    char path[MAX_PATH];
    if (name.empty() || IsSelfOrParent(name) || !BuildEntryPath(path, purgeFolder, name)) {
      continue;
    }
    PreviewItem item;
    item.step = PreviewStep::kTempFolderEntry;
    item.kind = KindOf(entry.dwFileAttributes);
    // Only folders are spared for their names, links to folders included.
    const bool kept = IsFolder(entry.dwFileAttributes) && IsGuidShapedName(name);
    item.action = kept ? PreviewAction::kKeep : PreviewAction::kDelete;
    item.path = path;
    item.bytes = CountedBytes(platform, estimateFolder, entry, kept);
    items.push_back(std::move(item));
  } while (platform.FindNextFileA(listing.get(), &entry));
}
