#include "hardening/random_machine.h"

#include <algorithm>
#include <set>
#include <utility>

#include "hardening/allowed_places.h"

namespace {

using Kind = ModelEntry::Kind;

// Every byte Windows allows in a name but "\", "/", ":", "*", "?", '"', "<",
// ">" and "|"; "%" is there so that a name passed as a format would show.
const char kNameBytes[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-~ .,;=+[]!#%@^&'(){}$";
const char kHexDigits[] = "0123456789ABCDEF";
const char kSettings[] = "SOFTWARE\\Brisca\\Sweepwell";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Where an entry stands decides which names are likely there.
enum class Area { kWindowsTop, kInside, kProtected };

template <std::size_t N>
const char* Pick(SeededRandom& random, const char* const (&choices)[N]) {
  return choices[random.Below(static_cast<std::uint32_t>(N))];
}

class Generator {
 public:
  explicit Generator(std::uint64_t seed) : random_(seed) { model_.seed = seed; }

  MachineModel Make();

 private:
  std::size_t Add(std::size_t parent, const std::string& name, Kind kind);
  std::size_t EnsureFolder(std::size_t parent, const std::string& name);
  // A name not yet used in `parent` (letters folded), or empty after a few tries.
  template <typename MakeName>
  std::string FreshName(std::size_t parent, MakeName make);

  std::string Text(std::size_t length);
  std::string Digits(std::uint32_t low, std::uint32_t high);
  std::string TmpName();
  std::string DollarName();
  std::string GuidName();
  std::string KbName();
  std::string LongName(std::size_t parent);
  std::string NameFor(std::size_t parent, Area area, bool folder);

  void AddFile(std::size_t parent, Area area);
  std::size_t AddFolder(std::size_t parent, Area area);
  void AddLink(std::size_t parent, bool folder);
  void AddLongChain(std::size_t parent);
  void Fill(std::size_t folder, int depth, Area area, std::uint32_t count);
  void AddUninstallEntries();

  SeededRandom random_;
  MachineModel model_;
  std::vector<std::set<std::string>> taken_;  // folded names per entry
  std::vector<std::string> protectedFolders_;
  std::vector<std::string> protectedFiles_;
  std::size_t system32_ = 0;
};

std::size_t Generator::Add(std::size_t parent, const std::string& name, Kind kind) {
  ModelEntry entry;
  entry.kind = kind;
  entry.name = name;
  entry.parent = parent;
  entry.path = model_.entries[parent].path + "\\" + name;
  model_.entries.push_back(entry);
  taken_.emplace_back();
  const std::size_t index = model_.entries.size() - 1;
  model_.entries[parent].children.push_back(index);
  taken_[parent].insert(FoldCase(name));
  return index;
}

std::size_t Generator::EnsureFolder(std::size_t parent, const std::string& name) {
  for (std::size_t child : model_.entries[parent].children) {
    if (SameText(model_.entries[child].name, name)) return child;
  }
  const std::size_t index = Add(parent, name, Kind::kFolder);
  model_.entries[index].attributes = FILE_ATTRIBUTE_DIRECTORY;
  return index;
}

template <typename MakeName>
std::string Generator::FreshName(std::size_t parent, MakeName make) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string name = make();
    if (!name.empty() && taken_[parent].count(FoldCase(name)) == 0) return name;
  }
  return {};
}

std::string Generator::Text(std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    if (random_.Percent(1)) {
      text += '\xE9';  // an ANSI letter outside ASCII
    } else {
      text += kNameBytes[random_.Below(sizeof kNameBytes - 1)];
    }
  }
  // Win32 drops trailing dots and blanks, which would make another name.
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.back() = 'z';
  return text;
}

std::string Generator::Digits(std::uint32_t low, std::uint32_t high) {
  std::string digits;
  for (std::uint32_t n = random_.Between(low, high); n > 0; --n) {
    digits += static_cast<char>('0' + random_.Below(10));
  }
  return digits;
}

