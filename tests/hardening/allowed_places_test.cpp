// The rule every hardening test rests on: which changing calls stay within the
// cleaner's places. A rule that let too much through would pass every sweep.
#include "hardening/allowed_places.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_platform.h"

namespace {

const std::string kWin = "C:\\Windows";
const std::string kTemp = "C:\\Users\\Admin\\AppData\\Local\\Temp";
const std::string kUninstall = kUninstallKeyTarget;

class AllowedPlacesTest : public testing::Test {
 protected:
  AllowedPlacesTest() {
    fake_.AddFile(kTemp + "\\a\\b.txt");
    fake_.AddLink(kTemp + "\\junction", "C:\\Protected");
    fake_.AddLink(kTemp + "\\file-link", "C:\\Protected\\p.txt", false);
    fake_.AddFile("C:\\Protected\\p.txt");
    fake_.AddFile(kWin + "\\a.tmp");
    fake_.AddFile(kWin + "\\X.TMP");
    fake_.AddFolder(kWin + "\\y.tmp");
    fake_.AddFile(kWin + "\\$log");
    fake_.AddLink(kWin + "\\$KB1$", "C:\\Protected");
    fake_.AddFile(kWin + "\\System32\\deep.tmp");
  }

  std::string Why(const std::string& call, const std::string& target,
                  const std::string& value = "") {
    const AllowedPlaces allowed(SnapshotMachine(fake_), kWin, kTemp);
    FakePlatform::CallRecord record;
    record.call = call;
    record.target = target;
    record.value = value;
    record.changing = true;
    return allowed.Violation(record);
  }

  FakePlatform fake_;
};

// What the cleaner does do is allowed, or the sweeps of whole starts would
// fail; what matters here is that every near miss is refused.
TEST_F(AllowedPlacesTest, RefusesEveryChangeOutsideTheCleanersPlaces) {
  const std::string refused[][3] = {
      {"RemoveDirectoryA", kTemp, ""},                     // the folder itself stays
      {"DeleteFileA", kTemp + "\\junction\\p.txt", ""},    // through a link
      {"SetFileAttributesA", kTemp + "\\file-link", ""},   // would change the target
      {"DeleteFileA", kWin + "\\X.TMP", ""},               // ".tmp" is lower case
      {"RemoveDirectoryA", kWin + "\\y.tmp", ""},          // a folder is no *.tmp file
      {"DeleteFileA", kWin + "\\System32\\deep.tmp", ""},  // not directly in the directory
      {"DeleteFileA", kWin + "\\$log", ""},                // a "$" file is no hotfix folder
      {"DeleteFileA", kWin + "\\$KB1$\\p.txt", ""},        // through a hotfix link
      {"RemoveDirectoryA", kWin, ""},
      {"DeleteFileA", "C:\\Protected\\p.txt", ""},
      {"DeleteFileA", "C:\\a.tmp", ""},
      {"RegSetValueExA", kSettingsKeyTarget, "Other"},
      {"RegCreateKeyA", "HKLM\\SOFTWARE\\Other", ""},
      {"RegDeleteKeyA", kUninstall + "\\K", ""},
      {"RegDeleteKeyA", kUninstall + "\\SomeProduct", ""},
      {"RegDeleteKeyA", kUninstall + "\\KB1\\Sub", ""},
      {"RegDeleteKeyA", kUninstall, ""},
      {"RegDeleteKeyA", kSettingsKeyTarget, ""},
  };
  for (const auto& c : refused) EXPECT_NE(Why(c[0], c[1], c[2]), "") << c[0] << " " << c[1];
  // The same places are allowed to the cleaner, letters compared as on Windows.
  EXPECT_EQ(Why("SetFileAttributesA", kTemp + "\\A\\B.TXT"), "");
  EXPECT_EQ(Why("RemoveDirectoryA", kTemp + "\\junction"), "");
  EXPECT_EQ(Why("RegDeleteKeyA", kUninstall + "\\kb123"), "");
}

TEST_F(AllowedPlacesTest, SeesChangesOnTheMachineOutsideThePlaces) {
  const AllowedPlaces allowed(SnapshotMachine(fake_), kWin, kTemp);
  fake_.DeleteFileA((kTemp + "\\a\\b.txt").c_str());
  fake_.DeleteFileA((kWin + "\\a.tmp").c_str());
  EXPECT_TRUE(allowed.StateViolations(SnapshotMachine(fake_)).empty());

  fake_.SetFileAttributesA("C:\\Protected\\p.txt", FILE_ATTRIBUTE_HIDDEN);
  fake_.DeleteFileA((kWin + "\\$log").c_str());
  fake_.AddFile(kTemp + "\\new.txt");
  EXPECT_EQ(allowed.StateViolations(SnapshotMachine(fake_)).size(), 3u);
}

}  // namespace
