#include "bench/synthetic_platform.h"

#include <algorithm>
#include <cstddef>
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

bool SameText(std::string_view a, std::string_view b) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return upper(x) == upper(y); });
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
  if (SameText(text, kWindowsDirectory)) return kWindows;
  if (SameText(text, WithoutTrailingSeparators(kTempPath))) return 0;
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

void SyntheticPlatform::GetSystemTimeAsFileTime(FILETIME* lpSystemTimeAsFileTime) {
  *lpSystemTimeAsFileTime = FILETIME{0x2C71E800u, 0x01DD8560u};  // 2026-12-06 09:00
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

DWORD SyntheticPlatform::GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
  static constexpr char kProfile[] = "C:\\Users\\Admin";
  if (std::strcmp(lpName, "USERPROFILE") != 0) return 0;
  if (nSize < sizeof kProfile) return sizeof kProfile;
  std::memcpy(lpBuffer, kProfile, sizeof kProfile);
  return sizeof kProfile - 1;
}

// ---- Handles: one record per open folder or file, handles are indexes + kHandleBase ----

SyntheticPlatform::Open* SyntheticPlatform::OpenOf(HANDLE handle) {
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (value < kHandleBase || value - kHandleBase >= opens_.size()) return nullptr;
  return &opens_[value - kHandleBase];
}

HANDLE SyntheticPlatform::NewHandle(const Open& open) {
  std::size_t index;
  if (!freeOpens_.empty()) {
    index = freeOpens_.back();
    freeOpens_.pop_back();
  } else {
    index = opens_.size();
    opens_.emplace_back();
  }
  opens_[index] = open;
  ++openHandles_;
  return reinterpret_cast<HANDLE>(kHandleBase + index);
}

HANDLE SyntheticPlatform::CreateFileA(LPCSTR lpFileName, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD,
                                      DWORD, HANDLE) {
  ++counts_.createFile;
  const std::size_t length = std::strlen(lpFileName);
  const std::uint32_t folder = FolderOf(lpFileName, length);
  if (folder != kNone) return NewHandle(Open{folder});
  // A folder above the places, told apart by its path.
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < length; ++i)
    hash = (hash ^ static_cast<unsigned char>(lpFileName[i])) * 16777619u;
  return NewHandle(Open{kOutside, hash});
}

NTSTATUS SyntheticPlatform::NtOpenFile(HANDLE* FileHandle, ACCESS_MASK, OBJECT_ATTRIBUTES* object,
                                       IO_STATUS_BLOCK*, ULONG, ULONG OpenOptions) {
  ++counts_.openFile;
  Open* root = OpenOf(object->RootDirectory);
  if (root == nullptr || root->file != kNoFile) return STATUS_INVALID_HANDLE;
  if (root->folder == kWindows || root->folder == kOutside) return STATUS_OBJECT_NAME_NOT_FOUND;
  char name[SyntheticTree::kNameSize];
  const std::size_t length = object->ObjectName->Length / sizeof(WCHAR);
  if (length >= sizeof name) return STATUS_OBJECT_NAME_NOT_FOUND;
  for (std::size_t i = 0; i < length; ++i) {
    name[i] = static_cast<char>(object->ObjectName->Buffer[i]);
  }
  const std::string_view text(name, length);
  std::uint32_t folder = 0;
  if (tree_.FolderIndex(text, folder) && tree_.Parent(folder) == root->folder) {
    *FileHandle = NewHandle(Open{folder});
    return STATUS_SUCCESS;
  }
  // Files are opened in listing order: the search starts after the last one.
  const std::uint32_t files = tree_.FileCount(root->folder);
  SyntheticTree::NameBuffer buffer;
  for (std::uint32_t tried = 0; tried < files; ++tried) {
    const std::uint32_t file = (root->lookup + tried) % files;
    if (tree_.FileName(root->folder, file, buffer) == text) {
      root->lookup = file + 1;
      Open opened{root->folder, file};
      opened.deleteOnClose = (OpenOptions & FILE_DELETE_ON_CLOSE) != 0;
      *FileHandle = NewHandle(opened);
      return STATUS_SUCCESS;
    }
  }
  return STATUS_OBJECT_NAME_NOT_FOUND;
}

