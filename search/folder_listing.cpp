#include "search/folder_listing.h"

#include <cstddef>

namespace {

bool IsSelfOrParent(WideName name) {
  return (name.size() == 1 || name.size() == 2) && name[0] == '.' && name.back() == '.';
}

}  // namespace

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
    const WideName name(record->FileName, record->FileNameLength / sizeof(WCHAR));
    if (name.empty() || IsSelfOrParent(name)) continue;
    // An entry whose ANSI name cannot be had cannot be judged by the GUID
    // rule or the patterns: it is passed over.
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
    entry.creationTime = record->CreationTime.QuadPart;
    entry.lastAccessTime = record->LastAccessTime.QuadPart;
    entry.lastWriteTime = record->LastWriteTime.QuadPart;
    return true;
  }
}

NTSTATUS OpenRelative(Platform& platform, HANDLE folder, WideName name, ACCESS_MASK access,
                      ULONG share, ULONG options, ScopedFileHandle& opened) {
  opened.reset();
  const std::size_t bytes = name.size() * sizeof(WCHAR);
  if (bytes == 0 || bytes > 0xFFFE) return STATUS_OBJECT_NAME_INVALID;
  UNICODE_STRING text{static_cast<USHORT>(bytes), static_cast<USHORT>(bytes),
                      const_cast<WCHAR*>(name.data())};
  OBJECT_ATTRIBUTES object{sizeof(OBJECT_ATTRIBUTES), folder,  &text,
                           OBJ_CASE_INSENSITIVE,      nullptr, nullptr};
  IO_STATUS_BLOCK io{};
  HANDLE handle = nullptr;
  const NTSTATUS status =
      platform.NtOpenFile(&handle, access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &object, &io, share,
                          options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT |
                              FILE_OPEN_FOR_BACKUP_INTENT | FILE_COMPLETE_IF_OPLOCKED);
  if (!NtSuccess(status)) return status;
  opened.reset(handle);
  if (status != STATUS_OPLOCK_BREAK_IN_PROGRESS) return status;
  opened.reset();
  return STATUS_SHARING_VIOLATION;
}
