// A Platform that serves a SyntheticTree as the temporary folder at the least
// cost a Platform can have: no log, no path parsing beyond the last
// component, no allocation per call. Benchmarks over it measure the cleaner's
// own work; the in-memory fake, which logs and resolves every path, measures
// mostly itself.
#pragma once

#include <cstdint>
#include <vector>

#include "bench/synthetic_tree.h"
#include "platform/platform.h"

class SyntheticPlatform final : public Platform {
 public:
  // The paths the fake uses too, so that both serve the same machine.
  static constexpr const char* kWindowsDirectory = "C:\\Windows";
  static constexpr const char* kTempPath = "C:\\Users\\Admin\\AppData\\Local\\Temp\\";

  struct Counts {
    std::uint64_t findFirst = 0;
    std::uint64_t findNext = 0;
    std::uint64_t findClose = 0;
    std::uint64_t createFile = 0;
    std::uint64_t openFile = 0;
    std::uint64_t queryDirectory = 0;
    std::uint64_t queryInformation = 0;
    std::uint64_t getInformation = 0;  // GetFileInformationByHandle
    std::uint64_t setInformation = 0;
    std::uint64_t setInformationFailed = 0;  // dispositions of folders not empty yet
    std::uint64_t close = 0;
    std::uint64_t Total() const {
      return findFirst + findNext + findClose + createFile + openFile + queryDirectory +
             queryInformation + getInformation + setInformation + close;
    }
  };

  explicit SyntheticPlatform(const SyntheticTree& tree);

  // Deletions change nothing but a count per folder of the entries gone from
  // it: a folder can be removed once all its entries are gone, and listings
  // still show everything. Restore sets the counts back to zero, so the same
  // tree serves many purges. Handles open folders of the temporary folder's
  // tree and files in them; relative opens find files fastest in listing order.
  void Restore();

  const Counts& CallCounts() const { return counts_; }
  std::size_t OpenFindHandles() const { return openCursors_; }
  std::size_t OpenFileHandles() const { return openHandles_; }

  UINT SetErrorMode(UINT uMode) override;
  LPSTR GetCommandLineA() override;
  void GetLocalTime(SYSTEMTIME* lpSystemTime) override;
  void GetSystemTimeAsFileTime(FILETIME* lpSystemTimeAsFileTime) override;
  DWORD GetLastError() override { return lastError_; }
  LSTATUS RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) override;
  LSTATUS RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) override;
  LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, DWORD* lpReserved, DWORD* lpType,
                           BYTE* lpData, DWORD* lpcbData) override;
  LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                         const BYTE* lpData, DWORD cbData) override;
  LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) override;
  LSTATUS RegCloseKey(HKEY hKey) override;
  UINT GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) override;
  DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) override;
  HANDLE FindFirstFileA(LPCSTR lpFileName, WIN32_FIND_DATAA* lpFindFileData) override;
  BOOL FindNextFileA(HANDLE hFindFile, WIN32_FIND_DATAA* lpFindFileData) override;
  BOOL FindClose(HANDLE hFindFile) override;
  DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) override;
  HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                     SECURITY_ATTRIBUTES* lpSecurityAttributes, DWORD dwCreationDisposition,
                     DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) override;
  NTSTATUS NtOpenFile(HANDLE* FileHandle, ACCESS_MASK DesiredAccess,
                      OBJECT_ATTRIBUTES* ObjectAttributes, IO_STATUS_BLOCK* IoStatusBlock,
                      ULONG ShareAccess, ULONG OpenOptions) override;
  NTSTATUS NtQueryDirectoryFile(HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine,
                                PVOID ApcContext, IO_STATUS_BLOCK* IoStatusBlock,
                                PVOID FileInformation, ULONG Length,
                                FILE_INFORMATION_CLASS FileInformationClass,
                                BOOLEAN ReturnSingleEntry, UNICODE_STRING* FileName,
                                BOOLEAN RestartScan) override;
  NTSTATUS NtQueryInformationFile(HANDLE FileHandle, IO_STATUS_BLOCK* IoStatusBlock,
                                  PVOID FileInformation, ULONG Length,
                                  FILE_INFORMATION_CLASS FileInformationClass) override;
  NTSTATUS NtSetInformationFile(HANDLE FileHandle, IO_STATUS_BLOCK* IoStatusBlock,
                                PVOID FileInformation, ULONG Length,
                                FILE_INFORMATION_CLASS FileInformationClass) override;
  NTSTATUS NtClose(HANDLE Handle) override;
  BOOL GetFileInformationByHandle(HANDLE hFile,
                                  BY_HANDLE_FILE_INFORMATION* lpFileInformation) override;
  NTSTATUS RtlUnicodeToMultiByteN(CHAR* MultiByteString, ULONG MaxBytesInMultiByteString,
                                  ULONG* BytesInMultiByteString, const WCHAR* UnicodeString,
                                  ULONG BytesInUnicodeString) override;

 private:
  // kWindows stands for the Windows directory, which holds a few entries.
  static constexpr std::uint32_t kWindows = 0xFFFFFFFFu;
  static constexpr std::uint32_t kNone = 0xFFFFFFFEu;
  // kOutside stands for the folders above the two places (opened to tell what
  // a place is), each told apart by its path's hash.
  static constexpr std::uint32_t kOutside = 0xFFFFFFFDu;

  struct Cursor {
    std::uint32_t folder = kNone;
    std::uint32_t next = 0;  // position in the listing: ".", "..", files, subfolders
  };

  static constexpr std::uint32_t kNoFile = 0xFFFFFFFFu;
  static constexpr std::uintptr_t kHandleBase = 0x10000000u;
  struct Open {
    std::uint32_t folder = kNone;
    std::uint32_t file = kNoFile;  // kNoFile: the folder itself
    std::uint32_t next = 0;        // a folder's listing position, as a Cursor's
    std::uint32_t lookup = 0;      // the file after the one opened last in it
    bool deleteOnClose = false;
  };
  Open* OpenOf(HANDLE handle);
  HANDLE NewHandle(const Open& open);

  // The folder a path names, or kNone.
  std::uint32_t FolderOf(const char* path, std::size_t length) const;
  // The folder that holds the entry a path names, or kNone.
  std::uint32_t ParentOf(const char* path) const;
  bool Fill(const Cursor& cursor, WIN32_FIND_DATAA* data) const;

  const SyntheticTree& tree_;
  std::vector<std::uint32_t> gone_;  // per folder: how many of its entries are gone
  std::vector<Cursor> cursors_;      // find handles are indexes + 1
  std::vector<std::uint32_t> freeCursors_;
  std::size_t openCursors_ = 0;
  std::vector<Open> opens_;
  std::vector<std::size_t> freeOpens_;
  std::size_t openHandles_ = 0;
  DWORD lastError_ = 0;
  Counts counts_;
};
