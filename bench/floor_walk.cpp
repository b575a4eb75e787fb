#include "bench/floor_walk.h"

#include <cstddef>

namespace {

constexpr ULONG kBufferSize = 4096;

HANDLE OpenIn(Platform& platform, HANDLE folder, const FILE_DIRECTORY_INFORMATION& entry,
              ACCESS_MASK access) {
  UNICODE_STRING name{static_cast<USHORT>(entry.FileNameLength),
                      static_cast<USHORT>(entry.FileNameLength),
                      const_cast<WCHAR*>(entry.FileName)};
  OBJECT_ATTRIBUTES object{sizeof(OBJECT_ATTRIBUTES), folder,  &name,
                           OBJ_CASE_INSENSITIVE,      nullptr, nullptr};
  IO_STATUS_BLOCK io{};
  HANDLE handle = nullptr;
  const NTSTATUS status =
      platform.NtOpenFile(&handle, access | SYNCHRONIZE, &object, &io, FILE_SHARE_READ,
                          FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT);
  return NtSuccess(status) ? handle : nullptr;
}

bool IsDots(const FILE_DIRECTORY_INFORMATION& entry) {
  return entry.FileName[0] == '.' &&
         (entry.FileNameLength == sizeof(WCHAR) ||
          (entry.FileNameLength == 2 * sizeof(WCHAR) && entry.FileName[1] == '.'));
}

bool IsGuidShaped(const FILE_DIRECTORY_INFORMATION& entry) {
  return entry.FileNameLength >= 20 * sizeof(WCHAR) && entry.FileName[0] == '{' &&
         entry.FileName[9] == '-' && entry.FileName[14] == '-' && entry.FileName[19] == '-';
}

void DeleteOnClose(Platform& platform, HANDLE handle) {
  FILE_DISPOSITION_INFORMATION disposition{TRUE};
  IO_STATUS_BLOCK io{};
  platform.NtSetInformationFile(handle, &io, &disposition, sizeof(disposition),
                                FileDispositionInformation);
}

// Calls `visit` for each entry `folder` lists, "." and ".." left out.
template <typename Visit>
void ForEachEntry(Platform& platform, HANDLE folder, Visit visit) {
  alignas(8) unsigned char buffer[kBufferSize];
  IO_STATUS_BLOCK io{};
  while (NtSuccess(platform.NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, buffer,
                                                 kBufferSize, FileDirectoryInformation, FALSE,
                                                 nullptr, FALSE))) {
    for (ULONG at = 0;;) {
      const auto& entry = *reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(buffer + at);
      if (!IsDots(entry)) visit(entry);
      if (entry.NextEntryOffset == 0) break;
      at += entry.NextEntryOffset;
    }
  }
}

std::uint64_t SizeOf(Platform& platform, HANDLE folder, bool guard) {
  std::uint64_t total = 0;
  ForEachEntry(platform, folder, [&](const FILE_DIRECTORY_INFORMATION& entry) {
    if ((entry.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      total += static_cast<std::uint64_t>(entry.EndOfFile.QuadPart);
    } else if (!(guard && IsGuidShaped(entry))) {
      if (HANDLE sub = OpenIn(platform, folder, entry, FILE_LIST_DIRECTORY)) {
        total += SizeOf(platform, sub, false);
        platform.NtClose(sub);
      }
    }
  });
  return total;
}

void Purge(Platform& platform, HANDLE folder, bool guard) {
  ForEachEntry(platform, folder, [&](const FILE_DIRECTORY_INFORMATION& entry) {
    const bool isFolder = (entry.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder && guard && IsGuidShaped(entry)) return;
    HANDLE handle = OpenIn(platform, folder, entry,
                           DELETE | (isFolder ? FILE_LIST_DIRECTORY : FILE_WRITE_ATTRIBUTES));
    if (handle == nullptr) return;
    if (isFolder) {
      Purge(platform, handle, false);
    } else if ((entry.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
      FILE_BASIC_INFORMATION basic{};
      basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      IO_STATUS_BLOCK io{};
      platform.NtSetInformationFile(handle, &io, &basic, sizeof(basic), FileBasicInformation);
    }
    DeleteOnClose(platform, handle);
    platform.NtClose(handle);
  });
}

HANDLE OpenTop(Platform& platform, const char* folder) {
  HANDLE handle = platform.CreateFileA(
      folder, FILE_LIST_DIRECTORY | SYNCHRONIZE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

}  // namespace

std::uint64_t FloorFolderSize(Platform& platform, const char* folder, bool guard) {
  HANDLE top = OpenTop(platform, folder);
  if (top == nullptr) return 0;
  const std::uint64_t total = SizeOf(platform, top, guard);
  platform.NtClose(top);
  return total;
}

void FloorPurgeContents(Platform& platform, const char* folder, bool guard) {
  if (HANDLE top = OpenTop(platform, folder)) {
    Purge(platform, top, guard);
    platform.NtClose(top);
  }
}
