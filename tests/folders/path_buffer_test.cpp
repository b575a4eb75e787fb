#include "folders/folder_walk.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using folder_walk::FolderPaths;

TEST(FolderPathsTest, NamesEachEntryAfterTheFolderAndForgetsTheOneBefore) {
  FolderPaths<MAX_PATH> paths;
  EXPECT_EQ(paths.SearchPattern("C:\\T"), "C:\\T\\*.*");
  EXPECT_EQ(std::string(paths.EntryPath("a-long-name.txt").data()), "C:\\T\\a-long-name.txt");
  // A shorter name must not keep the tail of the longer one before it.
  EXPECT_EQ(std::string(paths.EntryPath("b").data()), "C:\\T\\b");
  EXPECT_EQ(std::string(paths.EntryPath("c.tmp").data()), "C:\\T\\c.tmp");
}

TEST(FolderPathsTest, AFolderThatEndsInABackslashGetsASecondOne) {
  // As with "%s\%s": the file system reads the doubled backslash as one.
  FolderPaths<MAX_PATH> paths;
  EXPECT_EQ(paths.SearchPattern("C:\\T\\"), "C:\\T\\\\*.*");
  EXPECT_EQ(paths.EntryPath("a"), "C:\\T\\\\a");
}

TEST(FolderPathsTest, RefusesWhatTheOneShotBuildersRefuse) {
  const std::string folder255 = "C:\\" + std::string(252, 'd');
  const std::string folder256 = folder255 + "d";
  struct Case {
    std::string folder;
    bool listed;
  };
  for (const Case& c : {Case{"", false}, Case{std::string("C:\\a\0b", 6), false},
                        Case{folder255, true}, Case{folder256, false}}) {
    char pattern[MAX_PATH];
    const bool expected = folder_walk::BuildSearchPattern(pattern, c.folder);
    ASSERT_EQ(expected, c.listed) << c.folder.size();

    FolderPaths<MAX_PATH> paths;
    const std::string_view built = paths.SearchPattern(c.folder);
    EXPECT_EQ(!built.empty(), c.listed) << c.folder.size();
    if (c.listed) {
      EXPECT_EQ(std::string(built), std::string(pattern));
    } else {
      // Without a folder there is nothing to name entries in.
      EXPECT_TRUE(paths.EntryPath("a").empty());
    }
  }
}

TEST(FolderPathsTest, AnEntryPathFitsUpTo259Characters) {
  const std::string folder = "C:\\" + std::string(250, 'd');  // 253 characters
  FolderPaths<MAX_PATH> paths;
  ASSERT_FALSE(paths.SearchPattern(folder).empty());
  for (const std::string& name :
       {std::string("abcde"), std::string("abcdef"), std::string(""), std::string("abcdefg")}) {
    char expected[MAX_PATH];
    const bool fits = folder_walk::BuildEntryPath(expected, folder, name);
    EXPECT_EQ(paths.Fits(name), fits) << name;
    const std::string_view built = paths.EntryPath(name);
    EXPECT_EQ(!built.empty(), fits) << name;
    if (fits) {
      EXPECT_EQ(std::string(built.data()), std::string(expected));
      EXPECT_EQ(built.size(), folder.size() + 1 + name.size());
    }
  }
  EXPECT_TRUE(paths.Fits("abcde"));    // 259 characters and the zero: 260 bytes
  EXPECT_FALSE(paths.Fits("abcdef"));  // one more
}

}  // namespace
