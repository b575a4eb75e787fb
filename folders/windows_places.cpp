#include "folders/windows_places.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "folders/folder_walk.h"

namespace folder_walk {

namespace {

// Both calls return the length without the zero when the text fits, the size
// needed when it does not, and 0 on failure. The buffers are zeroed first, so
// a call that claims more than it wrote shows up as a zero inside the text.
std::string_view FittingText(const char* buffer, std::size_t size, std::size_t result) {
  if (result == 0 || result >= size) return {};
  const std::string_view text(buffer, result);
  if (text.find('\0') != std::string_view::npos) return {};
  return text;
}

// A path as a list of parts that compare: "/" read as "\", the "\\?\" and
// "\\.\" prefixes dropped, empty parts and "." left out, ".." resolved (never
// above the root), ASCII letters folded. The root is the drive ("C:") or, for
// a share, the server and the share.
struct Place {
  bool absolute = false;
  std::size_t rootParts = 0;
  std::vector<std::string> parts;
};

Place PlaceOf(std::string_view text) {
  std::string path(text);
  std::replace(path.begin(), path.end(), '/', '\\');
  auto startsWith = [&](std::string_view prefix) {
    return path.compare(0, prefix.size(), prefix) == 0;
  };
  if (startsWith("\\\\?\\UNC\\") || startsWith("\\\\.\\UNC\\")) {
    path.erase(2, 6);
  } else if (startsWith("\\\\?\\") || startsWith("\\\\.\\")) {
    path.erase(0, 4);
  }
  Place place;
  const bool share = startsWith("\\\\");
  std::string part;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '\\') {
      part += path[i] >= 'a' && path[i] <= 'z' ? static_cast<char>(path[i] - 'a' + 'A') : path[i];
      continue;
    }
    if (part == "..") {
      if (place.parts.size() > place.rootParts) place.parts.pop_back();
    } else if (!part.empty() && part != ".") {
      place.parts.push_back(part);
      if (place.parts.size() == 1 && !share && part.size() == 2 && part[1] == ':') {
        place.absolute = true;
        place.rootParts = 1;
      } else if (place.parts.size() == 2 && share) {
        place.absolute = true;
        place.rootParts = 2;
      }
    }
    part.clear();
  }
  return place;
}

// Whether `outer` is `inner` or holds it.
bool Holds(const Place& outer, const Place& inner) {
  return outer.absolute && inner.absolute && outer.parts.size() <= inner.parts.size() &&
         std::equal(outer.parts.begin(), outer.parts.end(), inner.parts.begin());
}

// The folders that must never be emptied as the temporary folder, whatever
// TMP and TEMP say (GetTempPathA falls back to the profile and then the
// Windows directory when they are unset): a drive's root in any spelling, the
// Windows directory or a folder that holds it, the user's profile or a folder
// that holds it. A path that is not absolute is refused too, and so is any
// when the Windows directory cannot be had to compare with.
bool IsRefusedTempFolder(Platform& platform, std::string_view text) {
  const Place temp = PlaceOf(text);
  if (!temp.absolute || temp.parts.size() <= temp.rootParts) return true;
  char other[MAX_PATH] = {};
  const UINT windows = platform.GetWindowsDirectoryA(other, MAX_PATH);
  if (windows == 0 || windows >= MAX_PATH || Holds(temp, PlaceOf(other))) return true;
  std::fill(std::begin(other), std::end(other), '\0');
  const DWORD profile = platform.GetEnvironmentVariableA("USERPROFILE", other, MAX_PATH);
  return profile > 0 && profile < MAX_PATH && Holds(temp, PlaceOf(other));
}

}  // namespace

std::string_view FetchWindowsDirectory(Platform& platform, char (&buffer)[kWindowsDirectorySize]) {
  std::fill(std::begin(buffer), std::end(buffer), '\0');
  const UINT result =
      platform.GetWindowsDirectoryA(buffer, static_cast<UINT>(kWindowsDirectorySize));
  return FittingText(buffer, kWindowsDirectorySize, result);
}

std::string_view FetchTempPath(Platform& platform, char (&buffer)[kTempPathSize]) {
  std::fill(std::begin(buffer), std::end(buffer), '\0');
  const DWORD result = platform.GetTempPathA(static_cast<DWORD>(kTempPathSize), buffer);
  const std::string_view text = FittingText(buffer, kTempPathSize, result);
  return text.empty() || IsRefusedTempFolder(platform, text) ? std::string_view() : text;
}

}  // namespace folder_walk

namespace {

// The two searches directly in the Windows directory: no subfolder entered, no
// cancel flag, nothing excluded.
FindSpec WindowsDirectorySpec(std::string_view windowsDirectory, bool returnFolders,
                              const char* includeFiles) {
  FindSpec spec;
  spec.bRecursive = false;
  spec.bReturnFolders = returnFolders;
  spec.pbCancel = nullptr;
  spec.strFolder = std::string(windowsDirectory);
  spec.strIncludeFiles = includeFiles;
  spec.strExcludeFiles.clear();
  spec.strExcludeFolders.clear();
  return spec;
}

}  // namespace

FindSpec WindowsTmpFilesSpec(std::string_view windowsDirectory) {
  return WindowsDirectorySpec(windowsDirectory, false, "*.tmp");
}

void ListHotfixFolders(Platform& platform, std::vector<FoundFile>& list) {
  char windows[folder_walk::kWindowsDirectorySize];
  const std::string_view windowsText = folder_walk::FetchWindowsDirectory(platform, windows);
  if (windowsText.empty()) return;

  // "a.a" matches no file that matters: the search is after the folders, which
  // the finder returns whatever their names.
  CFileFinder finder(platform, WindowsDirectorySpec(windowsText, true, "a.a"));
  finder.Find();

  for (const FoundFile& found : finder.Results()) {
    if (folder_walk::IsFolder(found.findData.dwFileAttributes) &&
        found.findData.cFileName[0] == '$') {
      list.push_back(found);
    }
  }
}
