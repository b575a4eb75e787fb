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
  const std::string t = machine.Scratch() + "\\";
  const std::string guid = "{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}";
  machine.MakeFolder(t + guid);
  machine.MakeFolder(t + "sub");
  machine.MakeFolder(t + "sub\\" + guid);
  // Listings come in name order: a-, b-, c-, sub, then the GUID.
  machine.MakeFile(t + "a-readonly", 1, FILE_ATTRIBUTE_READONLY);
  machine.MakeFile(t + "b-held", 2, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  machine.MakeFile(t + "c-after", 4, FILE_ATTRIBUTE_NORMAL);
  machine.MakeFile(t + "sub\\" + guid + "\\gone", 8, FILE_ATTRIBUTE_NORMAL);
  machine.MakeFile(t + guid + "\\kept", 16, FILE_ATTRIBUTE_NORMAL);
  machine.Hold(t + "b-held");
  auto attributes = [&](const std::string& name) {
    return platform.GetFileAttributesA((t + name).c_str());
  };

  EXPECT_EQ(GetFolderSize(platform, t, true), 15u);
  PurgeFolder(platform, machine.Scratch(), true);
  EXPECT_EQ(attributes("a-readonly"), INVALID_FILE_ATTRIBUTES);
  // Made writable before the delete failed (a missing file has every bit set).
  EXPECT_EQ(attributes("b-held") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
  EXPECT_NE(attributes("c-after"), INVALID_FILE_ATTRIBUTES);
  machine.ReleaseHolds();
  PurgeFolder(platform, machine.Scratch(), true);
  EXPECT_EQ(attributes("sub"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes(guid + "\\kept"), INVALID_FILE_ATTRIBUTES);
  PurgeFolder(platform, machine.Scratch(), false);
  PurgeFolder(platform, machine.Scratch(), false);
  EXPECT_EQ(attributes(""), INVALID_FILE_ATTRIBUTES);  // emptied, then removed
}

}  // namespace
