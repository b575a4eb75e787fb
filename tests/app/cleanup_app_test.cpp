// A whole start over the in-memory machine: the error mode first, then the
// gate on today's date (formatted without leading zeros) and the pass.
#include "app/cleanup_app.h"

#include <gtest/gtest.h>

#include "app/settings.h"
#include "support/fake_platform.h"

namespace {

TEST(ApplicationMain, SameDayStartTouchesNothingUnlessForced) {
  for (const char* commandLine : {"C:\\Tools\\sweepwell.exe", "\"C:\\Program Files\\s.exe\" 1"}) {
    const bool forced = commandLine[0] == '"';
    FakePlatform fake;
    fake.SetLocalTime(2026, 2, 7);
    fake.SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, "2026/2/7");
    fake.SetRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, 0);
    fake.AddFile("C:\\Windows\\old.tmp");
    fake.SetErrorMode(SEM_NOGPFAULTERRORBOX);
    fake.SetCommandLine(commandLine);
    fake.ClearLog();
    EXPECT_EQ(ApplicationMain(fake), 0);
    EXPECT_EQ(fake.ErrorMode(),
              SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    EXPECT_EQ(fake.Exists("C:\\Windows\\old.tmp"), !forced);
    // The error mode first; unforced, the gate's key is the last thing read.
    EXPECT_EQ(fake.Calls().front().call, "SetErrorMode");
    EXPECT_EQ(fake.Calls().back().call == "RegCloseKey", !forced) << fake.Dump();
  }
}

}  // namespace
