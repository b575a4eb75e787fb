#include "folders/windows_places.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "folder_fixture.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> Names(const std::vector<FoundFile>& list) {
  std::vector<std::string> names;
  for (const FoundFile& found : list) names.push_back(found.findData.cFileName);
  return names;
}

class HotfixFoldersTest : public FolderTest {};

TEST_F(HotfixFoldersTest, KeepsFoldersWhoseNamesBeginWithDollar) {
  fake_.AddFolder("C:\\Windows\\$hf_mig$");
  fake_.AddFolder("C:\\Windows\\x$");
  fake_.AddFile("C:\\Windows\\$log");
  fake_.AddFile("C:\\Windows\\a.a");
  fake_.AddFolder("C:\\Windows\\$");
  fake_.AddFolder("C:\\Windows\\$NtUninstallKB123456$", FILE_ATTRIBUTE_HIDDEN);
  fake_.AddFolder("C:\\Windows\\System32\\$inner");

  std::vector<FoundFile> list;
  ListHotfixFolders(fake_, list);

  EXPECT_THAT(Names(list), ElementsAre("$hf_mig$", "$", "$NtUninstallKB123456$"));
  for (const FoundFile& found : list) {
    EXPECT_EQ(found.strFolder, "C:\\Windows");
    EXPECT_NE(found.findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  }
  EXPECT_NE(list[2].findData.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_THAT(fake_.Changes(), IsEmpty());
}

TEST_F(HotfixFoldersTest, AppendsToWhatTheListHolds) {
  fake_.AddFolder("C:\\Windows\\$a");
  std::vector<FoundFile> list(1);
  std::strcpy(list[0].findData.cFileName, "earlier");
  ListHotfixFolders(fake_, list);
  EXPECT_THAT(Names(list), ElementsAre("earlier", "$a"));
}

// Unusable Windows directory texts, 50 characters among them, are tried with
// the whole pass in tests/app/run_cleanup_test.cpp; this is the longest that
// fits.
TEST_F(HotfixFoldersTest, ListsAWindowsDirectoryOfFortyNineCharacters) {
  const std::string windows = "C:\\" + std::string(46, 'w');
  fake_.AddFolder(windows + "\\$fits");
  fake_.SetWindowsDirectory(windows);
  std::vector<FoundFile> list;
  ListHotfixFolders(fake_, list);
  EXPECT_THAT(Names(list), ElementsAre("$fits"));
}

}  // namespace
