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

// A drive path as a list of parts that compare: "/" read as "\", the "\\?\"
// and "\\.\" prefixes dropped, empty parts and "." left out, ".." resolved
// (never above the root), ASCII letters folded. Anything else (a network path,
// a volume's device name, a relative path) is not absolute.
struct Place {
  bool absolute = false;
  std::vector<std::string> parts;  // the drive ("C:") first

  // The folder that the first `count` parts name, as a path to open.
  std::string Path(std::size_t count) const {
    std::string path;
    for (std::size_t i = 0; i < count; ++i) path += parts[i] + "\\";
    return path;
  }
};

Place PlaceOf(std::string_view text) {
  std::string path(text);
  std::replace(path.begin(), path.end(), '/', '\\');
  auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (path.size() >= 6 && path.compare(0, 2, "\\\\") == 0 && (path[2] == '?' || path[2] == '.') &&
      path[3] == '\\') {
    path.erase(0, 4);
  }
  Place place;
  // Only the drive's ":": any other names a stream or a device.
  if (path.size() < 2 || !isLetter(path[0]) || path[1] != ':' ||
      path.find(':', 2) != std::string::npos) {
    return place;
  }
  place.absolute = true;
  std::string part;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '\\') {
      part += path[i] >= 'a' && path[i] <= 'z' ? static_cast<char>(path[i] - 'a' + 'A') : path[i];
      continue;
    }
    if (part == "..") {
      if (place.parts.size() > 1) place.parts.pop_back();
    } else if (!part.empty() && part != ".") {
      place.parts.push_back(part);
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

// Reads USERPROFILE or the Windows directory into `buffer`; empty when it
// cannot be had whole.
std::string_view Profile(Platform& platform, char (&buffer)[MAX_PATH]) {
  std::fill(std::begin(buffer), std::end(buffer), '\0');
  return FittingText(buffer, MAX_PATH,
                     platform.GetEnvironmentVariableA("USERPROFILE", buffer, MAX_PATH));
}
std::string_view WindowsDirectory(Platform& platform, char (&buffer)[MAX_PATH]) {
  std::fill(std::begin(buffer), std::end(buffer), '\0');
  return FittingText(buffer, MAX_PATH, platform.GetWindowsDirectoryA(buffer, MAX_PATH));
}

// The folders that must never be emptied as the temporary folder, by their
// spelling, whatever TMP and TEMP say (GetTempPathA falls back to the profile
// and then the Windows directory when they are unset): a drive's root, the
// Windows directory or a folder that holds it, the user's profile or a folder
// that holds it. A path that is not a drive's is refused too, and so is any
// when the Windows directory cannot be had to compare with.
bool IsRefusedSpelling(Platform& platform, std::string_view text) {
  const Place temp = PlaceOf(text);
  if (!temp.absolute || temp.parts.size() <= 1) return true;
  char other[MAX_PATH];
  const Place windows = PlaceOf(WindowsDirectory(platform, other));
  if (!windows.absolute || Holds(temp, windows)) return true;
  return Holds(temp, PlaceOf(Profile(platform, other)));
}

// The identities of the folder a drive path names and of each folder above
// it up to its root, each opened by its path (links followed, as the
// system's own paths lead). False when one of them cannot be had.
bool AddFolderAndAbove(Platform& platform, std::string_view text, std::vector<Identity>& out) {
  const Place place = PlaceOf(text);
  if (!place.absolute) return false;
  for (std::size_t count = place.parts.size(); count >= 1; --count) {
    const ScopedFileHandle folder(
        platform,
        platform.CreateFileA(place.Path(count).c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    Identity identity;
    if (!folder || !IdentityOf(platform, folder.get(), identity)) return false;
    out.push_back(identity);
  }
  return true;
}

// Whether the folder `handle` holds is a volume's root, whose path on its
// volume is "\".
bool IsVolumeRoot(Platform& platform, HANDLE handle) {
  union {
    FILE_NAME_INFORMATION name;
    unsigned char room[sizeof(FILE_NAME_INFORMATION) + 8 * sizeof(WCHAR)];
  } information{};
  IO_STATUS_BLOCK io{};
  return NtSuccess(platform.NtQueryInformationFile(handle, &io, &information, sizeof(information),
                                                   FileNameInformation)) &&
         information.name.FileNameLength == sizeof(WCHAR) && information.name.FileName[0] == '\\';
}

// What the held temporary folder is, against what must never be emptied.
bool IsRefusedIdentity(Platform& platform, HANDLE temp) {
  Identity identity;
  if (!IdentityOf(platform, temp, identity) || IsVolumeRoot(platform, temp)) return true;
  std::vector<Identity> refused;
  char text[MAX_PATH];
  if (!AddFolderAndAbove(platform, WindowsDirectory(platform, text), refused)) return true;
  // A profile that cannot be had leaves its spelling's refusal alone.
  AddFolderAndAbove(platform, Profile(platform, text), refused);
  return std::find(refused.begin(), refused.end(), identity) != refused.end();
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
  return text.empty() || IsRefusedSpelling(platform, text) ? std::string_view() : text;
}

HeldPlace OpenWindowsDirectory(Platform& platform) {
  char buffer[kWindowsDirectorySize];
  HeldPlace windows{ScopedFileHandle(platform),
                    std::string(FetchWindowsDirectory(platform, buffer))};
  if (!windows.text.empty()) windows.handle = OpenFolder(platform, windows.text.c_str(), 0);
  return windows;
}

HeldPlace OpenTempFolder(Platform& platform, const std::string* instead) {
  char buffer[kTempPathSize];
  HeldPlace temp{ScopedFileHandle(platform), std::string()};
  if (instead == nullptr) {
    temp.text = std::string(FetchTempPath(platform, buffer));
  } else if (instead->size() < kTempPathSize && !IsRefusedSpelling(platform, *instead)) {
    temp.text = *instead;
  }
  if (temp.text.empty()) return temp;
  char path[kTempPathSize];
  std::string_view folder = temp.text;
  if (folder.back() == '\\') folder.remove_suffix(1);
  if (!CopyFolderPath(path, folder)) return temp;
  temp.handle = OpenFolder(platform, path, 0);
  if (temp.handle && IsRefusedIdentity(platform, temp.handle.get())) temp.handle.reset();
  return temp;
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

std::vector<FoundFile> FindWindowsTmpFiles(Platform& platform,
                                           const folder_walk::HeldPlace& windows) {
  if (!windows) return {};
  CFileFinder finder(platform, WindowsTmpFilesSpec(windows.text), windows.handle.get());
  finder.Find();
  return finder.Results();
}

void ListHotfixFolders(Platform& platform, const folder_walk::HeldPlace& windows,
                       std::vector<FoundFile>& list) {
  if (!windows) return;
  // "a.a" matches no file that matters: the search is after the folders, which
  // the finder returns whatever their names.
  CFileFinder finder(platform, WindowsDirectorySpec(windows.text, true, "a.a"),
                     windows.handle.get());
  finder.Find();

  for (const FoundFile& found : finder.Results()) {
    if (folder_walk::IsFolder(found.findData.dwFileAttributes) &&
        found.findData.cFileName[0] == '$') {
      list.push_back(found);
    }
  }
}
