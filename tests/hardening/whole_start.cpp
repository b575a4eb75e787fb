#include "hardening/whole_start.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <set>
#include <stdexcept>

#include "app/cleanup_app.h"

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
// The entry directly in `folder` on the way to `path`, or "" when `path` is
// not strictly below `folder`.
std::string TopBelow(const std::string& path, const std::string& folder) {
  if (!AtOrBelow(path, folder) || path.size() == folder.size()) return "";
  return path.substr(0, path.find('\\', folder.size() + 1));
}
bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

void Walk(const FakePlatform& fake, const std::string& folder,
          std::vector<std::pair<std::string, DWORD>>& out) {
  for (const std::string& name : fake.List(folder + "\\")) {
    out.emplace_back(folder + "\\" + name, fake.Attributes(folder + "\\" + name));
    if (IsFolder(out.back().second) && !IsLink(out.back().second))
      Walk(fake, std::string(out.back().first), out);
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
  for (const auto& [path, attributes] : before_) kinds_[Fold(path)] = attributes;
}

DWORD AllowedPlaces::Kind(const std::string& folded) const {
  const auto it = kinds_.find(folded);
  return it == kinds_.end() ? 0 : it->second;
}

bool AllowedPlaces::InPlaces(bool folder, const std::string& path) const {
  const std::string folded = Fold(path);
  if (AtOrBelow(folded, temp_)) {
    const std::string top = TopBelow(folded, temp_);
    const std::string name = top.substr(std::min(top.size(), temp_.size() + 1));
    const bool guid =
        name.size() >= 20 && name[0] == '{' && name[9] == '-' && name[14] == '-' && name[19] == '-';
    return !top.empty() && !(guid && IsFolder(Kind(top)));
  }
  // ".tmp" as the name stands: X.TMP is not one of them.
  if (Parent(folded) == windows_ && path.size() > 4 && path.substr(path.size() - 4) == ".tmp") {
    return !folder && !IsFolder(Kind(folded));
  }
  const std::string hotfix = TopBelow(folded, windows_);
  return !hotfix.empty() && hotfix[windows_.size() + 1] == '$' && IsFolder(Kind(hotfix));
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
    const std::string list = "HKLM\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL";
    const std::string name = Parent(target) == list ? target.substr(list.size() + 1) : "";
    bool named = false;
    for (const auto& [path, attributes] : kinds_) {
      const std::string folder = path.substr(path.rfind('\\') + 1);
      named = named || (Parent(path) == windows_ && folder[0] == '$' && IsFolder(attributes) &&
                        folder.find(name) != std::string::npos);
    }
    named = named && name.size() >= 3 && name.compare(0, 2, "KB") == 0;
    return named ? "" : "deletes a key no hotfix folder names";
  }
  for (std::string up = Parent(target); up.find('\\') != std::string::npos; up = Parent(up)) {
    if (IsLink(Kind(up))) return "reaches through the link " + up;
  }
  if (call.call == "SetFileAttributesA" && IsLink(Kind(target))) {
    return "sets a link's target's attributes";
  }
  // Any other changing call names no entry of the places.
  return InPlaces(call.call == "RemoveDirectoryA", call.target) ? ""
                                                                : "outside the cleaner's places";
}

std::vector<std::string> AllowedPlaces::Violations(const FakePlatform& after) const {
  std::vector<std::string> problems;
  for (const FakePlatform::CallRecord& call : after.Changes()) {
    const std::string why = Violation(call);
    if (!why.empty())
      problems.push_back(call.call + " " + call.target + " " + call.value + ": " + why);
  }
  // The machine itself, for what a call reached through a path that changed
  // while the start ran (a folder swapped for a link).
  std::vector<std::pair<std::string, DWORD>> now;
  Walk(after, "C:", now);
  std::map<std::string, DWORD> found;
  for (const auto& [path, attributes] : now) found[Fold(path)] = attributes;
  for (const auto& [path, attributes] : before_) {
    const auto it = found.find(Fold(path));
    const bool changed = it == found.end() || it->second != attributes;
    if (changed && !InPlaces(it == found.end() && IsFolder(attributes), path)) {
      problems.push_back("changed: " + path);
    }
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
    if (!InPlaces(IsFolder(attributes), path)) continue;
    // The paths the pass names: under MAX_PATH, its folder's "\*.*" too, and
    // a "$" folder's under 150 characters.
    const std::string hotfix = TopBelow(folded, windows_);
    if (untouched.count(parent) || path.size() >= MAX_PATH || parent.size() + 4 >= MAX_PATH ||
        (!hotfix.empty() && hotfix[windows_.size() + 1] == '$' && hotfix.size() >= 150)) {
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

std::vector<std::string> RunWholeStart(FakePlatform& fake, std::size_t callBudget,
                                       const Stage& stage, bool allGone) {
  const AllowedPlaces allowed(fake);
  // Closing calls run in destructors, where a throw would end the process.
  fake.SetCallHook([&](std::string_view call, std::size_t index) {
    if (stage) stage(fake, index);
    if (index >= callBudget && call != "FindClose" && call != "RegCloseKey") {
      throw std::length_error("did not end within " + std::to_string(callBudget) + " calls");
    }
  });
  std::vector<std::string> problems;
  try {
    if (ApplicationMain(fake) != 0) problems.push_back("exit code not 0");
  } catch (const std::exception& e) {
    problems.push_back(std::string("threw: ") + e.what());
  }
  fake.SetCallHook(nullptr);
  // A handle whose closing failed stays open; no other may.
  std::map<std::string, std::size_t> failed;
  for (const FakePlatform::CallRecord& r : fake.Calls()) failed[r.call] += r.succeeded ? 0 : 1;
  if (fake.OpenFindHandles() != failed["FindClose"]) problems.push_back("find handle left open");
  if (fake.OpenRegKeys() != failed["RegCloseKey"]) problems.push_back("key left open");
  for (const std::string& problem : allowed.Violations(fake)) problems.push_back(problem);
  for (const std::string& left : allGone ? allowed.Leftovers(fake) : std::vector<std::string>{}) {
    problems.push_back("left: " + left);
  }
  return problems;
}

std::size_t SweepEachCall(
    const std::function<void(FakePlatform&)>& build,
    const std::function<std::vector<Stage>(const FakePlatform::CallRecord&)>& stagesAt,
    std::size_t callBudget) {
  FakePlatform clean;
  build(clean);
  RunWholeStart(clean, SIZE_MAX);
  const std::vector<FakePlatform::CallRecord> calls = clean.Calls();
  std::size_t runs = 0, failed = 0;
  for (std::size_t index = 0; index < calls.size(); ++index) {
    for (const Stage& stage : stagesAt(calls[index])) {
      FakePlatform fake;
      build(fake);
      const std::vector<std::string> problems = RunWholeStart(
          fake, callBudget,
          [&](FakePlatform& f, std::size_t at) { at == index ? stage(f, at) : void(); });
      ++runs;
      if (!problems.empty() && ++failed <= 20) {
        ADD_FAILURE() << "call " << index << " " << calls[index].call << " " << calls[index].target
                      << ": " << testing::PrintToString(problems) << "\n"
                      << fake.Dump();
      }
    }
  }
  return runs;
}
