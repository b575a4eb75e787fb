// The in-memory machine: a tree of nodes, each file, folder and link one node
// that folders name (a file may have several names), handles holding the node
// they opened; and a registry of keys by full path ("hklm\software\x") folded
// to lower case. One runner gives every call the hook, the log and the
// injected failures.
#include "support/fake_platform.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <map>
#include <stdexcept>
#include <utility>

namespace {

using Text = std::u16string;  // names as the file system keeps them
using Parts = std::vector<Text>;

// ASCII letters folded, whatever the C library's locale, as the machines the
// tests model compare names.
template <typename String>
String Lower(String text) {
  using Char = typename String::value_type;
  for (Char& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<Char>(c + 32) : c;
  return text;
}
bool Same(const Text& a, const Text& b) {
  auto lower = [](char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

// The machine's ANSI code page (see the header).
Text FromAnsi(std::string_view bytes) {
  Text text;
  for (char c : bytes) text += static_cast<char16_t>(static_cast<unsigned char>(c));
  return text;
}
char ToAnsi(unsigned c) {
  if (c < 0x100) return static_cast<char>(c);
  return c >= 0xFF01 && c <= 0xFF5E ? static_cast<char>(c - 0xFEE0) : '?';
}
std::string ToAnsi(const Text& text) {
  std::string bytes;
  for (char16_t c : text) bytes += ToAnsi(c);
  return bytes;
}
// UTF-8 of code points below U+10000, as the builders take and give names.
Text FromUtf8(const std::string& utf8) {
  Text text;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned c = static_cast<unsigned char>(utf8[i++]);
    const int more = c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    c &= more == 2 ? 0x0Fu : more == 1 ? 0x1Fu : 0x7Fu;
    for (int k = 0; k < more && i < utf8.size(); ++k) c = (c << 6) | (utf8[i++] & 0x3Fu);
    text += static_cast<char16_t>(c);
  }
  return text;
}
std::string ToUtf8(const Text& text) {
  std::string out;
  for (const unsigned c : text) {
    const int more = c >= 0x800 ? 2 : c >= 0x80 ? 1 : 0;
    out += static_cast<char>(more == 2 ? 0xE0 | (c >> 12) : more == 1 ? 0xC0 | (c >> 6) : c);
    for (int k = more - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
  }
  return out;
}

Text Join(Text path, const Parts& parts) {
  for (const Text& part : parts) path += u"\\" + part;
  return path;
}

// A path as Win32 reads it: "\\\\?\\" and "\\\\.\\" before a drive dropped, doubled
// separators as one, "." passed over, ".." taking back the part before it.
// Drive C: only, and no network.
struct Parsed {
  DWORD error = 0;
  Parts parts;
  Text Path() const { return Join(u"C:", parts); }
};

Parsed Parse(Text text) {
  Parsed parsed;
  if (text.size() >= 6 && text.compare(0, 2, u"\\\\") == 0 &&
      (text[2] == u'?' || text[2] == u'.') && text[3] == u'\\' && text[5] == u':') {
    text.erase(0, 4);
  }
  const bool drive = text.size() >= 2 && text[1] == u':';
  if ((drive && Lower(text.substr(0, 1)) != u"c") || text.compare(0, 2, u"\\\\") == 0) {
    parsed.error = ERROR_PATH_NOT_FOUND;  // no other drive, nor a network
  }
  if (drive) text.erase(0, 2);
  Text part;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != u'\\') {
      part += text[i];
      continue;
    }
    if (part == u".." && !parsed.parts.empty()) parsed.parts.pop_back();
    if (!part.empty() && part != u"." && part != u"..") parsed.parts.push_back(part);
    part.clear();
  }
  return parsed;
}

// One open of an entry: by a handle of the program, or by another program.
struct Open {
  ACCESS_MASK access = 0;
  ULONG share = 0;
};
constexpr ACCESS_MASK kReadData = 0x1 | 0x20;  // read data, execute (traverse)
constexpr ACCESS_MASK kWriteData = 0x2 | 0x4;  // write data (add file), append (add folder)

// Whether two opens of one entry exclude each other: an open that reads,
// writes or deletes needs the other to share that, whichever came first.
bool Conflict(const Open& a, const Open& b) {
  auto needs = [](const Open& o) {
    return static_cast<ULONG>(((o.access & kReadData) ? FILE_SHARE_READ : 0) |
                              ((o.access & kWriteData) ? FILE_SHARE_WRITE : 0) |
                              ((o.access & DELETE) ? FILE_SHARE_DELETE : 0));
  };
  const ULONG aNeeds = needs(a), bNeeds = needs(b);
  if (aNeeds == 0 || bNeeds == 0) return false;
  return (aNeeds & ~b.share) != 0 || (bNeeds & ~a.share) != 0;
}

struct Node;
using NodePtr = std::shared_ptr<Node>;
struct Named {
  Text name;  // as it was made
  NodePtr node;
  Text shortName;  // another name that reaches it, if any (an 8.3 name)
};

struct Node {
  std::uint64_t id = 0;  // its file index on the volume
  bool folder = false, link = false;
  bool oplocked = false;  // another program holds an oplock it never lets go
  DWORD attributes = 0;
  std::uint64_t size = 0;
  std::int64_t created = 0, written = 0;  // file times, set when it is made
  Parts target;                           // a link's
  std::vector<Named> entries;             // a folder's, in the order they were made
  std::weak_ptr<Node> parent;             // a folder's; none for the root and once gone
  int names = 0;
  std::map<std::uintptr_t, Open> opens;  // by handle, and the others' below
  bool deletePending = false;
  std::vector<std::pair<std::weak_ptr<Node>, Text>> doomed;  // go at the last close

  DWORD Reported() const {
    const DWORD bits = attributes | (folder ? FILE_ATTRIBUTE_DIRECTORY : 0) |
                       (link ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
    return bits == 0 ? FILE_ATTRIBUTE_NORMAL : bits;
  }
  NodePtr Child(const Text& name) const {
    auto it = std::find_if(entries.begin(), entries.end(), [&](auto& e) {
      return Same(e.name, name) || (!e.shortName.empty() && Same(e.shortName, name));
    });
    return it != entries.end() ? it->node : nullptr;
  }
};

// Read-only, hidden, system, archive, temporary, offline, not content-indexed.
constexpr DWORD kSettable = 0x3127;
constexpr int kMaxLinkDepth = 31;  // links may lead to links; a loop leads nowhere
// The open of another program that holds an entry in use.
constexpr std::uintptr_t kInUse = 1;
const Open kOthersHold{kReadData, FILE_SHARE_READ | FILE_SHARE_WRITE};
const Open kOthersDelete{DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
// The open of another program that holds an oplock, sharing everything.
constexpr std::uintptr_t kOplockHolder = 2;
const Open kOthersShareAll{kReadData, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
// A move into a folder opens the folder to write to it, sharing read and write.
const Open kOthersMoveInto{kWriteData, FILE_SHARE_READ | FILE_SHARE_WRITE};
constexpr DWORD kVolumeSerial = 0x5EED0C0D;

std::uintptr_t Id(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }
// A status as the runner keeps it (the SDKs differ on the constants' type).
template <typename Status>
DWORD Failed(Status status) {
  return static_cast<DWORD>(status);
}

// The length without the zero when it fits, else the size needed with the
// zero and nothing written.
DWORD CopyOut(const std::string& text, char* buffer, DWORD size) {
  if (buffer == nullptr || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

void Fill(WIN32_FIND_DATAA* data, const Node& node, const Text& name) {
  *data = WIN32_FIND_DATAA{};
  data->dwFileAttributes = node.Reported();
  data->nFileSizeHigh = static_cast<DWORD>(node.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(node.size);
  ToAnsi(name).copy(data->cFileName, sizeof(data->cFileName) - 1);
}

}  // namespace

struct FakePlatform::State {
  NodePtr root = std::make_shared<Node>();
  std::string windowsDirectory, tempPath;
  std::map<std::string, std::string> environment;  // by folded name
  std::vector<char> commandLine;
  SYSTEMTIME time{};
  std::int64_t now = 0;  // the same moment in file-time ticks (UTC is local time here)
  UINT errorMode = 0;
  DWORD lastError = 0;

  // A find handle (`find`) or a file handle.
  struct Handle {
    Handle() = default;
    Handle(NodePtr opened, const NodePtr& in, Text called, ACCESS_MASK asked)
        : node(std::move(opened)), via(in), name(std::move(called)), access(asked) {}
    bool find = false;
    NodePtr node;             // the entry opened, or the folder listed
    std::weak_ptr<Node> via;  // the folder it was opened in, and by what name
    Text name;
    ACCESS_MASK access = 0;
    bool deleteOnClose = false;
    bool listing = false;  // a listing has started: these names, the next one
    Parts listed;
    std::size_t next = 0;
  };
  std::map<std::uintptr_t, Handle> handles;
  std::uintptr_t lastHandle = 0x1000;

  std::map<std::string, std::map<std::string, RegValue>> keys;  // by folded path, values too
  std::map<std::uintptr_t, std::string> regHandles;             // the key's path as opened

  std::vector<std::pair<CallRecord, DWORD>> failures;  // the call and target to fail, the error
  std::map<std::size_t, DWORD> nthFailures;
  std::vector<CallRecord> calls;
  std::shared_ptr<CallHook> hook;
  bool inHook = false;

  std::uint64_t lastId = 5;  // the root's, as on NTFS
  bool stalled = false;

  State() {
    root->id = lastId;
    root->folder = true;
    root->names = 1;
  }
  NodePtr NewNode() {
    auto node = std::make_shared<Node>();
    node->id = ++lastId;
    node->created = node->written = now;
    return node;
  }

  // One call: the hook, the log entry, then the injected failure or `body`,
  // which returns the error the call fails with, or 0.
  template <typename Body>
  DWORD Run(const char* call, std::string target, bool changing, Body&& body,
            std::string value = {}, bool setsLastError = true) {
    if (hook && !inHook) {  // a hook that calls the machine does not see itself
      const std::shared_ptr<CallHook> running = hook;  // alive while it replaces itself
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

  // ---- Paths and nodes ----
  Parsed ParseAnsi(LPCSTR text) const { return Parse(FromAnsi(text ? text : "")); }
  Parsed ParseUtf8(const std::string& text) const { return Parse(FromUtf8(text)); }

  // The folder `parts` names, folder links followed; null for none.
  NodePtr Folder(const Parts& parts, std::size_t count = ~std::size_t{0}, int depth = 0) const {
    NodePtr at = root;
    for (std::size_t i = 0; i < std::min(count, parts.size()) && at; ++i) {
      NodePtr next = at->Child(parts[i]);
      if (!next || !next->folder || depth > kMaxLinkDepth) return nullptr;
      at = next->link ? Folder(next->target, ~std::size_t{0}, depth + 1) : next;
    }
    return at;
  }
  // The entry a path names, its last part not followed, and the folder that
  // holds it (null when the way there is missing too).
  struct Found {
    NodePtr folder, node;
  };
  Found Find(const Parsed& parsed) const {
    if (parsed.error != 0) return {};
    if (parsed.parts.empty()) return {nullptr, root};
    NodePtr folder = Folder(parsed.parts, parsed.parts.size() - 1);
    return {folder, folder ? folder->Child(parsed.parts.back()) : nullptr};
  }
  // Where a node is now: its folder's path and the name it has there.
  Text PathOf(const Node* node) const {
    std::vector<const Text*> names;  // from the node up, so that deep trees cost no more
    for (const Node* at = node; at != root.get();) {
      const NodePtr parent = at->parent.lock();
      if (!parent) return u"(gone)";
      auto named = std::find_if(parent->entries.begin(), parent->entries.end(),
                                [&](const Named& e) { return e.node.get() == at; });
      if (named == parent->entries.end()) return u"(gone)";
      names.push_back(&named->name);
      at = parent.get();
    }
    Text path = u"C:";
    std::size_t length = path.size();
    for (const Text* name : names) length += 1 + name->size();
    path.reserve(length);
    for (auto it = names.rbegin(); it != names.rend(); ++it) path.append(1, u'\\').append(**it);
    return path;
  }
  std::string PathOf(const Handle& h) const {
    const NodePtr via = h.via.lock();
    if (via && via->Child(h.name) == h.node) return ToUtf8(PathOf(via.get()) + u"\\" + h.name);
    return ToUtf8(h.node->folder || !via ? PathOf(h.node.get()) : PathOf(via.get()) + u"\\?");
  }
  // A path-taking call: the checks every such call makes, then `body`.
  template <typename Body>
  DWORD RunOnPath(const char* call, LPCSTR path, bool changing, Body&& body) {
    const std::string text = path != nullptr ? path : "";
    const Parsed parsed = ParseAnsi(path);
    const std::string target = parsed.error != 0 ? ToUtf8(FromAnsi(text)) : ToUtf8(parsed.Path());
    return Run(call, target, changing, [&]() -> DWORD {
      if (text.empty()) return ERROR_PATH_NOT_FOUND;
      if (text.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;  // before any lookup
      if (parsed.error != 0) return parsed.error;
      const Found found = Find(parsed);
      if (!found.node) return found.folder ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
      return body(*found.node, found);
    });
  }
  // A folder's entries in listing order: "." and ".." (below the root), then
  // the others in the order they were made.
  std::vector<Named> List(const NodePtr& folder) const {
    std::vector<Named> all;
    if (folder != root) {
      const NodePtr parent = folder->parent.lock();
      all = {{u".", folder, {}}, {u"..", parent ? parent : folder, {}}};
    }
    all.insert(all.end(), folder->entries.begin(), folder->entries.end());
    return all;
  }
  // The entry a listing of `folder` delivers under `name` now, if any.
  NodePtr Listed(const Handle& h, const Text& name) const {
    if (name == u".") return h.node;
    if (name == u"..") return h.node->parent.lock() ? h.node->parent.lock() : h.node;
    return h.node->Child(name);
  }
  void Unlink(const NodePtr& folder, const Text& name) {
    auto& entries = folder->entries;
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const Named& e) { return Same(e.name, name); });
    if (it == entries.end()) return;
    --it->node->names;
    if (it->node->folder) it->node->parent.reset();
    entries.erase(it);
  }
  void Place(const NodePtr& folder, const Text& name, const NodePtr& node) {
    folder->entries.push_back({name, node, {}});
    ++node->names;
    if (node->folder) node->parent = folder;
  }
  // Whether an open asks for the right to change the entry.
  static bool Changes(ACCESS_MASK access) {
    return (access & (DELETE | FILE_WRITE_ATTRIBUTES | kWriteData)) != 0;
  }
  // Whether an open by another program, or by a handle, may join the opens of `node`.
  static bool MayOpen(const Node& node, const Open& open) {
    return std::none_of(node.opens.begin(), node.opens.end(),
                        [&](const auto& held) { return Conflict(held.second, open); });
  }
  // An open that reads or changes more than attributes breaks another
  // program's oplock, and waits for the break to be acknowledged: here,
  // never. The run is stopped, and the machine remembers that it would have
  // hung.
  void WaitForOplock(const Node& node, ACCESS_MASK access) {
    if (node.oplocked && (access & ~static_cast<ACCESS_MASK>(FILE_READ_ATTRIBUTES | SYNCHRONIZE))) {
      stalled = true;
      throw std::runtime_error("waits for an oplock break that never comes");
    }
  }
  // A new handle on `node`, reached in `via` by `name`.
  HANDLE NewHandle(Handle handle, const Open& open) {
    lastHandle += 4;
    handle.node->opens[lastHandle] = open;
    handles[lastHandle] = std::move(handle);
    return reinterpret_cast<HANDLE>(lastHandle);
  }
  // The removals a closed handle leaves due, done once nothing holds the node.
  void Close(std::uintptr_t id) {
    Handle handle = std::move(handles.at(id));
    handles.erase(id);
    Node& node = *handle.node;
    node.opens.erase(id);
    if (handle.deleteOnClose) node.doomed.emplace_back(handle.via, handle.name);
    if (!node.opens.empty() || node.doomed.empty()) return;
    node.deletePending = false;
    for (auto& [via, name] : std::exchange(node.doomed, {})) {
      const NodePtr folder = via.lock();
      if (folder && folder->Child(name) == handle.node && (node.link || node.entries.empty())) {
        Unlink(folder, name);
      }
    }
  }

  // A call on a handle of the program, a find handle (`find`, a Win32 call)
  // or a file handle (a native call): `body` gets it and the count of bytes it
  // wrote, and returns 0 or the error (or status) the call fails with.
  template <typename Body>
  DWORD RunOnHandle(const char* call, HANDLE handle, bool find, const char* value,
                    IO_STATUS_BLOCK* io, Body&& body, bool changing = false) {
    auto it = handles.find(Id(handle));
    const bool valid = it != handles.end() && it->second.find == find;
    ULONG written = 0;
    const DWORD error = Run(
        call, valid ? PathOf(it->second) : "", changing,
        [&]() -> DWORD {
          if (!valid) return find ? ERROR_INVALID_HANDLE : Failed(STATUS_INVALID_HANDLE);
          return body(it->second, written);
        },
        value, find);
    if (io != nullptr) *io = IO_STATUS_BLOCK{{static_cast<NTSTATUS>(error)}, written};
    return error;
  }

  // ---- For the builders, where a mistake of the test throws ----
  Parts PartsOrThrow(const std::string& path) const {
    Parsed parsed = ParseUtf8(path);
    if (parsed.error != 0) throw std::invalid_argument("not a path on C: " + path);
    return parsed.parts;
  }
  Found Existing(const std::string& path) const {
    Found found = Find(ParseUtf8(path));
    if (!found.node) throw std::invalid_argument("nothing at " + path);
    return found;
  }
  // The folders of `parts` made where missing (links followed), but for the
  // last `leave` parts; the last folder.
  NodePtr MakeFolders(const Parts& parts, std::size_t leave = 0) {
    NodePtr at = root;
    for (std::size_t i = 0; i + leave < parts.size(); ++i) {
      NodePtr next = at->Child(parts[i]);
      if (!next) {
        next = NewNode();
        next->folder = true;
        Place(at, parts[i], next);
      }
      at = next->link ? Folder(parts, i + 1) : next->folder ? next : nullptr;
      if (!at) throw std::invalid_argument("not a folder: " + ToUtf8(Join(u"C:", parts)));
    }
    return at;
  }
  Node& NewEntry(const std::string& path, bool folder) {
    const Parts parts = PartsOrThrow(path);
    if (parts.empty()) throw std::invalid_argument("needs a name: " + path);
    const NodePtr in = MakeFolders(parts, 1);
    if (in->Child(parts.back())) throw std::invalid_argument("something is there: " + path);
    NodePtr node = NewNode();
    node->folder = folder;
    Place(in, parts.back(), node);
    return *node;
  }
  // ---- Registry ----
  // The key a handle stands for ("HKLM" for the root), "" for none.
  std::string KeyAt(HKEY handle) const {
    auto open = regHandles.find(Id(handle));
    return handle == HKEY_LOCAL_MACHINE ? "HKLM" : open != regHandles.end() ? open->second : "";
  }
  static std::string JoinKey(const std::string& key, const std::string& subkey) {
    return subkey.empty() ? key : key + "\\" + subkey;
  }
  static std::string KeyOf(const std::string& key) { return Lower(JoinKey("HKLM", key)); }
  std::map<std::string, RegValue>& MakeKey(const std::string& key) {
    for (std::size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) {
      keys[Lower(key.substr(0, at))];
    }
    return keys[Lower(key)];
  }
  bool HasSubkeys(const std::string& key) const {
    auto it = keys.upper_bound(Lower(key) + "\\");
    return it != keys.end() && it->first.rfind(Lower(key) + "\\", 0) == 0;
  }
  // A registry call on `handle` (and `subkey`): `body` gets the key's values
  // and path; the call fails without it when the handle stands for no key.
  template <typename Body>
  LSTATUS RunOnKey(const char* call, HKEY handle, LPCSTR subkey, bool changing, Body&& body,
                   const std::string& value = {}) {
    const std::string key = KeyAt(handle);
    const std::string target = JoinKey(key, subkey ? subkey : "");
    return static_cast<LSTATUS>(Run(
        call, target, changing,
        [&]() -> DWORD {
          if (key.empty()) return ERROR_INVALID_HANDLE;
          auto it = keys.find(Lower(key));
          return it == keys.end() ? ERROR_KEY_DELETED : static_cast<DWORD>(body(it, target));
        },
        value, false));
  }
  HKEY OpenKey(const std::string& path) {
    regHandles[lastHandle += 4] = path;
    return reinterpret_cast<HKEY>(lastHandle);
  }
};

// ---- Building and looking at the machine ---------------------------------------

FakePlatform::FakePlatform() : s_(std::make_unique<State>()) {
  SetWindowsDirectory("C:\\Windows");
  SetTempPath("C:\\Users\\Admin\\AppData\\Local\\Temp\\");
  SetEnvironment("USERPROFILE", "C:\\Users\\Admin");
  SetCommandLine("C:\\Tools\\sweepwell.exe");
  SetLocalTime(2026, 12, 6);
  AddFolder("C:\\Windows");
  AddFolder("C:\\Users\\Admin\\AppData\\Local\\Temp");
  AddRegKey("SOFTWARE");
}

FakePlatform::~FakePlatform() = default;

void FakePlatform::AddFolder(const std::string& path, DWORD attributes) {
  const NodePtr folder = s_->MakeFolders(s_->PartsOrThrow(path));
  if (folder != s_->root) folder->attributes = attributes & kSettable;
}

void FakePlatform::AddFile(const std::string& path, std::uint64_t size, DWORD attributes) {
  const State::Found found = s_->Find(s_->ParseUtf8(path));
  if (found.node && (found.node->folder || found.node->link)) {
    throw std::invalid_argument("a folder or link is there: " + path);
  }
  Node& file = found.node ? *found.node : s_->NewEntry(path, false);
  file.size = size;
  file.attributes = attributes & kSettable;
}

void FakePlatform::AddLink(const std::string& path, const std::string& target, bool folder) {
  const Parts leadsTo = s_->PartsOrThrow(target);
  Node& link = s_->NewEntry(path, folder);
  link.link = true;
  link.target = leadsTo;
  link.attributes = folder ? 0 : FILE_ATTRIBUTE_ARCHIVE;
}

void FakePlatform::AddHardLink(const std::string& path, const std::string& existing) {
  const NodePtr file = s_->Existing(existing).node;
  if (file->folder || file->link) throw std::invalid_argument("not a plain file: " + existing);
  const Parts parts = s_->PartsOrThrow(path);
  const NodePtr in = s_->MakeFolders(parts, 1);
  if (parts.empty() || in->Child(parts.back())) throw std::invalid_argument("taken: " + path);
  s_->Place(in, parts.back(), file);
}

void FakePlatform::SetInUse(const std::string& path) {
  s_->Existing(path).node->opens[kInUse] = kOthersHold;
}

void FakePlatform::SetOplocked(const std::string& path) {
  Node& node = *s_->Existing(path).node;
  node.oplocked = true;
  node.opens[kOplockHolder] = kOthersShareAll;  // the holder's own open
}

void FakePlatform::SetShortName(const std::string& path, const std::string& shortName) {
  const State::Found found = s_->Existing(path);
  const Text name = s_->ParseUtf8(path).parts.back();
  for (Named& e : found.folder->entries) {
    if (Same(e.name, name)) e.shortName = FromUtf8(shortName);
  }
}

void FakePlatform::SetAttributes(const std::string& path, DWORD attributes) {
  s_->Existing(path).node->attributes = attributes & kSettable;
}

bool FakePlatform::Rename(const std::string& from, const std::string& to) {
  const State::Found source = s_->Existing(from);
  const Parts parts = s_->PartsOrThrow(to);
  const NodePtr into = parts.empty() ? nullptr : s_->Folder(parts, parts.size() - 1);
  if (!source.folder || !into || into->Child(parts.back())) return false;
  if (!State::MayOpen(*source.node, kOthersDelete)) return false;
  if (!State::MayOpen(*into, kOthersMoveInto)) return false;
  const NodePtr node = source.node;
  s_->Unlink(source.folder, s_->ParseUtf8(from).parts.back());
  s_->Place(into, parts.back(), node);
  return true;
}

bool FakePlatform::Remove(const std::string& path) {
  const State::Found found = s_->Existing(path);
  if (found.node->folder && !found.node->link) throw std::invalid_argument("a folder: " + path);
  if (!State::MayOpen(*found.node, kOthersDelete)) return false;
  s_->Unlink(found.folder, s_->ParseUtf8(path).parts.back());
  return true;
}

void FakePlatform::SetWindowsDirectory(const std::string& text) { s_->windowsDirectory = text; }
void FakePlatform::SetTempPath(const std::string& text) { s_->tempPath = text; }
void FakePlatform::SetEnvironment(const std::string& name, std::optional<std::string> value) {
  if (value) s_->environment[Lower(name)] = *value;
  if (!value) s_->environment.erase(Lower(name));
}
void FakePlatform::SetLocalTime(WORD year, WORD month, WORD day) {
  s_->time = SYSTEMTIME{year, month, 0, day, 9, 0, 0, 0};
  // Days from 1601-01-01 to the date, by the proleptic Gregorian calendar.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = y / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t days = era * 146097LL + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 +
                            dayOfYear - 584694;  // 1601-03-01 is day 59 of 1601
  s_->now = (days * 24 + 9) * 3600 * kTicksPerSecond;
}

void FakePlatform::SetTimes(const std::string& path, std::int64_t created, std::int64_t written) {
  Node& node = *s_->Existing(path).node;
  node.created = created;
  node.written = written;
}

std::int64_t FakePlatform::Now() const { return s_->now; }
void FakePlatform::SetCommandLine(const std::string& text) {
  s_->commandLine.assign(text.c_str(), text.c_str() + text.size() + 1);
}

void FakePlatform::AddRegKey(const std::string& key) { s_->MakeKey(State::KeyOf(key)); }

void FakePlatform::SetRegValue(const std::string& key, const std::string& name, DWORD type,
                               const std::vector<BYTE>& data) {
  s_->MakeKey(State::KeyOf(key))[Lower(name)] = RegValue{type, data};
}

void FakePlatform::SetRegDword(const std::string& key, const std::string& name, DWORD v) {
  SetRegValue(key, name, REG_DWORD, {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)});
}

bool FakePlatform::Exists(const std::string& path) const {
  return s_->Find(s_->ParseUtf8(path)).node != nullptr;
}

DWORD FakePlatform::Attributes(const std::string& path) const {
  const NodePtr node = s_->Find(s_->ParseUtf8(path)).node;
  return node ? node->Reported() : INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FakePlatform::List(const std::string& folder) const {
  std::vector<std::string> names;
  const Parsed parsed = s_->ParseUtf8(folder);
  const NodePtr node = parsed.error == 0 ? s_->Folder(parsed.parts) : nullptr;
  for (const Named& entry : node ? node->entries : std::vector<Named>()) {
    names.push_back(ToUtf8(entry.name));
  }
  return names;
}

bool FakePlatform::RegKeyExists(const std::string& key) const {
  return s_->keys.count(State::KeyOf(key)) != 0;
}

std::optional<FakePlatform::RegValue> FakePlatform::GetRegValue(const std::string& key,
                                                                const std::string& name) const {
  auto it = s_->keys.find(State::KeyOf(key));
  if (it == s_->keys.end() || it->second.count(Lower(name)) == 0) return std::nullopt;
  return it->second.at(Lower(name));
}

std::size_t FakePlatform::OpenHandles() const { return s_->handles.size() + s_->regHandles.size(); }

bool FakePlatform::Stalled() const { return s_->stalled; }

// ---- Failures, the hook and the log -----------------------------------------------

void FakePlatform::FailCall(const std::string& call, DWORD error, const std::string& path) {
  const bool file = !path.empty() && Lower(path).rfind("hk", 0) != 0;
  const Parsed parsed = file ? s_->ParseUtf8(path) : Parsed();
  const std::string target = file && parsed.error == 0 ? ToUtf8(parsed.Path()) : path;
  s_->failures.push_back({CallRecord{call, Lower(target), "", 0, 0, 0}, error});
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

void FakePlatform::GetSystemTimeAsFileTime(FILETIME* time) {
  // The call cannot fail; one made to stands for a clock that gives nothing.
  const auto ticks = static_cast<std::uint64_t>(s_->Note("GetSystemTimeAsFileTime") ? 0 : s_->now);
  *time = FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void FakePlatform::GetLocalTime(SYSTEMTIME* time) {
  s_->Note("GetLocalTime");
  *time = s_->time;
}

DWORD FakePlatform::GetLastError() {
  s_->Note("GetLastError");
  return s_->lastError;
}

DWORD FakePlatform::GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  DWORD result = 0;
  s_->Run("GetEnvironmentVariableA", name ? name : "", false, [&]() -> DWORD {
    auto it = s_->environment.find(Lower(std::string(name ? name : "")));
    if (it == s_->environment.end()) return ERROR_ENVVAR_NOT_FOUND;
    return result = CopyOut(it->second, buffer, size), 0;
  });
  return result;
}

UINT FakePlatform::GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  return s_->Note("GetWindowsDirectoryA") ? 0 : CopyOut(s_->windowsDirectory, buffer, size);
}

DWORD FakePlatform::GetTempPathA(DWORD size, LPSTR buffer) {
  return s_->Note("GetTempPathA") ? 0 : CopyOut(s_->tempPath, buffer, size);
}

// ---- Files and folders by path ---------------------------------------------------------

HANDLE FakePlatform::FindFirstFileA(LPCSTR lpFileName, WIN32_FIND_DATAA* data) {
  State& s = *s_;
  const std::string text = lpFileName != nullptr ? lpFileName : "";
  Parsed named = s.ParseAnsi(lpFileName);
  State::Handle listing;
  listing.find = true;
  const std::string target = named.error != 0 ? ToUtf8(FromAnsi(text)) : ToUtf8(named.Path());
  const DWORD error = s.Run("FindFirstFileA", target, false, [&]() -> DWORD {
    if (text.empty()) return ERROR_PATH_NOT_FOUND;
    if (text.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    if (named.error != 0) return named.error;
    if (named.parts.empty() || named.parts.back() != u"*") {
      throw std::invalid_argument("the machine lists with \"*\" only: " + text);
    }
    named.parts.pop_back();
    listing.node = s.Folder(named.parts);
    // A file's entries: ERROR_DIRECTORY (Wine: ERROR_INVALID_NAME).
    if (!listing.node) return s.Find(named).node ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND;
    for (const Named& e : s.List(listing.node)) listing.listed.push_back(e.name);
    return listing.listed.empty() ? ERROR_FILE_NOT_FOUND : 0;
  });
  if (error != 0) return INVALID_HANDLE_VALUE;
  Fill(data, *s.Listed(listing, listing.listed[0]), listing.listed[0]);
  listing.next = 1;
  return s.NewHandle(std::move(listing), {});
}

BOOL FakePlatform::FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* data) {
  return s_->RunOnHandle("FindNextFileA", handle, true, "", nullptr, [&](State::Handle& h, auto&) {
    while (h.next < h.listed.size()) {
      const Text& name = h.listed[h.next++];
      if (const NodePtr entry = s_->Listed(h, name)) return Fill(data, *entry, name), DWORD{0};
    }
    return DWORD{ERROR_NO_MORE_FILES};
  }) == 0;
}

BOOL FakePlatform::FindClose(HANDLE handle) {
  return s_->RunOnHandle("FindClose", handle, true, "", nullptr, [&](State::Handle&, auto&) {
    return s_->Close(Id(handle)), DWORD{0};
  }) == 0;
}

// ---- Handles ------------------------------------------------------------------------------

HANDLE FakePlatform::CreateFileA(LPCSTR path, DWORD access, DWORD share, SECURITY_ATTRIBUTES*,
                                 DWORD disposition, DWORD flags, HANDLE) {
  State& s = *s_;
  if (disposition != OPEN_EXISTING || (flags & FILE_FLAG_BACKUP_SEMANTICS) == 0) {
    throw std::invalid_argument("the machine opens an existing entry only");
  }
  HANDLE opened = INVALID_HANDLE_VALUE;
  s.RunOnPath(
      "CreateFileA", path, State::Changes(access), [&](Node&, const State::Found& f) -> DWORD {
        State::Found at = f;
        const Parts parts = s.ParseAnsi(path).parts;
        Text name = parts.empty() ? Text() : parts.back();
        // Without FILE_FLAG_OPEN_REPARSE_POINT a link leads to what it names.
        for (int depth = 0; (flags & FILE_FLAG_OPEN_REPARSE_POINT) == 0 && at.node->link; ++depth) {
          if (depth > kMaxLinkDepth) return ERROR_PATH_NOT_FOUND;
          name = at.node->target.empty() ? Text() : at.node->target.back();
          at = s.Find(Parsed{0, at.node->target});
          if (!at.node) return ERROR_FILE_NOT_FOUND;
        }
        Node& node = *at.node;
        if (node.deletePending) return ERROR_ACCESS_DENIED;
        const Open open{access, share};
        if (!State::MayOpen(node, open)) return ERROR_SHARING_VIOLATION;
        s.WaitForOplock(node, access);
        opened = s.NewHandle({at.node, at.folder, name, access}, open);
        return 0;
      });
  s.calls.back().access = access;
  return opened;
}

NTSTATUS FakePlatform::NtOpenFile(HANDLE* result, ACCESS_MASK access, OBJECT_ATTRIBUTES* object,
                                  IO_STATUS_BLOCK* io, ULONG share, ULONG options) {
  State& s = *s_;
  auto root = s.handles.find(Id(object->RootDirectory));
  const bool valid = root != s.handles.end() && !root->second.find && root->second.node->folder &&
                     !root->second.node->link;
  const UNICODE_STRING& name = *object->ObjectName;
  const Text text(name.Buffer, name.Buffer + name.Length / sizeof(WCHAR));
  if (text.find(u'\\') != Text::npos || (options & FILE_OPEN_REPARSE_POINT) == 0) {
    throw std::invalid_argument("the machine opens one name as itself: " + ToUtf8(text));
  }
  const bool doomed = (options & FILE_DELETE_ON_CLOSE) != 0;
  const std::string target = valid ? ToUtf8(s.PathOf(root->second.node.get()) + u"\\" + text) : "";
  bool breaking = false;
  auto status = static_cast<NTSTATUS>(s.Run(
      "NtOpenFile", target, State::Changes(access) || doomed,
      [&]() -> DWORD {
        if (!valid) return Failed(STATUS_INVALID_HANDLE);
        const NodePtr node = root->second.node->Child(text);
        if (!node) return Failed(STATUS_OBJECT_NAME_NOT_FOUND);
        if ((options & FILE_NON_DIRECTORY_FILE) != 0 && node->folder) {
          return Failed(STATUS_FILE_IS_A_DIRECTORY);
        }
        if (node->deletePending) return Failed(STATUS_DELETE_PENDING);
        const Open open{access, share};
        if (!State::MayOpen(*node, open)) return Failed(STATUS_SHARING_VIOLATION);
        if (doomed && (node->attributes & FILE_ATTRIBUTE_READONLY)) {
          return Failed(STATUS_CANNOT_DELETE);
        }
        // Told not to wait, the open completes while the oplock breaks.
        breaking = (options & FILE_COMPLETE_IF_OPLOCKED) != 0 && node->oplocked &&
                   (access & ~static_cast<ACCESS_MASK>(FILE_READ_ATTRIBUTES | SYNCHRONIZE)) != 0;
        if (!breaking) s.WaitForOplock(*node, access);
        State::Handle handle(node, root->second.node, text, access);
        for (const Named& e : root->second.node->entries) {
          if (e.node == node && Same(e.name, text)) handle.name = e.name;  // as it was made
        }
        handle.deleteOnClose = doomed;
        node->deletePending = node->deletePending || doomed;
        *result = s.NewHandle(std::move(handle), open);
        return 0;
      },
      doomed ? "FILE_DELETE_ON_CLOSE" : "", false));
  if (status == STATUS_SUCCESS && breaking) status = STATUS_OPLOCK_BREAK_IN_PROGRESS;
  s.calls.back().access = access;
  if (io != nullptr) *io = IO_STATUS_BLOCK{{status}, 0};
  return status;
}

NTSTATUS FakePlatform::NtQueryDirectoryFile(HANDLE handle, HANDLE, PIO_APC_ROUTINE, PVOID,
                                            IO_STATUS_BLOCK* io, PVOID buffer, ULONG length,
                                            FILE_INFORMATION_CLASS kind, BOOLEAN single,
                                            UNICODE_STRING* pattern, BOOLEAN restart) {
  if (kind != FileDirectoryInformation || pattern != nullptr) {
    throw std::invalid_argument("the machine lists FileDirectoryInformation, every entry");
  }
  State& s = *s_;
  return static_cast<NTSTATUS>(s.RunOnHandle(
      "NtQueryDirectoryFile", handle, false, "", io, [&](State::Handle& h, ULONG& written) {
        if (!h.node->folder || h.node->link) return Failed(STATUS_INVALID_PARAMETER);
        if ((h.access & FILE_LIST_DIRECTORY) == 0) return Failed(STATUS_ACCESS_DENIED);
        if (!h.listing || restart) {
          h.listing = true;
          h.listed.clear();
          h.next = 0;
          for (const Named& e : s.List(h.node)) h.listed.push_back(e.name);
        }
        auto* bytes = static_cast<unsigned char*>(buffer);
        FILE_DIRECTORY_INFORMATION* last = nullptr;
        for (; h.next < h.listed.size() && !(single && last); ++h.next) {
          const Text& name = h.listed[h.next];
          const NodePtr entry = s.Listed(h, name);
          if (!entry) continue;
          const auto size = static_cast<ULONG>(offsetof(FILE_DIRECTORY_INFORMATION, FileName) +
                                               name.size() * sizeof(WCHAR));
          const ULONG at = (written + 7) & ~ULONG{7};
          if (at + size > length) break;
          auto* record = reinterpret_cast<FILE_DIRECTORY_INFORMATION*>(bytes + at);
          std::memset(record, 0, size);
          record->EndOfFile.QuadPart = record->AllocationSize.QuadPart =
              static_cast<LONGLONG>(entry->size);
          record->CreationTime.QuadPart = entry->created;
          record->LastWriteTime.QuadPart = record->ChangeTime.QuadPart = entry->written;
          record->FileAttributes = entry->Reported();
          record->FileNameLength = static_cast<ULONG>(name.size() * sizeof(WCHAR));
          std::memcpy(record->FileName, name.data(), name.size() * sizeof(WCHAR));
          if (last != nullptr) {
            last->NextEntryOffset =
                static_cast<ULONG>(bytes + at - reinterpret_cast<unsigned char*>(last));
          }
          last = record;
          written = at + size;
        }
        if (last != nullptr) return DWORD{0};
        return Failed(h.next < h.listed.size() ? STATUS_BUFFER_OVERFLOW : STATUS_NO_MORE_FILES);
      }));
}

NTSTATUS FakePlatform::NtQueryInformationFile(HANDLE handle, IO_STATUS_BLOCK* io, PVOID buffer,
                                              ULONG length, FILE_INFORMATION_CLASS kind) {
  const char* value = kind == FileBasicInformation      ? "FileBasicInformation"
                      : kind == FileStandardInformation ? "FileStandardInformation"
                      : kind == FileNameInformation     ? "FileNameInformation"
                      : kind == FileInternalInformation ? "FileInternalInformation"
                                                        : nullptr;
  if (value == nullptr) throw std::invalid_argument("the machine answers no such information");
  State& s = *s_;
  return static_cast<NTSTATUS>(s.RunOnHandle(
      "NtQueryInformationFile", handle, false, value, io, [&](State::Handle& h, ULONG& written) {
        const Node& n = *h.node;
        if (kind == FileBasicInformation) {
          if ((h.access & FILE_READ_ATTRIBUTES) == 0) return Failed(STATUS_ACCESS_DENIED);
          *static_cast<FILE_BASIC_INFORMATION*>(buffer) = FILE_BASIC_INFORMATION{};
          static_cast<FILE_BASIC_INFORMATION*>(buffer)->FileAttributes = n.Reported();
          return DWORD{0};
        }
        if (kind == FileInternalInformation) {
          static_cast<FILE_INTERNAL_INFORMATION*>(buffer)->IndexNumber.QuadPart =
              static_cast<LONGLONG>(n.id);
          return DWORD{0};
        }
        if (kind == FileNameInformation) {  // the path on the volume, "\\" for its root
          const NodePtr via = h.via.lock();
          Text path = n.folder || !via ? s.PathOf(&n) : s.PathOf(via.get()) + u"\\" + h.name;
          path = path.size() > 2 ? path.substr(2) : u"\\";
          auto* name = static_cast<FILE_NAME_INFORMATION*>(buffer);
          const auto room = static_cast<ULONG>(
              (length - offsetof(FILE_NAME_INFORMATION, FileName)) / sizeof(WCHAR));
          name->FileNameLength = static_cast<ULONG>(path.size() * sizeof(WCHAR));
          std::copy_n(path.begin(), std::min<std::size_t>(room, path.size()), name->FileName);
          written = length;
          return room < path.size() ? Failed(STATUS_BUFFER_OVERFLOW) : DWORD{0};
        }
        FILE_STANDARD_INFORMATION info{};
        info.EndOfFile.QuadPart = info.AllocationSize.QuadPart = static_cast<LONGLONG>(n.size);
        info.NumberOfLinks = static_cast<ULONG>(n.names);
        info.DeletePending = n.deletePending;
        info.Directory = n.folder;
        *static_cast<FILE_STANDARD_INFORMATION*>(buffer) = info;
        return DWORD{0};
      }));
}

NTSTATUS FakePlatform::NtSetInformationFile(HANDLE handle, IO_STATUS_BLOCK* io, PVOID buffer, ULONG,
                                            FILE_INFORMATION_CLASS kind) {
  const bool basic = kind == FileBasicInformation;
  if (!basic && (kind != FileDispositionInformation ||
                 !static_cast<FILE_DISPOSITION_INFORMATION*>(buffer)->DeleteFile)) {
    throw std::invalid_argument("the machine sets attributes and deletes only");
  }
  const char* value = basic ? "FileBasicInformation" : "FileDispositionInformation";
  return static_cast<NTSTATUS>(s_->RunOnHandle(
      "NtSetInformationFile", handle, false, value, io,
      [&](State::Handle& h, auto&) {
        Node& n = *h.node;
        if ((h.access & (basic ? FILE_WRITE_ATTRIBUTES : DELETE)) == 0) {
          return Failed(STATUS_ACCESS_DENIED);
        }
        if (basic) {  // 0 leaves the attributes as they are
          const ULONG bits = static_cast<FILE_BASIC_INFORMATION*>(buffer)->FileAttributes;
          if (bits != 0) n.attributes = bits & kSettable;
          return DWORD{0};
        }
        if ((n.attributes & FILE_ATTRIBUTE_READONLY) != 0 || &n == s_->root.get()) {
          return Failed(STATUS_CANNOT_DELETE);
        }
        if (n.folder && !n.link && !n.entries.empty()) return Failed(STATUS_DIRECTORY_NOT_EMPTY);
        h.deleteOnClose = n.deletePending = true;
        return DWORD{0};
      },
      true));
}

NTSTATUS FakePlatform::NtClose(HANDLE handle) {
  return static_cast<NTSTATUS>(
      s_->RunOnHandle("NtClose", handle, false, "", nullptr,
                      [&](State::Handle&, auto&) { return s_->Close(Id(handle)), DWORD{0}; }));
}

BOOL FakePlatform::GetFileInformationByHandle(HANDLE handle,
                                              BY_HANDLE_FILE_INFORMATION* information) {
  State& s = *s_;
  auto it = s.handles.find(Id(handle));
  const bool valid = it != s.handles.end() && !it->second.find;
  return s.Run("GetFileInformationByHandle", valid ? s.PathOf(it->second) : "", false,
               [&]() -> DWORD {
                 if (!valid) return ERROR_INVALID_HANDLE;
                 const Node& n = *it->second.node;
                 *information = BY_HANDLE_FILE_INFORMATION{};
                 information->dwFileAttributes = n.Reported();
                 information->dwVolumeSerialNumber = kVolumeSerial;
                 information->nFileSizeHigh = static_cast<DWORD>(n.size >> 32);
                 information->nFileSizeLow = static_cast<DWORD>(n.size);
                 information->nNumberOfLinks = static_cast<DWORD>(n.names);
                 information->nFileIndexHigh = static_cast<DWORD>(n.id >> 32);
                 information->nFileIndexLow = static_cast<DWORD>(n.id);
                 return 0;
               }) == 0;
}

NTSTATUS FakePlatform::RtlUnicodeToMultiByteN(CHAR* out, ULONG room, ULONG* written,
                                              const WCHAR* text, ULONG bytes) {
  ULONG count = 0;
  const auto status = static_cast<NTSTATUS>(s_->Run(
      "RtlUnicodeToMultiByteN", "", false,
      [&]() -> DWORD {
        for (; count < room && count < bytes / sizeof(WCHAR); ++count)
          out[count] = ToAnsi(text[count]);
        return 0;
      },
      {}, false));
  if (written != nullptr) *written = count;
  return status;
}

// ---- Registry ---------------------------------------------------------------------------

LSTATUS FakePlatform::RegOpenKeyA(HKEY key, LPCSTR subkey, HKEY* result) {
  *result = nullptr;
  return s_->RunOnKey("RegOpenKeyA", key, subkey, false, [&](auto, auto& path) {
    if (s_->keys.count(Lower(path)) == 0) return ERROR_FILE_NOT_FOUND;
    return *result = s_->OpenKey(path), ERROR_SUCCESS;
  });
}

LSTATUS FakePlatform::RegCreateKeyA(HKEY key, LPCSTR subkey, HKEY* result) {
  *result = nullptr;
  return s_->RunOnKey("RegCreateKeyA", key, subkey, true, [&](auto, auto& path) {
    s_->MakeKey(path);
    return *result = s_->OpenKey(path), ERROR_SUCCESS;
  });
}

LSTATUS FakePlatform::RegQueryValueExA(HKEY key, LPCSTR value, DWORD*, DWORD* type, BYTE* data,
                                       DWORD* count) {
  const std::string name = value ? value : "";
  return s_->RunOnKey(
      "RegQueryValueExA", key, "", false,
      [&](auto it, auto&) {
        auto found = it->second.find(Lower(name));
        const bool there = found != it->second.end();
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
        it->second[Lower(name)] = RegValue{type, std::vector<BYTE>(data, data + count)};
        return ERROR_SUCCESS;
      },
      name);
}

LSTATUS FakePlatform::RegDeleteKeyA(HKEY key, LPCSTR subkey) {
  State& s = *s_;
  return s.RunOnKey("RegDeleteKeyA", key, subkey, true, [&](auto, auto& path) {
    auto doomed = s.keys.find(Lower(path));
    if (doomed == s.keys.end()) return ERROR_FILE_NOT_FOUND;
    // A key with subkeys stays, as does a root.
    if (s.HasSubkeys(path) || path.find('\\') == std::string::npos) return ERROR_ACCESS_DENIED;
    return s.keys.erase(doomed), ERROR_SUCCESS;
  });
}

LSTATUS FakePlatform::RegCloseKey(HKEY key) {
  State& s = *s_;
  // A handle outlives its key, and closes all the same; a root closes too.
  return static_cast<LSTATUS>(s.Run(
      "RegCloseKey", s.KeyAt(key), false,
      [&]() -> DWORD {
        const bool closed = key == HKEY_LOCAL_MACHINE || s.regHandles.erase(Id(key)) != 0;
        return closed ? 0 : ERROR_INVALID_HANDLE;
      },
      {}, false));
}
