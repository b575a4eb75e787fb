// Path and name rules of the in-memory fake: how an ANSI path is split into
// components the way Win32 reads it, and how names compare and match patterns.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace fake {

// A path as Win32 reads it: on drive C:, "\" and "/" alike, doubled
// separators read as one, "." and ".." resolved against the components
// before them (".." at the root stays there).
struct ParsedPath {
  DWORD error = 0;                 // non-zero when the text names no place on C:
  std::string drive = "C";         // the caller's drive letter, its case kept
  std::vector<std::string> parts;  // components below the root
  bool trailingSeparator = false;  // the text ended in "\" or "/"
};

// `current` is the current folder's components, for relative paths.
ParsedPath ParsePath(const std::string& text, const std::vector<std::string>& current);

// "C:\a\b" from a parsed path; "C:\" for the root.
std::string JoinParts(const std::string& drive, const std::vector<std::string>& parts);

bool SameName(const std::string& a, const std::string& b);  // ASCII case-insensitive
// The order that goes with SameName: two names are equivalent under it exactly
// when SameName says they are the same.
struct NameLess {
  using is_transparent = void;
  bool operator()(const std::string& a, const std::string& b) const;
};
std::string Upper(std::string text);
bool HasWildcard(const std::string& name);
// A listing pattern's match of one name, case-insensitively; "*" and "*.*"
// both match every name.
bool MatchesPattern(const std::string& pattern, const std::string& name);

}  // namespace fake
