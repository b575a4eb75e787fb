#include "support/fake_paths.h"

#include <cctype>

namespace fake {

ParsedPath ParsePath(const std::string& text, const std::vector<std::string>& current) {
  ParsedPath parsed;
  std::string rest = text;
  for (char& c : rest) {
    if (c == '/') c = '\\';
  }
  if (!rest.empty() && rest.back() == '\\') parsed.trailingSeparator = true;

  bool absolute = false;
  if (rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
    if (std::toupper(static_cast<unsigned char>(rest[0])) != 'C') {
      parsed.error = ERROR_PATH_NOT_FOUND;  // the machine has no other drive
      return parsed;
    }
    parsed.drive = rest.substr(0, 1);
    rest.erase(0, 2);
    absolute = !rest.empty() && rest[0] == '\\';  // "C:name" is relative to C:'s folder
  } else if (rest.size() >= 2 && rest[0] == '\\' && rest[1] == '\\') {
    parsed.error = ERROR_PATH_NOT_FOUND;  // network paths lead nowhere here
    return parsed;
  } else {
    absolute = !rest.empty() && rest[0] == '\\';
  }

  if (!absolute) parsed.parts = current;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    std::string part = rest.substr(start, end - start);
    if (part != "." && part != "..") {
      // Win32 drops trailing dots and blanks from a name: "a.txt." is "a.txt".
      std::size_t keep = part.find_last_not_of(". ");
      part.erase(keep == std::string::npos ? 0 : keep + 1);
    }
    if (part == "..") {
      if (!parsed.parts.empty()) parsed.parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parsed.parts.push_back(part);
    }
    start = end + 1;
  }
  return parsed;
}

std::string JoinParts(const std::string& drive, const std::vector<std::string>& parts) {
  std::string text = drive + ":\\";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += '\\';
    text += parts[i];
  }
  return text;
}

namespace {

// ASCII only, whatever the C library's locale: Win32's ANSI names compare so
// on the machines the tests model.
unsigned char Folded(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

}  // namespace

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Folded(a[i]) != Folded(b[i])) return false;
  }
  return true;
}

bool NameLess::operator()(const std::string& a, const std::string& b) const {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char x = Folded(a[i]);
    const unsigned char y = Folded(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

namespace {

bool Glob(const char* pattern, const char* name) {
  // Iterative matching with one backtrack point for the last "*" seen.
  const char* starPattern = nullptr;
  const char* starName = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      starPattern = ++pattern;
      starName = name;
    } else if (*pattern == '?' || std::tolower(static_cast<unsigned char>(*pattern)) ==
                                      std::tolower(static_cast<unsigned char>(*name))) {
      ++pattern;
      ++name;
    } else if (starPattern != nullptr) {
      pattern = starPattern;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

}  // namespace

bool MatchesPattern(const std::string& pattern, const std::string& name) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (Glob(pattern.c_str(), name.c_str())) return true;
  // A trailing ".*" also matches a name without any dot, as "*.*" does.
  if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
      name.find('.') == std::string::npos) {
    return Glob(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str());
  }
  return false;
}

}  // namespace fake
