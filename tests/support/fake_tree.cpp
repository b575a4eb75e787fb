// The fake's folder tree: path resolution, the builders and the inspectors.
#include <algorithm>
#include <stdexcept>
#include <utility>

#include "support/fake_state.h"

namespace fake {

DWORD Node::Reported() const {
  DWORD bits = attributes;
  if (folder) bits |= FILE_ATTRIBUTE_DIRECTORY;
  if (link) bits |= FILE_ATTRIBUTE_REPARSE_POINT;
  return bits == 0 ? FILE_ATTRIBUTE_NORMAL : bits;
}

std::shared_ptr<Node> Node::Child(const std::string& childName) const {
  auto it = byName_.find(childName);
  return it != byName_.end() ? it->second : nullptr;
}

void Node::AddChild(std::shared_ptr<Node> child) {
  byName_.emplace(child->name, child);
  children.push_back(std::move(child));
}

void Node::RemoveChild(const Node* child) {
  auto it = byName_.find(child->name);
  if (it != byName_.end() && it->second.get() == child) byName_.erase(it);
  children.erase(std::remove_if(children.begin(), children.end(),
                                [child](const auto& c) { return c.get() == child; }),
                 children.end());
}

}  // namespace fake

using fake::kSettableAttributes;
using fake::Node;

namespace {

// Links may lead to links; a loop of them leads nowhere.
constexpr int kMaxLinkDepth = 31;

std::vector<std::string> AllButLast(const std::vector<std::string>& parts) {
  return std::vector<std::string>(parts.begin(), parts.end() - 1);
}

}  // namespace

fake::ParsedPath FakePlatform::State::Parse(const std::string& text) const {
  return fake::ParsePath(text, currentParts);
}

std::shared_ptr<Node> FakePlatform::State::FindFolder(const std::vector<std::string>& parts,
                                                      int depth) const {
  if (depth > kMaxLinkDepth) return nullptr;
  std::shared_ptr<Node> node = root;
  for (const std::string& part : parts) {
    std::shared_ptr<Node> child = node->Child(part);
    if (child && child->link) {
      child = child->folder ? FindFolder(child->linkTarget, depth + 1) : nullptr;
    }
    if (!child || !child->folder) return nullptr;
    node = child;
  }
  return node;
}

fake::Resolved FakePlatform::State::Resolve(const std::string& text) const {
  fake::Resolved resolved;
  fake::ParsedPath parsed = Parse(text);
  resolved.trailingSeparator = parsed.trailingSeparator;
  if (parsed.error != 0) {
    resolved.error = parsed.error;
    resolved.target = text;
    return resolved;
  }
  resolved.target = fake::JoinParts(parsed.drive, parsed.parts);
  if (parsed.parts.empty()) {
    resolved.node = root;
    return resolved;
  }
  resolved.last = parsed.parts.back();
  resolved.parent = FindFolder(AllButLast(parsed.parts), 0);
  if (!resolved.parent) {
    resolved.error = ERROR_PATH_NOT_FOUND;
    return resolved;
  }
  resolved.node = resolved.parent->Child(resolved.last);
  return resolved;
}

std::string FakePlatform::State::NodePath(const Node& node) const {
  std::vector<std::string> parts;
  for (const Node* at = &node; !at->parent.expired(); at = at->parent.lock().get()) {
    parts.push_back(at->name);
  }
  std::reverse(parts.begin(), parts.end());
  return fake::JoinParts("C", parts);
}

std::vector<fake::ListedEntry> FakePlatform::State::Entries(
    const std::shared_ptr<Node>& folder) const {
  std::vector<fake::ListedEntry> all;
  if (std::shared_ptr<Node> parent = folder->parent.lock()) {
    all.push_back({".", folder});
    all.push_back({"..", parent});
  }
  for (const auto& child : folder->children) all.push_back({child->name, child});

  std::vector<fake::ListedEntry> named;
  std::vector<bool> taken(all.size(), false);
  for (const std::string& name : folder->listingOrder) {
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (!taken[i] && fake::SameName(all[i].name, name)) {
        taken[i] = true;
        named.push_back(all[i]);
        break;
      }
    }
  }
  // "." and ".." keep their place in front unless the order places them.
  std::vector<fake::ListedEntry> ordered;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (!taken[i] && (all[i].name == "." || all[i].name == "..")) {
      taken[i] = true;
      ordered.push_back(all[i]);
    }
  }
  ordered.insert(ordered.end(), named.begin(), named.end());
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (!taken[i]) ordered.push_back(all[i]);
  }
  return ordered;
}

fake::ParsedPath FakePlatform::State::ParseOrThrow(const std::string& path) const {
  fake::ParsedPath parsed = Parse(path);
  if (parsed.error != 0) throw std::invalid_argument("not a path on C: " + path);
  return parsed;
}

std::shared_ptr<Node> FakePlatform::State::ExistingNode(const std::string& path) const {
  fake::Resolved resolved = Resolve(path);
  if (!resolved.node) throw std::invalid_argument("no such file or folder: " + path);
  return resolved.node;
}

