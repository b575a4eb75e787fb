#include "bench/synthetic_tree.h"

#include <algorithm>

namespace {

// Every name is written by hand: a formatted print would cost more than the
// walks being measured.
class NameWriter {
 public:
  explicit NameWriter(SyntheticTree::NameBuffer& buffer) : buffer_(buffer) {}

  NameWriter& Text(std::string_view text) {
    for (char c : text) buffer_[length_++] = c;
    return *this;
  }
  NameWriter& Decimal(std::uint32_t value) {
    char digits[10];
    std::size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (count > 0) buffer_[length_++] = digits[--count];
    return *this;
  }
  NameWriter& Hex(std::uint32_t value, int width) {
    for (int shift = (width - 1) * 4; shift >= 0; shift -= 4) {
      buffer_[length_++] = "0123456789ABCDEF"[(value >> shift) & 0xF];
    }
    return *this;
  }
  std::string_view View() {
    buffer_[length_] = '\0';
    return std::string_view(buffer_, length_);
  }

 private:
  SyntheticTree::NameBuffer& buffer_;
  std::size_t length_ = 0;
};

std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

bool ParseDecimal(std::string_view digits, std::uint32_t& value) {
  if (digits.empty() || digits.size() > 9) return false;
  value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return true;
}

bool ParseHex(std::string_view digits, std::uint32_t& value) {
  value = 0;
  for (char c : digits) {
    std::uint32_t nibble;
    if (c >= '0' && c <= '9') {
      nibble = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      nibble = static_cast<std::uint32_t>(c - 'A' + 10);
    } else {
      return false;
    }
    value = (value << 4) | nibble;
  }
  return true;
}

constexpr std::string_view kGuidTail = "-0000-4000-8000-000000000000}";

}  // namespace

SyntheticTree::SyntheticTree(std::uint64_t entries) {
  std::vector<std::uint32_t> depth{0};
  folders_.push_back(Folder{});
  std::uint64_t remaining = entries;
  for (std::uint32_t next = 0; next < folders_.size() && remaining > 0; ++next) {
    if (folders_[next].guarded) continue;
    const auto files =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(kFilesPerFolder, remaining));
    remaining -= files;
    const std::uint64_t wanted =
        next == 0 ? kSubfoldersPerFolder * std::max<std::uint64_t>(1, entries / kBranchEntries)
                  : kSubfoldersPerFolder;
    const auto subfolders = static_cast<std::uint32_t>(std::min(wanted, remaining));
    remaining -= subfolders;
    const auto firstChild = static_cast<std::uint32_t>(folders_.size());
    const std::uint32_t guarded = next == 0 ? kGuardedFolders : 0;
    for (std::uint32_t g = 0; g < guarded; ++g) {
      Folder folder;
      folder.files = kGuardedFiles;
      folder.guarded = true;
      folder.guidName = true;
      folder.parent = next;
      folders_.push_back(folder);
      depth.push_back(1);
    }
    for (std::uint32_t s = 0; s < subfolders; ++s) {
      Folder folder;
      folder.parent = next;
      folders_.push_back(folder);
      depth.push_back(depth[next] + 1);
    }
    folders_[next].files = files;
    folders_[next].firstChild = firstChild;
    folders_[next].children = guarded + subfolders;
  }
  entries_ = entries - remaining;
  for (std::uint32_t i = 1; i < folders_.size(); ++i) {
    Folder& folder = folders_[i];
    // Some leaves deeper down have the names installers give their folders.
    if (!folder.guarded && folder.children == 0 && i % 41 == 5) folder.guidName = true;
    depth_ = std::max(depth_, depth[i]);
  }
}

std::string_view SyntheticTree::FolderName(std::uint32_t folder, NameBuffer& buffer) const {
  NameWriter writer(buffer);
  if (folders_[folder].guidName) return writer.Text("{").Hex(folder, 8).Text(kGuidTail).View();
  return writer.Text("d").Decimal(folder).View();
}

std::string_view SyntheticTree::FileName(std::uint32_t folder, std::uint32_t file,
                                         NameBuffer& buffer) const {
  NameWriter writer(buffer);
  switch ((folder * 7 + file) % 4) {
    case 0:
      return writer.Text("~DF").Hex(folder * kFilesPerFolder + file, 8).Text(".tmp").View();
    case 1:
      return writer.Text("tmp").Decimal(file).Text("_").Decimal(folder).Text(".tmp").View();
    case 2:
      return writer.Text("setup_").Decimal(folder).Text("_").Decimal(file).Text(".log").View();
    default:
      return writer.Text("Microsoft.Windows.Update.Cache.")
          .Hex(folder, 8)
          .Hex(file, 4)
          .Text(".dat")
          .View();
  }
}

std::uint64_t SyntheticTree::FileSize(std::uint32_t folder, std::uint32_t file) const {
  const std::uint64_t h = Mix((static_cast<std::uint64_t>(folder) << 32) | file);
  const std::uint64_t bucket = h % 100;
  if (bucket < 70) return (h >> 8) % (64u << 10);
  if (bucket < 95) return (64u << 10) + (h >> 8) % (4u << 20);
  return (h >> 8) % (64u << 20);
}

DWORD SyntheticTree::FileAttributes(std::uint32_t folder, std::uint32_t file) const {
  const std::uint32_t k = folder + file;
  if (k % 97 == 3) return FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
  if (k % 31 == 1) return FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
  return FILE_ATTRIBUTE_ARCHIVE;
}

bool SyntheticTree::FolderIndex(std::string_view name, std::uint32_t& folder) const {
  std::uint32_t index = 0;
  bool guid = false;
  if (name.size() > 1 && name[0] == 'd') {
    if (!ParseDecimal(name.substr(1), index)) return false;
  } else if (name.size() == 9 + kGuidTail.size() && name[0] == '{') {
    if (!ParseHex(name.substr(1, 8), index) || name.substr(9) != kGuidTail) return false;
    guid = true;
  } else {
    return false;
  }
  if (index == 0 || index >= folders_.size() || folders_[index].guidName != guid) return false;
  folder = index;
  return true;
}

std::uint64_t SyntheticTree::TotalBytes() const {
  std::uint64_t total = 0;
  for (std::uint32_t i = 0; i < folders_.size(); ++i) {
    if (folders_[i].guarded) continue;
    for (std::uint32_t f = 0; f < folders_[i].files; ++f) total += FileSize(i, f);
  }
  return total;
}
