// The cleaning pass over the in-memory machine: its three steps in their order
// whatever each achieves, the hotfix entries it deletes, and the folders it
// cannot have. The preview's tests run it over their sample machine too, and
// pin its threshold.
#include "app/run_cleanup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_platform.h"

namespace {

using Names = std::vector<std::string>;
const std::string kWin = "C:\\Windows\\";
const std::string kTemp = "C:\\Users\\Admin\\AppData\\Local\\Temp\\";

// The *.tmp files directly in the Windows directory (read-only ones made
// writable first), the temporary folder's contents up to a file in use, then
// each hotfix folder and the entry HotfixKeyName names, whether or not the
// folder went: each step whatever the one before achieved. The preview's tests
// pin the rest: links, hotfix folders without an entry or a number.
TEST(RunCleanup, TakesItsStepsInOrder) {
  const std::string list = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  const std::string longest = "KB" + std::string(kMaxHotfixKeyName - 2, '7');
  FakePlatform fake;
  const Names kept = {kWin + "a.tmp.bak", kWin + "y.tmp\\in.tmp", kWin + "a.tmp",   kTemp + "busy",
                      kTemp + "after",    kWin + "$KB1$\\a",      kWin + "$KB1$\\b"};
  for (const std::string& path : kept) fake.AddFile(path);
  fake.AddFile(kWin + "ro.tmp", 1, FILE_ATTRIBUTE_READONLY);
  fake.AddFile(kTemp + "gone");
  fake.SetListingOrder(kTemp, {"gone", "busy", "after"});
  // No hotfix's entry is named "K" or "KB", and "k" and "b" alone fold.
  for (const std::string& folder :
       Names{"$NtUninstallkb654321$", "$KB123", "$", "$KB$", "$xkKb1$", "$K B$", "$\xcb\xc2X$",
             "$" + longest + "$", "$" + longest + "7$"}) {
    fake.AddFile(kWin + folder + "\\a");
  }
  for (const std::string& entry :
       Names{"kb654321", "KB12", "KB123", "K", "KB", "Kb1", longest, longest + "7", "KB1"}) {
    fake.AddRegKey(HKEY_LOCAL_MACHINE, list + "\\" + entry);
  }
  for (const std::string& busy : {kWin + "a.tmp", kWin + "$KB1$\\a", kTemp + "busy"}) {
    fake.SetInUse(busy);
  }
  fake.ClearLog();
  RunCleanup(fake, 0);
  std::string steps;
  std::string windows;
  std::string entries;
  for (const auto& c : fake.Changes()) {
    const bool entry = c.call == "RegDeleteKeyA";
    const bool hotfix = entry || c.target.rfind(kWin + "$", 0) == 0;
    const char step = c.target.rfind(kTemp, 0) == 0 ? '2' : hotfix ? '3' : '1';
    if (steps.empty() || steps.back() != step) steps += step;
    if (step == '1') windows += c.call + " " + c.target.substr(kWin.size()) + " ";
    if (entry) entries += c.target.substr(list.size() + 6) + " ";
  }
  EXPECT_EQ(steps, "123");
  EXPECT_EQ(windows, "DeleteFileA a.tmp SetFileAttributesA ro.tmp DeleteFileA ro.tmp ");
  EXPECT_EQ(entries, "KB1 kb654321 KB12 Kb1 " + longest + " ");
  for (const std::string& path : kept) EXPECT_TRUE(fake.Exists(path)) << path;
  EXPECT_EQ(fake.List(kTemp), (Names{"busy", "after"}));
  EXPECT_EQ(fake.List(kWin), (Names{"a.tmp.bak", "y.tmp", "a.tmp", "$KB1$"}));
}

// A Windows directory or temporary folder that cannot be had whole leaves its
// steps out; nothing is listed or done in the current folder instead.
TEST(RunCleanup, LeavesOutTheStepsOfAFolderItCannotHave) {
  for (const bool windowsSteps : {false, true}) {
    FakePlatform fake;
    for (const std::string& path : {kWin + "a.tmp", kWin + "$hf\\f", kTemp + "t"}) {
      fake.AddFile(path);
    }
    for (const char* path : {"x.tmp", "$hf\\f", "t"}) fake.AddFile(std::string("C:\\Cur\\") + path);
    fake.SetCurrentFolder("C:\\Cur");
    if (!windowsSteps) fake.SetWindowsDirectory("C:\\" + std::string(47, 'w'));
    if (windowsSteps) fake.FailCall("GetTempPathA", ERROR_NOT_ENOUGH_MEMORY);
    RunCleanup(fake, 0);
    EXPECT_EQ(fake.List(kWin), windowsSteps ? Names{} : (Names{"a.tmp", "$hf"}));
    EXPECT_EQ(fake.Exists(kTemp + "t"), windowsSteps);
    EXPECT_EQ(fake.List("C:\\Cur"), (Names{"x.tmp", "$hf", "t"}));
  }
}

}  // namespace
