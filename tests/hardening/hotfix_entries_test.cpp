// Hotfix folders whose names end in "KB" or "KB$" (found by the random machines): a
// whole start may delete installed-software entries named "KB..." only, so no
// such folder may cost another program its entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hardening/allowed_places.h"
#include "hardening/whole_start.h"
#include "support/fake_platform.h"

namespace {

const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

TEST(HotfixEntriesTest, FolderNamesEndingInKbDeleteNoOtherEntry) {
  for (const char* folder : {"$NtUninstallKb", "$KB", "$hf_migkb", "$NtUninstallKB$"}) {
    SCOPED_TRACE(folder);
    FakePlatform fake;
    fake.AddFile(std::string("C:\\Windows\\") + folder + "\\f.dll", 10);
    for (const char* entry : {"K", "KB", "KB1"}) {
      fake.AddRegKey(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\" + entry);
    }
    fake.SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brisca\\Sweepwell", "Limit", 0);
    fake.SetCommandLine("C:\\Tools\\sweepwell.exe 1");
    fake.ClearLog();
    const AllowedPlaces allowed(SnapshotMachine(fake), "C:\\Windows",
                                "C:\\Users\\Admin\\AppData\\Local\\Temp");

    const StartOutcome outcome = RunWholeStart(fake, 1000);

    EXPECT_EQ(StartProblems(fake, outcome, allowed), std::vector<std::string>{});
    EXPECT_FALSE(fake.Exists(std::string("C:\\Windows\\") + folder));
    EXPECT_TRUE(fake.RegKeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\K"));
    EXPECT_TRUE(fake.RegKeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\KB"));
    EXPECT_TRUE(fake.RegKeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\KB1"));
  }
}

}  // namespace
