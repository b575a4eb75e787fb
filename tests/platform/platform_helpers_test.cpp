// The seam's own helpers: the owners of handles and keys, and the reading of a
// listed entry's name, on the in-memory machine.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "platform/find_data.h"
#include "platform/scoped_handle.h"
#include "support/fake_platform.h"

namespace {

TEST(PlatformHelpersTest, OwnersCloseWhatTheyHoldOnceAndOnlyThat) {
  FakePlatform fake;
  ScopedRegKey created = CreateRegKey(fake, HKEY_LOCAL_MACHINE, "SOFTWARE\\New");
  ASSERT_TRUE(created);
  EXPECT_TRUE(fake.RegKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\New"));
  ScopedRegKey other = OpenRegKey(fake, HKEY_LOCAL_MACHINE, "SOFTWARE");
  ASSERT_EQ(fake.OpenRegKeys(), 2u);
  other = std::move(created);  // the key it held is closed, the moved one kept
  EXPECT_EQ(fake.OpenRegKeys(), 1u);
  ScopedRegKey& same = other;
  other = std::move(same);
  EXPECT_TRUE(other);
  other.reset();
  EXPECT_EQ(fake.OpenRegKeys(), 0u);

  fake.FailCall("RegCreateKeyA", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CreateRegKey(fake, HKEY_LOCAL_MACHINE, "SOFTWARE\\Refused"));
}

TEST(PlatformHelpersTest, EntryNamesStopAtTheZeroOrTheEndOfTheField) {
  WIN32_FIND_DATAA entry{};
  std::strcpy(entry.cFileName, "name.tmp");
  EXPECT_EQ(EntryName(entry), "name.tmp");
  std::memset(entry.cFileName, 'a', sizeof(entry.cFileName));  // no zero at all
  EXPECT_EQ(EntryName(entry).size(), sizeof(entry.cFileName));
  for (const char* name : {".", ".."}) EXPECT_TRUE(IsSelfOrParent(name)) << name;
  for (const char* name : {"", "...", ".a", "a."}) EXPECT_FALSE(IsSelfOrParent(name)) << name;
}

}  // namespace
