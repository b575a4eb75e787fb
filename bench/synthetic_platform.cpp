#include "bench/synthetic_platform.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

struct FixedEntry {
  const char* name;
  DWORD attributes;
};

// What the Windows directory lists: no "*.tmp" file and no hotfix backup
// folder, so the estimate's cost there stays small and fixed.
constexpr FixedEntry kWindowsEntries[] = {
    {".", FILE_ATTRIBUTE_DIRECTORY},          {"..", FILE_ATTRIBUTE_DIRECTORY},
    {"explorer.exe", FILE_ATTRIBUTE_ARCHIVE}, {"System32", FILE_ATTRIBUTE_DIRECTORY},
    {"win.ini", FILE_ATTRIBUTE_ARCHIVE},
};
constexpr std::uint32_t kWindowsEntryCount = sizeof kWindowsEntries / sizeof kWindowsEntries[0];

std::string_view WithoutTrailingSeparators(std::string_view text) {
  while (!text.empty() && text.back() == '\\') text.remove_suffix(1);
  return text;
}

std::string_view LastComponent(std::string_view text) {
  const std::size_t separator = text.rfind('\\');
  return separator == std::string_view::npos ? text : text.substr(separator + 1);
}

HANDLE HandleOf(std::uint32_t index) {
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(index) + 1);
}

std::uint32_t IndexOf(HANDLE handle) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle) - 1);
}

void SetName(WIN32_FIND_DATAA* data, std::string_view name) {
  std::memcpy(data->cFileName, name.data(), name.size());
  data->cFileName[name.size()] = '\0';
}

}  // namespace

SyntheticPlatform::SyntheticPlatform(const SyntheticTree& tree)
    : tree_(tree), gone_(tree.FolderCount(), 0) {}

void SyntheticPlatform::Restore() {
  std::fill(gone_.begin(), gone_.end(), 0u);
  counts_ = Counts{};
}

std::uint32_t SyntheticPlatform::FolderOf(const char* path, std::size_t length) const {
  const std::string_view text = WithoutTrailingSeparators(std::string_view(path, length));
  if (text == kWindowsDirectory) return kWindows;
  if (text == WithoutTrailingSeparators(kTempPath)) return 0;
  std::uint32_t folder = 0;
  return tree_.FolderIndex(LastComponent(text), folder) ? folder : kNone;
}

std::uint32_t SyntheticPlatform::ParentOf(const char* path) const {
  const std::string_view text = WithoutTrailingSeparators(path);
  const std::size_t separator = text.rfind('\\');
  if (separator == std::string_view::npos) return kNone;
  return FolderOf(text.data(), separator);
}

bool SyntheticPlatform::Fill(const Cursor& cursor, WIN32_FIND_DATAA* data) const {
  *data = WIN32_FIND_DATAA{};
  std::uint32_t position = cursor.next;
  if (cursor.folder == kWindows) {
    if (position >= kWindowsEntryCount) return false;
    data->dwFileAttributes = kWindowsEntries[position].attributes;
    SetName(data, kWindowsEntries[position].name);
    return true;
  }
  if (position < 2) {
    data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    SetName(data, position == 0 ? "." : "..");
    return true;
  }
  position -= 2;
  SyntheticTree::NameBuffer name;
  const std::uint32_t files = tree_.FileCount(cursor.folder);
  if (position < files) {
    const std::uint64_t size = tree_.FileSize(cursor.folder, position);
    data->dwFileAttributes = tree_.FileAttributes(cursor.folder, position);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    SetName(data, tree_.FileName(cursor.folder, position, name));
    return true;
  }
  position -= files;
  if (position >= tree_.ChildCount(cursor.folder)) return false;
  const std::uint32_t child = tree_.FirstChild(cursor.folder) + position;
  data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  SetName(data, tree_.FolderName(child, name));
  return true;
}

