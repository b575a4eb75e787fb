// The Platform of a real Windows machine: every call goes straight to the
// Win32 or ntdll function of the same name, with nothing added or checked.
#pragma once

#include "platform/platform.h"

class Win32Platform : public Platform {
 public:
  UINT SetErrorMode(UINT uMode) override;
  LPSTR GetCommandLineA() override;
  void GetLocalTime(SYSTEMTIME* lpSystemTime) override;
  void GetSystemTimeAsFileTime(FILETIME* lpSystemTimeAsFileTime) override;
  DWORD GetLastError() override;
  DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) override;
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
};
