#include "folders/windows_places.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>

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

// A drive's root ("C:\", or "\" for the current drive's) as the temporary
// folder, from a TMP set carelessly, would have the pass empty the whole drive.
bool IsDriveRoot(std::string_view text) {
  while (!text.empty() && (text.back() == '\\' || text.back() == '/')) text.remove_suffix(1);
  return text.empty() || (text.size() == 2 && text[1] == ':');
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
  return IsDriveRoot(text) ? std::string_view() : text;
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
