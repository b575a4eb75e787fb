// The wildcard pattern lists: their edge cases by name, the working buffers'
// limits, and every short list and name against the plainly written model.
#include "search/pattern_list.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/pattern_model.h"

namespace {

// The edge cases of the rules: a pattern or list, the names it matches and
// the names it does not ('|' between names).
TEST(MatchPatternList, EdgeCases) {
  const char *const cases[][3] = {
      {"*.tmp", "a.tmp|.tmp", "a.TMP|atmp|tmp|a.tmp.bak"},
      {"*.*", "a.b", "README"},
      {"*", "any name", ""},
      {"a.a", "a.a", "A.A|a.ab|xa.a|a"},
      {"?", "x", "xy"},
      {"a?c", "abc", "ac|abcd"},
      {"a*", "a", ""},
      {"abc*", "", "ab"},
      // The parts and runs are tested on their own: they may overlap or come in any order.
      {"ab*ba", "aba|abba|abxba", ""},
      {"*b*a*", "ab", ""},
      {"*a?*", "xab", "xa"},
      // Items stand as they are written; an empty one matches nothing.
      {"", "", "a.tmp"},
      {"*.tmp;", "a.tmp", ""},
      {";*.tmp", "a.tmp", ""},
      {"*.log;*.tmp", "x.tmp|x.log", "x.txt"},
      {"*.log; *.tmp", "", "x.tmp"},
  };
  for (const auto &c : cases) {
    for (int matches = 1; matches <= 2; ++matches) {
      std::istringstream names(c[matches]);
      for (std::string name; std::getline(names, name, '|');) {
        EXPECT_EQ(MatchPatternList(name, c[0]), matches == 1) << c[0] << " / " << name;
      }
    }
  }
}

TEST(MatchPatternList, ItemsAndNamesBeyondTheBuffersMatchNothing) {
  const std::size_t fits = kPatternBufferSize - 1;
  EXPECT_TRUE(MatchPatternList(std::string(fits, 'a'), "a*a"));
  EXPECT_FALSE(MatchPatternList(std::string(fits + 1, 'a'), "*"));
  EXPECT_FALSE(MatchPatternList("", "*"));
  EXPECT_TRUE(MatchPattern(std::string(fits - 1, '*') + "a", "a"));
  EXPECT_FALSE(MatchPattern(std::string(fits, '*') + "a", "a"));
  // The item that does not fit is passed over; the list goes on.
  EXPECT_TRUE(MatchPatternList("a.tmp", "x;" + std::string(5000, '*') + ";*.tmp"));
}

// Every string of `alphabet`'s bytes up to `length` bytes long.
std::vector<std::string> AllStrings(const std::string &alphabet, std::size_t length) {
  std::vector<std::string> all{""};
  for (std::size_t i = 0; all[i].size() < length; ++i) {
    for (char c : alphabet) all.push_back(all[i] + c);
  }
  return all;
}

TEST(MatchPatternList, AgreesWithTheModelOnEveryShortListAndName) {
  // In a name, '*', '?' and ';' are plain bytes.
  const std::vector<std::string> names = AllStrings("abA?* ;", 3);
  for (const std::string &list : AllStrings("ab*?; ", 5)) {
    const pattern_model::ModelList model(list);
    for (const std::string &name : names) {
      const bool expected = model.Matches(name);
      ASSERT_EQ(MatchPatternList(name, list), expected) << "list " << list << ", name " << name;
      if (list.find(';') == std::string::npos) {
        ASSERT_EQ(MatchPattern(list, name), expected) << "pattern " << list << ", name " << name;
      }
    }
  }
}

}  // namespace
