// The steps of one pattern test, shared by the matcher, the file finder and
// the tests. They work on views of the caller's strings, so a test copies and
// allocates nothing.
#pragma once

#include <cstddef>
#include <string_view>

// The whole test of one pattern list against one name (see MatchPatternList),
// for callers that hold the name and the list already and need no copies.
bool MatchPatternListView(std::string_view name, std::string_view list);

// The whole test of one pattern item against one name (see MatchPattern).
bool MatchPatternView(std::string_view pattern, std::string_view name);

// Anchored leading part; for a pattern that does not begin with '*'. Walks the
// name from its start while the pattern has no '*'. When the walk meets a '*'
// inside the name, `pattern` is shortened to begin at that '*'; when the name
// runs out first, `pattern` is left whole so that its leading part is looked
// for again as a run. False on a mismatch, or when a pattern without '*' is
// shorter than the name.
bool MatchPrefix(std::string_view& pattern, std::string_view name);

// Anchored trailing part; for a pattern that does not end with '*'. Walks the
// pattern and the name backwards together down to the last '*', then cuts that
// '*' and what follows it off `pattern` (nothing remains when the pattern had
// no '*'). False on a mismatch, or when the name is shorter than the trailing
// part.
bool MatchSuffix(std::string_view& pattern, std::string_view name);

// True when `run` (no '*') occurs somewhere inside the name.
bool ContainsRun(std::string_view run, std::string_view name);

// True when every byte of `run` equals the name's byte at the same distance
// from `start`, or is '?'. The caller keeps start + run.size() within the name.
bool RunMatchesAt(std::string_view run, std::string_view name, std::size_t start);
