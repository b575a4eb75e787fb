#include "folders/purge_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "folder_fixture.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kGuid = "{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}";

class PurgeFolderTest : public FolderTest {};

TEST_F(PurgeFolderTest, EmptyFolderIsRemovedByTheFirstStep) {
  fake_.AddFolder("C:\\T");
  PurgeFolder(fake_, "C:\\T", true);
  EXPECT_THAT(ChangeLines(fake_), ElementsAre("RemoveDirectoryA C:\\T"));
  EXPECT_FALSE(fake_.Exists("C:\\T"));
  EXPECT_THAT(TargetsOf(fake_, "FindFirstFileA"), IsEmpty());
}

TEST_F(PurgeFolderTest, MissingFolderIsOnlyTriedOnce) {
  PurgeFolder(fake_, "C:\\Missing", true);
  ASSERT_EQ(fake_.Changes().size(), 1u);
  EXPECT_EQ(fake_.Changes()[0].call, "RemoveDirectoryA");
  EXPECT_FALSE(fake_.Changes()[0].succeeded);
  EXPECT_THAT(TargetsOf(fake_, "FindFirstFileA"), IsEmpty());
}

TEST_F(PurgeFolderTest, RefusedRemovalLeavesTheInsideAlone) {
  fake_.AddFile("C:\\T\\a.txt");
  fake_.FailCall("RemoveDirectoryA", ERROR_ACCESS_DENIED, "C:\\T");
  PurgeFolder(fake_, "C:\\T", false);
  EXPECT_THAT(ChangeLines(fake_), ElementsAre("RemoveDirectoryA C:\\T fails 5"));
  EXPECT_TRUE(fake_.Exists("C:\\T\\a.txt"));
  EXPECT_THAT(TargetsOf(fake_, "FindFirstFileA"), IsEmpty());
}

TEST_F(PurgeFolderTest, FolderHeldOpenIsStillEmptied) {
  fake_.AddFile("C:\\T\\a.txt");
  fake_.SetInUse("C:\\T");
  PurgeFolder(fake_, "C:\\T", false);
  EXPECT_THAT(ChangeLines(fake_),
              ElementsAre("RemoveDirectoryA C:\\T fails 32", "DeleteFileA C:\\T\\a.txt"));
  EXPECT_TRUE(fake_.Exists("C:\\T"));
}

TEST_F(PurgeFolderTest, FileInUseEndsTheWalkOfItsFolder) {
  fake_.AddFile("C:\\T\\a.txt");
  fake_.AddFile("C:\\T\\b.txt");
  fake_.AddFile("C:\\T\\sub\\inner.txt");
  fake_.AddFile("C:\\T\\c.txt");
  fake_.SetListingOrder("C:\\T", {"a.txt", "b.txt", "sub", "c.txt"});
  fake_.SetInUse("C:\\T\\b.txt");

  PurgeFolder(fake_, "C:\\T", false);

  EXPECT_THAT(ChangeLines(fake_),
              ElementsAre("RemoveDirectoryA C:\\T fails 145", "DeleteFileA C:\\T\\a.txt",
                          "DeleteFileA C:\\T\\b.txt fails 32"));
  EXPECT_THAT(fake_.List("C:\\T"), ElementsAre("b.txt", "sub", "c.txt"));
  EXPECT_TRUE(fake_.Exists("C:\\T\\sub\\inner.txt"));
}

TEST_F(PurgeFolderTest, FileInUseDeepDownStopsOnlyItsOwnFolder) {
  fake_.AddFile("C:\\T\\sub\\held.txt");
  fake_.AddFile("C:\\T\\sub\\after.txt");
  fake_.AddFile("C:\\T\\z.txt");
  fake_.SetInUse("C:\\T\\sub\\held.txt");

  PurgeFolder(fake_, "C:\\T", false);

  EXPECT_THAT(fake_.List("C:\\T"), ElementsAre("sub"));
  EXPECT_THAT(fake_.List("C:\\T\\sub"), ElementsAre("held.txt", "after.txt"));
  EXPECT_THAT(ChangesAtOrBelow("C:\\T\\sub"),
              ElementsAre("RemoveDirectoryA C:\\T\\sub fails 145",
                          "DeleteFileA C:\\T\\sub\\held.txt fails 32",
                          "RemoveDirectoryA C:\\T\\sub fails 145"));
}

