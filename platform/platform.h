// The seam between the cleaner and the operating system: every Win32 call the
// cleaner makes goes through this interface, with the call's own name, ANSI
// signature and error semantics (last-error codes, LSTATUS results). The real
// implementation passes straight through to Win32; tests use FakePlatform.
#pragma once

#include "platform/win32_types.h"

class Platform {
 public:
  virtual ~Platform() = default;

  // Process.
  virtual UINT SetErrorMode(UINT uMode) = 0;
  virtual LPSTR GetCommandLineA() = 0;
  virtual void GetLocalTime(SYSTEMTIME* lpSystemTime) = 0;
  virtual DWORD GetLastError() = 0;

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

  // Files and folders.
  virtual DWORD GetFileAttributesA(LPCSTR lpFileName) = 0;
  virtual BOOL SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) = 0;
  virtual BOOL DeleteFileA(LPCSTR lpFileName) = 0;
  virtual BOOL RemoveDirectoryA(LPCSTR lpPathName) = 0;
};
