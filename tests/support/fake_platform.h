// An in-memory Windows machine behind the Platform interface, for tests on any
// host: a folder tree on drive C: with attributes, 64-bit sizes, listing order,
// entries held open by other processes and reparse points; a registry; the
// clock, command line and well-known folders; injected failures; and a log of
// every call, so tests can assert what was and was not touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

class FakePlatform : public Platform {
 public:
  // One call as the fake saw it. `target` is the path the call named, made
  // absolute against the current folder with separators collapsed (the
  // caller's letter case kept); for registry calls it is the key's full path
  // ("HKLM\SOFTWARE\..."), with `value` naming the value where there is one.
  struct CallRecord {
    std::string call;
    std::string target;
    std::string value;
    bool changing = false;  // could change the machine (delete, remove, set, create)
    bool succeeded = false;
    DWORD error = 0;  // last-error code or LSTATUS when it failed
  };

  struct RegValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
  };

  // A fresh machine: C:\Windows as the Windows directory,
  // C:\Users\Admin\AppData\Local\Temp\ as the temporary folder, C:\ as the
  // current folder, the command line "C:\Tools\sweepwell.exe", the local date
  // 2026-12-06 and an empty HKEY_LOCAL_MACHINE\SOFTWARE.
  FakePlatform();
  ~FakePlatform() override;

  // ---- Building the machine -------------------------------------------------
  // Paths are absolute ("C:\a\b") or relative to the current folder; missing
  // parent folders are created. Entries list in the order they were added,
  // after "." and ".." (which every folder but a drive's root has).
  void AddFolder(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_DIRECTORY);
  void AddFile(const std::string& path, std::uint64_t size = 0,
               DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
  // A reparse point at `path` that leads to `target`: a folder link (junction
  // or directory symbolic link) lists as DIRECTORY|REPARSE_POINT, a file link
  // as REPARSE_POINT|ARCHIVE. Paths that pass through it resolve in the
  // target; the link itself is what RemoveDirectoryA / DeleteFileA remove.
  void AddLink(const std::string& path, const std::string& target, bool folder = true);
  // Held open by another process without delete sharing: DeleteFileA and
  // RemoveDirectoryA fail with ERROR_SHARING_VIOLATION.
  void SetInUse(const std::string& path, bool inUse = true);
  // Lists a folder's entries in this order; "." and ".." may be placed too.
  // Entries not named follow in their usual order.
  void SetListingOrder(const std::string& folder, const std::vector<std::string>& names);
  void SetCurrentFolder(const std::string& path);
  // Removes an entry (a folder with all it holds, a link as itself); not logged.
  void Remove(const std::string& path);

  void SetWindowsDirectory(const std::string& text);
  void SetTempPath(const std::string& text);
  void SetLocalTime(WORD year, WORD month, WORD day);
  void SetCommandLine(const std::string& text);

  // Registry; `root` is HKEY_LOCAL_MACHINE.
  void AddRegKey(HKEY root, const std::string& key);
  void SetRegValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                   const std::vector<BYTE>& data);
  void SetRegString(HKEY root, const std::string& key, const std::string& name,
                    const std::string& text);  // REG_SZ, terminating zero counted
  void SetRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value);

  // ---- Looking at the machine (not logged) ---------------------------------
  bool Exists(const std::string& path) const;
  DWORD Attributes(const std::string& path) const;  // INVALID_FILE_ATTRIBUTES when missing
  std::vector<std::string> List(const std::string& folder) const;  // names, without "." and ".."
  bool RegKeyExists(HKEY root, const std::string& key) const;
  std::optional<RegValue> GetRegValue(HKEY root, const std::string& key,
                                      const std::string& name) const;
  std::size_t OpenFindHandles() const;
  std::size_t OpenRegKeys() const;
  // Every entry's key, for failure messages.
  std::string Dump() const;

  // ---- Failures and the log --------------------------------------------------
  // Every later call of `call` (naming `path`, when given: a target equal to it
  // or below it) fails with `error`, as the real call fails.
  void FailCall(const std::string& call, DWORD error, const std::string& path = "");
  // The call with this index in Calls() (counting from 0, over all calls,
  // from the last ClearLog) fails with `error`.
  void FailNthCall(std::size_t index, DWORD error);

  // Called at the start of every Platform call, before the call looks at the
  // machine, with the call's name and the index it gets in Calls(). The hook
  // may change the machine through the builders (a race staged at an exact
  // point) or throw to stop a run.
  using CallHook = std::function<void(std::string_view call, std::size_t index)>;
  void SetCallHook(CallHook hook);  // an empty hook removes it

  const std::vector<CallRecord>& Calls() const;
  std::vector<CallRecord> Changes() const;  // the changing calls only
  void ClearLog();

  // ---- Platform --------------------------------------------------------------
  // The calls behave as on Windows for what the cleaner and the preview ask;
  // the contract suite holds the two together. Choices worth knowing:
  // - Paths of MAX_PATH (260) characters or more fail with
  //   ERROR_FILENAME_EXCED_RANGE before any file is looked at (Wine lets
  //   exactly 260 through). An empty path fails with ERROR_PATH_NOT_FOUND;
  //   trailing dots and blanks of a name are dropped; "file\" names no file.
  // - FindFirstFileA lists with "*" or "*.*" (every entry) or an exact name;
  //   any other pattern throws std::invalid_argument, as Wine's matching of
  //   short names makes such patterns unfit for the cleaner. A listing names
  //   its entries when it opens and reads their data when it reaches them;
  //   entries removed in between are passed over.
  // - DeleteFileA checks, in order: missing, a folder (5), held open (32),
  //   read-only (5). RemoveDirectoryA: missing, a drive's root (5), not a
  //   folder (267), held open or the current folder (32), read-only (5), not
  //   empty (145); a folder link goes as itself, full or not.
  // - SetFileAttributesA keeps the settable bits only; no bits reads back as
  //   FILE_ATTRIBUTE_NORMAL on a file. On a link it sets the link's own bits
  //   (Windows would open through a symbolic link), so that tests can make a
  //   read-only link.
  // - A failed registry open or create stores null in *phkResult;
  //   RegQueryValueExA with a buffer too small gives ERROR_MORE_DATA and the
  //   size; a handle outlives its deleted key (ERROR_KEY_DELETED).
  // - Registry calls leave the last error alone; the other calls set it only
  //   when they fail. Failures injected for GetLastError, GetCommandLineA,
  //   GetLocalTime and SetErrorMode, which cannot fail, are ignored.
  UINT SetErrorMode(UINT uMode) override;
  LPSTR GetCommandLineA() override;
  void GetLocalTime(SYSTEMTIME* lpSystemTime) override;
  DWORD GetLastError() override;
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
  DWORD GetFileAttributesA(LPCSTR lpFileName) override;
  BOOL SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) override;
  BOOL DeleteFileA(LPCSTR lpFileName) override;
  BOOL RemoveDirectoryA(LPCSTR lpPathName) override;

  UINT ErrorMode() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};
