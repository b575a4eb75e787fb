// The in-memory machine: every file, folder, link and registry key is one
// entry of one map, keyed by its full path ("c:\a\b", "hklm\software\x")
// folded to lower case, so that a folder's entries lie together after it.
// One runner gives every call the hook, the log and the injected failures.
#include "support/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace {

using Parts = std::vector<std::string>;

// ASCII only, whatever the C library's locale: ANSI names compare so on the
// machines the tests model.
std::string Lower(std::string text) {
  for (char& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
  return text;
}

struct Entry {
  std::string name;  // as it was made
  bool folder = true, link = false, inUse = false;
  DWORD attributes = 0;
  std::uint64_t size = 0, order = 0;  // entries list in the order they were made
  Parts linkTarget, listingOrder;
  std::map<std::string, FakePlatform::RegValue> values;  // by folded name
  DWORD Reported() const {
    const DWORD bits = attributes | (folder ? FILE_ATTRIBUTE_DIRECTORY : 0) |
                       (link ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
    return bits == 0 ? FILE_ATTRIBUTE_NORMAL : bits;
  }
};
using Tree = std::map<std::string, Entry>;
using Listed = std::vector<std::pair<std::string, std::string>>;  // name, key

// Read-only, hidden, system, archive, temporary, offline, not content-indexed.
constexpr DWORD kSettable = 0x3127;
constexpr int kMaxLinkDepth = 31;  // links may lead to links; a loop leads nowhere

std::string Join(std::string path, const Parts& parts) {
  for (const std::string& part : parts) path += "\\" + part;
  return path;
}

Parts Split(const std::string& text) {
  Parts parts;
  std::string part;
  for (std::istringstream in(text); std::getline(in, part, '\\');) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

// A path as Win32 reads it: "\" and "/" alike, doubled separators as one, "."
// and ".." resolved, trailing dots and blanks of a name dropped. Drive C: only.
struct Parsed {
  DWORD error = 0;
  Parts parts;
  bool trailingSeparator = false;
  std::string Text() const { return parts.empty() ? "C:\\" : Join("C:", parts); }
};

Parsed Parse(std::string text, const Parts& current) {
  Parsed parsed;
  std::replace(text.begin(), text.end(), '/', '\\');
  parsed.trailingSeparator = !text.empty() && text.back() == '\\';
  const bool drive = text.size() >= 2 && text[1] == ':';
  if ((drive && Lower(text.substr(0, 1)) != "c") || text.compare(0, 2, "\\\\") == 0) {
    parsed.error = ERROR_PATH_NOT_FOUND;  // no other drive, nor a network
  }
  if (drive) text.erase(0, 2);
  if (text.empty() || text[0] != '\\') parsed.parts = current;
  for (std::string part : Split(text)) {
    if (part == "..") {
      if (!parsed.parts.empty()) parsed.parts.pop_back();
    } else if (part != ".") {
      part.erase(part.find_last_not_of(". ") + 1);  // "a.txt. " is "a.txt"
      if (!part.empty()) parsed.parts.push_back(std::move(part));
    }
  }
  return parsed;
}

std::uintptr_t Id(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

// The length without the zero when it fits, else the size needed with the
// zero and nothing written.
DWORD CopyOut(const std::string& text, char* buffer, DWORD size) {
  if (buffer == nullptr || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

void Fill(WIN32_FIND_DATAA* data, const Entry& entry, const std::string& name) {
  *data = WIN32_FIND_DATAA{};
  data->dwFileAttributes = entry.Reported();
  data->nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(entry.size);
  name.copy(data->cFileName, sizeof(data->cFileName) - 1);
}

}  // namespace

struct FakePlatform::State {
  Tree tree;
  std::uint64_t made = 0;
  std::string current = "c:";
  Parts currentParts;
  std::string windowsDirectory, tempPath;
  std::vector<char> commandLine;
  SYSTEMTIME time{};
  UINT errorMode = 0;
  DWORD lastError = 0;
  struct Listing {
    std::string target;
    Listed entries;
    std::size_t next = 1;
  };
  std::map<std::uintptr_t, Listing> listings;
  std::map<std::uintptr_t, std::string> keys;  // the key's path as opened
  std::uintptr_t lastHandle = 0x1000;
  std::vector<std::pair<CallRecord, DWORD>> failures;  // the call and target to fail, the error
  std::map<std::size_t, DWORD> nthFailures;
  std::vector<CallRecord> calls;
  std::shared_ptr<CallHook> hook;
  bool inHook = false;

  // One call: the hook, the log entry, then the injected failure or `body`,
  // which returns the error the call fails with, or 0.
  template <typename Body>
  DWORD Run(const char* call, std::string target, bool changing, Body&& body,
            std::string value = {}, bool setsLastError = true) {
    if (hook && !inHook) {  // a hook that calls the machine does not see itself
      // The same hook object runs every time, so that its state carries from
      // call to call; it stays alive while it replaces itself.
      const std::shared_ptr<CallHook> running = hook;
      inHook = true;
      struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
      } reset{inHook};
      (*running)(call, calls.size());
    }
    calls.push_back({call, std::move(target), std::move(value), changing, true, 0});
    auto nth = nthFailures.find(calls.size() - 1);
    DWORD error = nth != nthFailures.end() ? nth->second : 0;
    for (const auto& [failure, injected] : failures) {  // at or below the path given
      std::string at = failure.target;
      if (!at.empty() && at.back() != '\\') at += '\\';
      if (!error && failure.call == call && Lower(calls.back().target + "\\").rfind(at, 0) == 0) {
        error = injected;
      }
    }
    if (error == 0) error = body();
    if (error != 0) {
      calls.back().succeeded = false;
      calls.back().error = error;
      if (setsLastError) lastError = error;
    }
    return error;
  }
  DWORD Note(const char* call) {  // a call that looks at nothing on the machine
    return Run(call, "", false, [] { return DWORD{0}; });
  }

  // ---- Files ----
  Parsed ParsePath(const std::string& text) const { return Parse(text, currentParts); }
  Tree::iterator Make(const std::string& key, const std::string& name, bool folder) {
    Entry entry;
    entry.name = name;
    entry.folder = folder;
    entry.order = ++made;
    return tree.emplace(Lower(key), std::move(entry)).first;
  }
  // The key of the folder `parts` names, folder links followed; "" for none.
  std::string Folder(const Parts& parts, std::size_t count = ~std::size_t{0}, int depth = 0) {
    std::string at = "c:";
    for (std::size_t i = 0; i < std::min(count, parts.size()) && !at.empty(); ++i) {
      auto it = tree.find(at + "\\" + Lower(parts[i]));
      if (it == tree.end() || !it->second.folder || depth > kMaxLinkDepth) return "";
      at = it->second.link ? Folder(it->second.linkTarget, ~std::size_t{0}, depth + 1) : it->first;
    }
    return at;
  }
  // The entry a path names, its last component not followed; with
  // `wayThere` false when its folder is missing too.
  Tree::iterator Find(const Parsed& parsed, bool* wayThere = nullptr) {
    if (parsed.error != 0) return tree.end();
    if (parsed.parts.empty()) return tree.find("c:");
    const std::string folder = Folder(parsed.parts, parsed.parts.size() - 1);
    if (wayThere != nullptr) *wayThere = !folder.empty();
    return folder.empty() ? tree.end() : tree.find(folder + "\\" + Lower(parsed.parts.back()));
  }
  Tree::iterator Find(const std::string& path) { return Find(ParsePath(path)); }
  // A path-taking call: the checks every such call makes, then `body`.
  template <typename Body>
  DWORD RunOnPath(const char* call, LPCSTR path, bool changing, Body&& body) {
    const std::string text = path != nullptr ? path : "";
    const Parsed parsed = ParsePath(text);
    return Run(call, parsed.error != 0 ? text : parsed.Text(), changing, [&]() -> DWORD {
      if (text.empty()) return ERROR_PATH_NOT_FOUND;
      if (text.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;  // before any lookup
      if (parsed.error != 0) return parsed.error;
      bool wayThere = true;
      auto it = Find(parsed, &wayThere);
      if (it == tree.end()) return wayThere ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
      if (parsed.trailingSeparator && !it->second.folder && std::strcmp(call, "RemoveDirectoryA")) {
        return std::strcmp(call, "DeleteFileA") == 0 ? ERROR_INVALID_NAME : ERROR_PATH_NOT_FOUND;
      }
      return body(it->second, it);
    });
  }
  // The entries below `key`, or only those right below it.
  std::vector<Tree::iterator> Below(const std::string& key, bool deep = false) {
    std::vector<Tree::iterator> found;
    const std::string prefix = Lower(key) + "\\";
    for (auto it = tree.lower_bound(prefix); it != tree.end() && it->first.rfind(prefix, 0) == 0;
         ++it) {
      if (deep || it->first.find('\\', prefix.size()) == std::string::npos) found.push_back(it);
    }
    return found;
  }
  void Erase(Tree::iterator it) {  // with all it holds
    for (auto below : Below(it->first, true)) tree.erase(below);
    tree.erase(it);
  }
  // A folder's entries in listing order, "." and ".." included below the root.
  Listed List(const std::string& folder) {
    Listed all;
    if (folder != "c:") all = {{".", folder}, {"..", folder.substr(0, folder.rfind('\\'))}};
    auto below = Below(folder);
    std::sort(below.begin(), below.end(),
              [](auto a, auto b) { return a->second.order < b->second.order; });
    for (auto it : below) all.emplace_back(it->second.name, it->first);
    // Named entries in the order given, "." and ".." ahead of them unless named.
    Parts order = tree.at(folder).listingOrder;
    for (std::string& name : order) name = Lower(name);
    auto rank = [&](const std::string& name) {
      const auto at = std::find(order.begin(), order.end(), Lower(name)) - order.begin();
      return at == std::ptrdiff_t(order.size()) && (name == "." || name == "..") ? -1 : at;
    };
    std::stable_sort(all.begin(), all.end(),
                     [&](auto& a, auto& b) { return rank(a.first) < rank(b.first); });
    return all;
  }

  // ---- For the builders, where a mistake of the test throws ----
  Parts PartsOrThrow(const std::string& path) const {
    Parsed parsed = ParsePath(path);
    if (parsed.error != 0) throw std::invalid_argument("not a path on C: " + path);
    return parsed.parts;
  }
  Tree::iterator Existing(const std::string& path) {
    auto it = Find(path);
    if (it == tree.end()) throw std::invalid_argument("nothing at " + path);
    return it;
  }
  std::string FolderOrThrow(const std::string& path) {
    const std::string folder = Folder(PartsOrThrow(path));
    if (folder.empty()) throw std::invalid_argument("no such folder: " + path);
    return folder;
  }
  // The folders of `parts` made where missing (links followed), but for the
  // last `leave` parts; the key of the last folder.
  std::string MakeFolders(const Parts& parts, std::size_t leave = 0) {
    std::string at = "c:";
    for (std::size_t i = 0; i + leave < parts.size(); ++i) {
      auto it = tree.find(at + "\\" + Lower(parts[i]));
      if (it == tree.end()) it = Make(at + "\\" + parts[i], parts[i], true);
      at = it->second.link ? Folder(parts, i + 1) : it->second.folder ? it->first : "";
      if (at.empty()) throw std::invalid_argument("not a folder: " + Join("C:", parts));
    }
    return at;
  }
  Entry& NewEntry(const std::string& path, bool folder) {
    const Parts parts = PartsOrThrow(path);
    if (parts.empty()) throw std::invalid_argument("needs a name: " + path);
    const std::string key = MakeFolders(parts, 1) + "\\" + Lower(parts.back());
    if (tree.count(key) != 0) throw std::invalid_argument("something is there: " + path);
    return Make(key, parts.back(), folder)->second;
  }

  // ---- Registry ----
  static std::string RootName(HKEY key) { return key == HKEY_LOCAL_MACHINE ? "HKLM" : ""; }
  std::string KeyOrThrow(HKEY root, const std::string& key) const {
    if (RootName(root).empty()) throw std::invalid_argument("the registry root must be HKLM");
    return Lower(Join(RootName(root), Split(key)));
  }
  Entry& MakeKey(std::string key, const std::string& subkey) {
    for (const std::string& part : Split(subkey)) {
      key += "\\" + part;
      if (tree.count(Lower(key)) == 0) Make(key, part, true);
    }
    return tree.at(Lower(key));
  }
  // A registry call on `handle` (and `subkey`): `body` gets the key's entry
  // and path; the call fails without it when the handle stands for no key.
  template <typename Body>
  LSTATUS RunOnKey(const char* call, HKEY handle, LPCSTR subkey, bool changing, Body&& body,
                   const std::string& value = {}) {
    auto open = keys.find(Id(handle));
    const std::string key = !RootName(handle).empty() ? RootName(handle)
                            : open != keys.end()      ? open->second
                                                      : "";
    const std::string target = Join(key, Split(subkey ? subkey : ""));
    return static_cast<LSTATUS>(Run(
        call, target, changing,
        [&]() -> DWORD {
          if (key.empty()) return ERROR_INVALID_HANDLE;
          auto it = tree.find(Lower(key));
          return it == tree.end() ? ERROR_KEY_DELETED : static_cast<DWORD>(body(it, target));
        },
        value, false));
  }
  HKEY OpenHandle(const std::string& path) {
    keys[lastHandle += 4] = path;
    return reinterpret_cast<HKEY>(lastHandle);
  }
};

// ---- Building and looking at the machine ---------------------------------------

FakePlatform::FakePlatform() : s_(std::make_unique<State>()) {
  for (const char* root : {"C:", "HKLM"}) s_->Make(root, root, true);
  SetWindowsDirectory("C:\\Windows");
  SetTempPath("C:\\Users\\Admin\\AppData\\Local\\Temp\\");
  SetCommandLine("C:\\Tools\\sweepwell.exe");
  SetLocalTime(2026, 12, 6);
  AddFolder("C:\\Windows");
  AddFolder("C:\\Users\\Admin\\AppData\\Local\\Temp");
  AddRegKey(HKEY_LOCAL_MACHINE, "SOFTWARE");
}

FakePlatform::~FakePlatform() = default;

void FakePlatform::AddFolder(const std::string& path, DWORD attributes) {
  const std::string key = s_->MakeFolders(s_->PartsOrThrow(path));
  if (key != "c:") s_->tree.at(key).attributes = attributes & kSettable;
}

void FakePlatform::AddFile(const std::string& path, std::uint64_t size, DWORD attributes) {
  auto it = s_->Find(path);
  if (it != s_->tree.end() && (it->second.folder || it->second.link)) {
    throw std::invalid_argument("a folder or link is there: " + path);
  }
  Entry& file = it != s_->tree.end() ? it->second : s_->NewEntry(path, false);
  file.size = size;
  file.attributes = attributes & kSettable;
}

void FakePlatform::AddLink(const std::string& path, const std::string& target, bool folder) {
  const Parts leadsTo = s_->PartsOrThrow(target);
  Entry& link = s_->NewEntry(path, folder);
  link.link = true;
  link.linkTarget = leadsTo;
  link.attributes = folder ? 0 : FILE_ATTRIBUTE_ARCHIVE;
}

void FakePlatform::SetInUse(const std::string& path, bool inUse) {
  s_->Existing(path)->second.inUse = inUse;
}

void FakePlatform::SetListingOrder(const std::string& folder, const std::vector<std::string>& n) {
  s_->tree.at(s_->FolderOrThrow(folder)).listingOrder = n;
}

void FakePlatform::SetCurrentFolder(const std::string& path) {
  s_->current = s_->FolderOrThrow(path);
  s_->currentParts = s_->ParsePath(path).parts;
}

void FakePlatform::Remove(const std::string& path) {
  auto it = s_->Existing(path);
  if (it->first == "c:") throw std::invalid_argument("the drive stays");
  s_->Erase(it);
}

void FakePlatform::SetWindowsDirectory(const std::string& text) { s_->windowsDirectory = text; }
void FakePlatform::SetTempPath(const std::string& text) { s_->tempPath = text; }
void FakePlatform::SetLocalTime(WORD year, WORD month, WORD day) {
  s_->time = SYSTEMTIME{year, month, 0, day, 9, 0, 0, 0};
}
void FakePlatform::SetCommandLine(const std::string& text) {
  s_->commandLine.assign(text.c_str(), text.c_str() + text.size() + 1);
}

void FakePlatform::AddRegKey(HKEY root, const std::string& key) {
  s_->MakeKey(s_->KeyOrThrow(root, ""), key);
}

void FakePlatform::SetRegValue(HKEY root, const std::string& key, const std::string& name,
                               DWORD type, const std::vector<BYTE>& data) {
  s_->MakeKey(s_->KeyOrThrow(root, ""), key).values[Lower(name)] = RegValue{type, data};
}

void FakePlatform::SetRegString(HKEY root, const std::string& key, const std::string& name,
                                const std::string& text) {
  SetRegValue(root, key, name, REG_SZ, {text.c_str(), text.c_str() + text.size() + 1});
}

void FakePlatform::SetRegDword(HKEY root, const std::string& key, const std::string& name,
                               DWORD v) {
  SetRegValue(root, key, name, REG_DWORD, {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)});
}

bool FakePlatform::Exists(const std::string& path) const {
  return s_->Find(path) != s_->tree.end();
}

DWORD FakePlatform::Attributes(const std::string& path) const {
  auto it = s_->Find(path);
  return it != s_->tree.end() ? it->second.Reported() : INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FakePlatform::List(const std::string& folder) const {
  std::vector<std::string> names;
  const Parsed parsed = s_->ParsePath(folder);
  const std::string key = parsed.error == 0 ? s_->Folder(parsed.parts) : "";
  for (const auto& entry : key.empty() ? Listed() : s_->List(key)) {
    if (entry.first != "." && entry.first != "..") names.push_back(entry.first);
  }
  return names;
}

bool FakePlatform::RegKeyExists(HKEY root, const std::string& key) const {
  return s_->tree.count(s_->KeyOrThrow(root, key)) != 0;
}

std::optional<FakePlatform::RegValue> FakePlatform::GetRegValue(HKEY root, const std::string& key,
                                                                const std::string& name) const {
  auto it = s_->tree.find(s_->KeyOrThrow(root, key));
  if (it == s_->tree.end() || it->second.values.count(Lower(name)) == 0) return std::nullopt;
  return it->second.values.at(Lower(name));
}

std::size_t FakePlatform::OpenFindHandles() const { return s_->listings.size(); }
std::size_t FakePlatform::OpenRegKeys() const { return s_->keys.size(); }
UINT FakePlatform::ErrorMode() const { return s_->errorMode; }

std::string FakePlatform::Dump() const {
  std::string out;
  for (const auto& [key, e] : s_->tree) {
    out += key + (e.link ? " (link)" : "") + (e.inUse ? " (in use)" : "") + "\n";
  }
  return out + "current folder: " + s_->current + "\n";
}

// ---- Failures, the hook and the log -----------------------------------------------

void FakePlatform::FailCall(const std::string& call, DWORD error, const std::string& path) {
  const Parsed parsed = s_->ParsePath(path);  // named as the log names it, folded
  const bool file = !path.empty() && Lower(path).rfind("hk", 0) != 0 && parsed.error == 0;
  s_->failures.push_back(
      {CallRecord{call, Lower(file ? parsed.Text() : path), "", 0, 0, 0}, error});
}

void FakePlatform::FailNthCall(std::size_t index, DWORD error) { s_->nthFailures[index] = error; }

void FakePlatform::SetCallHook(CallHook hook) {
  s_->hook = hook ? std::make_shared<CallHook>(std::move(hook)) : nullptr;
}

const std::vector<FakePlatform::CallRecord>& FakePlatform::Calls() const { return s_->calls; }

std::vector<FakePlatform::CallRecord> FakePlatform::Changes() const {
  std::vector<CallRecord> changes;
  std::copy_if(s_->calls.begin(), s_->calls.end(), std::back_inserter(changes),
               [](const CallRecord& record) { return record.changing; });
  return changes;
}

// Call indices of FailNthCall count from here on, as Calls() does.
void FakePlatform::ClearLog() { s_->calls.clear(); }

// ---- Process and well-known folders ------------------------------------------------

UINT FakePlatform::SetErrorMode(UINT mode) {
  s_->Note("SetErrorMode");
  return std::exchange(s_->errorMode, mode);
}

LPSTR FakePlatform::GetCommandLineA() {
  s_->Note("GetCommandLineA");
  return s_->commandLine.data();
}

void FakePlatform::GetLocalTime(SYSTEMTIME* time) {
  s_->Note("GetLocalTime");
  *time = s_->time;
}

DWORD FakePlatform::GetLastError() {
  s_->Note("GetLastError");
  return s_->lastError;
}

UINT FakePlatform::GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  return s_->Note("GetWindowsDirectoryA") ? 0 : CopyOut(s_->windowsDirectory, buffer, size);
}

DWORD FakePlatform::GetTempPathA(DWORD size, LPSTR buffer) {
  return s_->Note("GetTempPathA") ? 0 : CopyOut(s_->tempPath, buffer, size);
}

// ---- Files and folders ---------------------------------------------------------------

HANDLE FakePlatform::FindFirstFileA(LPCSTR lpFileName, WIN32_FIND_DATAA* data) {
  State& s = *s_;
  const std::string text = lpFileName != nullptr ? lpFileName : "";
  Parsed named = s.ParsePath(text);
  State::Listing listing{named.error != 0 ? text : named.Text(), {}};
  const DWORD error = s.Run("FindFirstFileA", listing.target, false, [&]() -> DWORD {
    if (text.empty()) return ERROR_PATH_NOT_FOUND;
    if (text.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    if (named.error != 0) return named.error;
    // A text ending in a separator names a folder, not the entries to list.
    if (named.parts.empty() || named.trailingSeparator) return ERROR_FILE_NOT_FOUND;
    const std::string pattern = named.parts.back();
    named.parts.pop_back();
    const std::string folder = s.Folder(named.parts);
    if (folder.empty()) {  // a file's entries: ERROR_DIRECTORY (Wine: ERROR_INVALID_NAME)
      return s.Find(named) != s.tree.end() ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND;
    }
    if (pattern == "*" || pattern == "*.*") {
      listing.entries = s.List(folder);
    } else if (pattern.find_first_of("*?") != std::string::npos) {
      throw std::invalid_argument("the machine lists with \"*\" or \"*.*\" only: " + text);
    } else if (auto it = s.tree.find(folder + "\\" + Lower(pattern)); it != s.tree.end()) {
      listing.entries.emplace_back(it->second.name, it->first);
    }
    return listing.entries.empty() ? ERROR_FILE_NOT_FOUND : 0;
  });
  if (error != 0) return INVALID_HANDLE_VALUE;
  Fill(data, s.tree.at(listing.entries[0].second), listing.entries[0].first);
  s.listings[s.lastHandle += 4] = std::move(listing);
  return reinterpret_cast<HANDLE>(s.lastHandle);
}

BOOL FakePlatform::FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* data) {
  State& s = *s_;
  auto it = s.listings.find(Id(handle));
  const std::string target = it != s.listings.end() ? it->second.target : "";
  return s.Run("FindNextFileA", target, false, [&]() -> DWORD {
    if (it == s.listings.end()) return ERROR_INVALID_HANDLE;
    for (State::Listing& listing = it->second; listing.next < listing.entries.size();) {
      const auto& [name, key] = listing.entries[listing.next++];
      auto entry = s.tree.find(key);  // removed ones are passed over
      if (entry != s.tree.end()) return Fill(data, entry->second, name), 0;
    }
    return ERROR_NO_MORE_FILES;
  }) == 0;
}

BOOL FakePlatform::FindClose(HANDLE handle) {
  State& s = *s_;
  auto it = s.listings.find(Id(handle));
  const std::string target = it != s.listings.end() ? it->second.target : "";
  return s.Run("FindClose", target, false, [&]() -> DWORD {
    return s.listings.erase(Id(handle)) != 0 ? 0 : ERROR_INVALID_HANDLE;
  }) == 0;
}

DWORD FakePlatform::GetFileAttributesA(LPCSTR path) {
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  s_->RunOnPath("GetFileAttributesA", path, false,
                [&](Entry& e, auto) -> DWORD { return attributes = e.Reported(), 0; });
  return attributes;
}

BOOL FakePlatform::SetFileAttributesA(LPCSTR path, DWORD attributes) {
  return s_->RunOnPath("SetFileAttributesA", path, true, [&](Entry& e, auto) -> DWORD {
    return e.attributes = attributes & kSettable, 0;
  }) == 0;
}

BOOL FakePlatform::DeleteFileA(LPCSTR path) {
  return s_->RunOnPath("DeleteFileA", path, true, [&](Entry& e, auto it) -> DWORD {
    if (e.folder) return ERROR_ACCESS_DENIED;
    // Opening the file for deletion meets the other handle before the read-only bit.
    if (e.inUse) return ERROR_SHARING_VIOLATION;
    if ((e.attributes & FILE_ATTRIBUTE_READONLY) != 0) return ERROR_ACCESS_DENIED;
    return s_->tree.erase(it), 0;
  }) == 0;
}

BOOL FakePlatform::RemoveDirectoryA(LPCSTR path) {
  State& s = *s_;
  return s.RunOnPath("RemoveDirectoryA", path, true, [&](Entry& e, auto it) -> DWORD {
    if (it->first == "c:") return ERROR_ACCESS_DENIED;  // a drive's root
    if (!e.folder) return ERROR_DIRECTORY;
    // The process holds its current folder open without delete sharing.
    if (e.inUse || it->first == s.current) return ERROR_SHARING_VIOLATION;
    if ((e.attributes & FILE_ATTRIBUTE_READONLY) != 0) return ERROR_ACCESS_DENIED;
    if (!e.link && !s.Below(it->first).empty()) return ERROR_DIR_NOT_EMPTY;
    return s.Erase(it), 0;
  }) == 0;
}

// ---- Registry ---------------------------------------------------------------------------

LSTATUS FakePlatform::RegOpenKeyA(HKEY key, LPCSTR subkey, HKEY* result) {
  *result = nullptr;
  return s_->RunOnKey("RegOpenKeyA", key, subkey, false, [&](auto, auto& path) {
    if (s_->tree.count(Lower(path)) == 0) return ERROR_FILE_NOT_FOUND;
    return *result = s_->OpenHandle(path), ERROR_SUCCESS;
  });
}

LSTATUS FakePlatform::RegCreateKeyA(HKEY key, LPCSTR subkey, HKEY* result) {
  *result = nullptr;
  return s_->RunOnKey("RegCreateKeyA", key, subkey, true, [&](auto it, auto& path) {
    s_->MakeKey(it->first, subkey ? subkey : "");
    return *result = s_->OpenHandle(path), ERROR_SUCCESS;
  });
}

LSTATUS FakePlatform::RegQueryValueExA(HKEY key, LPCSTR value, DWORD*, DWORD* type, BYTE* data,
                                       DWORD* count) {
  const std::string name = value ? value : "";
  return s_->RunOnKey(
      "RegQueryValueExA", key, "", false,
      [&](auto it, auto&) {
        auto found = it->second.values.find(Lower(name));
        const bool there = found != it->second.values.end();
        if (type != nullptr) *type = there ? found->second.type : REG_NONE;
        if (!there) return ERROR_FILE_NOT_FOUND;
        const std::vector<BYTE>& bytes = found->second.data;
        const bool fits = data == nullptr || *count >= bytes.size();
        if (data != nullptr && fits) std::copy(bytes.begin(), bytes.end(), data);
        if (count != nullptr) *count = static_cast<DWORD>(bytes.size());
        return fits ? ERROR_SUCCESS : ERROR_MORE_DATA;
      },
      name);
}

LSTATUS FakePlatform::RegSetValueExA(HKEY key, LPCSTR value, DWORD, DWORD type, const BYTE* data,
                                     DWORD count) {
  const std::string name = value ? value : "";
  return s_->RunOnKey(
      "RegSetValueExA", key, "", true,
      [&](auto it, auto&) {
        it->second.values[Lower(name)] = RegValue{type, std::vector<BYTE>(data, data + count)};
        return ERROR_SUCCESS;
      },
      name);
}

LSTATUS FakePlatform::RegDeleteKeyA(HKEY key, LPCSTR subkey) {
  State& s = *s_;
  return s.RunOnKey("RegDeleteKeyA", key, subkey, true, [&](auto, auto& path) {
    auto doomed = s.tree.find(Lower(path));
    if (doomed == s.tree.end()) return ERROR_FILE_NOT_FOUND;
    // A key with subkeys stays, as does a root.
    if (!s.Below(path).empty() || path.find('\\') == std::string::npos) return ERROR_ACCESS_DENIED;
    return s.tree.erase(doomed), ERROR_SUCCESS;
  });
}

LSTATUS FakePlatform::RegCloseKey(HKEY key) {
  State& s = *s_;
  // A handle outlives its key, and closes all the same; a root closes too.
  const std::string path = s.keys.count(Id(key)) ? s.keys[Id(key)] : State::RootName(key);
  return static_cast<LSTATUS>(s.Run(
      "RegCloseKey", path, false,
      [&]() -> DWORD {
        if (!State::RootName(key).empty()) return 0;
        return s.keys.erase(Id(key)) != 0 ? 0 : ERROR_INVALID_HANDLE;
      },
      {}, false));
}
