// Tests a name against ';'-separated lists of wildcard patterns: each pattern
// is an anchored leading part, an anchored trailing part and floating inner
// runs, each tested on its own; '?' is exactly one byte, every other byte is
// compared exactly (case-sensitive); an empty list or item matches nothing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Patterns and names are worked on in buffers of this many bytes, terminating
// zero included. A pattern item or a name of kPatternBufferSize characters or
// more does not fit and matches nothing; nothing is cut or overrun.
constexpr std::size_t kPatternBufferSize = 1024;

// True when at least one item of `list` matches `name`. Items are cut at every
// ';' and used as they stand (blanks belong to the item); they are tried from
// left to right and the first match ends the test.
bool MatchPatternList(std::string name, std::string list);

// True when `pattern` (one item, pattern first) matches `name`: the name
// begins with the part before the first '*', ends with the part after the last
// '*' and contains every run between two '*' somewhere. These tests are
// independent, so the parts may overlap and the runs may occur in any order:
// ab*ba matches aba, *b*a* matches ab. A pattern without '*' matches only a
// name of its own length. An empty pattern or an empty name gives false.
bool MatchPattern(std::string pattern, std::string name);

// The same two tests on views of the caller's strings, for callers that hold
// the name and the list already: nothing is copied or allocated.
bool MatchPatternListView(std::string_view name, std::string_view list);
bool MatchPatternView(std::string_view pattern, std::string_view name);
