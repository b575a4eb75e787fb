// The seam between the cleaner and the operating system: every Win32 and native
// (ntdll) call the cleaner makes goes through this interface, with the call's
// own name, signature and error semantics (last-error codes, LSTATUS and
// NTSTATUS results). The real implementation passes straight through; tests
// use FakePlatform.
#pragma once

#include "platform/win32_types.h"

class Platform {
 public:
  virtual ~Platform() = default;

  // Process.
  virtual UINT SetErrorMode(UINT uMode) = 0;
  virtual LPSTR GetCommandLineA() = 0;
  virtual void GetLocalTime(SYSTEMTIME* lpSystemTime) = 0;
  // The time now in UTC, as file times count it.
  virtual void GetSystemTimeAsFileTime(FILETIME* lpSystemTimeAsFileTime) = 0;
  virtual DWORD GetLastError() = 0;
  // The text's length without its zero when it fits, the size needed (zero
  // included) when it does not, 0 when the variable is not set.
  virtual DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) = 0;

  // Registry. Results are Win32 error codes; ERROR_SUCCESS when done.
  virtual LSTATUS RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) = 0;
  virtual LSTATUS RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) = 0;
  virtual LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, DWORD* lpReserved, DWORD* lpType,
                                   BYTE* lpData, DWORD* lpcbData) = 0;
  virtual LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                 const BYTE* lpData, DWORD cbData) = 0;
  virtual LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) = 0;
  virtual LSTATUS RegCloseKey(HKEY hKey) = 0;

  // Well-known folders. Both return the text's length without its zero when it
  // fits, the size needed (zero included) when it does not (nothing written),
  // and 0 on failure.
  virtual UINT GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) = 0;
  virtual DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) = 0;

  // Folder listings.
  virtual HANDLE FindFirstFileA(LPCSTR lpFileName, WIN32_FIND_DATAA* lpFindFileData) = 0;
  virtual BOOL FindNextFileA(HANDLE hFindFile, WIN32_FIND_DATAA* lpFindFileData) = 0;
  virtual BOOL FindClose(HANDLE hFindFile) = 0;

  // Handles: a folder opened by its path, and through its handle the entries
  // it holds, each opened relative to it (ObjectAttributes->RootDirectory) and
  // so reached as the very entry the folder holds, whatever its path now
  // names. FILE_FLAG_OPEN_REPARSE_POINT and FILE_OPEN_REPARSE_POINT open a
  // link as itself; FILE_COMPLETE_IF_OPLOCKED makes an open that would wait
  // for another program's oplock break complete at once, with
  // STATUS_OPLOCK_BREAK_IN_PROGRESS. Every handle is closed with NtClose.
  virtual HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                             SECURITY_ATTRIBUTES* lpSecurityAttributes, DWORD dwCreationDisposition,
                             DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) = 0;
  virtual NTSTATUS NtOpenFile(HANDLE* FileHandle, ACCESS_MASK DesiredAccess,
                              OBJECT_ATTRIBUTES* ObjectAttributes, IO_STATUS_BLOCK* IoStatusBlock,
                              ULONG ShareAccess, ULONG OpenOptions) = 0;
  // Fills FileInformation with as many records as fit; STATUS_NO_MORE_FILES
  // after the last.
  virtual NTSTATUS NtQueryDirectoryFile(HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine,
                                        PVOID ApcContext, IO_STATUS_BLOCK* IoStatusBlock,
                                        PVOID FileInformation, ULONG Length,
                                        FILE_INFORMATION_CLASS FileInformationClass,
                                        BOOLEAN ReturnSingleEntry, UNICODE_STRING* FileName,
                                        BOOLEAN RestartScan) = 0;
  virtual NTSTATUS NtQueryInformationFile(HANDLE FileHandle, IO_STATUS_BLOCK* IoStatusBlock,
                                          PVOID FileInformation, ULONG Length,
                                          FILE_INFORMATION_CLASS FileInformationClass) = 0;
  virtual NTSTATUS NtSetInformationFile(HANDLE FileHandle, IO_STATUS_BLOCK* IoStatusBlock,
                                        PVOID FileInformation, ULONG Length,
                                        FILE_INFORMATION_CLASS FileInformationClass) = 0;
  virtual NTSTATUS NtClose(HANDLE Handle) = 0;
  // What an open entry is: its volume's serial number and its file index
  // there (the two together name it on the machine), attributes and names.
  virtual BOOL GetFileInformationByHandle(HANDLE hFile,
                                          BY_HANDLE_FILE_INFORMATION* lpFileInformation) = 0;

  // A name as the ANSI calls give it (FindFirstFileA's cFileName): in the
  // ANSI code page, with its best-fit and default characters.
  virtual NTSTATUS RtlUnicodeToMultiByteN(CHAR* MultiByteString, ULONG MaxBytesInMultiByteString,
                                          ULONG* BytesInMultiByteString, const WCHAR* UnicodeString,
                                          ULONG BytesInUnicodeString) = 0;
};
