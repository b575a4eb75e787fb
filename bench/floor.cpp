// The least a cleaner of the temporary folder must ask of Win32: one walk of
// the folder summing its files' sizes, then one depth-first delete, both
// leaving the GUID-shaped folders at its top alone as sweepwell.exe does. The
// yardstick that forced runs of sweepwell.exe are timed against: no registry,
// no Windows directory, no link checks, no removal tried before a folder is
// emptied.
//
// Words after the program's path each add one kind of sweepwell.exe's extra
// calls, to show what that kind costs:
//   attrs    GetFileAttributesA on each subfolder before either walk enters it,
//            and on each read-only file before its attributes are changed
//   rmfirst  RemoveDirectoryA on each subfolder before it is emptied
// Exit code 0, or 1 when the temporary folder cannot be had.
#include <cstring>

#include "bench/floor_paths.h"
#include "platform/win32_types.h"

namespace {

using floor_paths::AppendName;
using floor_paths::IsDots;
using floor_paths::IsGuidShaped;
using floor_paths::StartPath;

bool checkAttributes = false;
bool removeFirst = false;

unsigned long long FolderSize(const char* folder, bool guard) {
  char path[MAX_PATH];
  const std::size_t start = StartPath(path, folder);
  if (start == 0 || !AppendName(path, start, "*")) return 0;
  WIN32_FIND_DATAA entry;
  HANDLE listing = FindFirstFileA(path, &entry);
  if (listing == INVALID_HANDLE_VALUE) return 0;
  unsigned long long total = 0;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      total += (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    } else if (!IsDots(entry.cFileName) && !(guard && IsGuidShaped(entry.cFileName)) &&
               AppendName(path, start, entry.cFileName)) {
      if (checkAttributes) GetFileAttributesA(path);
      total += FolderSize(path, false);
    }
  } while (FindNextFileA(listing, &entry));
  FindClose(listing);
  return total;
}

void PurgeContents(const char* folder, bool guard) {
  char path[MAX_PATH];
  const std::size_t start = StartPath(path, folder);
  if (start == 0 || !AppendName(path, start, "*")) return;
  WIN32_FIND_DATAA entry;
  HANDLE listing = FindFirstFileA(path, &entry);
  if (listing == INVALID_HANDLE_VALUE) return;
  do {
    if (IsDots(entry.cFileName) || !AppendName(path, start, entry.cFileName)) continue;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        if (checkAttributes) GetFileAttributesA(path);
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
      }
      DeleteFileA(path);
    } else if (!(guard && IsGuidShaped(entry.cFileName))) {
      if (checkAttributes) GetFileAttributesA(path);
      if (!(removeFirst && RemoveDirectoryA(path))) PurgeContents(path, false);
      RemoveDirectoryA(path);
    }
  } while (FindNextFileA(listing, &entry));
  FindClose(listing);
}

bool HasWord(const char* commandLine, const char* word) {
  const std::size_t length = std::strlen(word);
  for (const char* at = std::strstr(commandLine, word); at != nullptr;
       at = std::strstr(at + 1, word)) {
    if (at > commandLine && at[-1] == ' ' && (at[length] == '\0' || at[length] == ' ')) {
      return true;
    }
  }
  return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* commandLine = GetCommandLineA();
  checkAttributes = HasWord(commandLine, "attrs");
  removeFirst = HasWord(commandLine, "rmfirst");

  char temp[MAX_PATH];
  DWORD length = GetTempPathA(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH) return 1;
  while (length > 0 && temp[length - 1] == '\\') temp[--length] = '\0';
  if (length <= 2) return 1;  // never a drive's root

  volatile unsigned long long bytes = FolderSize(temp, true);
  static_cast<void>(bytes);
  PurgeContents(temp, true);
  return 0;
}
