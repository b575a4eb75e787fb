#include "platform/win32_platform.h"

UINT Win32Platform::SetErrorMode(UINT uMode) { return ::SetErrorMode(uMode); }

LPSTR Win32Platform::GetCommandLineA() { return ::GetCommandLineA(); }

void Win32Platform::GetLocalTime(SYSTEMTIME* lpSystemTime) { ::GetLocalTime(lpSystemTime); }

DWORD Win32Platform::GetLastError() { return ::GetLastError(); }

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

DWORD Win32Platform::GetFileAttributesA(LPCSTR lpFileName) {
  return ::GetFileAttributesA(lpFileName);
}

BOOL Win32Platform::SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  return ::SetFileAttributesA(lpFileName, dwFileAttributes);
}

BOOL Win32Platform::DeleteFileA(LPCSTR lpFileName) { return ::DeleteFileA(lpFileName); }

BOOL Win32Platform::RemoveDirectoryA(LPCSTR lpPathName) { return ::RemoveDirectoryA(lpPathName); }