std::string Generator::TmpName() {
  static const char* const kEndings[] = {".tmp", ".tmp",     ".tmp",  ".TMP", ".Tmp",
                                         ".tmP", ".tmp.bak", ".tmpx", "tmp",  ".tm"};
  const std::string stem = random_.Percent(10) ? "" : Text(random_.Between(1, 8));
  return stem + Pick(random_, kEndings);
}

std::string Generator::DollarName() {
  if (random_.Percent(5)) return "$";
  if (random_.Percent(3)) return "$NtUninstallKB" + Digits(45, 60) + "$";  // key name too long
  static const char* const kStems[] = {"", "NtUninstall", "NtUninstall", "hf_mig", "x"};
  static const char* const kKb[] = {"", "KB", "KB", "kb", "Kb", "kB"};
  static const char* const kEnds[] = {"", "$", "$", "$"};
  std::string stem = Pick(random_, kStems);
  if (stem == "x") stem = Text(random_.Between(1, 6));
  return "$" + stem + Pick(random_, kKb) + Digits(0, 7) + Pick(random_, kEnds);
}

std::string Generator::GuidName() {
  std::string name = "{";
  for (std::uint32_t group : {8u, 4u, 4u, 4u, 12u}) {
    if (name.size() > 1) name += '-';
    for (std::uint32_t i = 0; i < group; ++i) name += kHexDigits[random_.Below(16)];
  }
  name += '}';
  static const std::size_t kMarks[] = {0, 9, 14, 19};
  switch (random_.Below(10)) {
    case 0:  // one of the marks the shape rests on, wrong
      name[kMarks[random_.Below(4)]] = static_cast<char>('a' + random_.Below(26));
      break;
    case 1:  // 19 characters: too short to be GUID-shaped
      name.resize(19);
      break;
    case 2:  // the shortest GUID-shaped name
      name.resize(20);
      break;
    case 3:  // only the marks count, not the digits
      for (std::size_t i = 1; i < name.size(); ++i) {
        if (i != 9 && i != 14 && i != 19 && i != 24) name[i] = 'z';
      }
      break;
    default:
      break;
  }
  return name;
}

std::string Generator::KbName() {
  static const char* const kKb[] = {"KB", "kb", "Kb"};
  return Text(random_.Between(1, 4)) + Pick(random_, kKb) + Digits(1, 7) +
         (random_.Percent(30) ? ".log" : "");
}

// A name that brings the entry's path to about MAX_PATH: a little short of
// it, right at it, or past it.
std::string Generator::LongName(std::size_t parent) {
  const std::size_t parentLength = model_.entries[parent].path.size();
  const std::size_t wanted = random_.Between(245, 275);
  if (parentLength + 2 >= wanted) return Text(random_.Between(1, 8));
  const std::size_t length = std::min<std::size_t>(wanted - parentLength - 1, 255);
  std::string name = Text(length);
  if (random_.Percent(25)) name[0] = '$';
  if (length > 5 && random_.Percent(20)) name.replace(length - 4, 4, ".tmp");
  return name;
}

std::string Generator::NameFor(std::size_t parent, Area area, bool folder) {
  // Weights, in percent, of: plain, .tmp, $, GUID, KB, long.
  struct Weights {
    std::uint32_t plain, tmp, dollar, guid, kb, length;
  };
  Weights w{};
  switch (area) {
    case Area::kWindowsTop:
      w = folder ? Weights{15, 10, 55, 5, 5, 10} : Weights{20, 45, 15, 5, 5, 10};
      break;
    case Area::kInside:
      w = folder ? Weights{35, 5, 10, 25, 5, 20} : Weights{40, 12, 10, 10, 8, 20};
      break;
    case Area::kProtected:
      w = folder ? Weights{60, 0, 20, 20, 0, 0} : Weights{50, 20, 15, 0, 15, 0};
      break;
  }
  return FreshName(parent, [&] {
    std::uint32_t r = random_.Below(100);
    if (r < w.plain) return Text(random_.Between(1, 12));
    r -= w.plain;
    if (r < w.tmp) return TmpName();
    r -= w.tmp;
    if (r < w.dollar) return DollarName();
    r -= w.dollar;
    if (r < w.guid) return GuidName();
    r -= w.guid;
    if (r < w.kb) return KbName();
    return LongName(parent);
  });
}

