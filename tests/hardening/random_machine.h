// Random machines drawn from a seed, the fake built from each, and what a
// forced start with Limit 0 must leave of it, worked out from the model alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/fake_platform.h"

// SplitMix64: the same numbers from the same seed on every compiler and
// library, which the standard distributions do not promise.
class SeededRandom {
 public:
  explicit SeededRandom(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next();
  // Uniform in [0, bound), bound > 0 (the modulo bias is irrelevant here).
  std::uint32_t Below(std::uint32_t bound);
  // Uniform in [low, high].
  std::uint32_t Between(std::uint32_t low, std::uint32_t high);
  bool Percent(std::uint32_t chance);  // true `chance` times in 100

 private:
  std::uint64_t state_;
};

struct ModelEntry {
  enum class Kind { kFile, kFolder, kFileLink, kFolderLink };

  Kind kind = Kind::kFile;
  std::string name;
  std::string path;
  std::size_t parent = 0;  // index in MachineModel::entries; the root has none
  DWORD attributes = 0;    // files and folders: as built; links: read-only or 0
  std::uint64_t size = 0;
  bool inUse = false;
  std::string linkTarget;
  std::vector<std::size_t> children;  // in listing order

  bool IsFolder() const { return kind == Kind::kFolder; }
  bool IsLink() const { return kind == Kind::kFileLink || kind == Kind::kFolderLink; }
  bool ReadOnly() const { return (attributes & FILE_ATTRIBUTE_READONLY) != 0; }
};

struct UninstallEntry {
  std::string name;
  bool hasSubkey = false;  // a key with subkeys cannot be deleted
};

struct MachineModel {
  std::uint64_t seed = 0;
  // entries[0] is C:\ itself; every other entry follows its parent.
  std::vector<ModelEntry> entries;
  std::size_t windows = 0;  // C:\Windows
  std::size_t temp = 0;     // the temporary folder
  std::string executeDate;  // empty: no ExecuteDate value
  std::vector<UninstallEntry> uninstall;
};

MachineModel GenerateMachine(std::uint64_t seed);

// A fake holding the model, with the settings key (Limit 0) and the command
// line of a forced start; its log cleared.
void BuildFake(const MachineModel& model, FakePlatform& fake);

struct ExpectedEnd {
  std::vector<bool> gone;           // per entry
  std::vector<bool> madeNormal;     // per entry: a read-only file left FILE_ATTRIBUTE_NORMAL
  std::vector<bool> uninstallGone;  // per uninstall entry
};

// What a forced start with Limit 0 removes, step by step as the cleaner
// works: the Windows directory's "*.tmp" files, the temporary folder's
// contents (GUID-shaped folders at its top kept), the "$" folders with their
// "KB" uninstall entries. A file that cannot be deleted ends its folder's
// walk; links are removed as links; paths of MAX_PATH or more are skipped.
ExpectedEnd ExpectAfterForcedStart(const MachineModel& model);

// The model's hotfix key rule: from the first "KB" (any case) to the end,
// without the last character; empty when there is no "KB", or when the name
// ends in it, as the key would then not begin with "KB".
std::string ModelHotfixKey(const std::string& folderName);
