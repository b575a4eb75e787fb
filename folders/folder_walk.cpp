#include "folders/folder_walk.h"

bool IsGuidShapedName(std::string_view name) {
  return name.size() >= 20 && name[0] == '{' && name[9] == '-' && name[14] == '-' &&
         name[19] == '-';
}

namespace folder_walk {

CleaningRules RulesFor(std::int64_t now, DWORD keepDays, bool skipUndeletable) {
  constexpr std::int64_t kTicksPerDay = 864000000000;
  CleaningRules rules;
  rules.skipUndeletable = skipUndeletable;
  if (keepDays == 0) return rules;
  rules.keepAfter =
      now <= 0 ? INT64_MIN : now - std::min<std::int64_t>(keepDays, 36500) * kTicksPerDay;
  return rules;
}

namespace {

// The attributes the entry's own handle gives, or INVALID_FILE_ATTRIBUTES.
DWORD AttributesOf(Platform& platform, HANDLE handle) {
  FILE_BASIC_INFORMATION basic{};
  IO_STATUS_BLOCK io{};
  const NTSTATUS status =
      platform.NtQueryInformationFile(handle, &io, &basic, sizeof(basic), FileBasicInformation);
  return NtSuccess(status) ? basic.FileAttributes : INVALID_FILE_ATTRIBUTES;
}

}  // namespace

ScopedFileHandle OpenFolder(Platform& platform, const char* path, ACCESS_MASK extraAccess,
                            DWORD* error) {
  ScopedFileHandle folder(
      platform, platform.CreateFileA(
                    path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE | extraAccess,
                    kHoldShare, nullptr, OPEN_EXISTING,
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

bool IdentityOf(Platform& platform, HANDLE handle, Identity& identity) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!platform.GetFileInformationByHandle(handle, &information)) return false;
  identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
              information.nFileIndexLow};
  return true;
}

bool FileIndexOf(Platform& platform, HANDLE handle, std::int64_t& index) {
  FILE_INTERNAL_INFORMATION internal{};
  IO_STATUS_BLOCK io{};
  if (!NtSuccess(platform.NtQueryInformationFile(handle, &io, &internal, sizeof(internal),
                                                 FileInternalInformation))) {
    return false;
  }
  index = internal.IndexNumber.QuadPart;
  return true;
}

OpenedEntry OpenToDelete(Platform& platform, HANDLE folder, const ListedEntry& entry, ULONG share) {
  OpenedEntry opened{ScopedFileHandle(platform), STATUS_SUCCESS, entry.attributes};
  opened.status = OpenRelative(platform, folder, entry.name, DELETE, share,
                               FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE, opened.handle);
  return opened;
}

OpenedEntry OpenEntry(Platform& platform, HANDLE folder, const ListedEntry& entry,
                      ACCESS_MASK access, ULONG share) {
  OpenedEntry opened{ScopedFileHandle(platform), STATUS_SUCCESS, entry.attributes};
  opened.status = OpenRelative(platform, folder, entry.name, access, share, 0, opened.handle);
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
