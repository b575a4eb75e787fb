#include "search/pattern_list.h"

#include <string_view>

namespace {

constexpr char kAnyRun = '*';
constexpr char kAnyByte = '?';
constexpr char kItemSeparator = ';';

bool ByteMatches(char patternByte, char nameByte) {
  return patternByte == kAnyByte || patternByte == nameByte;
}

// True when every byte of `run` equals the name's byte at the same distance
// from `start`, or is '?'. The caller keeps start + run.size() within the name.
bool RunMatchesAt(std::string_view run, std::string_view name, std::size_t start) {
  for (std::size_t k = 0; k < run.size(); ++k) {
    if (!ByteMatches(run[k], name[start + k])) return false;
  }
  return true;
}

// True when `run` (no '*') occurs somewhere inside the name.
bool ContainsRun(std::string_view run, std::string_view name) {
  if (run.size() > name.size()) return false;
  const std::size_t lastStart = name.size() - run.size();
  for (std::size_t start = 0; start <= lastStart; ++start) {
    if (RunMatchesAt(run, name, start)) return true;
  }
  return false;
}

// Anchored leading part; for a pattern that does not begin with '*'. Walks the
// name from its start while the pattern has no '*'. When the walk meets a '*'
// inside the name, `pattern` is shortened to begin at that '*'; when the name
// runs out first, `pattern` is left whole so that its leading part is looked
// for again as a run. False on a mismatch, or when a pattern without '*' is
// shorter than the name.
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

// Anchored trailing part; for a pattern that does not end with '*'. Walks the
// pattern and the name backwards together down to the last '*', then cuts that
// '*' and what follows it off `pattern` (nothing remains when the pattern had
// no '*'). False on a mismatch, or when the name is shorter than the trailing
// part.
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

}  // namespace

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
