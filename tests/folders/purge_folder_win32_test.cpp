// The purge and the size on the real file system, in a scratch folder. No
// links are made here: some hosts' link emulation deletes through a link,
// which would reach outside the scratch folder.
#include <gtest/gtest.h>

#include <string>

#include "folders/purge_folder.h"
#include "folders/reclaimable.h"
#include "platform/win32_platform.h"
#include "support/win32_test_machine.h"

namespace {

TEST(PurgeFolderWin32, HeldFileEndsTheWalkAndTheGuardSparesGuidFoldersAtTheTop) {
  Win32TestMachine machine;
  Win32Platform platform;
  const std::string t = machine.Scratch();
  const std::string guid = "{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}";
  for (const std::string& folder : {guid, std::string("sub"), "sub\\" + guid}) {
    machine.MakeFolder(t + "\\" + folder);
  }
  // Listings come in name order: a-, b-, c-, sub, then the GUID.
  machine.MakeFile(t + "\\a-readonly", 1, FILE_ATTRIBUTE_READONLY);
  machine.MakeFile(t + "\\b-held", 2, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  machine.MakeFile(t + "\\c-after", 4, FILE_ATTRIBUTE_NORMAL);
  machine.MakeFile(t + "\\sub\\" + guid + "\\gone", 8, FILE_ATTRIBUTE_NORMAL);
  machine.MakeFile(t + "\\" + guid + "\\kept", 16, FILE_ATTRIBUTE_NORMAL);
  machine.Hold(t + "\\b-held");
  auto exists = [&](const std::string& name) {
    const std::string path = name.empty() ? t : t + "\\" + name;
    return platform.GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  };

  EXPECT_EQ(GetFolderSize(platform, t + "\\", true), 15u);
  EXPECT_EQ(GetFolderSize(platform, t, false), 31u);
  PurgeFolder(platform, t, true);
  EXPECT_FALSE(exists("a-readonly"));
  EXPECT_TRUE(exists("c-after") && exists("sub\\" + guid + "\\gone"));
  // Made writable before the delete failed; nothing of what was set is left.
  const DWORD held = platform.GetFileAttributesA((t + "\\b-held").c_str());
  EXPECT_TRUE(held != INVALID_FILE_ATTRIBUTES && (held & FILE_ATTRIBUTE_READONLY) == 0);
  EXPECT_EQ(held & FILE_ATTRIBUTE_HIDDEN, 0u);

  machine.ReleaseHolds();
  PurgeFolder(platform, t, true);
  EXPECT_FALSE(exists("b-held") || exists("c-after") || exists("sub"));
  EXPECT_TRUE(exists(guid + "\\kept"));
  PurgeFolder(platform, t, false);
  PurgeFolder(platform, t, false);
  EXPECT_FALSE(exists(""));  // emptied, then removed
}

}  // namespace
