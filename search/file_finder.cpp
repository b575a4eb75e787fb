#include "search/file_finder.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/find_data.h"
#include "search/pattern_list.h"

namespace {

bool IsFolder(const WIN32_FIND_DATAA& data) {
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// JoinPath's rule on views: the one allocation of the result, of its exact
// size, and no copies of the parts on the way.
std::string Joined(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  if (name.empty()) return std::string(folder);
  const bool separator = folder.back() != '\\';
  std::string path;
  path.reserve(folder.size() + (separator ? 1 : 0) + name.size());
  path.append(folder);
  if (separator) path += '\\';
  path.append(name);
  return path;
}

// The record FindFirstFileA would give of a listed entry: the name as the
// ANSI calls give it, cut to fit as they cut it.
WIN32_FIND_DATAA FindDataOf(const ListedEntry& entry) {
  auto fileTime = [](std::int64_t ticks) {
    const auto bits = static_cast<std::uint64_t>(ticks);
    return FILETIME{static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
  };
  WIN32_FIND_DATAA data{};
  data.dwFileAttributes = entry.attributes;
  data.ftCreationTime = fileTime(entry.creationTime);
  data.ftLastAccessTime = fileTime(entry.lastAccessTime);
  data.ftLastWriteTime = fileTime(entry.lastWriteTime);
  data.nFileSizeHigh = static_cast<DWORD>(entry.bytes >> 32);
  data.nFileSizeLow = static_cast<DWORD>(entry.bytes);
  entry.ansi.copy(data.cFileName, sizeof(data.cFileName) - 1);
  return data;
}

}  // namespace

ListedEntry ListedEntryOf(const FoundFile& found) {
  ListedEntry entry;
  entry.name = found.strName;
  entry.ansi = EntryName(found.findData);
  entry.attributes = found.findData.dwFileAttributes;
  entry.bytes = (static_cast<std::uint64_t>(found.findData.nFileSizeHigh) << 32) |
                found.findData.nFileSizeLow;
  auto ticks = [](const FILETIME& t) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                     t.dwLowDateTime);
  };
  entry.creationTime = ticks(found.findData.ftCreationTime);
  entry.lastAccessTime = ticks(found.findData.ftLastAccessTime);
  entry.lastWriteTime = ticks(found.findData.ftLastWriteTime);
  return entry;
}

CFileFinder::CFileFinder(Platform& platform, FindSpec spec, HANDLE heldFolder)
    : m_platform(platform), m_spec(std::move(spec)), m_heldFolder(heldFolder) {}

void CFileFinder::Find() {
  Reset();
  if (m_heldFolder != nullptr) {
    WalkHeld(m_heldFolder, m_spec.strFolder, 0);
  } else {
    Walk(m_spec.strFolder);
  }
}

void CFileFinder::Reset() { m_results.clear(); }

void CFileFinder::Walk(std::string folder) {
  ScopedFindHandle handle(m_platform);
  WIN32_FIND_DATAA data{};
  while (NextEntry(handle, data, folder)) {
    // Read for every entry, so that a flag set during the walk of a subfolder
    // also ends the enclosing levels at their next entry.
    if (Cancelled()) return;  // `handle` closes the listing
    if (!Accept(data)) continue;
    const bool isFolder = IsFolder(data);
    if (isFolder && m_spec.bRecursive) Walk(Joined(folder, EntryName(data)));
    if (isFolder && !m_spec.bReturnFolders) continue;
    m_results.push_back(FoundFile{data, folder, {}});
  }
}

// The same walk through handles: each level is listed through its own, and
// a subfolder opened relative to its folder's.
void CFileFinder::WalkHeld(HANDLE handle, const std::string& folder, std::size_t depth) {
  // On the heap, as a thousand levels of the stack are all a thread may have.
  const auto listing = std::make_unique<FolderListing>(m_platform, handle);
  ListedEntry entry;
  while (listing->Next(entry)) {
    if (Cancelled()) return;
    const WIN32_FIND_DATAA data = FindDataOf(entry);
    if (!Accept(data)) continue;
    const bool isFolder = IsFolder(data);
    if (isFolder && m_spec.bRecursive && depth < kMaxWalkDepth) {
      ScopedFileHandle sub(m_platform);
      if (NtSuccess(OpenRelative(m_platform, handle, entry.name, FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, 0, sub))) {
        WalkHeld(sub.get(), Joined(folder, EntryName(data)), depth + 1);
      }
    }
    if (isFolder && !m_spec.bReturnFolders) continue;
    m_results.push_back(FoundFile{data, folder, std::basic_string<WCHAR>(entry.name)});
  }
}

bool CFileFinder::NextEntry(ScopedFindHandle& handle, WIN32_FIND_DATAA& data,
                            const std::string& folder) {
  bool more;
  if (!handle) {
    // Every entry is listed; which ones become results is for Accept alone.
    handle.reset(m_platform.FindFirstFileA(Joined(folder, "*").c_str(), &data));
    more = static_cast<bool>(handle);
  } else {
    more = m_platform.FindNextFileA(handle.get(), &data) != FALSE;
  }
  while (more) {
    if (!IsSelfOrParent(EntryName(data))) return true;
    more = m_platform.FindNextFileA(handle.get(), &data) != FALSE;
  }
  // The end of the listing and any failure alike end this folder.
  handle.reset();
  return false;
}

// Runs for every entry of every folder walked: the name and the lists are
// tested where they lie, without copies.
bool CFileFinder::Accept(const WIN32_FIND_DATAA& data) const {
  const std::string_view name = EntryName(data);
  if (IsFolder(data)) return !MatchPatternListView(name, m_spec.strExcludeFolders);
  return MatchPatternListView(name, m_spec.strIncludeFiles) &&
         !MatchPatternListView(name, m_spec.strExcludeFiles);
}

bool CFileFinder::Cancelled() const {
  return m_spec.pbCancel != nullptr && m_spec.pbCancel->load();
}

std::string JoinPath(std::string folder, std::string name) { return Joined(folder, name); }
