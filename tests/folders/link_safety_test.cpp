// Links planted where the cleaner walks (a standard user can make junctions
// in the temporary folder) are removed as links, never followed or counted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "folder_fixture.h"
#include "folders/folder_size.h"
#include "folders/hotfix_folders.h"
#include "folders/purge_folder.h"
#include "folders/reclaimable.h"
#include "stale_listing_platform.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kGuid = "{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}";

class LinkSafetyTest : public FolderTest {
 protected:
  // A folder outside every place the cleaner works on, holding files.
  void AddOutside() {
    fake_.AddFile("C:\\Outside\\system.dll", 1 << 20, FILE_ATTRIBUTE_READONLY);
    fake_.AddFile("C:\\Outside\\sub\\data.bin", 1 << 20);
  }
  void ExpectOutsideUntouched() {
    EXPECT_TRUE(fake_.Exists("C:\\Outside\\system.dll"));
    EXPECT_EQ(fake_.Attributes("C:\\Outside\\system.dll"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(fake_.Exists("C:\\Outside\\sub\\data.bin"));
    EXPECT_THAT(ChangesAtOrBelow("C:\\Outside"), IsEmpty());
    EXPECT_THAT(ListingsAtOrBelow("C:\\Outside"), IsEmpty());
  }
};

TEST_F(LinkSafetyTest, JunctionInTheTemporaryFolderIsRemovedNotFollowed) {
  AddOutside();
  fake_.AddLink(Temp("junction"), "C:\\Outside");
  fake_.AddFile(Temp("own.txt"), 1024);

  EXPECT_EQ(GetReclaimableKB(fake_), 1u);
  EXPECT_THAT(ListingsAtOrBelow(Temp("junction")), IsEmpty());
  PurgeFolder(fake_, kTemp, true);

  EXPECT_FALSE(fake_.Exists(Temp("junction")));
  EXPECT_THAT(ChangesAtOrBelow(Temp("junction")),
              ElementsAre("RemoveDirectoryA " + Temp("junction")));
  EXPECT_THAT(fake_.List(kTemp), IsEmpty());
  ExpectOutsideUntouched();
}

TEST_F(LinkSafetyTest, ListedJunctionGoesEvenWhenItCannotBeAskedAgain) {
  AddOutside();
  fake_.AddLink(Temp("junction"), "C:\\Outside");
  fake_.FailCall("GetFileAttributesA", ERROR_ACCESS_DENIED, Temp("junction"));

  PurgeFolder(fake_, kTemp, true);

  EXPECT_FALSE(fake_.Exists(Temp("junction")));
  ExpectOutsideUntouched();
}

TEST_F(LinkSafetyTest, FileLinkIsDeletedAsALinkWithoutTouchingItsTarget) {
  AddOutside();
  fake_.AddLink(Temp("file-link"), "C:\\Outside\\system.dll", false);
  EXPECT_EQ(GetFolderSize(fake_, kTempText, true), 0u);

  PurgeFolder(fake_, kTemp, true);

  EXPECT_FALSE(fake_.Exists(Temp("file-link")));
  EXPECT_THAT(TargetsOf(fake_, "SetFileAttributesA"), IsEmpty());
  ExpectOutsideUntouched();
}

TEST_F(LinkSafetyTest, ReadOnlyFileLinkIsNeverMadeNormal) {
  AddOutside();
  fake_.AddLink(Temp("a-link"), "C:\\Outside\\system.dll", false);
  fake_.AddFile(Temp("b.txt"));
  // The link's own read-only bit, set through the link as Win32 does.
  ASSERT_TRUE(fake_.SetFileAttributesA(Temp("a-link").c_str(), FILE_ATTRIBUTE_READONLY));
  fake_.ClearLog();

  PurgeFolder(fake_, kTemp, true);

  EXPECT_TRUE(fake_.Exists(Temp("a-link")));
  EXPECT_THAT(TargetsOf(fake_, "SetFileAttributesA"), IsEmpty());
  // A link that stays does not stop the walk, as an undeletable file would.
  EXPECT_FALSE(fake_.Exists(Temp("b.txt")));
  ExpectOutsideUntouched();
}

TEST_F(LinkSafetyTest, GuidShapedLinkAtTheTopIsLeftAloneAndDeeperIsRemoved) {
  AddOutside();
  fake_.AddLink(Temp(kGuid), "C:\\Outside");
  fake_.AddLink(Temp("sub\\") + kGuid, "C:\\Outside");

  EXPECT_EQ(GetReclaimableKB(fake_), 0u);
  PurgeFolder(fake_, kTemp, true);

  EXPECT_TRUE(fake_.Exists(Temp(kGuid)));
  EXPECT_FALSE(fake_.Exists(Temp("sub")));
  EXPECT_THAT(ChangesAtOrBelow(Temp(kGuid)), IsEmpty());
  ExpectOutsideUntouched();
}

TEST_F(LinkSafetyTest, LinkWithoutTheGuardIsRemovedNotFollowed) {
  AddOutside();
  fake_.AddLink(std::string("C:\\Windows\\$hf\\") + kGuid, "C:\\Outside");
  fake_.AddFile("C:\\Windows\\$hf\\own", 2048);

  EXPECT_EQ(GetReclaimableKB(fake_), 2u);
  std::vector<FoundFile> hotfix;
  ListHotfixFolders(fake_, hotfix);
  ASSERT_EQ(hotfix.size(), 1u);
  RemoveFolderEntry(fake_, "C:\\Windows\\$hf", hotfix[0].findData.dwFileAttributes);

  EXPECT_FALSE(fake_.Exists("C:\\Windows\\$hf"));
  ExpectOutsideUntouched();
}

TEST_F(LinkSafetyTest, HotfixEntryThatIsALinkIsRemovedAsOne) {
  AddOutside();
  fake_.AddLink("C:\\Windows\\$NtUninstallKB1$", "C:\\Outside");

  EXPECT_EQ(GetReclaimableKB(fake_), 0u);
  std::vector<FoundFile> hotfix;
  ListHotfixFolders(fake_, hotfix);
  ASSERT_EQ(hotfix.size(), 1u);
  fake_.ClearLog();
  RemoveFolderEntry(fake_, "C:\\Windows\\$NtUninstallKB1$", hotfix[0].findData.dwFileAttributes);

  EXPECT_THAT(ChangeLines(fake_), ElementsAre("RemoveDirectoryA C:\\Windows\\$NtUninstallKB1$"));
  EXPECT_FALSE(fake_.Exists("C:\\Windows\\$NtUninstallKB1$"));
  ExpectOutsideUntouched();
}

TEST_F(LinkSafetyTest, FolderSwappedForALinkAfterTheListingIsNotEntered) {
  AddOutside();
  fake_.AddLink(Temp("swapped"), "C:\\Outside");
  StaleListingPlatform platform(fake_);
  platform.ShowAs("swapped", FILE_ATTRIBUTE_DIRECTORY);

  EXPECT_EQ(GetFolderSize(platform, kTempText, true), 0u);
  PurgeFolder(platform, kTemp, true);

  EXPECT_THAT(TargetsOf(fake_, "GetFileAttributesA"), Contains(Temp("swapped")));
  EXPECT_FALSE(fake_.Exists(Temp("swapped")));
  ExpectOutsideUntouched();
}

TEST_F(LinkSafetyTest, ReadOnlyFileSwappedForALinkKeepsItsTargetsAttributes) {
  AddOutside();
  fake_.AddLink(Temp("swapped.txt"), "C:\\Outside\\system.dll", false);
  StaleListingPlatform platform(fake_);
  platform.ShowAs("swapped.txt", FILE_ATTRIBUTE_READONLY);

  PurgeFolder(platform, kTemp, true);

  EXPECT_THAT(TargetsOf(fake_, "SetFileAttributesA"), IsEmpty());
  EXPECT_FALSE(fake_.Exists(Temp("swapped.txt")));
  ExpectOutsideUntouched();
}

TEST_F(LinkSafetyTest, FolderThatCannotBeAskedAgainIsLeftAsItIs) {
  fake_.AddFile(Temp("sub\\f"), 4096);
  fake_.FailCall("GetFileAttributesA", ERROR_ACCESS_DENIED, Temp("sub"));

  EXPECT_EQ(GetReclaimableKB(fake_), 0u);
  PurgeFolder(fake_, kTemp, true);

  EXPECT_TRUE(fake_.Exists(Temp("sub\\f")));
  EXPECT_THAT(ChangesAtOrBelow(Temp("sub")), IsEmpty());
}

}  // namespace
