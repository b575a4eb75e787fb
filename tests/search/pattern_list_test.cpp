#include "search/pattern_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/pattern_model.h"

namespace {

struct MatchCase {
  const char* list;
  const char* name;
  bool matches;
};

std::ostream& operator<<(std::ostream& out, const MatchCase& c) {
  return out << "list \"" << c.list << "\", name \"" << c.name << "\"";
}

class PatternListTable : public testing::TestWithParam<MatchCase> {};

TEST_P(PatternListTable, MatchesAsTheRulesSay) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(MatchPatternList(c.name, c.list), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, PatternListTable,
    testing::Values(
        // The system's own lists.
        MatchCase{"*.tmp", "a.tmp", true}, MatchCase{"*.tmp", ".tmp", true},
        MatchCase{"*.tmp", "a.TMP", false}, MatchCase{"*.tmp", "SETUP.TMP", false},
        MatchCase{"*.tmp", "atmp", false}, MatchCase{"*.tmp", "tmp", false},
        MatchCase{"*.tmp", "a.tmp.bak", false}, MatchCase{"a.a", "a.a", true},
        MatchCase{"a.a", "A.A", false}, MatchCase{"a.a", "a.ab", false},
        MatchCase{"a.a", "xa.a", false}, MatchCase{"a.a", "a", false},
        // Stars, inner runs and '?'.
        MatchCase{"*.*", "a.b", true}, MatchCase{"*.*", "README", false}, MatchCase{"*", "x", true},
        MatchCase{"*", "any name at all", true}, MatchCase{"**", "x", true},
        MatchCase{"?", "x", true}, MatchCase{"?", "?", true}, MatchCase{"?", "xy", false},
        MatchCase{"a?c", "abc", true}, MatchCase{"a?c", "ac", false},
        MatchCase{"a?c", "abcd", false}, MatchCase{"a*", "a", true}, MatchCase{"abc*", "ab", false},
        MatchCase{"*abc", "bc", false}, MatchCase{"a*c", "ab", false},
        MatchCase{"*x*", "abc", false}, MatchCase{"a**c", "ac", true},
        // Where these rules part from ordinary globbing: the parts and runs
        // are tested independently, so they may overlap or come in any order.
        MatchCase{"ab*ba", "aba", true}, MatchCase{"ab*ba", "abba", true},
        MatchCase{"ab*ba", "abxba", true}, MatchCase{"*b*a*", "ab", true},
        MatchCase{"a*?", "a", true}, MatchCase{"*c*a*b*", "abc", true},
        MatchCase{"*a?*", "xab", true},
        MatchCase{"*a?*", "xa", false},  // '?' never stands for the end of the name
        // Items: no trimming, empty items match nothing, first match wins.
        MatchCase{"", "a.tmp", false}, MatchCase{";", "a.tmp", false}, MatchCase{";;", "x", false},
        MatchCase{"*.tmp;", "a.tmp", true}, MatchCase{";*.tmp", "a.tmp", true},
        MatchCase{"*.log;*.tmp", "x.tmp", true}, MatchCase{"*.log;*.tmp", "x.log", true},
        MatchCase{"*.log;*.tmp", "x.txt", false}, MatchCase{"*.log; *.tmp", "x.tmp", false},
        MatchCase{"*.log; *.tmp", " x.tmp", true}, MatchCase{"*.tmp ", "x.tmp", false},
        MatchCase{"a;b;c", "c", true}, MatchCase{"a;b;c", "a;b", false},
        // An empty name never matches.
        MatchCase{"*", "", false}, MatchCase{"", "", false}));

TEST(MatchPattern, TakesThePatternFirstAndTreatsSemicolonAsLiteral) {
  EXPECT_TRUE(MatchPattern("*.tmp", "a.tmp"));
  EXPECT_FALSE(MatchPattern("a.tmp", "*.tmp"));
  EXPECT_TRUE(MatchPattern("a;b", "a;b"));
  EXPECT_FALSE(MatchPattern("a;b", "a"));
  EXPECT_FALSE(MatchPattern("", "a"));
  EXPECT_FALSE(MatchPattern("*", ""));
}

// Working buffers hold 1023 characters; an item or a name that does not fit
// matches nothing, while the list as a whole may be of any length.
TEST(MatchPatternLimits, ItemsAndNamesBeyondTheBufferMatchNothing) {
  const std::size_t fits = kPatternBufferSize - 1;
  const std::string longestName(fits, 'a');
  const std::string tooLongName(fits + 1, 'a');
  EXPECT_TRUE(MatchPatternList(longestName, "*"));
  EXPECT_TRUE(MatchPatternList(longestName, "a*a"));
  EXPECT_FALSE(MatchPatternList(tooLongName, "*"));
  EXPECT_FALSE(MatchPatternList(std::string(100000, 'a'), "*"));

  const std::string longestItem = "*" + std::string(fits - 1, 'a');
  EXPECT_TRUE(MatchPatternList(std::string(fits - 1, 'a'), longestItem));
  EXPECT_FALSE(MatchPatternList(std::string(fits - 1, 'a'), longestItem + "*"));
  EXPECT_TRUE(MatchPattern(std::string(fits - 1, '*') + "a", "a"));
  EXPECT_FALSE(MatchPattern(std::string(fits, '*') + "a", "a"));

  // The over-long item is passed over; the items around it still count.
  const std::string list = "x;" + std::string(5000, '*') + ";*.tmp";
  EXPECT_TRUE(MatchPatternList("a.tmp", list));
  EXPECT_FALSE(MatchPatternList("a.log", list));
}

// ---- Against an independent model of the rules --------------------------------

using pattern_model::ModelList;

// Every string over `alphabet` of length 0 to maxLength.
std::vector<std::string> AllStrings(const std::string& alphabet, std::size_t maxLength) {
  std::vector<std::string> all{""};
  for (std::size_t start = 0, length = 1; length <= maxLength; ++length) {
    const std::size_t end = all.size();
    for (std::size_t i = start; i < end; ++i) {
      for (char c : alphabet) all.push_back(all[i] + c);
    }
    start = end;
  }
  return all;
}

TEST(MatchPatternListModel, AgreesWithTheModelOnEveryShortListAndName) {
  // Names hold '*', '?' and ';' too: in a name they are plain bytes.
  const std::vector<std::string> lists = AllStrings("ab*?; ", 5);
  const std::vector<std::string> names = AllStrings("abA?* ;", 3);
  std::size_t matches = 0;
  std::size_t mismatches = 0;
  for (const std::string& list : lists) {
    const ModelList model(list);
    for (const std::string& name : names) {
      const bool expected = model.Matches(name);
      matches += expected ? 1 : 0;
      if (MatchPatternList(name, list) != expected && ++mismatches <= 10) {
        ADD_FAILURE() << "list \"" << list << "\", name \"" << name << "\": the model says "
                      << expected;
      }
      if (list.find(';') == std::string::npos && MatchPattern(list, name) != expected &&
          ++mismatches <= 10) {
        ADD_FAILURE() << "pattern \"" << list << "\", name \"" << name << "\": the model says "
                      << expected;
      }
    }
  }
  EXPECT_EQ(mismatches, 0u);
  // Both outcomes are well represented, so agreement means something.
  EXPECT_GT(matches, lists.size() * names.size() / 50);
  EXPECT_LT(matches, lists.size() * names.size() / 2);
}

TEST(MatchPatternListModel, AgreesWithTheModelOnLongerGeneratedInput) {
  std::mt19937 random(20261206);
  const std::string listBytes = "aab*?; ";
  const std::string nameBytes = "aabb? ";
  auto make = [&random](const std::string& bytes, std::size_t maxLength) {
    std::string text(std::uniform_int_distribution<std::size_t>(1, maxLength)(random), ' ');
    std::uniform_int_distribution<std::size_t> pick(0, bytes.size() - 1);
    for (char& c : text) c = bytes[pick(random)];
    return text;
  };
  std::size_t matches = 0;
  std::size_t mismatches = 0;
  const int kRounds = 200000;
  for (int round = 0; round < kRounds; ++round) {
    const std::string list = make(listBytes, 14);
    const std::string name = make(nameBytes, 10);
    const bool expected = ModelList(list).Matches(name);
    matches += expected ? 1 : 0;
    if (MatchPatternList(name, list) != expected && ++mismatches <= 10) {
      ADD_FAILURE() << "list \"" << list << "\", name \"" << name << "\": the model says "
                    << expected;
    }
  }
  EXPECT_EQ(mismatches, 0u);
  EXPECT_GT(matches, static_cast<std::size_t>(kRounds / 50));
  EXPECT_LT(matches, static_cast<std::size_t>(kRounds / 2));
}

// ---- No allocation beyond the by-value arguments ---------------------------

std::size_t g_allocations = 0;

}  // namespace

// Counting replacements of the global allocation functions. GCC, seeing them
// inlined into the library's own new/delete pairs, takes malloc/free for a
// mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

TEST(MatchPatternListCost, AllocatesNothingWhenItsArgumentsAreMovedIn) {
  std::string name = "a rather long file name that is not a short string.tmp";
  std::string list = "*.log;*.bak;*a?r*long*name*;*.tmp";
  const std::size_t before = g_allocations;
  const bool matched = MatchPatternList(std::move(name), std::move(list));
  const std::size_t during = g_allocations - before;
  EXPECT_TRUE(matched);
  EXPECT_EQ(during, 0u);

  std::string pattern = "*some*pattern*with*many*runs*in*it*";
  std::string other = "some pattern with many runs in it, long enough to be on the heap";
  const std::size_t before2 = g_allocations;
  const bool matched2 = MatchPattern(std::move(pattern), std::move(other));
  EXPECT_TRUE(matched2);
  EXPECT_EQ(g_allocations - before2, 0u);
}

}  // namespace
