// PurgeFolder and GetFolderSize on the real file system, in a scratch tree
// under the temporary folder. No links are made here: some hosts' link
// emulation deletes through a link, which would reach outside the scratch tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "folders/reclaimable.h"
#include "folders/purge_folder.h"
#include "platform/win32_platform.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kGuid = "{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}";

class PurgeFolderWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    const DWORD length = platform_.GetTempPathA(MAX_PATH, temp);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    scratch_ = std::string(temp) + "sweepwell-folders-" + std::to_string(stamp);
    ASSERT_TRUE(fs::create_directories(scratch_));
  }

  void TearDown() override {
    held_.clear();
    std::error_code error;
    if (!fs::exists(scratch_, error)) return;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(scratch_, error)) {
      platform_.SetFileAttributesA(entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(scratch_, error);
  }

  std::string At(const std::string& relative) const { return scratch_ + "\\" + relative; }

  void Write(const std::string& relative, std::size_t bytes) {
    fs::create_directories(fs::path(At(relative)).parent_path());
    std::ofstream out(At(relative), std::ios::binary);
    out << std::string(bytes, 'x');
    ASSERT_TRUE(out.good()) << relative;
  }

  // Opens the file and keeps it open without delete sharing, as another
  // program holding it would.
  void Hold(const std::string& relative) {
    held_.push_back(std::make_unique<std::ifstream>(At(relative), std::ios::binary));
    ASSERT_TRUE(held_.back()->is_open()) << relative;
  }

  std::vector<std::string> Names(const std::string& relative = "") const {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(relative.empty() ? scratch_ : At(relative))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  Win32Platform platform_;
  std::string scratch_;
  std::vector<std::unique_ptr<std::ifstream>> held_;
};

TEST_F(PurgeFolderWin32Test, HeldFileEndsTheWalkAndReadOnlyFilesGo) {
  // Listings come in name order, so b-held.txt comes after a-* and before c-*.
  Write("a-readonly.txt", 10);
  ASSERT_TRUE(platform_.SetFileAttributesA(At("a-readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  Write("a-sub\\deep\\f.txt", 10);
  Write("b-held.txt", 10);
  Write("c-after.txt", 10);
  Hold("b-held.txt");

  PurgeFolder(platform_, scratch_, false);

  EXPECT_THAT(Names(), ElementsAre("b-held.txt", "c-after.txt"));

  held_.clear();
  PurgeFolder(platform_, scratch_, false);
  EXPECT_THAT(Names(), IsEmpty());
  EXPECT_TRUE(fs::exists(scratch_)) << "only an empty folder is removed by its own purge";
  PurgeFolder(platform_, scratch_, false);
  EXPECT_FALSE(fs::exists(scratch_));
}

TEST_F(PurgeFolderWin32Test, HeldReadOnlyFileStaysWithNormalAttributes) {
  Write("held.txt", 10);
  ASSERT_TRUE(platform_.SetFileAttributesA(At("held.txt").c_str(),
                                           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  Hold("held.txt");

  PurgeFolder(platform_, scratch_, false);

  EXPECT_THAT(Names(), ElementsAre("held.txt"));
  // Windows reports the file as FILE_ATTRIBUTE_NORMAL now; some hosts as a
  // plain archived file. Either way nothing of what was set is left.
  const DWORD attributes = platform_.GetFileAttributesA(At("held.txt").c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
}

TEST_F(PurgeFolderWin32Test, GuardSparesGuidFoldersAtTheTopAndSizesAgree) {
  Write(std::string(kGuid) + "\\kept.txt", 1000);
  Write(std::string("sub\\") + kGuid + "\\gone.txt", 20);
  Write("file.txt", 3);

  EXPECT_EQ(GetFolderSize(platform_, scratch_ + "\\", true), 23u);
  EXPECT_EQ(GetFolderSize(platform_, scratch_, false), 1023u);
  PurgeFolder(platform_, scratch_, true);

  EXPECT_THAT(Names(), ElementsAre(kGuid));
  EXPECT_THAT(Names(kGuid), ElementsAre("kept.txt"));
  EXPECT_EQ(GetFolderSize(platform_, scratch_, true), 0u);
}

}  // namespace
