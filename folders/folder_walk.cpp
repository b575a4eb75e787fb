#include "folders/folder_walk.h"

#include <cstddef>

bool IsGuidShapedName(std::string_view name) {
  return name.size() >= 20 && name[0] == '{' && name[9] == '-' && name[14] == '-' &&
         name[19] == '-';
}

namespace folder_walk {

namespace {

// The attributes the entry's own handle gives, or INVALID_FILE_ATTRIBUTES.
DWORD AttributesOf(Platform& platform, HANDLE handle) {
  FILE_BASIC_INFORMATION basic{};
  IO_STATUS_BLOCK io{};
  const NTSTATUS status =
      platform.NtQueryInformationFile(handle, &io, &basic, sizeof(basic), FileBasicInformation);
  return NtSuccess(status) ? basic.FileAttributes : INVALID_FILE_ATTRIBUTES;
}

bool IsSelfOrParent(std::basic_string_view<WCHAR> name) {
  return (name.size() == 1 || name.size() == 2) && name[0] == '.' && name.back() == '.';
}

}  // namespace

ScopedFileHandle OpenFolder(Platform& platform, const char* path, ACCESS_MASK extraAccess,
                            DWORD* error) {
  ScopedFileHandle folder(
      platform, platform.CreateFileA(
                    path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE | extraAccess,
                    FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder) {
    if (error != nullptr) *error = platform.GetLastError();
    return folder;
  }
  if (error != nullptr) *error = 0;
  const DWORD attributes = AttributesOf(platform, folder.get());
  if (attributes == INVALID_FILE_ATTRIBUTES || KindOf(attributes) != Kind::kFolder) folder.reset();
  return folder;
}

FolderListing::FolderListing(Platform& platform, HANDLE folder)
    : platform_(platform), folder_(folder), buffer_(new unsigned char[kBufferSize]) {}

bool FolderListing::Next(ListedEntry& entry) {
  constexpr ULONG kNameOffset = offsetof(FILE_DIRECTORY_INFORMATION, FileName);
  for (;;) {
    if (at_ >= filled_) {
      if (ended_) return false;
      IO_STATUS_BLOCK io{};
      const NTSTATUS status = platform_.NtQueryDirectoryFile(
          folder_, nullptr, nullptr, nullptr, &io, buffer_.get(), kBufferSize,
          FileDirectoryInformation, FALSE, nullptr, started_ ? FALSE : TRUE);
      started_ = true;
      if (!NtSuccess(status) || io.Information == 0 || io.Information > kBufferSize) {
        ended_ = true;
        return false;
      }
      filled_ = static_cast<ULONG>(io.Information);
      at_ = 0;
    }
    // Records are read only where they lie wholly inside what was filled.
    const auto* record = reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(buffer_.get() + at_);
    if (filled_ - at_ < kNameOffset || (filled_ - at_ - kNameOffset) < record->FileNameLength) {
      at_ = filled_;
      continue;
    }
    const ULONG next = record->NextEntryOffset;
    at_ = next == 0 || next > filled_ - at_ ? filled_ : at_ + next;
    const std::basic_string_view<WCHAR> name(record->FileName,
                                             record->FileNameLength / sizeof(WCHAR));
    if (name.empty() || IsSelfOrParent(name)) continue;
    // An entry whose ANSI name cannot be had cannot be judged by the GUID
    // rule: it is passed over.
    ULONG length = 0;
    if (!NtSuccess(
            platform_.RtlUnicodeToMultiByteN(ansi_, sizeof(ansi_), &length, name.data(),
                                             static_cast<ULONG>(name.size() * sizeof(WCHAR)))) ||
        length == 0 || length > sizeof(ansi_)) {
      continue;
    }
    entry.name = name;
    entry.ansi = std::string_view(ansi_, length);
    entry.attributes = record->FileAttributes;
    entry.bytes = static_cast<std::uint64_t>(record->EndOfFile.QuadPart);
    return true;
  }
}

namespace {

OpenedEntry Open(Platform& platform, HANDLE folder, const ListedEntry& entry, ACCESS_MASK access,
                 ULONG share, ULONG options) {
  OpenedEntry opened{ScopedFileHandle(platform), STATUS_OBJECT_NAME_INVALID, entry.attributes};
  const std::size_t bytes = entry.name.size() * sizeof(WCHAR);
  if (bytes == 0 || bytes > 0xFFFE) return opened;
  UNICODE_STRING name{static_cast<USHORT>(bytes), static_cast<USHORT>(bytes),
                      const_cast<WCHAR*>(entry.name.data())};
  OBJECT_ATTRIBUTES object{sizeof(OBJECT_ATTRIBUTES), folder,  &name,
                           OBJ_CASE_INSENSITIVE,      nullptr, nullptr};
  IO_STATUS_BLOCK io{};
  HANDLE handle = nullptr;
  opened.status =
      platform.NtOpenFile(&handle, access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &object, &io, share,
                          options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT |
                              FILE_OPEN_FOR_BACKUP_INTENT);
  if (NtSuccess(opened.status)) opened.handle.reset(handle);
  return opened;
}

}  // namespace

OpenedEntry OpenToDelete(Platform& platform, HANDLE folder, const ListedEntry& entry, ULONG share) {
  return Open(platform, folder, entry, DELETE, share,
              FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE);
}

OpenedEntry OpenEntry(Platform& platform, HANDLE folder, const ListedEntry& entry,
                      ACCESS_MASK access, ULONG share) {
  OpenedEntry opened = Open(platform, folder, entry, access, share, 0);
  if (!opened.handle) return opened;
  opened.attributes = AttributesOf(platform, opened.handle.get());
  // Asked on its own handle, the entry must be what the listing said: a
  // folder swapped for a link since, say, is left alone.
  if (opened.attributes == INVALID_FILE_ATTRIBUTES ||
      KindOf(opened.attributes) != KindOf(entry.attributes)) {
    opened.handle.reset();
    opened.status = STATUS_OBJECT_TYPE_MISMATCH;
  }
  return opened;
}

NTSTATUS DeleteOnClose(Platform& platform, HANDLE entry) {
  FILE_DISPOSITION_INFORMATION disposition{TRUE};
  IO_STATUS_BLOCK io{};
  return platform.NtSetInformationFile(entry, &io, &disposition, sizeof(disposition),
                                       FileDispositionInformation);
}

}  // namespace folder_walk
