// The fake's file-system calls, with the results and last-error codes of Win32.
#include <algorithm>
#include <cstring>

#include "support/fake_state.h"

using fake::kSettableAttributes;
using fake::Node;

namespace {

constexpr DWORD kMountPointTag = 0xA0000003;  // IO_REPARSE_TAG_MOUNT_POINT
constexpr DWORD kSymlinkTag = 0xA000000C;     // IO_REPARSE_TAG_SYMLINK

// 2026-12-06 09:00 UTC as a FILETIME: every entry of the fake carries it.
constexpr std::uint64_t kEntryTime = 134410212000000000ULL;

// The ANSI calls convert a path into a buffer of MAX_PATH characters; a longer
// text fails before the file system is asked.
bool TooLong(LPCSTR path) { return std::strlen(path) >= static_cast<std::size_t>(MAX_PATH); }
constexpr DWORD kTooLongError = ERROR_FILENAME_EXCED_RANGE;

void Fill(WIN32_FIND_DATAA* data, const Node& node, const std::string& name) {
  *data = WIN32_FIND_DATAA{};
  data->dwFileAttributes = node.Reported();
  const FILETIME time{static_cast<DWORD>(kEntryTime & 0xFFFFFFFFu),
                      static_cast<DWORD>(kEntryTime >> 32)};
  data->ftCreationTime = time;
  data->ftLastAccessTime = time;
  data->ftLastWriteTime = time;
  data->nFileSizeHigh = static_cast<DWORD>(node.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(node.size & 0xFFFFFFFFu);
  if (node.link) data->dwReserved0 = node.folder ? kMountPointTag : kSymlinkTag;
  std::size_t length = std::min(name.size(), sizeof(data->cFileName) - 1);
  std::memcpy(data->cFileName, name.data(), length);
}

std::uintptr_t Key(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

}  // namespace

HANDLE FakePlatform::FindFirstFileA(LPCSTR lpFileName, WIN32_FIND_DATAA* lpFindFileData) {
  state_->Hook("FindFirstFileA");
  State& s = *state_;
  const std::string text = lpFileName != nullptr ? lpFileName : "";
  fake::ParsedPath parsed = s.Parse(text);
  std::size_t call =
      s.Begin("FindFirstFileA",
              parsed.error != 0 ? text : fake::JoinParts(parsed.drive, parsed.parts), false);
  auto fail = [&](DWORD error) {
    s.Fail(call, error);
    return INVALID_HANDLE_VALUE;
  };
  if (auto error = s.Injected(call)) return fail(*error);
  if (lpFileName == nullptr || text.empty()) return fail(ERROR_PATH_NOT_FOUND);
  if (TooLong(lpFileName)) return fail(kTooLongError);
  if (parsed.error != 0) return fail(parsed.error);
  // A text ending in a separator names a folder, not the entries to list.
  if (parsed.parts.empty() || parsed.trailingSeparator) return fail(ERROR_FILE_NOT_FOUND);

  const std::string pattern = parsed.parts.back();
  parsed.parts.pop_back();
  for (const std::string& part : parsed.parts) {
    if (fake::HasWildcard(part)) return fail(ERROR_INVALID_NAME);
  }
  std::shared_ptr<Node> folder = s.FindFolder(parsed.parts, 0);
  if (!folder) {
    // Listing a file's entries is ERROR_DIRECTORY on Windows (Wine says
    // ERROR_INVALID_NAME); the way there missing is ERROR_PATH_NOT_FOUND.
    fake::Resolved named = s.Resolve(fake::JoinParts(parsed.drive, parsed.parts));
    return fail(named.node && !named.node->folder ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND);
  }

  fake::Listing listing;
  listing.target = s.calls[call].target;
  if (fake::HasWildcard(pattern)) {
    for (const fake::ListedEntry& entry : s.Entries(folder)) {
      if (fake::MatchesPattern(pattern, entry.name)) listing.entries.push_back(entry);
    }
  } else if (std::shared_ptr<Node> node = folder->Child(pattern)) {
    listing.entries.push_back({node->name, node});
  }
  if (listing.entries.empty()) return fail(ERROR_FILE_NOT_FOUND);

  Fill(lpFindFileData, *listing.entries[0].node.lock(), listing.entries[0].name);
  listing.next = 1;
  HANDLE handle = reinterpret_cast<HANDLE>(s.nextHandle);
  s.nextHandle += 4;
  s.listings.emplace(Key(handle), std::move(listing));
  return handle;
}

BOOL FakePlatform::FindNextFileA(HANDLE hFindFile, WIN32_FIND_DATAA* lpFindFileData) {
  state_->Hook("FindNextFileA");
  State& s = *state_;
  auto it = s.listings.find(Key(hFindFile));
  std::size_t call =
      s.Begin("FindNextFileA", it != s.listings.end() ? it->second.target : "", false);
  if (auto error = s.Injected(call)) {
    s.Fail(call, *error);
    return FALSE;
  }
  if (it == s.listings.end()) {
    s.Fail(call, ERROR_INVALID_HANDLE);
    return FALSE;
  }
  fake::Listing& listing = it->second;
  // Entries removed since the listing began are passed over.
  while (listing.next < listing.entries.size()) {
    const fake::ListedEntry& entry = listing.entries[listing.next++];
    if (std::shared_ptr<Node> node = entry.node.lock()) {
      Fill(lpFindFileData, *node, entry.name);
      return TRUE;
    }
  }
  s.Fail(call, ERROR_NO_MORE_FILES);
  return FALSE;
}

BOOL FakePlatform::FindClose(HANDLE hFindFile) {
  state_->Hook("FindClose");
  State& s = *state_;
  auto it = s.listings.find(Key(hFindFile));
  std::size_t call = s.Begin("FindClose", it != s.listings.end() ? it->second.target : "", false);
  if (auto error = s.Injected(call)) {
    s.Fail(call, *error);
    return FALSE;
  }
  if (it == s.listings.end()) {
    s.Fail(call, ERROR_INVALID_HANDLE);
    return FALSE;
  }
  s.listings.erase(it);
  return TRUE;
}

DWORD FakePlatform::State::Prepare(const char* call, LPCSTR path, bool changing, std::size_t& index,
                                   fake::Resolved& resolved) {
  resolved = Resolve(path != nullptr ? path : "");
  index = Begin(call, resolved.target, changing);
  if (auto error = Injected(index)) return *error;
  if (path == nullptr || *path == '\0') return ERROR_PATH_NOT_FOUND;
  if (TooLong(path)) return kTooLongError;
  if (resolved.error != 0) return resolved.error;
  if (fake::HasWildcard(resolved.target)) return ERROR_INVALID_NAME;
  if (!resolved.node) return ERROR_FILE_NOT_FOUND;
  return 0;
}

DWORD FakePlatform::GetFileAttributesA(LPCSTR lpFileName) {
  state_->Hook("GetFileAttributesA");
  std::size_t call = 0;
  fake::Resolved r;
  if (DWORD error = state_->Prepare("GetFileAttributesA", lpFileName, false, call, r)) {
    state_->Fail(call, error);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (r.trailingSeparator && !r.node->folder) {
    state_->Fail(call, ERROR_PATH_NOT_FOUND);  // "file\" asks for a folder
    return INVALID_FILE_ATTRIBUTES;
  }
  return r.node->Reported();
}

BOOL FakePlatform::SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  state_->Hook("SetFileAttributesA");
  std::size_t call = 0;
  fake::Resolved r;
  DWORD error = state_->Prepare("SetFileAttributesA", lpFileName, true, call, r);
  if (error == 0 && r.trailingSeparator && !r.node->folder) error = ERROR_PATH_NOT_FOUND;
  if (error != 0) {
    state_->Fail(call, error);
    return FALSE;
  }
  r.node->attributes = dwFileAttributes & kSettableAttributes;
  return TRUE;
}

BOOL FakePlatform::DeleteFileA(LPCSTR lpFileName) {
  state_->Hook("DeleteFileA");
  std::size_t call = 0;
  fake::Resolved r;
  DWORD error = state_->Prepare("DeleteFileA", lpFileName, true, call, r);
  if (error == 0) {
    if (r.trailingSeparator && !r.node->folder) {
      error = ERROR_INVALID_NAME;
    } else if (r.node->folder) {
      error = ERROR_ACCESS_DENIED;
    } else if (r.node->inUse) {
      // Opening the file for deletion meets the other handle first; the
      // read-only bit only stops the deletion itself.
      error = ERROR_SHARING_VIOLATION;
    } else if ((r.node->attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      error = ERROR_ACCESS_DENIED;
    }
  }
  if (error != 0) {
    state_->Fail(call, error);
    return FALSE;
  }
  r.parent->RemoveChild(r.node.get());
  return TRUE;
}

BOOL FakePlatform::RemoveDirectoryA(LPCSTR lpPathName) {
  state_->Hook("RemoveDirectoryA");
  std::size_t call = 0;
  fake::Resolved r;
  DWORD error = state_->Prepare("RemoveDirectoryA", lpPathName, true, call, r);
  if (error == 0) {
    if (!r.parent) {
      error = ERROR_ACCESS_DENIED;  // a drive's root
    } else if (!r.node->folder) {
      error = ERROR_DIRECTORY;
    } else if (r.node->inUse || r.node == state_->currentNode.lock()) {
      // The process holds its current folder open without delete sharing.
      error = ERROR_SHARING_VIOLATION;
    } else if ((r.node->attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      error = ERROR_ACCESS_DENIED;
    } else if (!r.node->link && !r.node->children.empty()) {
      error = ERROR_DIR_NOT_EMPTY;
    }
  }
  if (error != 0) {
    state_->Fail(call, error);
    return FALSE;
  }
  r.parent->RemoveChild(r.node.get());
  return TRUE;
}
