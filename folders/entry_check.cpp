#include "folders/entry_check.h"

namespace folder_walk {

PathKind CurrentKind(Platform& platform, const char* path) {
  const DWORD attributes = platform.GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kUnknown;
  if (IsLink(attributes)) return PathKind::kLink;
  return IsFolder(attributes) ? PathKind::kPlainFolder : PathKind::kPlainFile;
}

}  // namespace folder_walk
