#include "app/run_cleanup.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HotfixKeyName, TakesFromTheFirstKbAndDropsTheLastCharacter) {
  struct Case {
    std::string folder;
    std::string key;
  };
  const Case cases[] = {
      {"$NtUninstallKB123456$", "KB123456"},
      {"$NtUninstallkb123456$", "kb123456"},  // the folder's case is kept
      {"$NtUninstallKb9$", "Kb9"},
      {"$KB123", "KB12"},            // whatever the last character is, it goes
      {"$KB1$", "KB1"},
      {"$KB", ""},                    // neither "K" nor "KB" names a hotfix
      {"$KB$", ""},
      {"$hf_migKb$", ""},
      {"$xKBa$KB2$", "KBa$KB2"},     // the first match wins
      {"$kKB1$", "KB1"},              // a lone k before it does not start a match
      {"$hf_mig$", ""},
      {"$", ""},
      {"", ""},
      {"$K", ""},
      {"$NtUninstallK B1$", ""},
      {"$\xcb\xc2", ""},              // bytes outside A-Z never fold
      {"$Q\xebkb12", "kb1"},
  };
  for (const Case& c : cases) EXPECT_EQ(HotfixKeyName(c.folder), c.key) << c.folder;
}

TEST(HotfixKeyName, RefusesKeyNamesLongerThanTheLimit) {
  const std::string longest = "KB" + std::string(kMaxHotfixKeyName - 2, '7');
  EXPECT_EQ(HotfixKeyName("$" + longest + "$"), longest);
  EXPECT_EQ(HotfixKeyName("$" + longest + "7$"), "");
  EXPECT_EQ(HotfixKeyName("$" + std::string(300, 'x') + "KB1$"), "KB1");
}

}  // namespace
