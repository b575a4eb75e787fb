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
bool StartsWith(const std::string& text, const std::string& prefix) {
  return Lower(text).rfind(Lower(prefix), 0) == 0;
}

struct Entry {
  std::string name;         // as it was made
  std::uint64_t order = 0;  // entries list in the order they were made
  bool folder = true, link = false, inUse = false;
  Parts linkTarget;  // below C:\ .
  DWORD attributes = 0;
  std::uint64_t size = 0;
  Parts listingOrder;
  std::map<std::string, FakePlatform::RegValue> values;  // by folded name
  DWORD Reported() const {
    const DWORD bits = attributes | (folder ? FILE_ATTRIBUTE_DIRECTORY : 0) |
                       (link ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
    return bits == 0 ? FILE_ATTRIBUTE_NORMAL : bits;
  }
};
using Tree = std::map<std::string, Entry>;
using Listed = std::vector<std::pair<std::string, std::string>>;  // name, key

constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_TEMPORARY | 0x1000 /* offline */ |
                            0x2000 /* not content-indexed */;
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
// and ".." resolved, trailing dots and blanks of a name dropped. Only drive C:.
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
  std::size_t start = 0;
  if (text.size() >= 2 && text[1] == ':') {
    if (Lower(text.substr(0, 1)) != "c") parsed.error = ERROR_PATH_NOT_FOUND;
    start = 2;
  } else if (text.compare(0, 2, "\\\\") == 0) {
    parsed.error = ERROR_PATH_NOT_FOUND;  // no network either
  }
  if (start == text.size() || text[start] != '\\') parsed.parts = current;
  for (std::string part : Split(text.substr(start))) {
    if (part == "..") {
      if (!parsed.parts.empty()) parsed.parts.pop_back();
    } else if (part != ".") {
      part.erase(part.find_last_not_of(". ") + 1);  // "a.txt. " is "a.txt"
      if (!part.empty()) parsed.parts.push_back(std::move(part));
    }
  }
  return parsed;
}