NTSTATUS SyntheticPlatform::NtQueryDirectoryFile(HANDLE FileHandle, HANDLE, PIO_APC_ROUTINE, PVOID,
                                                 IO_STATUS_BLOCK* IoStatusBlock,
                                                 PVOID FileInformation, ULONG Length,
                                                 FILE_INFORMATION_CLASS, BOOLEAN, UNICODE_STRING*,
                                                 BOOLEAN RestartScan) {
  ++counts_.queryDirectory;
  Open* open = OpenOf(FileHandle);
  if (open == nullptr || open->file != kNoFile || open->folder == kOutside) {
    return STATUS_INVALID_HANDLE;
  }
  if (RestartScan) open->next = 0;
  auto* bytes = static_cast<unsigned char*>(FileInformation);
  ULONG written = 0;
  FILE_DIRECTORY_INFORMATION* last = nullptr;
  for (;; ++open->next) {
    WIN32_FIND_DATAA data;
    if (!Fill(Cursor{open->folder, open->next}, &data)) break;
    const std::size_t length = std::strlen(data.cFileName);
    const ULONG at = (written + 7) & ~ULONG{7};
    const ULONG size =
        static_cast<ULONG>(offsetof(FILE_DIRECTORY_INFORMATION, FileName) + length * sizeof(WCHAR));
    if (at + size > Length) break;
    auto* record = reinterpret_cast<FILE_DIRECTORY_INFORMATION*>(bytes + at);
    record->NextEntryOffset = 0;
    record->EndOfFile.QuadPart = static_cast<LONGLONG>(
        (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    record->FileAttributes = data.dwFileAttributes;
    record->FileNameLength = static_cast<ULONG>(length * sizeof(WCHAR));
    for (std::size_t i = 0; i < length; ++i) {
      record->FileName[i] = static_cast<WCHAR>(static_cast<unsigned char>(data.cFileName[i]));
    }
    if (last != nullptr)
      last->NextEntryOffset =
          at - static_cast<ULONG>(reinterpret_cast<unsigned char*>(last) - bytes);
    last = record;
    written = at + size;
  }
  IoStatusBlock->Information = written;
  return last != nullptr ? STATUS_SUCCESS : STATUS_NO_MORE_FILES;
}

NTSTATUS SyntheticPlatform::NtQueryInformationFile(HANDLE FileHandle, IO_STATUS_BLOCK*,
                                                   PVOID FileInformation, ULONG,
                                                   FILE_INFORMATION_CLASS FileInformationClass) {
  ++counts_.queryInformation;
  const Open* open = OpenOf(FileHandle);
  if (open == nullptr) return STATUS_INVALID_HANDLE;
  const bool folder = open->file == kNoFile || open->folder == kOutside;
  // No place here is a volume's root: its path on the volume is longer than
  // the room a caller gives for "\".
  if (FileInformationClass == FileNameInformation) return STATUS_BUFFER_OVERFLOW;
  if (FileInformationClass == FileInternalInformation) {
    static_cast<FILE_INTERNAL_INFORMATION*>(FileInformation)->IndexNumber.QuadPart =
        static_cast<LONGLONG>((static_cast<std::uint64_t>(open->folder) << 32) | open->file);
    return STATUS_SUCCESS;
  }
  if (FileInformationClass == FileStandardInformation) {
    FILE_STANDARD_INFORMATION standard{};
    standard.NumberOfLinks = 1;
    standard.Directory = folder;
    *static_cast<FILE_STANDARD_INFORMATION*>(FileInformation) = standard;
    return STATUS_SUCCESS;
  }
  FILE_BASIC_INFORMATION basic{};
  basic.FileAttributes =
      folder ? FILE_ATTRIBUTE_DIRECTORY : tree_.FileAttributes(open->folder, open->file);
  *static_cast<FILE_BASIC_INFORMATION*>(FileInformation) = basic;
  return STATUS_SUCCESS;
}

NTSTATUS SyntheticPlatform::NtSetInformationFile(HANDLE FileHandle, IO_STATUS_BLOCK*, PVOID, ULONG,
                                                 FILE_INFORMATION_CLASS FileInformationClass) {
  ++counts_.setInformation;
  Open* open = OpenOf(FileHandle);
  if (open == nullptr) return STATUS_INVALID_HANDLE;
  if (FileInformationClass != FileDispositionInformation) return STATUS_SUCCESS;
  if (open->file == kNoFile &&
      gone_[open->folder] < tree_.FileCount(open->folder) + tree_.ChildCount(open->folder)) {
    ++counts_.setInformationFailed;
    return STATUS_DIRECTORY_NOT_EMPTY;
  }
  open->deleteOnClose = true;
  return STATUS_SUCCESS;
}

NTSTATUS SyntheticPlatform::NtClose(HANDLE Handle) {
  ++counts_.close;
  Open* open = OpenOf(Handle);
  if (open == nullptr) return STATUS_INVALID_HANDLE;
  if (open->deleteOnClose) {
    if (open->file != kNoFile) {
      ++gone_[open->folder];
    } else if (open->folder != 0) {
      ++gone_[tree_.Parent(open->folder)];
    }
  }
  freeOpens_.push_back(static_cast<std::size_t>(open - opens_.data()));
  --openHandles_;
  return STATUS_SUCCESS;
}

BOOL SyntheticPlatform::GetFileInformationByHandle(HANDLE hFile,
                                                   BY_HANDLE_FILE_INFORMATION* lpFileInformation) {
  ++counts_.getInformation;
  const Open* open = OpenOf(hFile);
  if (open == nullptr) return FALSE;
  *lpFileInformation = BY_HANDLE_FILE_INFORMATION{};
  lpFileInformation->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  lpFileInformation->dwVolumeSerialNumber = 1;
  lpFileInformation->nNumberOfLinks = 1;
  lpFileInformation->nFileIndexHigh = open->folder;
  lpFileInformation->nFileIndexLow = open->file;
  return TRUE;
}

NTSTATUS SyntheticPlatform::RtlUnicodeToMultiByteN(CHAR* MultiByteString,
                                                   ULONG MaxBytesInMultiByteString,
                                                   ULONG* BytesInMultiByteString,
                                                   const WCHAR* UnicodeString,
                                                   ULONG BytesInUnicodeString) {
  ULONG count = 0;
  for (; count < MaxBytesInMultiByteString && count < BytesInUnicodeString / sizeof(WCHAR);
       ++count) {
    MultiByteString[count] = static_cast<CHAR>(UnicodeString[count]);
  }
  *BytesInMultiByteString = count;
  return STATUS_SUCCESS;
}
