#include "folders/folder_walk.h"

bool IsGuidShapedName(std::string_view name) {
  return name.size() >= 20 && name[0] == '{' && name[9] == '-' && name[14] == '-' &&
         name[19] == '-';
}

namespace folder_walk {

PathKind CurrentKind(Platform& platform, const char* path) {
  const DWORD attributes = platform.GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kUnknown;
  if (IsLink(attributes)) return PathKind::kLink;
  return IsFolder(attributes) ? PathKind::kPlainFolder : PathKind::kPlainFile;
}

}  // namespace folder_walk