template <typename Handle>
std::uintptr_t Id(Handle handle) {
  return reinterpret_cast<std::uintptr_t>(handle);
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
      inHook = true;
      // The same hook object runs every time, so that its state carries from
      // call to call; it stays alive while it replaces itself.
      const std::shared_ptr<CallHook> running = hook;
      try {
        (*running)(call, calls.size());
      } catch (...) {
        inHook = false;
        throw;
      }
      inHook = false;
    }
    calls.push_back({call, std::move(target), std::move(value), changing, true, 0});
    auto nth = nthFailures.find(calls.size() - 1);
    DWORD error = nth != nthFailures.end() ? nth->second : 0;
    for (const auto& [failure, injected] : failures) {  // at or below the path given
      std::string at = failure.target;
      if (!at.empty() && at.back() != '\\') at += '\\';
      if (!error && failure.call == call && StartsWith(calls.back().target + "\\", at)) {
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
    for (std::size_t i = 0; i < std::min(count, parts.size()); ++i) {
      auto it = tree.find(at + "\\" + Lower(parts[i]));
      if (it == tree.end() || !it->second.folder || depth > kMaxLinkDepth) return "";
      at = it->second.link ? Folder(it->second.linkTarget, ~std::size_t{0}, depth + 1) : it->first;
      if (at.empty()) return "";
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
      return body(it);
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
    const Parts& order = tree.at(folder).listingOrder;
    auto rank = [&](const std::string& name) {
      auto at = std::find_if(order.begin(), order.end(),
                             [&](auto& n) { return Lower(n) == Lower(name); });
      return at == order.end() && (name == "." || name == "..") ? -1L : long(at - order.begin());
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
    auto it = Find(ParsePath(path));
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
  static std::string RootName(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return "HKLM";
    return key == HKEY_CURRENT_USER ? "HKCU" : "";
  }
  std::string RootOrThrow(HKEY key) const {
    if (!RootName(key).empty()) return RootName(key);
    throw std::invalid_argument("registry root must be HKLM or HKCU");
  }
  std::string MakeKey(std::string key, const std::string& subkey) {
    for (const std::string& part : Split(subkey)) {
      key += "\\" + part;
      if (tree.count(Lower(key)) == 0) Make(key, part, true);
    }
    return Lower(key);
  }
  // A registry call on `handle` (and `subkey`): `body` gets the key's entry
  // and path; the call fails without it when the handle stands for no key.
  template <typename Body>
  LSTATUS RunOnKey(const char* call, HKEY handle, LPCSTR subkey, bool changing, Body&& body,
                   const std::string& value = {}) {
    const std::string key = KeyPath(handle);
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
  std::string KeyPath(HKEY handle) const {  // "" when it stands for no key
    auto open = keys.find(Id(handle));
    return !RootName(handle).empty() ? RootName(handle) : open != keys.end() ? open->second : "";
  }
  HKEY OpenHandle(const std::string& path) {
    keys[lastHandle += 4] = path;
    return reinterpret_cast<HKEY>(lastHandle);
  }
};

// ---- Building and looking at the machine ---------------------------------------

FakePlatform::FakePlatform() : state_(std::make_unique<State>()) {
  for (const char* root : {"C:", "HKLM", "HKCU"}) state_->Make(root, root, true);
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
  const std::string key = state_->MakeFolders(state_->PartsOrThrow(path));
  if (key != "c:") state_->tree.at(key).attributes = attributes & kSettable;
}

void FakePlatform::AddFile(const std::string& path, std::uint64_t size, DWORD attributes) {
  auto it = state_->Find(state_->ParsePath(path));
  if (it != state_->tree.end() && (it->second.folder || it->second.link)) {
    throw std::invalid_argument("a folder or link is there: " + path);
  }
  Entry& file = it != state_->tree.end() ? it->second : state_->NewEntry(path, false);
  file.size = size;
  file.attributes = attributes & kSettable;
}

void FakePlatform::AddLink(const std::string& path, const std::string& target, bool folder) {
  const Parts leadsTo = state_->PartsOrThrow(target);
  Entry& link = state_->NewEntry(path, folder);
  link.link = true;
  link.linkTarget = leadsTo;
  link.attributes = folder ? 0 : FILE_ATTRIBUTE_ARCHIVE;
}

void FakePlatform::SetInUse(const std::string& path, bool inUse) {
  state_->Existing(path)->second.inUse = inUse;
}

void FakePlatform::SetListingOrder(const std::string& folder,
                                   const std::vector<std::string>& names) {
  state_->tree.at(state_->FolderOrThrow(folder)).listingOrder = names;
}

void FakePlatform::SetCurrentFolder(const std::string& path) {
  state_->current = state_->FolderOrThrow(path);
  state_->currentParts = state_->ParsePath(path).parts;
}

void FakePlatform::Remove(const std::string& path) {
  auto it = state_->Existing(path);
  if (it->first == "c:") throw std::invalid_argument("the drive stays");
  state_->Erase(it);
}

void FakePlatform::SetWindowsDirectory(const std::string& text) { state_->windowsDirectory = text; }
void FakePlatform::SetTempPath(const std::string& text) { state_->tempPath = text; }

void FakePlatform::SetLocalTime(WORD year, WORD month, WORD day) {
  state_->time = SYSTEMTIME{};
  state_->time.wYear = year;
  state_->time.wMonth = month;
  state_->time.wDay = day;
  state_->time.wHour = 9;
}

void FakePlatform::SetCommandLine(const std::string& text) {
  state_->commandLine.assign(text.c_str(), text.c_str() + text.size() + 1);
}

void FakePlatform::AddRegKey(HKEY root, const std::string& key) {
  state_->MakeKey(state_->RootOrThrow(root), key);
}

void FakePlatform::SetRegValue(HKEY root, const std::string& key, const std::string& name,
                               DWORD type, const std::vector<BYTE>& data) {
  const std::string at = state_->MakeKey(state_->RootOrThrow(root), key);
  state_->tree.at(at).values[Lower(name)] = RegValue{type, data};
}

void FakePlatform::SetRegString(HKEY root, const std::string& key, const std::string& name,
                                const std::string& text) {
  SetRegValue(root, key, name, REG_SZ, {text.c_str(), text.c_str() + text.size() + 1});
}

void FakePlatform::SetRegDword(HKEY root, const std::string& key, const std::string& name,
                               DWORD value) {
  SetRegValue(root, key, name, REG_DWORD,
              {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)});
}

bool FakePlatform::Exists(const std::string& path) const {
  return state_->Find(state_->ParsePath(path)) != state_->tree.end();
}

DWORD FakePlatform::Attributes(const std::string& path) const {
  auto it = state_->Find(state_->ParsePath(path));
  return it != state_->tree.end() ? it->second.Reported() : INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FakePlatform::List(const std::string& folder) const {
  std::vector<std::string> names;
  const Parsed parsed = state_->ParsePath(folder);
  const std::string key = parsed.error == 0 ? state_->Folder(parsed.parts) : "";
  for (const auto& entry : key.empty() ? Listed() : state_->List(key)) {
    if (entry.first != "." && entry.first != "..") names.push_back(entry.first);
  }
  return names;
}

bool FakePlatform::RegKeyExists(HKEY root, const std::string& key) const {
  return state_->tree.count(Lower(Join(state_->RootOrThrow(root), Split(key)))) != 0;
}

std::optional<FakePlatform::RegValue> FakePlatform::GetRegValue(HKEY root, const std::string& key,
                                                                const std::string& name) const {
  auto it = state_->tree.find(Lower(Join(state_->RootOrThrow(root), Split(key))));
  if (it == state_->tree.end() || it->second.values.count(Lower(name)) == 0) return std::nullopt;
  return it->second.values.at(Lower(name));
}

std::size_t FakePlatform::OpenFindHandles() const { return state_->listings.size(); }
std::size_t FakePlatform::OpenRegKeys() const { return state_->keys.size(); }
UINT FakePlatform::ErrorMode() const { return state_->errorMode; }

std::string FakePlatform::Dump() const {
  std::ostringstream out;
  // A folder's entries right below it: the separator sorts before every name byte.
  std::map<std::string, const Entry*> sorted;
  for (const auto& [key, e] : state_->tree) {
    std::string order = key;
    std::replace(order.begin(), order.end(), '\\', '\x01');
    sorted[order] = &e;
  }
  for (const auto& [key, e] : sorted) {
    out << std::string(2 * std::size_t(std::count(key.begin(), key.end(), '\x01')), ' ') << e->name
        << (e->folder ? "\\" : "") << " size " << e->size << " attributes " << e->attributes
        << (e->link ? " -> " + Join("C:", e->linkTarget) : "") << (e->inUse ? " (in use)" : "");
    for (const auto& [name, value] : e->values) {
      out << "\n  = " << name << ": type " << value.type << ", " << value.data.size() << " bytes";
    }
    out << '\n';
  }
  out << "current folder: " << state_->current << "\nopen find handles: " << OpenFindHandles()
      << ", open registry keys: " << OpenRegKeys() << '\n';
  return out.str();
}

// ---- Failures, the hook and the log -----------------------------------------------

void FakePlatform::FailCall(const std::string& call, DWORD error, const std::string& path) {
  const Parsed parsed = state_->ParsePath(path);  // named as the log names it
  const bool file = !path.empty() && !StartsWith(path, "HK") && parsed.error == 0;
  const std::string target = file ? parsed.Text() : path;
  state_->failures.push_back({CallRecord{call, target, "", false, false, 0}, error});
}

void FakePlatform::FailNthCall(std::size_t index, DWORD error) {
  state_->nthFailures[index] = error;
}

void FakePlatform::SetCallHook(CallHook hook) {
  state_->hook = hook ? std::make_shared<CallHook>(std::move(hook)) : nullptr;
}

const std::vector<FakePlatform::CallRecord>& FakePlatform::Calls() const { return state_->calls; }

std::vector<FakePlatform::CallRecord> FakePlatform::Changes() const {
  std::vector<CallRecord> changes;
  std::copy_if(state_->calls.begin(), state_->calls.end(), std::back_inserter(changes),
               [](const CallRecord& record) { return record.changing; });
  return changes;
}

// Call indices of FailNthCall count from here on, as Calls() does.
void FakePlatform::ClearLog() { state_->calls.clear(); }

// ---- Process and well-known folders ------------------------------------------------

namespace {

DWORD None() { return 0; }

// The length without the zero when it fits, else the size needed with the
// zero and nothing written.
DWORD CopyOut(const std::string& text, char* buffer, DWORD size) {
  if (buffer == nullptr || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

}  // namespace

UINT FakePlatform::SetErrorMode(UINT uMode) {
  state_->Run("SetErrorMode", "", false, None);
  return std::exchange(state_->errorMode, uMode);
}

LPSTR FakePlatform::GetCommandLineA() {
  state_->Run("GetCommandLineA", "", false, None);
  return state_->commandLine.data();
}

void FakePlatform::GetLocalTime(SYSTEMTIME* lpSystemTime) {
  state_->Run("GetLocalTime", "", false, None);
  *lpSystemTime = state_->time;
}

DWORD FakePlatform::GetLastError() {
  state_->Run("GetLastError", "", false, None);
  return state_->lastError;
}

UINT FakePlatform::GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  if (state_->Run("GetWindowsDirectoryA", "", false, None) != 0) return 0;
  return CopyOut(state_->windowsDirectory, lpBuffer, uSize);
}

DWORD FakePlatform::GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  if (state_->Run("GetTempPathA", "", false, None) != 0) return 0;
  return CopyOut(state_->tempPath, lpBuffer, nBufferLength);
}

// ---- Files and folders ---------------------------------------------------------------

namespace {

void Fill(WIN32_FIND_DATAA* data, const Entry& entry, const std::string& name) {
  *data = WIN32_FIND_DATAA{};
  data->dwFileAttributes = entry.Reported();
  data->nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(entry.size);
  name.copy(data->cFileName, sizeof(data->cFileName) - 1);
}

}  // namespace

HANDLE FakePlatform::FindFirstFileA(LPCSTR lpFileName, WIN32_FIND_DATAA* lpFindFileData) {
  State& s = *state_;
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
  Fill(lpFindFileData, s.tree.at(listing.entries[0].second), listing.entries[0].first);
  s.listings[s.lastHandle += 4] = std::move(listing);
  return reinterpret_cast<HANDLE>(s.lastHandle);
}

BOOL FakePlatform::FindNextFileA(HANDLE hFindFile, WIN32_FIND_DATAA* lpFindFileData) {
  State& s = *state_;
  auto it = s.listings.find(Id(hFindFile));
  const std::string target = it != s.listings.end() ? it->second.target : "";
  return s.Run("FindNextFileA", target, false, [&]() -> DWORD {
    if (it == s.listings.end()) return ERROR_INVALID_HANDLE;
    for (State::Listing& listing = it->second; listing.next < listing.entries.size();) {
      const auto& [name, key] = listing.entries[listing.next++];
      auto entry = s.tree.find(key);  // removed ones are passed over
      if (entry != s.tree.end()) {
        Fill(lpFindFileData, entry->second, name);
        return 0;
      }
    }
    return ERROR_NO_MORE_FILES;
  }) == 0;
}

BOOL FakePlatform::FindClose(HANDLE hFindFile) {
  State& s = *state_;
  auto it = s.listings.find(Id(hFindFile));
  const std::string target = it != s.listings.end() ? it->second.target : "";
  return s.Run("FindClose", target, false, [&]() -> DWORD {
    return s.listings.erase(Id(hFindFile)) != 0 ? 0 : ERROR_INVALID_HANDLE;
  }) == 0;
}

DWORD FakePlatform::GetFileAttributesA(LPCSTR lpFileName) {
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  state_->RunOnPath("GetFileAttributesA", lpFileName, false, [&](Tree::iterator it) -> DWORD {
    attributes = it->second.Reported();
    return 0;
  });
  return attributes;
}

BOOL FakePlatform::SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  return state_->RunOnPath("SetFileAttributesA", lpFileName, true, [&](Tree::iterator it) -> DWORD {
    it->second.attributes = dwFileAttributes & kSettable;
    return 0;
  }) == 0;
}

BOOL FakePlatform::DeleteFileA(LPCSTR lpFileName) {
  return state_->RunOnPath("DeleteFileA", lpFileName, true, [&](Tree::iterator it) -> DWORD {
    if (it->second.folder) return ERROR_ACCESS_DENIED;
    // Opening the file for deletion meets the other handle before the read-only bit.
    if (it->second.inUse) return ERROR_SHARING_VIOLATION;
    if ((it->second.attributes & FILE_ATTRIBUTE_READONLY) != 0) return ERROR_ACCESS_DENIED;
    state_->tree.erase(it);
    return 0;
  }) == 0;
}

BOOL FakePlatform::RemoveDirectoryA(LPCSTR lpPathName) {
  State& s = *state_;
  return s.RunOnPath("RemoveDirectoryA", lpPathName, true, [&](Tree::iterator it) -> DWORD {
    if (it->first == "c:") return ERROR_ACCESS_DENIED;  // a drive's root
    if (!it->second.folder) return ERROR_DIRECTORY;
    // The process holds its current folder open without delete sharing.
    if (it->second.inUse || it->first == s.current) return ERROR_SHARING_VIOLATION;
    if ((it->second.attributes & FILE_ATTRIBUTE_READONLY) != 0) return ERROR_ACCESS_DENIED;
    if (!it->second.link && !s.Below(it->first).empty()) return ERROR_DIR_NOT_EMPTY;
    s.Erase(it);
    return 0;
  }) == 0;
}

// ---- Registry ---------------------------------------------------------------------------

LSTATUS FakePlatform::RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) {
  *phkResult = nullptr;
  return state_->RunOnKey("RegOpenKeyA", hKey, lpSubKey, false, [&](auto, auto& path) {
    if (state_->tree.count(Lower(path)) == 0) return ERROR_FILE_NOT_FOUND;
    *phkResult = state_->OpenHandle(path);
    return ERROR_SUCCESS;
  });
}

LSTATUS FakePlatform::RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) {
  *phkResult = nullptr;
  return state_->RunOnKey("RegCreateKeyA", hKey, lpSubKey, true, [&](auto it, auto& path) {
    state_->MakeKey(it->first, lpSubKey ? lpSubKey : "");
    *phkResult = state_->OpenHandle(path);
    return ERROR_SUCCESS;
  });
}

LSTATUS FakePlatform::RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, DWORD* /*lpReserved*/,
                                       DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  const std::string name = lpValueName ? lpValueName : "";
  return state_->RunOnKey(
      "RegQueryValueExA", hKey, "", false,
      [&](auto key, auto&) {
        auto it = key->second.values.find(Lower(name));
        const bool found = it != key->second.values.end();
        if (lpType != nullptr) *lpType = found ? it->second.type : REG_NONE;
        if (!found) return ERROR_FILE_NOT_FOUND;
        const std::vector<BYTE>& data = it->second.data;
        const bool fits = lpData == nullptr || *lpcbData >= data.size();
        if (lpData != nullptr && fits) std::copy(data.begin(), data.end(), lpData);
        if (lpcbData != nullptr) *lpcbData = static_cast<DWORD>(data.size());
        return fits ? ERROR_SUCCESS : ERROR_MORE_DATA;
      },
      name);
}

