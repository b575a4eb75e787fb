// A temporary folder's tree given by formulas rather than stored entry by
// entry, so that a benchmark can serve a million entries from a few bytes per
// folder and build the same tree in the in-memory fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

// Folder 0 is the top (the temporary folder). Folders are numbered breadth
// first; each holds up to kFilesPerFolder files and kSubfoldersPerFolder
// subfolders until the tree holds the asked number of entries, except the
// top, which holds kSubfoldersPerFolder subfolders for every kBranchEntries
// entries asked: a larger tree is wider, not deeper, so that the paths the
// walks build and resolve are as long at every size, and the cost per entry
// of two sizes compares the walks alone. The top also
// holds kGuardedFolders GUID-shaped folders of kGuardedFiles files each, which
// a guarded walk leaves alone and which are not counted as entries. Deeper,
// some leaf folders have GUID-shaped names too (walked like any other).
class SyntheticTree {
 public:
  static constexpr std::uint32_t kFilesPerFolder = 30;
  static constexpr std::uint32_t kSubfoldersPerFolder = 3;
  static constexpr std::uint64_t kBranchEntries = 100000;
  static constexpr std::uint32_t kGuardedFolders = 2;
  static constexpr std::uint32_t kGuardedFiles = 20;
  // Long enough for every name the tree makes.
  static constexpr std::size_t kNameSize = 64;
  using NameBuffer = char[kNameSize];

  explicit SyntheticTree(std::uint64_t entries);

  // Files and folders below the top that a guarded walk meets.
  std::uint64_t EntryCount() const { return entries_; }
  std::uint32_t FolderCount() const { return static_cast<std::uint32_t>(folders_.size()); }
  std::uint32_t FolderDepth() const { return depth_; }

  std::uint32_t FileCount(std::uint32_t folder) const { return folders_[folder].files; }
  std::uint32_t FirstChild(std::uint32_t folder) const { return folders_[folder].firstChild; }
  std::uint32_t ChildCount(std::uint32_t folder) const { return folders_[folder].children; }
  std::uint32_t Parent(std::uint32_t folder) const { return folders_[folder].parent; }
  bool IsGuarded(std::uint32_t folder) const { return folders_[folder].guarded; }

  std::string_view FolderName(std::uint32_t folder, NameBuffer& buffer) const;
  std::string_view FileName(std::uint32_t folder, std::uint32_t file, NameBuffer& buffer) const;
  std::uint64_t FileSize(std::uint32_t folder, std::uint32_t file) const;
  DWORD FileAttributes(std::uint32_t folder, std::uint32_t file) const;

  // The folder a name given by FolderName stands for; false for any other name.
  bool FolderIndex(std::string_view name, std::uint32_t& folder) const;

  // The bytes of every file a guarded walk meets.
  std::uint64_t TotalBytes() const;

 private:
  struct Folder {
    std::uint32_t files = 0;
    std::uint32_t firstChild = 0;
    std::uint32_t children = 0;
    std::uint32_t parent = 0;
    bool guarded = false;
    bool guidName = false;
  };
  std::vector<Folder> folders_;
  std::uint64_t entries_ = 0;
  std::uint32_t depth_ = 0;
};
