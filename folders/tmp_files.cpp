#include "folders/tmp_files.h"

#include <string>

FindSpec WindowsTmpFilesSpec(std::string_view windowsDirectory) {
  FindSpec spec;
  spec.bRecursive = false;
  spec.bReturnFolders = false;
  spec.pbCancel = nullptr;
  spec.strFolder = std::string(windowsDirectory);
  spec.strIncludeFiles = "*.tmp";
  return spec;
}