HANDLE SyntheticPlatform::FindFirstFileA(LPCSTR lpFileName, WIN32_FIND_DATAA* lpFindFileData) {
  ++counts_.findFirst;
  std::string_view pattern(lpFileName);
  // The walks list everything, with "\*.*" or "\*".
  if (pattern.size() >= 3 && pattern.substr(pattern.size() - 3) == "*.*") {
    pattern.remove_suffix(3);
  } else if (!pattern.empty() && pattern.back() == '*') {
    pattern.remove_suffix(1);
  } else {
    lastError_ = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  const std::uint32_t folder = FolderOf(pattern.data(), pattern.size());
  if (folder == kNone) {
    lastError_ = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  std::uint32_t index;
  if (!freeCursors_.empty()) {
    index = freeCursors_.back();
    freeCursors_.pop_back();
  } else {
    index = static_cast<std::uint32_t>(cursors_.size());
    cursors_.emplace_back();
  }
  cursors_[index] = Cursor{folder, 0};
  ++openCursors_;
  Fill(cursors_[index], lpFindFileData);
  return HandleOf(index);
}

BOOL SyntheticPlatform::FindNextFileA(HANDLE hFindFile, WIN32_FIND_DATAA* lpFindFileData) {
  ++counts_.findNext;
  Cursor& cursor = cursors_[IndexOf(hFindFile)];
  ++cursor.next;
  if (Fill(cursor, lpFindFileData)) return TRUE;
  lastError_ = ERROR_NO_MORE_FILES;
  return FALSE;
}

BOOL SyntheticPlatform::FindClose(HANDLE hFindFile) {
  ++counts_.findClose;
  freeCursors_.push_back(IndexOf(hFindFile));
  --openCursors_;
  return TRUE;
}

DWORD SyntheticPlatform::GetFileAttributesA(LPCSTR lpFileName) {
  ++counts_.getAttributes;
  return FolderOf(lpFileName, std::strlen(lpFileName)) != kNone ? FILE_ATTRIBUTE_DIRECTORY
                                                                : FILE_ATTRIBUTE_ARCHIVE;
}

BOOL SyntheticPlatform::SetFileAttributesA(LPCSTR, DWORD) {
  ++counts_.setAttributes;
  return TRUE;
}

BOOL SyntheticPlatform::DeleteFileA(LPCSTR lpFileName) {
  ++counts_.deleteFile;
  const std::uint32_t parent = ParentOf(lpFileName);
  if (parent != kNone && parent != kWindows) ++gone_[parent];
  return TRUE;
}

BOOL SyntheticPlatform::RemoveDirectoryA(LPCSTR lpPathName) {
  ++counts_.removeDirectory;
  const std::uint32_t folder = FolderOf(lpPathName, std::strlen(lpPathName));
  if (folder == kNone || folder == kWindows) {
    ++counts_.removeDirectoryFailed;
    lastError_ = folder == kNone ? ERROR_DIRECTORY : ERROR_DIR_NOT_EMPTY;
    return FALSE;
  }
  if (gone_[folder] < tree_.FileCount(folder) + tree_.ChildCount(folder)) {
    ++counts_.removeDirectoryFailed;
    lastError_ = ERROR_DIR_NOT_EMPTY;
    return FALSE;
  }
  if (folder != 0) ++gone_[tree_.Parent(folder)];
  return TRUE;
}

UINT SyntheticPlatform::SetErrorMode(UINT uMode) { return uMode; }

LPSTR SyntheticPlatform::GetCommandLineA() {
  static char commandLine[] = "C:\\Tools\\sweepwell.exe 1";
  return commandLine;
}

void SyntheticPlatform::GetLocalTime(SYSTEMTIME* lpSystemTime) {
  *lpSystemTime = SYSTEMTIME{};
  lpSystemTime->wYear = 2026;
  lpSystemTime->wMonth = 12;
  lpSystemTime->wDay = 6;
}

LSTATUS SyntheticPlatform::RegOpenKeyA(HKEY, LPCSTR, HKEY* phkResult) {
  *phkResult = nullptr;
  return ERROR_FILE_NOT_FOUND;
}

LSTATUS SyntheticPlatform::RegCreateKeyA(HKEY, LPCSTR, HKEY* phkResult) {
  *phkResult = nullptr;
  return ERROR_ACCESS_DENIED;
}

LSTATUS SyntheticPlatform::RegQueryValueExA(HKEY, LPCSTR, DWORD*, DWORD*, BYTE*, DWORD*) {
  return ERROR_INVALID_HANDLE;
}

LSTATUS SyntheticPlatform::RegSetValueExA(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD) {
  return ERROR_INVALID_HANDLE;
}

LSTATUS SyntheticPlatform::RegDeleteKeyA(HKEY, LPCSTR) { return ERROR_INVALID_HANDLE; }

LSTATUS SyntheticPlatform::RegCloseKey(HKEY) { return ERROR_INVALID_HANDLE; }

UINT SyntheticPlatform::GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  const std::size_t length = std::strlen(kWindowsDirectory);
  if (length >= uSize) return static_cast<UINT>(length + 1);
  std::memcpy(lpBuffer, kWindowsDirectory, length + 1);
  return static_cast<UINT>(length);
}

DWORD SyntheticPlatform::GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  const std::size_t length = std::strlen(kTempPath);
  if (length >= nBufferLength) return static_cast<DWORD>(length + 1);
  std::memcpy(lpBuffer, kTempPath, length + 1);
  return static_cast<DWORD>(length);
}

// Not yet served: the walks over this machine name their entries by path.
DWORD SyntheticPlatform::GetEnvironmentVariableA(LPCSTR, LPSTR, DWORD) { return 0; }
HANDLE SyntheticPlatform::CreateFileA(LPCSTR, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD,
                                      HANDLE) {
  return INVALID_HANDLE_VALUE;
}
NTSTATUS SyntheticPlatform::NtOpenFile(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*,
                                       ULONG, ULONG) {
  return STATUS_ACCESS_DENIED;
}
NTSTATUS SyntheticPlatform::NtQueryDirectoryFile(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID,
                                                 IO_STATUS_BLOCK*, PVOID, ULONG,
                                                 FILE_INFORMATION_CLASS, BOOLEAN, UNICODE_STRING*,
                                                 BOOLEAN) {
  return STATUS_INVALID_HANDLE;
}
NTSTATUS SyntheticPlatform::NtQueryInformationFile(HANDLE, IO_STATUS_BLOCK*, PVOID, ULONG,
                                                   FILE_INFORMATION_CLASS) {
  return STATUS_INVALID_HANDLE;
}
NTSTATUS SyntheticPlatform::NtSetInformationFile(HANDLE, IO_STATUS_BLOCK*, PVOID, ULONG,
                                                 FILE_INFORMATION_CLASS) {
  return STATUS_INVALID_HANDLE;
}
NTSTATUS SyntheticPlatform::NtClose(HANDLE) { return STATUS_INVALID_HANDLE; }
NTSTATUS SyntheticPlatform::RtlUnicodeToMultiByteN(CHAR*, ULONG, ULONG*, const WCHAR*, ULONG) {
  return STATUS_INVALID_PARAMETER;
}