void Generator::AddFile(std::size_t parent, Area area) {
  const std::string name = NameFor(parent, area, false);
  if (name.empty()) return;
  ModelEntry& file = model_.entries[Add(parent, name, Kind::kFile)];
  if (random_.Percent(60)) file.attributes |= FILE_ATTRIBUTE_ARCHIVE;
  if (random_.Percent(15)) file.attributes |= FILE_ATTRIBUTE_READONLY;
  if (random_.Percent(10)) file.attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (random_.Percent(5)) file.attributes |= FILE_ATTRIBUTE_SYSTEM;
  if (random_.Percent(3)) file.attributes |= FILE_ATTRIBUTE_TEMPORARY;
  file.size = random_.Percent(3) ? (std::uint64_t{5} << 30) : random_.Below(1u << 20);
  file.inUse = area != Area::kProtected && random_.Percent(7);
  if (area == Area::kProtected) protectedFiles_.push_back(file.path);
}

std::size_t Generator::AddFolder(std::size_t parent, Area area) {
  const std::string name = NameFor(parent, area, true);
  if (name.empty()) return 0;
  ModelEntry& folder = model_.entries[Add(parent, name, Kind::kFolder)];
  folder.attributes = FILE_ATTRIBUTE_DIRECTORY;
  if (area != Area::kProtected) {
    if (random_.Percent(5)) folder.attributes |= FILE_ATTRIBUTE_READONLY;
    if (random_.Percent(10)) folder.attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (random_.Percent(4)) folder.attributes |= FILE_ATTRIBUTE_SYSTEM;
    folder.inUse = random_.Percent(5);
  } else {
    protectedFolders_.push_back(folder.path);
  }
  return model_.entries.size() - 1;
}

// Links lead, mostly, into the protected tree: nothing there may change.
void Generator::AddLink(std::size_t parent, bool folder) {
  const std::string name = NameFor(parent, Area::kInside, folder);
  if (name.empty()) return;
  ModelEntry& link =
      model_.entries[Add(parent, name, folder ? Kind::kFolderLink : Kind::kFileLink)];
  const std::vector<std::string>& targets = folder ? protectedFolders_ : protectedFiles_;
  const std::uint32_t r = random_.Below(100);
  if (r < 80) {
    link.linkTarget = targets[random_.Below(static_cast<std::uint32_t>(targets.size()))];
  } else if (r < 87) {
    link.linkTarget = model_.entries[model_.windows].path;
  } else if (r < 94) {
    link.linkTarget = model_.entries[model_.temp].path;  // a loop back into the walk
  } else {
    link.linkTarget = "C:\\Nowhere\\" + Text(4);
  }
  link.inUse = random_.Percent(5);
  // Made read-only through the path, which must be short enough to name.
  if (link.path.size() < MAX_PATH && random_.Percent(8)) {
    link.attributes = FILE_ATTRIBUTE_READONLY;
  }
}

// Folders nested until their paths near MAX_PATH, with entries at the end.
void Generator::AddLongChain(std::size_t parent) {
  std::size_t at = parent;
  for (int step = 0; step < 8 && model_.entries[at].path.size() < 200; ++step) {
    const std::string name = FreshName(at, [&] { return Text(random_.Between(30, 90)); });
    if (name.empty()) return;
    const std::size_t next = Add(at, name, Kind::kFolder);
    model_.entries[next].attributes = FILE_ATTRIBUTE_DIRECTORY;
    at = next;
  }
  Fill(at, 1, Area::kInside, random_.Between(1, 4));
}

