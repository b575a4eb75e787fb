#include "search/pattern_list.h"

#include <string_view>

#include "search/pattern_steps.h"

namespace {

constexpr char kAnyRun = '*';
constexpr char kAnyByte = '?';
constexpr char kItemSeparator = ';';

bool ByteMatches(char patternByte, char nameByte) {
  return patternByte == kAnyByte || patternByte == nameByte;
}

}  // namespace

bool RunMatchesAt(std::string_view run, std::string_view name, std::size_t start) {
  for (std::size_t k = 0; k < run.size(); ++k) {
    if (!ByteMatches(run[k], name[start + k])) return false;
  }
  return true;
}

bool ContainsRun(std::string_view run, std::string_view name) {
  if (run.size() > name.size()) return false;
  const std::size_t lastStart = name.size() - run.size();
  for (std::size_t start = 0; start <= lastStart; ++start) {
    if (RunMatchesAt(run, name, start)) return true;
  }
  return false;
}

bool MatchPrefix(std::string_view& pattern, std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    // The end of a pattern without '*' is a byte no name byte equals.
    if (i == pattern.size()) return false;
    if (pattern[i] == kAnyRun) {
      pattern.remove_prefix(i);
      return true;
    }
    if (!ByteMatches(pattern[i], name[i])) return false;
  }
  return true;
}

bool MatchSuffix(std::string_view& pattern, std::string_view name) {
  std::size_t p = pattern.size();
  std::size_t n = name.size();
  while (p > 0) {
    if (pattern[p - 1] == kAnyRun) {
      pattern = pattern.substr(0, p - 1);
      return true;
    }
    if (n == 0 || !ByteMatches(pattern[p - 1], name[n - 1])) return false;
    --p;
    --n;
  }
  pattern = std::string_view();
  return true;
}

bool MatchPatternView(std::string_view pattern, std::string_view name) {
  if (pattern.empty() || name.empty()) return false;
  if (pattern.size() >= kPatternBufferSize || name.size() >= kPatternBufferSize) return false;

  if (pattern.front() != kAnyRun && !MatchPrefix(pattern, name)) return false;
  if (pattern.back() != kAnyRun && !MatchSuffix(pattern, name)) return false;

  while (!pattern.empty()) {
    const std::size_t star = pattern.find(kAnyRun);
    const std::string_view run = pattern.substr(0, star);
    if (!run.empty() && !ContainsRun(run, name)) return false;
    if (star == std::string_view::npos) break;
    pattern.remove_prefix(star + 1);
  }
  return true;
}

bool MatchPattern(std::string pattern, std::string name) { return MatchPatternView(pattern, name); }

bool MatchPatternList(std::string name, std::string list) {
  return MatchPatternListView(name, list);
}

bool MatchPatternListView(std::string_view name, std::string_view list) {
  std::string_view rest = list;
  if (rest.empty()) return false;
  for (;;) {
    const std::size_t separator = rest.find(kItemSeparator);
    if (MatchPatternView(rest.substr(0, separator), name)) return true;
    if (separator == std::string_view::npos) return false;
    rest.remove_prefix(separator + 1);
  }
}
