#include "search/file_finder.h"

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

}  // namespace

CFileFinder::CFileFinder(Platform& platform, FindSpec spec)
    : m_platform(platform), m_spec(std::move(spec)) {}

void CFileFinder::Find() {
  Reset();
  Walk(m_spec.strFolder);
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
    m_results.push_back(FoundFile{data, folder});
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