LSTATUS FakePlatform::RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/,
                                     DWORD dwType, const BYTE* lpData, DWORD cbData) {
  const std::string name = lpValueName ? lpValueName : "";
  return state_->RunOnKey(
      "RegSetValueExA", hKey, "", true,
      [&](auto key, auto&) {
        key->second.values[Lower(name)] =
            RegValue{dwType, std::vector<BYTE>(lpData, lpData + cbData)};
        return ERROR_SUCCESS;
      },
      name);
}

LSTATUS FakePlatform::RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  State& s = *state_;
  return s.RunOnKey("RegDeleteKeyA", hKey, lpSubKey, true, [&](auto, auto& path) {
    auto doomed = s.tree.find(Lower(path));
    if (doomed == s.tree.end()) return ERROR_FILE_NOT_FOUND;
    // A key with subkeys stays, as does a root.
    if (!s.Below(path).empty() || path.find('\\') == std::string::npos) return ERROR_ACCESS_DENIED;
    s.tree.erase(doomed);
    return ERROR_SUCCESS;
  });
}

LSTATUS FakePlatform::RegCloseKey(HKEY hKey) {
  State& s = *state_;
  return static_cast<LSTATUS>(s.Run(
      "RegCloseKey", s.KeyPath(hKey), false,
      [&]() -> DWORD {
        if (!State::RootName(hKey).empty()) return 0;
        // A handle outlives its key, and closes all the same.
        return s.keys.erase(Id(hKey)) != 0 ? 0 : ERROR_INVALID_HANDLE;
      },
      {}, false));
}
