#include "app/cleanup_app.h"

#include <gtest/gtest.h>

#include "app/run_gate.h"
#include "support/fake_platform.h"

namespace {

class CleanupAppTest : public testing::Test {
 protected:
  CleanupAppTest() {
    fake_.SetLocalTime(2026, 12, 6);
    fake_.SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, "2026/12/6");
    fake_.AddFile("C:\\Windows\\old.tmp", 50u << 20);
  }

  int Start(const std::string& commandLine) {
    fake_.SetCommandLine(commandLine);
    fake_.ClearLog();
    CCleanupApp app(fake_);
    return RunApplication(fake_, app);
  }

  FakePlatform fake_;
};

TEST_F(CleanupAppTest, SameDayStartEndsWithoutTouchingAnything) {
  EXPECT_EQ(Start("C:\\Tools\\sweepwell.exe"), 0);
  EXPECT_TRUE(fake_.Changes().empty());
  for (const auto& call : fake_.Calls()) {
    EXPECT_NE(call.call, "FindFirstFileA") << "the file system was read";
  }
}

TEST_F(CleanupAppTest, ForcedStartPassesTheGate) {
  EXPECT_EQ(Start("\"C:\\Program Files\\Sweepwell\\sweepwell.exe\" 1"), 0);
  ASSERT_FALSE(fake_.Changes().empty());
  EXPECT_EQ(fake_.Changes().front().call, "RegSetValueExA");
  EXPECT_EQ(fake_.Changes().front().value, kExecuteDateValue);
}

TEST_F(CleanupAppTest, StartUpSilencesSystemErrorBoxesKeepingOtherBits) {
  fake_.SetErrorMode(SEM_NOGPFAULTERRORBOX);
  Start("C:\\Tools\\sweepwell.exe");
  EXPECT_EQ(fake_.ErrorMode(),
            SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

}  // namespace
