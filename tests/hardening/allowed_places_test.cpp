// The rule every hardening test rests on: which changing calls stay within the
// cleaner's places. A rule that let too much through would pass every sweep.
#include "hardening/allowed_places.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake_platform.h"

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
    fake_.AddLink(kWin + "\\l.tmp", "C:\\Protected\\p.txt", false);
    fake_.AddFile(kWin + "\\$hf_mig$\\f.dll");
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

TEST_F(AllowedPlacesTest, AllowsOnlyTheCleanersPlaces) {
  struct Case {
    const char* call;
    std::string target;
    const char* value;
    bool allowed;
  };
  const Case cases[] = {
      {"DeleteFileA", kTemp + "\\a\\b.txt", "", true},
      {"RemoveDirectoryA", kTemp + "\\a", "", true},
      {"SetFileAttributesA", kTemp + "\\A\\B.TXT", "", true},   // letters compare as on Windows
      {"RemoveDirectoryA", kTemp, "", false},                   // the folder itself stays
      {"RemoveDirectoryA", kTemp + "\\junction", "", true},     // a link, removed as a link
      {"DeleteFileA", kTemp + "\\junction\\p.txt", "", false},  // through a link
      {"DeleteFileA", kTemp + "\\file-link", "", true},
      {"SetFileAttributesA", kTemp + "\\file-link", "", false},  // would change the target
      {"DeleteFileA", kWin + "\\a.tmp", "", true},
      {"SetFileAttributesA", kWin + "\\a.tmp", "", true},
      {"DeleteFileA", kWin + "\\X.TMP", "", false},  // ".tmp" is lower case
      {"RemoveDirectoryA", kWin + "\\y.tmp", "", false},
      {"SetFileAttributesA", kWin + "\\y.tmp", "", false},
      {"DeleteFileA", kWin + "\\l.tmp", "", true},
      {"DeleteFileA", kWin + "\\System32\\deep.tmp", "", false},
      {"DeleteFileA", kWin + "\\$hf_mig$\\f.dll", "", true},
      {"RemoveDirectoryA", kWin + "\\$hf_mig$", "", true},
      {"DeleteFileA", kWin + "\\$log", "", false},  // a "$" file is no hotfix folder
      {"RemoveDirectoryA", kWin + "\\$KB1$", "", true},
      {"DeleteFileA", kWin + "\\$KB1$\\p.txt", "", false},
      {"RemoveDirectoryA", kWin, "", false},
      {"DeleteFileA", "C:\\Protected\\p.txt", "", false},
      {"DeleteFileA", "C:\\a.tmp", "", false},
      {"RegCreateKeyA", kSettingsKeyTarget, "", true},
      {"RegSetValueExA", kSettingsKeyTarget, "ExecuteDate", true},
      {"RegSetValueExA", kSettingsKeyTarget, "Limit", true},
      {"RegSetValueExA", kSettingsKeyTarget, "Other", false},
      {"RegCreateKeyA", "HKLM\\SOFTWARE\\Other", "", false},
      {"RegDeleteKeyA", kUninstall + "\\KB123", "", true},
      {"RegDeleteKeyA", kUninstall + "\\kb123", "", true},
      {"RegDeleteKeyA", kUninstall + "\\K", "", false},
      {"RegDeleteKeyA", kUninstall + "\\SomeProduct", "", false},
      {"RegDeleteKeyA", kUninstall + "\\KB1\\Sub", "", false},
      {"RegDeleteKeyA", kUninstall, "", false},
      {"RegDeleteKeyA", kSettingsKeyTarget, "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Why(c.call, c.target, c.value).empty(), c.allowed)
        << c.call << " " << c.target << " " << c.value;
  }
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
