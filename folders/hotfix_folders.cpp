#include "folders/hotfix_folders.h"

#include <string>
#include <string_view>
#include <utility>

#include "folders/entry_check.h"
#include "folders/system_folders.h"

void ListHotfixFolders(Platform& platform, std::vector<FoundFile>& list) {
  char windows[folder_walk::kWindowsDirectorySize];
  const std::string_view windowsText = folder_walk::FetchWindowsDirectory(platform, windows);
  if (windowsText.empty()) return;

  FindSpec spec;
  spec.bRecursive = false;
  spec.bReturnFolders = true;
  spec.pbCancel = nullptr;
  spec.strFolder = std::string(windowsText);
  // Matches no file that matters: the search is after the folders, which the
  // finder returns whatever their names.
  spec.strIncludeFiles = "a.a";
  spec.strExcludeFiles.clear();
  spec.strExcludeFolders.clear();
  CFileFinder finder(platform, std::move(spec));
  finder.Find();

  for (const FoundFile& found : finder.Results()) {
    if (folder_walk::IsFolder(found.findData.dwFileAttributes) &&
        found.findData.cFileName[0] == '$') {
      list.push_back(found);
    }
  }
}
