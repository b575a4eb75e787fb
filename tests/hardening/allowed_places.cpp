#include "hardening/allowed_places.h"

#include <map>
#include <utility>

const char kSettingsKeyTarget[] = "HKLM\\SOFTWARE\\Brisca\\Sweepwell";
const char kUninstallKeyTarget[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

bool IsFolderEntry(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
bool IsLinkEntry(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

void Walk(const FakePlatform& fake, const std::string& folder, std::vector<MachineEntry>& out) {
  for (const std::string& name : fake.List(folder)) {
    MachineEntry entry;
    entry.path = folder + (folder.back() == '\\' ? "" : "\\") + name;
    entry.attributes = fake.Attributes(entry.path);
    entry.size = fake.Size(entry.path);
    out.push_back(entry);
    if (IsFolderEntry(entry.attributes) && !IsLinkEntry(entry.attributes)) {
      Walk(fake, entry.path, out);
    }
  }
}

std::pair<std::string, std::string> SplitLast(const std::string& path) {
  const std::size_t cut = path.rfind('\\');
  if (cut == std::string::npos) return {"", path};
  return {path.substr(0, cut), path.substr(cut + 1)};
}

// Both already folded: `path` is `folder` or lies below it.
bool FoldedAtOrBelow(const std::string& path, const std::string& folder) {
  if (path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
  return path.size() == folder.size() || path[folder.size()] == '\\';
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string FoldCase(std::string text) {
  char* c = text.data();
  for (std::size_t i = 0, n = text.size(); i < n; ++i) {
    if (c[i] >= 'a' && c[i] <= 'z') c[i] = static_cast<char>(c[i] - 'a' + 'A');
  }
  return text;
}

bool SameText(const std::string& a, const std::string& b) { return FoldCase(a) == FoldCase(b); }

std::vector<MachineEntry> SnapshotMachine(const FakePlatform& fake) {
  std::vector<MachineEntry> entries;
  Walk(fake, "C:\\", entries);
  return entries;
}

AllowedPlaces::AllowedPlaces(std::vector<MachineEntry> before, std::string windows,
                             std::string temp)
    : before_(std::move(before)),
      windows_(FoldCase(std::move(windows))),
      temp_(FoldCase(std::move(temp))) {
  for (std::size_t i = 0; i < before_.size(); ++i) {
    const MachineEntry& entry = before_[i];
    const std::string folded = FoldCase(entry.path);
    index_.emplace(folded, i);
    if (IsLinkEntry(entry.attributes)) {
      links_.push_back(entry.path);
      foldedLinks_.push_back(folded);
    }
    const auto [parent, name] = SplitLast(folded);
    if (parent == windows_ && !name.empty() && name[0] == '$' && IsFolderEntry(entry.attributes)) {
      hotfixEntries_.push_back(folded);
    }
  }
}

const MachineEntry* AllowedPlaces::Find(const std::string& foldedPath) const {
  auto it = index_.find(foldedPath);
  return it != index_.end() ? &before_[it->second] : nullptr;
}

std::string AllowedPlaces::FileViolation(const std::string& call, const std::string& target) const {
  if (call != "DeleteFileA" && call != "RemoveDirectoryA" && call != "SetFileAttributesA") {
    return "a changing call the cleaner never needs";
  }
  const std::string folded = FoldCase(target);
  for (std::size_t i = 0; i < foldedLinks_.size(); ++i) {
    if (FoldedAtOrBelow(folded, foldedLinks_[i]) && folded != foldedLinks_[i]) {
      return "reaches through the link " + links_[i];
    }
  }
  const MachineEntry* entry = Find(folded);
  if (call == "SetFileAttributesA" && entry != nullptr && IsLinkEntry(entry->attributes)) {
    return "changes the attributes of a link, that is of its target";
  }
  if (FoldedAtOrBelow(folded, temp_) && folded != temp_) return "";
  // ".tmp" in lower case, as the name stands: X.TMP is not one of them.
  const auto [parent, name] = SplitLast(target);
  if (FoldCase(parent) == windows_ && EndsWith(name, ".tmp") && call != "RemoveDirectoryA" &&
      (entry == nullptr || !IsFolderEntry(entry->attributes) || IsLinkEntry(entry->attributes))) {
    return "";
  }
  for (const std::string& hotfix : hotfixEntries_) {
    if (FoldedAtOrBelow(folded, hotfix)) return "";
  }
  return "outside the cleaner's places";
}

std::string AllowedPlaces::RegistryViolation(const FakePlatform::CallRecord& call) const {
  if (call.call == "RegCreateKeyA") {
    return SameText(call.target, kSettingsKeyTarget) ? "" : "creates a key not its own";
  }
  if (call.call == "RegSetValueExA") {
    if (!SameText(call.target, kSettingsKeyTarget)) return "writes a value outside its own key";
    if (call.value != "ExecuteDate" && call.value != "Limit") return "writes an unknown value";
    return "";
  }
  if (call.call == "RegDeleteKeyA") {
    const std::string prefix = std::string(kUninstallKeyTarget) + "\\";
    if (call.target.size() <= prefix.size() ||
        !SameText(call.target.substr(0, prefix.size()), prefix)) {
      return "deletes a key outside the installed-software list";
    }
    const std::string name = call.target.substr(prefix.size());
    if (name.find('\\') != std::string::npos) return "deletes a key below an entry";
    if (FoldCase(name.substr(0, 2)) != "KB") return "deletes an entry not named KB...";
    return "";
  }
  return "a changing registry call the cleaner never needs";
}

std::string AllowedPlaces::Violation(const FakePlatform::CallRecord& call) const {
  if (call.call.rfind("Reg", 0) == 0) return RegistryViolation(call);
  return FileViolation(call.call, call.target);
}

std::vector<std::string> AllowedPlaces::StateViolations(
    const std::vector<MachineEntry>& after) const {
  std::vector<std::string> problems;
  std::map<std::string, const MachineEntry*> now;
  for (const MachineEntry& entry : after) now[FoldCase(entry.path)] = &entry;
  for (const MachineEntry& entry : before_) {
    auto it = now.find(FoldCase(entry.path));
    if (it == now.end()) {
      const char* call = IsFolderEntry(entry.attributes) ? "RemoveDirectoryA" : "DeleteFileA";
      const std::string why = FileViolation(call, entry.path);
      if (!why.empty()) problems.push_back("gone: " + entry.path + " (" + why + ")");
      continue;
    }
    const MachineEntry& later = *it->second;
    if (later.attributes != entry.attributes) {
      const std::string why = FileViolation("SetFileAttributesA", entry.path);
      if (!why.empty()) problems.push_back("attributes changed: " + entry.path + " (" + why + ")");
    }
    if (later.size != entry.size) problems.push_back("size changed: " + entry.path);
    now.erase(it);
  }
  for (const auto& appeared : now) problems.push_back("appeared: " + appeared.second->path);
  return problems;
}
