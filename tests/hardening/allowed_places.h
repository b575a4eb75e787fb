// What a start of the cleaner may change on a fake machine, taken from the
// machine before the start; the check of calls and of changes against it.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "support/fake_platform.h"

// One file, folder or link on the fake's drive C:.
struct MachineEntry {
  std::string path;
  DWORD attributes = 0;  // as the fake reports them
  std::uint64_t size = 0;
};

// Every entry below C:\, each folder before its contents. Links are listed
// but never followed, so every path names the entry by its own place.
std::vector<MachineEntry> SnapshotMachine(const FakePlatform& fake);

// HKEY_LOCAL_MACHINE keys the cleaner writes to, as the fake's log names them.
extern const char kSettingsKeyTarget[];   // "HKLM\SOFTWARE\Brisca\Sweepwell"
extern const char kUninstallKeyTarget[];  // "HKLM\SOFTWARE\...\CurrentVersion\Uninstall"

// What may change:
//  - files, folders and links strictly inside the temporary folder;
//  - "*.tmp" files (lower-case ".tmp", links included) directly in the
//    Windows directory;
//  - whatever lies at or below a "$" folder or folder link directly in the
//    Windows directory;
//  - never anything reached through a link, and never the attributes of a
//    link (SetFileAttributesA acts on the link's target);
//  - in the registry, the settings key with its values ExecuteDate and Limit,
//    and subkeys of the installed-software list whose names start with "KB"
//    in any letter case.
class AllowedPlaces {
 public:
  // `windows` and `temp` name the folders as the machine holds them, the
  // temporary folder without a trailing backslash.
  AllowedPlaces(std::vector<MachineEntry> before, std::string windows, std::string temp);

  // Empty when the changing call stays within the places above, else why not.
  std::string Violation(const FakePlatform::CallRecord& call) const;
  // The same for a file-system call named by its name and target path.
  std::string FileViolation(const std::string& call, const std::string& target) const;
  // Differences between the machine before and `after` that no allowed call
  // could have made: entries gone or with other attributes outside the
  // allowed places, sizes changed, entries that appeared.
  std::vector<std::string> StateViolations(const std::vector<MachineEntry>& after) const;

  const std::vector<MachineEntry>& Before() const { return before_; }
  const std::vector<std::string>& Links() const { return links_; }

 private:
  const MachineEntry* Find(const std::string& foldedPath) const;
  std::string RegistryViolation(const FakePlatform::CallRecord& call) const;

  // Paths are kept letter-folded (FoldCase) where they are compared.
  std::vector<MachineEntry> before_;
  std::unordered_map<std::string, std::size_t> index_;  // folded path -> before_ index
  std::string windows_;
  std::string temp_;
  std::vector<std::string> links_;
  std::vector<std::string> foldedLinks_;
  std::vector<std::string> hotfixEntries_;  // "$" folders and folder links in windows_
};

// ASCII letters folded to upper case, as Win32 compares names.
std::string FoldCase(std::string text);
bool SameText(const std::string& a, const std::string& b);  // FoldCase(a) == FoldCase(b)
