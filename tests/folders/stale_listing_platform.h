// A Platform that passes every call to a fake machine but shows chosen entries
// in listings with other attributes: a listing taken before the entry was
// swapped for something else, as a racing user could arrange.
#pragma once

#include <map>
#include <string>

#include "support/fake_platform.h"

class StaleListingPlatform : public Platform {
 public:
  explicit StaleListingPlatform(FakePlatform& machine) : machine_(machine) {}

  // Listings show entries named `name` with exactly these attributes.
  void ShowAs(const std::string& name, DWORD attributes) { shownAs_[name] = attributes; }

  HANDLE FindFirstFileA(LPCSTR lpFileName, WIN32_FIND_DATAA* lpFindFileData) override {
    HANDLE handle = machine_.FindFirstFileA(lpFileName, lpFindFileData);
    if (handle != INVALID_HANDLE_VALUE) Rewrite(lpFindFileData);
    return handle;
  }
  BOOL FindNextFileA(HANDLE hFindFile, WIN32_FIND_DATAA* lpFindFileData) override {
    BOOL found = machine_.FindNextFileA(hFindFile, lpFindFileData);
    if (found) Rewrite(lpFindFileData);
    return found;
  }

  UINT SetErrorMode(UINT uMode) override { return machine_.SetErrorMode(uMode); }
  LPSTR GetCommandLineA() override { return machine_.GetCommandLineA(); }
  void GetLocalTime(SYSTEMTIME* lpSystemTime) override { machine_.GetLocalTime(lpSystemTime); }
  DWORD GetLastError() override { return machine_.GetLastError(); }
  LSTATUS RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) override {
    return machine_.RegOpenKeyA(hKey, lpSubKey, phkResult);
  }
  LSTATUS RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) override {
    return machine_.RegCreateKeyA(hKey, lpSubKey, phkResult);
  }
  LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, DWORD* lpReserved, DWORD* lpType,
                           BYTE* lpData, DWORD* lpcbData) override {
    return machine_.RegQueryValueExA(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
  }
  LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                         const BYTE* lpData, DWORD cbData) override {
    return machine_.RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
  }
  LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) override {
    return machine_.RegDeleteKeyA(hKey, lpSubKey);
  }
  LSTATUS RegCloseKey(HKEY hKey) override { return machine_.RegCloseKey(hKey); }
  UINT GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) override {
    return machine_.GetWindowsDirectoryA(lpBuffer, uSize);
  }
  DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) override {
    return machine_.GetTempPathA(nBufferLength, lpBuffer);
  }
  BOOL FindClose(HANDLE hFindFile) override { return machine_.FindClose(hFindFile); }
  DWORD GetFileAttributesA(LPCSTR lpFileName) override {
    return machine_.GetFileAttributesA(lpFileName);
  }
  BOOL SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) override {
    return machine_.SetFileAttributesA(lpFileName, dwFileAttributes);
  }
  BOOL DeleteFileA(LPCSTR lpFileName) override { return machine_.DeleteFileA(lpFileName); }
  BOOL RemoveDirectoryA(LPCSTR lpPathName) override {
    return machine_.RemoveDirectoryA(lpPathName);
  }

 private:
  void Rewrite(WIN32_FIND_DATAA* data) const {
    auto shown = shownAs_.find(data->cFileName);
    if (shown != shownAs_.end()) data->dwFileAttributes = shown->second;
  }

  FakePlatform& machine_;
  std::map<std::string, DWORD> shownAs_;
};
