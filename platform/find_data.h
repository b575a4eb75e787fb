// Reading a listed directory entry safely.
#pragma once

#include <cstddef>
#include <cstring>
#include <iterator>
#include <string_view>

#include "platform/win32_types.h"

// The entry's name, never read past cFileName even when it is not terminated.
// Every walk asks this of every entry: memchr, unlike a loop over the bytes,
// is vectorised by every C library.
inline std::string_view EntryName(const WIN32_FIND_DATAA& entry) {
  const char* begin = entry.cFileName;
  const void* end = std::memchr(begin, '\0', std::size(entry.cFileName));
  const std::size_t length = end != nullptr
                                 ? static_cast<std::size_t>(static_cast<const char*>(end) - begin)
                                 : std::size(entry.cFileName);
  return std::string_view(begin, length);
}

// "." and "..", which every listing but a drive root's gives and no walk enters.
inline bool IsSelfOrParent(std::string_view name) { return name == "." || name == ".."; }
