#include "folders/purge_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "folder_fixture.h"

namespace {

using ::testing::IsEmpty;
using Lines = std::vector<std::string>;

constexpr const char* kGuid = "{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}";
const std::string kGuidFolder = std::string("C:\\T\\") + kGuid;

struct PurgeCase {
  const char* what;
  void (*arrange)(FakePlatform&);
  bool guard;
  Lines changes;   // every changing call, in order
  Lines listings;  // every listing opened
};

const char kNotEmpty[] = "RemoveDirectoryA C:\\T fails 145";

const PurgeCase kPurgeCases[] = {
    {"empty folder is removed by the first step",
     [](FakePlatform& f) { f.AddFolder("C:\\T"); },
     true,
     {"RemoveDirectoryA C:\\T"},
     {}},
    {"missing folder is only tried once",
     [](FakePlatform&) {},
     true,
     {"RemoveDirectoryA C:\\T fails 2"},
     {}},
    {"refused removal leaves the inside alone",
     [](FakePlatform& f) {
       f.AddFile("C:\\T\\a.txt");
       f.FailCall("RemoveDirectoryA", ERROR_ACCESS_DENIED, "C:\\T");
     },
     false,
     {"RemoveDirectoryA C:\\T fails 5"},
     {}},
    {"folder held open is still emptied",
     [](FakePlatform& f) {
       f.AddFile("C:\\T\\a.txt");
       f.SetInUse("C:\\T");
     },
     false,
     {"RemoveDirectoryA C:\\T fails 32", "DeleteFileA C:\\T\\a.txt"},
     {"C:\\T\\*.*"}},
    {"file in use ends the walk: later entries and subfolders stay",
     [](FakePlatform& f) {
       f.AddFile("C:\\T\\a.txt");
       f.AddFile("C:\\T\\b.txt");
       f.AddFile("C:\\T\\sub\\inner.txt");
       f.AddFile("C:\\T\\c.txt");
       f.SetInUse("C:\\T\\b.txt");
     },
     false,
     {kNotEmpty, "DeleteFileA C:\\T\\a.txt", "DeleteFileA C:\\T\\b.txt fails 32"},
     {"C:\\T\\*.*"}},
    {"file in use deep down stops only its own folder",
     [](FakePlatform& f) {
       f.AddFile("C:\\T\\sub\\held.txt");
       f.AddFile("C:\\T\\sub\\after.txt");
       f.AddFile("C:\\T\\z.txt");
       f.SetInUse("C:\\T\\sub\\held.txt");
     },
     false,
     {kNotEmpty, "RemoveDirectoryA C:\\T\\sub fails 145",
      "DeleteFileA C:\\T\\sub\\held.txt fails 32", "RemoveDirectoryA C:\\T\\sub fails 145",
      "DeleteFileA C:\\T\\z.txt"},
     {"C:\\T\\*.*", "C:\\T\\sub\\*.*"}},
    {"read-only file is made normal, then deleted",
     [](FakePlatform& f) {
       f.AddFile("C:\\T\\r.txt", 1, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
     },
     false,
     {kNotEmpty, "SetFileAttributesA C:\\T\\r.txt", "DeleteFileA C:\\T\\r.txt"},
     {"C:\\T\\*.*"}},
    {"hidden and system files are deleted as they are",
     [](FakePlatform& f) {
       f.AddFile("C:\\T\\h.txt", 1, FILE_ATTRIBUTE_HIDDEN);
       f.AddFile("C:\\T\\s.txt", 1, FILE_ATTRIBUTE_SYSTEM);
       f.AddFile("C:\\T\\hs.txt", 1, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
     },
     false,
     {kNotEmpty, "DeleteFileA C:\\T\\h.txt", "DeleteFileA C:\\T\\s.txt",
      "DeleteFileA C:\\T\\hs.txt"},
     {"C:\\T\\*.*"}},
    {"nested tree goes deepest first and the top stays",
     [](FakePlatform& f) {
       f.AddFile("C:\\T\\f0");
       f.AddFile("C:\\T\\a\\f1");
       f.AddFile("C:\\T\\a\\b\\f2");
       f.AddFile("C:\\T\\a\\b\\c\\f3");
     },
     true,
     {kNotEmpty, "DeleteFileA C:\\T\\f0", "RemoveDirectoryA C:\\T\\a fails 145",
      "DeleteFileA C:\\T\\a\\f1", "RemoveDirectoryA C:\\T\\a\\b fails 145",
      "DeleteFileA C:\\T\\a\\b\\f2", "RemoveDirectoryA C:\\T\\a\\b\\c fails 145",
      "DeleteFileA C:\\T\\a\\b\\c\\f3", "RemoveDirectoryA C:\\T\\a\\b\\c",
      "RemoveDirectoryA C:\\T\\a\\b", "RemoveDirectoryA C:\\T\\a"},
     {"C:\\T\\*.*", "C:\\T\\a\\*.*", "C:\\T\\a\\b\\*.*", "C:\\T\\a\\b\\c\\*.*"}},
    {"failed listing step ends the folder",
     [](FakePlatform& f) {
       f.AddFile("C:\\T\\a.txt");
       f.AddFile("C:\\T\\b.txt");
       f.SetListingOrder("C:\\T", {"a.txt", "b.txt", ".", ".."});
       f.FailCall("FindNextFileA", ERROR_ACCESS_DENIED);
     },
     false,
     {kNotEmpty, "DeleteFileA C:\\T\\a.txt"},
     {"C:\\T\\*.*"}}};

TEST(PurgeFolder, MakesExactlyTheseChanges) {
  for (const PurgeCase& c : kPurgeCases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    c.arrange(fake);
    fake.ClearLog();
    PurgeFolder(fake, "C:\\T", c.guard);
    EXPECT_EQ(ChangeLines(fake), c.changes);
    EXPECT_EQ(TargetsOf(fake, "FindFirstFileA"), c.listings);
    EXPECT_EQ(fake.OpenFindHandles(), 0u);
  }
}

class PurgeTest : public FolderTest {};

TEST_F(PurgeTest, ReadOnlyFileInUseStaysWithNormalAttributes) {
  fake_.AddFile("C:\\T\\r.txt", 1,
                FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  fake_.AddFile("C:\\T\\later.txt");
  fake_.SetInUse("C:\\T\\r.txt");
  PurgeFolder(fake_, "C:\\T", false);
  EXPECT_EQ(fake_.Attributes("C:\\T\\r.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(fake_.List("C:\\T"), (Lines{"r.txt", "later.txt"}));
}

// With the guard on, a GUID-shaped folder directly inside is left whole and
// never listed; deeper ones, and files of such names, are purged.
TEST_F(PurgeTest, GuardSparesGuidShapedFoldersAtTheTopOnly) {
  for (bool guard : {false, true}) {
    SCOPED_TRACE(guard);
    fake_.AddFile(kGuidFolder + "\\kept.txt");
    fake_.AddFile(std::string("C:\\T\\sub\\") + kGuid + "\\gone.txt");
    fake_.AddFile(kGuidFolder + "-file");
    fake_.ClearLog();

    PurgeFolder(fake_, "C:\\T", guard);

    EXPECT_EQ(fake_.List("C:\\T"), guard ? Lines{kGuid} : Lines{});
    EXPECT_EQ(fake_.Exists(kGuidFolder + "\\kept.txt"), guard);
    if (guard) {
      EXPECT_THAT(ChangesAtOrBelow(kGuidFolder), IsEmpty());
      EXPECT_THAT(ListingsAtOrBelow(kGuidFolder), IsEmpty());
    }
  }
}

TEST_F(PurgeTest, PathsOfMaxPathOrMoreAreNeverNamed) {
  // "C:\T\" is 5 characters: a name of 254 makes a 259-character path, which
  // fits with its zero; 255 does not.
  const std::string fits = "C:\\T\\" + std::string(254, 'f');
  const std::string tooLong = "C:\\T\\" + std::string(255, 'g');
  const std::string deep = "C:\\T\\" + std::string(250, 'd');  // its pattern "\*.*" still fits
  fake_.AddFile(fits);
  fake_.AddFile(tooLong);
  fake_.AddFile(deep + "\\abc");                                   // 259 characters
  fake_.AddFile(deep + "\\abcd");                                  // 260 characters
  const std::string unlisted = "C:\\U\\" + std::string(252, 'p');  // 257 + "\*.*" = 261
  fake_.AddFile(unlisted + "\\a");

  PurgeFolder(fake_, "C:\\T", false);
  PurgeFolder(fake_, unlisted, false);

  EXPECT_EQ(fake_.List("C:\\T"), (Lines{std::string(255, 'g'), std::string(250, 'd')}));
  EXPECT_EQ(fake_.List(deep), Lines{"abcd"});
  EXPECT_TRUE(fake_.Exists(unlisted + "\\a"));
  for (const FakePlatform::CallRecord& record : fake_.Calls()) {
    EXPECT_LT(record.target.size(), static_cast<std::size_t>(MAX_PATH)) << DescribeCall(record);
  }
}

TEST_F(PurgeTest, EmptyFolderTextTouchesNothing) {
  fake_.AddFile("C:\\Current\\a.txt");
  fake_.SetCurrentFolder("C:\\Current");
  PurgeFolder(fake_, "", false);
  EXPECT_THAT(fake_.Calls(), IsEmpty());
}

}  // namespace
