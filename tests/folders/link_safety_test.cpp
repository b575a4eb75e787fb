// Links planted where the cleaner walks (a standard user can make junctions
// in the temporary folder) are removed as links, never followed or counted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "folder_fixture.h"
#include "folders/reclaimable.h"
#include "folders/windows_places.h"
#include "folders/purge_folder.h"
#include "stale_listing_platform.h"

namespace {

using ::testing::IsEmpty;

constexpr const char* kGuid = "{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}";

class LinkSafetyTest : public FolderTest {
 protected:
  // A folder outside every place the cleaner works on, holding files.
  LinkSafetyTest() {
    fake_.AddFile("C:\\Outside\\system.dll", 1 << 20, FILE_ATTRIBUTE_READONLY);
    fake_.AddFile("C:\\Outside\\sub\\data.bin", 1 << 20);
  }
  // Every entry below the temporary folder, each folder before its contents,
  // links not followed.
  std::string Left(const std::string& folder) const {
    std::string left;
    for (const std::string& name : fake_.List(Temp(folder))) {
      const std::string path = folder.empty() ? name : folder + "\\" + name;
      left += (left.empty() ? "" : " ") + path;
      const DWORD attributes = fake_.Attributes(Temp(path));
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        const std::string inner = Left(path);
        if (!inner.empty()) left += " " + inner;
      }
    }
    return left;
  }
  void ExpectOutsideUntouched() {
    EXPECT_EQ(fake_.Attributes("C:\\Outside\\system.dll"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(fake_.Exists("C:\\Outside\\sub\\data.bin"));
    EXPECT_THAT(ChangesAtOrBelow("C:\\Outside"), IsEmpty());
    EXPECT_THAT(ListingsAtOrBelow("C:\\Outside"), IsEmpty());
  }
};

struct TempLinkCase {
  const char* what;
  std::function<void(FakePlatform&, StaleListingPlatform&)> arrange;
  std::uint64_t counted;
  const char* left;  // what the temporary folder then holds
};

std::string InTemp(const std::string& name) {
  return "C:\\Users\\Admin\\AppData\\Local\\Temp\\" + name;
}

const std::vector<TempLinkCase> kTempLinkCases = {
    {"junction",
     [](FakePlatform& f, StaleListingPlatform&) {
       f.AddLink(InTemp("junction"), "C:\\Outside");
       f.AddFile(InTemp("own.txt"), 1024);
     },
     1024, ""},
    {"listed junction that cannot be asked again",
     [](FakePlatform& f, StaleListingPlatform&) {
       f.AddLink(InTemp("junction"), "C:\\Outside");
       f.FailCall("GetFileAttributesA", ERROR_ACCESS_DENIED, InTemp("junction"));
     },
     0, ""},
    {"file link",
     [](FakePlatform& f, StaleListingPlatform&) {
       f.AddLink(InTemp("file-link"), "C:\\Outside\\system.dll", false);
     },
     0, ""},
    {"read-only file link: it stays, and the walk goes on",
     [](FakePlatform& f, StaleListingPlatform&) {
       f.AddLink(InTemp("a-link"), "C:\\Outside\\system.dll", false);
       f.AddFile(InTemp("b.txt"));
       // The link's own bit, set through the link as Win32 does.
       f.SetFileAttributesA(InTemp("a-link").c_str(), FILE_ATTRIBUTE_READONLY);
     },
     0, "a-link"},
    {"GUID-shaped link at the top, and deeper",
     [](FakePlatform& f, StaleListingPlatform&) {
       f.AddLink(InTemp(kGuid), "C:\\Outside");
       f.AddLink(InTemp("sub\\") + kGuid, "C:\\Outside");
     },
     0, "{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}"},
    {"folder swapped for a junction after the listing",
     [](FakePlatform& f, StaleListingPlatform& p) {
       f.AddLink(InTemp("swapped"), "C:\\Outside");
       p.ShowAs("swapped", FILE_ATTRIBUTE_DIRECTORY);
     },
     0, ""},
    {"read-only file swapped for a file link after the listing",
     [](FakePlatform& f, StaleListingPlatform& p) {
       f.AddLink(InTemp("swapped.txt"), "C:\\Outside\\system.dll", false);
       p.ShowAs("swapped.txt", FILE_ATTRIBUTE_READONLY);
     },
     0, ""},
    {"folder that cannot be asked again",
     [](FakePlatform& f, StaleListingPlatform&) {
       f.AddFile(InTemp("sub\\f"), 4096);
       f.FailCall("GetFileAttributesA", ERROR_ACCESS_DENIED, InTemp("sub"));
     },
     0, "sub sub\\f"},
};

class TempLinkTest : public LinkSafetyTest, public ::testing::WithParamInterface<TempLinkCase> {};

// The temporary folder is sized and purged through a platform whose listings
// may show chosen entries as they were before a swap.
TEST_P(TempLinkTest, LinksAreRemovedNeverFollowedOrCounted) {
  const TempLinkCase& c = GetParam();
  StaleListingPlatform platform(fake_);
  c.arrange(fake_, platform);
  fake_.ClearLog();

  EXPECT_EQ(GetFolderSize(platform, kTempText, true), c.counted);
  PurgeFolder(platform, kTemp, true);

  EXPECT_EQ(Left(""), c.left);
  EXPECT_THAT(TargetsOf(fake_, "SetFileAttributesA"), IsEmpty());
  ExpectOutsideUntouched();
}

INSTANTIATE_TEST_SUITE_P(Cases, TempLinkTest, ::testing::ValuesIn(kTempLinkCases),
                         [](const auto& param) { return CaseName(param.param.what); });

TEST_F(LinkSafetyTest, LinkInAHotfixFolderIsRemovedNotFollowed) {
  fake_.AddLink(std::string("C:\\Windows\\$hf\\") + kGuid, "C:\\Outside");  // no guard there
  fake_.AddFile("C:\\Windows\\$hf\\own", 2048);

  EXPECT_EQ(GetReclaimableKB(fake_), 2u);
  std::vector<FoundFile> hotfix;
  ListHotfixFolders(fake_, hotfix);
  ASSERT_EQ(hotfix.size(), 1u);
  RemoveFolderEntry(fake_, "C:\\Windows\\$hf", hotfix[0].findData.dwFileAttributes);

  EXPECT_FALSE(fake_.Exists("C:\\Windows\\$hf"));
  ExpectOutsideUntouched();
}

}  // namespace
