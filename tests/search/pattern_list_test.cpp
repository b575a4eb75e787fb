// The wildcard pattern lists: the working buffers' limits, and every short
// list and name against the plainly written model (which the fuzz target also
// holds it to on any bytes).
#include "search/pattern_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/pattern_model.h"

namespace {

TEST(MatchPatternList, ItemsAndNamesBeyondTheBuffersMatchNothing) {
  const std::size_t fits = kPatternBufferSize - 1;
  EXPECT_TRUE(MatchPatternList(std::string(fits, 'a'), "a*a"));
  EXPECT_FALSE(MatchPatternList(std::string(fits + 1, 'a'), "*"));
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
  // In a name, '*', '?' and ';' are plain bytes; letters keep their case.
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
