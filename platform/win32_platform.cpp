#include "platform/win32_platform.h"

// ntdll's exports, which no SDK header declares whole; imported through
// ntdll's import library. Every one of them exists since Windows XP.
extern "C" {
__declspec(dllimport) NTSTATUS NTAPI
    NtOpenFile(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, ULONG, ULONG);
__declspec(dllimport) NTSTATUS NTAPI
    NtQueryDirectoryFile(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID, IO_STATUS_BLOCK*, PVOID, ULONG,
                         FILE_INFORMATION_CLASS, BOOLEAN, UNICODE_STRING*, BOOLEAN);
__declspec(dllimport) NTSTATUS NTAPI
    NtQueryInformationFile(HANDLE, IO_STATUS_BLOCK*, PVOID, ULONG, FILE_INFORMATION_CLASS);
__declspec(dllimport) NTSTATUS NTAPI
    NtSetInformationFile(HANDLE, IO_STATUS_BLOCK*, PVOID, ULONG, FILE_INFORMATION_CLASS);
__declspec(dllimport) NTSTATUS NTAPI NtClose(HANDLE);
__declspec(dllimport) NTSTATUS NTAPI
    RtlUnicodeToMultiByteN(CHAR*, ULONG, ULONG*, const WCHAR*, ULONG);
}

UINT Win32Platform::SetErrorMode(UINT uMode) { return ::SetErrorMode(uMode); }

LPSTR Win32Platform::GetCommandLineA() { return ::GetCommandLineA(); }

void Win32Platform::GetLocalTime(SYSTEMTIME* lpSystemTime) { ::GetLocalTime(lpSystemTime); }

void Win32Platform::GetSystemTimeAsFileTime(FILETIME* lpSystemTimeAsFileTime) {
  ::GetSystemTimeAsFileTime(lpSystemTimeAsFileTime);
}

DWORD Win32Platform::GetLastError() { return ::GetLastError(); }

DWORD Win32Platform::GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
  return ::GetEnvironmentVariableA(lpName, lpBuffer, nSize);
}

LSTATUS Win32Platform::RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) {
  return ::RegOpenKeyA(hKey, lpSubKey, phkResult);
}

LSTATUS Win32Platform::RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) {
  return ::RegCreateKeyA(hKey, lpSubKey, phkResult);
}

LSTATUS Win32Platform::RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, DWORD* lpReserved,
                                        DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  return ::RegQueryValueExA(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
}

LSTATUS Win32Platform::RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                      const BYTE* lpData, DWORD cbData) {
  return ::RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
}

LSTATUS Win32Platform::RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  return ::RegDeleteKeyA(hKey, lpSubKey);
}

LSTATUS Win32Platform::RegCloseKey(HKEY hKey) { return ::RegCloseKey(hKey); }

UINT Win32Platform::GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  return ::GetWindowsDirectoryA(lpBuffer, uSize);
}

DWORD Win32Platform::GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  return ::GetTempPathA(nBufferLength, lpBuffer);
}

HANDLE Win32Platform::FindFirstFileA(LPCSTR lpFileName, WIN32_FIND_DATAA* lpFindFileData) {
  return ::FindFirstFileA(lpFileName, lpFindFileData);
}

BOOL Win32Platform::FindNextFileA(HANDLE hFindFile, WIN32_FIND_DATAA* lpFindFileData) {
  return ::FindNextFileA(hFindFile, lpFindFileData);
}

BOOL Win32Platform::FindClose(HANDLE hFindFile) { return ::FindClose(hFindFile); }

HANDLE Win32Platform::CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                  SECURITY_ATTRIBUTES* lpSecurityAttributes,
                                  DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                                  HANDLE hTemplateFile) {
  return ::CreateFileA(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                       dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}

NTSTATUS Win32Platform::NtOpenFile(HANDLE* FileHandle, ACCESS_MASK DesiredAccess,
                                   OBJECT_ATTRIBUTES* ObjectAttributes,
                                   IO_STATUS_BLOCK* IoStatusBlock, ULONG ShareAccess,
                                   ULONG OpenOptions) {
  return ::NtOpenFile(FileHandle, DesiredAccess, ObjectAttributes, IoStatusBlock, ShareAccess,
                      OpenOptions);
}

NTSTATUS Win32Platform::NtQueryDirectoryFile(HANDLE FileHandle, HANDLE Event,
                                             PIO_APC_ROUTINE ApcRoutine, PVOID ApcContext,
                                             IO_STATUS_BLOCK* IoStatusBlock, PVOID FileInformation,
                                             ULONG Length,
                                             FILE_INFORMATION_CLASS FileInformationClass,
                                             BOOLEAN ReturnSingleEntry, UNICODE_STRING* FileName,
                                             BOOLEAN RestartScan) {
  return ::NtQueryDirectoryFile(FileHandle, Event, ApcRoutine, ApcContext, IoStatusBlock,
                                FileInformation, Length, FileInformationClass, ReturnSingleEntry,
                                FileName, RestartScan);
}

NTSTATUS Win32Platform::NtQueryInformationFile(HANDLE FileHandle, IO_STATUS_BLOCK* IoStatusBlock,
                                               PVOID FileInformation, ULONG Length,
                                               FILE_INFORMATION_CLASS FileInformationClass) {
  return ::NtQueryInformationFile(FileHandle, IoStatusBlock, FileInformation, Length,
                                  FileInformationClass);
}

NTSTATUS Win32Platform::NtSetInformationFile(HANDLE FileHandle, IO_STATUS_BLOCK* IoStatusBlock,
                                             PVOID FileInformation, ULONG Length,
                                             FILE_INFORMATION_CLASS FileInformationClass) {
  return ::NtSetInformationFile(FileHandle, IoStatusBlock, FileInformation, Length,
                                FileInformationClass);
}

NTSTATUS Win32Platform::NtClose(HANDLE Handle) { return ::NtClose(Handle); }

BOOL Win32Platform::GetFileInformationByHandle(HANDLE hFile,
                                               BY_HANDLE_FILE_INFORMATION* lpFileInformation) {
  return ::GetFileInformationByHandle(hFile, lpFileInformation);
}

NTSTATUS Win32Platform::RtlUnicodeToMultiByteN(CHAR* MultiByteString,
                                               ULONG MaxBytesInMultiByteString,
                                               ULONG* BytesInMultiByteString,
                                               const WCHAR* UnicodeString,
                                               ULONG BytesInUnicodeString) {
  return ::RtlUnicodeToMultiByteN(MultiByteString, MaxBytesInMultiByteString,
                                  BytesInMultiByteString, UnicodeString, BytesInUnicodeString);
}
