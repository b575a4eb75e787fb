#include "folders/hotfix_folders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
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

TEST_F(HotfixFoldersTest, LinkNamedWithDollarIsListedAsALink) {
  fake_.AddFolder("C:\\Elsewhere");
  fake_.AddLink("C:\\Windows\\$link", "C:\\Elsewhere");
  std::vector<FoundFile> list;
  ListHotfixFolders(fake_, list);
  ASSERT_THAT(Names(list), ElementsAre("$link"));
  EXPECT_NE(list[0].findData.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_THAT(ListingsAtOrBelow("C:\\Elsewhere"), IsEmpty());
}

struct WindowsTextCase {
  const char* what;
  std::function<void(FakePlatform&)> arrange;
  bool listed;
};

class HotfixWindowsTextTest : public FolderTest,
                              public ::testing::WithParamInterface<WindowsTextCase> {};

TEST_P(HotfixWindowsTextTest, ListsOnlyAWindowsDirectoryThatFits) {
  // A current folder and drive root full of look-alikes, which must never be listed instead.
  fake_.AddFolder("C:\\$root");
  fake_.AddFolder("C:\\Current\\$here");
  fake_.SetCurrentFolder("C:\\Current");
  const std::string fitting = "C:\\" + std::string(46, 'w');  // 49 characters
  fake_.AddFolder(fitting + "\\$fits");
  GetParam().arrange(fake_);

  std::vector<FoundFile> list;
  ListHotfixFolders(fake_, list);

  if (GetParam().listed) {
    EXPECT_THAT(Names(list), ElementsAre("$fits"));
  } else {
    EXPECT_THAT(list, IsEmpty());
    EXPECT_THAT(TargetsOf(fake_, "FindFirstFileA"), IsEmpty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HotfixWindowsTextTest,
    ::testing::Values(
        WindowsTextCase{
            "failed",
            [](FakePlatform& f) { f.FailCall("GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY); },
            false},
        WindowsTextCase{"empty", [](FakePlatform& f) { f.SetWindowsDirectory(""); }, false},
        WindowsTextCase{
            "fifty characters",
            [](FakePlatform& f) { f.SetWindowsDirectory("C:\\" + std::string(47, 'w')); }, false},
        WindowsTextCase{
            "forty-nine characters",
            [](FakePlatform& f) { f.SetWindowsDirectory("C:\\" + std::string(46, 'w')); }, true}),
    [](const auto& param) { return CaseName(param.param.what); });

}  // namespace
