#include "hardening/allowed_places.h"

#include <algorithm>
#include <map>

namespace {

// ASCII letters folded to upper case, as Win32 compares names.
std::string Fold(std::string text) {
  for (char& c : text) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

std::string Parent(const std::string& path) { return path.substr(0, path.rfind('\\')); }
bool AtOrBelow(const std::string& path, const std::string& folder) {
  return path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '\\');
}
bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

template <typename Entries>
void Walk(const FakePlatform& fake, const std::string& folder, Entries& out) {
  for (const std::string& name : fake.List(folder + "\\")) {
    const std::string path = folder + "\\" + name;
    out.emplace_back(path, fake.Attributes(path));
    if (IsFolder(out.back().second) && !IsLink(out.back().second)) Walk(fake, path, out);
  }
}

std::string Folder(FakePlatform& fake, bool windows) {
  char text[MAX_PATH] = {};
  windows ? fake.GetWindowsDirectoryA(text, MAX_PATH) : fake.GetTempPathA(MAX_PATH, text);
  std::string folded = Fold(text);
  while (!folded.empty() && folded.back() == '\\') folded.pop_back();
  return folded;
}

}  // namespace

AllowedPlaces::AllowedPlaces(FakePlatform& before)
    : windows_(Folder(before, true)), temp_(Folder(before, false)) {
  before.ClearLog();
  Walk(before, "C:", before_);
  for (const auto& [path, attributes] : before_) {
    const std::string folded = Fold(path);
    const std::string name = folded.substr(folded.rfind('\\') + 1);
    if (IsLink(attributes)) links_.insert(folded);
    if (!IsFolder(attributes)) continue;
    if (Parent(folded) == temp_ && name.size() >= 20 && name[0] == '{' && name[9] == '-' &&
        name[14] == '-' && name[19] == '-') {
      guidFolders_.insert(folded);
    }
    if (Parent(folded) == windows_ && name[0] == '$') hotfixNames_.insert(name);
  }
}

bool AllowedPlaces::InPlaces(const std::string& call, const std::string& path) const {
  const std::string folded = Fold(path);
  if (AtOrBelow(folded, temp_)) {
    return folded != temp_ && std::none_of(guidFolders_.begin(), guidFolders_.end(),
                                           [&](auto& g) { return AtOrBelow(folded, g); });
  }
  // ".tmp" as the name stands: X.TMP is not one of them.
  if (Parent(folded) == windows_ && path.size() > 4 && path.substr(path.size() - 4) == ".tmp") {
    const auto entry = std::find_if(before_.begin(), before_.end(),
                                    [&](auto& e) { return Fold(e.first) == folded; });
    return call != "RemoveDirectoryA" && (entry == before_.end() || !IsFolder(entry->second));
  }
  return std::any_of(hotfixNames_.begin(), hotfixNames_.end(),
                     [&](auto& name) { return AtOrBelow(folded, windows_ + "\\" + name); });
}

std::string AllowedPlaces::Violation(const FakePlatform::CallRecord& call) const {
  const std::string target = Fold(call.target);
  if (call.call == "RegCreateKeyA" || call.call == "RegSetValueExA") {
    const bool own =
        target == "HKLM\\SOFTWARE\\BRISCA\\SWEEPWELL" &&
        (call.call == "RegCreateKeyA" || call.value == "ExecuteDate" || call.value == "Limit");
    return own ? "" : "writes outside its own key";
  }
  if (call.call == "RegDeleteKeyA") {
    const std::string list = "HKLM\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\";
    const std::string name =
        target.compare(0, list.size(), list) == 0 ? target.substr(list.size()) : "";
    const bool named =
        name.size() >= 3 && name.compare(0, 2, "KB") == 0 && name.find('\\') == std::string::npos &&
        std::any_of(hotfixNames_.begin(), hotfixNames_.end(),
                    [&](auto& hotfix) { return hotfix.find(name) != std::string::npos; });
    return named ? "" : "deletes a key no hotfix folder names";
  }
  for (const std::string& link : links_) {
    if (AtOrBelow(target, link) && target != link) return "reaches through the link " + link;
  }
  if (call.call == "SetFileAttributesA" && links_.count(target)) {
    return "sets a link's target's attributes";
  }
  if (call.call != "DeleteFileA" && call.call != "RemoveDirectoryA" &&
      call.call != "SetFileAttributesA") {
    return "a changing call the cleaner never needs";
  }
  return InPlaces(call.call, call.target) ? "" : "outside the cleaner's places";
}

std::vector<std::string> AllowedPlaces::Violations(const FakePlatform& after) const {
  std::vector<std::string> problems;
  for (const FakePlatform::CallRecord& call : after.Changes()) {
    const std::string why = Violation(call);
    if (!why.empty()) {
      problems.push_back(call.call + " " + call.target + " " + call.value + ": " + why);
    }
  }
  // The machine itself, for what a call reached through a path that changed
  // while the start ran (a folder swapped for a link).
  std::vector<std::pair<std::string, DWORD>> now;
  Walk(after, "C:", now);
  std::map<std::string, DWORD> found;
  for (const auto& [path, attributes] : now) found[Fold(path)] = attributes;
  for (const auto& [path, attributes] : before_) {
    const auto it = found.find(Fold(path));
    const char* removal = IsFolder(attributes) ? "RemoveDirectoryA" : "DeleteFileA";
    const char* change = it == found.end()          ? removal
                         : it->second != attributes ? "SetFileAttributesA"
                                                    : nullptr;
    if (change != nullptr && !InPlaces(change, path)) problems.push_back("changed: " + path);
  }
  return problems;
}

std::vector<std::string> AllowedPlaces::Leftovers(const FakePlatform& after) const {
  std::map<std::string, DWORD> failed;  // folded target -> error
  for (const FakePlatform::CallRecord& call : after.Changes()) {
    if (!call.succeeded) failed[Fold(call.target)] = call.error;
  }
  std::set<std::string> untouched;  // entries the pass may leave whole, with all they hold
  std::vector<std::string> left;
  for (const auto& [path, attributes] : before_) {
    const std::string folded = Fold(path);
    const std::string parent = Parent(folded);
    if (!InPlaces(IsFolder(attributes) ? "RemoveDirectoryA" : "DeleteFileA", path)) continue;
    // The paths the pass names: under MAX_PATH, its folder's "\*.*" too, and
    // a "$" folder's under 150 characters.
    const bool hotfix = folded.size() > windows_.size() + 1 && AtOrBelow(folded, windows_) &&
                        folded[windows_.size() + 1] == '$';
    const std::size_t hotfixEnd = std::min(folded.find('\\', windows_.size() + 1), folded.size());
    if (untouched.count(parent) || path.size() >= MAX_PATH || parent.size() + 4 >= MAX_PATH ||
        (hotfix && hotfixEnd >= 150)) {
      untouched.insert(folded);
      continue;
    }
    const auto failure = failed.find(folded);
    if (failure == failed.end()) {
      if (after.Exists(path)) left.push_back(path);
      continue;
    }
    // A file that stays ends its folder's walk, but for the "*.tmp" files. A
    // read-only file is no excuse: the pass makes it writable first.
    const bool file = !IsFolder(attributes) && !IsLink(attributes);
    if (file && failure->second == ERROR_ACCESS_DENIED) left.push_back(path);
    if (file && parent != windows_) untouched.insert(parent);
    if (failure->second != ERROR_DIR_NOT_EMPTY && failure->second != ERROR_SHARING_VIOLATION) {
      untouched.insert(folded);
    }
  }
  return left;
}
