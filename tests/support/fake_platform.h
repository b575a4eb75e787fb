// An in-memory Windows machine behind the Platform interface, for tests on any
// host: a folder tree on drive C: whose entries have an identity of their own
// (handles hold the entry they opened, whatever its path names later), with
// attributes, 64-bit sizes, listing order, hard links, reparse points, share
// modes and renames; a registry; the clock, environment, command line and
// well-known folders; injected failures; a hook run before every call, so that
// a race can be staged at an exact point; and a log of every call, so that
// tests can assert what was and was not touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

class FakePlatform : public Platform {
 public:
  // One call as the fake saw it. `target` is what the call acted on: for a
  // path, that path from C:\ with separators collapsed (the caller's letter
  // case kept); for a handle, the path its entry has at the time of the call;
  // for registry calls the key's full path ("HKLM\SOFTWARE\..."). `value` names
  // the registry value, or the information class of NtQueryInformationFile and
  // NtSetInformationFile.
  struct CallRecord {
    std::string call;
    std::string target;
    std::string value;
    // Could change the machine: deletes, sets, creates, and opens that ask for
    // the right to delete or write.
    bool changing = false;
    bool succeeded = false;
    DWORD error = 0;   // last-error code, LSTATUS or NTSTATUS when it failed
    DWORD access = 0;  // the access an open (CreateFileA, NtOpenFile) asked for
  };

