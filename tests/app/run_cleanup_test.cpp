#include "app/run_cleanup.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "folders/folder_fixture.h"
#include "folders/reclaimable.h"
#include "support/fake_platform.h"

namespace {

constexpr std::uint64_t kKB = 1024;
constexpr std::uint64_t kMB = 1024 * kKB;
const std::string kWin = "C:\\Windows";
const std::string kTemp = "C:\\Users\\Admin\\AppData\\Local\\Temp";
const std::string kUninstall = std::string("HKLM\\") + kUninstallKey;
const char kGuid[] = "{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}";

class RunCleanupTest : public testing::Test {
 protected:
  void AddUninstallEntry(const std::string& name) {
    fake_.SetRegString(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\" + name, "DisplayName",
                       name);
  }
  bool HasUninstallEntry(const std::string& name) const {
    return fake_.RegKeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\" + name);
  }
  void Run(DWORD limitMB) {
    fake_.ClearLog();
    RunCleanup(fake_, limitMB);
    EXPECT_EQ(fake_.OpenFindHandles(), 0u);
    EXPECT_EQ(fake_.OpenRegKeys(), 0u);
  }

  FakePlatform fake_;
};

// All the machine holds is one temporary file of the given size.
TEST(RunCleanupThreshold, CleansWhenTheEstimateReachesLimitInKilobytes) {
  struct Case {
    const char* what;
    std::uint64_t bytes;
    DWORD limitMB;
    bool cleans;
  };
  const Case cases[] = {
      {"exactly the threshold", 3 * kMB, 3, true},
      {"one kilobyte short", 3 * kMB - kKB, 3, false},
      {"Limit 0", 1, 0, true},
      // 4194304 MB is 4 TB: a 32-bit threshold in kilobytes would wrap to 0.
      {"Limit 4194304", 5 * 1024 * kMB, 4194304, false},
      {"the largest Limit", 5 * 1024 * kMB, 0xFFFFFFFFu, false},
      {"the largest reachable Limit", std::uint64_t{4194303} * kMB, 4194303, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    fake.AddFile(kTemp + "\\t.dat", c.bytes);
    RunCleanup(fake, c.limitMB);
    EXPECT_EQ(fake.Exists(kTemp + "\\t.dat"), !c.cleans);
    if (!c.cleans) {
      EXPECT_TRUE(fake.Changes().empty()) << fake.Dump();
    }
  }
}

TEST_F(RunCleanupTest, DeletesOnlyLowerCaseTmpFilesDirectlyInTheWindowsDirectory) {
  fake_.AddFile(kWin + "\\a.tmp", 10);
  fake_.AddFile(kWin + "\\ro.tmp", 10, FILE_ATTRIBUTE_READONLY);
  fake_.AddFile(kWin + "\\hidden.tmp", 10, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  fake_.AddFile(kWin + "\\X.TMP", 10);
  fake_.AddFile(kWin + "\\a.tmp.bak", 10);
  fake_.AddFolder(kWin + "\\y.tmp");
  fake_.AddFile(kWin + "\\y.tmp\\inner.tmp", 10);
  fake_.AddFile(kWin + "\\System32\\deep.tmp", 10);
  Run(0);
  EXPECT_EQ(ChangeLines(fake_), (std::vector<std::string>{
                                    "DeleteFileA " + kWin + "\\a.tmp",
                                    "SetFileAttributesA " + kWin + "\\ro.tmp",
                                    "DeleteFileA " + kWin + "\\ro.tmp",
                                    "DeleteFileA " + kWin + "\\hidden.tmp",
                                }));
  for (const char* kept :
       {"\\X.TMP", "\\a.tmp.bak", "\\y.tmp\\inner.tmp", "\\System32\\deep.tmp"}) {
    EXPECT_TRUE(fake_.Exists(kWin + kept)) << kept;
  }
}

TEST_F(RunCleanupTest, EmptiesTheTemporaryFolderButKeepsItAndItsGuidFolders) {
  fake_.AddFile(kTemp + "\\a.txt", 10);
  fake_.AddFile(kTemp + "\\" + kGuid + "\\kept.txt", 10);
  fake_.AddFile(kTemp + "\\sub\\" + kGuid + "\\gone.txt", 10);
  fake_.AddFile(kTemp + "\\sub\\deeper\\gone.txt", 10);
  Run(0);
  EXPECT_EQ(fake_.List(kTemp), std::vector<std::string>{kGuid});
  EXPECT_TRUE(fake_.Exists(kTemp + "\\" + kGuid + "\\kept.txt"));

  fake_.AddFolder(kTemp + "\\empty");
  Run(0);
  EXPECT_TRUE(fake_.Exists(kTemp));
  EXPECT_FALSE(fake_.Exists(kTemp + "\\empty"));
  for (const std::string& removed : TargetsOf(fake_, "RemoveDirectoryA")) {
    EXPECT_EQ(removed, kTemp + "\\empty");
  }
}

TEST_F(RunCleanupTest, FileInUseEndsTheTemporaryFolderButNotThePass) {
  fake_.AddFile(kWin + "\\a.tmp", 10);
  fake_.AddFile(kTemp + "\\1.txt", 10);
  fake_.AddFile(kTemp + "\\2-in-use.txt", 10);
  fake_.AddFile(kTemp + "\\3.txt", 10);
  fake_.AddFile(kTemp + "\\4\\f.txt", 10);
  fake_.SetInUse(kTemp + "\\2-in-use.txt");
  fake_.AddFile(kWin + "\\$hf_mig$\\f", 10);
  Run(0);
  EXPECT_EQ(fake_.List(kTemp), (std::vector<std::string>{"2-in-use.txt", "3.txt", "4"}));
  EXPECT_TRUE(fake_.Exists(kTemp + "\\4\\f.txt"));
  EXPECT_FALSE(fake_.Exists(kWin + "\\a.tmp"));
  EXPECT_FALSE(fake_.Exists(kWin + "\\$hf_mig$"));
}

TEST_F(RunCleanupTest, RemovesHotfixFoldersAndTheirUninstallEntries) {
  const std::vector<std::string> folders = {"$NtUninstallKB123456$", "$NtUninstallkb654321$",
                                            "$KB123", "$hf_mig$", "$"};
  for (const std::string& folder : folders) fake_.AddFile(kWin + "\\" + folder + "\\f.dll", 10);
  fake_.AddFile(kWin + "\\$NtUninstallKB123456$\\sp\\" + kGuid + "\\g", 10);
  for (const char* entry : {"KB123456", "kb654321", "KB12", "KB123", "KB999", "SomeProduct"}) {
    AddUninstallEntry(entry);
  }
  Run(0);
  for (const std::string& folder : folders) EXPECT_FALSE(fake_.Exists(kWin + "\\" + folder));
  EXPECT_EQ(TargetsOf(fake_, "RegDeleteKeyA"),
            (std::vector<std::string>{kUninstall + "\\KB123456", kUninstall + "\\kb654321",
                                      kUninstall + "\\KB12"}));
  for (const char* gone : {"KB123456", "kb654321", "KB12"}) EXPECT_FALSE(HasUninstallEntry(gone));
  for (const char* kept : {"KB123", "KB999", "SomeProduct"}) EXPECT_TRUE(HasUninstallEntry(kept));
  EXPECT_TRUE(fake_.RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST_F(RunCleanupTest, HotfixFolderInUseStaysButItsEntryGoes) {
  fake_.AddFile(kWin + "\\$NtUninstallKB1$\\a.dll", 10);
  fake_.AddFile(kWin + "\\$NtUninstallKB1$\\b.dll", 10);
  fake_.AddFile(kWin + "\\$NtUninstallKB1$\\c.dll", 10);
  fake_.SetInUse(kWin + "\\$NtUninstallKB1$\\b.dll");
  AddUninstallEntry("KB1");
  Run(0);
  EXPECT_EQ(fake_.List(kWin + "\\$NtUninstallKB1$"), (std::vector<std::string>{"b.dll", "c.dll"}));
  EXPECT_FALSE(HasUninstallEntry("KB1"));
}

TEST_F(RunCleanupTest, UninstallListThatCannotBeOpenedSkipsOnlyThoseDeletions) {
  fake_.AddFile(kWin + "\\$NtUninstallKB1$\\a.dll", 10);
  fake_.AddFile(kWin + "\\$NtUninstallKB2$\\a.dll", 10);
  AddUninstallEntry("KB1");
  AddUninstallEntry("KB2");
  fake_.FailCall("RegOpenKeyA", ERROR_ACCESS_DENIED, kUninstall);
  Run(0);
  EXPECT_FALSE(fake_.Exists(kWin + "\\$NtUninstallKB1$"));
  EXPECT_FALSE(fake_.Exists(kWin + "\\$NtUninstallKB2$"));
  EXPECT_TRUE(HasUninstallEntry("KB1"));
  EXPECT_TRUE(HasUninstallEntry("KB2"));
}

TEST_F(RunCleanupTest, HotfixLinkIsRemovedAsALinkAndItsTargetKept) {
  fake_.AddFile("C:\\Data\\precious.doc", 10);
  fake_.AddLink(kWin + "\\$NtUninstallKB7$", "C:\\Data");
  AddUninstallEntry("KB7");
  Run(0);
  EXPECT_FALSE(fake_.Exists(kWin + "\\$NtUninstallKB7$"));
  EXPECT_TRUE(fake_.Exists("C:\\Data\\precious.doc"));
  EXPECT_EQ(ChangeLines(fake_), (std::vector<std::string>{
                                    "RemoveDirectoryA " + kWin + "\\$NtUninstallKB7$",
                                    "RegDeleteKeyA " + kUninstall + "\\KB7",
                                }));
}

TEST_F(RunCleanupTest, StepsRunInOrderWhateverEachAchieves) {
  fake_.AddFile(kWin + "\\a.tmp", 10);
  fake_.SetInUse(kWin + "\\a.tmp");
  fake_.AddFile(kTemp + "\\t.txt", 10);
  fake_.AddFile(kWin + "\\$hf\\f", 10);
  Run(0);
  EXPECT_EQ(ChangeLines(fake_), (std::vector<std::string>{
                                    "DeleteFileA " + kWin + "\\a.tmp fails 32",
                                    "DeleteFileA " + kTemp + "\\t.txt",
                                    "RemoveDirectoryA " + kWin + "\\$hf fails 145",
                                    "DeleteFileA " + kWin + "\\$hf\\f",
                                    "RemoveDirectoryA " + kWin + "\\$hf",
                                }));
}

// A Windows directory or temporary folder that cannot be had whole leaves its
// terms out of the estimate and its steps out of the pass; nothing is listed
// or done in the current folder, the drive's root or elsewhere instead.
TEST(RunCleanupFolderTexts, UnusableTextsAreLeftOutOfEstimateAndPass) {
  struct Case {
    const char* what;
    void (*arrange)(FakePlatform&);
    bool windowsSteps;
    bool tempStep;
  };
  const Case cases[] = {
      {"Windows directory fails",
       [](FakePlatform& f) { f.FailCall("GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY); }, false,
       true},
      {"Windows directory empty", [](FakePlatform& f) { f.SetWindowsDirectory(""); }, false, true},
      {"Windows directory of 50 characters",
       [](FakePlatform& f) { f.SetWindowsDirectory("C:\\" + std::string(47, 'w')); }, false, true},
      {"temporary folder fails",
       [](FakePlatform& f) { f.FailCall("GetTempPathA", ERROR_NOT_ENOUGH_MEMORY); }, true, false},
      {"temporary folder empty", [](FakePlatform& f) { f.SetTempPath(""); }, true, false},
      {"temporary folder of 150 characters",
       [](FakePlatform& f) { f.SetTempPath("C:\\" + std::string(146, 't') + "\\"); }, true, false},
      {"temporary folder is the drive's root", [](FakePlatform& f) { f.SetTempPath("C:\\"); }, true,
       false},
      {"temporary folder is the drive's root doubled",
       [](FakePlatform& f) { f.SetTempPath("C:\\\\"); }, true, false},
      {"temporary folder is the current drive's root", [](FakePlatform& f) { f.SetTempPath("\\"); },
       true, false},
      {"neither",
       [](FakePlatform& f) {
         f.SetWindowsDirectory("");
         f.FailCall("GetTempPathA", ERROR_NOT_ENOUGH_MEMORY);
       },
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    fake.AddFile(kWin + "\\a.tmp", 1 * kKB);
    fake.AddFile(kWin + "\\$hf\\f", 2 * kKB);
    fake.AddFile(kTemp + "\\t.txt", 4 * kKB);
    // Look-alikes in the current folder and the drive's root.
    fake.AddFile("C:\\Current\\x.tmp", 1000 * kKB);
    fake.AddFile("C:\\Current\\$hf\\f", 1000 * kKB);
    fake.AddFile("C:\\root.tmp", 1000 * kKB);
    fake.AddFile("C:\\$root\\f", 1000 * kKB);
    fake.SetCurrentFolder("C:\\Current");
    c.arrange(fake);
    const auto used = [&](const std::string& target) {
      return (c.windowsSteps && IsAtOrBelow(target, kWin)) ||
             (c.tempStep && IsAtOrBelow(target, kTemp));
    };

    EXPECT_EQ(GetReclaimableKB(fake), (c.windowsSteps ? 3u : 0u) + (c.tempStep ? 4u : 0u));
    EXPECT_TRUE(fake.Changes().empty());
    RunCleanup(fake, 0);
    EXPECT_EQ(fake.Exists(kWin + "\\a.tmp"), !c.windowsSteps);
    EXPECT_EQ(fake.Exists(kWin + "\\$hf"), !c.windowsSteps);
    EXPECT_EQ(fake.Exists(kTemp + "\\t.txt"), !c.tempStep);
    for (const FakePlatform::CallRecord& call : fake.Calls()) {
      if (call.call == "FindFirstFileA" || (call.changing && call.call.rfind("Reg", 0) != 0)) {
        EXPECT_TRUE(used(call.target)) << DescribeCall(call);
      }
    }
  }
}

}  // namespace
