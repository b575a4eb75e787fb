#include "folders/reclaimable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "folder_fixture.h"

namespace {

using ::testing::IsEmpty;

constexpr const char* kGuid = "{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}";

class FolderSizeTest : public FolderTest {
 protected:
  void TearDown() override {
    EXPECT_THAT(fake_.Changes(), IsEmpty()) << "a size is only read";
    FolderTest::TearDown();
  }
};

TEST_F(FolderSizeTest, SumsEveryFileOfTheTreeInFull) {
  fake_.AddFile("C:\\T\\a", 1);
  fake_.AddFile("C:\\T\\hidden", 10, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  fake_.AddFile("C:\\T\\x\\y\\z\\deep", 100);
  fake_.AddFile("C:\\T\\big", 5ull << 30);  // both halves count
  EXPECT_EQ(GetFolderSize(fake_, "C:\\T", false), 111u + (5ull << 30));
}

TEST_F(FolderSizeTest, GuardLeavesOutGuidShapedFoldersAtTheTopOnly) {
  fake_.AddFile(std::string("C:\\T\\") + kGuid + "\\top", 1000);
  fake_.AddFile(std::string("C:\\T\\sub\\") + kGuid + "\\deeper", 20);
  fake_.AddFile(std::string("C:\\T\\") + kGuid + "-file", 3);  // a file always counts
  EXPECT_EQ(GetFolderSize(fake_, "C:\\T", true), 23u);
  EXPECT_THAT(ListingsAtOrBelow(std::string("C:\\T\\") + kGuid), IsEmpty());
  EXPECT_EQ(GetFolderSize(fake_, "C:\\T", false), 1023u);
}

TEST_F(FolderSizeTest, StopsAtTheLargestCountInsteadOfWrapping) {
  fake_.AddFile("C:\\T\\a", UINT64_MAX - 5);
  fake_.AddFile("C:\\T\\sub\\b", 10);
  EXPECT_EQ(GetFolderSize(fake_, "C:\\T", false), UINT64_MAX);
}

TEST_F(FolderSizeTest, MissingFolderAndEmptyTextCountNothing) {
  EXPECT_EQ(GetFolderSize(fake_, "C:\\Missing", false), 0u);
  fake_.AddFile("C:\\Current\\a", 7);
  fake_.SetCurrentFolder("C:\\Current");
  fake_.ClearLog();
  EXPECT_EQ(GetFolderSize(fake_, "", false), 0u);
  EXPECT_THAT(fake_.Calls(), IsEmpty());
}

TEST_F(FolderSizeTest, EntriesWithPathsOfMaxPathOrMoreAreNotCounted) {
  fake_.AddFile("C:\\T\\" + std::string(254, 'f'), 1);                // 259 characters
  fake_.AddFile("C:\\T\\" + std::string(255, 'g'), 10);               // 260
  fake_.AddFile("C:\\T\\" + std::string(250, 'd') + "\\abc", 100);    // 259
  fake_.AddFile("C:\\T\\" + std::string(250, 'd') + "\\abcd", 1000);  // 260
  EXPECT_EQ(GetFolderSize(fake_, "C:\\T", false), 101u);
}

TEST_F(FolderSizeTest, FailedListingStepEndsTheFolder) {
  fake_.AddFile("C:\\T\\a", 1);
  fake_.AddFile("C:\\T\\b", 2);
  fake_.SetListingOrder("C:\\T", {"a", "b", ".", ".."});
  fake_.FailCall("FindNextFileA", ERROR_NOT_READY);
  EXPECT_EQ(GetFolderSize(fake_, "C:\\T", false), 1u);
}

}  // namespace
