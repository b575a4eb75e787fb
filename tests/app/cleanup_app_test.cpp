// A whole start over the in-memory machine on a day it already ran: the error
// mode first, then the gate on today's date (formatted without leading zeros),
// which a non-zero number read as "%d" after the program's path forces open.
// The fuzz target holds the command-line parser to a model on any text.
#include "app/cleanup_app.h"

#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "support/fake_platform.h"

namespace {

TEST(ApplicationMain, SameDayStartCleansOnlyWhenForced) {
  const struct {
    std::string commandLine;
    bool forced;
  } cases[] = {
      {"C:\\Tools\\sweepwell.exe", false},
      {" \tC:\\x.exe\t7", true},
      {"x.exe -3x", true},
      {"x.exe 0x10", false},
      // Beyond int the value saturates: a wrap could turn a forcing argument into 0.
      {"x.exe 4294967296", true},
      {"x.exe -99999999999999999999", true},
      // A quoted path keeps its blanks; unquoted, the path ends at its first blank.
      {"\"C:\\Program Files 2\\s.exe\"", false},
      {"\"unterminated 5", false},
      {"C:\\Tools 2\\x.exe", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.commandLine);
    FakePlatform fake;
    fake.SetLocalTime(2026, 2, 7);
    fake.SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, "2026/2/7");
    fake.SetRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, 0);
    fake.AddFile("C:\\Windows\\old.tmp");
    fake.SetErrorMode(SEM_NOGPFAULTERRORBOX);
    fake.SetCommandLine(c.commandLine);
    fake.ClearLog();
    EXPECT_EQ(ApplicationMain(fake), 0);
    EXPECT_EQ(fake.ErrorMode(),
              SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    EXPECT_EQ(fake.Exists("C:\\Windows\\old.tmp"), !c.forced);
    // The error mode first; unforced, the gate's key is the last thing read.
    EXPECT_EQ(fake.Calls().front().call, "SetErrorMode");
    EXPECT_EQ(fake.Calls().back().call == "RegCloseKey", !c.forced) << fake.Dump();
  }
}

}  // namespace
