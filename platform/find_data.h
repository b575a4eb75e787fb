// Reading a listed directory entry safely.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string_view>

#include "platform/win32_types.h"

// The entry's name, never read past cFileName even when it is not terminated.
inline std::string_view EntryName(const WIN32_FIND_DATAA& entry) {
  const char* begin = entry.cFileName;
  const char* end = std::find(begin, begin + std::size(entry.cFileName), '\0');
  return std::string_view(begin, static_cast<std::size_t>(end - begin));
}

// "." and "..", which every listing but a drive root's gives and no walk enters.
inline bool IsSelfOrParent(std::string_view name) { return name == "." || name == ".."; }