  struct RegValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
  };

  // A fresh machine: C:\Windows as the Windows directory,
  // C:\Users\Admin\AppData\Local\Temp\ as the temporary folder, C:\ as the
  // folder relative paths start from, USERPROFILE C:\Users\Admin, the command
  // line "C:\Tools\sweepwell.exe", the local date 2026-12-06 and an empty
  // HKEY_LOCAL_MACHINE\SOFTWARE.
  FakePlatform();
  ~FakePlatform() override;

  // ---- Building the machine -------------------------------------------------
  // Paths here and in the looks below are UTF-8, absolute ("C:\a\b") or
  // relative to C:\; missing parent folders are made. Entries list in the order
  // they were made, after "." and ".." (which every folder but a drive's root
  // has). The ANSI calls take and give names in the machine's ANSI code page:
  // the first 256 code points as single bytes, the full-width forms U+FF01 to
  // U+FF5E best-fitted to ASCII, any other "?".
  void AddFolder(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_DIRECTORY);
  void AddFile(const std::string& path, std::uint64_t size = 0,
               DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
  // A reparse point at `path` that leads to `target`: a folder link (junction
  // or directory symbolic link) lists as DIRECTORY|REPARSE_POINT, a file link
  // as REPARSE_POINT|ARCHIVE. Paths that pass through it resolve in the
  // target; the link itself is what a disposition removes and what an open as
  // itself reaches.
  void AddLink(const std::string& path, const std::string& target, bool folder = true);
  // Another name for the plain file at `existing`.
  void AddHardLink(const std::string& path, const std::string& existing);
  // Held open by another process (read access, sharing read and write but
  // not delete): an open that asks for DELETE fails with a sharing violation.
  void SetInUse(const std::string& path);
  // Another program holds the entry open, sharing everything, with an oplock
  // whose break it never acknowledges: an open that asks more than attributes
  // completes only when told not to wait (FILE_COMPLETE_IF_OPLOCKED,
  // STATUS_OPLOCK_BREAK_IN_PROGRESS); any other would wait for ever, so it
  // stops the run with an exception and the machine notes it (Stalled).
  void SetOplocked(const std::string& path);
  // A second name that reaches the same entry, as an 8.3 short name does.
  void SetShortName(const std::string& path, const std::string& shortName);
  // The entry's own attribute bits (a link's own, not its target's).
  void SetAttributes(const std::string& path, DWORD attributes);
  // As another program would, through their own opens (not logged): false,
  // with nothing changed, when a handle on the entry does not share delete
  // access, or when `to` exists or has no folder. Remove takes a file, or a
  // link as itself. As on Windows, a move opens the folder it moves into for
  // writing, sharing read and write: it fails while a handle on that folder
  // denies write sharing or has delete access (Wine lets it through).
  bool Rename(const std::string& from, const std::string& to);
  bool Remove(const std::string& path);

  void SetWindowsDirectory(const std::string& text);
  void SetTempPath(const std::string& text);
  void SetEnvironment(const std::string& name, std::optional<std::string> value);
  // The day, at 09:00, both as local time and as the system's file time (the
  // machine's time zone is UTC). Entries made later get that time as their
  // creation and last-write times.
  void SetLocalTime(WORD year, WORD month, WORD day);
  static constexpr std::int64_t kTicksPerSecond = 10000000;  // of file times
  static constexpr std::int64_t kTicksPerDay = 86400 * kTicksPerSecond;
  std::int64_t Now() const;
  void SetTimes(const std::string& path, std::int64_t created, std::int64_t written);
  void SetCommandLine(const std::string& text);

  // Registry keys below HKEY_LOCAL_MACHINE.
  void AddRegKey(const std::string& key);
  void SetRegValue(const std::string& key, const std::string& name, DWORD type,
                   const std::vector<BYTE>& data);
  void SetRegDword(const std::string& key, const std::string& name, DWORD value);

  // ---- Looking at the machine (not logged) ---------------------------------
  bool Exists(const std::string& path) const;
  DWORD Attributes(const std::string& path) const;  // INVALID_FILE_ATTRIBUTES when missing
  std::vector<std::string> List(const std::string& folder) const;  // names, without "." and ".."
  bool RegKeyExists(const std::string& key) const;
  std::optional<RegValue> GetRegValue(const std::string& key, const std::string& name) const;
  // Handles of the program still open: find handles, file handles and registry keys.
  std::size_t OpenHandles() const;
  // Whether an open of the program has waited on an oplock break (SetOplocked).
  bool Stalled() const;

  // ---- Failures and the log --------------------------------------------------
  // Every later call of `call` (naming `path`, when given: a target equal to it
  // or below it) fails with `error`, as the real call fails.
  void FailCall(const std::string& call, DWORD error, const std::string& path = "");
  // The call with this index in Calls() (counting from 0, over all calls,
  // from the last ClearLog) fails with `error`.
  void FailNthCall(std::size_t index, DWORD error);

  // Called at the start of every Platform call, before the call looks at the
  // machine, with the call's name and the index it gets in Calls(). The same
  // hook object runs every time, so that its state carries from call to call.
  // It may change the machine through the builders (a race staged at an exact
  // point) or throw to stop a run.
  using CallHook = std::function<void(std::string_view call, std::size_t index)>;
  void SetCallHook(CallHook hook);  // an empty hook removes it

  const std::vector<CallRecord>& Calls() const;
  std::vector<CallRecord> Changes() const;  // the changing calls only
  void ClearLog();

  // ---- Platform --------------------------------------------------------------
  // The calls behave as on Windows for what the cleaner and the preview ask;
  // the contract suite holds the two together. Calls and paths the cleaner
  // never makes (a "..", a trailing separator, an open that is not of an
  // existing entry as itself) throw std::invalid_argument or are not modelled.
  // Choices worth knowing:
  // - Paths of MAX_PATH (260) characters or more fail with
  //   ERROR_FILENAME_EXCED_RANGE before any file is looked at (Wine lets
  //   exactly 260 through). An empty path fails with ERROR_PATH_NOT_FOUND, a
  //   network path or another drive with ERROR_PATH_NOT_FOUND. "\\?\C:\" and
  //   "\\.\C:\" name drive C:, and ".." takes back the part before it.
  // - FindFirstFileA lists with "*" (every entry); any other pattern throws, as
  //   Wine's matching of short names makes such patterns unfit for the cleaner.
  //   A listing, by find handle or NtQueryDirectoryFile, names its entries when
  //   it starts and reads their data when it reaches them; entries gone in
  //   between are passed over. It goes on in the folder it started in, wherever
  //   that folder is moved.
  // - Opens check share modes as Windows does (read, write and delete access
  //   against the others' share modes, and the other way round). CreateFileA
  //   opens an existing entry (FILE_FLAG_BACKUP_SEMANTICS), as itself with
  //   FILE_FLAG_OPEN_REPARSE_POINT, else what a link at its end leads to.
  //   NtOpenFile takes one name relative to a folder's handle, opened as
  //   itself (FILE_OPEN_REPARSE_POINT): any other use throws.
  //   FILE_NON_DIRECTORY_FILE refuses a folder or folder link
  //   (STATUS_FILE_IS_A_DIRECTORY); FILE_DELETE_ON_CLOSE, a read-only entry
  //   (STATUS_CANNOT_DELETE), and is logged as a changing call.
  // - GetFileInformationByHandle gives one volume serial number and each
  //   entry's own index (the root's is 5), as FileInternalInformation does;
  //   FileNameInformation, the path
  //   below C: ("\" for the root), STATUS_BUFFER_OVERFLOW when it does not fit.
  // - FileDispositionInformation fails on a read-only entry
  //   (STATUS_CANNOT_DELETE) and on a folder that is not empty; the entry goes
  //   when the last handle on it closes, by the name it was opened by.
  // - FileBasicInformation keeps the settable bits only; no bits reads back
  //   as FILE_ATTRIBUTE_NORMAL on a file.
  // - A failed registry open or create stores null in *phkResult;
  //   RegQueryValueExA with a buffer too small gives ERROR_MORE_DATA and the
  //   size; a handle outlives its deleted key (ERROR_KEY_DELETED).
  // - Registry and native calls leave the last error alone; the other calls set
  //   it only when they fail. Failures injected for GetLastError,
  //   GetCommandLineA, GetLocalTime and SetErrorMode, which cannot fail, are
  //   ignored; one injected for GetSystemTimeAsFileTime gives a time of 0.
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

 private:
  struct State;
  std::unique_ptr<State> s_;
};
