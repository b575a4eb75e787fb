// The walks on real listings, in a scratch folder: a tree with a name the ANSI
// code page cannot hold, read-only files and a hard link to a read-only file
// outside, emptied through handles. (The contract suite shows a held folder
// staying in its place.) No links are made here: Wine cannot make them, and
// opens a host's symbolic link as its target (the in-memory machine proves the
// walks' handling of links).
#include <gtest/gtest.h>

#include <string>

#include "folders/purge_folder.h"
#include "folders/reclaimable.h"
#include "support/win32_test_machine.h"

namespace {

TEST(FolderWalkWin32, EmptiesRealTreesThroughHandles) {
  Win32TestMachine machine;
  Platform& platform = machine.platform();
  const std::string t = machine.scratch + "\\t";
  const std::string outside = machine.scratch + "\\outside";
  for (const std::string& folder : {t, t + "\\sub", t + "\\sub\\deeper"})
    machine.MakeFolder(folder);
  machine.MakeFile(t + "\\caf\xc3\xa9\xef\xbc\xbcx", 1, FILE_ATTRIBUTE_NORMAL);  // "café＼x"
  machine.MakeFile(t + "\\sub\\deeper\\ro", 2, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  machine.MakeFile(outside, 4, FILE_ATTRIBUTE_READONLY);
  machine.MakeHardLink(t + "\\sub\\zz-link", outside);
  EXPECT_EQ(GetFolderSize(platform, t, true), 7u);

  PurgeFolderContents(platform, t, true);
  auto attributes = [&](const std::string& path) {
    return platform.GetFileAttributesA(path.c_str());
  };
  // The read-only file with one name went; the one with two names stays, and
  // so its folder, with the read-only bit it shares with the file outside.
  EXPECT_EQ(attributes(t + "\\sub\\deeper"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attributes(t + "\\sub\\zz-link") & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(attributes(outside) & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(GetFolderSize(platform, t, true), 4u);  // only the hard link is left
  EXPECT_NE(attributes(t), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