void Generator::Fill(std::size_t folder, int depth, Area area, std::uint32_t count) {
  const Area inner = area == Area::kWindowsTop ? Area::kInside : area;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t r = random_.Below(100);
    if (r >= 50 && r < 75 && depth > 0) {
      const std::size_t sub = AddFolder(folder, area);
      if (sub != 0) Fill(sub, depth - 1, inner, random_.Between(0, 6));
    } else if (r >= 75 && r < 83 && area != Area::kProtected) {
      AddLink(folder, true);
    } else if (r >= 83 && r < 91 && area != Area::kProtected) {
      AddLink(folder, false);
    } else if (r >= 91 && depth > 0 && area != Area::kProtected) {
      AddLongChain(folder);
    } else {
      AddFile(folder, area);
    }
  }
}

void Generator::AddUninstallEntries() {
  std::set<std::string> names;
  auto add = [&](const std::string& name) {
    if (name.empty() || !names.insert(FoldCase(name)).second) return;
    model_.uninstall.push_back(UninstallEntry{name, random_.Percent(10)});
  };
  // Keys named after every "KB" entry where hotfix folders are looked for, and
  // near it: only those of "$" folders directly in the Windows directory may go.
  std::vector<std::size_t> candidates = model_.entries[model_.windows].children;
  for (std::size_t folder : {std::size_t{0}, system32_}) {
    const std::vector<std::size_t>& more = model_.entries[folder].children;
    candidates.insert(candidates.end(), more.begin(), more.end());
  }
  for (std::size_t candidate : candidates) {
    const std::string& name = model_.entries[candidate].name;
    std::string key = ModelHotfixKey(name);
    if (key.empty() && name.size() >= 2 && FoldCase(name).find("KB") == name.size() - 2) {
      key = name.substr(name.size() - 2, 1);  // "K", what the name's last "KB" might be taken for
    }
    if (key.empty() || !random_.Percent(75)) continue;
    if (random_.Percent(30)) {
      // The registry compares names without regard to letter case.
      for (char& c : key) {
        if (c >= 'a' && c <= 'z') {
          c = static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'Z') {
          c = static_cast<char>(c - 'A' + 'a');
        }
      }
    }
    add(key);
  }
  for (std::uint32_t n = random_.Between(1, 4); n > 0; --n) {
    static const char* const kStems[] = {"KB", "kb", "SomeProduct", "Kb"};
    const std::string stem = Pick(random_, kStems);
    add(random_.Percent(20) ? GuidName() : stem + Digits(1, 7));
  }
}

MachineModel Generator::Make() {
  ModelEntry root;
  root.kind = Kind::kFolder;
  root.path = "C:";  // children are "C:\name"
  root.attributes = FILE_ATTRIBUTE_DIRECTORY;
  model_.entries.push_back(root);
  taken_.emplace_back();

  // The fake's own folders, in the order it makes them.
  model_.windows = EnsureFolder(0, "Windows");
  std::size_t defaultTemp = 0;
  for (const char* part : {"Users", "Admin", "AppData", "Local", "Temp"}) {
    defaultTemp = EnsureFolder(defaultTemp, part);
  }
  const std::uint32_t where = random_.Below(10);
  model_.temp = where < 6   ? defaultTemp
                : where < 8 ? EnsureFolder(model_.windows, "Temp")
                            : EnsureFolder(0, "T");

  const std::size_t protectedRoot = EnsureFolder(0, "Protected");
  const std::size_t docs = EnsureFolder(protectedRoot, "Docs");
  protectedFolders_.push_back(model_.entries[docs].path);
  model_.entries[Add(docs, "secret.txt", Kind::kFile)].attributes = FILE_ATTRIBUTE_READONLY;
  protectedFiles_.push_back(model_.entries.back().path);
  Fill(protectedRoot, 2, Area::kProtected, random_.Between(3, 10));

  system32_ = EnsureFolder(model_.windows, "System32");
  Fill(system32_, 1, Area::kWindowsTop, random_.Between(1, 5));
  Fill(model_.windows, 3, Area::kWindowsTop, random_.Between(6, 16));
  Fill(model_.temp, 4, Area::kInside, random_.Between(3, 14));
  if (model_.temp != defaultTemp) Fill(defaultTemp, 1, Area::kInside, random_.Between(0, 4));
  Fill(EnsureFolder(0, "Other"), 2, Area::kInside, random_.Between(2, 8));
  Fill(0, 1, Area::kWindowsTop, random_.Between(1, 5));  // C:\ itself, the current folder

  AddUninstallEntries();
  static const char* const kDates[] = {"", "2026/12/6", "2026/12/5", "2026/12/06"};
  model_.executeDate = Pick(random_, kDates);
  return std::move(model_);
}