std::shared_ptr<Node> FakePlatform::State::MakeFolders(const std::vector<std::string>& parts) {
  std::shared_ptr<Node> node = root;
  std::vector<std::string> walked;
  for (const std::string& part : parts) {
    walked.push_back(part);
    std::shared_ptr<Node> child = node->Child(part);
    if (!child) {
      child = std::make_shared<Node>();
      child->name = part;
      child->folder = true;
      child->parent = node;
      node->AddChild(child);
    } else if (child->link) {
      child = FindFolder(walked, 0);
    }
    if (!child || !child->folder) {
      throw std::invalid_argument("not a folder: " + fake::JoinParts("C", walked));
    }
    node = child;
  }
  return node;
}

void FakePlatform::AddFolder(const std::string& path, DWORD attributes) {
  fake::ParsedPath parsed = state_->ParseOrThrow(path);
  std::shared_ptr<Node> folder = state_->MakeFolders(parsed.parts);
  if (!parsed.parts.empty()) folder->attributes = attributes & kSettableAttributes;
}

void FakePlatform::AddFile(const std::string& path, std::uint64_t size, DWORD attributes) {
  fake::ParsedPath parsed = state_->ParseOrThrow(path);
  if (parsed.parts.empty()) throw std::invalid_argument("a file needs a name: " + path);
  std::shared_ptr<Node> parent = state_->MakeFolders(AllButLast(parsed.parts));
  std::shared_ptr<Node> file = parent->Child(parsed.parts.back());
  if (file && (file->folder || file->link)) {
    throw std::invalid_argument("a folder or link is there: " + path);
  }
  if (!file) {
    file = std::make_shared<Node>();
    file->name = parsed.parts.back();
    file->parent = parent;
    parent->AddChild(file);
  }
  file->size = size;
  file->attributes = attributes & kSettableAttributes;
}

void FakePlatform::AddLink(const std::string& path, const std::string& target, bool folder) {
  fake::ParsedPath parsed = state_->ParseOrThrow(path);
  fake::ParsedPath leadsTo = state_->ParseOrThrow(target);
  if (parsed.parts.empty()) throw std::invalid_argument("a link needs a name: " + path);
  std::shared_ptr<Node> parent = state_->MakeFolders(AllButLast(parsed.parts));
  if (parent->Child(parsed.parts.back())) {
    throw std::invalid_argument("something is there already: " + path);
  }
  auto link = std::make_shared<Node>();
  link->name = parsed.parts.back();
  link->parent = parent;
  link->link = true;
  link->folder = folder;
  link->linkTarget = leadsTo.parts;
  link->attributes = folder ? 0 : FILE_ATTRIBUTE_ARCHIVE;
  parent->AddChild(link);
}

void FakePlatform::SetInUse(const std::string& path, bool inUse) {
  state_->ExistingNode(path)->inUse = inUse;
}

void FakePlatform::SetListingOrder(const std::string& folder,
                                   const std::vector<std::string>& names) {
  std::shared_ptr<Node> node = state_->FindFolder(state_->ParseOrThrow(folder).parts, 0);
  if (!node) throw std::invalid_argument("no such folder: " + folder);
  node->listingOrder = names;
}

void FakePlatform::SetCurrentFolder(const std::string& path) {
  fake::ParsedPath parsed = state_->ParseOrThrow(path);
  std::shared_ptr<Node> node = state_->FindFolder(parsed.parts, 0);
  if (!node) throw std::invalid_argument("no such folder: " + path);
  state_->currentParts = parsed.parts;
  state_->currentNode = node;
}

void FakePlatform::Remove(const std::string& path) {
  fake::Resolved resolved = state_->Resolve(path);
  if (!resolved.node) throw std::invalid_argument("no such file or folder: " + path);
  if (!resolved.parent) throw std::invalid_argument("a drive's root stays: " + path);
  resolved.parent->RemoveChild(resolved.node.get());
}

bool FakePlatform::Exists(const std::string& path) const {
  return state_->Resolve(path).node != nullptr;
}

DWORD FakePlatform::Attributes(const std::string& path) const {
  std::shared_ptr<Node> node = state_->Resolve(path).node;
  return node ? node->Reported() : INVALID_FILE_ATTRIBUTES;
}

std::uint64_t FakePlatform::Size(const std::string& path) const {
  std::shared_ptr<Node> node = state_->Resolve(path).node;
  return node ? node->size : 0;
}

std::vector<std::string> FakePlatform::List(const std::string& folder) const {
  std::vector<std::string> names;
  fake::ParsedPath parsed = state_->Parse(folder);
  if (parsed.error != 0) return names;
  std::shared_ptr<Node> node = state_->FindFolder(parsed.parts, 0);
  if (!node) return names;
  for (const fake::ListedEntry& entry : state_->Entries(node)) {
    if (entry.name != "." && entry.name != "..") names.push_back(entry.name);
  }
  return names;
}
