#include "support/win32_test_machine.h"

#include <shlwapi.h>

#include <stdexcept>

#include "folders/purge_folder.h"

namespace {

[[noreturn]] void Throw(const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " " + path + ": error " + std::to_string(::GetLastError()));
}

std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size() + 1, L'\0');
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), -1,
                                           &wide[0], static_cast<int>(wide.size()));
  if (length == 0) Throw("MultiByteToWideChar", utf8);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

// A name no other run uses (process ids repeat under Wine): a unique file,
// turned into a folder of the same name.
std::string MakeScratchFolder() {
  char temp[MAX_PATH], name[MAX_PATH];
  const DWORD length = ::GetTempPathA(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH || !::GetTempFileNameA(temp, "swc", 0, name)) {
    Throw("GetTempFileNameA", temp);
  }
  if (!::DeleteFileA(name) || !::CreateDirectoryA(name, nullptr)) Throw("CreateDirectoryA", name);
  return name;
}

bool IsWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

Win32TestMachine::Win32TestMachine() : Win32TestMachine(MakeScratchFolder()) {}

Win32TestMachine::Win32TestMachine(const std::string& folder)
    : TestMachine(folder, "SOFTWARE\\Sweepwell-" + folder.substr(folder.rfind('\\') + 1),
                  IsWine()) {
  HKEY key = nullptr;
  if (::RegCreateKeyA(HKEY_LOCAL_MACHINE, scratchKey.c_str(), &key) != ERROR_SUCCESS) {
    ::RemoveDirectoryA(scratch.c_str());  // still empty
    Throw("RegCreateKeyA", scratchKey);
  }
  ::RegCloseKey(key);
}

Win32TestMachine::~Win32TestMachine() {
  for (HANDLE handle : holds_) ::CloseHandle(handle);
  // With all it holds, the folder through the walks.
  PurgeFolder(platform_, scratch, false);
  ::RemoveDirectoryA(scratch.c_str());
  ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, scratchKey.c_str());
}

void Win32TestMachine::MakeFolder(const std::string& path) {
  if (!::CreateDirectoryW(Wide(path).c_str(), nullptr)) Throw("CreateDirectoryW", path);
}

void Win32TestMachine::MakeFile(const std::string& path, std::uint64_t size, DWORD attributes) {
  HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Throw("CreateFileW", path);
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  const bool sized = ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
  ::CloseHandle(file);
  if (!sized) Throw("SetEndOfFile", path);
  if (!::SetFileAttributesW(Wide(path).c_str(), attributes)) Throw("SetFileAttributesW", path);
}

void Win32TestMachine::Hold(const std::string& path) {
  // Backup semantics let a folder be opened as well as a file.
  HANDLE handle =
      ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) Throw("CreateFileW", path);
  holds_.push_back(handle);
}

void Win32TestMachine::MakeHardLink(const std::string& path, const std::string& existing) {
  if (!::CreateHardLinkW(Wide(path).c_str(), Wide(existing).c_str(), nullptr)) {
    Throw("CreateHardLinkW", path);
  }
}

bool Win32TestMachine::Rename(const std::string& from, const std::string& to) {
  return ::MoveFileW(Wide(from).c_str(), Wide(to).c_str()) != FALSE;
}

bool Win32TestMachine::MakeFolderLink(const std::string& path, const std::string& target) {
  // Looked up, as the 32-bit build is for Windows XP, which has no symbolic links.
  using CreateLink = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
  const auto create = reinterpret_cast<CreateLink>(reinterpret_cast<void (*)()>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkW")));
  // SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE. Wine's
  // stub says it made the link: what is there says otherwise.
  if (create != nullptr) create(Wide(path).c_str(), Wide(target).c_str(), 0x1 | 0x2);
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