// ---- What a forced start leaves --------------------------------------------

constexpr std::size_t kMaxPathText = MAX_PATH - 1;  // characters before the zero
constexpr std::size_t kHotfixPathText = 149;        // the hotfix path buffer holds 150
constexpr std::size_t kMaxKeyName = 49;

bool IsGuidShaped(const std::string& name) {
  return name.size() >= 20 && name[0] == '{' && name[9] == '-' && name[14] == '-' &&
         name[19] == '-';
}

bool EndsWithTmp(const std::string& name) {
  return name.size() >= 4 && name.compare(name.size() - 4, 4, ".tmp") == 0;
}

class Cleaning {
 public:
  explicit Cleaning(const MachineModel& model) : model_(model) {
    end_.gone.assign(model.entries.size(), false);
    end_.madeNormal.assign(model.entries.size(), false);
    end_.uninstallGone.assign(model.uninstall.size(), false);
  }

  ExpectedEnd Run() {
    DeleteWindowsTmpFiles();
    WalkFolder(model_.temp, true);  // the temporary folder itself is never removed
    RemoveHotfixFolders();
    return end_;
  }

 private:
  const ModelEntry& At(std::size_t i) const { return model_.entries[i]; }

  bool Empty(std::size_t folder) const {
    for (std::size_t child : At(folder).children) {
      if (!end_.gone[child]) return false;
    }
    return true;
  }

  // RemoveDirectoryA: an entry held open or read-only stays; so does a
  // folder with entries (a link has none of its own).
  void TryRemove(std::size_t i) {
    const ModelEntry& entry = At(i);
    if (end_.gone[i] || entry.inUse || entry.ReadOnly()) return;
    if (entry.IsFolder() && !Empty(i)) return;
    end_.gone[i] = true;
  }

  // A plain file: read-only is cleared first; false when it stays.
  bool DeletePlainFile(std::size_t i) {
    if (!At(i).inUse) {
      end_.gone[i] = true;
      return true;
    }
    if (At(i).ReadOnly()) end_.madeNormal[i] = true;
    return false;
  }

  // The folder's own removal is tried first; only a folder that is not
  // empty, or held open, is then walked.
  void PurgeFolder(std::size_t folder) {
    const ModelEntry& entry = At(folder);
    if (!entry.inUse) {
      if (entry.ReadOnly()) return;
      if (Empty(folder)) {
        end_.gone[folder] = true;
        return;
      }
    }
    WalkFolder(folder, false);
  }

  void WalkFolder(std::size_t folder, bool guard) {
    if (At(folder).path.size() + 4 > kMaxPathText) return;  // "\*.*" would not fit
    for (std::size_t child : At(folder).children) {
      const ModelEntry& entry = At(child);
      if (entry.path.size() > kMaxPathText) continue;
      switch (entry.kind) {
        case Kind::kFile:
          if (!DeletePlainFile(child)) return;  // the rest of this folder stays
          break;
        case Kind::kFileLink:
          TryRemove(child);
          break;
        case Kind::kFolderLink:
          if (!(guard && IsGuidShaped(entry.name))) TryRemove(child);
          break;
        case Kind::kFolder:
          if (guard && IsGuidShaped(entry.name)) break;
          PurgeFolder(child);
          TryRemove(child);
          break;
      }
    }
  }

  void DeleteWindowsTmpFiles() {
    for (std::size_t child : At(model_.windows).children) {
      const ModelEntry& entry = At(child);
      if (!EndsWithTmp(entry.name) || entry.path.size() > kMaxPathText) continue;
      if (entry.kind == Kind::kFile) DeletePlainFile(child);
      if (entry.kind == Kind::kFileLink) TryRemove(child);
    }
  }