TEST_F(PurgeFolderTest, ReadOnlyFileIsMadeNormalThenDeleted) {
  fake_.AddFile("C:\\T\\r.txt", 10, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  PurgeFolder(fake_, "C:\\T", false);
  EXPECT_THAT(ChangeLines(fake_),
              ElementsAre("RemoveDirectoryA C:\\T fails 145", "SetFileAttributesA C:\\T\\r.txt",
                          "DeleteFileA C:\\T\\r.txt"));
  EXPECT_FALSE(fake_.Exists("C:\\T\\r.txt"));
}

TEST_F(PurgeFolderTest, ReadOnlyFileInUseStaysWithNormalAttributes) {
  fake_.AddFile("C:\\T\\r.txt", 10,
                FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  fake_.AddFile("C:\\T\\later.txt");
  fake_.SetInUse("C:\\T\\r.txt");

  PurgeFolder(fake_, "C:\\T", false);

  EXPECT_EQ(fake_.Attributes("C:\\T\\r.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(fake_.Exists("C:\\T\\later.txt"));
  EXPECT_THAT(ChangeLines(fake_),
              ElementsAre("RemoveDirectoryA C:\\T fails 145", "SetFileAttributesA C:\\T\\r.txt",
                          "DeleteFileA C:\\T\\r.txt fails 32"));
}

TEST_F(PurgeFolderTest, HiddenAndSystemFilesAreDeletedAsTheyAre) {
  fake_.AddFile("C:\\T\\h.txt", 1, FILE_ATTRIBUTE_HIDDEN);
  fake_.AddFile("C:\\T\\s.txt", 1, FILE_ATTRIBUTE_SYSTEM);
  fake_.AddFile("C:\\T\\hs.txt", 1,
                FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  PurgeFolder(fake_, "C:\\T", false);
  EXPECT_THAT(ChangeLines(fake_),
              ElementsAre("RemoveDirectoryA C:\\T fails 145", "DeleteFileA C:\\T\\h.txt",
                          "DeleteFileA C:\\T\\s.txt", "DeleteFileA C:\\T\\hs.txt"));
  EXPECT_THAT(fake_.List("C:\\T"), IsEmpty());
}

TEST_F(PurgeFolderTest, NestedTreeGoesDeepestFirstAndTheTopStays) {
  fake_.AddFile("C:\\T\\f0");
  fake_.AddFile("C:\\T\\a\\f1");
  fake_.AddFile("C:\\T\\a\\b\\f2");
  fake_.AddFile("C:\\T\\a\\b\\c\\f3");

  PurgeFolder(fake_, "C:\\T", true);

  EXPECT_THAT(ChangeLines(fake_),
              ElementsAre("RemoveDirectoryA C:\\T fails 145", "DeleteFileA C:\\T\\f0",
                          "RemoveDirectoryA C:\\T\\a fails 145", "DeleteFileA C:\\T\\a\\f1",
                          "RemoveDirectoryA C:\\T\\a\\b fails 145", "DeleteFileA C:\\T\\a\\b\\f2",
                          "RemoveDirectoryA C:\\T\\a\\b\\c fails 145",
                          "DeleteFileA C:\\T\\a\\b\\c\\f3", "RemoveDirectoryA C:\\T\\a\\b\\c",
                          "RemoveDirectoryA C:\\T\\a\\b", "RemoveDirectoryA C:\\T\\a"));
  EXPECT_TRUE(fake_.Exists("C:\\T"));
  EXPECT_THAT(fake_.List("C:\\T"), IsEmpty());
}

struct GuardCase {
  bool guard;
  bool topGuidFolderStays;
};

class PurgeGuardTest : public FolderTest, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(PurgeGuardTest, SparesGuidShapedFoldersAtTheTopOnly) {
  const std::string top = std::string("C:\\T\\") + kGuid;
  const std::string deeper = std::string("C:\\T\\sub\\") + kGuid;
  fake_.AddFile(top + "\\kept.txt");
  fake_.AddFile(deeper + "\\gone.txt");
  fake_.AddFile(std::string("C:\\T\\") + kGuid + "-file");  // a file: never spared

  PurgeFolder(fake_, "C:\\T", GetParam().guard);

  EXPECT_EQ(fake_.Exists(top + "\\kept.txt"), GetParam().topGuidFolderStays);
  EXPECT_EQ(fake_.Exists(top), GetParam().topGuidFolderStays);
  EXPECT_FALSE(fake_.Exists("C:\\T\\sub"));
  EXPECT_FALSE(fake_.Exists(std::string("C:\\T\\") + kGuid + "-file"));
  if (GetParam().topGuidFolderStays) {
    EXPECT_THAT(ChangesAtOrBelow(top), IsEmpty());
    EXPECT_THAT(ListingsAtOrBelow(top), IsEmpty());
  }
}

INSTANTIATE_TEST_SUITE_P(Guard, PurgeGuardTest,
                         ::testing::Values(GuardCase{true, true}, GuardCase{false, false}));

TEST_F(PurgeFolderTest, EntriesWithPathsOfMaxPathOrMoreAreSkipped) {
  // "C:\T\" is 5 characters: a name of 254 makes a 259-character path, which
  // fits with its zero; 255 does not.
  const std::string fits(254, 'f');
  const std::string tooLong(255, 'g');
  const std::string deepFolder(250, 'd');  // its pattern "\*.*" still fits
  fake_.AddFile("C:\\T\\" + fits);
  fake_.AddFile("C:\\T\\" + tooLong);
  fake_.AddFile("C:\\T\\" + deepFolder + "\\abc");   // 259 characters
  fake_.AddFile("C:\\T\\" + deepFolder + "\\abcd");  // 260 characters

  PurgeFolder(fake_, "C:\\T", false);

  EXPECT_FALSE(fake_.Exists("C:\\T\\" + fits));
  EXPECT_TRUE(fake_.Exists("C:\\T\\" + tooLong));
  EXPECT_FALSE(fake_.Exists("C:\\T\\" + deepFolder + "\\abc"));
  EXPECT_TRUE(fake_.Exists("C:\\T\\" + deepFolder + "\\abcd"));
  for (const FakePlatform::CallRecord& record : fake_.Calls()) {
    EXPECT_LT(record.target.size(), static_cast<std::size_t>(MAX_PATH)) << DescribeCall(record);
  }
}

TEST_F(PurgeFolderTest, FolderWhosePatternDoesNotFitIsNotListed) {
  const std::string folder = "C:\\T\\" + std::string(252, 'p');  // 257 + "\*.*" = 261
  fake_.AddFile(folder + "\\a");
  PurgeFolder(fake_, folder, false);
  EXPECT_TRUE(fake_.Exists(folder + "\\a"));
  EXPECT_THAT(TargetsOf(fake_, "FindFirstFileA"), IsEmpty());
}

TEST_F(PurgeFolderTest, FailedListingStepEndsTheFolder) {
  fake_.AddFile("C:\\T\\a.txt");
  fake_.AddFile("C:\\T\\b.txt");
  fake_.SetListingOrder("C:\\T", {"a.txt", "b.txt", ".", ".."});
  fake_.FailCall("FindNextFileA", ERROR_ACCESS_DENIED);

  PurgeFolder(fake_, "C:\\T", false);

  EXPECT_THAT(ChangeLines(fake_),
              ElementsAre("RemoveDirectoryA C:\\T fails 145", "DeleteFileA C:\\T\\a.txt"));
  EXPECT_TRUE(fake_.Exists("C:\\T\\b.txt"));
}

TEST_F(PurgeFolderTest, EmptyFolderTextTouchesNothing) {
  fake_.AddFile("C:\\Current\\a.txt");
  fake_.SetCurrentFolder("C:\\Current");
  PurgeFolder(fake_, "", false);
  EXPECT_THAT(fake_.Calls(), IsEmpty());
  EXPECT_TRUE(fake_.Exists("C:\\Current\\a.txt"));
}

}  // namespace
