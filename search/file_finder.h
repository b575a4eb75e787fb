// Lists the entries of a folder, and optionally of its subtree, that pass
// include and exclude pattern lists, keeping a whole copy of each accepted
// directory entry together with the folder it was found in. A folder is
// listed by its path, or through a handle held on it, so that each result
// also carries the entry's own name to open it by.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "search/folder_listing.h"

struct FindSpec {
  bool bRecursive = false;                      // descend into every accepted subfolder
  bool bReturnFolders = false;                  // accepted folders become results too
  const std::atomic<bool>* pbCancel = nullptr;  // when set and true, the walk stops
  std::string strFolder;                        // the folder to search
  std::string strIncludeFiles;                  // pattern list a file's name must match
  std::string strExcludeFiles;                  // pattern list a file's name must not match
  std::string strExcludeFolders;                // pattern list a folder's name must not match
};

struct FoundFile {
  WIN32_FIND_DATAA findData;  // the entry as the listing gave it (cFileName as in ANSI)
  std::string strFolder;      // the folder it was found in
  // The entry's own name as the file system keeps it, for a search of a held
  // folder; empty for a search by path.
  std::basic_string<WCHAR> strName;
};

// The entry a held folder's search found, as its listing gave it, to open
// relative to that folder. The views stay valid while `found` does.
ListedEntry ListedEntryOf(const FoundFile& found);

class CFileFinder {
 public:
  // Lists spec.strFolder by its path, or, when `heldFolder` is given, through
  // that handle (spec.strFolder then names it in the results); subfolders of
  // a held folder are opened relative to it, as themselves (a link is not
  // entered), and not more than kMaxWalkDepth levels down.
  CFileFinder(Platform& platform, FindSpec spec, HANDLE heldFolder = nullptr);

  // Replaces the results with those of a new walk of m_spec.strFolder.
  void Find();
  // Empties the results.
  void Reset();

  const FindSpec& Spec() const { return m_spec; }
  const std::vector<FoundFile>& Results() const { return m_results; }

 private:
  // Walks one folder, and its subtree when m_spec.bRecursive is set, in
  // listing order, a folder's own record after the results from inside it.
  void Walk(std::string folder);
  // Moves the folder's listing to its next entry other than "." and "..",
  // opening it when `handle` holds none. At the end of the listing, or on any
  // failure, the listing is closed and the result is false.
  bool NextEntry(ScopedFindHandle& handle, WIN32_FIND_DATAA& data, const std::string& folder);
  // Walk, through a held handle, `depth` levels below the top.
  void WalkHeld(HANDLE handle, const std::string& folder, std::size_t depth);
  // Folders: not matched by strExcludeFolders (the include list is not asked).
  // Files: matched by strIncludeFiles and not by strExcludeFiles.
  bool Accept(const WIN32_FIND_DATAA& data) const;
  bool Cancelled() const;

  Platform& m_platform;
  FindSpec m_spec;
  HANDLE m_heldFolder;
  std::vector<FoundFile> m_results;
};

// The folder, one backslash and the name; no backslash is added when the
// folder already ends in one or when either side is empty.
std::string JoinPath(std::string folder, std::string name);