  void RemoveHotfixFolders() {
    for (std::size_t child : At(model_.windows).children) {
      const ModelEntry& entry = At(child);
      const bool folder = entry.kind == Kind::kFolder || entry.kind == Kind::kFolderLink;
      if (!folder || entry.name[0] != '$' || entry.path.size() > kHotfixPathText) continue;
      if (entry.kind == Kind::kFolder) PurgeFolder(child);
      TryRemove(child);
      DeleteUninstallEntry(ModelHotfixKey(entry.name));
    }
  }

  void DeleteUninstallEntry(const std::string& key) {
    if (key.empty() || key.size() > kMaxKeyName) return;
    for (std::size_t i = 0; i < model_.uninstall.size(); ++i) {
      if (SameText(model_.uninstall[i].name, key) && !model_.uninstall[i].hasSubkey) {
        end_.uninstallGone[i] = true;
      }
    }
  }

  const MachineModel& model_;
  ExpectedEnd end_;
};

}  // namespace

std::uint64_t SeededRandom::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint32_t SeededRandom::Below(std::uint32_t bound) {
  return static_cast<std::uint32_t>(Next() % bound);
}

std::uint32_t SeededRandom::Between(std::uint32_t low, std::uint32_t high) {
  return low + Below(high - low + 1);
}

bool SeededRandom::Percent(std::uint32_t chance) { return Below(100) < chance; }

std::string ModelHotfixKey(const std::string& folderName) {
  const std::string folded = FoldCase(folderName);
  const std::size_t at = folded.find("KB");
  // "K" or "KB" alone names no hotfix's entry.
  if (at == std::string::npos || folderName.size() - at - 1 <= 2) return {};
  return folderName.substr(at, folderName.size() - at - 1);
}

MachineModel GenerateMachine(std::uint64_t seed) { return Generator(seed).Make(); }

void BuildFake(const MachineModel& model, FakePlatform& fake) {
  fake.SetTempPath(model.entries[model.temp].path + "\\");
  fake.SetCommandLine("C:\\Tools\\sweepwell.exe 1");
  fake.SetRegDword(HKEY_LOCAL_MACHINE, kSettings, "Limit", 0);
  if (!model.executeDate.empty()) {
    fake.SetRegString(HKEY_LOCAL_MACHINE, kSettings, "ExecuteDate", model.executeDate);
  }
  fake.AddRegKey(HKEY_LOCAL_MACHINE, kUninstall);
  for (const UninstallEntry& entry : model.uninstall) {
    const std::string key = std::string(kUninstall) + "\\" + entry.name;
    fake.SetRegString(HKEY_LOCAL_MACHINE, key, "DisplayName", entry.name);
    if (entry.hasSubkey) fake.AddRegKey(HKEY_LOCAL_MACHINE, key + "\\Updates");
  }
  for (std::size_t i = 1; i < model.entries.size(); ++i) {
    const ModelEntry& entry = model.entries[i];
    switch (entry.kind) {
      case Kind::kFolder:
        fake.AddFolder(entry.path, entry.attributes);
        break;
      case Kind::kFile:
        fake.AddFile(entry.path, entry.size, entry.attributes);
        break;
      case Kind::kFileLink:
      case Kind::kFolderLink: {
        const bool folder = entry.kind == Kind::kFolderLink;
        fake.AddLink(entry.path, entry.linkTarget, folder);
        if (entry.ReadOnly()) {
          fake.SetFileAttributesA(entry.path.c_str(),
                                  FILE_ATTRIBUTE_READONLY | (folder ? 0 : FILE_ATTRIBUTE_ARCHIVE));
        }
        break;
      }
    }
    if (entry.inUse) fake.SetInUse(entry.path);
  }
  fake.ClearLog();
}

ExpectedEnd ExpectAfterForcedStart(const MachineModel& model) { return Cleaning(model).Run(); }
