// The inside of FakePlatform, shared by the files that implement it: the
// folder tree, the registry, open handles, injected failures and the log.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_paths.h"
#include "support/fake_platform.h"

namespace fake {

// Bits SetFileAttributesA can set; the kind of an entry (folder, link) is not one of them.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_TEMPORARY | 0x1000 /* OFFLINE */ |
                                      0x2000 /* NOT_CONTENT_INDEXED */;

// One file, folder or link. A parent owns its children; everything else
// (listings, the current folder) holds weak references, so an entry removed
// from the tree is gone for them too.
struct Node {
  std::string name;
  std::weak_ptr<Node> parent;  // empty for the root
  bool folder = false;
  bool link = false;
  std::vector<std::string> linkTarget;  // components below C:\ of where a link leads
  DWORD attributes = 0;                 // the settable bits only
  std::uint64_t size = 0;
  bool inUse = false;
  std::vector<std::shared_ptr<Node>> children;  // in insertion order
  std::vector<std::string> listingOrder;

  // The attributes as Win32 reports them.
  DWORD Reported() const;
  std::shared_ptr<Node> Child(const std::string& childName) const;
  // `child` has a name no other child has.
  void AddChild(std::shared_ptr<Node> child);
  void RemoveChild(const Node* child);

 private:
  // The children by name, so that resolving a path costs the same in a
  // folder of a hundred thousand entries as in one of three.
  std::map<std::string, std::shared_ptr<Node>, NameLess> byName_;
};

// Where a path leads: the folder holding its last component and the entry
// there (null when missing). Folder links on the way are followed; the last
// component is not.
struct Resolved {
  DWORD error = 0;  // ERROR_PATH_NOT_FOUND when the way there is missing
  std::shared_ptr<Node> parent;
  std::shared_ptr<Node> node;
  std::string target;  // the path made absolute, for the log
  std::string last;    // the last component as the caller wrote it
  bool trailingSeparator = false;
};

struct ListedEntry {
  std::string name;
  std::weak_ptr<Node> node;
};

struct Listing {
  std::string target;
  std::vector<ListedEntry> entries;
  std::size_t next = 0;
};

struct RegKey {
  std::string name;
  RegKey* parent = nullptr;
  bool deleted = false;
  std::vector<std::pair<std::string, FakePlatform::RegValue>> values;
  std::vector<std::shared_ptr<RegKey>> subkeys;

  std::shared_ptr<RegKey> Subkey(const std::string& keyName) const;
  FakePlatform::RegValue* Value(const std::string& valueName);
};

struct OpenKey {
  std::shared_ptr<RegKey> key;
  std::string path;  // "HKLM\SOFTWARE\..." as the caller named it
};

struct Failure {
  std::string call;
  DWORD error = 0;
  std::string path;  // empty: every target
};

// Splits a registry subkey path at its backslashes, empty parts dropped.
std::vector<std::string> SplitKeyPath(const std::string& text);

}  // namespace fake

struct FakePlatform::State {
  State();

  std::shared_ptr<fake::Node> root;
  std::vector<std::string> currentParts;
  std::weak_ptr<fake::Node> currentNode;

  std::string windowsDirectory;
  std::string tempPath;
  std::vector<char> commandLine;  // zero-terminated, stable for GetCommandLineA
  SYSTEMTIME time{};
  UINT errorMode = 0;
  DWORD lastError = 0;

  std::shared_ptr<fake::RegKey> localMachine;
  std::shared_ptr<fake::RegKey> currentUser;

  std::map<std::uintptr_t, fake::Listing> listings;
  std::map<std::uintptr_t, fake::OpenKey> keys;
  std::uintptr_t nextHandle = 0x1000;

  std::vector<fake::Failure> failures;
  std::map<std::size_t, DWORD> nthFailures;
  std::vector<CallRecord> calls;
  CallHook hook;
  bool inHook = false;

  // ---- Files ----
  fake::ParsedPath Parse(const std::string& text) const;
  fake::Resolved Resolve(const std::string& text) const;
  // The folder a path names, folder links followed (null when none).
  std::shared_ptr<fake::Node> FindFolder(const std::vector<std::string>& parts, int depth) const;
  // For the builders: a missing path or a file in the way is a test's mistake
  // and throws std::invalid_argument.
  fake::ParsedPath ParseOrThrow(const std::string& path) const;
  std::shared_ptr<fake::Node> ExistingNode(const std::string& path) const;
  std::shared_ptr<fake::Node> MakeFolders(const std::vector<std::string>& parts);
  // A folder's entries in listing order, "." and ".." included below the root.
  std::vector<fake::ListedEntry> Entries(const std::shared_ptr<fake::Node>& folder) const;
  std::string NodePath(const fake::Node& node) const;
  // What the path-taking calls share: the log entry, injected failures, the
  // length limit and resolution. Returns 0 with `resolved.node` set when the
  // call may go on, else the error it fails with.
  DWORD Prepare(const char* call, LPCSTR path, bool changing, std::size_t& index,
                fake::Resolved& resolved);

  // ---- Registry ----
  std::shared_ptr<fake::RegKey> Root(HKEY key) const;
  std::shared_ptr<fake::RegKey> RootOrThrow(HKEY key) const;  // for the builders
  static std::string RootName(HKEY key);
  // The key a handle stands for, its path, and the error when it stands for none.
  LSTATUS KeyOf(HKEY key, std::shared_ptr<fake::RegKey>& found, std::string& path) const;
  std::shared_ptr<fake::RegKey> FindKey(const std::shared_ptr<fake::RegKey>& from,
                                        const std::vector<std::string>& parts) const;
  std::shared_ptr<fake::RegKey> MakeKey(const std::shared_ptr<fake::RegKey>& from,
                                        const std::vector<std::string>& parts);
  HKEY OpenHandle(std::shared_ptr<fake::RegKey> key, std::string path);

  // ---- Log and failures ----
  // Runs the call hook, if any, for the call about to be logged.
  void Hook(const char* call);
  // Appends the call to the log; returns its index.
  std::size_t Begin(const char* call, std::string target, bool changing, std::string value = "");
  // The injected error for the call at `index`, if any.
  std::optional<DWORD> Injected(std::size_t index) const;
  void Succeed(std::size_t index);
  // Records a failure; Win32 calls also set the last error, registry calls do not.
  void Fail(std::size_t index, DWORD error, bool setLastError = true);
};
